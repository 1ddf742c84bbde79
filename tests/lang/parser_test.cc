#include "lang/parser.h"

#include <string>
#include <thread>
#include <vector>

#include "gtest/gtest.h"

namespace vocs {
namespace {

// One line per record: every field, texts in brackets.
std::string Dump(const StatCommand& c) {
  std::string out = "kind=" + std::to_string(c.kind) + " min=" + std::to_string(c.minFrequency) +
                    " temp=[" + c.tempPath + "] src=" + std::to_string(c.sourceKind) + " files=";
  for (const std::string& file : c.files) out += "[" + file + "]";
  out += " fields=";
  for (const FieldSource& field : c.fields) {
    out += "[" + field.name + "," + std::to_string(field.mode) + "," + field.delimiters + "]";
  }
  out += " out=" + std::to_string(c.outputKind) + "[" + c.outputName + "] query=[" + c.query + "]";
  return out;
}

// "ERROR <n>" for a refused statement, else the dump of its record.
std::string Parse(const std::string& text) {
  StatCommand command;
  int result = ParseStatement(text.c_str(), &command);
  if (result != kParseAccepted) return "ERROR " + std::to_string(result);
  return Dump(command);
}

struct ParseCase {
  const char* text;
  const char* record;
};

void RunCases(const ParseCase* begin, const ParseCase* end) {
  for (const ParseCase* c = begin; c != end; ++c) {
    EXPECT_EQ(c->record, Parse(c->text)) << "statement: " << c->text;
  }
}

TEST(ParserTest, Statements) {
  const ParseCase cases[] = {
      {"STAT WORDFREQ FROM a.txt, b.txt TO FILE=out.txt",
       "kind=1 min=0 temp=[] src=1 files=[a.txt][b.txt] fields= out=1[out.txt] query=[]"},
      {"STAT ASSOCIATEDFREQ AT title(NONE) abstract(SEGASCOL, ;) TO TABLE=t "
       "WHERE SELECT * FROM docs",
       "kind=2 min=0 temp=[] src=2 files= fields=[title,0,][abstract,1,;] out=2[t] "
       "query=[SELECT * FROM docs]"},
      {"STAT WORDFREQ SET MINFREQ=2 AT title(NORMAL), keywords(SEGASCOL, \"; \") "
       "TO TABLE=result WHERE SELECT * FROM docs WHERE year=2009",
       "kind=1 min=2 temp=[] src=2 files= fields=[title,2,][keywords,1,; ] out=2[result] "
       "query=[SELECT * FROM docs WHERE year= 2009]"},
      {"STAT ASSOCIATEDFREQ FROM a b,c TO TABLE=t",
       "kind=2 min=0 temp=[] src=1 files=[a][b][c] fields= out=2[t] query=[]"},
      {"stat wordfreq from x to file=y",
       "kind=1 min=0 temp=[] src=1 files=[x] fields= out=1[y] query=[]"},
      {"Stat WordFreq At f(none) To Table=t Where q",
       "kind=1 min=0 temp=[] src=2 files= fields=[f,0,] out=2[t] query=[q]"},
      // Comments and line breaks between the parts.
      {"STAT WORDFREQ // frequency\nFROM /* two */ a\tb\nTO FILE=o",
       "kind=1 min=0 temp=[] src=1 files=[a][b] fields= out=1[o] query=[]"},
      // Quoting makes keywords and punctuation plain words.
      {"STAT WORDFREQ FROM \"TO\" \"a b(c)\" TO FILE=\"FILE\"",
       "kind=1 min=0 temp=[] src=1 files=[TO][a b(c)] fields= out=1[FILE] query=[]"},
      {"STAT WORDFREQ AT f(NONE) TO FILE=o WHERE SELECT \"TO\" \"(x)\"",
       "kind=1 min=0 temp=[] src=2 files= fields=[f,0,] out=1[o] query=[SELECT TO (x)]"},
      // An empty output word.
      {"STAT WORDFREQ FROM a TO FILE=\"\"",
       "kind=1 min=0 temp=[] src=1 files=[a] fields= out=1[] query=[]"},
      // An unterminated comment after a complete statement ends the input.
      {"STAT WORDFREQ FROM a TO FILE=o /* trailing",
       "kind=1 min=0 temp=[] src=1 files=[a] fields= out=1[o] query=[]"},
  };
  RunCases(std::begin(cases), std::end(cases));
}

TEST(ParserTest, QueryRebuiltFromTokens) {
  const ParseCase cases[] = {
      {"q", "q"},
      {"SELECT * FROM docs WHERE year=2009", "SELECT * FROM docs WHERE year= 2009"},
      {"a=b + c,d * e", "a= b+ c, d * e"},
      {"a=b+c", "a= b+c"},
      {"SELECT a*b FROM t", "SELECT a*b FROM t"},
      // An apostrophe phrase loses its first word's last byte; quotes stay off.
      {"SELECT 'xz y' \"p q\"", "SELECT x y' p q"},
      {"a <> b", "a <> b"},
  };
  for (const ParseCase& c : cases) {
    std::string text = std::string("STAT WORDFREQ AT f(NONE) TO FILE=o WHERE ") + c.text;
    StatCommand command;
    ASSERT_EQ(kParseAccepted, ParseStatement(text.c_str(), &command)) << c.text;
    EXPECT_EQ(c.record, command.query) << c.text;
  }
}

TEST(ParserTest, Settings) {
  const std::string same =
      "kind=1 min=3 temp=[x] src=1 files=[a] fields= out=1[o] query=[]";
  const ParseCase cases[] = {
      {"STAT WORDFREQ SET MINFREQ=3, TEMPPATH=x FROM a TO FILE=o", same.c_str()},
      {"STAT WORDFREQ SET TEMPPATH=x MINFREQ=3 FROM a TO FILE=o", same.c_str()},
      {"STAT WORDFREQ SET TEMPPATH = x , MINFREQ = 3 FROM a TO FILE=o", same.c_str()},
      {"STAT WORDFREQ set minfreq=3 temppath=x FROM a TO FILE=o", same.c_str()},
      // The last value of a repeated setting wins.
      {"STAT WORDFREQ SET MINFREQ=1 TEMPPATH=y MINFREQ=3, TEMPPATH=x FROM a TO FILE=o",
       same.c_str()},
      // A setting that is not named keeps its empty value.
      {"STAT WORDFREQ SET TEMPPATH=x FROM a TO FILE=o",
       "kind=1 min=0 temp=[x] src=1 files=[a] fields= out=1[o] query=[]"},
      {"STAT WORDFREQ SET MINFREQ=7 FROM a TO FILE=o",
       "kind=1 min=7 temp=[] src=1 files=[a] fields= out=1[o] query=[]"},
      {"STAT WORDFREQ SET TEMPPATH=\"C:\\tmp dir\" FROM a TO FILE=o",
       "kind=1 min=0 temp=[C:\\tmp dir] src=1 files=[a] fields= out=1[o] query=[]"},
  };
  RunCases(std::begin(cases), std::end(cases));
}

TEST(ParserTest, MinimumFrequencyValue) {
  const struct {
    const char* word;
    int32_t value;
  } cases[] = {
      {"3", 3},          {"abc", 0},          {"-5", -5},         {"+4", 4},
      {"12abc", 12},     {"\" \t 7\"", 7},    {"\"- 7\"", 0},     {"007", 7},
      {"2147483647", 2147483647},             {"-2147483648", -2147483647 - 1},
      {"99999999999", 2147483647},            {"-99999999999", -2147483647 - 1},
  };
  for (const auto& c : cases) {
    std::string text = std::string("STAT WORDFREQ SET MINFREQ=") + c.word + " FROM a TO FILE=o";
    StatCommand command;
    ASSERT_EQ(kParseAccepted, ParseStatement(text.c_str(), &command)) << c.word;
    EXPECT_EQ(c.value, command.minFrequency) << c.word;
  }
}

TEST(ParserTest, Fragments) {
  // A fragment parses, but names no operation.
  const ParseCase cases[] = {
      {"", "kind=0 min=0 temp=[] src=0 files= fields= out=0[] query=[]"},
      {"  // only a comment", "kind=0 min=0 temp=[] src=0 files= fields= out=0[] query=[]"},
      {"SET MINFREQ=2", "kind=0 min=2 temp=[] src=0 files= fields= out=0[] query=[]"},
      {"MINFREQ=2 TEMPPATH=t", "kind=0 min=2 temp=[t] src=0 files= fields= out=0[] query=[]"},
      {"TEMPPATH=t", "kind=0 min=0 temp=[t] src=0 files= fields= out=0[] query=[]"},
      // A lone word is a file list before the end, a WORD or ",".
      {"a", "kind=0 min=0 temp=[] src=0 files=[a] fields= out=0[] query=[]"},
      {"a b, c", "kind=0 min=0 temp=[] src=0 files=[a][b][c] fields= out=0[] query=[]"},
      // ... a source before "(", and a query before anything else.
      {"a(NONE) b(NORMAL)",
       "kind=0 min=0 temp=[] src=0 files= fields=[a,0,][b,2,] out=0[] query=[]"},
      {"a = b", "kind=0 min=0 temp=[] src=0 files= fields= out=0[] query=[a= b]"},
      {"a * b", "kind=0 min=0 temp=[] src=0 files= fields= out=0[] query=[a * b]"},
      {"a FROM b", "kind=0 min=0 temp=[] src=0 files= fields= out=0[] query=[a FROM b]"},
      {"TO FILE=x", "kind=0 min=0 temp=[] src=0 files= fields= out=1[x] query=[]"},
  };
  RunCases(std::begin(cases), std::end(cases));
}

TEST(ParserTest, Errors) {
  const char* const cases[] = {
      // Parentheses and unquoted keywords other than FROM and WHERE in a query.
      "STAT WORDFREQ AT f(NONE) TO FILE=o WHERE SELECT count(*) FROM t",
      "STAT WORDFREQ AT f(NONE) TO FILE=o WHERE a AT b",
      "STAT WORDFREQ AT f(NONE) TO FILE=o WHERE a TO b",
      "STAT WORDFREQ AT f(NONE) TO FILE=o WHERE a SET b",
      "STAT WORDFREQ AT f(NONE) TO FILE=o WHERE a NONE b",
      "STAT WORDFREQ AT f(NONE) TO FILE=o WHERE a FILE b",
      "STAT WORDFREQ AT f(NONE) TO FILE=o WHERE a TABLE b",
      "STAT WORDFREQ AT f(NONE) TO FILE=o WHERE a FROM",
      // Words that are tokens no rule accepts.
      "STAT WORDFREQ FROM a - b TO FILE=o",
      "STAT WORDFREQ FROM a . b TO FILE=o",
      "STAT WORDFREQ FROM a / b TO FILE=o",
      "-",
      // The FROM form takes no WHERE; the AT form needs one.
      "STAT WORDFREQ FROM a TO FILE=o WHERE q",
      "STAT WORDFREQ AT f(NONE) TO FILE=o",
      // Missing or misplaced parts.
      "STAT",
      "STAT WORDFREQ",
      "STAT SET MINFREQ=1 WORDFREQ FROM a TO FILE=o",
      "STAT WORDFREQ FROM a",
      "STAT WORDFREQ FROM TO FILE=o",
      "STAT WORDFREQ SET FROM a TO FILE=o",
      "STAT WORDFREQ SET MINFREQ FROM a TO FILE=o",
      "STAT WORDFREQ AT f(SEGASCOL) TO FILE=o WHERE q",
      "STAT WORDFREQ AT f TO FILE=o WHERE q",
      "STAT WORDFREQ FROM a TO o",
      "STAT WORDFREQ FROM a TO FILE=o TO FILE=p",
      "STAT WORDFREQ AT f(NONE) TO FILE=o WHERE",
      "STAT WORDFREQ FROM a, , b TO FILE=o",
      "STAT WORDFREQ FROM a,TO FILE=o",
      // Input cut short by an unterminated quotation or comment.
      "STAT WORDFREQ FROM \"a TO FILE=o",
      "STAT WORDFREQ FROM a '* TO FILE=o",
      // CR is part of the word, so NORMAL is no keyword here.
      "STAT WORDFREQ AT f(NORMAL\r\n) TO FILE=o WHERE q",
  };
  for (const char* text : cases) {
    EXPECT_EQ("ERROR 1", Parse(text)) << "statement: " << text;
  }
}

TEST(ParserTest, CommandIsResetForEveryStatement) {
  StatCommand command;
  ASSERT_EQ(kParseAccepted,
            ParseStatement("STAT WORDFREQ SET MINFREQ=4 TEMPPATH=t AT f(NONE) TO TABLE=x WHERE q",
                           &command));
  ASSERT_EQ(kParseAccepted, ParseStatement("a", &command));
  EXPECT_EQ("kind=0 min=0 temp=[] src=0 files=[a] fields= out=0[] query=[]", Dump(command));
}

// "STAT WORDFREQ FROM" + n names + "TO FILE = o": n + 7 tokens.
std::string FileListStatement(int names) {
  std::string text = "STAT WORDFREQ FROM";
  for (int i = 0; i < names; ++i) text += " f" + std::to_string(i);
  return text + " TO FILE=o";
}

TEST(ParserTest, TokenLimit) {
  StatCommand command;
  // 1024 tokens fit the registry.
  ASSERT_EQ(kParseAccepted, ParseStatement(FileListStatement(1017).c_str(), &command));
  EXPECT_EQ(1017u, command.files.size());
  EXPECT_EQ("f1016", command.files.back());
  EXPECT_EQ("o", command.outputName);
  // One more is refused, and so is a statement of 2000 tokens.
  EXPECT_EQ(kParseSyntaxError, ParseStatement(FileListStatement(1018).c_str(), &command));
  EXPECT_EQ(kParseSyntaxError, ParseStatement(FileListStatement(1993).c_str(), &command));
  // A fragment that would be accepted at any length is refused as well.
  std::string words;
  for (int i = 0; i < 2000; ++i) words += "w ";
  EXPECT_EQ(kParseSyntaxError, ParseStatement(words.c_str(), &command));
}

// The token a refused statement is reported at: its text, or "<end>".
std::string ErrorToken(const std::string& text, ParseDiagnosis* diagnosis) {
  StatCommand command;
  if (ParseStatement(text.c_str(), &command, diagnosis) == kParseAccepted) return "accepted";
  if (diagnosis->error_begin == text.size()) return "<end>";
  return text.substr(diagnosis->error_begin, diagnosis->error_end - diagnosis->error_begin);
}

TEST(ParserTest, ErrorsTellTheOffendingToken) {
  const struct {
    std::string text;
    std::string token;
  } cases[] = {
      {"STAT WORDFREQ AT f(NONE) TO FILE=o WHERE SELECT count(*) FROM t", "("},
      {"STAT WORDFREQ AT f(NONE) TO FILE=o WHERE a TO b", "TO"},
      {"STAT WORDFREQ FROM a - b TO FILE=o", "-"},
      {"STAT WORDFREQ FROM a TO FILE=o WHERE q", "WHERE"},
      {"STAT WORDFREQ AT f(NONE) TO FILE=o", "<end>"},
      {"STAT WORDFREQ FROM a,TO FILE=o", "TO"},
      {"STAT WORDFREQ SET MINFREQ=1 WORDFREQ FROM a TO FILE=o", "WORDFREQ"},
      {"STAT WORDFREQ FROM \"quoted name\" \"x\" TO \"FILE\"=o", "\"FILE\""},
      // Offsets count bytes: two-byte characters before the error.
      {"STAT WORDFREQ FROM \xD6\xD0\xCE\xC4 - TO FILE=o", "-"},
      {"STAT WORDFREQ /* note */ FROM a TO TABLE o", "o"},
  };
  for (const auto& c : cases) {
    ParseDiagnosis diagnosis;
    EXPECT_EQ(c.token, ErrorToken(c.text, &diagnosis)) << c.text;
    EXPECT_EQ(diagnosis.unterminated_at, std::string::npos) << c.text;
  }

  // An unterminated quotation ends the input: the statement then lacks its
  // end, or parses without what the quotation swallowed.
  ParseDiagnosis diagnosis;
  std::string text = "STAT WORDFREQ FROM \"a TO FILE=o";
  EXPECT_EQ("<end>", ErrorToken(text, &diagnosis));
  EXPECT_EQ(diagnosis.unterminated_at, text.find('"'));
  text = "STAT WORDFREQ FROM a TO FILE=o /* TO FILE=p";
  EXPECT_EQ("accepted", ErrorToken(text, &diagnosis));
  EXPECT_EQ(diagnosis.unterminated_at, text.find("/*"));
  EXPECT_EQ(diagnosis.error_begin, std::string::npos);

  text = FileListStatement(1018);
  EXPECT_EQ("o", ErrorToken(text, &diagnosis));  // the 1025th token
  EXPECT_TRUE(diagnosis.too_many_tokens);
}

// A settings list is right-recursive: every setting stays on the stack until
// the list ends, so `settings` settings need more than `settings` entries.
std::string DeepStatement(int settings) {
  std::string text = "STAT WORDFREQ SET";
  for (int i = 0; i < settings; ++i) text += " MINFREQ=" + std::to_string(i);
  return text + " FROM a TO FILE=o";
}

TEST(ParserTest, StackGrowsBeyondItsFirstSize) {
  // 3 + 3 * 340 + 6 = 1029 tokens would pass the registry; 339 settings give
  // 1026, so 338 is the deepest statement the registry admits.
  StatCommand command;
  ASSERT_EQ(kParseAccepted, ParseStatement(DeepStatement(338).c_str(), &command));
  EXPECT_EQ(337, command.minFrequency);
  EXPECT_EQ(1u, command.files.size());
}

TEST(ParserTest, StackLimit) {
  // No statement within the registry's 1024 tokens reaches 10000 stack
  // entries, so the limit is lowered for this test.
  StatCommand command;
  EXPECT_EQ(kParseStackExhausted,
            ParseStatementForTesting(DeepStatement(300).c_str(), &command, 250));
  EXPECT_EQ(kParseAccepted, ParseStatementForTesting(DeepStatement(230).c_str(), &command, 250));
  EXPECT_EQ(229, command.minFrequency);
  // A long query is left-recursive and stays shallow.
  std::string query = "STAT WORDFREQ AT f(NONE) TO FILE=o WHERE";
  for (int i = 0; i < 900; ++i) query += " w";
  EXPECT_EQ(kParseAccepted, ParseStatementForTesting(query.c_str(), &command, 250));
  EXPECT_EQ(900u * 2 - 1, command.query.size());
}

TEST(ParserTest, ParsesOnSeveralThreadsAtOnce) {
  const std::vector<std::string> statements = {
      "STAT WORDFREQ FROM a.txt, b.txt TO FILE=out.txt",
      "STAT ASSOCIATEDFREQ AT title(NONE) abstract(SEGASCOL, ;) TO TABLE=t WHERE SELECT * FROM d",
      "STAT WORDFREQ SET MINFREQ=3 TEMPPATH=x AT f(NORMAL) TO FILE=o WHERE a=b",
      "STAT WORDFREQ FROM a TO FILE=o WHERE q",
      "a b c",
      DeepStatement(300),
      FileListStatement(1500),
  };
  std::vector<std::string> expected;
  for (const std::string& s : statements) expected.push_back(Parse(s));

  constexpr int kThreads = 4;
  constexpr int kRounds = 200;
  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        // Each thread walks the statements from a different starting point.
        for (size_t i = 0; i < statements.size(); ++i) {
          size_t k = (i + static_cast<size_t>(t)) % statements.size();
          if (Parse(statements[k]) != expected[k]) ++mismatches[t];
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(0, mismatches[t]) << "thread " << t;
  // The expectations themselves are the sequential results.
  EXPECT_EQ("ERROR 1", expected[3]);
  EXPECT_EQ("ERROR 1", expected[6]);
  EXPECT_EQ("kind=0 min=0 temp=[] src=0 files=[a][b][c] fields= out=0[] query=[]", expected[4]);
}

}  // namespace
}  // namespace vocs
