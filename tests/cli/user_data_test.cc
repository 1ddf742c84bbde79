// What the command does with a user's own names, texts and inputs, end to
// end through the built command, the real file system and a real database:
// Chinese file names, characters beyond GBK, missing and undecodable inputs,
// names the statement language cannot carry, statements that do not parse.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "cli_test_util.h"
#include "host/database.h"
#include "host/host_test_util.h"

namespace vocs::cli {
namespace {

using testing::CommandHome;
using testing::QueryDb;

namespace fs = std::filesystem;

// Rows of a result file (GB18030, CR LF, a header line) as UTF-8 "a|b".
std::vector<std::string> FileRows(const std::string& path) {
  const std::string text = host::testing::Utf8(testing::ReadWholeFile(path));
  std::vector<std::string> rows;
  size_t start = text.find("\r\n");
  while (start != std::string::npos && start + 2 < text.size()) {
    const size_t end = text.find("\r\n", start + 2);
    std::string row = text.substr(start + 2, end - start - 2);
    std::replace(row.begin(), row.end(), '\t', '|');
    rows.push_back(row);
    start = end;
  }
  std::sort(rows.begin(), rows.end());
  return rows;
}

// Names in a directory other than the ones listed.
std::vector<std::string> Entries(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(directory)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class UserDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!home_.has_factory()) GTEST_SKIP() << "libvocs.so has no PlugModule_CreateInstance";
  }

  testing::RunResult Run(const std::vector<std::string>& statements) {
    std::vector<std::string> args = {"run", "--db", home_.db()};
    args.insert(args.end(), statements.begin(), statements.end());
    return home_.Vocs(args);
  }

  void Import(const std::string& table, const std::string& tsv) {
    const auto result = home_.Vocs(
        {"import", "--db", home_.db(), "--table", table, home_.dir().Write(table + ".tsv", tsv)});
    ASSERT_EQ(result.exit_code, 0) << result.err;
  }

  CommandHome home_;
};

TEST_F(UserDataTest, ChineseDirectoryAndFileNamesInFromToFileAndTemppath) {
  const auto& dir = home_.dir();
  dir.Write("work/诗集/唐诗/静夜思.txt", "床前明月光，疑是地上霜。举头望明月，低头思故乡。");
  dir.Write("work/诗集/宋词/水调歌头.txt", "明月几时有，把酒问青天。");
  const auto result = home_.Vocs(
      {"run", "STAT WORDFREQ SET TEMPPATH=临时目录 FROM 诗集 TO FILE=结果.txt"});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  const std::string output = home_.work() + "/结果.txt";
  const std::vector<std::string> rows = FileRows(output);
  EXPECT_EQ(result.out.rfind("statement 1: " + std::to_string(rows.size()) + " rows in file " +
                                 output + ", ",
                             0),
            0u)
      << result.out;
  EXPECT_NE(std::find(rows.begin(), rows.end(), "明月|2"), rows.end())
      << ::testing::PrintToString(rows);
  EXPECT_NE(std::find(rows.begin(), rows.end(), "故乡|1"), rows.end());
  // The UTF-8 names are on disk, nothing else is left, and show finds the file.
  EXPECT_EQ(Entries(home_.work()), (std::vector<std::string>{"结果.txt", "诗集"}));
  const auto shown = home_.Vocs({"show", "结果.txt"});
  ASSERT_EQ(shown.exit_code, 0) << shown.err;
  EXPECT_NE(shown.out.find("\n明月   "), std::string::npos) << shown.out;

  // The same files into a table whose name is Chinese, through a database in
  // a Chinese directory.
  const std::string db = dir.Sub("数据/诗.db");
  fs::create_directories(dir.Sub("数据"));
  dir.Write("work/表.tsv", "题目\t正文\n静夜思\t明月\n");
  ASSERT_EQ(home_.Vocs({"import", "--db", db, "--table", "诗", "表.tsv"}).exit_code, 0);
  const auto table = home_.Vocs(
      {"run", "--db", db, "STAT WORDFREQ FROM 诗集/唐诗/静夜思.txt TO TABLE=词表"});
  ASSERT_EQ(table.exit_code, 0) << table.err;
  EXPECT_EQ(Entries(dir.Sub("数据")), (std::vector<std::string>{"诗.db", "诗.db-vocslock"}));
  EXPECT_EQ(QueryDb(db, "SELECT 词频 FROM 词表 WHERE 词条名称 = '明月'"), "1");
}

