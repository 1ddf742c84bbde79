// The lexer of the statistics statement language.
//
// nextWord cuts statement text (code page 936 bytes, 0-terminated) into words;
// lookupKeyword classifies a word through the fixed keyword table; nextToken,
// a member of ParseState, hands one token code at a time to the parser and
// keeps the token's text alive in the state's TokenRegistry until endParse.
//
// Word rules, in the order they are tried at each byte:
//   - 0 ends the text.
//   - A byte of 0x80 or more followed by a nonzero byte is one two-byte
//     character; its bytes are never taken for punctuation or separators.
//   - Space, TAB and line feed separate words. Carriage return is an ordinary
//     character, so a word before CR LF keeps its CR.
//   - A double quote starts a quoted string running to the next double quote
//     (no escapes; separators and punctuation inside are plain text). A quote
//     inside a word ends that word and starts the next one.
//   - "/" or "'" followed by "/" starts a comment to the next line feed;
//     followed by "*" a comment to the next "*/". Either one ends a word that
//     is in progress, even in its middle.
//   - "(", ")", ",", "=" are words of their own and split words around them.
//   - Everything else, "'", "*", "+", "-", ".", "/" included, is a word
//     character.
// A word or quoted string longer than kMaxWordBytes is cut to that length, and
// the position still moves past all of it. An unterminated quotation or
// comment ends the input.
//
// Threads: ParseState holds every piece of mutable lexer and parser state, so
// separate ParseState objects may be used on separate threads at once. One
// ParseState belongs to one thread for the span of its parse.
#ifndef VOCS_LANG_LEXER_H_
#define VOCS_LANG_LEXER_H_

#include <array>
#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

#include "lang/stat_command.h"

namespace vocs {

// Token codes. Single-character tokens use the character's own code.
enum TokenCode : int {
  kTokenEnd = 0,
  kTokenOpen = '(',
  kTokenClose = ')',
  kTokenStar = '*',
  kTokenPlus = '+',
  kTokenComma = ',',
  kTokenMinus = '-',
  kTokenDot = '.',
  kTokenSlash = '/',
  kTokenEquals = '=',
  kTokenStat = 258,
  kTokenWordfreq = 259,
  kTokenAssociatedfreq = 260,
  kTokenSet = 261,
  kTokenMinfreq = 262,
  kTokenAt = 263,
  kTokenNormal = 264,
  kTokenSegascol = 265,
  kTokenNone = 266,
  kTokenFrom = 267,
  kTokenTo = 268,
  kTokenTable = 269,
  kTokenFile = 270,
  kTokenWhere = 271,
  kTokenWord = 272,
  kTokenTemppath = 273,
  // Returned instead of a token once the registry is full. No grammar rule
  // accepts it (the grammar declares no token of this code), so the
  // statement fails to parse.
  kTokenTooMany = 257,
};

struct Keyword {
  std::string_view name;  // at most 31 bytes
  int code;
};

// The keyword table, searched in this order.
inline constexpr std::array<Keyword, 24> kKeywordTable = {{
    {",", kTokenComma},         {"(", kTokenOpen},
    {")", kTokenClose},         {".", kTokenDot},
    {"*", kTokenStar},          {"=", kTokenEquals},
    {"+", kTokenPlus},          {"-", kTokenMinus},
    {"/", kTokenSlash},         {"STAT", kTokenStat},
    {"WORDFREQ", kTokenWordfreq}, {"ASSOCIATEDFREQ", kTokenAssociatedfreq},
    {"SET", kTokenSet},         {"MINFREQ", kTokenMinfreq},
    {"AT", kTokenAt},           {"FROM", kTokenFrom},
    {"TO", kTokenTo},           {"TABLE", kTokenTable},
    {"FILE", kTokenFile},       {"NORMAL", kTokenNormal},
    {"SEGASCOL", kTokenSegascol}, {"NONE", kTokenNone},
    {"WHERE", kTokenWhere},     {"TEMPPATH", kTokenTemppath},
}};

// Longest word text the lexer produces; its buffer has 256 bytes.
inline constexpr size_t kMaxWordBytes = 254;

// Where a word stands in the statement text: its first byte and the byte
// after its last, before any cut to kMaxWordBytes. At the end of the text
// both point at the 0 byte; for an unterminated quotation or comment `begin`
// is its opening character and `end` the 0 byte.
struct WordSpan {
  const char* begin = nullptr;
  const char* end = nullptr;
};

// Cuts the word that starts at or after `position` (leading separators are
// skipped) into `*word`, cut to kMaxWordBytes, and returns the position where
// the next word is to be searched. At the end of the text `*word` is empty and
// the position of the 0 byte is returned. An unterminated quotation or
// comment returns null with `*word` empty. A quoted string keeps its quotes.
// `position` must point into a 0-terminated text. With `span`, also tells
// where the word stands.
const char* nextWord(const char* position, std::string* word, WordSpan* span = nullptr);

// The code of the first keyword-table entry equal to `word` without regard to
// the case of ASCII letters, else kTokenWord.
int lookupKeyword(std::string_view word);

// The texts of the tokens of one parse. Texts are owned here and keep their
// addresses until Clear, so the parser may hold views of them.
class TokenRegistry {
 public:
  static constexpr size_t kCapacity = 1024;

