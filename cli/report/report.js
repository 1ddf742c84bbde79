// The vocs report page: draws the summary, charts, tables and the network
// picture from the data the command embedded in #vocs-data. The command has
// computed every number; this script only lays them out and makes them
// respond to the reader. Text from the corpus reaches the page only through
// textContent, never as markup.
(function () {
  "use strict";

  const SVG_NS = "http://www.w3.org/2000/svg";
  const data = JSON.parse(document.getElementById("vocs-data").textContent);
  const report = document.getElementById("report");
  const tooltip = document.getElementById("tooltip");

  // ---- building blocks --------------------------------------------------

  function html(tag, attrs, parent, text) {
    const node = document.createElement(tag);
    for (const [key, value] of Object.entries(attrs || {})) node.setAttribute(key, value);
    if (text !== undefined) node.textContent = text;
    if (parent) parent.appendChild(node);
    return node;
  }

  function svg(tag, attrs, parent, text) {
    const node = document.createElementNS(SVG_NS, tag);
    for (const [key, value] of Object.entries(attrs || {})) node.setAttribute(key, value);
    if (text !== undefined) node.textContent = text;
    if (parent) parent.appendChild(node);
    return node;
  }

  function integer(n) {
    return n === null || n === undefined ? "–" : n.toLocaleString("en-US");
  }

  function fixed(x, digits) {
    return x === null || x === undefined ? "–" : x.toFixed(digits);
  }

  function section(id, title, lead) {
    const node = html("section", { id: id }, report);
    html("h2", {}, node, title);
    if (lead) html("p", { class: "lead" }, node, lead);
    return node;
  }

  function note(parent, text) {
    return html("p", { class: "note" }, parent, text);
  }

  // Hover texts: one line per entry.
  function showTip(lines, event) {
    tooltip.textContent = "";
    lines.forEach(function (line, i) {
      if (i > 0) tooltip.appendChild(document.createElement("br"));
      tooltip.appendChild(document.createTextNode(line));
    });
    tooltip.style.display = "block";
    moveTip(event);
  }

  function moveTip(event) {
    const x = Math.min(event.clientX + 14, window.innerWidth - tooltip.offsetWidth - 8);
    const y = Math.min(event.clientY + 14, window.innerHeight - tooltip.offsetHeight - 8);
    tooltip.style.left = x + "px";
    tooltip.style.top = y + "px";
  }

  function hideTip() {
    tooltip.style.display = "none";
  }

  function hover(node, lines) {
    node.addEventListener("mouseenter", function (e) { showTip(lines(), e); });
    node.addEventListener("mousemove", moveTip);
    node.addEventListener("mouseleave", hideTip);
  }

  // ---- scales and axes ----------------------------------------------------

  function logScale(low, high, from, to) {
    const a = Math.log10(low);
    const b = Math.log10(high) === a ? a + 1 : Math.log10(high);
    const f = function (v) { return from + (Math.log10(v) - a) / (b - a) * (to - from); };
    f.low = low;
    f.high = high;
    return f;
  }

  function linearScale(low, high, from, to) {
    const span = high === low ? 1 : high - low;
    const f = function (v) { return from + (v - low) / span * (to - from); };
    f.low = low;
    f.high = high;
    return f;
  }

  // Ticks of a log axis: the powers of ten inside it, with 2 and 5 between
  // them when it spans less than three decades.
  function logTicks(low, high) {
    const ticks = [];
    const decades = Math.log10(high) - Math.log10(low);
    const steps = decades < 3 ? [1, 2, 5] : [1];
    for (let p = Math.floor(Math.log10(low)); p <= Math.ceil(Math.log10(high)); p++) {
      for (const m of steps) {
        const v = m * Math.pow(10, p);
        if (v >= low * 0.999 && v <= high * 1.001) ticks.push(v);
      }
    }
    return ticks;
  }

  function tickLabel(v) {
    return v >= 10000 ? v.toExponential(0).replace("e+", "e") : String(v);
  }

  function axes(g, x, y, box, xTitle, yTitle) {
    const axis = svg("g", { class: "axis" }, g);
    svg("path", { d: "M" + box.left + "," + box.top + "V" + box.bottom + "H" + box.right }, axis);
    for (const v of logTicks(x.low, x.high)) {
      const px = x(v);
      svg("line", { x1: px, x2: px, y1: box.bottom, y2: box.bottom + 5 }, axis);
      svg("text", { x: px, y: box.bottom + 18, "text-anchor": "middle" }, axis, tickLabel(v));
    }
    for (const v of logTicks(y.low, y.high)) {
      const py = y(v);
      svg("line", { x1: box.left - 5, x2: box.left, y1: py, y2: py }, axis);
      svg("text", { x: box.left - 8, y: py + 4, "text-anchor": "end" }, axis, tickLabel(v));
    }
    svg("text", { class: "axis-title", x: (box.left + box.right) / 2, y: box.bottom + 36,
                  "text-anchor": "middle" }, g, xTitle);
    svg("text", { class: "axis-title", transform: "rotate(-90)", x: -(box.top + box.bottom) / 2,
                  y: 14, "text-anchor": "middle" }, g, yTitle);
  }

  function chartBox(parent, width, height, id) {
    const holder = html("div", { class: "chart" }, parent);
    if (id) holder.id = id;
    const root = svg("svg", { viewBox: "0 0 " + width + " " + height, role: "img" }, holder);
    return root;
  }

  // ---- a table that sorts by any column and filters as you type ----------

  // columns: [{label, kind: "text" | "int" | "num", digits, get(row)}]
  function dataTable(parent, id, columns, rows, options) {
    const pageSize = options.pageSize || 50;
    const controls = html("div", { class: "controls" }, parent);
    const filter = html("input", { type: "search", id: id + "-filter",
                                   placeholder: options.placeholder || "filter" }, controls);
    const pager = html("span", { class: "pager" }, controls);
    const previous = html("button", { type: "button" }, controls, "‹ previous");
    const next = html("button", { type: "button" }, controls, "next ›");
    const table = html("table", { id: id }, parent);
    const head = html("tr", {}, html("thead", {}, table));
    const body = html("tbody", {}, table);
    const state = { sort: options.sort || 0, descending: options.descending !== false,
                    page: 0, rows: rows, shown: rows };

    columns.forEach(function (column, i) {
      const th = html("th", { class: "sortable" + (column.kind === "text" ? "" : " num") },
                      head, column.label);
      if (column.title) th.title = column.title;
      th.addEventListener("click", function () {
        if (state.sort === i) {
          state.descending = !state.descending;
        } else {
          state.sort = i;
          state.descending = column.kind !== "text";
        }
        update();
      });
    });

    function compare(a, b) {
      const column = columns[state.sort];
      let va = column.get(a);
      let vb = column.get(b);
      let order;
      if (column.kind === "text") {
        order = va < vb ? -1 : va > vb ? 1 : 0;
      } else {
        if (va === null) va = -Infinity;
        if (vb === null) vb = -Infinity;
        order = va - vb;
      }
      return state.descending ? -order : order;
    }

    function update() {
      const needle = filter.value.trim().toLowerCase();
      state.shown = needle === "" ? state.rows.slice() : state.rows.filter(function (row) {
        return columns.some(function (column) {
          return column.kind === "text" && String(column.get(row)).toLowerCase().includes(needle);
        });
      });
      state.shown.sort(compare);
      const pages = Math.max(1, Math.ceil(state.shown.length / pageSize));
      state.page = Math.min(state.page, pages - 1);
      render();
    }

    function render() {
      body.textContent = "";
      const first = state.page * pageSize;
      const last = Math.min(state.shown.length, first + pageSize);
      for (let r = first; r < last; r++) {
        const tr = html("tr", {}, body);
        for (const column of columns) {
          const value = column.get(state.shown[r]);
          const text = column.kind === "text" ? value
            : column.kind === "int" ? integer(value) : fixed(value, column.digits);
          html("td", column.kind === "text" ? {} : { class: "num" }, tr, text);
        }
      }
      Array.from(head.children).forEach(function (th, i) {
        const old = th.querySelector(".arrow");
        if (old) old.remove();
        if (i === state.sort) html("span", { class: "arrow" }, th, state.descending ? "▼" : "▲");
      });
      pager.textContent = state.shown.length === 0 ? "no rows" :
        (first + 1) + "–" + last + " of " + integer(state.shown.length) +
        (state.shown.length < state.rows.length ? " (filtered from " + integer(state.rows.length) + ")" : "");
      previous.disabled = state.page === 0;
      next.disabled = last >= state.shown.length;
    }

    filter.addEventListener("input", function () { state.page = 0; update(); });
    previous.addEventListener("click", function () { state.page--; render(); });
    next.addEventListener("click", function () { state.page++; render(); });
    update();
    return {
      setRows: function (newRows) { state.rows = newRows; state.page = 0; update(); },
      sortBy: function (i) { state.sort = i; state.descending = true; state.page = 0; update(); },
    };
  }

  // ---- header and summary -------------------------------------------------

  function drawSummary() {
    const node = section("summary", "Summary");
    const table = html("table", { class: "summary" }, node);
    for (const [label, value, remark] of data.summary) {
      const tr = html("tr", {}, table);
      html("td", {}, tr, label);
      html("td", { class: "num" }, tr, value);
      html("td", { class: "note" }, tr, remark);
    }
    for (const [kind, origin] of data.sources) {
      const tr = html("tr", {}, table);
      html("td", {}, tr, kind + " result");
      html("td", { class: "note", colspan: "2" }, tr, origin);
    }
  }

  // ---- terms -------------------------------------------------------------------

  function drawTopTerms(freq) {
    const node = section("top-terms", "The most frequent terms",
      "The 25 terms that occur most often, with their number of occurrences.");
    const top = freq.terms.slice(0, 25);
    if (top.length === 0) {
      note(node, "The result holds no terms.");
      return;
    }
    const width = 960;
    const row = 24;
    const labelWidth = 170;
    const height = top.length * row + 30;
    const root = chartBox(node, width, height);
    const x = linearScale(0, top[0][1], labelWidth, width - 70);
    top.forEach(function (term, i) {
      const y = 10 + i * row;
      svg("text", { x: labelWidth - 8, y: y + 15, "text-anchor": "end" }, root, term[0]);
      const bar = svg("rect", { class: "bar", x: labelWidth, y: y + 3,
                                width: Math.max(1, x(term[1]) - labelWidth), height: row - 6 }, root);
      hover(bar, function () {
        const lines = [term[0], "occurrences: " + integer(term[1])];
        if (term.length > 2) lines.push("records holding it: " + integer(term[2]));
        return lines;
      });
      svg("text", { x: x(term[1]) + 6, y: y + 15 }, root, integer(term[1]));
    });
  }

  function drawTermTable(freq) {
    const node = section("terms", "All terms",
      "Click a column to sort by it; type to keep the terms that contain the text." +
      (freq.total > freq.terms.length ? " The table holds the " + integer(freq.terms.length) +
       " most frequent of " + integer(freq.total) + " terms." : ""));
    const columns = [
      { label: "term", kind: "text", get: function (t) { return t[0]; } },
      { label: "词频 occurrences", kind: "int", get: function (t) { return t[1]; } },
    ];
    if (freq.has_records) {
      columns.push(
        { label: "出现行数 records", kind: "int", get: function (t) { return t[2]; } },
        { label: "最大值 max", kind: "int", get: function (t) { return t[3]; } },
        { label: "次小值 min held", kind: "int", get: function (t) { return t[4]; } },
        { label: "最小值 min", kind: "int", get: function (t) { return t[5]; } },
        { label: "平均值 average", kind: "num", digits: 4, get: function (t) { return t[6]; } },
        { label: "spread", kind: "num", digits: 2, get: function (t) { return t[7]; },
          title: "records holding the term against the records an even spread would give (1: as even as chance)" });
    }
    dataTable(node, "terms-table", columns, freq.terms, { sort: 1, placeholder: "filter terms" });
  }

  function drawRankFrequency(freq) {
    const node = section("rank-frequency", "Rank and frequency",
      "Each term's frequency against its rank, both on logarithmic axes. Zipf's law says " +
      "frequency falls as a power of rank: a straight line of slope −s here.");
    const curve = freq.curve;
    if (curve.length < 2) {
      note(node, "Too few terms for a curve.");
      return;
    }
    const width = 960;
    const height = 420;
    const box = { left: 70, right: width - 20, top: 16, bottom: height - 50 };
    const root = chartBox(node, width, height);
    const lastRank = curve[curve.length - 1][0];
    const x = logScale(1, Math.max(2, lastRank), box.left, box.right);
    const y = logScale(Math.max(1, curve[curve.length - 1][1]), Math.max(2, curve[0][1]),
                       box.bottom, box.top);
    axes(root, x, y, box, "rank", "frequency");
    const path = curve.map(function (p, i) {
      return (i === 0 ? "M" : "L") + x(p[0]).toFixed(1) + "," + y(p[1]).toFixed(1);
    }).join("");
    svg("path", { class: "curve", d: path }, root);
    // The top terms as points that name themselves.
    freq.terms.slice(0, 30).forEach(function (t, i) {
      const dot = svg("circle", { class: "rank-point", cx: x(i + 1), cy: y(t[1]), r: 3.5 }, root);
      hover(dot, function () { return [t[0], "rank " + (i + 1) + ", frequency " + integer(t[1])]; });
    });
    const zipf = freq.zipf;
    const caption = html("p", { id: "zipf-caption", class: "lead" }, node);
    if (zipf) {
      const at = function (rank) { return Math.pow(10, zipf.intercept - zipf.exponent * Math.log10(rank)); };
      svg("line", { class: "fit", x1: x(zipf.first_rank), y1: y(at(zipf.first_rank)),
                    x2: x(zipf.last_rank), y2: y(at(zipf.last_rank)) }, root);
      caption.textContent = "Zipf exponent s = " + zipf.exponent.toFixed(3) + " (R² = " +
        zipf.r_squared.toFixed(3) + "), fitted by least squares on log-log axes over ranks " +
        integer(zipf.first_rank) + " to " + integer(zipf.last_rank) + " (frequencies " +
        integer(zipf.highest_frequency) + " down to " + integer(zipf.lowest_frequency) + "; " +
        zipf.points + " points, one per frequency at the middle of its ranks; terms seen once left out).";
    } else {
      caption.textContent = "No Zipf exponent: fewer than three distinct frequencies of 2 or more.";
    }
  }

  function spreadColour(ratio) {
    // Blue for terms as even as chance or more, orange for bursty ones.
    const t = Math.max(0, Math.min(1, (ratio - 0.3) / 0.7));
    const mix = function (a, b) { return Math.round(a + (b - a) * t); };
    return "rgb(" + mix(217, 47) + "," + mix(130, 109) + "," + mix(43, 181) + ")";
  }

  function drawDispersion(freq) {
    const node = section("dispersion", "Dispersion",
      "Records holding a term against its frequency. The solid line is what an even spread " +
      "would give: the records a term would be found in if its occurrences fell on the " +
      "records at random. Terms near it spread evenly (blue); terms far below it are bursty " +
      "(orange): many occurrences in few records.");
    const d = freq.dispersion;
    if (!d) {
      note(node, freq.terms.length === 0 ? "The result holds no terms." :
                 "The frequency result has only terms and their frequencies (a run over files), " +
                 "not the records that hold them.");
      return;
    }
    if (d.points.length === 0) {
      note(node, "The result holds no terms.");
      return;
    }
    if (d.records === null) {
      note(node, "The number of records is not known, so the even spread cannot be drawn.");
    } else if (!d.exact) {
      note(node, "The number of records is known only roughly; the even spread uses " +
                 integer(Math.round(d.records)) + ".");
    }
    const width = 960;
    const height = 440;
    const box = { left: 70, right: width - 20, top: 16, bottom: height - 50 };
    const root = chartBox(node, width, height);
    let maxF = 2;
    let maxR = 2;
    for (const p of d.points) {
      maxF = Math.max(maxF, p[1]);
      maxR = Math.max(maxR, p[2]);
    }
    for (const e of d.expected) maxR = Math.max(maxR, Math.ceil(e[1]));
    const x = logScale(1, maxF, box.left, box.right);
    const y = logScale(1, maxR, box.bottom, box.top);
    axes(root, x, y, box, "frequency (occurrences)", "records holding the term");
    const top = Math.min(maxF, maxR);
    svg("line", { class: "diagonal", x1: x(1), y1: y(1), x2: x(top), y2: y(top) }, root);
    if (d.expected.length > 1) {
      const path = d.expected.map(function (p, i) {
        return (i === 0 ? "M" : "L") + x(p[0]).toFixed(1) + "," + y(p[1]).toFixed(1);
      }).join("");
      svg("path", { class: "expected", d: path }, root);
    }
    const even = function (f) {
      if (d.records === null) return null;
      return d.records * -Math.expm1(f * Math.log1p(-1 / d.records));
    };
    // Rare terms first, so that the frequent ones stay on top.
    for (let i = d.points.length - 1; i >= 0; i--) {
      const p = d.points[i];
      const expected = even(p[1]);
      const ratio = expected ? p[2] / expected : 1;
      const dot = svg("circle", { class: "point", cx: x(p[1]).toFixed(1), cy: y(p[2]).toFixed(1),
                                  r: 3, fill: spreadColour(ratio) }, root);
      hover(dot, function () {
        const lines = [p[0], "occurrences: " + integer(p[1]), "records holding it: " + integer(p[2])];
        if (expected) lines.push("an even spread: " + expected.toFixed(1) + " records");
        return lines;
      });
    }
    if (d.even.length > 0) {
      const lists = html("div", { class: "lists" }, node);
      const list = function (title, rows) {
        const holder = html("div", {}, lists);
        html("h3", {}, holder, title);
        const table = html("table", {}, holder);
        const head = html("tr", {}, table);
        for (const label of ["term", "occurrences", "records", "spread"]) {
          html("th", label === "term" ? {} : { class: "num" }, head, label);
        }
        for (const r of rows) {
          const tr = html("tr", {}, table);
          html("td", {}, tr, r[0]);
          html("td", { class: "num" }, tr, integer(r[1]));
          html("td", { class: "num" }, tr, integer(r[2]));
          html("td", { class: "num" }, tr, r[3].toFixed(2));
        }
      };
      list("Most evenly spread (seen " + d.list_min_frequency + " times or more)", d.even);
      list("Most bursty (seen " + d.list_min_frequency + " times or more)", d.bursty);
    }
  }

  // ---- pairs --------------------------------------------------------------------

  const MEASURES = {
    count: { label: "count", index: null, digits: 0 },
    pmi: { label: "PMI", index: 6, digits: 2 },
    g2: { label: "G²", index: 7, digits: 1 },
    t: { label: "t-score", index: 8, digits: 2 },
    dice: { label: "Dice", index: 9, digits: 3 },
  };

  function measureOf(pair, key) {
    return key === "count" ? pair[2] + pair[3] : pair[MEASURES[key].index];
  }

  function rankedPairs(list, key) {
    return list.slice().sort(function (a, b) {
      const d = measureOf(b, key) - measureOf(a, key);
      if (d !== 0) return d;
      const c = (b[2] + b[3]) - (a[2] + a[3]);
      if (c !== 0) return c;
      return a[0] < b[0] ? -1 : a[0] > b[0] ? 1 : a[1] < b[1] ? -1 : a[1] > b[1] ? 1 : 0;
    });
  }

  function drawPairs(pairs) {
    const node = section("pairs", "The strongest pairs",
      "Two terms that occur together in a record, both orders counted together, seen at least " +
      pairs.min_count + " times. Choose the measure that ranks them; each is computed " +
      "exactly from the counts (see the definitions at the end of the page). A term's pairs " +
      "with itself (its repeats within a record) are left out unless you ask for them.");
    if (!pairs.exact) {
      note(node, "Association measures are not computed: " + pairs.reason +
                 ". The pairs are ranked by their count; run the statement without MINFREQ " +
                 "for a result the measures can be computed from.");
    }
    const controls = html("div", { class: "controls" }, node);
    html("label", { for: "measure" }, controls, "rank by");
    const select = html("select", { id: "measure" }, controls);
    for (const key of pairs.exact ? Object.keys(MEASURES) : ["count"]) {
      const option = html("option", { value: key }, select, MEASURES[key].label);
      if (key === pairs.measure) option.selected = true;
    }
    const selfLabel = html("label", {}, controls);
    const selfBox = html("input", { type: "checkbox", id: "self-pairs" }, selfLabel);
    selfLabel.appendChild(document.createTextNode(" a term with itself"));
    const count = html("span", { class: "pager" }, controls);
    // The pairs shown: those of two different terms, or all of them.
    const listed = function () {
      return selfBox.checked ? pairs.list : pairs.list.filter(function (p) { return p[0] !== p[1]; });
    };
    const describe = function () {
      count.textContent = integer(selfBox.checked ? pairs.candidates_with_self : pairs.candidates) +
        " pairs seen " + pairs.min_count + " times or more; the page holds the strongest " +
        integer(listed().length) + " by any measure.";
    };
    describe();
    if (pairs.list.length === 0) {
      note(node, "No pair is seen " + pairs.min_count + " times or more.");
    }
    const columns = [
      { label: "term 1", kind: "text", get: function (p) { return p[0]; } },
      { label: "term 2", kind: "text", get: function (p) { return p[1]; } },
      { label: "together", kind: "int", get: function (p) { return p[2] + p[3]; },
        title: "pair occurrences in either order" },
      { label: "1→2", kind: "int", get: function (p) { return p[2]; }, title: "term 1 first" },
      { label: "2→1", kind: "int", get: function (p) { return p[3]; }, title: "term 2 first" },
    ];
    if (pairs.exact) {
      columns.push(
        { label: "N1", kind: "int", get: function (p) { return p[4]; },
          title: "pair places term 1 fills (its participation count)" },
        { label: "N2", kind: "int", get: function (p) { return p[5]; },
          title: "pair places term 2 fills" });
      for (const key of ["pmi", "g2", "t", "dice"]) {
        const m = MEASURES[key];
        columns.push({ label: m.label, kind: "num", digits: m.digits, key: key,
                       get: function (p) { return p[m.index]; } });
      }
    }
    const columnOf = function (key) {
      if (key === "count") return 2;
      return columns.findIndex(function (c) { return c.key === key; });
    };
    const table = dataTable(node, "pairs-table", columns, listed(),
                            { sort: columnOf(select.value), placeholder: "filter terms" });
    const network = drawNetwork(pairs, listed, select.value);
    select.addEventListener("change", function () {
      table.sortBy(columnOf(select.value));
      network.show(select.value);
    });
    selfBox.addEventListener("change", function () {
      describe();
      table.setRows(listed());
      network.show(select.value);
    });
  }

  // Fruchterman and Reingold's force-directed placement, from a fixed
  // start, so that a report draws the same picture every time it opens. A
  // pull towards the middle keeps separate groups of terms near the others;
  // the picture is then scaled to fit the frame, never pressed against it.
  function layout(nodes, edges, width, height) {
    const n = nodes.length;
    const k = Math.sqrt(width * height / Math.max(1, n)) / 2;
    nodes.forEach(function (v, i) {
      const angle = i * 2.399963;
      const radius = 12 * Math.sqrt(i + 1);
      v.x = radius * Math.cos(angle);
      v.y = radius * Math.sin(angle);
    });
    let temperature = k * 2;
    for (let round = 0; round < 300; round++) {
      for (const v of nodes) { v.dx = 0; v.dy = 0; }
      for (let i = 0; i < n; i++) {
        for (let j = i + 1; j < n; j++) {
          const a = nodes[i];
          const b = nodes[j];
          let dx = a.x - b.x;
          let dy = a.y - b.y;
          const distance = Math.max(0.5, Math.hypot(dx, dy));
          const force = k * k / distance;
          dx = dx / distance * force;
          dy = dy / distance * force;
          a.dx += dx; a.dy += dy;
          b.dx -= dx; b.dy -= dy;
        }
      }
      for (const e of edges) {
        if (e.source === e.target) continue;
        const dx = e.source.x - e.target.x;
        const dy = e.source.y - e.target.y;
        const distance = Math.max(0.5, Math.hypot(dx, dy));
        const force = distance * distance / k * (0.5 + e.strength);
        e.source.dx -= dx / distance * force; e.source.dy -= dy / distance * force;
        e.target.dx += dx / distance * force; e.target.dy += dy / distance * force;
      }
      for (const v of nodes) {
        const distance = Math.hypot(v.x, v.y);
        v.dx -= v.x * 0.08 * distance / k;
        v.dy -= v.y * 0.08 * distance / k;
        const length = Math.max(0.01, Math.hypot(v.dx, v.dy));
        const step = Math.min(length, temperature);
        v.x += v.dx / length * step;
        v.y += v.dy / length * step;
      }
      temperature = Math.max(0.5, temperature * 0.97);
    }
    // Into the frame, with room for the circles, the loops and the labels.
    let left = Infinity, right = -Infinity, top = Infinity, bottom = -Infinity;
    for (const v of nodes) {
      left = Math.min(left, v.x); right = Math.max(right, v.x);
      top = Math.min(top, v.y); bottom = Math.max(bottom, v.y);
    }
    const margin = { left: 40, right: 110, top: 60, bottom: 30 };
    const scale = Math.min((width - margin.left - margin.right) / Math.max(1, right - left),
                           (height - margin.top - margin.bottom) / Math.max(1, bottom - top), 3);
    const offsetX = margin.left + (width - margin.left - margin.right - (right - left) * scale) / 2;
    const offsetY = margin.top + (height - margin.top - margin.bottom - (bottom - top) * scale) / 2;
    for (const v of nodes) {
      v.x = offsetX + (v.x - left) * scale;
      v.y = offsetY + (v.y - top) * scale;
    }
  }

  // listed(): the pairs that may be drawn.
  function drawNetwork(pairs, listed, initialKey) {
    const node = section("network", "Network of the strongest pairs",
      "Terms as circles sized by frequency, pairs as lines as thick as their measure. Drag to " +
      "move the picture, turn the wheel (or use the buttons) to zoom, and point at a term or a " +
      "line to read its numbers.");
    const controls = html("div", { class: "controls" }, node);
    html("label", { for: "network-size" }, controls, "pairs shown");
    const size = html("select", { id: "network-size" }, controls);
    for (const n of [20, 40, 60, 100, 150]) {
      const option = html("option", { value: String(n) }, size, String(n));
      if (n === Number(pairs.network_pairs)) option.selected = true;
    }
    if (!size.value) {
      html("option", { value: String(pairs.network_pairs), selected: "" }, size, String(pairs.network_pairs));
      size.value = String(pairs.network_pairs);
    }
    const zoomIn = html("button", { type: "button", id: "zoom-in" }, controls, "+");
    const zoomOut = html("button", { type: "button", id: "zoom-out" }, controls, "−");
    const reset = html("button", { type: "button", id: "zoom-reset" }, controls, "reset");
    const caption = html("span", { class: "pager" }, controls);
    const width = 1100;
    const height = 700;
    const holder = html("div", { class: "chart", id: "network-chart" }, node);
    const root = svg("svg", { id: "network-svg", viewBox: "0 0 " + width + " " + height }, holder);
    const viewport = svg("g", { class: "viewport" }, root);
    const view = { x: 0, y: 0, scale: 1 };
    let key = initialKey;

    function applyView() {
      viewport.setAttribute("transform",
        "translate(" + view.x.toFixed(2) + "," + view.y.toFixed(2) + ") scale(" + view.scale.toFixed(4) + ")");
    }

    // Client coordinates as coordinates of the picture's viewBox.
    function toPicture(event) {
      const point = root.createSVGPoint();
      point.x = event.clientX;
      point.y = event.clientY;
      return point.matrixTransform(root.getScreenCTM().inverse());
    }

    function zoomAt(cx, cy, factor) {
      const scale = Math.min(8, Math.max(0.25, view.scale * factor));
      view.x = cx - (cx - view.x) * scale / view.scale;
      view.y = cy - (cy - view.y) * scale / view.scale;
      view.scale = scale;
      applyView();
    }

    root.addEventListener("wheel", function (event) {
      event.preventDefault();
      const p = toPicture(event);
      zoomAt(p.x, p.y, Math.exp(-event.deltaY * 0.0015));
    }, { passive: false });
    let drag = null;
    root.addEventListener("pointerdown", function (event) {
      const p = toPicture(event);
      drag = { x: p.x - view.x, y: p.y - view.y };
      root.classList.add("panning");
      root.setPointerCapture(event.pointerId);
    });
    root.addEventListener("pointermove", function (event) {
      if (!drag) return;
      const p = toPicture(event);
      view.x = p.x - drag.x;
      view.y = p.y - drag.y;
      applyView();
    });
    const stop = function () { drag = null; root.classList.remove("panning"); };
    root.addEventListener("pointerup", stop);
    root.addEventListener("pointercancel", stop);
    zoomIn.addEventListener("click", function () { zoomAt(width / 2, height / 2, 1.4); });
    zoomOut.addEventListener("click", function () { zoomAt(width / 2, height / 2, 1 / 1.4); });
    reset.addEventListener("click", function () { view.x = 0; view.y = 0; view.scale = 1; applyView(); });
    size.addEventListener("change", function () { show(key); });

    function show(newKey) {
      key = newKey;
      viewport.textContent = "";
      const limit = Number(size.value);
      const chosen = rankedPairs(listed(), key).filter(function (p) {
        return measureOf(p, key) > 0;
      }).slice(0, limit);
      // Circles sized by frequency when the frequency result holds every
      // term shown, else all by the pair occurrences the term is in: sizes
      // of two kinds in one picture would not compare.
      const byFrequency = chosen.every(function (p) {
        return [p[0], p[1]].every(function (t) { return pairs.terms[t] && pairs.terms[t][0] !== null; });
      });
      caption.textContent = chosen.length + " strongest pairs by " + MEASURES[key].label +
        "; circles sized by " + (byFrequency ? "frequency" : "the pair occurrences a term is in") + ".";
      const byTerm = new Map();
      const nodes = [];
      const nodeOf = function (term) {
        if (!byTerm.has(term)) {
          const counts = pairs.terms[term] || [null, 0];
          const v = { term: term, weight: byFrequency ? counts[0] : counts[1],
                      frequency: counts[0], within: counts[1], degree: 0 };
          byTerm.set(term, v);
          nodes.push(v);
        }
        return byTerm.get(term);
      };
      const values = chosen.map(function (p) { return measureOf(p, key); });
      const squash = key === "pmi" || key === "dice" ? function (v) { return v; } : Math.log1p;
      const low = Math.min.apply(null, values.map(squash));
      const high = Math.max.apply(null, values.map(squash));
      const edges = chosen.map(function (p) {
        const e = { pair: p, source: nodeOf(p[0]), target: nodeOf(p[1]),
                    strength: high > low ? (squash(measureOf(p, key)) - low) / (high - low) : 1 };
        e.source.degree++;
        if (e.target !== e.source) e.target.degree++;
        return e;
      });
      layout(nodes, edges, width, height);
      const heaviest = Math.max.apply(null, nodes.map(function (v) { return v.weight; }).concat([1]));
      const edgeLayer = svg("g", {}, viewport);
      const nodeLayer = svg("g", {}, viewport);
      const focus = function (members) {
        root.classList.add("focus");
        for (const m of members) m.classList.add("lit");
      };
      const unfocus = function () {
        root.classList.remove("focus");
        for (const m of root.querySelectorAll(".lit")) m.classList.remove("lit");
      };
      for (const e of edges) {
        const p = e.pair;
        const attrs = { x1: e.source.x, y1: e.source.y, x2: e.target.x, y2: e.target.y };
        let line;
        if (e.source === e.target) {
          // A term with itself: a loop above its circle.
          const r = 8 + 14 * Math.sqrt(e.source.weight / heaviest);
          const d = "M" + (e.source.x - r * 0.6) + "," + (e.source.y - r * 0.8) +
            "C" + (e.source.x - r * 1.6) + "," + (e.source.y - r * 3) + " " +
            (e.source.x + r * 1.6) + "," + (e.source.y - r * 3) + " " +
            (e.source.x + r * 0.6) + "," + (e.source.y - r * 0.8);
          line = svg("path", { class: "edge", d: d, fill: "none",
                               "stroke-width": (1 + 5 * e.strength).toFixed(2) }, edgeLayer);
          const hit = svg("path", { class: "edge-hit", d: d, fill: "none" }, edgeLayer);
          e.hit = hit;
        } else {
          line = svg("line", Object.assign({ class: "edge",
                                             "stroke-width": (1 + 5 * e.strength).toFixed(2) }, attrs), edgeLayer);
          e.hit = svg("line", Object.assign({ class: "edge-hit" }, attrs), edgeLayer);
        }
        e.line = line;
        const lines = function () {
          const out = [p[0] + " — " + p[1], "together: " + integer(p[2] + p[3]) +
                       (p[0] === p[1] ? "" : " (" + integer(p[2]) + " + " + integer(p[3]) + ")")];
          if (pairs.exact) {
            out.push("PMI " + fixed(p[6], 2) + ", G² " + fixed(p[7], 1) + ", t " + fixed(p[8], 2) +
                     ", Dice " + fixed(p[9], 3));
          }
          return out;
        };
        e.hit.addEventListener("mouseenter", function (event) {
          focus([line, e.source.circle, e.target.circle, e.source.label, e.target.label]);
          showTip(lines(), event);
        });
        e.hit.addEventListener("mousemove", moveTip);
        e.hit.addEventListener("mouseleave", function () { unfocus(); hideTip(); });
      }
      for (const v of nodes) {
        const r = 4 + 14 * Math.sqrt(v.weight / heaviest);
        v.circle = svg("circle", { class: "node", cx: v.x, cy: v.y, r: r.toFixed(2) }, nodeLayer);
        v.label = svg("text", { class: "label", x: v.x + r + 3, y: v.y + 4 }, nodeLayer, v.term);
        v.circle.addEventListener("mouseenter", function (event) {
          const members = [v.circle, v.label];
          for (const e of edges) {
            if (e.source === v || e.target === v) {
              members.push(e.line, e.source.circle, e.target.circle, e.source.label, e.target.label);
            }
          }
          focus(members);
          const lines = [v.term];
          if (v.frequency !== null) lines.push("frequency: " + integer(v.frequency));
          lines.push("pair occurrences in the result: " + integer(v.within));
          lines.push("pairs shown: " + v.degree);
          showTip(lines, event);
        });
        v.circle.addEventListener("mousemove", moveTip);
        v.circle.addEventListener("mouseleave", function () { unfocus(); hideTip(); });
      }
      view.x = 0;
      view.y = 0;
      view.scale = 1;
      applyView();
    }

    show(key);
    return { show: show };
  }

  // ---- definitions ----------------------------------------------------------

  function drawFooter() {
    const footer = document.querySelector("footer");
    html("p", {}, footer, "Made by vocs " + data.version + " on " + data.created + ".");
    if (!data.pairs) return;
    const dl = html("dl", {}, footer);
    const define = function (term, text) {
      html("dt", {}, dl, term);
      html("dd", {}, dl, text);
    };
    define("places", "Every pair occurrence has two places, one per term. N1 and N2 are the places " +
           "the two terms fill (their participation counts), N all places (twice the pair occurrences). " +
           "O11 is the places of term 1 whose partner is term 2: both orders for two terms, twice the " +
           "count for a term with itself. E11 = N1·N2/N.");
    define("PMI", "log2(O11 / E11): how many times more often than by chance, in bits (Church and Hanks 1990).");
    define("G²", "log-likelihood ratio 2 Σ O ln(O/E) over the 2×2 table, negative when O11 < E11 " +
           "(Dunning 1993).");
    define("t-score", "(O11 − E11) / √O11 (Church, Gale, Hanks and Hindle 1991).");
    define("Dice", "2·O11 / (N1 + N2): 1 when the two terms occur only with each other (Dice 1945; " +
           "Smadja, McKeown and Hatzivassiloglou 1996).");
  }

  // ---- the page ----------------------------------------------------------------

  document.title = data.title;
  drawSummary();
  if (data.frequency) {
    drawTopTerms(data.frequency);
    drawTermTable(data.frequency);
    drawRankFrequency(data.frequency);
    drawDispersion(data.frequency);
  }
  if (data.pairs) drawPairs(data.pairs);
  drawFooter();
  const nav = document.querySelector("nav");
  for (const s of report.querySelectorAll("section")) {
    html("a", { href: "#" + s.id }, nav, s.querySelector("h2").textContent);
  }
  document.body.setAttribute("data-drawn", "true");
})();
