#include "cli/run_job.h"

#include <unistd.h>

#include <cctype>
#include <filesystem>

#include "cli/cli_common.h"
#include "cli/command_host.h"
#include "cli/statement_text.h"
#include "host/database.h"

namespace vocs::cli {

namespace {

namespace fs = std::filesystem;

// The module appends its own file names (about 20 bytes) to the work and load
// directories and holds paths in 260 bytes.
constexpr size_t kMaxWorkPathBytes = 200;

// Whether the module can hold the names of `job`'s run.
bool NamesFit(const RunJob& job, host::TextCodec* codec, std::string* error) {
  // The longest run directory names the run may get.
  const std::string placeholder = "/.vocs-run-" + std::to_string(::getpid()) + "-9999";
  const RewriteNames names = NamesFor(
      job, job.parent + placeholder, job.temp_path.empty() ? "" : job.temp_path + placeholder);
  for (const std::string& directory :
       {names.temp_path, fs::path(names.output).parent_path().string()}) {
    std::string bytes;
    codec->Utf8ToGb18030(directory, &bytes);
    if (bytes.size() > kMaxWorkPathBytes) {
      *error = "the work directory " + directory + " is " + std::to_string(bytes.size()) +
               " bytes long; the module needs it below " + std::to_string(kMaxWorkPathBytes) +
               " (choose a shorter one with --work-dir or TEMPPATH)";
      return false;
    }
  }
  std::string ignored;
  return Rewrite(job.plan, names, codec, &ignored, error);
}

}  // namespace

bool PrepareRunJob(const std::string& statement, const RunSettings& settings,
                   host::TextCodec* codec, RunJob* job, StatementProblem* problem,
                   std::vector<std::string>* problems) {
  if (!AnalyzeStatement(statement, codec, &job->plan, problem)) return false;
  const StatementPlan& plan = job->plan;
  for (const std::string& name : plan.FileNames(codec)) job->files.push_back(AbsolutePath(name));
  if (!plan.TempPath(codec).empty()) job->temp_path = AbsolutePath(plan.TempPath(codec));
  const size_t problems_before = problems->size();
  if (plan.writes_table()) {
    job->output = TableNameOfPath(plan.OutputName(codec));
    job->parent = fs::path(AbsolutePath(settings.db)).parent_path().string();
  } else {
    job->output = AbsolutePath(plan.OutputName(codec));
    const fs::path final_path(job->output);
    job->parent = final_path.parent_path().string();
    job->partial_output = HiddenResultPath(job->output);
    if (fs::is_directory(job->output)) problems->push_back("the output " + job->output + " is a directory");
  }
  if (!settings.work_dir.empty()) job->parent = settings.work_dir;
  std::string error;
  if (!NamesFit(*job, codec, &error)) problems->push_back(error);
  if (plan.reads_files()) job->inputs = CheckInputFiles(job->files, settings.encoding, codec, problems);
  return problems->size() == problems_before;
}

RewriteNames NamesFor(const RunJob& job, const std::string& run, const std::string& work_run) {
  RewriteNames names;
  names.files = job.files;
  names.temp_path = (work_run.empty() ? run : work_run) + "/work";
  names.output = job.plan.writes_table() ? run + "/load/" + job.output : job.partial_output;
  return names;
}

bool EstimateJob(const RunJob& job, const std::string& db_path, PairEstimate* estimate) {
  if (job.plan.reads_files()) {
    // A single named file is paired within itself; anything else across files.
    *estimate = EstimateFilePairs(job.inputs,
                                  job.files.size() == 1 && !fs::is_directory(job.files.front()));
    return true;
  }
  host::Database reader;
  std::string error;
  return reader.Open(db_path, host::Database::OpenMode::kReadOnly) &&
         EstimateQueryPairs(&reader, job.plan.command, estimate, &error);
}

int64_t CountQueryRecords(const RunJob& job, host::Database* db) {
  if (job.plan.reads_files()) return -1;
  host::TextCodec codec;
  std::string sql;
  if (!codec.Gb18030ToUtf8(job.plan.command.query, &sql)) return -1;
  // The query as a subquery: without its closing semicolon, and closed on a
  // line of its own in case it ends in a -- comment.
  while (!sql.empty() && (std::isspace(static_cast<unsigned char>(sql.back())) || sql.back() == ';')) {
    sql.pop_back();
  }
  const std::string count_sql = "SELECT count(*) FROM (" + sql + "\n)";
  host::Statement stmt;
  std::string_view tail;
  bool row = false;
  if (sql.empty() || !db->Prepare(count_sql, &stmt, &tail) ||
      !tail.empty() || !stmt.ReadOnly() || !stmt.Step(&row) || !row) {
    return -1;
  }
  return stmt.ColumnInt64(0);
}

}  // namespace vocs::cli
