// CorpusImporter: writes the records of "vocs import" into one table, in one
// transaction: an import either lands whole or leaves the database as it was.
// It holds the table's write lock (host/table_lock.h) from Begin until it is
// destroyed, so runs and imports of one table never interleave.
//
// The table is made from the first record's column names (in their order);
// a later record with a new name adds a column, and a record without some
// column leaves it NULL. Values keep their kind (text, integer, real, null).
// Table and column names must be plain names (IsValidName of the host), so
// that statements can name them. Result tables of the module are never
// imported into or replaced.
//
// Threads: one thread, on a Database it does not own.
#ifndef VOCS_CLI_CORPUS_IMPORTER_H_
#define VOCS_CLI_CORPUS_IMPORTER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/corpus_reader.h"
#include "host/database.h"
#include "host/table_lock.h"

namespace vocs::cli {

class CorpusImporter {
 public:
  enum class Mode {
    kCreate,   // the table must not exist
    kReplace,  // an existing table is dropped first
    kAppend,   // records are added to an existing table (made when missing)
  };

  CorpusImporter(host::Database* db, std::string table, Mode mode);
  ~CorpusImporter();
  CorpusImporter(const CorpusImporter&) = delete;
  CorpusImporter& operator=(const CorpusImporter&) = delete;

  // Checks the name and the table, and starts the transaction.
  bool Begin(std::string* error);
  bool Add(const CorpusRecord& record, std::string* error);
  // Commits; false when no record was added (nothing is written then).
  bool Commit(std::string* error);

  int64_t records() const { return records_; }
  const std::vector<std::string>& columns() const { return columns_; }

 private:
  bool AddColumn(const std::string& name, std::string* error);
  bool PrepareInsert(std::string* error);
  int ColumnIndex(const std::string& name) const;

  host::Database* db_;
  std::string table_;
  Mode mode_;
  std::unique_ptr<host::TableLockFile> locks_;  // holds the table's lock until destroyed
  std::unique_ptr<host::Transaction> transaction_;
  bool table_exists_ = false;
  std::vector<std::string> columns_;
  host::Statement insert_;
  int64_t records_ = 0;
};

}  // namespace vocs::cli

#endif  // VOCS_CLI_CORPUS_IMPORTER_H_
