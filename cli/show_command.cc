// vocs show: a result file or table as aligned UTF-8 columns.
#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <iostream>
#include <limits>
#include <optional>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "cli/association.h"
#include "cli/pair_result.h"
#include "cli/partial_term_counts.h"
#include "cli/result_file.h"
#include "cli/result_reader.h"
#include "cli/text_table.h"
#include "host/database.h"

namespace vocs::cli {

namespace {

constexpr const char* kShowHelp = R"help(Usage: vocs show [OPTIONS] FILE
       vocs show [OPTIONS] --table NAME
       vocs show --legend

Prints a result file or a result table as aligned UTF-8 columns, the rows
with the highest frequency (词频, or 共现频率 for pairs) first. Values longer
than 40 columns are cut, marked with "…"; control characters of the text are
shown escaped ("\x1B"), never sent to the terminal.

A result FILE is read as the module writes it (GBK/GB18030, TAB-separated,
CR LF, a header line); a relative name is taken in the current directory.

With --measure, a co-occurrence result is shown as pairs of terms, each two
terms once with the counts of both orders added up, ranked by an
association measure computed exactly from the counts: pmi (pointwise mutual
information), g2 (log-likelihood), t (t-score), dice, or count. A term's
pairs with itself (its repeats within a record) are left out unless
--self-pairs is given. The measures
need every pair of the run: for a result made with MINFREQ above 1 they
cannot be computed, and vocs says so (--measure count still ranks its
pairs), unless the partial results of the run are given with --term-counts:
they hold every term's count before MINFREQ. docs/measures.md defines them.

Options:
  --db FILE        the database of --table (default: vocs.db)
  --table NAME     show a table instead of a file
  --top N          show the first N rows (default 20; 0: all)
  --measure NAME   pairs of terms ranked by pmi, g2, t, dice or count
  --min-count N    only rows (with --measure: pairs) seen N times or more
  --self-pairs     with --measure: a term's pairs with itself as well
  --term-counts PARTIAL
                   with --measure: take the terms' counts from the partial
                   results of the run (give every shard's, the option once
                   for each; 'vocs run --shard 1/1 --partial' makes one of a
                   whole run)
  --english        English column names (ItemName, Frequency, ...) in the header
  --legend         explain every column in English (after the rows, or alone)
  --help           this text

Exit codes: 0 shown; 1 the file or table cannot be read; 2 bad command
line; 3 the database cannot be opened.
)help";

// The result columns: the module's names, their aliases and their meaning.
struct ColumnLegend {
  const char* name;
  const char* alias;
  const char* meaning;
};

constexpr ColumnLegend kLegend[] = {
    {"词条名称", "ItemName", "the term"},
    {"词频", "Frequency", "how often the term occurs, in all records together"},
    {"出现行数", "LineCount", "how many records hold the term"},
    {"最大值", "MaxValue", "the term's largest count in one record"},
    {"次小值", "HypominValue", "the term's smallest count among the records that hold it"},
    {"最小值", "MinValue",
     "the term's smallest count over all records: 0 unless every record holds it"},
    {"平均值", "Average", "the term's occurrences per record, over all records"},
    {"词条1名称", "Item1Name", "the first term of the pair"},
    {"词条2名称", "Item2Name", "the second term of the pair"},
    {"共现频率", "Frequency",
     "how often the two terms occur together in one record (every pair of their "
     "occurrences in a record counts)"},
    {"支持度1", "Support1",
     "the pair's count as a percentage of all pair occurrences the first term takes part in"},
    {"支持度2", "Support2",
     "the pair's count as a percentage of all pair occurrences the second term takes part in"},
    {"置信度", "Reliability",
     "the pair's count as a percentage of all term places in pairs (twice the number of pair "
     "occurrences)"},
    {"together", "Together", "how often the two terms occur together in a record, in either order"},
    {"N1", "N1",
     "the pair places the first term fills: the pair occurrences it takes part in, those with "
     "itself twice"},
    {"N2", "N2", "the pair places the second term fills"},
    {"PMI", "PMI",
     "pointwise mutual information: log2 of how many times more often the terms meet than "
     "chance gives"},
    {"G2", "G2",
     "log-likelihood ratio G²: how surely the terms are not independent; negative when they "
     "meet less often than chance gives"},
    {"t", "t", "t-score: (observed - expected) / sqrt(observed), over the pair places"},
    {"Dice", "Dice", "2 x the shared places / (N1 + N2): 1 when the terms occur only with each other"},
};

const ColumnLegend* LegendOf(const std::string& column) {
  for (const ColumnLegend& legend : kLegend) {
    if (column == legend.name) return &legend;
  }
  return nullptr;
}

// The legend of the given columns (all of them when empty).
std::string Legend(const std::vector<std::string>& columns) {
  std::vector<std::vector<std::string>> rows;
  for (const ColumnLegend& legend : kLegend) {
    if (!columns.empty() &&
        std::find(columns.begin(), columns.end(), legend.name) == columns.end()) {
      continue;
    }
    rows.push_back({legend.name, legend.alias, legend.meaning});
  }
  std::string out = RenderTable({"column", "alias", "meaning"}, rows);
  if (columns.empty()) {
    out += "\nTerm frequency (STAT WORDFREQ) results have the first seven columns; a run over\n"
           "files (FROM) writes only the term and its frequency. Co-occurrence (STAT\n"
           "ASSOCIATEDFREQ) results have the next six. Percentages have four decimals.\n"
           "'vocs show --measure' shows a co-occurrence result's pairs with the last seven\n"
           "columns (docs/measures.md defines the measures).\n";
  }
  return out;
}

struct ShowOptions {
  size_t top = 20;
  bool english = false;
  bool legend = false;
  std::optional<Measure> measure;
  int64_t min_count = 0;
  bool self_pairs = false;
  std::vector<std::string> term_count_files;  // --term-counts
};

// The rows under their header, with English names or the legend as asked.
void PrintRows(std::vector<std::string> header, std::vector<std::vector<std::string>> rows,
               const ShowOptions& options) {
  size_t width = 0;
  for (const auto& row : rows) width = std::max(width, row.size());
  // A frequency-only file has a header of seven names over rows of two.
  if (!rows.empty() && width < header.size()) header.resize(width);
  const std::vector<std::string> columns = header;
  if (options.english) {
    for (std::string& name : header) {
      if (const ColumnLegend* legend = LegendOf(name)) name = legend->alias;
    }
  }
  for (std::string& name : header) name = ShownCell(name);
  std::cout << RenderTable(header, rows);
  if (options.legend) std::cout << "\n" << Legend(columns);
}

void Print(const std::string& source, std::vector<std::string> header,
           std::vector<std::vector<std::string>> rows, int64_t total, int rank,
           const ShowOptions& options) {
  const size_t top = options.top;
  std::cout << EscapeControls(source) << ": ";
  if (top != 0 && static_cast<int64_t>(top) < total) {
    std::cout << "top " << top << " of " << total << " rows";
  } else {
    std::cout << total << " rows";
  }
  if (rank >= 0 && static_cast<size_t>(rank) < header.size()) {
    std::string name = header[static_cast<size_t>(rank)];
    if (options.english) {
      if (const ColumnLegend* legend = LegendOf(name)) name = legend->alias;
    }
    std::cout << " by " << ShownCell(name);
  }
  if (options.min_count > 1) std::cout << " (" << options.min_count << " or more)";
  std::cout << "\n";
  PrintRows(std::move(header), std::move(rows), options);
}

std::string Decimals(double value, int digits) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", digits, value);
  return text;
}

