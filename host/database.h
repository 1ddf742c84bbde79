// Database and Statement: a thin RAII layer over the SQLite C API.
//
// A Database owns one connection; a Statement owns one prepared statement of
// it and must be destroyed before the Database. Values are always bound, and
// identifiers reach SQL text only through QuoteIdentifier, so no name or
// value is ever read as SQL code.
//
// Failures return false and leave SQLite's message in Database::error().
//
// Threads: a Database and its Statements are used by one thread at a time
// (the embedded host serialises its callers).
#ifndef VOCS_HOST_DATABASE_H_
#define VOCS_HOST_DATABASE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace vocs::host {

// `name` as an SQL identifier: in double quotes, inner double quotes doubled.
std::string QuoteIdentifier(std::string_view name);

class Database;

class Statement {
 public:
  Statement() = default;
  ~Statement();
  Statement(Statement&& other) noexcept;
  Statement& operator=(Statement&& other) noexcept;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool valid() const { return stmt_ != nullptr; }
  sqlite3_stmt* get() const { return stmt_; }

  // Binding, 1-based as in SQLite. The bytes are copied.
  void BindText(int index, std::string_view text);
  void BindBlob(int index, std::string_view bytes);
  void BindInt64(int index, int64_t value);
  void BindDouble(int index, double value);
  void BindNull(int index);

  // One step: true with *row set when a row is ready or the statement is
  // done; false on an error (message in the database).
  bool Step(bool* row);
  // Steps to the end, ignoring rows.
  bool Run();
  void Reset();

  int ColumnCount() const;
  std::string ColumnName(int column) const;
  int ColumnType(int column) const;  // SQLITE_INTEGER, ... SQLITE_NULL
  int64_t ColumnInt64(int column) const;
  double ColumnDouble(int column) const;
  // Text or blob bytes of the column (empty for NULL).
  std::string ColumnBytes(int column) const;
  // The same bytes where SQLite holds them: valid until the statement steps,
  // is reset or the column is read as another type.
  std::string_view ColumnView(int column) const;
  bool ReadOnly() const;

 private:
  friend class Database;
  Statement(sqlite3_stmt* stmt, Database* db) : stmt_(stmt), db_(db) {}

  sqlite3_stmt* stmt_ = nullptr;
  Database* db_ = nullptr;
};

class Database {
 public:
  enum class OpenMode {
    kCreate,    // read and write; the file is made when missing
    kExisting,  // read and write; a missing file is an error
    kReadOnly,  // read only; a missing file is an error
  };

  // How long a statement waits for another connection's write to end.
  static constexpr int kBusyTimeoutMs = 120000;

  // Opens the file. A writable database is switched to write-ahead logging,
  // so that readers never block a writer and writers wait only for each
  // other's (short) transactions. False with error() set when it cannot be
  // opened.
  bool Open(const std::string& path, OpenMode mode = OpenMode::kCreate);
  Database() = default;
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  bool is_open() const { return db_ != nullptr; }
  sqlite3* handle() const { return db_; }
  const std::string& error() const { return error_; }
  const std::string& path() const { return path_; }

  // Prepares one statement. `tail` receives the text after it (may be null).
  bool Prepare(std::string_view sql, Statement* out, std::string_view* tail = nullptr);
  // Runs one or more statements without results (schema text, BEGIN, ...).
  bool Execute(const char* sql);

  bool TableExists(std::string_view name);
  // Aborts the statement running on the connection, from any thread.
  void Interrupt();
  int64_t changes() const;

  // Records the current SQLite message (after a failed call).
  void CaptureError();
  void SetError(std::string message) { error_ = std::move(message); }

 private:
  sqlite3* db_ = nullptr;
  std::string path_;
  std::string error_;
};

// A transaction that rolls back unless committed.
class Transaction {
 public:
  explicit Transaction(Database* db);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  bool started() const { return started_; }
  bool Commit();

 private:
  Database* db_;
  bool started_ = false;
  bool done_ = false;
};

}  // namespace vocs::host

#endif  // VOCS_HOST_DATABASE_H_
