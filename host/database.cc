#include "host/database.h"

#include <sqlite3.h>

#include <utility>

namespace vocs::host {

std::string QuoteIdentifier(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

Statement::~Statement() {
  if (stmt_ != nullptr) sqlite3_finalize(stmt_);
}

Statement::Statement(Statement&& other) noexcept
    : stmt_(std::exchange(other.stmt_, nullptr)), db_(other.db_) {}

Statement& Statement::operator=(Statement&& other) noexcept {
  if (this != &other) {
    if (stmt_ != nullptr) sqlite3_finalize(stmt_);
    stmt_ = std::exchange(other.stmt_, nullptr);
    db_ = other.db_;
  }
  return *this;
}

void Statement::BindText(int index, std::string_view text) {
  sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

void Statement::BindBlob(int index, std::string_view bytes) {
  sqlite3_bind_blob64(stmt_, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT);
}

void Statement::BindInt64(int index, int64_t value) { sqlite3_bind_int64(stmt_, index, value); }

void Statement::BindDouble(int index, double value) { sqlite3_bind_double(stmt_, index, value); }

void Statement::BindNull(int index) { sqlite3_bind_null(stmt_, index); }

bool Statement::Step(bool* row) {
  const int rc = sqlite3_step(stmt_);
  *row = rc == SQLITE_ROW;
  if (rc == SQLITE_ROW || rc == SQLITE_DONE) return true;
  db_->CaptureError();
  sqlite3_reset(stmt_);
  return false;
}

bool Statement::Run() {
  bool row = true;
  while (row) {
    if (!Step(&row)) return false;
  }
  sqlite3_reset(stmt_);
  return true;
}

void Statement::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

int Statement::ColumnCount() const { return sqlite3_column_count(stmt_); }

std::string Statement::ColumnName(int column) const {
  const char* name = sqlite3_column_name(stmt_, column);
  return name != nullptr ? name : "";
}

int Statement::ColumnType(int column) const { return sqlite3_column_type(stmt_, column); }

int64_t Statement::ColumnInt64(int column) const { return sqlite3_column_int64(stmt_, column); }

double Statement::ColumnDouble(int column) const { return sqlite3_column_double(stmt_, column); }

std::string Statement::ColumnBytes(int column) const { return std::string(ColumnView(column)); }

std::string_view Statement::ColumnView(int column) const {
  // The pointer is fetched before the size, as SQLite asks.
  const void* data = sqlite3_column_type(stmt_, column) == SQLITE_BLOB
                         ? sqlite3_column_blob(stmt_, column)
                         : static_cast<const void*>(sqlite3_column_text(stmt_, column));
  const int size = sqlite3_column_bytes(stmt_, column);
  if (data == nullptr || size <= 0) return std::string_view();
  return std::string_view(static_cast<const char*>(data), static_cast<size_t>(size));
}

bool Statement::ReadOnly() const { return sqlite3_stmt_readonly(stmt_) != 0; }

bool Database::Open(const std::string& path, OpenMode mode) {
  path_ = path;
  int flags = SQLITE_OPEN_READWRITE;
  if (mode == OpenMode::kCreate) flags |= SQLITE_OPEN_CREATE;
  if (mode == OpenMode::kReadOnly) flags = SQLITE_OPEN_READONLY;
  sqlite3* db = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    error_ = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    if ((rc & 0xFF) == SQLITE_CANTOPEN && mode != OpenMode::kCreate) {
      error_ = "there is no such database file";
    }
    sqlite3_close(db);
    return false;
  }
  db_ = db;
  sqlite3_extended_result_codes(db_, 1);
  // Other runs write the same file; their transactions are kept short.
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  // Opening does not touch the file; make sure it is a database now.
  bool ok = Execute("PRAGMA schema_version");
  if (ok && mode != OpenMode::kReadOnly) ok = Execute("PRAGMA journal_mode=WAL");
  if (!ok) {
    sqlite3_close(db_);
    db_ = nullptr;
    return false;
  }
  return true;
}

Database::~Database() {
  if (db_ != nullptr) sqlite3_close_v2(db_);
}

bool Database::Prepare(std::string_view sql, Statement* out, std::string_view* tail) {
  sqlite3_stmt* stmt = nullptr;
  const char* rest = nullptr;
  const int rc = sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt, &rest);
  if (rc != SQLITE_OK) {
    CaptureError();
    sqlite3_finalize(stmt);
    return false;
  }
  if (tail != nullptr) {
    *tail = rest != nullptr ? sql.substr(static_cast<size_t>(rest - sql.data())) : sql.substr(sql.size());
  }
  *out = Statement(stmt, this);
  if (stmt == nullptr) {
    error_ = "the text holds no SQL statement";
    return false;
  }
  return true;
}

bool Database::Execute(const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
    error_ = message != nullptr ? message : sqlite3_errmsg(db_);
    sqlite3_free(message);
    return false;
  }
  return true;
}

bool Database::TableExists(std::string_view name) {
  Statement stmt;
  if (!Prepare("SELECT 1 FROM sqlite_schema WHERE type IN ('table','view') AND name = ?1 "
               "COLLATE NOCASE",
               &stmt)) {
    return false;
  }
  stmt.BindText(1, name);
  bool row = false;
  return stmt.Step(&row) && row;
}

void Database::Interrupt() {
  if (db_ != nullptr) sqlite3_interrupt(db_);
}

int64_t Database::changes() const { return sqlite3_changes64(db_); }

void Database::CaptureError() { error_ = sqlite3_errmsg(db_); }

Transaction::Transaction(Database* db) : db_(db) { started_ = db_->Execute("BEGIN IMMEDIATE"); }

Transaction::~Transaction() {
  if (started_ && !done_) {
    const std::string kept = db_->error();  // keep the message of the failure
    db_->Execute("ROLLBACK");
    db_->SetError(kept);
  }
}

bool Transaction::Commit() {
  if (!started_ || done_) return false;
  done_ = db_->Execute("COMMIT");
  return done_;
}

}  // namespace vocs::host
