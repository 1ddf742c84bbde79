#include "host/tagged_record_reader.h"

#include <fstream>

namespace vocs::host {

namespace {

std::string LineMessage(int64_t line, const std::string& what) {
  return "line " + std::to_string(line) + ": " + what;
}

}  // namespace

bool ReadTaggedRecords(const std::string& path, const TaggedRecordSink& sink, int64_t* records,
                       std::string* error) {
  *records = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot open the record file " + path;
    return false;
  }
  std::vector<TaggedField> fields;
  bool in_record = false;
  int64_t record_line = 0;
  const auto flush = [&]() {
    if (!in_record) return true;
    if (fields.empty()) {
      *error = LineMessage(record_line, "a record without fields");
      return false;
    }
    if (!sink(fields, record_line, error)) return false;
    ++*records;
    fields.clear();
    return true;
  };

  std::string line;
  int64_t number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (line == "<REC>") {
      if (!flush()) return false;
      in_record = true;
      record_line = number;
      continue;
    }
    const size_t close = line.find('>');
    if (line[0] != '<' || close == std::string::npos || close == 1 || close + 1 >= line.size() ||
        line[close + 1] != '=') {
      *error = LineMessage(number, "neither \"<REC>\" nor a \"<tag>=value\" line");
      return false;
    }
    if (!in_record) {
      *error = LineMessage(number, "a field before the first \"<REC>\"");
      return false;
    }
    TaggedField field{line.substr(1, close - 1), line.substr(close + 2)};
    for (const TaggedField& other : fields) {
      if (other.tag == field.tag) {
        *error = LineMessage(number, "a tag repeated within one record");
        return false;
      }
    }
    fields.push_back(std::move(field));
  }
  if (in.bad()) {
    *error = "cannot read the record file " + path;
    return false;
  }
  return flush();
}

}  // namespace vocs::host
