// RunJob: one statement of "vocs run", checked and given its names before
// anything runs.
//
// PrepareRunJob reads the statement (statement_plan.h), takes its relative
// names in the current directory, checks its FROM inputs (input_files.h) and
// that every name the module will be handed fits the module's buffers, and
// decides where the run's directory goes: below --work-dir, else beside the
// database for a table and beside the result file for a file, so that the
// work files land where the user may write and on the disk that receives the
// result. A file result is written under a hidden name beside the file
// first and takes its name only when complete.
//
// Plain functions and values; any thread.
#ifndef VOCS_CLI_RUN_JOB_H_
#define VOCS_CLI_RUN_JOB_H_

#include <cstdint>
#include <string>
#include <vector>

#include "cli/input_files.h"
#include "cli/pair_estimate.h"
#include "cli/statement_plan.h"
#include "host/database.h"
#include "host/text_codec.h"
#include "host/word_segmenter.h"

namespace vocs::cli {

struct RunSettings {
  std::string db;        // the database, as given
  std::string work_dir;  // --work-dir, absolute, or ""
  host::TextEncoding encoding = host::TextEncoding::kUtf8WhenValid;  // of FROM files
};

struct RunJob {
  StatementPlan plan;
  std::vector<std::string> files;  // the FROM names, absolute
  std::vector<InputFile> inputs;   // the files they stand for
  std::string output;              // the result file (absolute), or the table's name
  std::string temp_path;           // the statement's TEMPPATH, absolute, or ""
  std::string parent;              // where its run directory goes
  std::string partial_output;      // a file result before it takes its name

  // Queries and tables need the database; files to files do not.
  bool needs_database() const { return !plan.reads_files() || plan.writes_table(); }
};

// Prepares `job` for `statement`. False when something is wrong: a
// statement that does not parse or that the module would misread sets
// *problem (with its place); other problems (inputs, names) are appended to
// *problems, one message each.
bool PrepareRunJob(const std::string& statement, const RunSettings& settings,
                   host::TextCodec* codec, RunJob* job, StatementProblem* problem,
                   std::vector<std::string>* problems);

// The names a run of `job` hands the module, given its run directory `run`
// and, when the statement has a TEMPPATH, the run directory below it.
RewriteNames NamesFor(const RunJob& job, const std::string& run, const std::string& work_run);

// The estimate of a co-occurrence job over the database at `db_path` (or its
// files). False when it cannot be made; the run reports why then.
bool EstimateJob(const RunJob& job, const std::string& db_path, PairEstimate* estimate);

// The number of records the query of `job` returns from `db`, counted by
// SQLite without reading them (SELECT count(*) FROM (query)); -1 when the
// job reads files or the count cannot be taken that way (the host then
// counts by stepping through the query, and reports what is wrong with it).
int64_t CountQueryRecords(const RunJob& job, host::Database* db);

}  // namespace vocs::cli

#endif  // VOCS_CLI_RUN_JOB_H_
