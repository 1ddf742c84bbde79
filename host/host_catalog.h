// HostCatalog: what the host knows about the result tables the module made.
//
// Three tables in the database hold it:
//
//   vocs_tables  (name, path)                         one row per result table
//   vocs_columns (id, table_name, position, name, type_text, length, alias,
//                 display_name, attribute)            one row per column
//   vocs_builds  (target, shadow, owner, started)     one row per table being
//                                                     built (result_tables.h)
//
// `id` is the field identifier handed to the module in field descriptors. A
// table being built is catalogued under its shadow's name until it takes its
// target's place.
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

// A result table being built: under the name `shadow` until it is complete,
// by a run described by `owner`, since `started` (UTC).
struct CatalogBuild {
  std::string target;
  std::string shadow;
  std::string owner;
  std::string started;
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
  // Gives a table and its columns another name.
  bool Rename(std::string_view from, std::string_view to);

  // Builds, by target name.
  bool InsertBuild(const CatalogBuild& build);
  bool FindBuild(std::string_view target, CatalogBuild* out, bool* found);
  bool RemoveBuild(std::string_view target);
  bool ListBuilds(std::vector<CatalogBuild>* out);

  // Names the catalogue and SQLite keep for themselves, and those of the
  // shadows of builds ("vocs_build_...").
  static bool IsReservedName(std::string_view name);

 private:
  Database* db_;
};

}  // namespace vocs::host

#endif  // VOCS_HOST_HOST_CATALOG_H_
