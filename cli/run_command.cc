// vocs run: statements through the module, against the embedded host.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "cli/cli_common.h"
#include "cli/command_host.h"
#include "cli/commands.h"
#include "cli/interrupt_guard.h"
#include "cli/module_loader.h"
#include "cli/pair_estimate.h"
#include "cli/run_directory.h"
#include "cli/run_job.h"
#include "cli/run_progress.h"
#include "cli/shard_plan.h"
#include "cli/statement_plan.h"
#include "cli/statement_text.h"
#include "host/database.h"
#include "api/shard_runs.h"
#include "api/statistics_runs.h"
#include "host/embedded_host.h"
#include "vocs/errors.h"

namespace vocs::cli {

namespace {

namespace fs = std::filesystem;

constexpr const char* kRunHelp = R"help(Usage: vocs run [OPTIONS] [STATEMENT...]

Runs statistics statements through the vocs module against a database.

  STAT WORDFREQ | ASSOCIATEDFREQ  [SET MINFREQ=n TEMPPATH=dir]
       AT field(mode) [, field(mode) ...]  TO TABLE=t | TO FILE=f  WHERE query
  STAT WORDFREQ | ASSOCIATEDFREQ  [SET ...]  FROM name [, name ...]  TO TABLE=t | TO FILE=f

  WORDFREQ        for every term: its occurrences, the records holding it, its
                  largest, second-smallest and smallest count per record, and
                  its average per record
  ASSOCIATEDFREQ  for every ordered pair of terms of one record: how often they
                  occur together, the two support values and the reliability
                  (percentages)
  field(NORMAL)   the host segments the text into words (Chinese by dictionary)
  field(NONE)     the whole value is one term
  field(SEGASCOL, chars)
                  the value is cut at every one of the characters; quote them
                  when they include a blank, "," "(" ")" or "=":
                  keywords(SEGASCOL, ";")   tags(SEGASCOL, " ,")
  MINFREQ=n       drop results that occur fewer than n times
  TEMPPATH=dir    where the work files go (default: beside the result)
  FROM name       text files; a directory stands for its .txt files (recursively)
  TO TABLE=t      a result table of the database; it replaces an earlier result
                  table of that name only when complete, never an imported table
  TO FILE=f       a tab-separated result file (GBK/GB18030, CR LF); relative names
                  are taken in the current directory
  WHERE query     one read-only SQL query; everything after WHERE. Words of the
                  statement language (AT, TO, SET, FILE, TABLE, NONE, ...) and
                  parentheses must be in double quotes there, and so must a
                  literal with its apostrophes: WHERE SELECT * FROM docs WHERE
                  title= "'Spring'"   or   WHERE "SELECT count(*) AS n FROM t"

Examples:
  vocs run --db my.db "STAT WORDFREQ SET MINFREQ=2 AT body(NORMAL) TO TABLE=words WHERE SELECT body FROM docs"
  vocs run --db my.db "STAT ASSOCIATEDFREQ AT title(NORMAL), body(NORMAL) TO FILE=pairs.txt WHERE SELECT * FROM docs"
  vocs run "STAT WORDFREQ FROM 诗集/唐诗 TO FILE=结果.txt"

Keywords are case-insensitive. Words are separated by blanks; "(" ")" "," "="
stand alone. "..." quotes a word (no escapes); // and /* */ are comments, and
so is an apostrophe followed by / or *. The full reference: docs/statements.md
(installed in share/doc/vocs).

Statements are typed in UTF-8; they run in order and the first that fails
stops the run. A statement that does not parse is shown with a caret under
the problem, and missing or unreadable FROM inputs are named, before anything
runs.

Options:
  --db FILE         the database (default: vocs.db in the current directory);
                    it must exist ('vocs import' creates one). Statements that
                    read only files and write files need none.
  --module PATH     the module library (default: libvocs.so beside vocs, or in
                    the lib directory beside its bin directory); a run with
                    --module counts in this process unless --jobs is given
                    (shard processes and merges use the command's own copy
                    of the module's code)
  --file FILE, -f FILE
                    read statements from FILE ("-": standard input); statements
                    are separated by empty lines, lines starting with # are
                    comments. Without STATEMENT and --file, statements are read
                    from standard input when it is not a terminal.
  --encoding auto|utf8|gbk
                    how FROM files are read: auto takes a file that is valid
                    UTF-8 as UTF-8 and any other as GBK/GB18030 (default)
  --work-dir DIR    where the module's work and load files go (default: a
                    hidden directory beside the database for tables, beside
                    the result file for files); removed when the run ends
  --jobs N, -j N    count in N processes at once, each over its own range of
                    the records (a query's records by position, FROM files by
                    file), and merge their counts into the one result; the
                    result is the same byte for byte (default: the number
                    of cores; 1 counts in this process). A co-occurrence
                    statement over files runs as one process.
  --shard K/N --partial FILE
                    count only shard K of N of the statement's records and
                    write the counts, undelivered, to the partial result FILE;
                    'vocs merge' delivers the N partials as one result (one
                    statement only)
  --dry-run         check the statements and their inputs, and estimate the
                    pairs of co-occurrence statements, without running them
  --help            this text

Every run prints the absolute path it wrote, the number of rows it wrote and
the time taken. A co-occurrence statement over long records is estimated
first, and warned about when it is large. Progress appears on standard error
when it is a terminal. Ctrl-C (or SIGTERM) stops the run, removes its work
files, keeps the old table and exits with 130.

Exit codes: 0 all statements succeeded; 1 a statement or an input failed (its
code and meaning are printed); 2 bad command line; 3 the module or the
database cannot be opened; 130 interrupted.
)help";

// Pairs above which a co-occurrence estimate is shown even without a terminal.
constexpr double kLargePairs = 5e7;

// The processes a run counts in by default: one per core.
int32_t DefaultJobs() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int32_t>(std::min(cores, 64u));
}