TEST_F(UserDataTest, CharactersBeyondGbkAreCountedAndShownIntact) {
  const std::string nbsp = "\u00a0";
  Import("docs", "title\tbody\n"
                 "Straße" + nbsp + "façade\tStraße;façade;naïve;한국어;😀😀;no" + nbsp +
                 "break;Ærøskøbing\n"
                 "naïve\tStraße;😀😀;Ærøskøbing;résumé\n");
  auto result = Run({"STAT WORDFREQ AT body(SEGASCOL, ;), title(NONE) TO TABLE=w WHERE SELECT * "
                     "FROM docs"});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(QueryDb(home_.db(), "SELECT 词条名称, 词频 FROM w ORDER BY 词条名称"),
            "Straße|2;Straße" + nbsp + "façade|1;façade|1;naïve|2;no" + nbsp + "break|1;"
            "résumé|1;Ærøskøbing|2;한국어|1;😀😀|2");
  // Shown back as they are.
  result = home_.Vocs({"show", "--db", home_.db(), "--table", "w", "--top", "0"});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  for (const std::string& term : {"Straße" + nbsp + "façade", std::string("résumé"),
                                  std::string("Ærøskøbing"),
                                  std::string("😀😀"), std::string("한국어")}) {
    EXPECT_NE(result.out.find(term), std::string::npos) << term << "\n" << result.out;
  }
  // Segmented words keep their letters too, in a result file as in a table.
  result = Run({"STAT WORDFREQ AT body(NORMAL) TO FILE=words.txt WHERE SELECT body FROM docs"});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  const std::vector<std::string> rows = FileRows(home_.work() + "/words.txt");
  for (const char* row : {"Straße|2|2|1|1|1|1.0000", "façade|1|1|1|1|0|0.5000",
                          "Ærøskøbing|2|2|1|1|1|1.0000", "한국어|1|1|1|1|0|0.5000"}) {
    EXPECT_NE(std::find(rows.begin(), rows.end(), row), rows.end())
        << row << " in " << ::testing::PrintToString(rows);
  }
  EXPECT_EQ(result.err, "");
  // --encoding is about FROM files; field texts are read as the host hands
  // them over whatever it says.
  result = home_.Vocs({"run", "--db", home_.db(), "--encoding", "utf8",
                       "STAT WORDFREQ AT body(NORMAL) TO FILE=words8.txt WHERE SELECT body FROM "
                       "docs"});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(FileRows(home_.work() + "/words8.txt"), rows);

  // Stored text that is not UTF-8 cannot be kept: the command says so.
  {
    host::Database db;
    ASSERT_TRUE(db.Open(home_.db()));
    ASSERT_TRUE(db.Execute("INSERT INTO docs VALUES ('bad', CAST(x'41424344FF45464748' AS TEXT))"));
  }
  result = Run({"STAT WORDFREQ AT body(NONE) TO TABLE=w2 WHERE SELECT body FROM docs WHERE "
                "title= \"'bad'\""});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.err, "vocs: note: statement 1: 1 characters of the input could not be read "
                        "(malformed text) and were replaced by U+FFFD\n");
  EXPECT_EQ(QueryDb(home_.db(), "SELECT 词条名称 FROM w2"), "ABCD\uFFFDEFGH");
}

