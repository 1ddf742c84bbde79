#include "host/result_tables.h"

#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <ctime>
#include <random>

#include "host/tagged_record_reader.h"

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

std::string Key(std::string_view name) {
  std::string key(name);
  for (char& c : key) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return key;
}

std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &tm);
  return text;
}

// A name no other build of any process picks.
std::string NewShadowName() {
  static std::atomic<uint32_t> sequence{0};
  static const uint32_t salt = std::random_device{}();
  char name[64];
  std::snprintf(name, sizeof name, "vocs_build_%x_%x_%x", static_cast<unsigned>(::getpid()),
                salt, static_cast<unsigned>(sequence.fetch_add(1)));
  return name;
}

template <typename T>
bool ParseNumber(std::string_view text, T* out) {
  text = TrimSpace(text);
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *out);
  return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

}  // namespace

bool ResultTables::Run(const HostStatement& statement, int64_t* rows, FinishedTable* finished,
                       bool* did_finish, std::string* error) {
  *rows = 0;
  *did_finish = false;
  switch (statement.kind) {
    case HostStatement::Kind::kCreateTable: return Create(statement, error);
    case HostStatement::Kind::kDropTable: return Drop(statement, error);
    case HostStatement::Kind::kBulkLoad: return BulkLoad(statement, rows, error);
    case HostStatement::Kind::kAlterColumn: return Alter(statement, error);
    case HostStatement::Kind::kIndex: return Index(statement, finished, did_finish, error);
  }
  return false;
}

ResultTables::Build* ResultTables::FindBuild(const std::string& table) {
  const auto it = builds_.find(Key(table));
  return it == builds_.end() ? nullptr : &it->second;
}

std::string ResultTables::Resolve(const std::string& table) const {
  const auto it = builds_.find(Key(table));
  if (it != builds_.end() && it->second.thread == std::this_thread::get_id()) {
    return it->second.shadow;
  }
  return table;
}

void ResultTables::Notify(TableEvent event, const std::string& table, int64_t rows) {
  if (observer_) observer_(event, table, rows);
}

bool ResultTables::TryLock(const std::string& table) {
  return locks_ == nullptr || locks_->TryLock(table);
}

void ResultTables::Unlock(const std::string& table) {
  if (locks_ != nullptr) locks_->Unlock(table);
}

std::string ResultTables::HolderOf(const std::string& table) {
  CatalogBuild build;
  bool found = false;
  if (catalog_->FindBuild(table, &build, &found) && found) {
    return build.owner + ", since " + build.started;
  }
  return "another run or import";
}

bool ResultTables::FindResultTable(const std::string& name, CatalogTable* table,
                                   std::string* error) {
  bool found = false;
  if (!catalog_->Find(name, table, &found)) {
    *error = db_->error();
    return false;
  }
  if (!found) {
    *error = db_->TableExists(name)
                 ? "\"" + name + "\" is not a result table (only tables made by CREATE TABLE "
                                 "statements are changed by statements)"
                 : "there is no table \"" + name + "\"";
    return false;
  }
  return true;
}

