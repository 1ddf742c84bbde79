// The built vocs command: import, show, help and exit codes. These need no
// module object; the statement runs are in run_test.cc.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "cli_test_util.h"
#include "host/host_test_util.h"

namespace vocs::cli {
namespace {

using host::testing::Gb18030;
using testing::CommandHome;
using testing::QueryDb;

class CommandTest : public ::testing::Test {
 protected:
  CommandHome home_;
};

TEST_F(CommandTest, EverySubcommandHasHelpAndTheVersionIsShown) {
  for (const char* command : {"run", "import", "show", "report"}) {
    const auto result = home_.Vocs({command, "--help"});
    EXPECT_EQ(result.exit_code, 0) << command;
    EXPECT_EQ(result.out.rfind(std::string("Usage: vocs ") + command, 0), 0u) << result.out;
    EXPECT_NE(result.out.find("Exit codes:"), std::string::npos) << command;
  }
  const auto help = home_.Vocs({"--help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_NE(help.out.find("taken in the current directory"), std::string::npos);
  // The statement language can be learnt from the command itself.
  const auto run = home_.Vocs({"run", "--help"});
  for (const char* part : {"NONE", "SEGASCOL, chars", "NORMAL", "MINFREQ=n", "TEMPPATH=dir",
                           "\"'Spring'\"", "parentheses", "docs/statements.md", "Examples:"}) {
    EXPECT_NE(run.out.find(part), std::string::npos) << part;
  }
  const auto legend = home_.Vocs({"show", "--legend"});
  EXPECT_EQ(legend.exit_code, 0);
  for (const char* part : {"次小值", "HypominValue  the term's smallest count among the records",
                           "MinValue      the term's smallest count over all records: 0 unless",
                           "Support1      the pair's count as a percentage of all pair"}) {
    EXPECT_NE(legend.out.find(part), std::string::npos) << part << "\n" << legend.out;
  }
  const auto version = home_.Vocs({"--version"});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_TRUE(version.out.rfind("vocs ", 0) == 0 && version.out.size() > 6 &&
              std::isdigit(static_cast<unsigned char>(version.out[5])))
      << version.out;
}

TEST_F(CommandTest, BadCommandLinesExitWithTwo) {
  const std::vector<std::vector<std::string>> kCases = {
      {},
      {"frobnicate"},
      {"run", "--db"},
      {"run", "--bogus", "x"},
      {"run", "--encoding=latin1", "x"},
      {"import", "--format", "xml", "--table", "t", "a"},
      {"import", "a.txt"},
      {"import", "--table", "t"},
      {"show"},
      {"show", "--top", "many", "f"},
      {"show", "a", "b"},
      {"report", "a", "b", "c"},
      {"report", "--pairs", "0", "a"},
      {"report", "--output", "", "a"},
  };
  for (const auto& args : kCases) {
    const auto result = home_.Vocs(args);
    EXPECT_EQ(result.exit_code, 2) << (args.empty() ? "" : args[0]) << " " << result.err;
  }
}

TEST_F(CommandTest, ImportsFortuneTsvJsonLinesAndTextFiles) {
  const auto& dir = home_.dir();
  dir.Write("poems", "\x1B[32m《静夜思》\x1B[m\n\x1B[33m作者：李白\x1B[m\n床前明月光\n%\n"
                     "\x1B[32m《春晓》\x1B[m\n\x1B[33m作者：孟浩然\x1B[m\n春眠不觉晓\n");
  auto result = home_.Vocs({"import", "--db", home_.db(), "--table", "poems", "--format",
                            "fortune", dir.Sub("poems")});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out, "imported 2 records from 1 file into table poems (title, author, body) of " +
                            home_.db() + "\n");
  EXPECT_EQ(QueryDb(home_.db(), "SELECT * FROM poems"), "静夜思|李白|床前明月光;春晓|孟浩然|春眠不觉晓");

  // A file beside its strfile index is a fortune file without --format; the
  // same text under another name is one text record.
  dir.Write("fortunes/poems", testing::ReadWholeFile(dir.Sub("poems")));
  dir.Write("fortunes/poems.dat", std::string("\0\0\0\2", 4));
  result = home_.Vocs({"import", "--db", home_.db(), "--table", "indexed", dir.Sub("fortunes/poems")});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(QueryDb(home_.db(), "SELECT title, author FROM indexed"), "静夜思|李白;春晓|孟浩然");
  result = home_.Vocs({"import", "--db", home_.db(), "--table", "plain", dir.Sub("poems")});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out, "imported 1 record from 1 file into table plain (path, title, body) of " +
                            home_.db() + "\n");

  dir.Write("docs.tsv", Gb18030("title\tbody\r\n明月\t春风;明月\r\n"));  // GBK input
  result = home_.Vocs({"import", "--db", home_.db(), "--table=docs", dir.Sub("docs.tsv")});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(QueryDb(home_.db(), "SELECT title, body FROM docs"), "明月|春风;明月");

  dir.Write("j/a.jsonl", "{\"title\": \"t1\", \"n\": 3}\n{\"title\": \"t2\", \"extra\": 1.5}\n");
  result = home_.Vocs({"import", "--db", home_.db(), "--table", "j", dir.Sub("j")});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(QueryDb(home_.db(), "SELECT title, n, typeof(n), extra FROM j"),
            "t1|3|integer|null;t2|null|null|1.5000");

  dir.Write("texts/b.txt", Gb18030("乙文"));
  dir.Write("texts/a.txt", "甲文");
  dir.Write("texts/skip.md", "x");
  result = home_.Vocs({"import", "--db", home_.db(), "--table", "texts", dir.Sub("texts")});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(QueryDb(home_.db(), "SELECT title, body FROM texts ORDER BY rowid"), "a|甲文;b|乙文");
}

TEST_F(CommandTest, ImportIsAllOrNothing) {
  const auto& dir = home_.dir();
  dir.Write("good.tsv", "title\tbody\na\tb\n");
  dir.Write("bad.tsv", "title\tbody\nc\td\ne\n");
  ASSERT_EQ(home_.Vocs({"import", "--db", home_.db(), "--table", "t", dir.Sub("good.tsv")})
                .exit_code,
            0);
  // Appending a good and a bad file keeps neither.
  auto result = home_.Vocs({"import", "--db", home_.db(), "--table", "t", "--append",
                            dir.Sub("good.tsv"), dir.Sub("bad.tsv")});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.err, "vocs: " + dir.Sub("bad.tsv") +
                            ": line 3: 1 values, the header names 2 columns; nothing was "
                            "imported\n");
  EXPECT_EQ(QueryDb(home_.db(), "SELECT count(*) FROM t"), "1");
  // Without --replace or --append an existing table is kept.
  result = home_.Vocs({"import", "--db", home_.db(), "--table", "t", dir.Sub("good.tsv")});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_NE(result.err.find("exists already"), std::string::npos);
  result = home_.Vocs({"import", "--db", home_.db(), "--table", "t", "--replace",
                       dir.Sub("good.tsv")});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(QueryDb(home_.db(), "SELECT count(*) FROM t"), "1");
  // Names that are not plain names never reach SQL.
  for (const char* name : {"t\"; DROP TABLE t; --", "a b", "sqlite_master", "vocs_tables"}) {
    result = home_.Vocs({"import", "--db", home_.db(), "--table", name, dir.Sub("good.tsv")});
    EXPECT_EQ(result.exit_code, 1) << name;
  }
  dir.Write("cols.tsv", "ti\"tle\tbody\na\tb\n");
  EXPECT_EQ(home_.Vocs({"import", "--db", home_.db(), "--table", "u", dir.Sub("cols.tsv")})
                .exit_code,
            1);
  EXPECT_EQ(QueryDb(home_.db(), "SELECT name FROM sqlite_schema WHERE type = 'table' ORDER BY name"),
            "t;vocs_builds;vocs_columns;vocs_tables");
  EXPECT_EQ(home_.Vocs({"import", "--db", home_.db(), "--table", "x", dir.Sub("none.txt")})
                .exit_code,
            1);
}

TEST_F(CommandTest, ShowsResultFilesMostFrequentFirst) {
  const auto& dir = home_.dir();
  // A frequency-only result file: seven header names, two columns per row.
  const std::string file = dir.Write(
      "words.txt", Gb18030("词条名称\t词频\t出现行数\t最大值\t次小值\t最小值\t平均值\r\n"
                       "abcd\t3\r\n明月\t12\r\nzeta\t5\r\n"));
  auto result = home_.Vocs({"show", "--top", "2", file});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out, file + ": top 2 of 3 rows by 词频\n"
                               "词条名称  词频\n"
                               "明月        12\n"
                               "zeta         5\n");
  // A relative name is taken in the current directory, and only there.
  dir.Write("work/rel.txt", Gb18030("词条名称\t词频\r\nabcd\t1\r\n"));
  dir.Write("home/only-home.txt", Gb18030("词条名称\t词频\r\nabcd\t1\r\n"));
  result = home_.Vocs({"show", "rel.txt"});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out.rfind(home_.work() + "/rel.txt: 1 rows by 词频", 0), 0u) << result.out;
  EXPECT_EQ(home_.Vocs({"show", "only-home.txt"}).exit_code, 1);
  EXPECT_EQ(home_.Vocs({"show", "--db", home_.db(), "--table", "t"}).exit_code, 3);
  EXPECT_FALSE(std::filesystem::exists(home_.db()));  // show makes no database

  // English names, and the legend of the columns shown.
  result = home_.Vocs({"show", "--english", "--legend", file});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out, file + ": 3 rows by Frequency\n"
                               "ItemName  Frequency\n"
                               "明月             12\n"
                               "zeta              5\n"
                               "abcd              3\n"
                               "\n"
                               "column    alias      meaning\n"
                               "词条名称  ItemName   the term\n"
                               "词频      Frequency  how often the term occurs, in all records "
                               "together\n");
}