struct RunOptions {
  RunSettings settings{"vocs.db", "", host::TextEncoding::kUtf8WhenValid};
  std::string encoding_text = "auto";
  bool db_given = false;
  std::string module;
  bool dry_run = false;
  int32_t jobs = DefaultJobs();
  int32_t shard = 0;  // 0: not a shard run
  int32_t shards = 0;
  std::string partial;  // --partial, absolute
  std::vector<std::string> statements;
};

int ParseRunArgs(const Args& args, RunOptions* options, bool* help) {
  std::vector<std::string> files;
  bool jobs_given = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string value;
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      *help = true;
      return kExitOk;
    }
    int m;
    if (const auto code = MatchPlaceOption(args, &i, "run", &options->settings.db,
                                           &options->settings.work_dir, &options->db_given)) {
      if (*code != kExitOk) return *code;
    } else if ((m = MatchOption(args, &i, "--module", &value)) != 0) {
      if (m < 0) return UsageError("run", "--module needs a path");
      options->module = value;
    } else if ((m = MatchOption(args, &i, "--file", &value)) != 0 ||
               (m = MatchOption(args, &i, "-f", &value)) != 0) {
      if (m < 0) return UsageError("run", "--file needs a file");
      files.push_back(value);
    } else if ((m = MatchOption(args, &i, "--encoding", &value)) != 0) {
      if (m < 0 || !ParseEncoding(value, &options->settings.encoding)) {
        return UsageError("run", "--encoding takes auto, utf8 or gbk");
      }
      options->encoding_text = value;
    } else if ((m = MatchOption(args, &i, "--jobs", &value)) != 0 ||
               (m = MatchOption(args, &i, "-j", &value)) != 0) {
      int32_t one = 0;
      if (m < 0 || !ParseShard("1/" + value, &one, &options->jobs)) {
        return UsageError("run", "--jobs takes a number of processes, 1 or more");
      }
      jobs_given = true;
    } else if ((m = MatchOption(args, &i, "--shard", &value)) != 0) {
      if (m < 0 || !ParseShard(value, &options->shard, &options->shards)) {
        return UsageError("run", "--shard takes K/N, shard K of N (1 <= K <= N)");
      }
    } else if ((m = MatchOption(args, &i, "--partial", &value)) != 0) {
      if (m < 0 || value.empty()) return UsageError("run", "--partial needs a file");
      options->partial = AbsolutePath(value);
    } else if (arg == "--dry-run") {
      options->dry_run = true;
    } else if (arg.size() > 1 && arg[0] == '-' && arg.rfind("--", 0) == 0 && arg != "--") {
      return UsageError("run", "unknown option " + arg);
    } else {
      options->statements.push_back(arg);
    }
  }
  if (options->statements.empty() && files.empty()) {
    if (isatty(STDIN_FILENO)) return UsageError("run", "no statement given");
    files.push_back("-");
  }
  for (const std::string& file : files) {
    std::string text;
    std::string error;
    if (file == "-") {
      text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else if (!ReadFile(file, &text, &error)) {
      return Fail(kExitUsage, error);
    }
    for (std::string& statement : SplitStatements(text)) {
      options->statements.push_back(std::move(statement));
    }
  }
  if (options->statements.empty()) return UsageError("run", "no statement given");
  // A module named on the command line is the one that counts: in this
  // process, unless --jobs asks otherwise.
  if (!options->module.empty() && !jobs_given) options->jobs = 1;
  if (options->shard > 0 && options->partial.empty()) {
    return UsageError("run", "--shard needs --partial FILE, where the shard's counts go");
  }
  if (!options->partial.empty()) {
    if (options->statements.size() != 1) {
      return UsageError("run", "--partial takes the counts of one statement");
    }
    if (options->shard == 0) options->shard = options->shards = 1;
    options->jobs = 1;
  }
  return kExitOk;
}

