// Result files byte for byte: headers, CR LF line ends, the frequency-only
// layout, and what open, writeRecord and finish report.
#include "output/file_result_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "output/result_record.h"
#include "support/fault_injection_env.h"
#include "support/temp_dir.h"
#include "vocs/errors.h"

namespace vocs {
namespace {

using testing::ReadFileOrMissing;
using testing::ScopedTempDir;

// 词条名称 词频 出现行数 最大值 次小值 最小值 平均值
const std::string kFrequencyHeader =
    "\xB4\xCA\xCC\xF5\xC3\xFB\xB3\xC6\t\xB4\xCA\xC6\xB5\t\xB3\xF6\xCF\xD6\xD0\xD0\xCA\xFD\t"
    "\xD7\xEE\xB4\xF3\xD6\xB5\t\xB4\xCE\xD0\xA1\xD6\xB5\t\xD7\xEE\xD0\xA1\xD6\xB5\t"
    "\xC6\xBD\xBE\xF9\xD6\xB5\r\n";
// 词条1名称 词条2名称 共现频率 支持度1 支持度2 置信度
const std::string kCooccurrenceHeader =
    "\xB4\xCA\xCC\xF5"
    "1\xC3\xFB\xB3\xC6\t\xB4\xCA\xCC\xF5"
    "2\xC3\xFB\xB3\xC6\t\xB9\xB2\xCF\xD6\xC6\xB5\xC2\xCA\t\xD6\xA7\xB3\xD6\xB6\xC8"
    "1\t\xD6\xA7\xB3\xD6\xB6\xC8"
    "2\t\xD6\xC3\xD0\xC5\xB6\xC8\r\n";

const FrequencyRecord kRecord = {"\xB0\xA1\xB0\xA2", "3", "2", "2", "1", "0", "0.7500"};

class FileResultWriterTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return dir_.Sub(name); }
  ScopedTempDir dir_;
};

TEST_F(FileResultWriterTest, FrequencyFileIsHeaderAndTabSeparatedCrLfLines) {
  FrequencyFileWriter writer;
  ASSERT_EQ(writer.open(Path("f.txt")), 0);
  EXPECT_EQ(writer.writeRecord(kRecord), 0);
  const FrequencyRecord second = {"abcd", "5", "2", "3", "2", "2", "2.5000"};
  EXPECT_EQ(writer.writeRecord(second), 0);
  EXPECT_EQ(writer.finish(), 0);
  EXPECT_EQ(ReadFileOrMissing(Path("f.txt")),
            kFrequencyHeader + "\xB0\xA1\xB0\xA2\t3\t2\t2\t1\t0\t0.7500\r\n" +
                "abcd\t5\t2\t3\t2\t2\t2.5000\r\n");
}

TEST_F(FileResultWriterTest, FrequencyOnlyModeKeepsTheFullHeaderAndWritesTwoColumns) {
  FrequencyFileWriter writer;
  writer.setMode(1);
  ASSERT_EQ(writer.open(Path("f.txt")), 0);
  writer.writeRecord(kRecord);
  writer.finish();
  EXPECT_EQ(ReadFileOrMissing(Path("f.txt")), kFrequencyHeader + "\xB0\xA1\xB0\xA2\t3\r\n");
}

TEST_F(FileResultWriterTest, NoRecordsLeaveOnlyTheHeader) {
  FrequencyFileWriter writer;
  ASSERT_EQ(writer.open(Path("f.txt")), 0);
  EXPECT_EQ(writer.finish(), 0);
  EXPECT_EQ(ReadFileOrMissing(Path("f.txt")), kFrequencyHeader);
}

TEST_F(FileResultWriterTest, FieldsAreNeverEscaped) {
  FrequencyFileWriter writer;
  ASSERT_EQ(writer.open(Path("f.txt")), 0);
  const FrequencyRecord tabbed = {"a\tb", "1", "1", "1", "1", "1", "1.0000"};
  writer.writeRecord(tabbed);
  writer.finish();
  EXPECT_EQ(ReadFileOrMissing(Path("f.txt")),
            kFrequencyHeader + "a\tb\t1\t1\t1\t1\t1\t1.0000\r\n");
}

TEST_F(FileResultWriterTest, CooccurrenceFileHasItsOwnHeader) {
  CooccurrenceFileWriter writer;
  writer.setMode(1);  // ignored by co-occurrence writers
  ASSERT_EQ(writer.open(Path("c.txt")), 0);
  const CooccurrenceRecord record = {"abcd", "efgh", "3", "0.5000", "0.2500", "0.7500"};
  writer.writeRecord(record);
  writer.finish();
  EXPECT_EQ(ReadFileOrMissing(Path("c.txt")),
            kCooccurrenceHeader + "abcd\tefgh\t3\t0.5000\t0.2500\t0.7500\r\n");
}

TEST_F(FileResultWriterTest, MissingDirectoriesAreCreated) {
  FrequencyFileWriter writer;
  ASSERT_EQ(writer.open(Path("a/b/c/f.txt")), 0);
  writer.finish();
  EXPECT_EQ(ReadFileOrMissing(Path("a/b/c/f.txt")), kFrequencyHeader);
}