// A co-occurrence result as pairs of terms ranked by a measure.
int ShowPairs(ResultReader* reader, const ShowOptions& options) {
  const Measure measure = *options.measure;
  if (reader->kind() != ResultKind::kCooccurrence) {
    return Fail(kExitFailed, reader->origin() +
                                 " is not a co-occurrence result; --measure ranks pairs of terms");
  }
  PairResult result;
  std::string error;
  if (!result.Read(reader, &error)) return Fail(kExitFailed, error);
  std::vector<ScoredPair> pairs = CombineOrders(result);
  const DerivedTermCounts derived(result);
  PartialTermCounts recorded;
  if (!options.term_count_files.empty() && !recorded.Read(options.term_count_files, &error)) {
    return Fail(kExitFailed, error);
  }
  const TermCountSource& counts =
      options.term_count_files.empty() ? static_cast<const TermCountSource&>(derived) : recorded;
  std::string reason;
  const bool exact = VerifyTermCounts(result, counts, &reason) &&
                     MeasurePairs(result, counts, &pairs, &reason);
  if (!exact && measure != Measure::kCount) {
    return Fail(kExitFailed, std::string("cannot rank the pairs by ") + MeasureLabel(measure) +
                                 " exactly: " + reason +
                                 ".\nRun the statement without MINFREQ, or give the partial "
                                 "results of its run with --term-counts; --measure count ranks "
                                 "these pairs by their count.");
  }
  std::erase_if(pairs, [&](const ScoredPair& p) {
    return p.together() < options.min_count || (!options.self_pairs && p.term1 == p.term2);
  });
  RankPairs(result, measure, &pairs);
  const int64_t total = static_cast<int64_t>(pairs.size());
  if (options.top != 0 && pairs.size() > options.top) pairs.resize(options.top);
  std::vector<std::string> header = {"词条1名称", "词条2名称", "together"};
  if (exact) header.insert(header.end(), {"N1", "N2", "PMI", "G2", "t", "Dice"});
  std::vector<std::vector<std::string>> rows;
  for (const ScoredPair& pair : pairs) {
    std::vector<std::string> row = {ShownCell(std::string(result.Term(pair.term1))),
                                    ShownCell(std::string(result.Term(pair.term2))),
                                    std::to_string(pair.together())};
    if (exact) {
      row.insert(row.end(), {std::to_string(pair.n1), std::to_string(pair.n2),
                             Decimals(pair.measures.pmi, 3),
                             Decimals(pair.measures.log_likelihood, 2),
                             Decimals(pair.measures.t_score, 3), Decimals(pair.measures.dice, 4)});
    }
    rows.push_back(std::move(row));
  }
  std::string what = std::to_string(total) +
                     (options.self_pairs ? " pairs of terms" : " pairs of two different terms");
  if (options.min_count > 1) what += " seen " + std::to_string(options.min_count) + " times or more";
  std::cout << EscapeControls(reader->origin()) << ": ";
  if (options.top != 0 && static_cast<int64_t>(options.top) < total) {
    std::cout << "top " << options.top << " of ";
  }
  std::cout << what << " (both orders together"
            << (options.self_pairs ? "; a term with itself among them" : "") << "), by "
            << MeasureLabel(measure) << "\n";
  PrintRows(std::move(header), std::move(rows), options);
  return kExitOk;
}