// The code a failed shard process reported ("failed with CODE"), or
// VOCS_E_NO_RESULT_FILE when its output does not say.
int32_t CodeInShardLog(const std::string& log) {
  const size_t at = log.find("failed with ");
  if (at == std::string::npos) return VOCS_E_NO_RESULT_FILE;
  const int32_t code = std::atoi(log.c_str() + at + 12);
  return code < 0 ? code : VOCS_E_NO_RESULT_FILE;
}

// Counts shard options.shard of the statement of `job` into a partial at
// `partial` (absolute, UTF-8).
int32_t RunShard(const RunJob& job, const std::string& request, const RunOptions& options,
                 const std::string& partial, host::EmbeddedHost* host, host::TextCodec* codec,
                 std::string* detail) {
  ShardRun shard;
  shard.shard = options.shard;
  shard.shards = options.shards;
  shard.run = StatementFingerprint(job);
  shard.files = ShardFiles(job, options.shard, options.shards, codec, &shard.files_given);
  codec->Utf8ToGb18030(partial, &shard.partial_path);
  if (!job.plan.reads_files()) {
    // SQLite counts the records without reading them, so that the host
    // steps only up to the end of the shard's range rather than through the
    // whole query first (-1, a query it cannot count so: the host counts).
    host->set_record_shard(options.shard, options.shards,
                           CountQueryRecords(job, host->database()));
  }
  return RunStatementShard(request.c_str(), host, shard, detail);
}

