#include "host/embedded_host.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cstring>
#include <map>
#include <utility>

#include "host/tagged_record_reader.h"
#include "vocs/errors.h"

namespace vocs::host {

namespace {

// The SQLite declaration of a storage class.
const char* SqlType(StorageClass storage) {
  switch (storage) {
    case StorageClass::kInteger: return "INTEGER";
    case StorageClass::kReal: return "REAL";
    case StorageClass::kText: break;
  }
  return "TEXT";
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const unsigned char x = static_cast<unsigned char>(a[i]);
    const unsigned char y = static_cast<unsigned char>(b[i]);
    if (x != y && (x >= 0x80 || y >= 0x80 || std::tolower(x) != std::tolower(y))) return false;
  }
  return true;
}

std::string_view Trim(std::string_view s) {
  const char* kSpace = " \t\r\n";
  const size_t first = s.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(kSpace) - first + 1);
}

// A GBK text shown in a message: UTF-8, at most about 160 characters.
std::string Shown(TextCodec* codec, std::string_view gbk) {
  std::string utf8;
  icu::UnicodeString text = codec->DecodeGbk(gbk);
  if (text.length() > 160) {
    text.truncate(160);
    text.append(icu::UnicodeString(u"..."));
  }
  text.toUTF8String(utf8);
  return utf8;
}

template <typename T>
bool ParseNumber(std::string_view text, T* out) {
  text = Trim(text);
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *out);
  return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

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
  int32_t position = -1;  // record the statement stands on; -1 before the first
  std::vector<std::string> columns;
  int32_t cached_field = -1;
  int32_t cached_record = -1;
  std::string cached_value;
  int32_t reported_record = -1;
};

std::unique_ptr<EmbeddedHost> EmbeddedHost::Open(const std::string& path, std::string* error) {
  std::unique_ptr<EmbeddedHost> host(new EmbeddedHost());
  if (!host->db_.Open(path)) {
    *error = "cannot open the database " + path + ": " + host->db_.error();
    return nullptr;
  }
  if (!host->catalog_.EnsureSchema()) {
    *error = "cannot prepare the catalogue in " + path + ": " + host->db_.error();
    return nullptr;
  }
  sqlite3_set_authorizer(host->db_.handle(), &EmbeddedHost::Authorize, host.get());
  return host;
}

EmbeddedHost::EmbeddedHost() = default;

