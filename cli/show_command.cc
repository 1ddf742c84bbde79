// vocs show: a result file or table as aligned UTF-8 columns.
#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "cli/result_file.h"
#include "cli/text_table.h"
#include "host/database.h"
#include "host/text_codec.h"

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

Options:
  --db FILE      the database of --table (default: vocs.db)
  --table NAME   show a table instead of a file
  --top N        show the first N rows (default 20; 0: all)
  --english      English column names (ItemName, Frequency, ...) in the header
  --legend       explain every column in English (after the rows, or alone)
  --help         this text

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
           "ASSOCIATEDFREQ) results have the last six. Percentages have four decimals.\n";
  }
  return out;
}

struct ShowOptions {
  size_t top = 20;
  bool english = false;
  bool legend = false;
};

void Print(const std::string& source, std::vector<std::string> header,
           std::vector<std::vector<std::string>> rows, int64_t total, int rank,
           const ShowOptions& options) {
  const size_t top = options.top;
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
  std::cout << EscapeControls(source) << ": ";
  if (top != 0 && static_cast<int64_t>(top) < total) {
    std::cout << "top " << top << " of " << total << " rows";
  } else {
    std::cout << total << " rows";
  }
  if (rank >= 0 && static_cast<size_t>(rank) < header.size()) std::cout << " by " << header[rank];
  std::cout << "\n" << RenderTable(header, rows);
  if (options.legend) std::cout << "\n" << Legend(columns);
}

int ShowFile(const std::string& path, const ShowOptions& options) {
  std::string bytes;
  std::string error;
  if (!ReadFile(path, &bytes, &error)) return Fail(kExitFailed, error);
  host::TextCodec codec;
  ResultRows file;
  if (!ParseResultFile(bytes, &codec, &file)) return Fail(kExitFailed, path + " is empty");
  const int rank = RankColumn(file.header);
  RankRows(rank, &file.rows);
  const int64_t total = static_cast<int64_t>(file.rows.size());
  if (options.top != 0 && file.rows.size() > options.top) file.rows.resize(options.top);
  Print(AbsolutePath(path), std::move(file.header), std::move(file.rows), total, rank, options);
  return kExitOk;
}

int ShowTable(const std::string& db_path, const std::string& table, const ShowOptions& options) {
  const size_t top = options.top;
  if (!std::filesystem::exists(db_path)) {
    return Fail(kExitSetup, "there is no database " + AbsolutePath(db_path));
  }
  // Read-write when allowed: the last connection of a database in
  // write-ahead mode removes its log files when it closes, a read-only one
  // cannot.
  host::Database db;
  if (!db.Open(db_path, host::Database::OpenMode::kExisting) &&
      !db.Open(db_path, host::Database::OpenMode::kReadOnly)) {
    return Fail(kExitSetup, "cannot open the database " + db_path + ": " + db.error());
  }
  if (!db.TableExists(table)) {
    return Fail(kExitFailed, "there is no table \"" + table + "\" in " + AbsolutePath(db_path));
  }
  const std::string quoted = host::QuoteIdentifier(table);
  host::Statement count;
  bool row = false;
  if (!db.Prepare("SELECT count(*) FROM " + quoted, &count) || !count.Step(&row) || !row) {
    return Fail(kExitFailed, db.error());
  }
  const int64_t total = count.ColumnInt64(0);
  host::Statement probe;
  if (!db.Prepare("SELECT * FROM " + quoted + " LIMIT 0", &probe)) {
    return Fail(kExitFailed, db.error());
  }
  std::vector<std::string> header;
  for (int i = 0; i < probe.ColumnCount(); ++i) header.push_back(probe.ColumnName(i));
  const int rank = RankColumn(header);
  std::string sql = "SELECT * FROM " + quoted;
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
    } else if ((m = MatchOption(args, &i, "--db", &value)) != 0) {
      if (m < 0) return UsageError("show", "--db needs a file");
      db_path = value;
    } else if ((m = MatchOption(args, &i, "--table", &value)) != 0) {
      if (m < 0) return UsageError("show", "--table needs a name");
      table = value;
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
  return table.empty() ? ShowFile(file, options) : ShowTable(db_path, table, options);
}

}  // namespace vocs::cli