// Runs the statement `index` of `job` as options.jobs shard processes whose
// partials go into `run_dir`, then merges and delivers them to `names`.
int32_t RunShardsAndMerge(const RunJob& job, const RewriteNames& names, const RunOptions& options,
                          size_t index, const std::string& run_dir, ShardProcesses* processes,
                          RunProgress* progress, host::EmbeddedHost* host,
                          host::TextCodec* codec, host::HostReport* report, std::string* detail) {
  const std::string shards = std::to_string(options.jobs);
  PartialDelivery delivery;
  for (int32_t k = 1; k <= options.jobs; ++k) {
    const std::string base = run_dir + "/shard-" + std::to_string(k);
    std::vector<std::string> arguments = {"run", "--encoding", options.encoding_text, "--work-dir",
                                          run_dir, "--shard", std::to_string(k) + "/" + shards,
                                          "--partial", base + ".part"};
    if (options.db_given) arguments.insert(arguments.begin() + 1, {"--db", options.settings.db});
    arguments.push_back(options.statements[index]);
    if (!processes->Start(arguments, k, base + ".log", base + ".progress", detail)) {
      processes->Stop();
      ShardProcesses::Child ignored;
      processes->WaitAll(&ignored);
      return VOCS_E_NO_RESULT_FILE;
    }
    std::string partial;
    codec->Utf8ToGb18030(base + ".part", &partial);
    delivery.partials.push_back(std::move(partial));
  }
  ShardProcesses::Child failed;
  if (!processes->WaitAll(&failed, [progress](int64_t records, int64_t count) {
        if (count > 0) progress->OnRecord(records, count);
      })) {
    std::string log;
    std::string ignored;
    ReadFile(failed.log, &log, &ignored);
    *detail = "shard " + std::to_string(failed.shard) + " of " + shards + " failed";
    for (size_t start = 0; start < log.size();) {
      const size_t end = std::min(log.find('\n', start), log.size());
      *detail += "\n  | " + log.substr(start, end - start);
      start = end + 1;
    }
    return CodeInShardLog(log);
  }
  // What the shards read, for the notes of the run.
  int64_t records = 0;
  for (int32_t k = 1; k <= options.jobs; ++k) {
    const std::string base = run_dir + "/shard-" + std::to_string(k);
    int64_t ignored = 0;
    int64_t replaced = 0;
    if (ShardProgress::Read(base + ".progress", &ignored, &ignored, &replaced)) {
      report->replaced_characters += replaced;
    }
    PartialHeader header;
    std::string error;
    if (ReadPartialHeader(delivery.partials[static_cast<size_t>(k - 1)], &header, &error)) {
      records += header.records;
    }
  }
  if (!job.plan.reads_files()) report->query_records.push_back(records);
  delivery.output = job.plan.writes_table() ? OutputTarget::kTable : OutputTarget::kFile;
  codec->Utf8ToGb18030(names.output, &delivery.output_name);
  codec->Utf8ToGb18030(names.temp_path, &delivery.temp_dir);
  delivery.host = host;
  return DeliverPartialResults(delivery, detail);
}

// The run directories and the temporary result file of the statement being
// run, shared with the interrupt thread.
struct RunFiles {
  std::mutex mutex;
  std::unique_ptr<RunDirectory> run;
  std::unique_ptr<RunDirectory> work;  // below the user's TEMPPATH, when given
  std::string partial_output;

  // Makes the run directories of `job`; false with *error set.
  bool Make(const RunJob& job, std::string* error) {
    std::lock_guard lock(mutex);
    run = RunDirectory::Make(job.parent, error);
    if (run != nullptr && !job.temp_path.empty()) work = RunDirectory::Make(job.temp_path, error);
    return run != nullptr && (job.temp_path.empty() || work != nullptr);
  }
  void Remove() {
    std::lock_guard lock(mutex);
    if (run != nullptr) run->Remove();
    if (work != nullptr) work->Remove();
    if (!partial_output.empty()) {
      std::error_code ignored;
      fs::remove(partial_output, ignored);
    }
  }
  void Reset() {
    Remove();
    std::lock_guard lock(mutex);
    run.reset();
    work.reset();
    partial_output.clear();
  }
};

void ShowStatementProblem(size_t number, const std::string& statement,
                          const StatementProblem& problem) {
  const size_t newline = problem.message.find('\n');
  std::cerr << "vocs: statement " << number << ": " << problem.message.substr(0, newline) << "\n"
            << ShowProblem(statement, problem);
  if (newline != std::string::npos) std::cerr << "  " << problem.message.substr(newline + 1) << "\n";
}

