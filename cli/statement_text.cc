#include "cli/statement_text.h"

namespace vocs::cli {

std::vector<std::string> SplitStatements(std::string_view text) {
  std::vector<std::string> statements;
  std::string current;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
      if (!current.empty()) statements.push_back(std::move(current));
      current.clear();
    } else if (line[first] != '#') {
      if (!current.empty()) current += '\n';
      current += line;
    }
    start = end + 1;
  }
  if (!current.empty()) statements.push_back(std::move(current));
  return statements;
}

std::string StatementRequest(std::string_view gbk_statement) {
  std::string request("sql!", 4);
  request += '\0';
  request += gbk_statement;
  request += '\0';
  return request;
}

std::string TableNameOfPath(std::string path) {
  if (path.size() > 1 && path.back() == '/') path.pop_back();
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace vocs::cli
