// EmbeddedHost: a record database on SQLite behind the module's
// HostInterface.
//
// Queries (runStatement, flag 0) are single read-only SQL statements, given in
// GBK; anything that could change the database or the connection (INSERT,
// DELETE, UPDATE, DROP, ATTACH, PRAGMA, BEGIN, ...) is refused with id -1.
// An opened query is counted once when it is opened (the handle's count) and
// then read by record index, in any order and as often as asked: the cursor
// steps forward and starts over when an earlier record is asked for, so no
// result is held in memory. readField hands every value over as GBK (text
// converted from UTF-8, "?" for a character GBK cannot hold; blobs as raw
// bytes; numbers as their text; NULL as empty).
//
// Module statements (flag 1) are those of host_statement.h: they create,
// drop, load, re-declare and index result tables, which the catalogue
// (host_catalog.h) describes. A statement either takes full effect or none:
// each runs in one transaction. A success gives a handle id above 0; a
// refusal gives id -1 and leaves the reason in last_error().
//
// convertText cuts a text into words (word_segmenter.h) joined by "/". The
// input is GBK or UTF-8: told apart by LooksLikeUtf8(), or fixed with
// set_input_encoding. The result is GBK.
//
// Codes: slots that return a code give 0 for success, VOCS_E_BAD_ARGUMENT for
// a bad handle, field, record or name (the reason in last_error()), and
// VOCS_HOST_BUFFER_TOO_SMALL with the size needed when the destination is too
// small.
//
// Ownership and threads: the server owns the host and keeps it alive while
// the module may call it. Every slot takes one lock, so commands on several
// threads are served one call at a time.
#ifndef VOCS_HOST_EMBEDDED_HOST_H_
#define VOCS_HOST_EMBEDDED_HOST_H_

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>

#include "host/database.h"
#include "host/host_catalog.h"
#include "host/host_statement.h"
#include "host/text_codec.h"
#include "host/word_segmenter.h"
#include "vocs/host_interface.h"

namespace vocs::host {

class EmbeddedHost final : public HostInterface {
 public:
  // Opens (creating when missing) the database file and its catalogue. Null
  // with *error set when that fails.
  static std::unique_ptr<EmbeddedHost> Open(const std::string& path, std::string* error);

  ~EmbeddedHost();
  EmbeddedHost(const EmbeddedHost&) = delete;
  EmbeddedHost& operator=(const EmbeddedHost&) = delete;

  void set_input_encoding(TextEncoding encoding);

  // Observers for progress displays, called with the lock held: the record
  // read (1-based) and the query's record count, each time readField moves to
  // another record; the number of texts converted so far.
  void set_record_observer(std::function<void(int64_t record, int64_t count)> observer);
  void set_conversion_observer(std::function<void(int64_t conversions)> observer);

  // Why the last refused call was refused (UTF-8); empty when none was.
  std::string last_error() const;
  void clear_last_error();

  // The result table the last successful CREATE TABLE made (UTF-8 name, raw
  // path); empty when none.
  std::string last_created_table() const;

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

  EmbeddedHost();

  // SQLite authorizer: while a query is prepared, allows reading only.
  static int Authorize(void* self, int action, const char* a, const char* b, const char* c,
                       const char* d);

  int32_t Refuse(int32_t code, std::string message);
  bool TableNameFromModule(const char* gbk, std::string* utf8);
  void ResetCursors();
  int32_t NextId();

  int32_t OpenQuery(std::string_view gbk_text, ResultHandle* handle);
  int32_t RunModuleStatement(std::string_view gbk_text, ResultHandle* handle);
  bool CreateTable(const HostStatement& statement, std::string* error);
  bool DropTable(const HostStatement& statement, std::string* error);
  bool BulkLoad(const HostStatement& statement, int64_t* rows, std::string* error);
  bool AlterColumn(const HostStatement& statement, std::string* error);
  bool IndexTable(const HostStatement& statement, std::string* error);
  bool FindResultTable(const std::string& name, CatalogTable* table, std::string* error);

  Cursor* FindCursor(const ResultHandle& handle);
  bool MoveTo(Cursor* cursor, int32_t record);

  mutable std::mutex mutex_;
  Database db_;
  HostCatalog catalog_{&db_};
  TextCodec codec_;
  WordSegmenter segmenter_;
  TextEncoding input_encoding_ = TextEncoding::kDetect;
  bool authorizing_query_ = false;
  std::map<int32_t, std::unique_ptr<Cursor>> cursors_;
  std::set<int32_t> statement_ids_;
  int32_t last_id_ = 0;
  std::string last_error_;
  std::string last_created_table_;
  int64_t conversions_ = 0;
  std::function<void(int64_t, int64_t)> record_observer_;
  std::function<void(int64_t)> conversion_observer_;
};

}  // namespace vocs::host

#endif  // VOCS_HOST_EMBEDDED_HOST_H_
