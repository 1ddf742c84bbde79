#include "cli/corpus_importer.h"

#include "host/host_catalog.h"
#include "host/host_statement.h"
#include "host/table_lock.h"

namespace vocs::cli {

CorpusImporter::CorpusImporter(host::Database* db, std::string table, Mode mode)
    : db_(db), table_(std::move(table)), mode_(mode) {}

CorpusImporter::~CorpusImporter() {
  insert_ = host::Statement();  // before the transaction rolls back
}

bool CorpusImporter::Begin(std::string* error) {
  if (!host::IsValidName(table_) || host::HostCatalog::IsReservedName(table_)) {
    *error = "the table name \"" + table_ +
             "\" is not allowed: use letters, digits, _ $ - . and non-ASCII characters";
    return false;
  }
  host::HostCatalog catalog(db_);
  host::CatalogTable result_table;
  bool is_result = false;
  if (!catalog.EnsureSchema() || !catalog.Find(table_, &result_table, &is_result)) {
    *error = db_->error();
    return false;
  }
  if (is_result) {
    *error = "\"" + table_ + "\" is a result table of the module; import into another table";
    return false;
  }
  // The table's writers take turns: a run building a result table of this
  // name, or another import into it, holds its lock.
  locks_ = host::TableLockFile::Open(db_->path(), error);
  if (locks_ == nullptr) return false;
  if (!locks_->TryLock(table_)) {
    *error = "the table \"" + table_ + "\" is being written by another run or import";
    locks_.reset();
    return false;
  }
  transaction_ = std::make_unique<host::Transaction>(db_);
  if (!transaction_->started()) {
    *error = db_->error();
    return false;
  }
  table_exists_ = db_->TableExists(table_);
  if (table_exists_ && mode_ == Mode::kCreate) {
    *error = "the table \"" + table_ + "\" exists already (use --replace or --append)";
    return false;
  }
  if (table_exists_ && mode_ == Mode::kReplace) {
    const std::string sql = "DROP TABLE " + host::QuoteIdentifier(table_);
    if (!db_->Execute(sql.c_str())) {
      *error = db_->error();
      return false;
    }
    table_exists_ = false;
  }
  if (table_exists_) {
    host::Statement info;
    if (!db_->Prepare("SELECT name FROM pragma_table_info(?1)", &info)) {
      *error = db_->error();
      return false;
    }
    info.BindText(1, table_);
    for (bool row = true;;) {
      if (!info.Step(&row)) {
        *error = db_->error();
        return false;
      }
      if (!row) break;
      columns_.push_back(info.ColumnBytes(0));
    }
  }
  return true;
}

int CorpusImporter::ColumnIndex(const std::string& name) const {
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (host::SameName(columns_[i], name)) return static_cast<int>(i);
  }
  return -1;
}

bool CorpusImporter::AddColumn(const std::string& name, std::string* error) {
  if (!host::IsValidName(name)) {
    *error = "the column name \"" + name +
             "\" is not allowed: use letters, digits, _ $ - . and non-ASCII characters";
    return false;
  }
  std::string sql;
  if (!table_exists_) {
    sql = "CREATE TABLE " + host::QuoteIdentifier(table_) + " (" + host::QuoteIdentifier(name) +
          ")";
  } else {
    sql = "ALTER TABLE " + host::QuoteIdentifier(table_) + " ADD COLUMN " +
          host::QuoteIdentifier(name);
  }
  insert_ = host::Statement();  // a statement on the old schema would be re-prepared anyway
  if (!db_->Execute(sql.c_str())) {
    *error = db_->error();
    return false;
  }
  table_exists_ = true;
  columns_.push_back(name);
  return true;
}

bool CorpusImporter::PrepareInsert(std::string* error) {
  std::string sql = "INSERT INTO " + host::QuoteIdentifier(table_) + " (";
  std::string values;
  for (size_t i = 0; i < columns_.size(); ++i) {
    sql += (i == 0 ? "" : ", ") + host::QuoteIdentifier(columns_[i]);
    values += (i == 0 ? "?" : ", ?") + std::to_string(i + 1);
  }
  sql += ") VALUES (" + values + ")";
  if (!db_->Prepare(sql, &insert_)) {
    *error = db_->error();
    return false;
  }
  return true;
}

bool CorpusImporter::Add(const CorpusRecord& record, std::string* error) {
  if (record.empty()) {
    *error = "a record without values";
    return false;
  }
  for (const auto& [name, value] : record) {
    if (ColumnIndex(name) < 0 && !AddColumn(name, error)) return false;
  }
  if (!insert_.valid() && !PrepareInsert(error)) return false;
  insert_.Reset();
  std::vector<bool> bound(columns_.size(), false);
  for (const auto& [name, value] : record) {
    const int index = ColumnIndex(name);
    if (bound[static_cast<size_t>(index)]) {
      *error = "the column \"" + name + "\" is given twice";
      return false;
    }
    bound[static_cast<size_t>(index)] = true;
    switch (value.kind) {
      case FieldValue::Kind::kNull: insert_.BindNull(index + 1); break;
      case FieldValue::Kind::kInteger: insert_.BindInt64(index + 1, value.integer); break;
      case FieldValue::Kind::kReal: insert_.BindDouble(index + 1, value.real); break;
      case FieldValue::Kind::kText: insert_.BindText(index + 1, value.text); break;
    }
  }
  if (!insert_.Run()) {
    *error = db_->error();
    return false;
  }
  ++records_;
  return true;
}

bool CorpusImporter::Commit(std::string* error) {
  if (records_ == 0) {
    *error = "the inputs hold no record";
    return false;
  }
  insert_ = host::Statement();
  if (!transaction_->Commit()) {
    *error = db_->error();
    return false;
  }
  return true;
}

}  // namespace vocs::cli
