// vocs run: statements through the module, against the embedded host.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "cli/module_loader.h"
#include "cli/statement_text.h"
#include "host/database.h"
#include "host/embedded_host.h"
#include "vocs/errors.h"

namespace vocs::cli {

namespace {

constexpr const char* kRunHelp = R"(Usage: vocs run [OPTIONS] [STATEMENT...]

Runs statistics statements through the vocs module against a database.
Each STATEMENT is sent to the module as "sql!" and a statement such as

  STAT WORDFREQ SET MINFREQ=2 AT body(NORMAL) TO TABLE=words WHERE SELECT body FROM docs
  STAT ASSOCIATEDFREQ AT body(NORMAL) TO FILE=pairs.txt WHERE SELECT body FROM docs
  STAT WORDFREQ FROM /data/texts TO FILE=/tmp/words.txt

Statements are typed in UTF-8 and sent in GBK. They run in order; the first
that fails stops the run.

Options:
  --db FILE         the database (default: vocs.db in the current directory)
  --module PATH     the module library (default: libvocs.so beside vocs)
  --file FILE, -f FILE
                    read statements from FILE ("-": standard input); statements
                    are separated by empty lines, lines starting with # are
                    comments. Without STATEMENT and --file, statements are read
                    from standard input when it is not a terminal.
  --encoding auto|utf8|gbk
                    how the host reads texts it segments (NORMAL mode, FROM
                    files): auto tells UTF-8 from GBK by the bytes (default)
  --help            this text

Where results go: the module resolves relative output names in its home, the
directory of the vocs executable (not the current directory): TO FILE=x
writes <home>/x, TO TABLE=t makes table t in the database and writes its load
files below <home>/LOCAL_HS_DB/. Names beginning with "/" are used as they
are. Every run prints the absolute path it wrote, the number of rows and the
time taken. Progress (records read out of the query's record count, or files
done for FROM statements) appears on standard error when it is a terminal.

Exit codes: 0 all statements succeeded; 1 a statement failed (its code and
meaning are printed); 2 bad command line; 3 the module or the database
cannot be opened.
)";

// Number of result rows in a result file: its lines less the header.
int64_t CountFileRows(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return -1;
  int64_t lines = 0;
  char buffer[65536];
  size_t n = 0;
  bool last_newline = true;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    for (size_t i = 0; i < n; ++i) lines += buffer[i] == '\n';
    last_newline = buffer[n - 1] == '\n';
  }
  std::fclose(file);
  if (!last_newline) ++lines;
  return lines > 0 ? lines - 1 : 0;
}

int64_t CountTableRows(host::Database* db, const std::string& table) {
  host::Statement stmt;
  if (!db->Prepare("SELECT count(*) FROM " + host::QuoteIdentifier(table), &stmt)) return -1;
  bool row = false;
  if (!stmt.Step(&row) || !row) return -1;
  return stmt.ColumnInt64(0);
}

struct RunOptions {
  std::string db = "vocs.db";
  std::string module;
  std::vector<std::string> statements;
  host::TextEncoding encoding = host::TextEncoding::kDetect;
};

int ParseRunArgs(const Args& args, RunOptions* options, bool* help) {
  bool read_stdin = false;
  std::vector<std::string> files;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string value;
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      *help = true;
      return kExitOk;
    }
    int m;
    if ((m = MatchOption(args, &i, "--db", &value)) != 0) {
      if (m < 0) return UsageError("run", "--db needs a file");
      options->db = value;
    } else if ((m = MatchOption(args, &i, "--module", &value)) != 0) {
      if (m < 0) return UsageError("run", "--module needs a path");
      options->module = value;
    } else if ((m = MatchOption(args, &i, "--file", &value)) != 0 ||
               (m = MatchOption(args, &i, "-f", &value)) != 0) {
      if (m < 0) return UsageError("run", "--file needs a file");
      files.push_back(value);
    } else if ((m = MatchOption(args, &i, "--encoding", &value)) != 0) {
      if (m < 0 || !ParseEncoding(value, &options->encoding)) {
        return UsageError("run", "--encoding takes auto, utf8 or gbk");
      }
    } else if (arg.size() > 1 && arg[0] == '-' && arg.rfind("--", 0) == 0 && arg != "--") {
      return UsageError("run", "unknown option " + arg);
    } else {
      options->statements.push_back(arg);
    }
  }
  if (options->statements.empty() && files.empty()) {
    if (isatty(STDIN_FILENO)) return UsageError("run", "no statement given");
    read_stdin = true;
  }
  if (read_stdin) files.push_back("-");
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
  return kExitOk;
}

