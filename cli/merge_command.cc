// vocs merge: the partial results of a statement's shards, delivered as the
// one result of the statement.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>

#include "api/statistics_runs.h"
#include "cli/cli_common.h"
#include "cli/command_host.h"
#include "cli/commands.h"
#include "cli/interrupt_guard.h"
#include "cli/run_directory.h"
#include "cli/statement_text.h"
#include "host/embedded_host.h"
#include "host/host_statement.h"
#include "vocs/errors.h"

namespace vocs::cli {

namespace {

namespace fs = std::filesystem;

constexpr const char* kMergeHelp = R"help(Usage: vocs merge [OPTIONS] PARTIAL... TO FILE=f | TO TABLE=t

Merges the partial results of the shards of one statement (written by
'vocs run --shard K/N --partial FILE') and writes them as that statement's
result: the same file or table, byte for byte, as one run over all its
records. Every shard 1..N must be given exactly once, in any order; partials
of different statements, damaged or incomplete files are refused before
anything is written. The partials are read, never changed.

  TO FILE=f        a tab-separated result file, as 'vocs run' writes it
  TO TABLE=t       a result table of the database (--db)

Example:
  vocs run --db my.db --shard 1/2 --partial p1 "STAT WORDFREQ AT body(NORMAL) TO TABLE=words WHERE SELECT body FROM docs"
  vocs run --db my.db --shard 2/2 --partial p2 "STAT WORDFREQ AT body(NORMAL) TO TABLE=words WHERE SELECT body FROM docs"
  vocs merge --db my.db p1 p2 TO TABLE=words

Options:
  --db FILE         the database of a table result (default: vocs.db)
  --work-dir DIR    where the merge's work and load files go (default: a
                    hidden directory beside the database or the result file)
  --help            this text

Exit codes: 0 success; 1 a partial was refused or the merge failed (nothing
was written); 2 bad command line; 3 the database cannot be opened; 130
interrupted.
)help";

struct MergeOptions {
  std::string db = "vocs.db";
  std::string work_dir;
  std::vector<std::string> partials;
  bool to_table = false;
  std::string output;  // the file (absolute) or the table's name
};

int ParseMergeArgs(const Args& args, MergeOptions* options, bool* help) {
  size_t i = 0;
  for (; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      *help = true;
      return kExitOk;
    }
    if (const auto code = MatchPlaceOption(args, &i, "merge", &options->db, &options->work_dir)) {
      if (*code != kExitOk) return *code;
    } else if (arg == "TO" || arg == "to") {
      break;
    } else if (arg.rfind("--", 0) == 0) {
      return UsageError("merge", "unknown option " + arg);
    } else {
      options->partials.push_back(AbsolutePath(arg));
    }
  }
  if (options->partials.empty()) return UsageError("merge", "no partial result given");
  constexpr const char* kTarget = "expected TO FILE=name or TO TABLE=name at the end";
  if (i + 2 != args.size()) return UsageError("merge", kTarget);
  const std::string& target = args[i + 1];
  const size_t equals = target.find('=');
  const std::string kind = target.substr(0, equals);
  const std::string name = equals == std::string::npos ? "" : target.substr(equals + 1);
  options->to_table = kind == "TABLE" || kind == "table";
  if ((!options->to_table && kind != "FILE" && kind != "file") || name.empty()) {
    return UsageError("merge", kTarget);
  }
  if (options->to_table && !host::IsValidName(name)) {
    return UsageError("merge", "the table name " + name + " cannot be used");
  }
  options->output = options->to_table ? name : AbsolutePath(name);
  return kExitOk;
}

}  // namespace