bool ResultTables::Create(const HostStatement& statement, std::string* error) {
  const std::string& name = statement.table;
  if (HostCatalog::IsReservedName(name)) {
    *error = "the table name \"" + name + "\" is reserved";
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
  if (Build* build = FindBuild(name)) {
    if (build->thread != std::this_thread::get_id()) {
      *error = "the table \"" + name + "\" is being written by another statement of this "
               "process (" + owner_ + ")";
      return false;
    }
    Abandon(false);  // this thread's earlier statement never finished it
  }
  bool is_result = false;
  CatalogTable existing;
  if (!catalog_->Find(name, &existing, &is_result)) {
    *error = db_->error();
    return false;
  }
  if (!is_result && db_->TableExists(name)) {
    *error = "a table \"" + name + "\" exists and is not a result table; results never "
             "replace other tables";
    return false;
  }
  if (!TryLock(name)) {
    *error = "the table \"" + name + "\" is being written by another run (" + HolderOf(name) +
             ")";
    return false;
  }
  // A build recorded for this table has no live owner now: its lock was free.
  CatalogBuild stale;
  bool has_stale = false;
  if (!catalog_->FindBuild(name, &stale, &has_stale) || (has_stale && !Discard(stale))) {
    *error = db_->error();
    Unlock(name);
    return false;
  }

  Build build{name, NewShadowName(), std::this_thread::get_id(), 0};
  CatalogTable table;
  table.name = build.shadow;
  table.path = codec_->Gb18030ToUtf8Replacing(statement.path);
  std::string sql = "CREATE TABLE " + QuoteIdentifier(build.shadow) + " (";
  for (size_t i = 0; i < statement.columns.size(); ++i) {
    const ColumnSpec& spec = statement.columns[i];
    sql += (i == 0 ? "" : ", ") + QuoteIdentifier(spec.name) + " " + SqlType(spec.storage);
    CatalogColumn column;
    column.position = static_cast<int32_t>(i);
    column.spec = spec;
    table.columns.push_back(std::move(column));
  }
  sql += ")";
  Transaction transaction(db_);
  if (!transaction.started() || !db_->Execute(sql.c_str()) || !catalog_->Insert(table) ||
      !catalog_->InsertBuild(CatalogBuild{name, build.shadow, owner_, UtcNow()}) ||
      !transaction.Commit()) {
    *error = db_->error();
    Unlock(name);
    return false;
  }
  builds_.emplace(Key(name), std::move(build));
  Notify(TableEvent::kCreated, name, 0);
  return true;
}

bool ResultTables::Drop(const HostStatement& statement, std::string* error) {
  const std::string& name = statement.table;
  if (Build* build = FindBuild(name)) {
    if (build->thread != std::this_thread::get_id()) {
      *error = "the table \"" + name + "\" is being written by another statement of this "
               "process (" + owner_ + ")";
      return false;
    }
    Abandon(false);
  }
  if (!TryLock(name)) {
    *error = "the table \"" + name + "\" is being written by another run (" + HolderOf(name) +
             ")";
    return false;
  }
  CatalogTable table;
  if (!FindResultTable(name, &table, error)) {
    Unlock(name);
    return false;
  }
  Transaction transaction(db_);
  const std::string sql = "DROP TABLE IF EXISTS " + QuoteIdentifier(table.name);
  const bool ok = transaction.started() && db_->Execute(sql.c_str()) &&
                  catalog_->Remove(table.name) && transaction.Commit();
  if (!ok) *error = db_->error();
  Unlock(name);
  return ok;
}

bool ResultTables::BulkLoad(const HostStatement& statement, int64_t* rows, std::string* error) {
  Build* build = FindBuild(statement.table);
  if (build != nullptr && build->thread != std::this_thread::get_id()) build = nullptr;
  CatalogTable table;
  if (!FindResultTable(build != nullptr ? build->shadow : statement.table, &table, error)) {
    return false;
  }
  if (table.columns.empty()) {
    *error = "the table \"" + statement.table + "\" has no columns";
    return false;
  }
  std::string file;
  if (!codec_->Gb18030ToUtf8(statement.path, &file)) {
    *error = "the record file name " + codec_->Shown(statement.path) + " is not GB18030 text";
    return false;
  }
  std::string sql = "INSERT INTO " + QuoteIdentifier(table.name) + " (";
  std::string values;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    sql += (i == 0 ? "" : ", ") + QuoteIdentifier(table.columns[i].spec.name);
    values += (i == 0 ? "?" : ", ?") + std::to_string(i + 1);
  }
  sql += ") VALUES (" + values + ")";

  // A build commits in bounded steps: its shadow is nobody else's, and a
  // failure abandons the whole shadow. A load into a finished table (no build)
  // is one transaction, all or nothing.
  auto transaction = std::make_unique<Transaction>(db_);
  Statement insert;
  if (!transaction->started() || !db_->Prepare(sql, &insert)) {
    *error = db_->error();
    return false;
  }
  std::map<std::string, size_t> tag_columns;  // GB18030 tag -> column position
  const auto column_of_tag = [&](const std::string& tag, size_t* position) {
    if (const auto it = tag_columns.find(tag); it != tag_columns.end()) {
      *position = it->second;
      return true;
    }
    std::string utf8;
    if (!codec_->Gb18030ToUtf8(tag, &utf8)) return false;
    for (size_t i = 0; i < table.columns.size(); ++i) {
      if (SameName(utf8, table.columns[i].spec.name)) {
        tag_columns.emplace(tag, i);
        *position = i;
        return true;
      }
    }
    return false;
  };
  const int64_t loaded_before = build != nullptr ? build->rows : 0;
  int64_t loaded = 0;
  int64_t uncommitted = 0;
  const auto sink = [&](const std::vector<TaggedField>& fields, int64_t line,
                        std::string* message) {
    if (interrupted_ != nullptr && interrupted_->load(std::memory_order_relaxed)) {
      *message = "interrupted";
      return false;
    }
    const std::string where = "the record at line " + std::to_string(line);
    insert.Reset();  // unbound columns stay NULL
    for (const TaggedField& field : fields) {
      size_t position = 0;
      if (!column_of_tag(field.tag, &position)) {
        *message = where + " has the tag <" + codec_->Shown(field.tag) +
                   ">, which is no column of \"" + statement.table + "\"";
        return false;
      }
      const ColumnSpec& spec = table.columns[position].spec;
      const int index = static_cast<int>(position) + 1;
      const std::string_view value = field.value;
      if (spec.storage != StorageClass::kText && TrimSpace(value).empty()) {
        insert.BindNull(index);
        continue;
      }
      switch (spec.storage) {
        case StorageClass::kText: {
          std::string utf8;
          if (!codec_->Gb18030ToUtf8(value, &utf8)) {
            *message = where + ": the value of <" + spec.name + "> is not GB18030 text";
            return false;
          }
          insert.BindText(index, utf8);
          break;
        }
        case StorageClass::kInteger: {
          int64_t number = 0;
          if (!ParseNumber(value, &number)) {
            *message = where + ": <" + spec.name + "> is no integer: \"" +
                       codec_->Shown(value) + "\"";
            return false;
          }
          insert.BindInt64(index, number);
          break;
        }
        case StorageClass::kReal: {
          double number = 0;
          if (!ParseNumber(value, &number)) {
            *message = where + ": <" + spec.name + "> is no number: \"" + codec_->Shown(value) +
                       "\"";
            return false;
          }
          insert.BindDouble(index, number);
          break;
        }
      }
    }
    if (!insert.Run()) {
      *message = where + ": " + db_->error();
      return false;
    }
    ++loaded;
    if (build != nullptr && ++uncommitted >= kRowsPerCommit) {
      uncommitted = 0;
      if (!transaction->Commit()) {
        *message = db_->error();
        return false;
      }
      transaction = std::make_unique<Transaction>(db_);
      if (!transaction->started()) {
        *message = db_->error();
        return false;
      }
      Notify(TableEvent::kLoading, statement.table, loaded_before + loaded);
    }
    return true;
  };

  Notify(TableEvent::kLoading, statement.table, loaded_before);
  std::string read_error;
  const bool read = ReadTaggedRecords(file, sink, rows, &read_error);
  insert = Statement();
  if (!read) {
    *error = (build != nullptr ? "loading " : "nothing of ") + file +
             (build != nullptr ? " failed: " : " was loaded: ") + read_error;
    return false;
  }
  if (!transaction->Commit()) {
    *error = db_->error();
    return false;
  }
  if (build != nullptr) build->rows += *rows;
  return true;
}