EmbeddedHost::~EmbeddedHost() {
  cursors_.clear();  // statements go before the connection
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

void EmbeddedHost::set_record_observer(std::function<void(int64_t, int64_t)> observer) {
  std::lock_guard lock(mutex_);
  record_observer_ = std::move(observer);
}

void EmbeddedHost::set_conversion_observer(std::function<void(int64_t)> observer) {
  std::lock_guard lock(mutex_);
  conversion_observer_ = std::move(observer);
}

std::string EmbeddedHost::last_error() const {
  std::lock_guard lock(mutex_);
  return last_error_;
}

void EmbeddedHost::clear_last_error() {
  std::lock_guard lock(mutex_);
  last_error_.clear();
}

std::string EmbeddedHost::last_created_table() const {
  std::lock_guard lock(mutex_);
  return last_created_table_;
}

size_t EmbeddedHost::open_handles() const {
  std::lock_guard lock(mutex_);
  return cursors_.size() + statement_ids_.size();
}

int32_t EmbeddedHost::Refuse(int32_t code, std::string message) {
  last_error_ = std::move(message);
  return code;
}

int32_t EmbeddedHost::NextId() {
  // Ids stay above 0; after 2^31 handles they start over, skipping any still
  // open.
  do {
    last_id_ = last_id_ == INT32_MAX ? 1 : last_id_ + 1;
  } while (cursors_.count(last_id_) != 0 || statement_ids_.count(last_id_) != 0);
  return last_id_;
}

bool EmbeddedHost::TableNameFromModule(const char* gbk, std::string* utf8) {
  if (gbk == nullptr) {
    last_error_ = "no table name";
    return false;
  }
  if (!codec_.GbkToUtf8(gbk, utf8)) {
    last_error_ = "the table name \"" + Shown(&codec_, gbk) + "\" is not GBK text";
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
    if (text == nullptr) return Refuse(VOCS_E_BAD_ARGUMENT, "runStatement without a text");
    if (flag == 0) return OpenQuery(text, handle);
    if (flag == 1) return RunModuleStatement(text, handle);
    return Refuse(VOCS_E_BAD_ARGUMENT, "runStatement with the unknown flag " + std::to_string(flag));
  } catch (...) {
    return VOCS_E_BAD_ARGUMENT;
  }
}

int32_t EmbeddedHost::OpenQuery(std::string_view gbk_text, ResultHandle* handle) {
  std::string sql;
  size_t bad = 0;
  if (!codec_.GbkToUtf8(gbk_text, &sql, &bad)) {
    return Refuse(VOCS_E_QUERY_NOT_OPENED,
                  "the query is not GBK text (byte " + std::to_string(bad) + ")");
  }
  const std::string shown = Shown(&codec_, gbk_text);
  if (Trim(sql).empty()) return Refuse(VOCS_E_QUERY_NOT_OPENED, "the query is empty");

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
  if (!Trim(tail).empty() && Trim(tail) != ";") {
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
  int64_t count = 0;
  for (bool row = true;;) {
    if (!cursor->stmt.Step(&row)) {
      return Refuse(VOCS_E_QUERY_NOT_OPENED, "query failed: " + db_.error() + ": " + shown);
    }
    if (!row) break;
    if (++count > INT32_MAX) {
      return Refuse(VOCS_E_QUERY_NOT_OPENED, "query refused: more than 2^31 records: " + shown);
    }
  }
  cursor->stmt.Reset();
  cursor->count = static_cast<int32_t>(count);
  const int32_t id = NextId();
  cursors_[id] = std::move(cursor);
  *handle = ResultHandle{id, static_cast<int32_t>(count), 0};
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

bool EmbeddedHost::MoveTo(Cursor* cursor, int32_t record) {
  if (cursor->position > record) {
    cursor->stmt.Reset();
    cursor->position = -1;
  }
  while (cursor->position < record) {
    bool row = false;
    if (!cursor->stmt.Step(&row) || !row) {
      cursor->stmt.Reset();
      cursor->position = -1;
      last_error_ = row ? db_.error()
                        : "the query result changed while it was read: record " +
                              std::to_string(record) + " is gone";
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
      if (!MoveTo(cursor, record)) return VOCS_E_BAD_ARGUMENT;
      std::string value = cursor->stmt.ColumnBytes(field);
      if (cursor->stmt.ColumnType(field) == SQLITE_TEXT) {
        value = codec_.Utf8ToGbkSubstituting(value);
      }
      cursor->cached_value = std::move(value);
      cursor->cached_field = field;
      cursor->cached_record = record;
    }
    if (record != cursor->reported_record) {
      cursor->reported_record = record;
      if (record_observer_) record_observer_(record + 1, cursor->count);
    }
    return DeliverText(cursor->cached_value, buffer, length);
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
    if (name == nullptr || !codec_.GbkToUtf8(name, &utf8)) {
      return Refuse(VOCS_E_BAD_ARGUMENT, "resolveField: the field name is not GBK text");
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
    if (source == nullptr || destination == nullptr || length == nullptr) {
      return Refuse(VOCS_E_BAD_ARGUMENT, "convertText without a source or destination");
    }
    const std::string words = segmenter_.Convert(source, input_encoding_);
    ++conversions_;
    if (conversion_observer_) conversion_observer_(conversions_);
    const int32_t result = DeliverText(words, destination, length);
    if (result != 0) {
      last_error_ = "convertText: the converted text needs " + std::to_string(*length) +
                    " bytes, the destination holds fewer";
    }
    return result;
  } catch (...) {
    return VOCS_E_BAD_ARGUMENT;
  }
}

// ---------------------------------------------------------------------------
// Field descriptions.

int32_t EmbeddedHost::getFieldCount(const char* table_name) noexcept {
  try {
    std::lock_guard lock(mutex_);
    std::string name;
    if (!TableNameFromModule(table_name, &name)) return 0;
    CatalogTable table;
    bool found = false;
    if (!catalog_.Find(name, &table, &found)) return Refuse(0, db_.error());
    if (!found) return Refuse(0, "getFieldCount: " + name + " is not a result table");
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
    std::string name;
    if (!TableNameFromModule(table_name, &name)) return VOCS_E_BAD_ARGUMENT;
    CatalogTable table;
    bool found = false;
    if (!catalog_.Find(name, &table, &found)) return Refuse(VOCS_E_BAD_ARGUMENT, db_.error());
    if (!found) return Refuse(VOCS_E_BAD_ARGUMENT, name + " is not a result table");
    const size_t room = static_cast<size_t>(*size_in_bytes) / VOCS_FIELD_DESCRIPTOR_SIZE;
    const size_t n = std::min(room, table.columns.size());
    auto* out = static_cast<unsigned char*>(descriptors);
    for (size_t i = 0; i < n; ++i) {
      unsigned char* record = out + i * VOCS_FIELD_DESCRIPTOR_SIZE;
      std::memset(record, 0, VOCS_FIELD_DESCRIPTOR_SIZE);
      const CatalogColumn& column = table.columns[i];
      // Names were checked to fit when the table was made (kMaxNameLength).
      std::string gbk = codec_.Utf8ToGbkSubstituting(column.spec.name);
      gbk.resize(std::min<size_t>(gbk.size(), VOCS_FIELD_DESCRIPTOR_NAME_SIZE - 1));
      std::memcpy(record, gbk.data(), gbk.size());
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

int32_t EmbeddedHost::RunModuleStatement(std::string_view gbk_text, ResultHandle* handle) {
  // DROP TABLE cannot run while a query stands on a record; the cursors
  // step back to their record when next read.
  ResetCursors();
  HostStatement statement;
  std::string error;
  if (!ParseHostStatement(gbk_text, &codec_, &statement, &error)) {
    return Refuse(VOCS_E_BAD_ARGUMENT,
                  "statement refused: " + error + ": " + Shown(&codec_, gbk_text));
  }
  int64_t rows = 0;
  bool ok = false;
  switch (statement.kind) {
    case HostStatement::Kind::kCreateTable: ok = CreateTable(statement, &error); break;
    case HostStatement::Kind::kDropTable: ok = DropTable(statement, &error); break;
    case HostStatement::Kind::kBulkLoad: ok = BulkLoad(statement, &rows, &error); break;
    case HostStatement::Kind::kAlterColumn: ok = AlterColumn(statement, &error); break;
    case HostStatement::Kind::kIndex: ok = IndexTable(statement, &error); break;
  }
  if (!ok) {
    return Refuse(VOCS_E_BAD_ARGUMENT,
                  "statement failed: " + error + ": " + Shown(&codec_, gbk_text));
  }
  const int32_t id = NextId();
  statement_ids_.insert(id);
  *handle = ResultHandle{id, static_cast<int32_t>(std::min<int64_t>(rows, INT32_MAX)), 0};
  return 0;
}

bool EmbeddedHost::FindResultTable(const std::string& name, CatalogTable* table,
                                   std::string* error) {
  bool found = false;
  if (!catalog_.Find(name, table, &found)) {
    *error = db_.error();
    return false;
  }
  if (!found) {
    *error = db_.TableExists(name)
                 ? "\"" + name + "\" is not a result table (only tables made by CREATE TABLE "
                                 "statements are changed by statements)"
                 : "there is no table \"" + name + "\"";
    return false;
  }
  return true;
}

bool EmbeddedHost::CreateTable(const HostStatement& statement, std::string* error) {
  const std::string& name = statement.table;
  if (HostCatalog::IsReservedName(name)) {
    *error = "the table name \"" + name + "\" is reserved";
    return false;
  }
  if (db_.TableExists(name)) {
    *error = "a table \"" + name + "\" exists already";
    return false;
  }
  for (size_t i = 0; i < statement.columns.size(); ++i) {
    for (size_t j = 0; j < i; ++j) {
      if (SameName(statement.columns[i].name, statement.columns[j].name)) {
        *error = "the column \"" + statement.columns[i].name + "\" is declared twice";
        return false;
      }
    }
  }
  Transaction transaction(&db_);
  if (!transaction.started()) {
    *error = db_.error();
    return false;
  }
  // A catalogue entry whose table was dropped behind the host's back is stale.
  if (!catalog_.Remove(name)) {
    *error = db_.error();
    return false;
  }
  CatalogTable table;
  table.name = name;
  table.path = statement.path;
  std::string sql = "CREATE TABLE " + QuoteIdentifier(name) + " (";
  for (size_t i = 0; i < statement.columns.size(); ++i) {
    const ColumnSpec& spec = statement.columns[i];
    sql += (i == 0 ? "" : ", ") + QuoteIdentifier(spec.name) + " " + SqlType(spec.storage);
    CatalogColumn column;
    column.position = static_cast<int32_t>(i);
    column.spec = spec;
    table.columns.push_back(std::move(column));
  }
  sql += ")";
  if (!db_.Execute(sql.c_str()) || !catalog_.Insert(table) || !transaction.Commit()) {
    *error = db_.error();
    return false;
  }
  last_created_table_ = name;
  return true;
}

bool EmbeddedHost::DropTable(const HostStatement& statement, std::string* error) {
  CatalogTable table;
  if (!FindResultTable(statement.table, &table, error)) return false;
  Transaction transaction(&db_);
  const std::string sql = "DROP TABLE IF EXISTS " + QuoteIdentifier(table.name);
  if (!transaction.started() || !db_.Execute(sql.c_str()) || !catalog_.Remove(table.name) ||
      !transaction.Commit()) {
    *error = db_.error();
    return false;
  }
  return true;
}

bool EmbeddedHost::BulkLoad(const HostStatement& statement, int64_t* rows, std::string* error) {
  CatalogTable table;
  if (!FindResultTable(statement.table, &table, error)) return false;
  if (table.columns.empty()) {
    *error = "the table \"" + table.name + "\" has no columns";
    return false;
  }
  Transaction transaction(&db_);
  if (!transaction.started()) {
    *error = db_.error();
    return false;
  }
  std::string sql = "INSERT INTO " + QuoteIdentifier(table.name) + " (";
  std::string values;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    sql += (i == 0 ? "" : ", ") + QuoteIdentifier(table.columns[i].spec.name);
    values += (i == 0 ? "?" : ", ?") + std::to_string(i + 1);
  }
  sql += ") VALUES (" + values + ")";
  Statement insert;
  if (!db_.Prepare(sql, &insert)) {
    *error = db_.error();
    return false;
  }

  std::map<std::string, size_t> tag_columns;  // GBK tag -> column position
  const auto column_of_tag = [&](const std::string& tag, size_t* position) {
    if (const auto it = tag_columns.find(tag); it != tag_columns.end()) {
      *position = it->second;
      return true;
    }
    std::string utf8;
    if (!codec_.GbkToUtf8(tag, &utf8)) return false;
    for (size_t i = 0; i < table.columns.size(); ++i) {
      if (SameName(utf8, table.columns[i].spec.name)) {
        tag_columns.emplace(tag, i);
        *position = i;
        return true;
      }
    }
    return false;
  };

  const auto sink = [&](const std::vector<TaggedField>& fields, int64_t line,
                        std::string* message) {
    const std::string where = "the record at line " + std::to_string(line);
    insert.Reset();  // unbound columns stay NULL
    for (const TaggedField& field : fields) {
      size_t position = 0;
      if (!column_of_tag(field.tag, &position)) {
        *message = where + " has the tag <" + Shown(&codec_, field.tag) +
                   ">, which is no column of \"" + table.name + "\"";
        return false;
      }
      const ColumnSpec& spec = table.columns[position].spec;
      const int index = static_cast<int>(position) + 1;
      const std::string_view value = field.value;
      if (spec.storage != StorageClass::kText && Trim(value).empty()) {
        insert.BindNull(index);
        continue;
      }
      switch (spec.storage) {
        case StorageClass::kText: {
          std::string utf8;
          if (!codec_.GbkToUtf8(value, &utf8)) {
            *message = where + ": the value of <" + spec.name + "> is not GBK text";
            return false;
          }
          insert.BindText(index, utf8);
          break;
        }
        case StorageClass::kInteger: {
          int64_t number = 0;
          if (!ParseNumber(value, &number)) {
            *message = where + ": <" + spec.name + "> is no integer: \"" +
                       Shown(&codec_, value) + "\"";
            return false;
          }
          insert.BindInt64(index, number);
          break;
        }
        case StorageClass::kReal: {
          double number = 0;
          if (!ParseNumber(value, &number)) {
            *message = where + ": <" + spec.name + "> is no number: \"" +
                       Shown(&codec_, value) + "\"";
            return false;
          }
          insert.BindDouble(index, number);
          break;
        }
      }
    }
    if (!insert.Run()) {
      *message = where + ": " + db_.error();
      return false;
    }
    return true;
  };

  std::string read_error;
  if (!ReadTaggedRecords(statement.path, sink, rows, &read_error)) {
    *error = "nothing of " + Shown(&codec_, statement.path) + " was loaded: " + read_error;
    return false;
  }
  if (!transaction.Commit()) {
    *error = db_.error();
    return false;
  }
  return true;
}

bool EmbeddedHost::AlterColumn(const HostStatement& statement, std::string* error) {
  CatalogTable table;
  if (!FindResultTable(statement.table, &table, error)) return false;
  const ColumnSpec& spec = statement.columns.front();
  const CatalogColumn* column = nullptr;
  for (const CatalogColumn& candidate : table.columns) {
    if (SameName(candidate.spec.name, statement.column)) column = &candidate;
  }
  if (column == nullptr) {
    *error = "the table \"" + table.name + "\" has no column \"" + statement.column + "\"";
    return false;
  }
  if (!SameName(spec.name, statement.column)) {
    *error = "renaming a column (\"" + statement.column + "\" AS \"" + spec.name +
             "\") is not supported";
    return false;
  }
  Transaction transaction(&db_);
  if (!transaction.started() || !catalog_.UpdateColumn(column->id, spec, statement.attribute) ||
      !transaction.Commit()) {
    *error = db_.error();
    return false;
  }
  return true;
}

bool EmbeddedHost::IndexTable(const HostStatement& statement, std::string* error) {
  CatalogTable table;
  if (!FindResultTable(statement.table, &table, error)) return false;
  Transaction transaction(&db_);
  if (!transaction.started()) {
    *error = db_.error();
    return false;
  }
  Statement owner;
  if (!db_.Prepare("SELECT tbl_name FROM sqlite_schema WHERE type = 'index' AND name = ?1",
                   &owner)) {
    *error = db_.error();
    return false;
  }
  for (const CatalogColumn& column : table.columns) {
    const std::string index_name =
        "vocs_idx_" + table.name + "_" + std::to_string(column.position);
    owner.Reset();
    owner.BindText(1, index_name);
    bool row = false;
    if (!owner.Step(&row)) {
      *error = db_.error();
      return false;
    }
    if (row && !SameName(owner.ColumnBytes(0), table.name)) {
      *error = "the index name \"" + index_name + "\" belongs to another table";
      return false;
    }
    owner.Reset();
    const std::string sql = "CREATE INDEX IF NOT EXISTS " + QuoteIdentifier(index_name) + " ON " +
                            QuoteIdentifier(table.name) + " (" +
                            QuoteIdentifier(column.spec.name) + ")";
    if (!db_.Execute(sql.c_str())) {
      *error = db_.error();
      return false;
    }
  }
  if (!transaction.Commit()) {
    *error = db_.error();
    return false;
  }
  return true;
}

}  // namespace vocs::host
