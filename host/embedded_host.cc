#include "host/embedded_host.h"

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <map>
#include <utility>

#include "vocs/errors.h"

namespace vocs::host {

namespace {

// A field value above this size is dropped once delivered (see readField).
constexpr size_t kLargeValueBytes = size_t{1} << 20;

// Copies text and a 0 byte into a destination of *length bytes, or answers
// VOCS_HOST_BUFFER_TOO_SMALL with the size needed.
int32_t DeliverText(std::string_view text, char* destination, int32_t* length) {
  if (text.size() + 1 > static_cast<size_t>(INT32_MAX)) return VOCS_E_BAD_ARGUMENT;
  const int32_t needed = static_cast<int32_t>(text.size() + 1);
  if (*length < needed) {
    *length = needed;
    return VOCS_HOST_BUFFER_TOO_SMALL;
  }
  if (!text.empty()) std::memcpy(destination, text.data(), text.size());
  destination[text.size()] = '\0';
  *length = static_cast<int32_t>(text.size());
  return 0;
}

}  // namespace

// An opened query: its statement, the record it stands on, and the value
// last delivered (a -1107 answer is followed by the same request).
struct EmbeddedHost::Cursor {
  Statement stmt;
  int32_t count = 0;
  int32_t first = 0;      // the query's record shown as record 0 (a shard's start)
  int32_t position = -1;  // record the statement stands on; -1 before the first
  std::vector<std::string> columns;
  int32_t cached_field = -1;
  int32_t cached_record = -1;
  std::string cached_value;
  int32_t reported_record = -1;
};

std::unique_ptr<EmbeddedHost> EmbeddedHost::Open(const std::string& path, std::string* error,
                                                  Database::OpenMode mode) {
  std::unique_ptr<EmbeddedHost> host(new EmbeddedHost());
  if (!host->db_.Open(path, mode)) {
    *error = "cannot open the database " + path + ": " + host->db_.error();
    return nullptr;
  }
  if (!host->catalog_.EnsureSchema()) {
    *error = "cannot prepare the catalogue in " + path + ": " + host->db_.error();
    return nullptr;
  }
  if (path != ":memory:") {
    host->locks_ = TableLockFile::Open(path, error);
    if (host->locks_ == nullptr) return nullptr;
  }
  host->tables_ = std::make_unique<ResultTables>(&host->db_, &host->catalog_, host->locks_.get(),
                                                 &host->codec_);
  host->tables_->set_owner("process " + std::to_string(::getpid()));
  host->tables_->set_interrupt_flag(&host->interrupted_);
  if (!host->tables_->SweepStaleBuilds(error)) return nullptr;
  sqlite3_set_authorizer(host->db_.handle(), &EmbeddedHost::Authorize, host.get());
  return host;
}

EmbeddedHost::EmbeddedHost() = default;

EmbeddedHost::~EmbeddedHost() {
  cursors_.clear();  // statements go before the connection
  if (tables_ != nullptr) tables_->Abandon(/*all_threads=*/true);
  if (db_.is_open()) sqlite3_set_authorizer(db_.handle(), nullptr, nullptr);
}

int EmbeddedHost::Authorize(void* self, int action, const char*, const char*, const char*,
                            const char*) {
  if (!static_cast<EmbeddedHost*>(self)->authorizing_query_) return SQLITE_OK;
  switch (action) {
    case SQLITE_SELECT:
    case SQLITE_READ:
    case SQLITE_FUNCTION:
    case SQLITE_RECURSIVE:
      return SQLITE_OK;
    default:
      return SQLITE_DENY;
  }
}

void EmbeddedHost::set_input_encoding(TextEncoding encoding) {
  std::lock_guard lock(mutex_);
  input_encoding_ = encoding;
}

void EmbeddedHost::set_owner(std::string owner) {
  std::lock_guard lock(mutex_);
  tables_->set_owner(std::move(owner));
}

void EmbeddedHost::set_record_observer(std::function<void(int64_t, int64_t)> observer) {
  std::lock_guard lock(mutex_);
  record_observer_ = std::move(observer);
}

void EmbeddedHost::set_conversion_observer(std::function<void(int64_t)> observer) {
  std::lock_guard lock(mutex_);
  conversion_observer_ = std::move(observer);
}

void EmbeddedHost::set_table_observer(TableObserver observer) {
  std::lock_guard lock(mutex_);
  tables_->set_observer(std::move(observer));
}

void EmbeddedHost::Interrupt() {
  interrupted_.store(true);
  db_.Interrupt();
}

void EmbeddedHost::AbandonTables() {
  std::lock_guard lock(mutex_);
  ResetCursors();
  tables_->Abandon(/*all_threads=*/false);
}

bool EmbeddedHost::AbandonAllTables(std::chrono::milliseconds patience) {
  std::unique_lock lock(mutex_, std::defer_lock);
  if (!lock.try_lock_for(patience)) return false;
  cursors_.clear();
  tables_->Abandon(/*all_threads=*/true);
  return true;
}

EmbeddedHost::ThreadState& EmbeddedHost::Current() { return threads_[std::this_thread::get_id()]; }

std::string EmbeddedHost::last_error() const {
  std::lock_guard lock(mutex_);
  const auto it = threads_.find(std::this_thread::get_id());
  return it == threads_.end() ? std::string() : it->second.last_error;
}

void EmbeddedHost::clear_last_error() {
  std::lock_guard lock(mutex_);
  Current().last_error.clear();
}

HostReport EmbeddedHost::TakeReport() {
  std::lock_guard lock(mutex_);
  return std::exchange(Current().report, HostReport{});
}

size_t EmbeddedHost::open_handles() const {
  std::lock_guard lock(mutex_);
  return cursors_.size() + statement_ids_.size();
}

int32_t EmbeddedHost::Refuse(int32_t code, std::string message) {
  Current().last_error = std::move(message);
  return code;
}

bool EmbeddedHost::RefuseInterrupted(int32_t* code) {
  if (!interrupted_.load(std::memory_order_relaxed)) return false;
  *code = Refuse(VOCS_E_BAD_ARGUMENT, "interrupted");
  return true;
}

int32_t EmbeddedHost::NextId() {
  // Ids stay above 0; after 2^31 handles they start over, skipping any still
  // open.
  do {
    last_id_ = last_id_ == INT32_MAX ? 1 : last_id_ + 1;
  } while (cursors_.count(last_id_) != 0 || statement_ids_.count(last_id_) != 0);
  return last_id_;
}

bool EmbeddedHost::TableNameFromModule(const char* text, std::string* utf8) {
  if (text == nullptr) {
    Current().last_error = "no table name";
    return false;
  }
  if (!codec_.Gb18030ToUtf8(text, utf8)) {
    Current().last_error = "the table name \"" + codec_.Shown(text) + "\" is not GB18030 text";
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Queries.

int32_t EmbeddedHost::runStatement(const char* text, int32_t flag, ResultHandle* handle) noexcept {
  try {
    std::lock_guard lock(mutex_);
    if (handle == nullptr) return Refuse(VOCS_E_BAD_ARGUMENT, "runStatement without a handle");
    *handle = ResultHandle{-1, 0, 0};
    if (int32_t code = 0; RefuseInterrupted(&code)) return code;
    if (text == nullptr) return Refuse(VOCS_E_BAD_ARGUMENT, "runStatement without a text");
    if (flag == 0) return OpenQuery(text, handle);
    if (flag == 1) return RunModuleStatement(text, handle);
    return Refuse(VOCS_E_BAD_ARGUMENT, "runStatement with the unknown flag " + std::to_string(flag));
  } catch (...) {
    return VOCS_E_BAD_ARGUMENT;
  }
}

int32_t EmbeddedHost::OpenQuery(std::string_view text, ResultHandle* handle) {
  std::string sql;
  size_t bad = 0;
  if (!codec_.Gb18030ToUtf8(text, &sql, &bad)) {
    return Refuse(VOCS_E_QUERY_NOT_OPENED,
                  "the query is not GB18030 text (byte " + std::to_string(bad) + ")");
  }
  const std::string shown = codec_.Shown(text);
  if (TrimSpace(sql).empty()) return Refuse(VOCS_E_QUERY_NOT_OPENED, "the query is empty");

  auto cursor = std::make_unique<Cursor>();
  std::string_view tail;
  authorizing_query_ = true;
  const bool prepared = db_.Prepare(sql, &cursor->stmt, &tail);
  authorizing_query_ = false;
  if (!prepared) {
    return Refuse(VOCS_E_QUERY_NOT_OPENED,
                  "query refused: " + db_.error() + " (only one read-only SELECT is accepted): " +
                      shown);
  }
  if (!TrimSpace(tail).empty() && TrimSpace(tail) != ";") {
    return Refuse(VOCS_E_QUERY_NOT_OPENED, "query refused: more than one statement: " + shown);
  }
  if (!cursor->stmt.ReadOnly()) {
    return Refuse(VOCS_E_QUERY_NOT_OPENED, "query refused: it would change the database: " + shown);
  }
  if (cursor->stmt.ColumnCount() == 0) {
    return Refuse(VOCS_E_QUERY_NOT_OPENED, "query refused: it returns no columns: " + shown);
  }
  for (int i = 0; i < cursor->stmt.ColumnCount(); ++i) {
    cursor->columns.push_back(cursor->stmt.ColumnName(i));
  }
  // The record count is needed before the first record is read.
  int64_t count = query_records_;
  if (count < 0) {
    count = 0;
    for (bool row = true;;) {
      if (!cursor->stmt.Step(&row)) {
        return Refuse(VOCS_E_QUERY_NOT_OPENED, "query failed: " + db_.error() + ": " + shown);
      }
      if (!row || ++count > INT32_MAX) break;
    }
    cursor->stmt.Reset();
  }
  if (count > INT32_MAX) {
    return Refuse(VOCS_E_QUERY_NOT_OPENED, "query refused: more than 2^31 records: " + shown);
  }
  const int64_t first = count * (shard_ - 1) / shards_;
  cursor->first = static_cast<int32_t>(first);
  cursor->count = static_cast<int32_t>(count * shard_ / shards_ - first);
  const int32_t id = NextId();
  const int32_t records = cursor->count;
  cursors_[id] = std::move(cursor);
  *handle = ResultHandle{id, records, 0};
  Current().report.query_records.push_back(count);
  return 0;
}

EmbeddedHost::Cursor* EmbeddedHost::FindCursor(const ResultHandle& handle) {
  const auto it = cursors_.find(handle.id);
  return it == cursors_.end() ? nullptr : it->second.get();
}

void EmbeddedHost::ResetCursors() {
  for (auto& [id, cursor] : cursors_) {
    cursor->stmt.Reset();
    cursor->position = -1;
  }
}

bool EmbeddedHost::MoveTo(Cursor* cursor, int32_t record, bool* failed_query) {
  if (cursor->position > record) {
    cursor->stmt.Reset();
    cursor->position = -1;
  }
  while (cursor->position < record) {
    bool row = false;
    const bool stepped = cursor->stmt.Step(&row);
    if (!stepped || !row) {
      Current().last_error = !stepped ? "query failed: " + db_.error()
                                      : "the query result changed while it was read: record " +
                                            std::to_string(record) + " is gone";
      cursor->stmt.Reset();
      cursor->position = -1;
      *failed_query = !stepped;
      return false;
    }
    ++cursor->position;
  }
  return true;
}

int32_t EmbeddedHost::readField(ResultHandle handle, int32_t field, int32_t record, char* buffer,
                                int32_t* length, int32_t, int32_t) noexcept {
  try {
    std::lock_guard lock(mutex_);
    if (int32_t code = 0; RefuseInterrupted(&code)) return code;
    Cursor* cursor = FindCursor(handle);
    if (cursor == nullptr) {
      return Refuse(VOCS_E_BAD_ARGUMENT, "readField: no open query " + std::to_string(handle.id));
    }
    if (buffer == nullptr || length == nullptr) {
      return Refuse(VOCS_E_BAD_ARGUMENT, "readField without a buffer");
    }
    if (field < 0 || field >= static_cast<int32_t>(cursor->columns.size())) {
      return Refuse(VOCS_E_BAD_ARGUMENT, "readField: the query has no field " +
                                             std::to_string(field));
    }
    if (record < 0 || record >= cursor->count) {
      return Refuse(VOCS_E_BAD_ARGUMENT, "readField: the query has no record " +
                                             std::to_string(record));
    }
    if (cursor->cached_field != field || cursor->cached_record != record) {
      // A query that fails at a record (which a shard told the record count
      // meets only when it reads there) fails as a query, as at its opening.
      bool failed_query = false;
      if (!MoveTo(cursor, cursor->first + record, &failed_query)) {
        return failed_query ? VOCS_E_QUERY_NOT_OPENED : VOCS_E_BAD_ARGUMENT;
      }
      // Converted straight from SQLite's copy of the value.
      const bool is_text = cursor->stmt.ColumnType(field) == SQLITE_TEXT;
      const std::string_view stored = cursor->stmt.ColumnView(field);
      if (is_text) {
        cursor->cached_value =
            codec_.Utf8ToGb18030Replacing(stored, &Current().report.replaced_characters);
      } else {
        cursor->cached_value.assign(stored);
      }
      cursor->cached_field = field;
      cursor->cached_record = record;
    }
    if (record != cursor->reported_record) {
      cursor->reported_record = record;
      if (record_observer_) record_observer_(record + 1, cursor->count);
    }
    const int32_t result = DeliverText(cursor->cached_value, buffer, length);
    if (result == 0 && cursor->cached_value.size() > kLargeValueBytes) {
      // A large value, once delivered, is not held beside the caller's copy.
      std::string().swap(cursor->cached_value);
      cursor->cached_field = -1;
      cursor->cached_record = -1;
    }
    return result;
  } catch (...) {
    return VOCS_E_BAD_ARGUMENT;
  }
}

int32_t EmbeddedHost::resolveField(ResultHandle handle, const char* name, int32_t) noexcept {
  try {
    std::lock_guard lock(mutex_);
    Cursor* cursor = FindCursor(handle);
    if (cursor == nullptr) {
      return Refuse(VOCS_E_BAD_ARGUMENT, "resolveField: no open query " + std::to_string(handle.id));
    }
    std::string utf8;
    if (name == nullptr || !codec_.Gb18030ToUtf8(name, &utf8)) {
      return Refuse(VOCS_E_BAD_ARGUMENT, "resolveField: the field name is not GB18030 text");
    }
    const icu::UnicodeString wanted = TextCodec::DecodeUtf8(utf8);
    std::string names;
    for (size_t i = 0; i < cursor->columns.size(); ++i) {
      if (TextCodec::DecodeUtf8(cursor->columns[i]).caseCompare(wanted, U_FOLD_CASE_DEFAULT) == 0) {
        return static_cast<int32_t>(i);
      }
      names += (i == 0 ? "" : ", ") + cursor->columns[i];
    }
    return Refuse(VOCS_E_BAD_ARGUMENT,
                  "the query result has no column \"" + utf8 + "\" (its columns: " + names + ")");
  } catch (...) {
    return VOCS_E_BAD_ARGUMENT;
  }
}

int32_t EmbeddedHost::closeResult(ResultHandle handle) noexcept {
  try {
    std::lock_guard lock(mutex_);
    if (cursors_.erase(handle.id) != 0 || statement_ids_.erase(handle.id) != 0) return 0;
    return Refuse(VOCS_E_BAD_ARGUMENT, "closeResult: no open handle " + std::to_string(handle.id));
  } catch (...) {
    return VOCS_E_BAD_ARGUMENT;
  }
}

int32_t EmbeddedHost::convertText(const char* source, char* destination, int32_t* length) noexcept {
  try {
    std::lock_guard lock(mutex_);
    if (int32_t code = 0; RefuseInterrupted(&code)) return code;
    if (source == nullptr || destination == nullptr || length == nullptr) {
      return Refuse(VOCS_E_BAD_ARGUMENT, "convertText without a source or destination");
    }
    const int64_t replaced_before = segmenter_.replaced();
    // The words go straight into the destination, piece by piece, so that a
    // long text is never held converted a second time; past the room
    // offered they are only counted, to tell the size needed.
    const size_t room = *length > 0 ? static_cast<size_t>(*length) : 0;
    size_t size = 0;
    bool fits = true;
    segmenter_.ConvertInPieces(source, input_encoding_, [&](std::string_view piece) {
      fits = fits && size + piece.size() < room;
      if (fits) std::memcpy(destination + size, piece.data(), piece.size());
      size += piece.size();
    });
    fits = fits && size < room;  // the 0 byte
    Current().report.replaced_characters += segmenter_.replaced() - replaced_before;
    ++conversions_;
    if (conversion_observer_) conversion_observer_(conversions_);
    int32_t result = 0;
    if (size + 1 > static_cast<size_t>(INT32_MAX)) {
      result = VOCS_E_BAD_ARGUMENT;
    } else if (!fits) {
      *length = static_cast<int32_t>(size + 1);
      result = VOCS_HOST_BUFFER_TOO_SMALL;
    } else {
      destination[size] = '\0';
      *length = static_cast<int32_t>(size);
    }
    if (result != 0) {
      Current().last_error = "convertText: the converted text needs " + std::to_string(*length) +
                             " bytes, the destination holds fewer";
    }
    return result;
  } catch (...) {
    return VOCS_E_BAD_ARGUMENT;
  }
}

// ---------------------------------------------------------------------------
// Field descriptions. A table the calling thread is building is described
// from its shadow.

bool EmbeddedHost::FindResultTable(const char* module_name, CatalogTable* table) {
  std::string name;
  if (!TableNameFromModule(module_name, &name)) return false;
  bool found = false;
  if (!catalog_.Find(tables_->Resolve(name), table, &found)) {
    Current().last_error = db_.error();
    return false;
  }
  if (!found) Current().last_error = name + " is not a result table";
  return found;
}

int32_t EmbeddedHost::getFieldCount(const char* table_name) noexcept {
  try {
    std::lock_guard lock(mutex_);
    CatalogTable table;
    if (!FindResultTable(table_name, &table)) return 0;
    return static_cast<int32_t>(table.columns.size());
  } catch (...) {
    return 0;
  }
}

int32_t EmbeddedHost::getFieldDescriptors(const char* table_name, void* descriptors,
                                          int32_t* size_in_bytes) noexcept {
  try {
    std::lock_guard lock(mutex_);
    if (descriptors == nullptr || size_in_bytes == nullptr || *size_in_bytes < 0) {
      return Refuse(VOCS_E_BAD_ARGUMENT, "getFieldDescriptors without an array");
    }
    CatalogTable table;
    if (!FindResultTable(table_name, &table)) return VOCS_E_BAD_ARGUMENT;
    const size_t room = static_cast<size_t>(*size_in_bytes) / VOCS_FIELD_DESCRIPTOR_SIZE;
    const size_t n = std::min(room, table.columns.size());
    auto* out = static_cast<unsigned char*>(descriptors);
    for (size_t i = 0; i < n; ++i) {
      unsigned char* record = out + i * VOCS_FIELD_DESCRIPTOR_SIZE;
      std::memset(record, 0, VOCS_FIELD_DESCRIPTOR_SIZE);
      const CatalogColumn& column = table.columns[i];
      // Names were checked to fit when the table was made (kMaxNameLength).
      std::string name = codec_.Utf8ToGb18030Replacing(column.spec.name);
      name.resize(std::min<size_t>(name.size(), VOCS_FIELD_DESCRIPTOR_NAME_SIZE - 1));
      std::memcpy(record, name.data(), name.size());
      const int32_t id = static_cast<int32_t>(column.id);
      const int32_t field_length = column.spec.length;
      std::memcpy(record + VOCS_FIELD_DESCRIPTOR_ID_OFFSET, &id, sizeof id);
      std::memcpy(record + VOCS_FIELD_DESCRIPTOR_LENGTH_OFFSET, &field_length, sizeof field_length);
    }
    *size_in_bytes = static_cast<int32_t>(n * VOCS_FIELD_DESCRIPTOR_SIZE);
    return static_cast<int32_t>(n);
  } catch (...) {
    return VOCS_E_BAD_ARGUMENT;
  }
}

int32_t EmbeddedHost::getFieldTypeText(int32_t field_id, char* buffer,
                                       int32_t* buffer_size) noexcept {
  try {
    std::lock_guard lock(mutex_);
    if (buffer == nullptr || buffer_size == nullptr) {
      return Refuse(VOCS_E_BAD_ARGUMENT, "getFieldTypeText without a buffer");
    }
    CatalogColumn column;
    bool found = false;
    if (!catalog_.FindColumn(field_id, &column, &found)) {
      return Refuse(VOCS_E_BAD_ARGUMENT, db_.error());
    }
    if (!found) {
      return Refuse(VOCS_E_BAD_ARGUMENT, "getFieldTypeText: no field " + std::to_string(field_id));
    }
    const int32_t result = DeliverText(column.spec.type_text, buffer, buffer_size);
    return result == 0 ? *buffer_size : result;
  } catch (...) {
    return VOCS_E_BAD_ARGUMENT;
  }
}

// ---------------------------------------------------------------------------
// Module statements.

int32_t EmbeddedHost::RunModuleStatement(std::string_view text, ResultHandle* handle) {
  // DROP TABLE cannot run while a query stands on a record; the cursors
  // step back to their record when next read.
  ResetCursors();
  HostStatement statement;
  std::string error;
  if (!ParseHostStatement(text, &codec_, &statement, &error)) {
    return Refuse(VOCS_E_BAD_ARGUMENT, "statement refused: " + error + ": " + codec_.Shown(text));
  }
  int64_t rows = 0;
  FinishedTable finished;
  bool did_finish = false;
  if (!tables_->Run(statement, &rows, &finished, &did_finish, &error)) {
    if (interrupted_.load()) error = "interrupted";
    return Refuse(VOCS_E_BAD_ARGUMENT, "statement failed: " + error + ": " + codec_.Shown(text));
  }
  if (did_finish) Current().report.tables.push_back(finished);
  const int32_t id = NextId();
  statement_ids_.insert(id);
  *handle = ResultHandle{id, static_cast<int32_t>(std::min<int64_t>(rows, INT32_MAX)), 0};
  return 0;
}

}  // namespace vocs::host
