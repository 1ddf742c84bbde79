#include "host/host_catalog.h"

#include <cctype>

namespace vocs::host {

namespace {

constexpr const char* kColumnSelect =
    "SELECT id, position, name, type_text, length, alias, display_name, attribute "
    "FROM vocs_columns ";

CatalogColumn ColumnFromRow(const Statement& stmt) {
  CatalogColumn column;
  column.id = stmt.ColumnInt64(0);
  column.position = static_cast<int32_t>(stmt.ColumnInt64(1));
  column.spec.name = stmt.ColumnBytes(2);
  column.spec.type_text = stmt.ColumnBytes(3);
  column.spec.length = static_cast<int32_t>(stmt.ColumnInt64(4));
  column.spec.alias = stmt.ColumnBytes(5);
  column.spec.display_name = stmt.ColumnBytes(6);
  column.attribute = stmt.ColumnBytes(7);
  if (!StorageClassOf(column.spec.type_text, &column.spec.storage)) {
    column.spec.storage = StorageClass::kText;
  }
  return column;
}

bool StartsWithIgnoreCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
  }
  return true;
}

}  // namespace

bool HostCatalog::EnsureSchema() {
  return db_->Execute(
      "CREATE TABLE IF NOT EXISTS vocs_tables ("
      "  name TEXT PRIMARY KEY COLLATE NOCASE,"
      "  path TEXT NOT NULL);"
      "CREATE TABLE IF NOT EXISTS vocs_columns ("
      "  id INTEGER PRIMARY KEY,"
      "  table_name TEXT NOT NULL COLLATE NOCASE REFERENCES vocs_tables(name),"
      "  position INTEGER NOT NULL,"
      "  name TEXT NOT NULL,"
      "  type_text TEXT NOT NULL,"
      "  length INTEGER NOT NULL,"
      "  alias TEXT NOT NULL,"
      "  display_name TEXT NOT NULL,"
      "  attribute TEXT NOT NULL DEFAULT '',"
      "  UNIQUE (table_name, position));"
      "CREATE TABLE IF NOT EXISTS vocs_builds ("
      "  target TEXT PRIMARY KEY COLLATE NOCASE,"
      "  shadow TEXT NOT NULL,"
      "  owner TEXT NOT NULL,"
      "  started TEXT NOT NULL);");
}

bool HostCatalog::Find(std::string_view table, CatalogTable* out, bool* found) {
  *found = false;
  Statement stmt;
  if (!db_->Prepare("SELECT name, path FROM vocs_tables WHERE name = ?1", &stmt)) return false;
  stmt.BindText(1, table);
  bool row = false;
  if (!stmt.Step(&row)) return false;
  if (!row) return true;
  out->name = stmt.ColumnBytes(0);
  out->path = stmt.ColumnBytes(1);
  out->columns.clear();
  Statement columns;
  if (!db_->Prepare(std::string(kColumnSelect) + "WHERE table_name = ?1 ORDER BY position",
                    &columns)) {
    return false;
  }
  columns.BindText(1, table);
  while (true) {
    if (!columns.Step(&row)) return false;
    if (!row) break;
    out->columns.push_back(ColumnFromRow(columns));
  }
  *found = true;
  return true;
}

bool HostCatalog::Insert(const CatalogTable& table) {
  Statement insert_table;
  if (!db_->Prepare("INSERT INTO vocs_tables (name, path) VALUES (?1, ?2)", &insert_table)) {
    return false;
  }
  insert_table.BindText(1, table.name);
  insert_table.BindText(2, table.path);
  if (!insert_table.Run()) return false;
  Statement insert_column;
  if (!db_->Prepare("INSERT INTO vocs_columns (table_name, position, name, type_text, length,"
                    " alias, display_name, attribute) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)",
                    &insert_column)) {
    return false;
  }
  for (const CatalogColumn& column : table.columns) {
    insert_column.Reset();
    insert_column.BindText(1, table.name);
    insert_column.BindInt64(2, column.position);
    insert_column.BindText(3, column.spec.name);
    insert_column.BindText(4, column.spec.type_text);
    insert_column.BindInt64(5, column.spec.length);
    insert_column.BindText(6, column.spec.alias);
    insert_column.BindText(7, column.spec.display_name);
    insert_column.BindText(8, column.attribute);
    if (!insert_column.Run()) return false;
  }
  return true;
}