TEST_F(CommandTest, ShowNeverSendsTheCorpusControlCharactersToTheTerminal) {
  const auto& dir = home_.dir();
  dir.Write("t.tsv", "term\tn\n\x1B]0;owned\x07\x1B[2Jx\t1\nred \x1B[31mtext\x1B[m\t2\n");
  ASSERT_EQ(home_.Vocs({"import", "--db", home_.db(), "--table", "t", dir.Sub("t.tsv")})
                .exit_code,
            0);
  const auto result = home_.Vocs({"show", "--db", home_.db(), "--table", "t"});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out.find('\x1B'), std::string::npos) << result.out;
  EXPECT_EQ(result.out.find('\x07'), std::string::npos);
  EXPECT_NE(result.out.find("\\x1B]0;owned\\x07\\x1B[2Jx"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("red \\x1B[31mtext\\x1B[m"), std::string::npos);
}

TEST_F(CommandTest, ImportTypesNumbersAndReadsAnyFileAskedForAsText) {
  const auto& dir = home_.dir();
  dir.Write("n.tsv", "id\tscore\tname\n1\t2.5\ta\n2\t3\tb\n");
  ASSERT_EQ(home_.Vocs({"import", "--db", home_.db(), "--table", "n", dir.Sub("n.tsv")})
                .exit_code,
            0);
  EXPECT_EQ(QueryDb(home_.db(), "SELECT name FROM n WHERE id=1"), "a");
  EXPECT_EQ(QueryDb(home_.db(), "SELECT name FROM n WHERE score > 2.9"), "b");
  EXPECT_EQ(QueryDb(home_.db(), "SELECT typeof(id), typeof(score), typeof(name) FROM n LIMIT 1"),
            "integer|real|text");

  // Files without an extension, named by --format text or in a directory.
  dir.Write("plain/README", "没有扩展名的文件");
  dir.Write("plain/sub/NOTES", "第二个");
  dir.Write("plain/.hidden", "x");
  auto result = home_.Vocs({"import", "--db", home_.db(), "--table", "plain", "--format", "text",
                            dir.Sub("plain")});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(QueryDb(home_.db(), "SELECT title, body FROM plain ORDER BY title"),
            "NOTES|第二个;README|没有扩展名的文件");
  // A mistyped database is made only by import.
  EXPECT_EQ(home_.Vocs({"run", "--db", home_.dir().Sub("typo.db"),
                        "STAT WORDFREQ AT body(NONE) TO TABLE=w WHERE SELECT * FROM plain"})
                .exit_code,
            3);
  EXPECT_FALSE(std::filesystem::exists(home_.dir().Sub("typo.db")));
}

}  // namespace
}  // namespace vocs::cli
