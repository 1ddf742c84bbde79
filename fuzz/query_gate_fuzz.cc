// The embedded host's gate for queries (runStatement with flag 0): whatever
// text arrives, the database afterwards is the database before, in its
// schema, its data, its settings and the databases attached to it. A query
// that passes is read through as the module reads one and closed.
//
// A query may run for long (a recursive one, say); a progress handler stops
// any statement after some millions of steps, as an impatient user would.
#include <sqlite3.h>

#include <memory>
#include <string>

#include "fuzz_support.h"
#include "host/embedded_host.h"

namespace {

using vocs::fuzz::Check;

int StopLongStatements(void* steps) {
  return ++*static_cast<int*>(steps) > 2000;  // about two million steps
}

// Everything about the database that a query must not change.
std::string Fingerprint(vocs::host::Database* db) {
  std::string print;
  for (const char* sql :
       {"SELECT group_concat(type || name || tbl_name || coalesce(sql, ''), '|') FROM "
        "sqlite_schema",
        "SELECT group_concat(name || coalesce(sql, ''), '|') FROM sqlite_temp_schema",
        "SELECT group_concat(name || file, '|') FROM pragma_database_list",
        "SELECT group_concat(title || body, '|') FROM docs",
        "SELECT user_version FROM pragma_user_version",
        "SELECT application_id FROM pragma_application_id"}) {
    vocs::host::Statement statement;
    Check(db->Prepare(sql, &statement), "the fingerprint can be read");
    bool row = false;
    Check(statement.Step(&row) && row, "the fingerprint has a row");
    print += statement.ColumnBytes(0);
    print += '\n';
  }
  print += std::to_string(sqlite3_total_changes64(db->handle()));
  return print;
}

vocs::host::EmbeddedHost* Host(int* steps) {
  static std::unique_ptr<vocs::host::EmbeddedHost> host = [steps] {
    const std::string path = vocs::fuzz::ProcessDirectory() + "/gate.db";
    std::string error;
    auto opened = vocs::host::EmbeddedHost::Open(path, &error);
    Check(opened != nullptr, "the database opens");
    vocs::host::Database* db = opened->database();
    Check(db->Execute("CREATE TABLE docs(title TEXT, body TEXT);"
                      "INSERT INTO docs VALUES ('a', 'alpha beta'), ('b', 'gamma');"),
          "the table is made");
    sqlite3_progress_handler(db->handle(), 1000, &StopLongStatements, steps);
    return opened;
  }();
  return host.get();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static int steps = 0;
  vocs::host::EmbeddedHost* host = Host(&steps);
  const std::string before = Fingerprint(host->database());
  const std::string query(vocs::fuzz::AsText(data, size));
  steps = 0;
  ResultHandle handle{-1, 0, 0};
  host->runStatement(query.c_str(), 0, &handle);
  if (handle.id >= 0) {
    Check(handle.count >= 0, "a record count");
    char buffer[64];
    for (int32_t record = 0; record < handle.count && record < 4; ++record) {
      for (int32_t field = 0; field < 3; ++field) {
        int32_t length = sizeof buffer - 1;
        host->readField(handle, field, record, buffer, &length, 0, 0);
      }
    }
    host->closeResult(handle);
  }
  Check(host->open_handles() == 0, "no handle left open");
  steps = 0;
  Check(Fingerprint(host->database()) == before, "the query changed nothing");
  host->clear_last_error();
  return 0;
}