int ShowFile(const std::string& path, const ShowOptions& options) {
  ResultReader reader;
  std::string error;
  if (!reader.OpenFile(path, &error)) return Fail(kExitFailed, error);
  if (options.measure) return ShowPairs(&reader, options);
  std::vector<std::string> header = reader.header();
  const int rank = RankColumn(header);
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string_view> cells;
  while (reader.Next(&cells)) {
    std::vector<std::string> row;
    for (const std::string_view cell : cells) row.push_back(ShownCell(std::string(cell)));
    if (rank >= 0 && options.min_count > 0 && RankValue(row, rank) < static_cast<double>(options.min_count)) {
      continue;
    }
    rows.push_back(std::move(row));
  }
  if (!reader.error().empty()) return Fail(kExitFailed, reader.error());
  RankRows(rank, &rows);
  const int64_t total = static_cast<int64_t>(rows.size());
  if (options.top != 0 && rows.size() > options.top) rows.resize(options.top);
  Print(AbsolutePath(path), std::move(header), std::move(rows), total, rank, options);
  return kExitOk;
}

int ShowTable(const std::string& db_path, const std::string& table, const ShowOptions& options) {
  const size_t top = options.top;
  if (options.measure) {
    ResultReader reader;
    std::string error;
    if (!reader.OpenTable(db_path, table, &error)) return Fail(reader.exit_code(), error);
    return ShowPairs(&reader, options);
  }
  host::Database db;
  int code = kExitOk;
  std::string error;
  if (!OpenResultDatabase(db_path, table, &db, &code, &error)) return Fail(code, error);
  const std::string quoted = host::QuoteIdentifier(table);
  host::Statement probe;
  if (!db.Prepare("SELECT * FROM " + quoted + " LIMIT 0", &probe)) {
    return Fail(kExitFailed, db.error());
  }
  std::vector<std::string> header;
  for (int i = 0; i < probe.ColumnCount(); ++i) header.push_back(probe.ColumnName(i));
  const int rank = RankColumn(header);
  std::string where;
  if (rank >= 0 && options.min_count > 0) {
    where = " WHERE " + host::QuoteIdentifier(header[rank]) +
            " >= " + std::to_string(options.min_count);
  }
  host::Statement count;
  bool row = false;
  if (!db.Prepare("SELECT count(*) FROM " + quoted + where, &count) || !count.Step(&row) ||
      !row) {
    return Fail(kExitFailed, db.error());
  }
  const int64_t total = count.ColumnInt64(0);
  std::string sql = "SELECT * FROM " + quoted + where;
  if (rank >= 0) sql += " ORDER BY " + host::QuoteIdentifier(header[rank]) + " DESC, rowid";
  if (top != 0) sql += " LIMIT " + std::to_string(top);
  host::Statement select;
  if (!db.Prepare(sql, &select)) return Fail(kExitFailed, db.error());
  std::vector<std::vector<std::string>> rows;
  while (true) {
    if (!select.Step(&row)) return Fail(kExitFailed, db.error());
    if (!row) break;
    std::vector<std::string> cells;
    for (int i = 0; i < select.ColumnCount(); ++i) {
      if (select.ColumnType(i) == SQLITE_FLOAT) {
        char number[64];
        std::snprintf(number, sizeof number, "%.4f", select.ColumnDouble(i));
        cells.emplace_back(number);
      } else {
        cells.push_back(ShownCell(select.ColumnBytes(i)));
      }
    }
    rows.push_back(std::move(cells));
  }
  Print("table " + table + " of " + AbsolutePath(db_path), std::move(header), std::move(rows),
        total, rank, options);
  return kExitOk;
}

}  // namespace