bool ResultTables::Alter(const HostStatement& statement, std::string* error) {
  CatalogTable table;
  if (!FindResultTable(Resolve(statement.table), &table, error)) return false;
  const ColumnSpec& spec = statement.columns.front();
  const CatalogColumn* column = nullptr;
  for (const CatalogColumn& candidate : table.columns) {
    if (SameName(candidate.spec.name, statement.column)) column = &candidate;
  }
  if (column == nullptr) {
    *error = "the table \"" + statement.table + "\" has no column \"" + statement.column + "\"";
    return false;
  }
  if (!SameName(spec.name, statement.column)) {
    *error = "renaming a column (\"" + statement.column + "\" AS \"" + spec.name +
             "\") is not supported";
    return false;
  }
  Transaction transaction(db_);
  if (!transaction.started() || !catalog_->UpdateColumn(column->id, spec, statement.attribute) ||
      !transaction.Commit()) {
    *error = db_->error();
    return false;
  }
  return true;
}

bool ResultTables::CreateIndexes(const CatalogTable& table, const std::string& prefix,
                                 std::string* error) {
  Statement owner;
  if (!db_->Prepare("SELECT tbl_name FROM sqlite_schema WHERE type = 'index' AND name = ?1",
                    &owner)) {
    *error = db_->error();
    return false;
  }
  // A column that leads an index already is left as it is, so that INDEX can
  // be sent again.
  Statement indexed;
  if (!db_->Prepare("SELECT 1 FROM pragma_index_list(?1) AS l, pragma_index_info(l.name) AS i "
                    "WHERE i.seqno = 0 AND i.name = ?2 COLLATE NOCASE",
                    &indexed)) {
    *error = db_->error();
    return false;
  }
  // One index per transaction: other writers of the database wait for one
  // index at most.
  for (const CatalogColumn& column : table.columns) {
    indexed.Reset();
    indexed.BindText(1, table.name);
    indexed.BindText(2, column.spec.name);
    bool has_index = false;
    if (!indexed.Step(&has_index)) {
      *error = db_->error();
      return false;
    }
    indexed.Reset();
    if (has_index) continue;
    const std::string index_name = prefix + std::to_string(column.position);
    owner.Reset();
    owner.BindText(1, index_name);
    bool row = false;
    if (!owner.Step(&row)) {
      *error = db_->error();
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
    Transaction transaction(db_);
    if (!transaction.started() || !db_->Execute(sql.c_str()) || !transaction.Commit()) {
      *error = db_->error();
      return false;
    }
  }
  return true;
}

bool ResultTables::Index(const HostStatement& statement, FinishedTable* finished,
                         bool* did_finish, std::string* error) {
  Build* build = FindBuild(statement.table);
  if (build != nullptr && build->thread != std::this_thread::get_id()) build = nullptr;
  CatalogTable table;
  if (!FindResultTable(build != nullptr ? build->shadow : statement.table, &table, error)) {
    return false;
  }
  if (build == nullptr) return CreateIndexes(table, "vocs_idx_" + table.name + "_", error);
  Notify(TableEvent::kIndexing, build->target, build->rows);
  // Index names stay with the table when it takes its place; the build's
  // number keeps them apart from those of the table it replaces.
  const std::string number = build->shadow.substr(std::string_view("vocs_build_").size());
  if (!CreateIndexes(table, "vocs_idx_" + build->target + "_" + number + "_", error) ||
      !TakePlace(build, error)) {
    return false;
  }
  *finished = FinishedTable{build->target, build->rows};
  *did_finish = true;
  Notify(TableEvent::kReplaced, build->target, build->rows);
  Unlock(build->target);
  builds_.erase(Key(build->target));
  return true;
}

bool ResultTables::TakePlace(Build* build, std::string* error) {
  Transaction transaction(db_);
  if (!transaction.started()) {
    *error = db_->error();
    return false;
  }
  if (db_->TableExists(build->target)) {
    CatalogTable old;
    if (!FindResultTable(build->target, &old, error)) return false;
    const std::string drop = "DROP TABLE " + QuoteIdentifier(old.name);
    if (!db_->Execute(drop.c_str()) || !catalog_->Remove(old.name)) {
      *error = db_->error();
      return false;
    }
  }
  const std::string rename =
      "ALTER TABLE " + QuoteIdentifier(build->shadow) + " RENAME TO " + QuoteIdentifier(build->target);
  if (!db_->Execute(rename.c_str()) || !catalog_->Rename(build->shadow, build->target) ||
      !catalog_->RemoveBuild(build->target) || !transaction.Commit()) {
    *error = db_->error();
    return false;
  }
  return true;
}

bool ResultTables::Discard(const CatalogBuild& build) {
  Transaction transaction(db_);
  const std::string drop = "DROP TABLE IF EXISTS " + QuoteIdentifier(build.shadow);
  return transaction.started() && db_->Execute(drop.c_str()) && catalog_->Remove(build.shadow) &&
         catalog_->RemoveBuild(build.target) && transaction.Commit();
}

void ResultTables::Abandon(bool all_threads) {
  for (auto it = builds_.begin(); it != builds_.end();) {
    if (!all_threads && it->second.thread != std::this_thread::get_id()) {
      ++it;
      continue;
    }
    // A shadow that cannot be dropped now is swept by the next host.
    Discard(CatalogBuild{it->second.target, it->second.shadow, owner_, ""});
    Unlock(it->second.target);
    it = builds_.erase(it);
  }
}

bool ResultTables::SweepStaleBuilds(std::string* error) {
  std::vector<CatalogBuild> recorded;
  if (!catalog_->ListBuilds(&recorded)) {
    *error = db_->error();
    return false;
  }
  for (const CatalogBuild& build : recorded) {
    if (!TryLock(build.target)) continue;  // its run is alive
    const bool discarded = Discard(build);
    Unlock(build.target);
    if (!discarded) {
      *error = "cannot remove the unfinished table of a run that is gone (" + build.owner +
               "): " + db_->error();
      return false;
    }
  }
  return true;
}

}  // namespace vocs::host
