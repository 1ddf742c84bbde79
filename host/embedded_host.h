// EmbeddedHost: a record database on SQLite behind the module's
// HostInterface.
//
// Text crosses this boundary in GB18030 (text_codec.h): the module's code
// page for every GBK character, four bytes for every other one, so no
// character is lost on the way in and results convert back to the same UTF-8.
//
// Queries (runStatement, flag 0) are single read-only SQL statements; anything
// that could change the database or the connection (INSERT, DELETE, UPDATE,
// DROP, ATTACH, PRAGMA, BEGIN, ...) is refused with id -1. An opened query is
// counted once when it is opened (the handle's count) and then read by record
// index, in any order and as often as asked: the cursor steps forward and
// starts over when an earlier record is asked for, so no result is held in
// memory. readField hands every value over as GB18030 (text converted from
// UTF-8, U+FFFD for a malformed sequence, counted; blobs as raw bytes;
// numbers as their text; NULL as empty).
//
// Module statements (flag 1) are those of host_statement.h; they build result
// tables, which the catalogue (host_catalog.h) describes. A table is replaced
// only when its new content is complete, and by one writer at a time
// (result_tables.h). A success gives a handle id above 0; a refusal gives id
// -1 and leaves the reason in last_error().
//
// convertText cuts a text into words (word_segmenter.h) joined by "/". The
// input encoding is set with set_input_encoding (by default told apart by
// LooksLikeUtf8()); the result is GB18030. It is written into the destination
// as it is made, so a destination found too small may hold a part of it.
// readField drops a value above 1 MiB once it has delivered it: a long
// record is not held beside the caller's copy of it.
//
// Codes: slots that return a code give 0 for success, VOCS_E_BAD_ARGUMENT for
// a bad handle, field, record or name (the reason in last_error()), and
// VOCS_HOST_BUFFER_TOO_SMALL with the size needed when the destination is too
// small. Once Interrupt() was called every slot refuses.
//
// Ownership and threads: the server owns the host and keeps it alive while
// the module may call it. Every slot takes one lock, so commands on several
// threads are served one call at a time. What the host tells about a command
// (last_error, TakeReport) is kept per thread: each thread hears about its
// own commands.
#ifndef VOCS_HOST_EMBEDDED_HOST_H_
#define VOCS_HOST_EMBEDDED_HOST_H_

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "host/database.h"
#include "host/host_catalog.h"
#include "host/host_statement.h"
#include "host/result_tables.h"
#include "host/table_lock.h"
#include "host/text_codec.h"
#include "host/word_segmenter.h"
#include "vocs/host_interface.h"

namespace vocs::host {

// What the host saw of the commands of one thread since its last report.
struct HostReport {
  std::vector<FinishedTable> tables;  // result tables that took their place
  std::vector<int64_t> query_records;  // the record count of each opened query
  int64_t replaced_characters = 0;     // characters that could not be kept
};

class EmbeddedHost final : public HostInterface {
 public:
  // Opens the database file (made when missing only with kCreate), its
  // catalogue and its lock file, and abandons the unfinished tables of runs
  // that are gone. Null with *error set when that fails.
  static std::unique_ptr<EmbeddedHost> Open(const std::string& path, std::string* error,
                                            Database::OpenMode mode = Database::OpenMode::kCreate);

  // Abandons every unfinished table.
  ~EmbeddedHost();
  EmbeddedHost(const EmbeddedHost&) = delete;
  EmbeddedHost& operator=(const EmbeddedHost&) = delete;

  void set_input_encoding(TextEncoding encoding);
  // Makes every query opened from now on show only shard `shard` (1-based)
  // of `shards` contiguous ranges of its records by position: records
  // [count * (shard - 1) / shards, count * shard / shards), numbered from 0.
  // The ranges of 1..shards cover every record once; some are empty when
  // there are fewer records than shards. (1, 1), the default, shows all.
  // `query_records`, when not negative, is the record count of the queries
  // to come, as the caller counted it (SQLite counts without reading the
  // records): the host then steps only up to the end of the shard's range
  // instead of through the whole query first (a record missing below that
  // end still fails the read).
  void set_record_shard(int32_t shard, int32_t shards, int64_t query_records = -1) {
    shard_ = shard;
    shards_ = shards;
    query_records_ = query_records;
  }
  // Who this host's runs are, in messages to other runs that find a table
  // busy (default: "process <pid>").
  void set_owner(std::string owner);

