// The command's reading of statements: the problems it reports before the
// module runs, where it points, and the rewriting of names into its own
// paths.
#include "cli/statement_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/text_codec.h"

namespace vocs::cli {
namespace {

// "ok", or the problem's first line and the marked text: "message @ text".
std::string Check(const std::string& statement) {
  host::TextCodec codec;
  StatementPlan plan;
  StatementProblem problem;
  if (AnalyzeStatement(statement, &codec, &plan, &problem)) return "ok";
  const std::string first = problem.message.substr(0, problem.message.find('\n'));
  return first + " @ " + statement.substr(problem.offset, problem.length);
}

TEST(StatementPlanTest, ProblemsAreFoundAtTheirPlace) {
  const struct {
    std::string statement;
    std::string result;
  } kCases[] = {
      {"STAT WORDFREQ FROM 中文目录 TO FILE=结果.txt", "ok"},
      {"STAT WORDFREQ AT body(NORMAL) TO TABLE=t WHERE SELECT count(*) FROM d",
       "parentheses cannot stand in a query; put the query, or the part with the parentheses, in "
       "double quotes: WHERE \"SELECT ... (...) ...\" @ ("},
      {"STAT WORDFREQ AT 标题(NORMAL) TO TABLE=t WHERE SELECT * FROM d WHERE a TO b",
       "'TO' is a word of the statement language; in a query, put it in double quotes: \"TO\" @ TO"},
      {"STAT WORDFREQ FROM a TO FILE=o WHERE q", "a statement with FROM takes no WHERE clause @ WHERE"},
      {"STAT WORDFREQ AT f(NONE) TO FILE=o",
       "the statement ends here, but a statement with AT ends with WHERE and the query @ "},
      {"STAT WORDFREQ FROM a - b TO FILE=o",
       "a lone '-' is no word of the statement language; put it in double quotes @ -"},
      {"STAT WORDFREQ FROM 诗 TO 表=t", "unexpected '表' @ 表"},
      {"", "the statement is empty @ "},
      {"  a.txt, b.txt", "this is no statement, only a part of one @ a.txt"},
      {"STAT WORDFREQ FROM \"a TO FILE=o",
       "this quotation is never closed: the statement language would drop everything after it "
       "(a quotation cannot hold a double quote) @ \"a"},
      {"STAT WORDFREQ FROM a TO FILE=o /* rest", "this comment is never closed: the statement "
                                                 "language would drop everything after it @ /*"},
      {"STAT WORDFREQ FROM a TO FILE=o // a last line comment loses nothing", "ok"},
      {"STAT WORDFREQ FROM a TO FILE=" + std::string(255, 'x'),
       "this word is 255 bytes long; the statement language keeps 254 and would cut it @ " +
           std::string(255, 'x')},
      {"STAT WORDFREQ AT f(SEGASCOL, \"\xF0\x9F\x98\x80\") TO FILE=o WHERE q",
       "SEGASCOL delimiters must be characters of GBK; the module cannot cut at characters "
       "outside it @ \"\xF0\x9F\x98\x80\""},
      {"STAT WORDFREQ FROM a TO TABLE=\"a b\"",
       "the table name \"a b\" cannot be used: use letters, digits, _ $ - . and non-ASCII "
       "characters @ \"a b\""},
      {"STAT WORDFREQ FROM a TO TABLE=vocs_columns",
       "the table name \"vocs_columns\" cannot be used: use letters, digits, _ $ - . and "
       "non-ASCII characters @ vocs_columns"},
      {"STAT WORDFREQ FROM a TO FILE=\"\"", "TO FILE needs a file name @ \"\""},
      {"STAT WORDFREQ FROM caf\xC3", "the statement is not UTF-8 text here @ \xC3"},
      {"STAT WORDFREQ FROM \xEE\x9E\x8D TO FILE=o",
       "this character has no form in the module's code page (GB18030) @ \xEE\x9E\x8D"},
  };
  for (const auto& c : kCases) EXPECT_EQ(Check(c.statement), c.result) << c.statement;
}

std::string Rewritten(const std::string& statement, const RewriteNames& names,
                      std::string* error = nullptr) {
  host::TextCodec codec;
  StatementPlan plan;
  StatementProblem problem;
  if (!AnalyzeStatement(statement, &codec, &plan, &problem)) return "problem: " + problem.message;
  std::string gb18030;
  std::string failure;
  if (!Rewrite(plan, names, &codec, &gb18030, &failure)) {
    if (error != nullptr) *error = failure;
    return "refused";
  }
  std::string utf8;
  EXPECT_TRUE(codec.Gb18030ToUtf8(gb18030, &utf8));
  return utf8;
}

TEST(StatementPlanTest, RewriteChangesOnlyTheNames) {
  const RewriteNames table{{}, "/r/load/词表", "/r/work"};
  EXPECT_EQ(Rewritten("STAT WORDFREQ AT body(SEGASCOL, \";\") TO TABLE=词表 WHERE SELECT * FROM "
                      "d WHERE t= \"'x'\"",
                      table),
            "STAT WORDFREQ SET TEMPPATH=\"/r/work\" AT body(SEGASCOL, \";\") TO "
            "TABLE=\"/r/load/词表\" WHERE SELECT * FROM d WHERE t= \"'x'\"");
  EXPECT_EQ(Rewritten("stat assocIATEDfreq set minfreq=2 at a(NONE) to table=t where q", table),
            "stat assocIATEDfreq set TEMPPATH=\"/r/work\" minfreq=2 at a(NONE) to "
            "table=\"/r/load/词表\" where q");
  // The user's TEMPPATH (the last one counts) and the FROM names become the
  // command's paths, in order.
  const RewriteNames files{{"/c/一.txt", "/c/目录"}, "/c/.结果.txt.tmp", "/tmp/w/x"};
  EXPECT_EQ(Rewritten("STAT WORDFREQ SET TEMPPATH=a MINFREQ=3, TEMPPATH=\"b c\" FROM 一.txt, "
                      "目录 TO FILE='结果.txt'",
                      files),
            "STAT WORDFREQ SET TEMPPATH=a MINFREQ=3, TEMPPATH=\"/tmp/w/x\" FROM \"/c/一.txt\", "
            "\"/c/目录\" TO FILE=\"/c/.结果.txt.tmp\"");

  std::string error;
  EXPECT_EQ(Rewritten("STAT WORDFREQ FROM a TO FILE=o", {{"/a\"b"}, "/o", "/w"}, &error),
            "refused");
  EXPECT_EQ(error, "the name /a\"b holds a double quote, which a statement cannot carry");
  // 158 ASCII bytes and 48 Chinese characters of two bytes: 254 bytes.
  std::string long_name = "/" + std::string(126, 'x') + "/" + std::string(30, 'y');
  for (int i = 0; i < 48; ++i) long_name += "长";
  EXPECT_EQ(Rewritten("STAT WORDFREQ FROM a TO FILE=o", {{"/a"}, long_name, "/w"}, &error),
            "refused");
  EXPECT_NE(error.find("bytes long in the module's code page; a statement carries at most 252"),
            std::string::npos)
      << error;
}

TEST(StatementPlanTest, CaretsLineUpUnderWideCharacters) {
  const std::string statement = "STAT WORDFREQ FROM 中文\n  目录 - x TO FILE=o";
  StatementProblem problem{"x", statement.find(" - ") + 1, 1};
  EXPECT_EQ(ShowProblem(statement, problem), "    目录 - x TO FILE=o\n"
                                             "         ^\n");
  problem = {"x", statement.size(), 0};  // at the end
  EXPECT_EQ(ShowProblem(statement, problem), "    目录 - x TO FILE=o\n"
                                             "                      ^\n");
  problem = {"x", statement.find("中文"), 6};
  EXPECT_EQ(ShowProblem(statement, problem), "  STAT WORDFREQ FROM 中文\n"
                                             "                     ^^^^\n");
}

}  // namespace
}  // namespace vocs::cli
