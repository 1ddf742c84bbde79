#include "cli/statement_plan.h"

#include <algorithm>
#include <map>

#include "cli/statement_text.h"
#include "cli/text_table.h"
#include "host/host_catalog.h"
#include "host/host_statement.h"
#include "lang/lexer.h"
#include "lang/parser.h"

namespace vocs::cli {

namespace {

// The shapes of a statement, shown under a syntax error.
constexpr const char* kStatementForms =
    "a statement reads STAT WORDFREQ (or ASSOCIATEDFREQ) [SET MINFREQ=n TEMPPATH=dir]\n"
    "  AT field(NORMAL|NONE|SEGASCOL, chars) ... TO TABLE=t|FILE=f WHERE query, or\n"
    "  FROM file ... TO TABLE=t|FILE=f (see 'vocs run --help')";

bool IsKeywordOutsideQuery(int code) {
  return code >= kTokenStat && code <= kTokenTemppath && code != kTokenWord &&
         code != kTokenFrom && code != kTokenWhere;
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// The UTF-8 offset of a GB18030 offset that stands on a character boundary.
size_t Utf8Offset(const StatementPlan& plan, size_t gb18030_offset, host::TextCodec* codec) {
  gb18030_offset = std::min(gb18030_offset, plan.gb18030.size());
  return codec->Gb18030ToUtf8Replacing(std::string_view(plan.gb18030).substr(0, gb18030_offset))
      .size();
}

StatementProblem ProblemAt(const StatementPlan& plan, size_t begin, size_t end,
                           std::string message, host::TextCodec* codec) {
  StatementProblem problem;
  problem.message = std::move(message);
  problem.offset = Utf8Offset(plan, begin, codec);
  problem.length = Utf8Offset(plan, end, codec) - problem.offset;
  return problem;
}

// Where the UTF-8 text stops converting, for a statement that does not.
StatementProblem ConversionProblem(const std::string& utf8, host::TextCodec* codec) {
  StatementProblem problem;
  std::string ignored;
  for (size_t i = 0; i < utf8.size();) {
    size_t n = 1;
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c >= 0xF0) {
      n = 4;
    } else if (c >= 0xE0) {
      n = 3;
    } else if (c >= 0xC0) {
      n = 2;
    }
    n = std::min(n, utf8.size() - i);
    const std::string_view piece = std::string_view(utf8).substr(i, n);
    if (!host::IsValidUtf8(piece)) {
      problem.message = "the statement is not UTF-8 text here";
      problem.offset = i;
      problem.length = 1;
      return problem;
    }
    if (!codec->Utf8ToGb18030(piece, &ignored)) {
      problem.message = "this character has no form in the module's code page (GB18030)";
      problem.offset = i;
      problem.length = n;
      return problem;
    }
    i += n;
  }
  problem.message = "the statement cannot be converted to the module's code page";
  return problem;
}

std::string ParseErrorMessage(const StatementPlan& plan, size_t word_index) {
  const auto before = [&](int code) {
    for (size_t i = 0; i < word_index && i < plan.words.size(); ++i) {
      if (plan.words[i].code == code) return true;
    }
    return false;
  };
  if (word_index >= plan.words.size()) {
    if (before(kTokenAt) && !before(kTokenWhere)) {
      return "the statement ends here, but a statement with AT ends with WHERE and the query";
    }
    return std::string("the statement ends too early\n") + kStatementForms;
  }
  const StatementWord& word = plan.words[word_index];
  const std::string shown = "'" + word.text + "'";
  if (before(kTokenWhere)) {
    if (word.code == kTokenOpen || word.code == kTokenClose) {
      return "parentheses cannot stand in a query; put the query, or the part with the "
             "parentheses, in double quotes: WHERE \"SELECT ... (...) ...\"";
    }
    if (IsKeywordOutsideQuery(word.code)) {
      return shown + " is a word of the statement language; in a query, put it in double "
                     "quotes: \"" + word.text + "\"";
    }
  }
  if (word.code == kTokenMinus || word.code == kTokenDot || word.code == kTokenSlash) {
    return "a lone " + shown + " is no word of the statement language; put it in double "
                               "quotes";
  }
  if (word.code == kTokenWhere && before(kTokenFrom) && !before(kTokenAt)) {
    return "a statement with FROM takes no WHERE clause";
  }
  return "unexpected " + shown + "\n" + kStatementForms;
}

bool HasFourByteCharacter(std::string_view gb18030) {
  for (size_t i = 0; i + 1 < gb18030.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(gb18030[i]);
    const unsigned char d = static_cast<unsigned char>(gb18030[i + 1]);
    if (c >= 0x81 && c <= 0xFE) {
      if (d >= '0' && d <= '9') return true;
      ++i;
    }
  }
  return false;
}

// Finds the words Rewrite replaces, walking the shape of an accepted
// statement: STAT kind [SET settings] (AT sources | FROM names) TO kind = name.
void FindParts(StatementPlan* plan) {
  const std::vector<StatementWord>& w = plan->words;
  size_t i = 2;
  if (i < w.size() && w[i].code == kTokenSet) {
    plan->set_word = static_cast<int>(i++);
    while (i + 2 < w.size() && (w[i].code == kTokenMinfreq || w[i].code == kTokenTemppath)) {
      if (w[i].code == kTokenTemppath) plan->temp_path_word = static_cast<int>(i + 2);
      i += 3;
      if (i < w.size() && w[i].code == kTokenComma) ++i;
    }
  }
  const bool from = i < w.size() && w[i].code == kTokenFrom;
  for (++i; i < w.size() && w[i].code != kTokenTo; ++i) {
    if (from && w[i].code == kTokenWord) plan->file_words.push_back(static_cast<int>(i));
  }
  if (i + 3 < w.size()) plan->output_word = static_cast<int>(i + 3);
}

}  // namespace

std::string StatementPlan::OutputName(host::TextCodec* codec) const {
  return codec->Gb18030ToUtf8Replacing(command.outputName);
}

std::string StatementPlan::TempPath(host::TextCodec* codec) const {
  return codec->Gb18030ToUtf8Replacing(command.tempPath);
}

std::vector<std::string> StatementPlan::FileNames(host::TextCodec* codec) const {
  std::vector<std::string> names;
  for (const std::string& file : command.files) {
    names.push_back(codec->Gb18030ToUtf8Replacing(file));
  }
  return names;
}

bool AnalyzeStatement(const std::string& utf8, host::TextCodec* codec, StatementPlan* plan,
                      StatementProblem* problem) {
  *plan = StatementPlan{};
  plan->utf8 = utf8;
  if (!codec->Utf8ToGb18030(utf8, &plan->gb18030)) {
    *problem = ConversionProblem(utf8, codec);
    return false;
  }
  const char* text = plan->gb18030.c_str();
  for (const char* p = text;;) {
    std::string word;
    WordSpan span;
    p = nextWord(p, &word, &span);
    const size_t begin = static_cast<size_t>(span.begin - text);
    const size_t end = static_cast<size_t>(span.end - text);
    if (p == nullptr) {
      // A line comment at the very end loses nothing but itself.
      if (text[begin] == '"' || text[begin + 1] == '*') {
        *problem = ProblemAt(*plan, begin, begin + 2,
                             text[begin] == '"'
                                 ? "this quotation is never closed: the statement language "
                                   "would drop everything after it (a quotation cannot hold "
                                   "a double quote)"
                                 : "this comment is never closed: the statement language would "
                                   "drop everything after it",
                             codec);
        return false;
      }
      break;
    }
    if (word.empty()) break;
    if (end - begin > kMaxWordBytes) {
      *problem = ProblemAt(*plan, begin, end,
                           "this word is " + std::to_string(end - begin) +
                               " bytes long; the statement language keeps " +
                               std::to_string(kMaxWordBytes) + " and would cut it",
                           codec);
      return false;
    }
    StatementWord entry{begin, end, 0, codec->Gb18030ToUtf8Replacing(word)};
    if (word[0] == '"' || word[0] == '\'') {
      entry.code = kTokenWord;
      entry.text = entry.text.size() >= 2 ? entry.text.substr(1, entry.text.size() - 2) : "";
    } else {
      entry.code = lookupKeyword(word);
    }
    plan->words.push_back(std::move(entry));
  }

  ParseDiagnosis diagnosis;
  const int result = ParseStatement(text, &plan->command, &diagnosis);
  if (result != kParseAccepted) {
    if (diagnosis.too_many_tokens) {
      *problem = ProblemAt(*plan, diagnosis.error_begin, diagnosis.error_end,
                           "the statement has more than " +
                               std::to_string(TokenRegistry::kCapacity) +
                               " words, more than the statement language takes",
                           codec);
      return false;
    }
    size_t index = 0;
    while (index < plan->words.size() && plan->words[index].begin < diagnosis.error_begin) {
      ++index;
    }
    const size_t begin = std::min(diagnosis.error_begin, plan->gb18030.size());
    const size_t end = std::max(begin, std::min(diagnosis.error_end, plan->gb18030.size()));
    *problem = ProblemAt(*plan, begin, end, ParseErrorMessage(*plan, index), codec);
    return false;
  }
  if (plan->command.kind == 0) {
    if (plan->words.empty()) {
      *problem = StatementProblem{"the statement is empty", 0, 0};
    } else {
      *problem = ProblemAt(*plan, plan->words[0].begin, plan->words[0].end,
                           "this is no statement, only a part of one\n" +
                               std::string(kStatementForms),
                           codec);
    }
    return false;
  }
  FindParts(plan);

  for (size_t i = 0; i + 2 < plan->words.size(); ++i) {
    if (plan->words[i].code != kTokenSegascol) continue;
    const StatementWord& delimiters = plan->words[i + 2];
    std::string bytes;
    codec->Utf8ToGb18030(delimiters.text, &bytes);
    if (HasFourByteCharacter(bytes)) {
      *problem = ProblemAt(*plan, delimiters.begin, delimiters.end,
                           "SEGASCOL delimiters must be characters of GBK; the module cannot cut "
                           "at characters outside it",
                           codec);
      return false;
    }
  }
  if (plan->output_word < 0) {
    *problem = StatementProblem{"cannot find the output clause", 0, 0};
    return false;
  }
  const StatementWord& output = plan->words[static_cast<size_t>(plan->output_word)];
  const std::string name = plan->OutputName(codec);
  if (name.empty()) {
    *problem = ProblemAt(*plan, output.begin, output.end,
                         plan->writes_table() ? "TO TABLE needs a table name"
                                              : "TO FILE needs a file name",
                         codec);
    return false;
  }
  if (plan->writes_table()) {
    const std::string table = TableNameOfPath(name);
    if (!host::IsValidName(table) || host::HostCatalog::IsReservedName(table)) {
      *problem = ProblemAt(*plan, output.begin, output.end,
                           "the table name " + Quoted(table) +
                               " cannot be used: use letters, digits, _ $ - . and non-ASCII "
                               "characters",
                           codec);
      return false;
    }
  }
  return true;
}

bool Rewrite(const StatementPlan& plan, const RewriteNames& names, host::TextCodec* codec,
             std::string* gb18030, std::string* error) {
  const auto quote = [&](const std::string& utf8, std::string* out) {
    std::string bytes;
    if (!codec->Utf8ToGb18030(utf8, &bytes)) {
      *error = "the name " + utf8 + " has no form in the module's code page";
      return false;
    }
    if (bytes.find('"') != std::string::npos) {
      *error = "the name " + utf8 + " holds a double quote, which a statement cannot carry";
      return false;
    }
    if (bytes.size() > kMaxQuotedBytes) {
      *error = "the name " + utf8 + " is " + std::to_string(bytes.size()) +
               " bytes long in the module's code page; a statement carries at most " +
               std::to_string(kMaxQuotedBytes);
      return false;
    }
    *out = "\"" + bytes + "\"";
    return true;
  };

  // Replacements by word position; the TEMPPATH setting is inserted when the
  // statement has none.
  std::map<int, std::string> replacements;
  if (names.files.size() != plan.file_words.size()) {
    *error = "internal: the FROM names do not match";
    return false;
  }
  for (size_t i = 0; i < names.files.size(); ++i) {
    if (!quote(names.files[i], &replacements[plan.file_words[i]])) return false;
  }
  if (!quote(names.output, &replacements[plan.output_word])) return false;
  std::string temp;
  if (!quote(names.temp_path, &temp)) return false;
  std::string inserted;
  size_t insert_at = 0;
  if (plan.temp_path_word >= 0) {
    replacements[plan.temp_path_word] = temp;
  } else if (plan.set_word >= 0) {
    insert_at = plan.words[static_cast<size_t>(plan.set_word)].end;
    inserted = " TEMPPATH=" + temp;
  } else {
    insert_at = plan.words[1].end;
    inserted = " SET TEMPPATH=" + temp;
  }

  std::string out;
  size_t copied = 0;
  for (const auto& [index, text] : replacements) {
    const StatementWord& word = plan.words[static_cast<size_t>(index)];
    if (!inserted.empty() && insert_at <= word.begin && insert_at >= copied) {
      out.append(plan.gb18030, copied, insert_at - copied);
      out += inserted;
      copied = insert_at;
      inserted.clear();
    }
    out.append(plan.gb18030, copied, word.begin - copied);
    out += text;
    copied = word.end;
  }
  if (!inserted.empty()) {
    out.append(plan.gb18030, copied, insert_at - copied);
    out += inserted;
    copied = insert_at;
  }
  out.append(plan.gb18030, copied, std::string::npos);

  // The module must read the same statement with only the names changed.
  StatCommand check;
  std::string expected_output;
  std::string expected_temp;
  codec->Utf8ToGb18030(names.output, &expected_output);
  codec->Utf8ToGb18030(names.temp_path, &expected_temp);
  const StatCommand& original = plan.command;
  bool same = ParseStatement(out.c_str(), &check) == kParseAccepted &&
              check.kind == original.kind && check.sourceKind == original.sourceKind &&
              check.minFrequency == original.minFrequency &&
              check.outputKind == original.outputKind && check.query == original.query &&
              check.outputName == expected_output && check.tempPath == expected_temp &&
              check.fields.size() == original.fields.size() &&
              check.files.size() == names.files.size();
  for (size_t i = 0; same && i < check.fields.size(); ++i) {
    same = check.fields[i].name == original.fields[i].name &&
           check.fields[i].mode == original.fields[i].mode &&
           check.fields[i].delimiters == original.fields[i].delimiters;
  }
  for (size_t i = 0; same && i < check.files.size(); ++i) {
    std::string expected;
    codec->Utf8ToGb18030(names.files[i], &expected);
    same = check.files[i] == expected;
  }
  if (!same) {
    *error = "internal: the statement with the command's paths does not read as the original";
    return false;
  }
  *gb18030 = std::move(out);
  return true;
}

std::string ShowProblem(const std::string& statement, const StatementProblem& problem) {
  const size_t offset = std::min(problem.offset, statement.size());
  size_t line_start = statement.rfind('\n', offset == 0 ? 0 : offset - 1);
  line_start = (line_start == std::string::npos || offset == 0) ? 0 : line_start + 1;
  if (offset > 0 && statement[offset - 1] == '\n') line_start = offset;
  size_t line_end = statement.find('\n', offset);
  if (line_end == std::string::npos) line_end = statement.size();
  const std::string line = EscapeControls(statement.substr(line_start, line_end - line_start));
  const std::string before = EscapeControls(statement.substr(line_start, offset - line_start));
  const size_t mark_end = std::min(offset + std::max<size_t>(problem.length, 1), line_end);
  const std::string marked =
      EscapeControls(statement.substr(offset, mark_end > offset ? mark_end - offset : 0));
  const int width = std::max(1, DisplayWidth(marked));
  std::string out = "  " + line + "\n";
  out += "  " + std::string(static_cast<size_t>(DisplayWidth(before)), ' ') +
         std::string(static_cast<size_t>(width), '^') + "\n";
  return out;
}

}  // namespace vocs::cli
