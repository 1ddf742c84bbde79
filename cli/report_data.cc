#include "cli/report_data.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <unordered_map>

#include "cli/commands.h"
#include "cli/json_writer.h"

namespace vocs::cli {

namespace {

constexpr Measure kMeasures[] = {Measure::kCount, Measure::kPmi, Measure::kLogLikelihood,
                                 Measure::kTScore, Measure::kDice};
// Terms seen fewer times say little about how they spread.
constexpr int64_t kSpreadListMinFrequency = 5;
constexpr size_t kSpreadListLength = 12;

struct Summary {
  JsonWriter* w;
  void Row(const std::string& label, const std::string& value, const std::string& note = "") {
    w->BeginArray();
    w->String(label);
    w->String(value);
    w->String(note);
    w->EndArray();
  }
};

// "12,345": digits in groups of three.
std::string Grouped(int64_t n) {
  const std::string digits = std::to_string(n);
  const size_t sign = n < 0 ? 1 : 0;
  std::string out = digits.substr(0, sign);
  for (size_t i = sign; i < digits.size(); ++i) {
    if (i > sign && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

// The terms of the result by descending frequency, ties in the result's
// (term) order.
std::vector<const TermStats*> ByFrequency(const FrequencyResult& result) {
  std::vector<const TermStats*> order;
  order.reserve(result.terms().size());
  for (const TermStats& t : result.terms()) order.push_back(&t);
  std::stable_sort(order.begin(), order.end(),
                   [](const TermStats* a, const TermStats* b) { return a->frequency > b->frequency; });
  return order;
}

struct FrequencyFacts {
  RecordCountRange records;
  double records_for_spread = 0;  // 0: unknown
  ZipfFit zipf;
};

void WriteTermRow(JsonWriter& w, const TermStats& t, double records) {
  w.BeginArray();
  w.String(t.term);
  w.Integer(t.frequency);
  if (t.records >= 0) {
    w.Integer(t.records);
    w.Integer(t.max);
    w.Integer(t.hypomin);
    w.Integer(t.min);
    w.Number(static_cast<double>(t.average) / 10000);
    if (records > 0) {
      w.Number(static_cast<double>(t.records) / EvenlySpreadRecords(t.frequency, records));
    } else {
      w.Null();
    }
  }
  w.EndArray();
}

void WriteFrequency(JsonWriter& w, const FrequencyResult& result, const FrequencyFacts& facts,
                    std::string* notes) {
  const std::vector<const TermStats*> order = ByFrequency(result);
  const double records = facts.records_for_spread;
  w.BeginObject();
  w.Key("origin");
  w.String(result.origin());
  w.Key("has_records");
  w.Bool(result.has_records());
  w.Key("total");
  w.Integer(static_cast<int64_t>(order.size()));
  w.Key("terms");
  w.BeginArray();
  for (size_t i = 0; i < order.size() && i < kReportTermRows; ++i) {
    WriteTermRow(w, *order[i], records);
  }
  w.EndArray();
  if (order.size() > kReportTermRows) {
    *notes += "the term table shows the " + Grouped(kReportTermRows) + " most frequent of " +
              Grouped(static_cast<int64_t>(order.size())) + " terms\n";
  }

  // The rank-frequency curve as the ends of its steps of equal frequency.
  w.Key("curve");
  w.BeginArray();
  for (size_t i = 0; i < order.size();) {
    size_t j = i;
    while (j < order.size() && order[j]->frequency == order[i]->frequency) ++j;
    for (const size_t rank : {i + 1, j}) {
      if (rank == i + 1 || j > i + 1) {
        w.BeginArray();
        w.Integer(static_cast<int64_t>(rank));
        w.Integer(order[i]->frequency);
        w.EndArray();
      }
    }
    i = j;
  }
  w.EndArray();
  w.Key("zipf");
  if (facts.zipf.fitted) {
    w.BeginObject();
    w.Key("exponent");
    w.Number(facts.zipf.exponent);
    w.Key("intercept");
    w.Number(facts.zipf.intercept);
    w.Key("r_squared");
    w.Number(facts.zipf.r_squared);
    w.Key("first_rank");
    w.Integer(facts.zipf.first_rank);
    w.Key("last_rank");
    w.Integer(facts.zipf.last_rank);
    w.Key("highest_frequency");
    w.Integer(facts.zipf.highest_frequency);
    w.Key("lowest_frequency");
    w.Integer(facts.zipf.lowest_frequency);
    w.Key("points");
    w.Integer(static_cast<int64_t>(facts.zipf.points));
    w.EndObject();
  } else {
    w.Null();
    *notes += "no Zipf exponent: fewer than three distinct frequencies of 2 or more\n";
  }

  w.Key("dispersion");
  if (!result.has_records()) {
    w.Null();
    *notes += "no dispersion chart: " + result.origin() +
              (result.terms().empty()
                   ? " holds no terms\n"
                   : " has only terms and frequencies (a run over files), not the records "
                     "holding them\n");
    w.EndObject();
    return;
  }
  w.BeginObject();
  w.Key("records");
  if (records > 0) {
    w.Number(records);
  } else {
    w.Null();
  }
  w.Key("exact");
  w.Bool(facts.records.exact());
  w.Key("points");
  w.BeginArray();
  for (size_t i = 0; i < order.size() && i < kReportDispersionTerms; ++i) {
    const TermStats& t = *order[i];
    w.BeginArray();
    w.String(t.term);
    w.Integer(t.frequency);
    w.Integer(t.records);
    w.EndArray();
  }
  w.EndArray();
  w.Key("expected");
  w.BeginArray();
  if (records > 0 && !order.empty()) {
    const double highest = static_cast<double>(order.front()->frequency);
    int64_t last = 0;
    for (int k = 0; k <= 60; ++k) {
      const int64_t f = std::llround(std::pow(highest, k / 60.0));
      if (f == last) continue;
      last = f;
      w.BeginArray();
      w.Integer(f);
      w.Number(EvenlySpreadRecords(f, records));
      w.EndArray();
    }
  }
  w.EndArray();
  // The terms that spread most and least evenly, by records held against
  // the records an even spread would give.
  std::vector<std::pair<double, const TermStats*>> spread;
  if (records > 0) {
    for (const TermStats* t : order) {
      if (t->frequency < kSpreadListMinFrequency) continue;
      spread.push_back(
          {static_cast<double>(t->records) / EvenlySpreadRecords(t->frequency, records), t});
    }
  }
  std::stable_sort(spread.begin(), spread.end(),
                   [](const auto& a, const auto& b) { return a.first > b.first; });
  const auto list = [&](const char* key, bool from_front) {
    w.Key(key);
    w.BeginArray();
    const size_t n = std::min(kSpreadListLength, spread.size() / 2);
    for (size_t i = 0; i < n; ++i) {
      const auto& [ratio, t] = from_front ? spread[i] : spread[spread.size() - 1 - i];
      w.BeginArray();
      w.String(t->term);
      w.Integer(t->frequency);
      w.Integer(t->records);
      w.Number(ratio);
      w.EndArray();
    }
    w.EndArray();
  };
  list("even", true);
  list("bursty", false);
  w.Key("list_min_frequency");
  w.Integer(kSpreadListMinFrequency);
  w.EndObject();
  w.EndObject();
}

struct PairFacts {
  std::vector<ScoredPair> pairs;
  bool exact = false;
  std::string reason;
  std::string counts_origin;
};

PairFacts MeasureResult(const ReportInput& input) {
  PairFacts facts;
  const PairResult& result = *input.pairs;
  facts.pairs = CombineOrders(result);
  const DerivedTermCounts derived(result);
  const TermCountSource& counts = input.term_counts != nullptr ? *input.term_counts : derived;
  facts.counts_origin = counts.Origin();
  facts.exact = VerifyTermCounts(result, counts, &facts.reason) &&
                MeasurePairs(result, counts, &facts.pairs, &facts.reason);
  if (!facts.exact) {
    for (ScoredPair& pair : facts.pairs) pair.n1 = pair.n2 = 0;
  }
  return facts;
}

void WritePairs(JsonWriter& w, const ReportInput& input, const PairFacts& facts,
                std::string* notes) {
  const PairResult& result = *input.pairs;
  // Pairs of two different terms, and those with a term's pairs with
  // itself as well: the page shows the first and can add the others.
  std::vector<const ScoredPair*> different;
  std::vector<const ScoredPair*> candidates;
  for (const ScoredPair& pair : facts.pairs) {
    if (pair.together() < input.min_count) continue;
    candidates.push_back(&pair);
    if (pair.term1 != pair.term2) different.push_back(&pair);
  }
  // The strongest pairs by each measure, each pair once.
  std::vector<bool> chosen(facts.pairs.size(), false);
  for (const Measure measure : kMeasures) {
    if (!facts.exact && measure != Measure::kCount) continue;
    for (const auto* from : {&different, &candidates}) {
      std::vector<const ScoredPair*> ranked = *from;
      const size_t keep = std::min(kReportPairsPerMeasure, ranked.size());
      std::partial_sort(ranked.begin(), ranked.begin() + static_cast<std::ptrdiff_t>(keep),
                        ranked.end(), [&](const ScoredPair* a, const ScoredPair* b) {
                          return RanksBefore(result, measure, *a, *b);
                        });
      for (size_t i = 0; i < keep; ++i) {
        chosen[static_cast<size_t>(ranked[i] - facts.pairs.data())] = true;
      }
    }
  }
  if (!facts.exact) {
    *notes += "association measures not computed: " + facts.reason + "\n";
  }
  // Node sizes: the terms' frequencies when the frequency result is given.
  std::unordered_map<std::string_view, int64_t> frequency;
  if (input.frequency != nullptr) {
    for (const TermStats& t : input.frequency->terms()) frequency.emplace(t.term, t.frequency);
  }
  const DerivedTermCounts within(result);

  w.BeginObject();
  w.Key("origin");
  w.String(result.origin());
  w.Key("exact");
  w.Bool(facts.exact);
  w.Key("reason");
  w.String(facts.reason);
  w.Key("counts_origin");
  w.String(facts.counts_origin);
  w.Key("measure");
  w.String(MeasureKey(facts.exact ? input.measure : Measure::kCount));
  w.Key("min_count");
  w.Integer(input.min_count);
  w.Key("network_pairs");
  w.Integer(static_cast<int64_t>(input.network_pairs));
  w.Key("candidates");
  w.Integer(static_cast<int64_t>(different.size()));
  w.Key("candidates_with_self");
  w.Integer(static_cast<int64_t>(candidates.size()));
  w.Key("list");
  w.BeginArray();
  std::vector<uint32_t> nodes;
  for (size_t i = 0; i < facts.pairs.size(); ++i) {
    if (!chosen[i]) continue;
    const ScoredPair& pair = facts.pairs[i];
    nodes.push_back(pair.term1);
    nodes.push_back(pair.term2);
    w.BeginArray();
    w.String(result.Term(pair.term1));
    w.String(result.Term(pair.term2));
    w.Integer(pair.count);
    w.Integer(pair.reverse);
    if (facts.exact) {
      w.Integer(pair.n1);
      w.Integer(pair.n2);
      w.Number(pair.measures.pmi);
      w.Number(pair.measures.log_likelihood);
      w.Number(pair.measures.t_score);
      w.Number(pair.measures.dice);
    }
    w.EndArray();
  }
  w.EndArray();
  // Each term of the list: its frequency (null without a frequency result)
  // and the pair occurrences it is in within the result.
  std::sort(nodes.begin(), nodes.end());
  nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
  w.Key("terms");
  w.BeginObject();
  for (const uint32_t id : nodes) {
    w.Key(result.Term(id));
    w.BeginArray();
    const auto found = frequency.find(result.Term(id));
    if (found != frequency.end()) {
      w.Integer(found->second);
    } else {
      w.Null();
    }
    w.Integer(within.Count(result.Term(id)));
    w.EndArray();
  }
  w.EndObject();
  w.EndObject();
}

}  // namespace

std::string ReportData(const ReportInput& input, std::string* notes) {
  JsonWriter w;
  w.BeginObject();
  w.Key("title");
  w.String(input.title);
  w.Key("created");
  w.String(input.created);
  w.Key("version");
  w.String(Version());

  FrequencyFacts frequency_facts;
  if (input.frequency != nullptr) {
    const FrequencyResult& result = *input.frequency;
    frequency_facts.records = DeriveRecordCount(result.terms());
    if (frequency_facts.records.low > 0) {
      frequency_facts.records_for_spread =
          (static_cast<double>(frequency_facts.records.low) +
           static_cast<double>(frequency_facts.records.high)) / 2;
    }
    std::vector<int64_t> frequencies;
    frequencies.reserve(result.terms().size());
    for (const TermStats& t : result.terms()) frequencies.push_back(t.frequency);
    std::sort(frequencies.rbegin(), frequencies.rend());
    frequency_facts.zipf = FitZipf(frequencies);
  }
  PairFacts pair_facts;
  if (input.pairs != nullptr) pair_facts = MeasureResult(input);

  w.Key("summary");
  w.BeginArray();
  Summary summary{&w};
  if (input.frequency != nullptr) {
    const FrequencyResult& result = *input.frequency;
    const RecordCountRange& records = frequency_facts.records;
    if (records.exact()) {
      summary.Row("records", Grouped(records.low), "found from the averages of the term frequencies");
    } else if (records.low > 0) {
      summary.Row("records", "about " + Grouped(records.low) + " to " + Grouped(records.high),
                  "the averages of the term frequencies fit every number in this range");
    } else {
      summary.Row("records", "not known",
                  result.has_records()     ? "the averages of the term frequencies fit no number"
                  : result.terms().empty() ? "the result holds no terms"
                                           : "the result has no averages (a run over files)");
    }
    summary.Row("term occurrences", Grouped(result.total_frequency()), "of the terms in the result");
    int64_t lowest = 0;
    for (const TermStats& t : result.terms()) {
      if (lowest == 0 || t.frequency < lowest) lowest = t.frequency;
    }
    summary.Row("distinct terms", Grouped(static_cast<int64_t>(result.terms().size())),
                lowest > 1 ? "the result holds terms seen " + std::to_string(lowest) +
                                 " times or more"
                           : "");
  }
  if (input.pairs != nullptr) {
    const PairResult& result = *input.pairs;
    summary.Row("pair occurrences", Grouped(result.total_count()),
                "every two term occurrences of a record, in the result");
    summary.Row("distinct pairs", Grouped(static_cast<int64_t>(result.rows().size())),
                Grouped(static_cast<int64_t>(pair_facts.pairs.size())) +
                    " when both orders of two terms count as one");
    summary.Row("terms in pairs", Grouped(static_cast<int64_t>(result.term_count())));
    summary.Row("association measures", pair_facts.exact ? "exact" : "not computed",
                pair_facts.exact ? "participation counts " + pair_facts.counts_origin +
                                       ", checked against every row's support values"
                                 : pair_facts.reason);
  }
  w.EndArray();

  w.Key("sources");
  w.BeginArray();
  for (const auto& [kind, origin] :
       {std::pair<const char*, const std::string*>{
            "term frequency", input.frequency ? &input.frequency->origin() : nullptr},
        {"co-occurrence", input.pairs ? &input.pairs->origin() : nullptr}}) {
    if (origin == nullptr) continue;
    w.BeginArray();
    w.String(kind);
    w.String(*origin);
    w.EndArray();
  }
  w.EndArray();

  w.Key("frequency");
  if (input.frequency != nullptr) {
    WriteFrequency(w, *input.frequency, frequency_facts, notes);
  } else {
    w.Null();
  }
  w.Key("pairs");
  if (input.pairs != nullptr) {
    WritePairs(w, input, pair_facts, notes);
  } else {
    w.Null();
  }
  w.EndObject();
  return w.text();
}

}  // namespace vocs::cli
