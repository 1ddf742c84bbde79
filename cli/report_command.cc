// vocs report: a page of charts and tables about a term frequency result, a
// co-occurrence result, or one of each.
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "cli/frequency_result.h"
#include "cli/pair_result.h"
#include "cli/partial_term_counts.h"
#include "cli/report_data.h"
#include "cli/report_page.h"
#include "cli/result_reader.h"

namespace vocs::cli {

namespace {

constexpr const char* kReportHelp = R"help(Usage: vocs report [OPTIONS] [FILE...]
       vocs report [OPTIONS] --table NAME [--table NAME]

Writes one HTML page about a term frequency result, a co-occurrence result,
or one of each: a summary, the most frequent terms, a table of all terms
that sorts and filters, the rank-frequency curve with its Zipf exponent, how
evenly the terms spread over the records, the strongest pairs by an
association measure (PMI, G², t-score, Dice) and a network picture of them.
Results are result FILEs or tables of the database, in any mix; each is
recognised by its columns. The page holds everything it shows and loads
nothing: it opens offline in any browser.

Association measures need every pair of the run: a co-occurrence result made
with MINFREQ above 1 leaves pairs out, and the page then ranks pairs by their
count only and says why, unless the partial results of the run are given
with --term-counts: they hold every term's count before MINFREQ. A term's
pairs with itself (its repeats within a record) are left out of the ranking
until a switch on the page adds them.
docs/measures.md defines the measures; docs/report.md describes the page.

Options:
  --db FILE         the database of --table (default: vocs.db)
  --table NAME      a result table (twice: a frequency and a pair table)
  -o, --output FILE the page to write (default: report.html); an existing
                    file is replaced only by a complete page
  --title TEXT      the page's title (default: the results' names)
  --measure NAME    how the pairs are ranked at first: g2 (default), pmi, t,
                    dice or count; the page can switch
  --min-count N     pairs seen fewer than N times (both orders together) are
                    left out of the ranking and the network (default 3)
  --pairs N         pairs in the network picture at first (default 60)
  --term-counts PARTIAL
                    take the terms' counts for the measures from the partial
                    results of the co-occurrence run (every shard's, the
                    option once for each)
  --help            this text

Exit codes: 0 written; 1 a result cannot be read or the page cannot be
written; 2 bad command line; 3 the database cannot be opened.
)help";

struct ReportOptions {
  std::string db_path = "vocs.db";
  std::vector<std::string> files;
  std::vector<std::string> tables;
  std::string output = "report.html";
  std::string title;
  Measure measure = Measure::kLogLikelihood;
  int64_t min_count = 3;
  size_t network_pairs = 60;
  std::vector<std::string> term_count_files;  // --term-counts
};

template <typename Number>
bool ParseNumber(const std::string& text, Number* out) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *out);
  return ec == std::errc() && end == text.data() + text.size();
}

std::string Now() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[64];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
  return text;
}

// The results read, one of each kind at most.
struct Results {
  std::optional<FrequencyResult> frequency;
  std::optional<PairResult> pairs;
};

// Reads one opened result into `results`; an exit code, kExitOk when read.
int ReadResult(ResultReader* reader, Results* results) {
  std::string error;
  switch (reader->kind()) {
    case ResultKind::kFrequency:
      if (results->frequency) {
        return Fail(kExitFailed, "two term frequency results given: " +
                                     results->frequency->origin() + " and " + reader->origin());
      }
      results->frequency.emplace();
      if (!results->frequency->Read(reader, &error)) return Fail(kExitFailed, error);
      return kExitOk;
    case ResultKind::kCooccurrence:
      if (results->pairs) {
        return Fail(kExitFailed, "two co-occurrence results given: " + results->pairs->origin() +
                                     " and " + reader->origin());
      }
      results->pairs.emplace();
      if (!results->pairs->Read(reader, &error)) return Fail(kExitFailed, error);
      return kExitOk;
    case ResultKind::kOther:
      break;
  }
  return Fail(kExitFailed, reader->origin() +
                               " is not a vocs result: its first column is neither 词条名称 nor "
                               "词条1名称");
}

// Writes `text` to `path` through a file of its own beside it, so that an
// earlier page is replaced only by a complete one.
bool WriteWhole(const std::string& path, const std::string& text, std::string* error) {
  const std::filesystem::path target = std::filesystem::absolute(path);
  std::string temporary =
      (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = mkstemp(temporary.data());
  if (fd < 0) {
    *error = "cannot write " + target.string() + ": " + std::strerror(errno);
    return false;
  }
  close(fd);
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
      std::filesystem::remove(temporary);
      *error = "cannot write " + target.string();
      return false;
    }
  }
  std::error_code ec;
  // mkstemp makes the file readable by its owner only; a page is for sharing.
  std::filesystem::permissions(temporary,
                               std::filesystem::perms::owner_read |
                                   std::filesystem::perms::owner_write |
                                   std::filesystem::perms::group_read |
                                   std::filesystem::perms::others_read,
                               ec);
  std::filesystem::rename(temporary, target, ec);
  if (ec) {
    std::filesystem::remove(temporary);
    *error = "cannot write " + target.string() + ": " + ec.message();
    return false;
  }
  return true;
}

