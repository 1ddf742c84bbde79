// Results read back for show and report: the module's GB18030 files, files
// someone converted to UTF-8, result tables, and the counts and four-decimal
// values in them; and a report of a run over files, which has no record
// counts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/frequency_result.h"
#include "cli/pair_result.h"
#include "cli/result_reader.h"
#include "cli_test_util.h"
#include "host/host_test_util.h"

namespace vocs::cli {
namespace {

using host::testing::Gb18030;
using testing::CommandHome;
using testing::ReadWholeFile;
using testing::TempDir;

TEST(ResultReaderTest, CountsAndFourDecimalValues) {
  int64_t n = -1;
  EXPECT_TRUE(ParseCount("0", &n));
  EXPECT_EQ(n, 0);
  EXPECT_TRUE(ParseCount("123456789012", &n));
  EXPECT_EQ(n, 123456789012);
  for (const char* bad : {"", "-1", "+1", " 1", "1 ", "1.0", "12a", "1234567890123456789"}) {
    EXPECT_FALSE(ParseCount(bad, &n)) << bad;
  }
  EXPECT_TRUE(ParseFixed4("16.6667", &n));
  EXPECT_EQ(n, 166667);
  EXPECT_TRUE(ParseFixed4("0.0001", &n));
  EXPECT_EQ(n, 1);
  EXPECT_TRUE(ParseFixed4("100.0000", &n));
  EXPECT_EQ(n, 1000000);
  for (const char* bad : {"16.667", "16.66670", "16", ".6667", "-1.0000", "1e2.0000", "a.0000"}) {
    EXPECT_FALSE(ParseFixed4(bad, &n)) << bad;
  }
}

TEST(ResultReaderTest, ReadsTheModulesFilesAndConvertedOnes) {
  TempDir dir;
  // A co-occurrence file as the module writes it: GB18030, CR LF, a blank
  // line passed over; a character beyond GBK (four bytes in GB18030).
  const std::string module_file = dir.Write(
      "pairs.txt", Gb18030("词条1名称\t词条2名称\t共现频率\t支持度1\t支持度2\t置信度\r\n"
                           "明月\t𠀀字\t2\t40.0000\t66.6667\t16.6667\r\n\r\n"));
  ResultReader reader;
  std::string error;
  ASSERT_TRUE(reader.OpenFile(module_file, &error)) << error;
  EXPECT_EQ(reader.kind(), ResultKind::kCooccurrence);
  EXPECT_EQ(reader.origin(), "file " + module_file);
  std::vector<std::string_view> cells;
  ASSERT_TRUE(reader.Next(&cells));
  EXPECT_EQ(std::vector<std::string>(cells.begin(), cells.end()),
            (std::vector<std::string>{"明月", "𠀀字", "2", "40.0000", "66.6667", "16.6667"}));
  EXPECT_FALSE(reader.Next(&cells));
  EXPECT_EQ(reader.error(), "");

  // The same converted to UTF-8 by someone: read as UTF-8.
  const std::string utf8_file =
      dir.Write("words.txt", "词条名称\t词频\n明月\t12\n");
  ResultReader utf8;
  ASSERT_TRUE(utf8.OpenFile(utf8_file, &error)) << error;
  EXPECT_EQ(utf8.kind(), ResultKind::kFrequency);
  FrequencyResult words;
  ASSERT_TRUE(words.Read(&utf8, &error)) << error;
  ASSERT_EQ(words.terms().size(), 1u);
  EXPECT_EQ(words.terms()[0].term, "明月");
  EXPECT_EQ(words.terms()[0].frequency, 12);
  EXPECT_FALSE(words.has_records());  // a run over files: two columns

  // A file of something else, an empty one, and a missing one.
  ResultReader other;
  ASSERT_TRUE(other.OpenFile(dir.Write("notes.txt", "title\tbody\n"), &error));
  EXPECT_EQ(other.kind(), ResultKind::kOther);
  PairResult pairs;
  EXPECT_FALSE(pairs.Read(&other, &error));
  EXPECT_NE(error.find("is not a co-occurrence result"), std::string::npos) << error;
  ResultReader empty;
  EXPECT_FALSE(empty.OpenFile(dir.Write("empty.txt", ""), &error));
  EXPECT_NE(error.find("is empty"), std::string::npos) << error;
  ResultReader missing;
  EXPECT_FALSE(missing.OpenFile(dir.Sub("missing.txt"), &error));
}

TEST(ResultReaderTest, RowsThatDoNotReadAreCountedAndKeepMeasuresAway) {
  TempDir dir;
  const std::string file = dir.Write(
      "pairs.txt", Gb18030("词条1名称\t词条2名称\t共现频率\t支持度1\t支持度2\t置信度\r\n"
                           "abcd\tefgh\t1\t50.0000\t50.0000\t50.0000\r\n"
                           "abcd\tefgh\tmany\t50.0000\t50.0000\t50.0000\r\n"
                           "abcd\r\n"));
  ResultReader reader;
  std::string error;
  ASSERT_TRUE(reader.OpenFile(file, &error)) << error;
  PairResult result;
  ASSERT_TRUE(result.Read(&reader, &error)) << error;
  EXPECT_EQ(result.rows().size(), 1u);
  EXPECT_EQ(result.unreadable_rows(), 2u);
  std::string reason;
  EXPECT_FALSE(VerifyTermCounts(result, DerivedTermCounts(result), &reason));
  EXPECT_NE(reason.find("2 rows of file " + file + " could not be read"), std::string::npos)
      << reason;
}

TEST(ResultReaderTest, PairCountsAddingUpPastSixtyFourBitsAreRefused) {
  // Each count is the longest a result holds (18 digits); four add up to
  // less than the participation counts can take, five to more (once summed
  // as derived counts they overflowed 64 bits).
  TempDir dir;
  std::string text = "词条1名称\t词条2名称\t共现频率\t支持度1\t支持度2\t置信度\r\n";
  for (int row = 0; row < 5; ++row) {
    text += "t" + std::to_string(row) + "\tu\t999999999999999999\t1.0000\t1.0000\t1.0000\r\n";
    ResultReader reader;
    std::string error;
    const std::string file = dir.Write("pairs" + std::to_string(row) + ".txt", Gb18030(text));
    ASSERT_TRUE(reader.OpenFile(file, &error)) << error;
    PairResult result;
    if (row < 4) {
      ASSERT_TRUE(result.Read(&reader, &error)) << error;
      EXPECT_EQ(result.total_count(), 999999999999999999 * (row + 1));
      const DerivedTermCounts counts(result);
      EXPECT_EQ(counts.Total(), 2 * result.total_count());
      EXPECT_EQ(counts.Count("u"), result.total_count());
    } else {
      EXPECT_FALSE(result.Read(&reader, &error));
      EXPECT_EQ(error, "file " + file +
                           ": the pair counts add up to more than 4611686018427387903 by row 5; "
                           "it is not a result of a run");
    }
  }
}

TEST(ResultReaderTest, FrequenciesAddingUpPastSixtyFourBitsAreRefused) {
  // Each frequency is the longest a result holds (18 digits); nine add up to
  // less than 2^63, ten to more.
  TempDir dir;
  std::string text = "词条名称\t词频\t出现行数\t最大值\t次小值\t最小值\t平均值\r\n";
  for (int row = 0; row < 10; ++row) {
    text += "t" + std::to_string(row) + "\t999999999999999999\t1\t1\t1\t1\t1.0000\r\n";
  }
  const std::string file = dir.Write("words.txt", Gb18030(text));
  ResultReader reader;
  std::string error;
  ASSERT_TRUE(reader.OpenFile(file, &error)) << error;
  FrequencyResult words;
  EXPECT_FALSE(words.Read(&reader, &error));
  EXPECT_EQ(error, "file " + file +
                       ": the frequencies add up to more than 9223372036854775807 by row 10; "
                       "it is not a result of a run");

  // Nine rows read, with their exact total.
  std::string nine = text.substr(0, text.rfind("t9\t"));
  ResultReader nine_reader;
  ASSERT_TRUE(nine_reader.OpenFile(dir.Write("nine.txt", Gb18030(nine)), &error)) << error;
  FrequencyResult nine_words;
  ASSERT_TRUE(nine_words.Read(&nine_reader, &error)) << error;
  EXPECT_EQ(nine_words.total_frequency(), 999999999999999999 * 9);
}

TEST(ResultReaderTest, ATableReadsAsItsFileDoes) {
  CommandHome home;
  const auto imported = home.Vocs({"import", "--db", home.db(), "--table", "docs",
                                   home.dir().Write("docs.tsv", "body\n明月/春风/明月\n春风/故人\n")});
  ASSERT_EQ(imported.exit_code, 0) << imported.err;
  for (const char* to : {"TO TABLE=words", "TO FILE=words.txt"}) {
    const auto run = home.Vocs({"run", "--db", home.db(),
                                std::string("STAT WORDFREQ AT body(SEGASCOL, \"/\") ") + to +
                                    " WHERE SELECT body FROM docs"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
  }
  ResultReader table;
  ResultReader file;
  std::string error;
  ASSERT_TRUE(table.OpenTable(home.db(), "words", &error)) << error;
  ASSERT_TRUE(file.OpenFile(home.work() + "/words.txt", &error)) << error;
  EXPECT_EQ(table.header(), file.header());
  std::vector<std::string_view> a;
  std::vector<std::string_view> b;
  size_t rows = 0;
  while (file.Next(&b)) {
    ASSERT_TRUE(table.Next(&a));
    // REAL averages read back with four decimals, as the file has them.
    EXPECT_EQ(std::vector<std::string>(a.begin(), a.end()),
              std::vector<std::string>(b.begin(), b.end()));
    ++rows;
  }
  EXPECT_FALSE(table.Next(&a));
  EXPECT_EQ(rows, 3u);

  ResultReader none;
  EXPECT_FALSE(none.OpenTable(home.db(), "nope", &error));
  EXPECT_EQ(none.exit_code(), 1);
  EXPECT_FALSE(none.OpenTable(home.dir().Sub("missing.db"), "words", &error));
}

TEST(ResultReaderTest, AReportOfARunOverFilesSaysWhatItCannotShow) {
  CommandHome home;
  home.dir().Write("work/texts/a.txt", "明月照高楼，明月何皎皎。");
  home.dir().Write("work/texts/b.txt", "春风又绿江南岸，明月何时照我还。");
  const auto run = home.Vocs({"run", "STAT WORDFREQ FROM texts TO FILE=words.txt"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const auto report = home.Vocs({"report", "words.txt"});
  ASSERT_EQ(report.exit_code, 0) << report.err;
  EXPECT_NE(report.out.find("note: no dispersion chart: "), std::string::npos) << report.out;
  const std::string page = ReadWholeFile(home.work() + "/report.html");
  EXPECT_NE(page.find("[\"records\",\"not known\",\"the result has no averages"),
            std::string::npos);
  EXPECT_NE(page.find("\"dispersion\":null"), std::string::npos);
  EXPECT_NE(page.find("\"pairs\":null"), std::string::npos);
  EXPECT_NE(page.find("明月"), std::string::npos);
}

}  // namespace
}  // namespace vocs::cli