  // Observers for progress displays, called with the lock held: the record
  // read (1-based) and the query's record count, each time readField moves to
  // another record; the number of texts converted so far; the steps of result
  // tables.
  void set_record_observer(std::function<void(int64_t record, int64_t count)> observer);
  void set_conversion_observer(std::function<void(int64_t conversions)> observer);
  void set_table_observer(TableObserver observer);

  // Makes every slot refuse from now on and aborts the SQL statement that
  // is running, so that the module's command stops soon. Any thread may call
  // it, at any time.
  void Interrupt();
  bool interrupted() const { return interrupted_.load(); }

  // Abandons the unfinished result tables of the calling thread (after a
  // command failed); the tables they were to replace stay as they were.
  void AbandonTables();
  // Abandons every unfinished result table, waiting at most `patience` for a
  // command that is inside the host. False when the host stayed busy; the
  // next host to open the database removes them then.
  bool AbandonAllTables(std::chrono::milliseconds patience);

  // Why the last refused call of the calling thread was refused (UTF-8);
  // empty when none was.
  std::string last_error() const;
  void clear_last_error();
  // What the host saw of the calling thread's commands since the last call.
  HostReport TakeReport();

  // Number of open query and statement handles (for tests and leak checks).
  size_t open_handles() const;

  Database* database() { return &db_; }

  // HostInterface.
  int32_t getFieldDescriptors(const char* table_name, void* descriptors,
                              int32_t* size_in_bytes) noexcept override;
  int32_t getFieldTypeText(int32_t field_id, char* buffer, int32_t* buffer_size) noexcept override;
  int32_t getFieldCount(const char* table_name) noexcept override;
  int32_t runStatement(const char* text, int32_t flag, ResultHandle* handle) noexcept override;
  int32_t closeResult(ResultHandle handle) noexcept override;
  int32_t readField(ResultHandle handle, int32_t field, int32_t record, char* buffer,
                    int32_t* length, int32_t reserved1, int32_t reserved2) noexcept override;
  int32_t resolveField(ResultHandle handle, const char* name, int32_t reserved) noexcept override;
  int32_t convertText(const char* source, char* destination, int32_t* length) noexcept override;

 private:
  struct Cursor;
  struct ThreadState {
    std::string last_error;
    HostReport report;
  };

  EmbeddedHost();

  // SQLite authorizer: while a query is prepared, allows reading only.
  static int Authorize(void* self, int action, const char* a, const char* b, const char* c,
                       const char* d);

  ThreadState& Current();
  int32_t Refuse(int32_t code, std::string message);
  bool RefuseInterrupted(int32_t* code);
  bool TableNameFromModule(const char* text, std::string* utf8);
  void ResetCursors();
  int32_t NextId();

  int32_t OpenQuery(std::string_view text, ResultHandle* handle);
  int32_t RunModuleStatement(std::string_view text, ResultHandle* handle);
  bool FindResultTable(const char* module_name, CatalogTable* table);

  Cursor* FindCursor(const ResultHandle& handle);
  // Steps `cursor` to its record `record`; false with the last error set, and
  // *failed_query true when SQLite failed rather than the record was gone.
  bool MoveTo(Cursor* cursor, int32_t record, bool* failed_query);

  mutable std::timed_mutex mutex_;
  std::atomic<bool> interrupted_{false};
  Database db_;
  HostCatalog catalog_{&db_};
  std::unique_ptr<TableLockFile> locks_;
  TextCodec codec_;
  WordSegmenter segmenter_;
  std::unique_ptr<ResultTables> tables_;
  TextEncoding input_encoding_ = TextEncoding::kDetect;
  int32_t shard_ = 1;
  int32_t shards_ = 1;
  int64_t query_records_ = -1;
  bool authorizing_query_ = false;
  std::map<int32_t, std::unique_ptr<Cursor>> cursors_;
  std::set<int32_t> statement_ids_;
  int32_t last_id_ = 0;
  std::map<std::thread::id, ThreadState> threads_;
  int64_t conversions_ = 0;
  std::function<void(int64_t, int64_t)> record_observer_;
  std::function<void(int64_t)> conversion_observer_;
};

}  // namespace vocs::host

#endif  // VOCS_HOST_EMBEDDED_HOST_H_