void ShowEstimate(const PairEstimate& estimate, bool to_table, const std::string& work,
                  bool always) {
  const bool large = estimate.pairs >= kLargePairs;
  const double bytes = WorkBytes(estimate, to_table);
  std::error_code ec;
  fs::path probe = work;
  while (!probe.empty() && !fs::exists(probe, ec)) probe = probe.parent_path();
  const fs::space_info space = fs::space(probe.empty() ? fs::path("/") : probe, ec);
  const bool tight = !ec && bytes > static_cast<double>(space.available);
  if (!always && !large && !tight && !(StderrIsTerminal() && estimate.pairs >= 1e6)) return;
  std::cerr << "vocs: estimate: about " << FormatCount(estimate.pairs) << " pair occurrences in "
            << FormatCount(estimate.records) << (estimate.records == 1 ? " record" : " records")
            << "; the work files may take up to " << FormatBytes(bytes) << " in " << work;
  if (!ec) std::cerr << " (" << FormatBytes(static_cast<double>(space.available)) << " free)";
  std::cerr << "\n";
  if (tight) {
    std::cerr << "vocs: warning: that is more than the free space there; choose another "
                 "--work-dir or TEMPPATH\n";
  } else if (large) {
    std::cerr << "vocs: this may take a long time\n";
  }
}

// What a failed statement's code is about, in the paths of this run.
void ExplainFailure(int32_t code, const RunJob& job, const std::string& work,
                    const std::string& db_path) {
  if (code == VOCS_E_OUTPUT_PATH || code == VOCS_E_NO_RESULT_FILE ||
      code == VOCS_E_RESULT_FILE_OPEN) {
    if (job.plan.writes_table()) {
      std::cerr << "  table: " << job.output << " of " << AbsolutePath(db_path) << "\n";
    } else {
      std::cerr << "  output: " << job.output << "\n";
    }
    std::cerr << "  work directory: " << work << "\n";
  }
  if (code == VOCS_E_QUERY_NOT_OPENED && job.plan.utf8.find('\'') != std::string::npos) {
    std::cerr << "  hint: an apostrophe quotes nothing in a statement (and ' followed by / or *\n"
                 "  starts a comment); put a literal with its apostrophes in double quotes:\n"
                 "  WHERE ... title= \"'Spring'\"\n";
  }
}

// Prints what a successful statement wrote, from what this run itself
// loaded or wrote; "" or why it cannot.
std::string ReportSuccess(size_t number, const RunJob& job, const host::HostReport& report,
                          const std::string& db_path, double seconds) {
  char timing[64];
  std::snprintf(timing, sizeof timing, "%.2f s", seconds);
  if (job.plan.writes_table()) {
    for (const host::FinishedTable& table : report.tables) {
      if (!host::SameName(table.name, job.output)) continue;
      std::cout << "statement " << number << ": " << table.rows << " rows in table " << table.name
                << " of " << AbsolutePath(db_path) << ", " << timing << "\n";
      return "";
    }
    return "the module reported success, but the table " + job.output + " was not replaced";
  }
  std::string error;
  const int64_t rows = PlaceResultFile(job.partial_output, job.output, &error);
  if (rows < 0) return error;
  std::cout << "statement " << number << ": " << rows << " rows in file " << job.output << ", "
            << timing << "\n";
  return "";
}

// Gives a shard's partial result its name and prints what it holds; "" or
// why it cannot.
std::string ReportPartial(size_t number, const RunOptions& options, const std::string& temp,
                          host::TextCodec* codec, double seconds) {
  std::error_code ec;
  fs::rename(temp, options.partial, ec);
  if (ec) return "the partial result " + options.partial + " could not be written: " + ec.message();
  PartialHeader header;
  std::string error;
  std::string path;
  codec->Utf8ToGb18030(options.partial, &path);
  ReadPartialHeader(path, &header, &error);
  char timing[64];
  std::snprintf(timing, sizeof timing, "%.2f s", seconds);
  std::cout << "statement " << number << ": shard " << options.shard << " of " << options.shards
            << ", " << header.records << (header.records == 1 ? " record" : " records")
            << ": partial result in " << options.partial << ", " << timing << "\n";
  return "";
}