int ParseReportArgs(const Args& args, ReportOptions* options, bool* help) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string value;
    int m;
    if (arg == "--help" || arg == "-h") {
      *help = true;
      return kExitOk;
    } else if ((m = MatchOption(args, &i, "--db", &value)) != 0) {
      if (m < 0) return UsageError("report", "--db needs a file");
      options->db_path = value;
    } else if ((m = MatchOption(args, &i, "--table", &value)) != 0) {
      if (m < 0) return UsageError("report", "--table needs a name");
      options->tables.push_back(value);
    } else if ((m = MatchOption(args, &i, "--output", &value)) != 0 ||
               (m = MatchOption(args, &i, "-o", &value)) != 0) {
      if (m < 0 || value.empty()) return UsageError("report", "--output needs a file");
      options->output = value;
    } else if ((m = MatchOption(args, &i, "--title", &value)) != 0) {
      if (m < 0) return UsageError("report", "--title needs a text");
      options->title = value;
    } else if ((m = MatchOption(args, &i, "--measure", &value)) != 0) {
      if (m < 0 || !ParseMeasure(value, &options->measure)) {
        return UsageError("report", "--measure takes g2, pmi, t, dice or count");
      }
    } else if ((m = MatchOption(args, &i, "--term-counts", &value)) != 0) {
      if (m < 0 || value.empty()) {
        return UsageError("report", "--term-counts needs a partial result");
      }
      options->term_count_files.push_back(value);
    } else if ((m = MatchOption(args, &i, "--min-count", &value)) != 0) {
      if (m < 0 || !ParseNumber(value, &options->min_count) || options->min_count < 0) {
        return UsageError("report", "--min-count needs a number");
      }
    } else if ((m = MatchOption(args, &i, "--pairs", &value)) != 0) {
      if (m < 0 || !ParseNumber(value, &options->network_pairs) || options->network_pairs == 0) {
        return UsageError("report", "--pairs needs a number above 0");
      }
    } else if (arg.rfind("--", 0) == 0 || (arg.size() > 1 && arg[0] == '-')) {
      return UsageError("report", "unknown option " + arg);
    } else {
      options->files.push_back(arg);
    }
  }
  const size_t results = options->files.size() + options->tables.size();
  if (results == 0) return UsageError("report", "give a result FILE or --table");
  if (results > 2) {
    return UsageError("report", "give at most two results: a frequency and a co-occurrence one");
  }
  return kExitOk;
}

}  // namespace

int ReportCommand(const Args& args) {
  ReportOptions options;
  bool help = false;
  if (const int code = ParseReportArgs(args, &options, &help); code != kExitOk) return code;
  if (help) {
    std::cout << kReportHelp;
    return kExitOk;
  }
  Results results;
  std::vector<std::string> names;
  for (const std::string& file : options.files) {
    ResultReader reader;
    std::string error;
    if (!reader.OpenFile(file, &error)) return Fail(kExitFailed, error);
    if (const int code = ReadResult(&reader, &results); code != kExitOk) return code;
    names.push_back(std::filesystem::path(file).filename().string());
  }
  for (const std::string& table : options.tables) {
    ResultReader reader;
    std::string error;
    if (!reader.OpenTable(options.db_path, table, &error)) return Fail(reader.exit_code(), error);
    if (const int code = ReadResult(&reader, &results); code != kExitOk) return code;
    names.push_back(table);
  }

  ReportInput input;
  input.title = options.title;
  if (input.title.empty()) {
    input.title = "vocs report:";
    for (size_t i = 0; i < names.size(); ++i) input.title += (i == 0 ? " " : " and ") + names[i];
  }
  input.created = Now();
  input.frequency = results.frequency ? &*results.frequency : nullptr;
  input.pairs = results.pairs ? &*results.pairs : nullptr;
  input.measure = options.measure;
  input.min_count = options.min_count;
  input.network_pairs = options.network_pairs;
  PartialTermCounts recorded;
  if (!options.term_count_files.empty()) {
    if (input.pairs == nullptr) {
      return UsageError("report", "--term-counts goes with a co-occurrence result");
    }
    std::string error;
    if (!recorded.Read(options.term_count_files, &error)) return Fail(kExitFailed, error);
    input.term_counts = &recorded;
  }
  std::string notes;
  const std::string page = ReportPage(input.title, ReportData(input, &notes));
  std::string error;
  if (!WriteWhole(options.output, page, &error)) return Fail(kExitFailed, error);
  std::cout << "report: " << AbsolutePath(options.output) << " (" << (page.size() + 1023) / 1024
            << " kB)\n";
  size_t start = 0;
  while (start < notes.size()) {
    const size_t end = notes.find('\n', start);
    std::cout << "note: " << notes.substr(start, end - start) << "\n";
    start = end == std::string::npos ? notes.size() : end + 1;
  }
  return kExitOk;
}

}  // namespace vocs::cli
