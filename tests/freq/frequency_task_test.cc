// The frequency task on its own: how each mode cuts text into terms, the
// per-record counts, spilling, result delivery and what stays on disk.
#include "freq/frequency_task.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "freq/frequency_test_helper.h"
#include "freq/term_run.h"
#include "job/stat_source.h"
#include "platform/path_style.h"
#include "support/fault_injection_env.h"
#include "support/temp_dir.h"
#include "vocs/errors.h"

namespace vocs {
namespace {

using testing::CapturingWriter;
using testing::DumpTable;
using testing::ListTree;
using testing::RunRecords;
using testing::ScopedTempDir;

// GBK characters used below: 啊 B0 A1, 阿 B0 A2, 埃 B0 A3.
const std::string kA = "\xB0\xA1";
const std::string kB = "\xB0\xA2";
const std::string kC = "\xB0\xA3";

class FrequencyTaskTest : public ::testing::Test {
 protected:
  FrequencyTaskTest() {
    task_.SetTempDir(work_dir().c_str());
    task_.SetOutputName(dir_.Sub("out.txt"));
    task_.SetWriter(&writer_);
  }

  std::string work_dir() const { return dir_.Sub("work/"); }

  // Counts one record of one source and finishes, returning the folded table.
  std::string Count(int32_t mode, const std::string& text, const std::string& mode_text = "") {
    FrequencyTask task;
    task.SetTempDir(work_dir().c_str());
    int rc = RunRecords(&task, {text}, mode, mode_text);
    if (rc != 0) return "error " + std::to_string(rc);
    return DumpTable(task.terms());
  }