int ShowCommand(const Args& args) {
  std::string db_path = "vocs.db";
  std::string table;
  std::string file;
  ShowOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string value;
    int m;
    if (arg == "--help" || arg == "-h") {
      std::cout << kShowHelp;
      return kExitOk;
    } else if (arg == "--legend") {
      options.legend = true;
    } else if (arg == "--english") {
      options.english = true;
    } else if (arg == "--self-pairs") {
      options.self_pairs = true;
    } else if ((m = MatchOption(args, &i, "--db", &value)) != 0) {
      if (m < 0) return UsageError("show", "--db needs a file");
      db_path = value;
    } else if ((m = MatchOption(args, &i, "--table", &value)) != 0) {
      if (m < 0) return UsageError("show", "--table needs a name");
      table = value;
    } else if ((m = MatchOption(args, &i, "--measure", &value)) != 0) {
      Measure measure;
      if (m < 0 || !ParseMeasure(value, &measure)) {
        return UsageError("show", "--measure takes pmi, g2, t, dice or count");
      }
      options.measure = measure;
    } else if ((m = MatchOption(args, &i, "--term-counts", &value)) != 0) {
      if (m < 0 || value.empty()) return UsageError("show", "--term-counts needs a partial result");
      options.term_count_files.push_back(value);
    } else if ((m = MatchOption(args, &i, "--min-count", &value)) != 0) {
      const auto [end, ec] =
          std::from_chars(value.data(), value.data() + value.size(), options.min_count);
      if (m < 0 || ec != std::errc() || end != value.data() + value.size() ||
          options.min_count < 0) {
        return UsageError("show", "--min-count needs a number");
      }
    } else if ((m = MatchOption(args, &i, "--top", &value)) != 0) {
      const auto [end, ec] =
          std::from_chars(value.data(), value.data() + value.size(), options.top);
      if (m < 0 || ec != std::errc() || end != value.data() + value.size()) {
        return UsageError("show", "--top needs a number");
      }
    } else if (arg.rfind("--", 0) == 0) {
      return UsageError("show", "unknown option " + arg);
    } else if (file.empty()) {
      file = arg;
    } else {
      return UsageError("show", "more than one file given");
    }
  }
  if (options.legend && table.empty() && file.empty()) {
    std::cout << Legend({});
    return kExitOk;
  }
  if (table.empty() == file.empty()) return UsageError("show", "give either a FILE or --table");
  if (!options.term_count_files.empty() && !options.measure) {
    return UsageError("show", "--term-counts goes with --measure");
  }
  return table.empty() ? ShowFile(file, options) : ShowTable(db_path, table, options);
}

}  // namespace vocs::cli
