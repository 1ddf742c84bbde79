// A real SQLite database of records for whole runs through the embedded
// host: a table docs(body TEXT) filled from the bodies a test gives, the
// statistics runs over it (the query "SELECT body FROM docs") and their
// results read back, a file's bytes or a table's rows.
//
// The object owns the host and its connection. A test uses it from one
// thread, except that runs made with Run may execute on several threads at
// once (the host serves them); read results after they have finished.
#ifndef VOCS_TESTS_SUPPORT_DOCS_DATABASE_H_
#define VOCS_TESTS_SUPPORT_DOCS_DATABASE_H_

#include <memory>
#include <string>
#include <vector>

#include "api/statistics_runs.h"
#include "host/embedded_host.h"

namespace vocs::testing {

class DocsDatabase {
 public:
  // Creates the database file at `path` (its directory must exist) with one
  // record a body, and opens the host on it. Writes are not made durable:
  // what the tests check is the runs, and speed lets them run every build.
  // False with *error when the database cannot be made.
  bool Create(const std::string& path, const std::vector<std::string>& bodies,
              std::string* error);

  host::EmbeddedHost* host() const { return host_.get(); }

  // A run of `statistic` over the records' bodies, cut by `source`, into a
  // file or a table named `output_name`; the caller sets what else it needs
  // (temporary directory, spill threshold).
  StatisticsRun Run(StatisticKind statistic, OutputTarget output, const std::string& output_name,
                    RunSource source) const;

  // The rows of a table in load order, each cell followed by a TAB, each row
  // by LF; "<no table NAME>" or "<unreadable>" when it cannot be read.
  std::string Rows(const std::string& table) const;
  // What a finished run produced: the file's bytes ("<missing>" when there
  // is none) or the table's Rows.
  std::string Result(OutputTarget output, const std::string& output_name) const;

 private:
  std::unique_ptr<host::EmbeddedHost> host_;
};

}  // namespace vocs::testing

#endif  // VOCS_TESTS_SUPPORT_DOCS_DATABASE_H_