TEST_F(UserDataTest, MissingAndUndecodableInputsAreNamedAndNothingRuns) {
  const auto& dir = home_.dir();
  dir.Write("work/a.txt", "alpha beta gamma");
  dir.Write("work/notes/readme.md", "no text files here");
  dir.Write("work/latin1.txt", "caf\xE9 na\xEFve");
  dir.Write("work/utf16.txt", std::string("\xFF\xFE" "a\0b\0", 6));
  const auto result = home_.Vocs(
      {"run", "STAT WORDFREQ FROM a.txt, missing.txt, notes, latin1.txt, utf16.txt TO FILE=o.txt"});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.out, "");
  const std::string work = home_.work();
  EXPECT_EQ(result.err,
            "vocs: statement 1: " + work + "/missing.txt: no such file or directory\n"
            "vocs: statement 1: " + work + "/notes: holds no .txt file (a directory stands for "
            "the .txt files in it and below it)\n"
            "vocs: statement 1: " + work + "/latin1.txt: is neither UTF-8 nor GBK/GB18030 text "
            "(byte 3); convert it to UTF-8 (for Latin-1: iconv -f LATIN1 -t UTF-8)\n"
            "vocs: statement 1: " + work + "/utf16.txt: is UTF-16 text; convert it to UTF-8 "
            "(iconv -f UTF-16 -t UTF-8)\n"
            "vocs: nothing was run\n");
  EXPECT_FALSE(fs::exists(work + "/o.txt"));

  // A query without records runs, and says so.
  Import("docs", "title\tbody\na\tb\n");
  const auto empty = Run({"STAT WORDFREQ AT body(NONE) TO TABLE=w WHERE SELECT * FROM docs "
                          "WHERE title= \"'none'\""});
  ASSERT_EQ(empty.exit_code, 0) << empty.err;
  EXPECT_EQ(empty.err, "vocs: note: statement 1: the query returned no record\n");
  EXPECT_EQ(QueryDb(home_.db(), "SELECT count(*) FROM w"), "0");
}

TEST_F(UserDataTest, NamesAStatementCannotCarryAreRefusedBeforeTheRun) {
  home_.dir().Write("work/a.txt", "alpha beta");
  // A word the language would cut to 254 bytes, and a path that becomes too
  // long once it is absolute.
  const std::string long_word(300, 'n');
  const std::string deep = std::string(120, 'd') + "/" + std::string(120, 'e') + "/out.txt";
  for (const std::string& name : {long_word, deep}) {
    const auto result = home_.Vocs({"run", "STAT WORDFREQ FROM a.txt TO FILE=" + name});
    EXPECT_EQ(result.exit_code, 1) << name;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.find("-1 rows"), std::string::npos);
  }
  EXPECT_EQ(Entries(home_.work()), (std::vector<std::string>{"a.txt"}));
  EXPECT_EQ(Entries(home_.home()), (std::vector<std::string>{"libvocs.so", "vocs"}));

  // An output directory the module cannot make is named with its code.
  home_.dir().Write("work/blocker", "a file, not a directory");
  const auto blocked = home_.Vocs({"run", "--work-dir", home_.dir().Sub("wd"),
                                   "STAT WORDFREQ FROM a.txt TO FILE=blocker/out.txt"});
  EXPECT_EQ(blocked.exit_code, 1);
  EXPECT_NE(blocked.err.find("failed with -3403"), std::string::npos) << blocked.err;
  EXPECT_NE(blocked.err.find("  output: " + home_.work() + "/blocker/out.txt\n"),
            std::string::npos)
      << blocked.err;
  EXPECT_EQ(Entries(home_.work()), (std::vector<std::string>{"a.txt", "blocker"}));
  EXPECT_FALSE(fs::exists(home_.dir().Sub("wd")));
}

TEST_F(UserDataTest, AStatementThatDoesNotParseIsShownWithACaret) {
  const auto result = home_.Vocs(
      {"run", "STAT WORDFREQ AT 正文(NORMAL) TO TABLE=词表 WHERE SELECT count(*) FROM 文档"});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.err,
            "vocs: statement 1: parentheses cannot stand in a query; put the query, or the part "
            "with the parentheses, in double quotes: WHERE \"SELECT ... (...) ...\"\n"
            "  STAT WORDFREQ AT 正文(NORMAL) TO TABLE=词表 WHERE SELECT count(*) FROM 文档\n"
            "                                                                ^\n"
            "vocs: nothing was run\n");
  const auto empty = home_.Vocs({"run", ""});
  EXPECT_EQ(empty.exit_code, 1);
  EXPECT_NE(empty.err.find("statement 1: the statement is empty"), std::string::npos);
  // Every statement is checked before the first runs.
  home_.dir().Write("work/a.txt", "alpha");
  const auto second = home_.Vocs(
      {"run", "STAT WORDFREQ FROM a.txt TO FILE=one.txt", "STAT WORDFREQ FROM a.txt TO o.txt"});
  EXPECT_EQ(second.exit_code, 1);
  EXPECT_NE(second.err.find("statement 2: unexpected 'o.txt'"), std::string::npos) << second.err;
  EXPECT_FALSE(fs::exists(home_.work() + "/one.txt"));
}

}  // namespace
}  // namespace vocs::cli
