#include "cli/statement_text.h"

#include <cctype>

namespace vocs::cli {

namespace {

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool IsPunct(char c) { return c == '(' || c == ')' || c == ',' || c == '='; }

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

struct Word {
  std::string text;
  bool quoted = false;
};

// The words of a statement, cut like the statement language's lexer does.
std::vector<Word> Words(std::string_view s) {
  std::vector<Word> words;
  size_t i = 0;
  while (i < s.size()) {
    if (IsSeparator(s[i])) {
      ++i;
      continue;
    }
    if ((s[i] == '/' || s[i] == '\'') && i + 1 < s.size() && (s[i + 1] == '/' || s[i + 1] == '*')) {
      const size_t end = s[i + 1] == '/' ? s.find('\n', i + 2) : s.find("*/", i + 2);
      if (end == std::string_view::npos) break;
      i = end + (s[i + 1] == '/' ? 1 : 2);
      continue;
    }
    if (IsPunct(s[i])) {
      words.push_back({std::string(1, s[i]), false});
      ++i;
      continue;
    }
    if (s[i] == '"') {
      const size_t close = s.find('"', i + 1);
      if (close == std::string_view::npos) break;
      words.push_back({std::string(s.substr(i + 1, close - i - 1)), true});
      i = close + 1;
      continue;
    }
    size_t end = i;
    while (end < s.size() && !IsSeparator(s[end]) && !IsPunct(s[end]) && s[end] != '"') {
      if ((s[end] == '/' || s[end] == '\'') && end > i && end + 1 < s.size() &&
          (s[end + 1] == '/' || s[end + 1] == '*')) {
        break;
      }
      ++end;
    }
    Word word{std::string(s.substr(i, end - i)), false};
    if (word.text[0] == '\'') {  // an apostrophe string loses its first and last character
      word.text = word.text.size() >= 2 ? word.text.substr(1, word.text.size() - 2) : "";
      word.quoted = true;
    }
    words.push_back(std::move(word));
    i = end;
  }
  return words;
}

bool IsKeyword(const Word& word, std::string_view keyword) {
  return !word.quoted && EqualsIgnoreCase(word.text, keyword);
}

}  // namespace

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

OutputClause FindOutputClause(std::string_view statement) {
  OutputClause clause;
  const std::vector<Word> words = Words(statement);
  for (size_t i = 0; i + 3 < words.size(); ++i) {
    if (!IsKeyword(words[i], "TO")) continue;
    const bool table = IsKeyword(words[i + 1], "TABLE");
    if (!table && !IsKeyword(words[i + 1], "FILE")) continue;
    if (words[i + 2].quoted || words[i + 2].text != "=") continue;
    clause.found = true;
    clause.table = table;
    clause.name = words[i + 3].text;
  }
  return clause;
}

std::string ResolveOutputPath(const OutputClause& clause, const std::string& program_directory) {
  std::string path;
  if (!clause.name.empty() && clause.name[0] == '/') {
    path = clause.name;
  } else {
    path = program_directory + "/" + (clause.table ? "LOCAL_HS_DB/" : "") + clause.name;
  }
  if (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string TableNameOfPath(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace vocs::cli
