#include "lang/lexer.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace vocs {
namespace {

// Name of a token code: the keyword's name, "WORD:<text>", or "<code>".
std::string TokenName(int code, std::string_view text) {
  if (code == kTokenWord) return "WORD:" + std::string(text);
  for (const Keyword& keyword : kKeywordTable) {
    if (keyword.code == code) return std::string(keyword.name);
  }
  return "<" + std::to_string(code) + ">";
}

// Every token of `text` up to the end of input, separated by spaces.
std::string Lex(const char* text) {
  StatCommand command;
  ParseState state;
  state.beginParse(text, &command);
  std::string out;
  for (int i = 0; i < 100; ++i) {
    int code = state.nextToken();
    if (code == kTokenEnd) break;
    if (!out.empty()) out += ' ';
    out += TokenName(code, state.currentText());
  }
  // The end of input stays the end.
  EXPECT_EQ(kTokenEnd, state.nextToken()) << text;
  state.endParse();
  return out;
}

struct LexCase {
  const char* text;
  const char* tokens;
};

TEST(LexerTest, Tokens) {
  const LexCase cases[] = {
      {"STAT wordfreq FROM a.txt TO FILE=out.txt",
       "STAT WORDFREQ FROM WORD:a.txt TO FILE = WORD:out.txt"},
      {"", ""},
      {" \t\n ", ""},
      // Keywords without regard to case; "<" and ">" are no keywords.
      {"sTaT Associatedfreq temppath where", "STAT ASSOCIATEDFREQ TEMPPATH WHERE"},
      {"< >", "WORD:< WORD:>"},
      // Punctuation splits words; "*" and "+" are tokens only standing alone.
      {"MINFREQ=5", "MINFREQ = WORD:5"},
      {"a(b,c)d", "WORD:a ( WORD:b , WORD:c ) WORD:d"},
      {"* + a*b a+b", "* + WORD:a*b WORD:a+b"},
      {"- . /", "- . /"},
      {"a.b a-b a/b", "WORD:a.b WORD:a-b WORD:a/b"},
      // Double quotes keep separators and punctuation and lose the quotes.
      {"\"a (b), c\"", "WORD:a (b), c"},
      {"\"TO\"", "WORD:TO"},
      {"\"\"", "WORD:"},
      {"x\"y z\"w", "WORD:x WORD:y z WORD:w"},
      {"STAT \"never closed", "STAT"},
      // Apostrophes: a string that loses its first and last byte, cut like
      // any word at separators and punctuation.
      {"'hello world'", "WORD:hell WORD:world'"},
      {"'a b", "WORD: WORD:b"},
      {"'", "WORD:"},
      {"'x(y)'", "WORD: ( WORD:y ) WORD:"},
      {"it's", "WORD:it's"},
      // Comments.
      {"'*comment*/ STAT", "STAT"},
      {"'* never closed", ""},
      {"STAT '* never closed", "STAT"},
      {"/* c */STAT/*x*/FROM", "STAT FROM"},
      {"/*/ STAT */ FROM", "FROM"},
      {"ab//comment\nSTAT", "WORD:ab STAT"},
      {"ab'/comment\ncd", "WORD:ab WORD:cd"},
      {"ab/*c*/cd", "WORD:ab WORD:cd"},
      {"STAT // no line feed", "STAT"},
      {"a'*b*/c", "WORD:a WORD:c"},
      // Carriage return is a word character.
      {"NORMAL\r\nNONE", "WORD:NORMAL\r NONE"},
      // A byte of 0x80 or more and the byte after it are one character.
      {"\xB1(\xB2, x", "WORD:\xB1(\xB2, WORD:x"},
      {"\xB1\"a b\"", "WORD:\xB1\"a WORD:b"},
      {"\xB1/ /", "WORD:\xB1/ /"},
      {"ab\xB1", "WORD:ab\xB1"},
  };
  for (const LexCase& c : cases) {
    EXPECT_EQ(c.tokens, Lex(c.text)) << "text: " << c.text;
  }
}

TEST(LexerTest, NextWordPositions) {
  std::string word;
  const char* text = "ab cd";
  EXPECT_EQ(text + 3, nextWord(text, &word));
  EXPECT_EQ("ab", word);
  // At the end: an empty word and the position of the 0 byte.
  EXPECT_EQ(text + 5, nextWord(text + 3, &word));
  EXPECT_EQ("cd", word);
  EXPECT_EQ(text + 5, nextWord(text + 5, &word));
  EXPECT_EQ("", word);

  // A quote inside a word is returned so that it opens the next word.
  const char* quoted = "a\"b\"";
  EXPECT_EQ(quoted + 1, nextWord(quoted, &word));
  EXPECT_EQ("a", word);
  EXPECT_EQ(quoted + 4, nextWord(quoted + 1, &word));
  EXPECT_EQ("\"b\"", word);

  // Punctuation ends a word without being consumed.
  const char* punct = "a=b";
  EXPECT_EQ(punct + 1, nextWord(punct, &word));
  EXPECT_EQ(punct + 2, nextWord(punct + 1, &word));
  EXPECT_EQ("=", word);

  // Unterminated quotation and comments: null, nothing in the word.
  for (const char* open : {"\"abc", "//abc", "'/abc", "/*abc*", "'*abc"}) {
    word = "stale";
    EXPECT_EQ(nullptr, nextWord(open, &word)) << open;
    EXPECT_EQ("", word) << open;
  }
}

TEST(LexerTest, NextWordSpans) {
  // Spans skip separators and comments, hold a quoted string's quotes, and
  // cover the whole of a word that was cut.
  const std::string long_word(300, 'x');
  const std::string text = " /* c */ ab\t\"q r\"=" + long_word + " \"open";
  const char* p = text.c_str();
  std::vector<std::string> spans;
  std::string word;
  WordSpan span;
  while ((p = nextWord(p, &word, &span)) != nullptr && !word.empty()) {
    spans.push_back(std::to_string(span.begin - text.c_str()) + "+" +
                    std::to_string(span.end - span.begin));
  }
  EXPECT_EQ(spans, (std::vector<std::string>{"9+2", "12+5", "17+1", "18+300"}));
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(span.begin - text.c_str(), 319);  // the unterminated quotation
  EXPECT_EQ(*span.end, '\0');
}

TEST(LexerTest, LongWordsAreCutAndLexingContinues) {
  const std::string long_word(300, 'x');
  std::string word;
  std::string text = long_word + " STAT";
  const char* next = nextWord(text.c_str(), &word);
  EXPECT_EQ(std::string(kMaxWordBytes, 'x'), word);
  EXPECT_EQ(text.c_str() + 301, next);

  EXPECT_EQ("WORD:" + std::string(254, 'x') + " STAT", Lex(text.c_str()));
  // A quoted string is cut with its opening quote counted; the last byte of
  // the cut is then dropped as if it were the closing quote.
  std::string quoted = "\"" + long_word + "\" FROM";
  EXPECT_EQ("WORD:" + std::string(252, 'x') + " FROM", Lex(quoted.c_str()));
}

TEST(LexerTest, KeywordTable) {
  const Keyword expected[] = {
      {",", 44},        {"(", 40},          {")", 41},       {".", 46},
      {"*", 42},        {"=", 61},          {"+", 43},       {"-", 45},
      {"/", 47},        {"STAT", 258},      {"WORDFREQ", 259}, {"ASSOCIATEDFREQ", 260},
      {"SET", 261},     {"MINFREQ", 262},   {"AT", 263},     {"FROM", 267},
      {"TO", 268},      {"TABLE", 269},     {"FILE", 270},   {"NORMAL", 264},
      {"SEGASCOL", 265}, {"NONE", 266},     {"WHERE", 271},  {"TEMPPATH", 273},
  };
  ASSERT_EQ(std::size(expected), kKeywordTable.size());
  for (size_t i = 0; i < kKeywordTable.size(); ++i) {
    EXPECT_EQ(expected[i].name, kKeywordTable[i].name) << i;
    EXPECT_EQ(expected[i].code, kKeywordTable[i].code) << i;
    EXPECT_LT(kKeywordTable[i].name.size(), 32u);
  }
  EXPECT_EQ(kTokenWord, lookupKeyword("STATS"));
  EXPECT_EQ(kTokenWord, lookupKeyword(""));
  EXPECT_EQ(kTokenFrom, lookupKeyword("fRoM"));
}

TEST(LexerTest, RegistryHoldsAtMost1024Texts) {
  std::string text;
  for (int i = 0; i < 1030; ++i) text += "w" + std::to_string(i) + " ";
  StatCommand command;
  ParseState state;
  state.beginParse(text.c_str(), &command);
  ASSERT_EQ(kTokenWord, state.nextToken());
  const std::string_view first = state.currentText();
  for (int i = 1; i < 1024; ++i) {
    ASSERT_EQ(kTokenWord, state.nextToken()) << i;
  }
  EXPECT_EQ("w1023", state.currentText());
  EXPECT_FALSE(state.tooManyTokens());
  // Texts already handed out stay where they are while the registry grows.
  EXPECT_EQ("w0", first);

  EXPECT_EQ(kTokenTooMany, state.nextToken());
  EXPECT_TRUE(state.tooManyTokens());
  EXPECT_EQ("", state.currentText());
  EXPECT_EQ(kTokenTooMany, state.nextToken());
  state.endParse();

  // A new parse starts with an empty registry.
  state.beginParse("a", &command);
  EXPECT_FALSE(state.tooManyTokens());
  EXPECT_EQ(kTokenWord, state.nextToken());
  state.endParse();
}

}  // namespace
}  // namespace vocs