TEST_F(FileResultWriterTest, PathWithoutSeparatorIsRefusedBeforeAnyFileIsTouched) {
  FaultInjectionEnv env;
  ScopedEnvForTesting scoped(&env);
  FrequencyFileWriter writer;
  EXPECT_EQ(writer.open("bare.txt"), VOCS_E_OUTPUT_PATH);
  EXPECT_EQ(env.calls(EnvOp::kNewWritableFile), 0);
  EXPECT_FALSE(std::filesystem::exists("bare.txt"));
}

TEST_F(FileResultWriterTest, OpenReportsWhatItCannotDo) {
  FaultInjectionEnv env;
  ScopedEnvForTesting scoped(&env);
  FrequencyFileWriter writer;
  env.FailAlways(EnvOp::kCreateDir);
  EXPECT_EQ(writer.open(Path("new/f.txt")), VOCS_E_OUTPUT_PATH);
  env.Reset();
  env.FailAlways(EnvOp::kNewWritableFile);
  EXPECT_EQ(writer.open(Path("f.txt")), VOCS_E_NO_RESULT_FILE);
  env.Reset();
  env.FailAlways(EnvOp::kAppend);  // the header cannot be written
  EXPECT_EQ(writer.open(Path("f.txt")), VOCS_E_NO_RESULT_FILE);
}

TEST_F(FileResultWriterTest, FullDiskIsReportedNotHidden) {
  FaultInjectionEnv env;
  ScopedEnvForTesting scoped(&env);
  FrequencyFileWriter writer;
  ASSERT_EQ(writer.open(Path("f.txt")), 0);
  env.FillDiskAfter(10);
  // Lines are handed to the file in pieces of tens of kilobytes: the failure
  // surfaces at the first hand-over, and every later record reports it too.
  int first_failure = -1;
  for (int i = 0; i < 10000 && first_failure < 0; ++i) {
    if (writer.writeRecord(kRecord) != 0) first_failure = i;
  }
  ASSERT_GT(first_failure, 0);
  EXPECT_LT(first_failure, 10000);
  EXPECT_EQ(writer.writeRecord(kRecord), VOCS_E_NO_RESULT_FILE);
  EXPECT_EQ(writer.finish(), VOCS_E_NO_RESULT_FILE);
}

TEST_F(FileResultWriterTest, FullDiskOnTheLastLinesIsReportedByFinish) {
  FaultInjectionEnv env;
  ScopedEnvForTesting scoped(&env);
  FrequencyFileWriter writer;
  ASSERT_EQ(writer.open(Path("f.txt")), 0);
  env.FillDiskAfter(10);
  EXPECT_EQ(writer.writeRecord(kRecord), 0);  // still in the writer's buffer
  EXPECT_EQ(writer.finish(), VOCS_E_NO_RESULT_FILE);
}

TEST_F(FileResultWriterTest, ManyAndLongLinesArriveWholeAndInOrder) {
  // Lines across several hand-overs, one longer than the writer's whole
  // buffer, one that just fills what is left, and short ones around them.
  CooccurrenceFileWriter writer;
  ASSERT_EQ(writer.open(Path("c.txt")), 0);
  std::string expected = kCooccurrenceHeader;
  const std::string huge(300000, 'h');
  for (int i = 0; i < 20000; ++i) {
    const std::string first = "t" + std::to_string(i);
    std::string second = "u";
    if (i == 7000) second = huge;
    if (i == 12000) second.assign(70000 + i % 7, 'w');
    const CooccurrenceRecord record = {first, second, "3", "0.5000", "0.2500", "0.7500"};
    ASSERT_EQ(writer.writeRecord(record), 0) << i;
    expected += first + "\t" + second + "\t3\t0.5000\t0.2500\t0.7500\r\n";
  }
  ASSERT_EQ(writer.finish(), 0);
  EXPECT_TRUE(ReadFileOrMissing(Path("c.txt")) == expected);
}

TEST_F(FileResultWriterTest, WriterDestroyedBeforeFinishKeepsItsLines) {
  {
    FrequencyFileWriter writer;
    ASSERT_EQ(writer.open(Path("f.txt")), 0);
    writer.writeRecord(kRecord);
  }
  EXPECT_EQ(ReadFileOrMissing(Path("f.txt")),
            kFrequencyHeader + "\xB0\xA1\xB0\xA2\t3\t2\t2\t1\t0\t0.7500\r\n");
}

TEST_F(FileResultWriterTest, RecordWithoutAnOpenFileIsRefused) {
  FrequencyFileWriter writer;
  EXPECT_EQ(writer.writeRecord(kRecord), VOCS_E_NO_RESULT_FILE);
  EXPECT_EQ(writer.finish(), VOCS_E_NO_RESULT_FILE);
}

TEST_F(FileResultWriterTest, SecondOpenTruncatesTheNewFile) {
  dir_.WriteFile("g.txt", "old content that must go\r\n");
  FrequencyFileWriter writer;
  ASSERT_EQ(writer.open(Path("f.txt")), 0);
  writer.writeRecord(kRecord);
  ASSERT_EQ(writer.open(Path("g.txt")), 0);  // closes f.txt first
  EXPECT_EQ(writer.finish(), 0);
  EXPECT_EQ(ReadFileOrMissing(Path("f.txt")),
            kFrequencyHeader + "\xB0\xA1\xB0\xA2\t3\t2\t2\t1\t0\t0.7500\r\n");
  EXPECT_EQ(ReadFileOrMissing(Path("g.txt")), kFrequencyHeader);
}

}  // namespace
}  // namespace vocs