  ScopedTempDir dir_;
  CapturingWriter writer_;
  FrequencyTask task_;
};

TEST_F(FrequencyTaskTest, CountsAreFoldedPerRecord) {
  // 3 times in record 0, not in record 1, once in record 2.
  ASSERT_EQ(RunRecords(&task_, {"abcd/abcd/abcd", "efgh", "abcd"}, kModeNormal), 0);
  EXPECT_EQ(DumpTable(task_.terms()), "abcd=4,2,3,1 efgh=1,1,1,1");
  EXPECT_EQ(writer_.records, (std::vector<std::string>{"abcd|4|2|3|1|0|1.3333",
                                                       "efgh|1|1|1|1|0|0.3333"}));
}

TEST_F(FrequencyTaskTest, TermSeenOnlyInTheLastRecordIsFoldedByFinish) {
  ASSERT_EQ(RunRecords(&task_, {"aaaa", "bbbb/bbbb"}, kModeNormal), 0);
  // Never the initial 0 and largest value.
  EXPECT_EQ(DumpTable(task_.terms()), "aaaa=1,1,1,1 bbbb=2,1,2,2");
  EXPECT_EQ(task_.currentRecord(), -1);
}

struct SplitCase {
  const char* name;
  int32_t mode;
  std::string text;
  std::string mode_text;
  std::string expected;
};

TEST_F(FrequencyTaskTest, SplitsByMode) {
  const std::vector<SplitCase> cases = {
      // Mode 2: cut at "/", no trimming; middle tokens lose rejected leading
      // characters, the last token is tried once.
      {"digit and two characters last", kModeNormal, "1" + kA + kB, "", ""},
      {"digit and two characters before slash", kModeNormal, "1" + kA + kB + "/",
       "", kA + kB + "=1,1,1,1"},
      {"empty tokens", kModeNormal, "//abcd//efgh/", "", "abcd=1,1,1,1 efgh=1,1,1,1"},
      {"short tokens dropped", kModeNormal, "ab/abc/" + kA + "/abcd", "", "abcd=1,1,1,1"},
      {"digits shrink below four bytes", kModeNormal, "12345/", "", ""},
      {"leading digits dropped", kModeNormal, "12abcd/", "", "abcd=1,1,1,1"},
      {"last token not retried", kModeNormal, "@abcd", "", ""},
      {"byte 0x40 rejected, 0x41 accepted", kModeNormal, "@bcd/Abcd", "", "Abcd=1,1,1,1"},
      {"no trimming in mode 2", kModeNormal, "abcd /", "", "abcd =1,1,1,1"},
      {"leading space dropped by the retry", kModeNormal, " abcd/", "", "abcd=1,1,1,1"},
      {"slash inside a two-byte character", kModeNormal, "\xB0/abcd", "",
       "\xB0/abcd=1,1,1,1"},
      // 0x80 is stepped over as two bytes, here together with the delimiter.
      {"byte 0x80 before a delimiter", kModeNormal, "\x80/abcd/efgh", "",
       "abcd=1,1,1,1 efgh=1,1,1,1"},
      // Mode 1: cut at any character of the mode text, blanks trimmed.
      {"semicolon or comma", kModeDelimited, " abcd ; efgh,ijkl ", ";,",
       "abcd=1,1,1,1 efgh=1,1,1,1 ijkl=1,1,1,1"},
      {"two-byte delimiter", kModeDelimited, "abcd\xA3\xBB" "efgh", "\xA3\xBB",
       "abcd=1,1,1,1 efgh=1,1,1,1"},
      {"two-byte delimiter only whole", kModeDelimited, "abcd\xB0\xA3\xBB\xB0" "efgh",
       "\xA3\xBB", "abcd\xB0\xA3\xBB\xB0" "efgh=1,1,1,1"},
      {"full-width space trimmed", kModeDelimited, "\xA1\xA1" "abcd\xA1\xA1;", ";",
       "abcd=1,1,1,1"},
      // A middle token is admitted before it is trimmed, the last one after.
      {"middle token admitted before trimming", kModeDelimited, "ab  ;ab  ", ";",
       "ab=1,1,1,1"},
      {"zero padding of the last token", kModeDelimited, std::string("abcd;efgh\0\0\0", 12),
       ";", "abcd=1,1,1,1 efgh=1,1,1,1"},
      {"empty content", kModeDelimited, "", ";", ""},
      {"empty content mode 2", kModeNormal, "", "", ""},
      // Mode 0: the whole trimmed content, without the term rule.
      {"one letter", kModeNone, " a ", "", "a=1,1,1,1"},
      {"blanks only", kModeNone, " \t\r\n\xA1\xA1", "", ""},
      {"zero padding", kModeNone, std::string("1 b/c\0\0", 7), "", "1 b/c=1,1,1,1"},
  };
  for (const SplitCase& c : cases) {
    EXPECT_EQ(Count(c.mode, c.text, c.mode_text), c.expected) << c.name;
  }
}

// The splitting loop written out step by step, copying every token and
// searching for the delimiter again after every dropped character.
std::vector<std::string> SplitStepByStep(std::string_view text, std::string_view delimiters,
                                         bool trim) {
  auto step = [&](size_t i) {
    size_t n = static_cast<unsigned char>(text[i]) >= 0x80 ? 2 : 1;
    return std::min(i + n, text.size());
  };
  std::vector<std::string> terms;
  size_t cur = 0;
  for (;;) {
    size_t pos = FindDelimiter(text.substr(cur), delimiters);
    if (pos == std::string_view::npos) {
      std::string token(text.substr(cur));
      if (trim) TrimSet(&token, BlankSet);
      if (!token.empty() && MeetsTermRule(token)) terms.emplace_back(CutTerm(token));
      return terms;
    }
    pos += cur;
    if (pos == cur) {
      cur = step(cur);
      continue;
    }
    if (!MeetsTermRule(text.substr(cur, pos - cur))) {
      cur = step(cur);
      continue;
    }
    if (trim) {
      cur += SkipBlanks(text.substr(cur, pos - cur));
      if (cur == pos) continue;
    }
    std::string token(text.substr(cur, pos - cur));
    if (trim) TrimRightSet(&token, BlankSet);
    if (!token.empty()) terms.emplace_back(CutTerm(token));
    cur = step(pos);
  }
}

TEST_F(FrequencyTaskTest, SplitterAgreesWithTheLoopWrittenOutOverRandomText) {
  const uint32_t seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  // Bytes that matter to the splitter: delimiters, blanks, digits, signs,
  // letters, lead and trail bytes, 0x80, 0xFF, zero.
  const std::string alphabet = std::string("//;;,  \t1@aAz\xA1\xA1\xB0\xA3\xBB\x80\xFF", 20) +
                               std::string(1, '\0');
  struct Mode {
    std::string delimiters;
    bool trim;
  };
  const std::vector<Mode> modes = {{"/", false}, {";,", true}, {"\xA3\xBB", true}, {"/\xA1", true}};
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const size_t length = rng() % 40;
    for (size_t i = 0; i < length; ++i) text += alphabet[rng() % alphabet.size()];
    const Mode& mode = modes[rng() % modes.size()];
    std::vector<std::string> expected = SplitStepByStep(text, mode.delimiters, mode.trim);
    testing::Model model;
    testing::AddToModel(expected, &model);
    std::string want;
    for (const auto& [term, stats] : model) {
      if (!want.empty()) want += ' ';
      want += term + "=" + std::to_string(stats.total) + ",1," + std::to_string(stats.total) +
              "," + std::to_string(stats.total);
    }
    FrequencyTask task;
    ASSERT_EQ(task.BeginRecord(0), 0);
    ASSERT_TRUE(task.SplitAndCount(text, mode.delimiters, mode.trim));
    task.FoldPendingCounts();
    ASSERT_EQ(DumpTable(task.terms()), want) << ::testing::PrintToString(text);
  }
}

TEST_F(FrequencyTaskTest, RepeatedTermsInOneRecordCountOnce) {
  EXPECT_EQ(Count(kModeDelimited, "abcd;abcd;abcd", ";"), "abcd=3,1,3,3");
}

TEST_F(FrequencyTaskTest, BadModesAreRefused) {
  FrequencyTask task;
  StatSource source;
  source.content = "abcd";
  source.mode = 3;
  EXPECT_EQ(task.ProcessRecord(0, &source, nullptr), VOCS_E_BAD_MODE);
  source.mode = -1;
  EXPECT_EQ(task.ProcessRecord(0, &source, nullptr), VOCS_E_BAD_MODE);
  source.mode = kModeDelimited;  // without delimiters
  EXPECT_EQ(task.ProcessRecord(0, &source, nullptr), VOCS_E_BAD_MODE);
  EXPECT_TRUE(task.terms().empty());
}

TEST_F(FrequencyTaskTest, LongTermsAreCutBeforeTheyAreCounted) {
  const std::string a256(256, 'a');
  // Two terms that agree in their first 256 bytes are one term.
  EXPECT_EQ(Count(kModeNormal, a256 + "x/" + a256 + "y"), a256 + "=2,1,2,2");
  // A cut that would end in half a character drops the lead byte.
  const std::string a255(255, 'a');
  EXPECT_EQ(Count(kModeNone, a255 + kA + kB), a255 + "=1,1,1,1");
  // A whole character at the end stays.
  const std::string a254(254, 'a');
  EXPECT_EQ(Count(kModeNone, a254 + kA + kB), a254 + kA + "=1,1,1,1");
}

TEST_F(FrequencyTaskTest, AcceptTermIsTheTermRule) {
  FrequencyTask task;
  EXPECT_TRUE(task.AcceptTerm("abcd"));
  EXPECT_FALSE(task.AcceptTerm("abc"));
  EXPECT_FALSE(task.AcceptTerm("1bcd"));
  EXPECT_FALSE(task.AcceptTerm("@bcd"));
  EXPECT_TRUE(task.AcceptTerm("Abcd"));
  EXPECT_FALSE(task.AcceptTerm(kA));
  EXPECT_TRUE(task.AcceptTerm(kA + kB));
}

struct EmitCase {
  int32_t record_count;
  int32_t min_frequency;
  std::string line;
  int expected_result;
  std::string expected_record;  // empty: nothing delivered
};

TEST_F(FrequencyTaskTest, EmitResultRecordComputesMinValueAndAverage) {
  const std::vector<EmitCase> cases = {
      {4, 0, "t\t3\t2\t2\t1", 0, "t|3|2|2|1|0|0.7500"},
      {2, 0, "t\t5\t2\t3\t2", 0, "t|5|2|3|2|2|2.5000"},
      {3, 0, "t\t2\t3\t1\t1", 0, "t|2|3|1|1|1|0.6667"},
      // The last four TABs separate the numbers: a term may hold TABs.
      {1, 0, "a\tb\t1\t1\t1\t1", 0, "a\tb|1|1|1|1|1|1.0000"},
      {1, 0, "t\t5000000000\t1\t5000000000\t5000000000", 0,
       "t|5000000000|1|5000000000|5000000000|5000000000|5000000000.0000"},
      {4, 3, "t\t2\t1\t2\t2", 0, ""},
      {4, 3, "t\t3\t1\t3\t3", 0, "t|3|1|3|3|0|0.7500"},
      {4, 0, "t\t3\t2", VOCS_E_BAD_MODE, ""},
  };
  for (const EmitCase& c : cases) {
    CapturingWriter writer;
    FrequencyTask task;
    task.SetWriter(&writer);
    task.SetRecordCount(c.record_count);
    task.SetMinFrequency(c.min_frequency);
    EXPECT_EQ(task.EmitResultRecordForTesting(c.line), c.expected_result) << c.line;
    std::vector<std::string> expected;
    if (!c.expected_record.empty()) expected.push_back(c.expected_record);
    EXPECT_EQ(writer.records, expected) << c.line;
  }
}

TEST_F(FrequencyTaskTest, AverageIsFormattedAsPrintfFormatsIt) {
  // Ties such as 1/32 = 0.03125 round the way "%0.4f" rounds them.
  for (int32_t records = 1; records <= 130; ++records) {
    CapturingWriter writer;
    FrequencyTask task;
    task.SetWriter(&writer);
    task.SetRecordCount(records);
    for (int frequency = 0; frequency <= 200; ++frequency) {
      const std::string n = std::to_string(frequency);
      task.EmitResultRecordForTesting("t\t" + n + "\t1\t1\t1");
      char expected[64];
      std::snprintf(expected, sizeof(expected), "%0.4f",
                    static_cast<double>(frequency) / static_cast<double>(records));
      const std::string& record = writer.records.back();
      ASSERT_EQ(record.substr(record.rfind('|') + 1), expected) << frequency << "/" << records;
    }
  }
}

TEST_F(FrequencyTaskTest, MinimumFrequencyDropsRarerTerms) {
  task_.SetMinFrequency(3);
  ASSERT_EQ(RunRecords(&task_, {"abcd/abcd/efgh", "efgh/efgh"}, kModeNormal), 0);
  EXPECT_EQ(writer_.records, (std::vector<std::string>{"efgh|3|2|2|1|1|1.5000"}));
}

TEST_F(FrequencyTaskTest, RunWithoutRecordsWritesOneEmptySpillFileAndDeliversNothing) {
  ASSERT_EQ(task_.SetRecordCount(0), 0);
  ASSERT_EQ(task_.Finish(), 0);
  ASSERT_EQ(task_.spillFiles().size(), 1u);
  EXPECT_EQ(testing::ReadFileOrMissing(task_.resultPath()), "");
  ASSERT_EQ(task_.DeliverResults(), 0);
  EXPECT_EQ(writer_.calls,
            (std::vector<std::string>{"open(" + dir_.Sub("out.txt") + ")", "finish"}));
}

TEST_F(FrequencyTaskTest, TaskWithoutWriterDeliversNothingAndKeepsItsFiles) {
  task_.SetWriter(nullptr);
  ASSERT_EQ(RunRecords(&task_, {"abcd"}, kModeNormal), 0);
  EXPECT_EQ(testing::ReadFileOrMissing(task_.resultPath()), "abcd\t1\t1\t1\t1\n");
}

TEST_F(FrequencyTaskTest, TemporaryFilesAreGoneAfterSuccess) {
  ASSERT_EQ(RunRecords(&task_, {"abcd/efgh"}, kModeNormal), 0);
  EXPECT_EQ(ListTree(dir_.path()), std::vector<std::string>{});  // even work/ is removed
  EXPECT_EQ(writer_.calls.back(), "finish");
}

// The lines of a spill file, a binary run; a run the reader refuses fails
// the test.
std::vector<std::string> RunLines(const std::string& path) {
  std::string text, error;
  EXPECT_TRUE(TermRunTextForTesting(path, &text, &error)) << path << ": " << error;
  std::vector<std::string> lines;
  for (size_t begin = 0, end; begin < text.size(); begin = end + 1) {
    end = text.find('\n', begin);
    lines.push_back(text.substr(begin, end - begin));
  }
  return lines;
}

TEST_F(FrequencyTaskTest, SpillsWhenTheThresholdIsReachedAtTheEndOfARecord) {
  task_.SetWriter(nullptr);  // keep the files to look at them
  task_.SetSpillThresholdForTesting(2);
  // Table sizes at the end of each record: 1, 2 (spill), 1, 2 (spill), 1.
  ASSERT_EQ(RunRecords(&task_, {"aaaa", "bbbb", "cccc", "dddd/cccc", "eeee"}, kModeNormal), 0);
  ASSERT_EQ(task_.spillFiles().size(), 3u);
  EXPECT_EQ(RunLines(task_.spillFiles()[0]),
            (std::vector<std::string>{"aaaa\t1\t1\t1\t1", "bbbb\t1\t1\t1\t1"}));
  EXPECT_EQ(RunLines(task_.spillFiles()[1]),
            (std::vector<std::string>{"cccc\t2\t2\t1\t1", "dddd\t1\t1\t1\t1"}));
  EXPECT_EQ(testing::FileLines(task_.resultPath()),
            (std::vector<std::string>{"aaaa\t1\t1\t1\t1", "bbbb\t1\t1\t1\t1", "cccc\t2\t2\t1\t1",
                                      "dddd\t1\t1\t1\t1", "eeee\t1\t1\t1\t1"}));
}

TEST_F(FrequencyTaskTest, GatheredTokensKeepTheirRecordsAndSpillBoundaries) {
  // Tokens are counted some records after their record ended, from a copy:
  // the text the job split is overwritten before they are counted, repeats
  // of one term never cause a spill, and a spill still comes at the end of
  // the record that reaches the threshold.
  task_.SetWriter(nullptr);
  task_.SetSpillThresholdForTesting(3);
  ASSERT_EQ(task_.SetRecordCount(5), 0);
  const std::vector<std::string> records = {"xx/aaaa/aaaa/aaaa", "aaaa/bbbb", "bbbb/bbbb",
                                            "cccc", "dddd/eeee"};
  StatSource source;
  source.kind = kBuffer;
  source.mode = kModeNormal;
  for (size_t i = 0; i < records.size(); ++i) {
    const int32_t index = static_cast<int32_t>(i);
    source.content = records[i];
    ASSERT_EQ(task_.BeginRecord(index), 0);
    ASSERT_EQ(task_.ProcessRecord(index, &source, nullptr), 0);
    source.content.assign(source.content.size(), '#');
    ASSERT_EQ(task_.EndRecord(index), 0);
  }
  ASSERT_EQ(task_.Finish(), 0);
  // Distinct terms at the end of each record: 1, 2, 2, 3 (spill), 2.
  ASSERT_EQ(task_.spillFiles().size(), 2u);
  EXPECT_EQ(RunLines(task_.spillFiles()[0]),
            (std::vector<std::string>{"aaaa\t4\t2\t3\t1", "bbbb\t3\t2\t2\t1",
                                      "cccc\t1\t1\t1\t1"}));
  EXPECT_EQ(RunLines(task_.spillFiles()[1]),
            (std::vector<std::string>{"dddd\t1\t1\t1\t1", "eeee\t1\t1\t1\t1"}));
}

TEST_F(FrequencyTaskTest, OneRecordIsNeverSplitBetweenSpillFiles) {
  task_.SetWriter(nullptr);
  task_.SetSpillThresholdForTesting(2);
  ASSERT_EQ(RunRecords(&task_, {"aaaa/bbbb/cccc/dddd/eeee"}, kModeNormal), 0);
  // The only spill came at the end of the record, a binary run; Finish had
  // nothing left to write and turned the run into the result lines.
  ASSERT_EQ(task_.spillFiles().size(), 1u);
  EXPECT_EQ(RunLines(task_.spillFiles()[0]).size(), 5u);
  EXPECT_EQ(testing::FileLines(task_.resultPath()),
            (std::vector<std::string>{"aaaa\t1\t1\t1\t1", "bbbb\t1\t1\t1\t1", "cccc\t1\t1\t1\t1",
                                      "dddd\t1\t1\t1\t1", "eeee\t1\t1\t1\t1"}));
}

TEST_F(FrequencyTaskTest, SpillsAreSortedByUnsignedBytes) {
  task_.SetWriter(nullptr);
  ASSERT_EQ(RunRecords(&task_, {kA + kB + "/abcd/ABCD/abcde/" + kA + "ab/"}, kModeNormal), 0);
  EXPECT_EQ(testing::FileLines(task_.resultPath()),
            (std::vector<std::string>{"ABCD\t1\t1\t1\t1", "abcd\t1\t1\t1\t1",
                                      "abcde\t1\t1\t1\t1", kA + "ab\t1\t1\t1\t1",
                                      kA + kB + "\t1\t1\t1\t1"}));
}

TEST_F(FrequencyTaskTest, EmptyTempDirMakesAWorkDirectoryBesideTheExecutable) {
  FaultInjectionEnv env;
  ScopedEnvForTesting scoped(&env);
  env.SetExecutablePath(dir_.Sub("bin/server"));
  ASSERT_TRUE(std::filesystem::create_directories(dir_.Sub("bin")));
  FrequencyTask task;
  task.SetOutputName(dir_.Sub("out.txt"));
  ASSERT_EQ(RunRecords(&task, {"abcd"}, kModeNormal), 0);  // no writer: files stay
  const std::string prefix = dir_.Sub("bin/vocstemp/FRE_");
  EXPECT_EQ(task.tempDir().rfind(prefix, 0), 0u) << task.tempDir();
  EXPECT_EQ(task.tempDir().back(), kPathSeparator);
  ASSERT_EQ(task.spillFiles().size(), 1u);
  EXPECT_EQ(task.resultPath().rfind(task.tempDir() + "ok_", 0), 0u);
}

TEST_F(FrequencyTaskTest, SpillThatCannotBeWrittenFailsTheRecordAndKeepsTheFiles) {
  FaultInjectionEnv env;
  ScopedEnvForTesting scoped(&env);
  task_.SetSpillThresholdForTesting(1);
  ASSERT_EQ(task_.SetRecordCount(2), 0);
  StatSource source;
  source.mode = kModeNormal;
  source.content = "aaaa/bbbb";
  ASSERT_EQ(task_.BeginRecord(0), 0);
  ASSERT_EQ(task_.ProcessRecord(0, &source, nullptr), 0);
  env.FillDiskAfter(5);  // the first line does not fit
  EXPECT_EQ(task_.EndRecord(0), VOCS_E_NO_RESULT_FILE);
  ASSERT_EQ(task_.spillFiles().size(), 1u);
  EXPECT_NE(testing::ReadFileOrMissing(task_.spillFiles()[0]), "<missing>");
}

TEST_F(FrequencyTaskTest, LastSpillThatCannotBeWrittenFailsFinish) {
  FaultInjectionEnv env;
  ScopedEnvForTesting scoped(&env);
  StatSource source;
  source.mode = kModeNormal;
  source.content = "aaaa/bbbb";
  ASSERT_EQ(task_.SetRecordCount(1), 0);
  ASSERT_EQ(task_.BeginRecord(0), 0);
  ASSERT_EQ(task_.ProcessRecord(0, &source, nullptr), 0);
  ASSERT_EQ(task_.EndRecord(0), 0);
  env.FailAlways(EnvOp::kAppend);
  EXPECT_EQ(task_.Finish(), VOCS_E_NO_RESULT_FILE);
  EXPECT_TRUE(writer_.calls.empty());
  EXPECT_EQ(ListTree(work_dir()).size(), 1u);  // the spill file stays
}

TEST_F(FrequencyTaskTest, SpillWithoutWorkDirectoryFailsFinish) {
  FaultInjectionEnv env;
  ScopedEnvForTesting scoped(&env);
  env.FailAlways(EnvOp::kCreateDir);
  ASSERT_EQ(task_.SetRecordCount(0), 0);
  EXPECT_EQ(task_.Finish(), VOCS_E_NO_RESULT_FILE);
  EXPECT_TRUE(task_.spillFiles().empty());
}

TEST_F(FrequencyTaskTest, WriterFailuresStopDeliveryAndKeepTheFiles) {
  writer_.open_result = -3403;
  EXPECT_EQ(RunRecords(&task_, {"abcd"}, kModeNormal), -3403);
  EXPECT_NE(testing::ReadFileOrMissing(task_.resultPath()), "<missing>");

  CapturingWriter failing_finish;
  failing_finish.finish_result = VOCS_E_NO_RESULT_FILE;
  FrequencyTask task;
  task.SetTempDir(dir_.Sub("work2/").c_str());
  task.SetWriter(&failing_finish);
  EXPECT_EQ(RunRecords(&task, {"abcd"}, kModeNormal), VOCS_E_NO_RESULT_FILE);
  EXPECT_EQ(failing_finish.records.size(), 1u);
  EXPECT_NE(testing::ReadFileOrMissing(task.resultPath()), "<missing>");
}

TEST_F(FrequencyTaskTest, ResultFileThatCannotBeReadFailsDelivery) {
  FaultInjectionEnv env;
  ScopedEnvForTesting scoped(&env);
  ASSERT_EQ(task_.SetRecordCount(0), 0);
  ASSERT_EQ(task_.Finish(), 0);
  env.FailAfter(EnvOp::kNewSequentialFile, 0);
  EXPECT_EQ(task_.DeliverResults(), VOCS_E_RESULT_FILE_OPEN);
  EXPECT_EQ(writer_.calls.size(), 1u);  // open, but no finish
  env.FailAfter(EnvOp::kRead, 0);
  EXPECT_EQ(task_.DeliverResults(), VOCS_E_RESULT_FILE_OPEN);
  EXPECT_NE(testing::ReadFileOrMissing(task_.resultPath()), "<missing>");
}

}  // namespace
}  // namespace vocs