bool HostCatalog::Remove(std::string_view table) {
  for (const char* sql : {"DELETE FROM vocs_columns WHERE table_name = ?1",
                          "DELETE FROM vocs_tables WHERE name = ?1"}) {
    Statement stmt;
    if (!db_->Prepare(sql, &stmt)) return false;
    stmt.BindText(1, table);
    if (!stmt.Run()) return false;
  }
  return true;
}

bool HostCatalog::UpdateColumn(int64_t id, const ColumnSpec& spec, std::string_view attribute) {
  Statement stmt;
  if (!db_->Prepare("UPDATE vocs_columns SET type_text = ?2, length = ?3, attribute = ?4 "
                    "WHERE id = ?1",
                    &stmt)) {
    return false;
  }
  stmt.BindInt64(1, id);
  stmt.BindText(2, spec.type_text);
  stmt.BindInt64(3, spec.length);
  stmt.BindText(4, attribute);
  return stmt.Run();
}

bool HostCatalog::FindColumn(int64_t id, CatalogColumn* out, bool* found) {
  *found = false;
  Statement stmt;
  if (!db_->Prepare(std::string(kColumnSelect) + "WHERE id = ?1", &stmt)) return false;
  stmt.BindInt64(1, id);
  bool row = false;
  if (!stmt.Step(&row)) return false;
  if (row) {
    *out = ColumnFromRow(stmt);
    *found = true;
  }
  return true;
}

bool HostCatalog::Rename(std::string_view from, std::string_view to) {
  for (const char* sql : {"UPDATE vocs_tables SET name = ?2 WHERE name = ?1",
                          "UPDATE vocs_columns SET table_name = ?2 WHERE table_name = ?1"}) {
    Statement stmt;
    if (!db_->Prepare(sql, &stmt)) return false;
    stmt.BindText(1, from);
    stmt.BindText(2, to);
    if (!stmt.Run()) return false;
  }
  return true;
}

bool HostCatalog::InsertBuild(const CatalogBuild& build) {
  Statement stmt;
  if (!db_->Prepare("INSERT OR REPLACE INTO vocs_builds (target, shadow, owner, started) "
                    "VALUES (?1, ?2, ?3, ?4)",
                    &stmt)) {
    return false;
  }
  stmt.BindText(1, build.target);
  stmt.BindText(2, build.shadow);
  stmt.BindText(3, build.owner);
  stmt.BindText(4, build.started);
  return stmt.Run();
}

bool HostCatalog::FindBuild(std::string_view target, CatalogBuild* out, bool* found) {
  *found = false;
  Statement stmt;
  if (!db_->Prepare("SELECT target, shadow, owner, started FROM vocs_builds WHERE target = ?1",
                    &stmt)) {
    return false;
  }
  stmt.BindText(1, target);
  bool row = false;
  if (!stmt.Step(&row)) return false;
  if (row) {
    *out = CatalogBuild{stmt.ColumnBytes(0), stmt.ColumnBytes(1), stmt.ColumnBytes(2),
                        stmt.ColumnBytes(3)};
    *found = true;
  }
  return true;
}

bool HostCatalog::RemoveBuild(std::string_view target) {
  Statement stmt;
  if (!db_->Prepare("DELETE FROM vocs_builds WHERE target = ?1", &stmt)) return false;
  stmt.BindText(1, target);
  return stmt.Run();
}

bool HostCatalog::ListBuilds(std::vector<CatalogBuild>* out) {
  Statement stmt;
  if (!db_->Prepare("SELECT target, shadow, owner, started FROM vocs_builds", &stmt)) {
    return false;
  }
  for (bool row = true;;) {
    if (!stmt.Step(&row)) return false;
    if (!row) return true;
    out->push_back(CatalogBuild{stmt.ColumnBytes(0), stmt.ColumnBytes(1), stmt.ColumnBytes(2),
                                stmt.ColumnBytes(3)});
  }
}

bool HostCatalog::IsReservedName(std::string_view name) {
  const auto equals = [&](std::string_view reserved) {
    return name.size() == reserved.size() && StartsWithIgnoreCase(name, reserved);
  };
  return StartsWithIgnoreCase(name, "sqlite_") || StartsWithIgnoreCase(name, "vocs_build_") ||
         equals("vocs_tables") || equals("vocs_columns") || equals("vocs_builds");
}

}  // namespace vocs::host
