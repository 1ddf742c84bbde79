// CooccurrenceTask counting: which pairs a record yields in each mode and
// with one or two sources, the term counts, the cut of long terms, and when
// the pair table spills.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cooc/cooc_test_helper.h"
#include "cooc/cooccurrence_task.h"
#include "job/stat_source.h"
#include "platform/path_style.h"
#include "support/fault_injection_env.h"
#include "support/temp_dir.h"
#include "vocs/errors.h"

namespace vocs {
namespace {

using testing::CapturingWriter;
using testing::MakeSource;
using testing::ScopedTempDir;

class CooccurrenceTaskTest : public ::testing::Test {
 protected:
  CooccurrenceTaskTest() {
    task_.SetTempDir(dir_.Sub("work/").c_str());
    task_.SetWriter(&writer_);
  }

  // Processes one record of one source; returns the ProcessRecord result.
  int Single(int32_t mode, const std::string& content, const std::string& mode_text = "") {
    StatSource source = MakeSource(mode, content, mode_text);
    task_.BeginRecord(record_);
    return task_.ProcessRecord(record_++, &source, nullptr);
  }
  int Pair(int32_t mode1, const std::string& content1, int32_t mode2,
           const std::string& content2, const std::string& mode_text1 = "",
           const std::string& mode_text2 = "") {
    StatSource first = MakeSource(mode1, content1, mode_text1);
    StatSource second = MakeSource(mode2, content2, mode_text2);
    task_.BeginRecord(record_);
    return task_.ProcessRecord(record_++, &first, &second);
  }