int MergeCommand(const Args& args) {
  MergeOptions options;
  bool help = false;
  if (const int code = ParseMergeArgs(args, &options, &help); code != kExitOk) return code;
  if (help) {
    std::cout << kMergeHelp;
    return kExitOk;
  }
  std::string error;
  int exit_code = kExitOk;
  std::unique_ptr<host::EmbeddedHost> host = OpenCommandHost(
      options.to_table ? options.db : ":memory:", options.to_table, "merge", &exit_code);
  if (host == nullptr) return exit_code;
  if (!options.to_table && fs::is_directory(options.output)) {
    return Fail(kExitFailed, "the output " + options.output + " is a directory");
  }

  const fs::path final_path(options.output);
  std::string parent = options.to_table ? fs::path(AbsolutePath(options.db)).parent_path().string()
                                        : final_path.parent_path().string();
  if (!options.work_dir.empty()) parent = options.work_dir;
  SweepDeadRuns(parent);
  std::unique_ptr<RunDirectory> run = RunDirectory::Make(parent, &error);
  if (run == nullptr) return Fail(kExitFailed, error);
  // A file result is written under a hidden name and takes its name when
  // complete.
  const std::string hidden = options.to_table ? "" : HiddenResultPath(options.output);
  auto remove_all = [&] {
    run->Remove();
    if (!hidden.empty()) {
      std::error_code ignored;
      fs::remove(hidden, ignored);
    }
  };
  host::EmbeddedHost* host_ptr = host.get();
  InterruptGuard guard([host_ptr] { host_ptr->Interrupt(); },
                       [host_ptr, &remove_all] {
                         host_ptr->AbandonAllTables(std::chrono::milliseconds(1000));
                         remove_all();
                       });

  host::TextCodec codec;
  PartialDelivery delivery;
  for (const std::string& partial : options.partials) {
    std::string bytes;
    if (!codec.Utf8ToGb18030(partial, &bytes)) {
      remove_all();
      return Fail(kExitFailed, "the name " + partial + " has no form in the module's code page");
    }
    delivery.partials.push_back(std::move(bytes));
  }
  delivery.output = options.to_table ? OutputTarget::kTable : OutputTarget::kFile;
  codec.Utf8ToGb18030(options.to_table ? run->load() + "/" + options.output : hidden,
                      &delivery.output_name);
  codec.Utf8ToGb18030(run->work(), &delivery.temp_dir);
  delivery.host = host.get();

  host->TakeReport();
  const auto start = std::chrono::steady_clock::now();
  const int32_t code = DeliverPartialResults(delivery, &error);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const host::HostReport report = host->TakeReport();
  if (code != 0) {
    if (guard.interrupted()) guard.Finish();
    host->AbandonTables();
    remove_all();
    if (guard.interrupted()) {
      std::cerr << "vocs: interrupted; " << (options.to_table ? "the table " : "")
                << options.output << " is unchanged\n";
      return kExitInterrupted;
    }
    std::cerr << "vocs: the merge failed with " << code << ": " << vocs_error_message(code) << "\n";
    if (!error.empty()) std::cerr << "  " << error << "\n";
    const std::string host_message = host->last_error();
    if (!host_message.empty()) std::cerr << "  host: " << host_message << "\n";
    std::cerr << "  nothing was written\n";
    return kExitFailed;
  }
  if (guard.interrupted()) guard.Finish();
  char timing[64];
  std::snprintf(timing, sizeof timing, "%.2f s", seconds);
  if (options.to_table) {
    remove_all();
    for (const host::FinishedTable& table : report.tables) {
      if (!host::SameName(table.name, options.output)) continue;
      std::cout << "merged " << options.partials.size() << " partial results: " << table.rows
                << " rows in table " << table.name << " of " << AbsolutePath(options.db) << ", "
                << timing << "\n";
      return kExitOk;
    }
    return Fail(kExitFailed, "the merge reported success, but the table " + options.output +
                                 " was not replaced");
  }
  const int64_t rows = PlaceResultFile(hidden, options.output, &error);
  remove_all();
  if (rows < 0) return Fail(kExitFailed, error);
  std::cout << "merged " << options.partials.size() << " partial results: " << rows
            << " rows in file " << options.output << ", " << timing << "\n";
  return kExitOk;
}

}  // namespace vocs::cli