void ReportNotes(size_t number, const host::HostReport& report) {
  for (int64_t records : report.query_records) {
    if (records == 0) {
      std::cerr << "vocs: note: statement " << number << ": the query returned no record\n";
    }
  }
  if (report.replaced_characters > 0) {
    std::cerr << "vocs: note: statement " << number << ": " << report.replaced_characters
              << " characters of the input could not be read (malformed text) and were "
                 "replaced by U+FFFD\n";
  }
}

}  // namespace

int RunCommand(const Args& args) {
  RunOptions options;
  bool help = false;
  if (const int code = ParseRunArgs(args, &options, &help); code != kExitOk) return code;
  if (help) {
    std::cout << kRunHelp;
    return kExitOk;
  }

  // Every statement and its inputs are checked before any runs.
  host::TextCodec codec;
  std::vector<RunJob> jobs(options.statements.size());
  bool needs_db = options.db_given;
  bool failed = false;
  for (size_t i = 0; i < jobs.size(); ++i) {
    StatementProblem problem;
    std::vector<std::string> problems;
    if (!PrepareRunJob(options.statements[i], options.settings, &codec, &jobs[i], &problem,
                       &problems)) {
      failed = true;
      if (problems.empty()) ShowStatementProblem(i + 1, options.statements[i], problem);
      for (const std::string& message : problems) {
        std::cerr << "vocs: statement " << i + 1 << ": " << message << "\n";
      }
    }
    needs_db = needs_db || jobs[i].needs_database();
  }
  if (failed) {
    std::cerr << "vocs: nothing was run\n";
    return kExitFailed;
  }

  std::string error;
  const std::string db_path = needs_db ? options.settings.db : ":memory:";
  int exit_code = kExitOk;
  std::unique_ptr<host::EmbeddedHost> host = OpenCommandHost(db_path, needs_db, "run", &exit_code);
  if (host == nullptr) return exit_code;
  LoadedModule module;
  if (!options.dry_run && options.partial.empty()) {
    if (!module.Load(options.module.empty() ? DefaultModulePath() : options.module, &error)) {
      return Fail(kExitSetup, error);
    }
    module.SetHost(host.get());
  }

  RunFiles files;
  ShardProcesses processes;
  host::EmbeddedHost* host_ptr = host.get();
  InterruptGuard guard([host_ptr, &processes] {
                         processes.Stop();
                         host_ptr->Interrupt();
                       },
                       [host_ptr, &files, &processes] {
                         processes.Stop();
                         host_ptr->AbandonAllTables(std::chrono::milliseconds(1000));
                         files.Remove();
                       });
  RunProgress progress;
  ShardProgress shard_progress;  // a shard's records, for the run that started it
  host->set_record_observer([&](int64_t record, int64_t count) {
    progress.OnRecord(record, count);
    shard_progress.OnRecord(record, count);
  });
  host->set_conversion_observer([&](int64_t n) { progress.OnConversion(n); });
  host->set_table_observer([&](host::TableEvent event, const std::string&, int64_t rows) {
    progress.OnTable(event, rows);
  });
  std::vector<std::string> swept;

  for (size_t i = 0; i < jobs.size(); ++i) {
    const RunJob& job = jobs[i];
    const size_t number = i + 1;
    const std::string statement_name = "statement " + std::to_string(number) + ": ";
    if (std::find(swept.begin(), swept.end(), job.parent) == swept.end()) {
      SweepDeadRuns(job.parent);
      swept.push_back(job.parent);
    }
    if (!files.Make(job, &error)) return Fail(kExitFailed, statement_name + error);
    const RewriteNames names =
        NamesFor(job, files.run->path(), files.work != nullptr ? files.work->path() : "");
    std::string request;
    if (!Rewrite(job.plan, names, &codec, &request, &error)) {
      return Fail(kExitFailed, statement_name + error);
    }
    PairEstimate estimate;
    // A shard's estimate would be of the whole statement: its run that
    // started it has shown that one.
    if (job.plan.is_cooccurrence() && options.partial.empty() &&
        EstimateJob(job, db_path, &estimate)) {
      ShowEstimate(estimate, job.plan.writes_table(),
                   job.temp_path.empty() ? job.parent : job.temp_path, options.dry_run);
    }
    if (options.dry_run) {
      std::cout << "statement " << number << ": would write "
                << (job.plan.writes_table() ? "table " + job.output + " of " + AbsolutePath(db_path)
                                            : "file " + job.output);
      if (job.plan.reads_files()) std::cout << " from " << job.inputs.size() << " files";
      std::cout << "\n";
      files.Reset();
      continue;
    }

    // A partial result is written under a hidden name beside its file and
    // takes its name only when complete.
    const std::string partial_temp =
        options.partial.empty() ? "" : HiddenResultPath(options.partial);
    {
      std::lock_guard lock(files.mutex);
      files.partial_output = options.partial.empty() ? job.partial_output : partial_temp;
    }
    host->set_input_encoding(job.plan.reads_files() ? options.settings.encoding
                                                    : host::TextEncoding::kGb18030);
    host->clear_last_error();
    host->TakeReport();
    RunProgress::Places places;
    places.work = names.temp_path;
    places.load = job.plan.writes_table() ? files.run->load() : "";
    places.output_file = job.partial_output;
    places.files = static_cast<int64_t>(job.inputs.size());
    progress.Start(places);
    const auto start = std::chrono::steady_clock::now();
    std::string detail;
    int32_t code = 0;
    host::HostReport shard_report;
    if (!options.partial.empty()) {
      code = RunShard(job, request, options, partial_temp, host.get(), &codec, &detail);
    } else if (options.jobs > 1 && CanShard(job)) {
      code = RunShardsAndMerge(job, names, options, i, files.run->path(), &processes, &progress,
                               host.get(), &codec, &shard_report, &detail);
    } else {
      code = module.Execute(StatementRequest(request));
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    progress.Stop();
    host::HostReport report = host->TakeReport();
    if (options.partial.empty() && code == 0) {
      // A sharded run's readers were its shards.
      report.replaced_characters += shard_report.replaced_characters;
      for (int64_t records : shard_report.query_records) report.query_records.push_back(records);
    } else if (code == 0) {
      shard_progress.Finish(report.replaced_characters);
    }

    if (code != 0 && guard.interrupted()) {
      guard.Finish();
      host->AbandonTables();
      files.Reset();
      std::cerr << "vocs: interrupted; statement " << number << " was not finished and "
                << (job.plan.writes_table() ? "the table " : "") << job.output
                << " is unchanged\n";
      return kExitInterrupted;
    }
    if (code != 0) {
      std::cerr << "vocs: statement " << number << " failed with " << code << ": "
                << vocs_error_message(code) << "\n  statement: " << options.statements[i] << "\n";
      const std::string host_message = host->last_error();
      if (!host_message.empty()) std::cerr << "  host: " << host_message << "\n";
      if (!detail.empty()) std::cerr << "  " << detail << "\n";
      ExplainFailure(code, job, names.temp_path, db_path);
      host->AbandonTables();
      files.Reset();
      std::cerr << "  nothing of it was kept; its work files were removed\n";
      return kExitFailed;
    }
    if (guard.interrupted()) guard.Finish();  // the statement completed all the same
    const std::string failure =
        options.partial.empty()
            ? ReportSuccess(number, job, report, db_path, seconds)
            : ReportPartial(number, options, partial_temp, &codec, seconds);
    files.Reset();
    if (!failure.empty()) return Fail(kExitFailed, statement_name + failure);
    ReportNotes(number, report);
    if (guard.interrupted() && number < jobs.size()) {
      std::cerr << "vocs: interrupted; the statements after statement " << number
                << " were not run\n";
      return kExitInterrupted;
    }
  }
  return kExitOk;
}

}  // namespace vocs::cli
