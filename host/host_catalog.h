// HostCatalog: what the host knows about the result tables the module made.
//
// Two tables in the database hold it:
//
//   vocs_tables  (name, path)                         one row per result table
//   vocs_columns (id, table_name, position, name, type_text, length, alias,
//                 display_name, attribute)            one row per column
//
// `id` is the field identifier handed to the module in field descriptors.
// Names are UTF-8 and compared without regard to ASCII letter case, as SQLite
// compares identifiers. Only tables made by CREATE TABLE statements are in the
// catalogue; tables imported by the command are not, and module statements
// never drop or load them.
//
// Writes happen inside the caller's transaction. Threads: as the Database.
#ifndef VOCS_HOST_HOST_CATALOG_H_
#define VOCS_HOST_HOST_CATALOG_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/database.h"
#include "host/host_statement.h"

namespace vocs::host {

struct CatalogColumn {
  int64_t id = 0;
  int32_t position = 0;  // 0-based
  ColumnSpec spec;
  std::string attribute;  // "" until an ALTER statement records one
};

struct CatalogTable {
  std::string name;
  std::string path;
  std::vector<CatalogColumn> columns;  // by position
};

class HostCatalog {
 public:
  explicit HostCatalog(Database* db) : db_(db) {}

  // Creates the catalogue tables when missing.
  bool EnsureSchema();

  // Looks a table up; *found false when it is not a result table.
  bool Find(std::string_view table, CatalogTable* out, bool* found);
  // Adds the table and its columns (ids are assigned).
  bool Insert(const CatalogTable& table);
  bool Remove(std::string_view table);
  // Records a column's new declaration and attribute.
  bool UpdateColumn(int64_t id, const ColumnSpec& spec, std::string_view attribute);
  // The column with a field identifier.
  bool FindColumn(int64_t id, CatalogColumn* out, bool* found);

  // Names the catalogue and SQLite keep for themselves.
  static bool IsReservedName(std::string_view name);

 private:
  Database* db_;
};

}  // namespace vocs::host

#endif  // VOCS_HOST_HOST_CATALOG_H_
