// TableLockFile: write locks on the tables of one database, held across
// threads and processes.
//
// Writers of a table (a run building a result table, an import) take the
// table's lock before they change it and keep it until they are done, so that
// two writers never interleave their statements on one table. The locks are
// open-file-description locks on one byte each of a lock file beside the
// database ("<database>-vocslock"), at an offset derived from the table's name
// (ASCII letters folded, as SQLite compares names). The kernel drops them when
// their holder closes the file or dies, so a crashed run never leaves a table
// locked. The database file itself is never opened here: closing a descriptor
// of it would drop SQLite's own locks.
//
// Each TableLockFile is one open file description: two objects conflict with
// each other even inside one process, while one object taking a lock it holds
// already succeeds again (callers that share one object keep track of their
// own holders).
//
// Threads: an object may be used from several threads; it keeps no state
// besides the descriptor.
#ifndef VOCS_HOST_TABLE_LOCK_H_
#define VOCS_HOST_TABLE_LOCK_H_

#include <memory>
#include <string>
#include <string_view>

namespace vocs::host {

class TableLockFile {
 public:
  // Opens (creating when missing) the lock file of the database at
  // `database_path`. Null with *error set when it cannot be opened.
  static std::unique_ptr<TableLockFile> Open(const std::string& database_path,
                                             std::string* error);
  ~TableLockFile();
  TableLockFile(const TableLockFile&) = delete;
  TableLockFile& operator=(const TableLockFile&) = delete;

  // Takes the lock of `table` without waiting: false when another holder has
  // it.
  bool TryLock(std::string_view table);
  void Unlock(std::string_view table);

  const std::string& path() const { return path_; }

 private:
  TableLockFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

  int fd_;
  std::string path_;
};

}  // namespace vocs::host

#endif  // VOCS_HOST_TABLE_LOCK_H_