  ScopedTempDir dir_;
  CapturingWriter writer_{false};
  CooccurrenceTask task_;
  int32_t record_ = 0;
};

struct SingleCase {
  int32_t mode;
  std::string mode_text;
  std::string content;
  std::string pairs;
};

TEST_F(CooccurrenceTaskTest, PairsOfOneSource) {
  const std::vector<SingleCase> cases = {
      {kModeNormal, "", "abcd/efgh/ijkl", "(abcd,efgh)=1 (abcd,ijkl)=1 (efgh,ijkl)=1"},
      {kModeNormal, "", "abcd/efgh/abcd", "(abcd,abcd)=1 (abcd,efgh)=1 (efgh,abcd)=1"},
      // "ab", "cd" are too short and "12345" begins with a digit.
      {kModeNormal, "", "ab/cd/12345/efgh", ""},
      // Empty tokens from adjacent, leading and trailing delimiters.
      {kModeNormal, "", "//abcd///efgh//", "(abcd,efgh)=1"},
      // Mode 2 keeps blanks: the middle token is tested with them and kept
      // with its trailing ones; the last one is trimmed.
      {kModeNormal, "", "abcd  /efgh  ", "(abcd  ,efgh)=1"},
      // A leading blank fails the rule before it could be skipped.
      {kModeNormal, "", " abcd/efgh/ijkl", "(efgh,ijkl)=1"},
      // Any mode but 0 and 1 cuts at "/".
      {7, "", "abcd/efgh", "(abcd,efgh)=1"},
      // Mode 1: the empty token between comma and space is skipped.
      {kModeDelimited, ", ", "abcd, efgh", "(abcd,efgh)=1"},
      // "abc " passes the rule with its space, then loses it.
      {kModeDelimited, ",", "abc ,defg", "(abc,defg)=1"},
      // The last token is trimmed before the test.
      {kModeDelimited, ",", "abcd, efgh", "(abcd,efgh)=1"},
      // " efgh" is tested with its leading space and refused.
      {kModeDelimited, ",", "abcd, efgh,ijkl", "(abcd,ijkl)=1"},
      {kModeDelimited, ";,", "abcd;efgh,ijkl", "(abcd,efgh)=1 (abcd,ijkl)=1 (efgh,ijkl)=1"},
      // A single source without delimiters yields nothing.
      {kModeDelimited, "", "abcd,efgh", ""},
      // Two double-byte characters make a term, one does not.
      {kModeNormal, "", "\xB0\xA1\xB0\xA2/\xB0\xA1/abcd", "(\xB0\xA1\xB0\xA2,abcd)=1"},
      // A trail byte equal to the delimiter does not split.
      {kModeDelimited, "\x41", "\xB0\x41xyzw\x41qrst", "(\xB0\x41xyzw,qrst)=1"},
      // A two-byte delimiter splits only at the whole character.
      {kModeDelimited, "\xA1\xA3", "abcd\xA1\xA3" "efgh\xA3\xA1ijkl", "(abcd,efgh\xA3\xA1ijkl)=1"},
      // The text ends at its first 0 byte.
      {kModeNormal, "", std::string("abcd/efgh\0/ijkl", 15), "(abcd,efgh)=1"},
  };
  for (const SingleCase& c : cases) {
    CooccurrenceTask task;
    StatSource source = MakeSource(c.mode, c.content, c.mode_text);
    EXPECT_EQ(task.ProcessRecord(0, &source, nullptr), 0) << c.content;
    EXPECT_EQ(task.DumpPairsForTesting(), c.pairs) << c.content;
  }
}

TEST_F(CooccurrenceTaskTest, TermCountsAndTotal) {
  ASSERT_EQ(Single(kModeNormal, "abcd/efgh/ijkl"), 0);
  EXPECT_EQ(task_.TermCountForTesting("abcd"), 2);
  EXPECT_EQ(task_.TermCountForTesting("efgh"), 2);
  EXPECT_EQ(task_.TermCountForTesting("ijkl"), 2);
  EXPECT_EQ(task_.totalTermCount(), 6);
  EXPECT_EQ(task_.TermCountTableSizeForTesting(), 3u);

  ASSERT_EQ(Single(kModeNormal, "abcd/efgh/abcd"), 0);
  EXPECT_EQ(task_.DumpPairsForTesting(),
            "(abcd,abcd)=1 (abcd,efgh)=2 (abcd,ijkl)=1 (efgh,abcd)=1 (efgh,ijkl)=1");
  // (abcd,efgh) and (efgh,abcd) count abcd once each, (abcd,abcd) twice.
  EXPECT_EQ(task_.TermCountForTesting("abcd"), 2 + 4);
  EXPECT_EQ(task_.totalTermCount(), 12);
}

TEST_F(CooccurrenceTaskTest, WithoutWriterTermCountsAreNotGathered) {
  CooccurrenceTask task;
  StatSource source = MakeSource(kModeNormal, "abcd/efgh/ijkl");
  ASSERT_EQ(task.ProcessRecord(0, &source, nullptr), 0);
  EXPECT_EQ(task.PairTableSizeForTesting(), 3u);
  EXPECT_EQ(task.TermCountTableSizeForTesting(), 0u);
  EXPECT_EQ(task.TermCountForTesting("abcd"), 0);
  EXPECT_EQ(task.totalTermCount(), 0);
}

TEST_F(CooccurrenceTaskTest, SingleSourceInModeZeroIsRefused) {
  EXPECT_EQ(Single(kModeNone, "abcd efgh"), VOCS_E_BAD_ARGUMENT);
  EXPECT_EQ(task_.PairTableSizeForTesting(), 0u);
}

struct PairCase {
  int32_t mode1;
  std::string text1;
  std::string content1;
  int32_t mode2;
  std::string text2;
  std::string content2;
  int result;
  std::string pairs;
};

TEST_F(CooccurrenceTaskTest, PairsOfTwoSources) {
  const std::vector<PairCase> cases = {
      {kModeNone, "", "  title text  ", kModeNormal, "", "word/term", 0,
       "(title text,term)=1 (title text,word)=1"},
      // A mode-0 content that is no term counts nothing.
      {kModeNone, "", "abc", kModeNormal, "", "word/term", 0, ""},
      {kModeNone, "", "12345", kModeNone, "", "word", 0, ""},
      {kModeNone, "", "abcd", kModeNone, "", " \xA1\xA1word\t", 0, "(abcd,word)=1"},
      {kModeNone, "", "abcd", kModeNone, "", "xy", 0, ""},
      // The full cross product, first source's term first.
      {kModeNormal, "", "abcd/efgh", kModeDelimited, ",", "ijkl,abcd", 0,
       "(abcd,abcd)=1 (abcd,ijkl)=1 (efgh,abcd)=1 (efgh,ijkl)=1"},
      // Empty delimiters: an error with two sources...
      {kModeDelimited, "", "abcd,efgh", kModeNormal, "", "ijkl", VOCS_E_PAIR_NOT_COUNTED, ""},
      {kModeNone, "", "abcd", kModeDelimited, "", "ijkl", VOCS_E_PAIR_NOT_COUNTED, ""},
      // ...but the second source's are looked at only for a term of the first.
      {kModeNormal, "", "ab/cd", kModeDelimited, "", "ijkl", 0, ""},
      {kModeNone, "", "ab", kModeDelimited, "", "ijkl", 0, ""},
  };
  for (const PairCase& c : cases) {
    CooccurrenceTask task;
    StatSource first = MakeSource(c.mode1, c.content1, c.text1);
    StatSource second = MakeSource(c.mode2, c.content2, c.text2);
    EXPECT_EQ(task.ProcessRecord(0, &first, &second), c.result) << c.content1;
    EXPECT_EQ(task.DumpPairsForTesting(), c.pairs) << c.content1;
  }
}

TEST_F(CooccurrenceTaskTest, ModeZeroTrimsTheSourceContentInPlace) {
  StatSource first = MakeSource(kModeNone, " \tTitle\xA1\xA1");
  StatSource second = MakeSource(kModeNormal, "word");
  ASSERT_EQ(task_.ProcessRecord(0, &first, &second), 0);
  EXPECT_EQ(first.content, "Title");
  EXPECT_EQ(task_.DumpPairsForTesting(), "(Title,word)=1");
}

TEST_F(CooccurrenceTaskTest, LongTermsAreCountedUnderTheirCut) {
  const std::string ascii(300, 'a');
  // 255 ASCII bytes, then a double-byte character across the 256-byte cut.
  const std::string split = "B" + std::string(254, 'b') + "\xB0\xA1" + "tail";
  // 254 ASCII bytes and a double-byte character end exactly at the cut.
  const std::string whole = "C" + std::string(253, 'c') + "\xB0\xA1" + "tail";
  ASSERT_EQ(Single(kModeNormal, ascii + "/" + split + "/" + whole), 0);
  EXPECT_EQ(task_.TermCountForTesting(std::string(256, 'a')), 2);
  EXPECT_EQ(task_.TermCountForTesting(split.substr(0, 255)), 2);
  EXPECT_EQ(task_.TermCountForTesting(whole.substr(0, 256)), 2);
  EXPECT_EQ(task_.PairTableSizeForTesting(), 3u);

  // The same cut applies to pairs added directly, so both spellings meet.
  ASSERT_TRUE(task_.AddPairForTesting(ascii, ascii + "more"));
  EXPECT_EQ(task_.TermCountForTesting(std::string(256, 'a')), 4);
}

TEST_F(CooccurrenceTaskTest, NextTokenWalksTheText) {
  CooccurrenceTask::TokenCursor cursor;
  cursor.text = "  abcd,x,  efgh  ,ijkl  ";
  std::vector<std::string> tokens;
  std::string_view token;
  while (task_.NextTokenForTesting(&cursor, ",", &token)) tokens.emplace_back(token);
  // "  abcd" passes with its blanks (first byte a space fails the rule).
  EXPECT_EQ(tokens, (std::vector<std::string>{"ijkl"}));

  cursor = CooccurrenceTask::TokenCursor();
  cursor.text = "Abcd  ,x,Efgh\xA1\xA1,ijkl  ";
  tokens.clear();
  while (task_.NextTokenForTesting(&cursor, ",", &token)) tokens.emplace_back(token);
  EXPECT_EQ(tokens, (std::vector<std::string>{"Abcd  ", "Efgh\xA1\xA1", "ijkl"}));
  EXPECT_EQ(cursor.position, std::string_view::npos);
  EXPECT_FALSE(task_.NextTokenForTesting(&cursor, ",", &token));
}

TEST_F(CooccurrenceTaskTest, SpillsExactlyWhenTheTableReachesTheThreshold) {
  task_.SetSpillThresholdForTesting(3);
  ASSERT_TRUE(task_.AddPairForTesting("abcd", "efgh"));
  ASSERT_TRUE(task_.AddPairForTesting("abcd", "ijkl"));
  // Adding an existing pair never spills.
  ASSERT_TRUE(task_.AddPairForTesting("abcd", "efgh"));
  EXPECT_EQ(task_.PairTableSizeForTesting(), 2u);
  EXPECT_TRUE(task_.spillFiles().empty());
  ASSERT_TRUE(task_.AddPairForTesting("efgh", "abcd"));
  EXPECT_EQ(task_.PairTableSizeForTesting(), 0u);
  ASSERT_EQ(task_.spillFiles().size(), 1u);
  EXPECT_EQ(task_.SpillFileTextForTesting(task_.spillFiles()[0]),
            "abcd\tefgh\t2\nabcd\tijkl\t1\nefgh\tabcd\t1\n");
  // Term counts are never spilled.
  EXPECT_EQ(task_.TermCountForTesting("abcd"), 4);

  // Inside a record, too: the record's pairs go on in a new table.
  ASSERT_EQ(Single(kModeNormal, "wxyz/abcd/efgh/ijkl"), 0);
  EXPECT_EQ(task_.spillFiles().size(), 3u);
  EXPECT_EQ(task_.DumpPairsForTesting(), "");
}

TEST_F(CooccurrenceTaskTest, SpillFilesAreInUnsignedByteOrder) {
  // Interned in an order unlike the byte order; 0xFF sorts last.
  ASSERT_EQ(Single(kModeNormal, "zzzz/\xFF" "abc/\xB0\xA1\xB0\xA1/Zzzz/zzz/zzzza"), 0);
  ASSERT_EQ(task_.Finish(), 0);
  std::string previous;
  size_t lines = 0;
  const std::string result = testing::ReadFileOrMissing(task_.resultPath());
  for (size_t start = 0; start < result.size();) {
    const size_t end = result.find('\n', start);
    const std::string line = result.substr(start, end - start);
    const std::string key = line.substr(0, line.rfind('\t'));
    EXPECT_LT(previous, key);  // std::string compares bytes as unsigned
    previous = key;
    start = end + 1;
    ++lines;
  }
  EXPECT_EQ(lines, 10u);  // 5 terms: zzz is too short
}

TEST_F(CooccurrenceTaskTest, FinishWritesAnEmptySpillWhenNothingWasCounted) {
  ASSERT_EQ(Single(kModeNormal, "ab/cd"), 0);
  ASSERT_EQ(task_.Finish(), 0);
  ASSERT_EQ(task_.spillFiles().size(), 1u);
  EXPECT_EQ(testing::ReadFileOrMissing(task_.resultPath()), "");
  EXPECT_EQ(task_.currentRecord(), 0);  // left as it was
}

TEST_F(CooccurrenceTaskTest, FinishAfterSpillsAddsNoEmptySpill) {
  task_.SetSpillThresholdForTesting(1);
  ASSERT_EQ(Single(kModeNormal, "abcd/efgh"), 0);
  ASSERT_EQ(task_.spillFiles().size(), 1u);
  ASSERT_EQ(task_.Finish(), 0);
  EXPECT_EQ(task_.spillFiles().size(), 1u);
  EXPECT_EQ(testing::ReadFileOrMissing(task_.resultPath()), "abcd\tefgh\t1\n");
}

TEST_F(CooccurrenceTaskTest, WorkDirectoryBesideTheProgram) {
  FaultInjectionEnv env;
  ScopedEnvForTesting scoped(&env);
  env.SetExecutablePath(dir_.Sub("bin/server"));
  std::filesystem::create_directories(dir_.Sub("bin"));
  CooccurrenceTask task;  // no temporary directory configured, no writer
  StatSource source = MakeSource(kModeNormal, "abcd/efgh");
  ASSERT_EQ(task.ProcessRecord(0, &source, nullptr), 0);
  ASSERT_EQ(task.Finish(), 0);
  const std::string work = dir_.Sub("bin/vocstemp/");
  ASSERT_EQ(task.tempDir().rfind(work + "TOG_", 0), 0u) << task.tempDir();
  EXPECT_EQ(task.tempDir().back(), kPathSeparator);
  // The spill file and the result file it was merged into.
  EXPECT_EQ(testing::ListTree(task.tempDir()).size(), 2u);
  EXPECT_EQ(task.resultPath().rfind(task.tempDir() + "ok_", 0), 0u);
  EXPECT_EQ(task.spillFiles()[0].rfind(task.tempDir() + "tog", 0), 0u);
}

}  // namespace
}  // namespace vocs
