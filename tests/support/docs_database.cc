#include "support/docs_database.h"

#include <utility>

#include "support/temp_dir.h"

namespace vocs::testing {

bool DocsDatabase::Create(const std::string& path, const std::vector<std::string>& bodies,
                          std::string* error) {
  host_ = host::EmbeddedHost::Open(path, error);
  if (host_ == nullptr) return false;
  host::Database* db = host_->database();
  if (!db->Execute("PRAGMA synchronous=OFF; CREATE TABLE docs(body TEXT)")) {
    *error = db->error();
    return false;
  }
  for (const std::string& body : bodies) {
    host::Statement insert;
    if (!db->Prepare("INSERT INTO docs VALUES (?)", &insert)) {
      *error = db->error();
      return false;
    }
    insert.BindText(1, body);
    if (!insert.Run()) {
      *error = db->error();
      return false;
    }
  }
  return true;
}

StatisticsRun DocsDatabase::Run(StatisticKind statistic, OutputTarget output,
                                const std::string& output_name, RunSource source) const {
  StatisticsRun run;
  run.statistic = statistic;
  run.output = output;
  run.output_name = output_name;
  run.host = host_.get();
  run.query = "SELECT body FROM docs";
  run.sources.push_back(std::move(source));
  return run;
}

std::string DocsDatabase::Rows(const std::string& table) const {
  host::Statement select;
  if (!host_->database()->Prepare("SELECT * FROM " + table + " ORDER BY rowid", &select)) {
    return "<no table " + table + ">";
  }
  std::string rows;
  for (bool row = true;;) {
    if (!select.Step(&row)) return "<unreadable>";
    if (!row) break;
    for (int i = 0; i < select.ColumnCount(); ++i) rows += select.ColumnBytes(i) + "\t";
    rows += "\n";
  }
  return rows;
}

std::string DocsDatabase::Result(OutputTarget output, const std::string& output_name) const {
  return output == OutputTarget::kFile ? ReadFileOrMissing(output_name) : Rows(output_name);
}

}  // namespace vocs::testing