  // Stores `text` and returns the stored copy, or null when kCapacity texts
  // are already held (nothing is stored then).
  const std::string* Register(std::string text);
  size_t size() const { return texts_.size(); }
  void Clear() { texts_.clear(); }

 private:
  std::deque<std::string> texts_;  // deque: growth never moves an element
};

// Everything one parse needs: the input and its position, the registry, the
// current token text and the command the grammar's actions fill.
class ParseState {
 public:
  // Default largest size of the parser's stacks, in entries.
  static constexpr int kMaxStackDepth = 10000;

  ParseState() = default;
  ParseState(const ParseState&) = delete;
  ParseState& operator=(const ParseState&) = delete;

  // Starts a parse of the 0-terminated `text` into `*command`, which is reset
  // to the empty record. Both must outlive the parse. Always returns 0.
  int beginParse(const char* text, StatCommand* command);
  // The code of the next token; its text becomes currentText(). Returns 0 at
  // the end of the input, and for ever after once an unterminated quotation
  // or comment has ended it. When the registry is full it returns
  // kTokenTooMany and sets tooManyTokens().
  int nextToken();
  // Releases every token text. Views from currentText() die here.
  void endParse();

  // Text of the token last returned: for a quoted string, the text between
  // its quotes. Valid until endParse.
  std::string_view currentText() const { return current_text_; }
  // Byte offsets in the text of the token last returned (both the text's
  // length at its end).
  size_t currentBegin() const { return current_begin_; }
  size_t currentEnd() const { return current_end_; }
  // Offset of the quotation or comment that ended the input unterminated, or
  // npos when none did.
  size_t unterminatedAt() const { return unterminated_at_; }
  // Called by the parser when it meets a token it cannot use: that token's
  // offsets are kept for syntaxErrorBegin/End (npos until then).
  void noteSyntaxError() {
    syntax_error_begin_ = current_begin_;
    syntax_error_end_ = current_end_;
  }
  size_t syntaxErrorBegin() const { return syntax_error_begin_; }
  size_t syntaxErrorEnd() const { return syntax_error_end_; }
  StatCommand* command() const { return command_; }
  bool tooManyTokens() const { return too_many_tokens_; }
  int maxStackDepth() const { return max_stack_depth_; }
  // Lowers the stack limit so tests can reach it with short statements.
  void setMaxStackDepthForTesting(int depth) { max_stack_depth_ = depth; }

 private:
  const char* text_ = nullptr;
  const char* position_ = nullptr;  // null once the input ended early
  size_t current_begin_ = 0;
  size_t current_end_ = 0;
  size_t unterminated_at_ = std::string_view::npos;
  size_t syntax_error_begin_ = std::string_view::npos;
  size_t syntax_error_end_ = std::string_view::npos;
  TokenRegistry registry_;
  std::string_view current_text_;
  StatCommand* command_ = nullptr;
  bool too_many_tokens_ = false;
  int max_stack_depth_ = kMaxStackDepth;
};

}  // namespace vocs

#endif  // VOCS_LANG_LEXER_H_
