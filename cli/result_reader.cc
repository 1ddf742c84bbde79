#include "cli/result_reader.h"

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>

#include "cli/cli_common.h"

namespace vocs::cli {

namespace {

void SplitTabs(std::string_view line, std::vector<std::string_view>* cells) {
  cells->clear();
  size_t start = 0;
  while (true) {
    const size_t tab = line.find('\t', start);
    cells->push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
    if (tab == std::string_view::npos) return;
    start = tab + 1;
  }
}

std::vector<std::string> HeaderCells(std::string_view line) {
  std::vector<std::string_view> cells;
  SplitTabs(line, &cells);
  return {cells.begin(), cells.end()};
}

}  // namespace

bool ParseCount(std::string_view text, int64_t* out) {
  if (text.empty() || text.size() > 18) return false;
  int64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  *out = value;
  return true;
}

bool ParseFixed4(std::string_view text, int64_t* ten_thousandths) {
  const size_t point = text.find('.');
  if (point == std::string_view::npos || text.size() - point != 5) return false;
  int64_t whole = 0;
  int64_t fraction = 0;
  if (!ParseCount(text.substr(0, point), &whole) || !ParseCount(text.substr(point + 1), &fraction) ||
      whole > 99999999999999) {
    return false;
  }
  *ten_thousandths = whole * 10000 + fraction;
  return true;
}

ResultKind KindOfHeader(const std::vector<std::string>& header) {
  if (header.empty()) return ResultKind::kOther;
  if (header[0] == "词条名称") return ResultKind::kFrequency;
  if (header[0] == "词条1名称") return ResultKind::kCooccurrence;
  return ResultKind::kOther;
}

bool OpenResultDatabase(const std::string& db_path, const std::string& table, host::Database* db,
                        int* exit_code, std::string* error) {
  *exit_code = kExitSetup;
  if (!std::filesystem::exists(db_path)) {
    *error = "there is no database " + AbsolutePath(db_path);
    return false;
  }
  if (!db->Open(db_path, host::Database::OpenMode::kExisting) &&
      !db->Open(db_path, host::Database::OpenMode::kReadOnly)) {
    *error = "cannot open the database " + db_path + ": " + db->error();
    return false;
  }
  *exit_code = kExitFailed;
  if (!db->TableExists(table)) {
    *error = "there is no table \"" + table + "\" in " + AbsolutePath(db_path);
    return false;
  }
  return true;
}

ResultReader::ResultReader() = default;
ResultReader::~ResultReader() = default;

bool ResultReader::OpenFile(const std::string& path, std::string* error) {
  path_ = path;
  origin_ = "file " + AbsolutePath(path);
  file_.open(path, std::ios::binary);
  if (!file_) {
    *error = "cannot open " + path;
    return false;
  }
  if (!NextLine()) {
    *error = error_.empty() ? path + " is empty" : error_;
    return false;
  }
  // UTF-8 Chinese text mostly decodes as GB18030 too, into other
  // characters: a file whose header reads as a result's in UTF-8 (and not in
  // GB18030) is read as UTF-8 throughout.
  if (KindOfHeader(HeaderCells(text_)) == ResultKind::kOther && host::IsValidUtf8(bytes_) &&
      KindOfHeader(HeaderCells(bytes_)) != ResultKind::kOther) {
    utf8_ = true;
    text_ = bytes_;
  }
  std::vector<std::string_view> names;
  SplitTabs(text_, &names);
  header_.assign(names.begin(), names.end());
  return true;
}

bool ResultReader::OpenTable(const std::string& db_path, const std::string& table,
                             std::string* error) {
  origin_ = "table " + table + " of " + AbsolutePath(db_path);
  if (!OpenResultDatabase(db_path, table, &db_, &exit_code_, error)) return false;
  exit_code_ = kExitFailed;
  // Row order is load order, which is the order of the result file.
  if (!db_.Prepare("SELECT * FROM " + host::QuoteIdentifier(table) + " ORDER BY rowid",
                   &select_)) {
    *error = db_.error();
    return false;
  }
  for (int i = 0; i < select_.ColumnCount(); ++i) header_.push_back(select_.ColumnName(i));
  return true;
}

bool ResultReader::NextLine() {
  while (std::getline(file_, bytes_)) {
    if (!bytes_.empty() && bytes_.back() == '\r') bytes_.pop_back();
    if (bytes_.empty()) continue;
    Decode(bytes_);
    return true;
  }
  if (file_.bad()) error_ = "cannot read " + path_;
  return false;
}

void ResultReader::Decode(const std::string& bytes) {
  if (utf8_ && host::IsValidUtf8(bytes)) {
    text_ = bytes;
    return;
  }
  if (codec_.Gb18030ToUtf8(bytes, &text_)) return;
  text_ = host::IsValidUtf8(bytes) ? bytes : codec_.Gb18030ToUtf8Replacing(bytes);
}

bool ResultReader::Next(std::vector<std::string_view>* cells) {
  if (select_.valid()) {
    bool row = false;
    if (!select_.Step(&row)) {
      error_ = db_.error();
      return false;
    }
    if (!row) return false;
    cells_.resize(static_cast<size_t>(select_.ColumnCount()));
    for (int i = 0; i < select_.ColumnCount(); ++i) {
      std::string& cell = cells_[static_cast<size_t>(i)];
      if (select_.ColumnType(i) == SQLITE_FLOAT) {
        char number[64];
        std::snprintf(number, sizeof number, "%.4f", select_.ColumnDouble(i));
        cell = number;
      } else {
        cell = select_.ColumnBytes(i);
      }
    }
    cells->assign(cells_.begin(), cells_.end());
    return true;
  }
  if (!NextLine()) return false;
  SplitTabs(text_, cells);
  return true;
}

}  // namespace vocs::cli
