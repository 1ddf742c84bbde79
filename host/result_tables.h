// ResultTables: the module's statements on result tables (host_statement.h),
// carried out so that a table is replaced only by a complete result and only
// by one writer at a time.
//
// CREATE TABLE t does not touch t. It takes t's write lock (table_lock.h),
// creates an empty shadow table under a name of its own ("vocs_build_<id>")
// and records the build (vocs_builds in the catalogue). While the build is
// open, the calling thread's statements naming t (bulkload, ALTER, INDEX,
// and the field descriptions) act on the shadow. The INDEX statement, the
// last of the module's sequence, indexes the shadow and then, in one
// transaction, drops the old t (a result table) and gives the shadow t's
// name; t's lock is released and the build is finished with the number of
// rows it loaded. Until then readers see the old t, whole; a run that stops
// anywhere before leaves the old t as it was.
//
// A second writer of t, in another thread or another process, is refused at
// CREATE (and at the DROP the module sends after it) with a message naming
// the run that holds t. Bulk loads into a shadow commit every kRowsPerCommit
// rows, so that loads of different tables of one database take turns
// instead of waiting for each other's whole load.
//
// Builds that are not finished are abandoned (shadow dropped, lock released)
// by Abandon, by the next CREATE of the same table on the same thread, and,
// after a crash, by the next host that opens the database (SweepStaleBuilds:
// a build whose lock is free has no live owner).
//
// Threads: not synchronised; the embedded host calls it under its lock.
// Builds belong to the thread that created them.
#ifndef VOCS_HOST_RESULT_TABLES_H_
#define VOCS_HOST_RESULT_TABLES_H_

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "host/database.h"
#include "host/host_catalog.h"
#include "host/host_statement.h"
#include "host/table_lock.h"
#include "host/text_codec.h"

namespace vocs::host {

// What a result table is going through, for progress displays.
enum class TableEvent { kCreated, kLoading, kIndexing, kReplaced };

// Called with the table's name and the rows loaded so far.
using TableObserver = std::function<void(TableEvent event, const std::string& table, int64_t rows)>;

// A table that took its place: its name and the rows its build loaded.
struct FinishedTable {
  std::string name;
  int64_t rows = 0;
};

class ResultTables {
 public:
  static constexpr int64_t kRowsPerCommit = 20000;

  // `locks` may be null for a database no other connection can see (an
  // in-memory one).
  ResultTables(Database* db, HostCatalog* catalog, TableLockFile* locks, TextCodec* codec)
      : db_(db), catalog_(catalog), locks_(locks), codec_(codec) {}

  // Who the builds of this host belong to, for messages to other runs.
  void set_owner(std::string owner) { owner_ = std::move(owner); }
  // A flag that, once set, stops bulk loads at the next row.
  void set_interrupt_flag(const std::atomic<bool>* flag) { interrupted_ = flag; }
  void set_observer(TableObserver observer) { observer_ = std::move(observer); }

  // Runs one statement for the calling thread. *rows receives the rows a
  // bulk load added; *finished is set when the statement completed a build.
  bool Run(const HostStatement& statement, int64_t* rows, FinishedTable* finished,
           bool* did_finish, std::string* error);

  // The table the calling thread's statements mean by `table`: its shadow
  // while the thread builds it, else the table itself.
  std::string Resolve(const std::string& table) const;

  // Abandons the unfinished builds of the calling thread, or of every thread.
  void Abandon(bool all_threads);
  // Abandons the builds of runs that are gone. False with *error set when
  // the catalogue cannot be read.
  bool SweepStaleBuilds(std::string* error);

  size_t open_builds() const { return builds_.size(); }

 private:
  struct Build {
    std::string target;
    std::string shadow;
    std::thread::id thread;
    int64_t rows = 0;
  };

  bool Create(const HostStatement& statement, std::string* error);
  bool Drop(const HostStatement& statement, std::string* error);
  bool BulkLoad(const HostStatement& statement, int64_t* rows, std::string* error);
  bool Alter(const HostStatement& statement, std::string* error);
  bool Index(const HostStatement& statement, FinishedTable* finished, bool* did_finish,
             std::string* error);

  bool FindResultTable(const std::string& name, CatalogTable* table, std::string* error);
  bool CreateIndexes(const CatalogTable& table, const std::string& prefix, std::string* error);
  bool TakePlace(Build* build, std::string* error);
  // Drops a build's shadow and record, and releases its lock.
  bool Discard(const CatalogBuild& build);
  std::string HolderOf(const std::string& table);
  // The table's write lock; always granted without a lock file.
  bool TryLock(const std::string& table);
  void Unlock(const std::string& table);
  Build* FindBuild(const std::string& table);
  void Notify(TableEvent event, const std::string& table, int64_t rows);

  Database* db_;
  HostCatalog* catalog_;
  TableLockFile* locks_;
  TextCodec* codec_;
  std::string owner_ = "another run";
  const std::atomic<bool>* interrupted_ = nullptr;
  TableObserver observer_;
  std::map<std::string, Build> builds_;  // by target, ASCII letters folded
};

}  // namespace vocs::host

#endif  // VOCS_HOST_RESULT_TABLES_H_