// Reports where a statement's results went.
void ReportSuccess(size_t number, const std::string& statement, host::EmbeddedHost* host,
                   double seconds) {
  const OutputClause clause = FindOutputClause(statement);
  const std::string path = ResolveOutputPath(clause, ProgramDirectory());
  char timing[64];
  std::snprintf(timing, sizeof timing, "%.2f s", seconds);
  std::cout << "statement " << number << ": ";
  if (clause.found && clause.table) {
    std::string table = TableNameOfPath(path);
    if (table.empty()) table = host->last_created_table();
    const int64_t rows = CountTableRows(host->database(), table);
    std::cout << rows << " rows in table " << table << " of "
              << AbsolutePath(host->database()->path()) << " (loaded from " << path << "), "
              << timing << "\n";
  } else if (clause.found) {
    std::cout << CountFileRows(path) << " rows in file " << path << ", " << timing << "\n";
  } else {
    std::cout << "done, " << timing << "\n";
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

  host::TextCodec codec;
  std::vector<std::string> requests;
  for (size_t i = 0; i < options.statements.size(); ++i) {
    std::string gbk;
    if (!codec.Utf8ToGbk(options.statements[i], &gbk)) {
      return Fail(kExitFailed, "statement " + std::to_string(i + 1) +
                                   " is not UTF-8 text or holds a character GBK cannot hold: " +
                                   options.statements[i]);
    }
    requests.push_back(StatementRequest(gbk));
  }

  std::string error;
  std::unique_ptr<host::EmbeddedHost> host = host::EmbeddedHost::Open(options.db, &error);
  if (host == nullptr) return Fail(kExitSetup, error);
  host->set_input_encoding(options.encoding);
  LoadedModule module;
  const std::string module_path = options.module.empty() ? DefaultModulePath() : options.module;
  if (!module.Load(module_path, &error)) return Fail(kExitSetup, error);
  module.SetHost(host.get());

  ProgressLine progress;
  int64_t records = 0;
  int64_t record_count = 0;
  int64_t conversions = 0;
  const auto show = [&]() {
    std::string text;
    if (record_count > 0) {
      text = "records " + std::to_string(records) + "/" + std::to_string(record_count);
    }
    if (conversions > 0) {
      // Without a query (FROM statements) each conversion is one file.
      text += (text.empty() ? "files done " : ", texts converted ") + std::to_string(conversions);
    }
    progress.Show(text);
  };
  if (progress.enabled()) {
    host->set_record_observer([&](int64_t record, int64_t count) {
      records = record;
      record_count = count;
      show();
    });
    host->set_conversion_observer([&](int64_t n) {
      conversions = n;
      show();
    });
  }

  for (size_t i = 0; i < requests.size(); ++i) {
    records = record_count = conversions = 0;
    host->clear_last_error();
    const auto start = std::chrono::steady_clock::now();
    const int32_t code = module.Execute(requests[i]);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    progress.Clear();
    if (code != 0) {
      std::cerr << "vocs: statement " << i + 1 << " failed with " << code << ": "
                << vocs_error_message(code) << "\n  statement: " << options.statements[i] << "\n";
      const std::string host_message = host->last_error();
      if (!host_message.empty()) std::cerr << "  host: " << host_message << "\n";
      return kExitFailed;
    }
    ReportSuccess(i + 1, options.statements[i], host.get(), seconds);
  }
  return kExitOk;
}

}  // namespace vocs::cli
