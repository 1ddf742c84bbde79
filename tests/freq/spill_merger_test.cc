// The merge of frequency spill files: passes and their inputs, the naming and
// removal of intermediate files, adding up equal terms, and failures.
#include "freq/spill_merger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "freq/frequency_spill.h"
#include "freq/frequency_test_helper.h"
#include "platform/fault_injection_env.h"
#include "support/temp_dir.h"

namespace vocs {
namespace {

using testing::FileLines;
using testing::ListTree;
using testing::ScopedTempDir;

// Logs the files opened for reading and for writing, by their base names.
class FileLogEnv final : public FaultInjectionEnv {
 public:
  std::unique_ptr<WritableFile> NewWritableFile(const std::string& path) override {
    writes.push_back(Base(path));
    return FaultInjectionEnv::NewWritableFile(path);
  }
  std::unique_ptr<SequentialFile> NewSequentialFile(const std::string& path) override {
    reads.push_back(Base(path));
    return FaultInjectionEnv::NewSequentialFile(path);
  }
  static std::string Base(const std::string& path) { return path.substr(path.rfind('/') + 1); }

  std::vector<std::string> writes;
  std::vector<std::string> reads;
};

class SpillMergerTest : public ::testing::Test {
 protected:
  SpillMergerTest() : scoped_(&env_) {}

  // Writes spill file "s<i>.tmp" and returns its path.
  std::string Spill(int i, const std::string& contents) {
    const std::string name = "s" + std::to_string(i) + ".tmp";
    dir_.WriteFile(name, contents);
    return dir_.Sub(name);
  }
  std::string Destination() const { return dir_.Sub("ok.tmp"); }

  bool Merge(const std::vector<std::string>& spills) {
    SpillMerger merger(Destination(), spills);
    bool ok = merger.Merge();
    intermediates_ = merger.intermediates();
    return ok;
  }

  static std::string Tx2(int32_t n) { return std::to_string(n) + ".tx2"; }

  ScopedTempDir dir_;
  FileLogEnv env_;
  ScopedEnvForTesting scoped_;
  std::vector<std::string> intermediates_;
};

TEST_F(SpillMergerTest, EqualTermsAreAddedUp) {
  std::vector<std::string> spills = {
      Spill(0, "abcd\t3\t2\t2\t1\nefgh\t1\t1\t1\t1\n"),
      Spill(1, "abcd\t4\t1\t4\t4\nzzzz\t2\t2\t1\t1\n"),
  };
  ASSERT_TRUE(Merge(spills));
  EXPECT_EQ(FileLines(Destination()),
            (std::vector<std::string>{"abcd\t7\t3\t4\t1", "efgh\t1\t1\t1\t1",
                                      "zzzz\t2\t2\t1\t1"}));
}

TEST_F(SpillMergerTest, TwentyOneSpillFilesTakeTwoPassesNewestFirst) {
  std::vector<std::string> spills;
  for (int i = 0; i < 21; ++i) {
    char term[8];
    std::snprintf(term, sizeof(term), "t%02d", i);
    spills.push_back(Spill(i, std::string("shared\t1\t1\t1\t1\n") + term + "\t1\t1\t1\t1\n"));
  }
  const int32_t first = SpillMerger::PeekIntermediateNumberForTesting();
  ASSERT_TRUE(Merge(spills));
  // Pass 1 reads the 20 newest spill files, newest first, into the first
  // intermediate; pass 2 the oldest spill file and that intermediate.
  std::vector<std::string> expected_reads;
  for (int i = 20; i >= 1; --i) expected_reads.push_back("s" + std::to_string(i) + ".tmp");
  expected_reads.push_back("s0.tmp");
  expected_reads.push_back(Tx2(first));
  EXPECT_EQ(env_.reads, expected_reads);
  EXPECT_EQ(env_.writes, (std::vector<std::string>{Tx2(first), Tx2(first + 1)}));
  EXPECT_EQ(intermediates_, (std::vector<std::string>{dir_.Sub(Tx2(first)),
                                                      dir_.Sub(Tx2(first + 1))}));
  // Both intermediates are gone; the spill files are left to their owner.
  std::vector<std::string> left = ListTree(dir_.path());
  EXPECT_EQ(left.size(), 22u);
  EXPECT_EQ(std::count(left.begin(), left.end(), "ok.tmp"), 1);
  std::vector<std::string> lines = FileLines(Destination());
  ASSERT_EQ(lines.size(), 22u);
  EXPECT_EQ(lines.back(), "t20\t1\t1\t1\t1");
  EXPECT_EQ(lines[0], "shared\t21\t21\t1\t1");
}

TEST_F(SpillMergerTest, NumberingGoesOnAcrossMerges) {
  ASSERT_TRUE(Merge({Spill(0, "aaaa\t1\t1\t1\t1\n"), Spill(1, "bbbb\t1\t1\t1\t1\n")}));
  ASSERT_EQ(env_.writes.size(), 1u);
  const std::string first = env_.writes[0];
  ASSERT_TRUE(Merge({Spill(2, "aaaa\t1\t1\t1\t1\n"), Spill(3, "bbbb\t1\t1\t1\t1\n")}));
  ASSERT_EQ(env_.writes.size(), 2u);
  EXPECT_EQ(env_.writes[1], Tx2(std::stoi(first) + 1));
  EXPECT_EQ(SpillMerger::PeekIntermediateNumberForTesting(), std::stoi(first) + 2);
}

TEST_F(SpillMergerTest, EmptyInputsAndMalformedLinesContributeNothing) {
  std::vector<std::string> spills = {
      Spill(0, ""),
      Spill(1, "garbage\nabcd\t1\t1\t1\nabcd\t2\t1\t2\t2\n\n"),
      Spill(2, "abcd\t1\t1\t1\t1\r\nefgh\t1\t1\t1\t1"),  // CR LF, no final line end
      Spill(3, "nothing\tto\tsee\n"),
  };
  ASSERT_TRUE(Merge(spills));
  EXPECT_EQ(FileLines(Destination()),
            (std::vector<std::string>{"abcd\t3\t2\t2\t1", "efgh\t1\t1\t1\t1"}));
}

TEST_F(SpillMergerTest, TermsHoldingTabsSurvive) {
  ASSERT_TRUE(Merge({Spill(0, "a\tb\t1\t1\t1\t1\n"), Spill(1, "a\tb\t2\t1\t2\t2\n")}));
  EXPECT_EQ(FileLines(Destination()), std::vector<std::string>{"a\tb\t3\t2\t2\t1"});
}

TEST_F(SpillMergerTest, CountsAddUpInSixtyFourBits) {
  ASSERT_TRUE(Merge({Spill(0, "abcd\t2147483647\t2147483647\t2147483647\t1\n"),
                     Spill(1, "abcd\t2147483647\t1\t3000000000\t2\n")}));
  EXPECT_EQ(FileLines(Destination()),
            std::vector<std::string>{"abcd\t4294967294\t2147483648\t3000000000\t1"});
}

TEST_F(SpillMergerTest, NoSpillFileFails) { EXPECT_FALSE(Merge({})); }

TEST_F(SpillMergerTest, InputThatCannotBeOpenedFailsTheMerge) {
  std::vector<std::string> spills = {Spill(0, "aaaa\t1\t1\t1\t1\n"),
                                     Spill(1, "bbbb\t1\t1\t1\t1\n")};
  env_.FailAfter(EnvOp::kNewSequentialFile, 1);
  EXPECT_FALSE(Merge(spills));
  env_.Reset();
  env_.FailAfter(EnvOp::kRead, 0);
  EXPECT_FALSE(Merge(spills));
}

TEST_F(SpillMergerTest, FailedPassKeepsTheIntermediatesMadeSoFar) {
  std::vector<std::string> spills;
  for (int i = 0; i < 21; ++i) spills.push_back(Spill(i, "aaaa\t1\t1\t1\t1\n"));
  env_.FailAfter(EnvOp::kNewWritableFile, 1);  // the second pass's output
  EXPECT_FALSE(Merge(spills));
  ASSERT_EQ(env_.writes.size(), 2u);
  EXPECT_EQ(testing::ReadFileOrMissing(dir_.Sub(env_.writes[0])), "aaaa\t20\t20\t1\t1\n");
}

TEST_F(SpillMergerTest, OutputThatCannotBeWrittenFailsTheMerge) {
  std::vector<std::string> spills = {Spill(0, "aaaa\t1\t1\t1\t1\n"),
                                     Spill(1, "bbbb\t1\t1\t1\t1\n")};
  env_.FillDiskAfter(10);
  EXPECT_FALSE(Merge(spills));
  env_.Reset();
  env_.FailAlways(EnvOp::kMoveFile);
  EXPECT_FALSE(Merge(spills));
}

// A model: random sorted spill files merged with every fan-in pattern from 2
// to 45 inputs (one to three passes) against a plain map.
TEST_F(SpillMergerTest, MatchesAMapOverRandomSpillFiles) {
  const uint32_t seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  for (int count : {2, 3, 19, 20, 21, 39, 40, 45}) {
    std::map<std::string, SpillCounts> model;
    std::vector<std::string> spills;
    for (int i = 0; i < count; ++i) {
      std::map<std::string, SpillCounts> spill;
      const int lines = static_cast<int>(rng() % 30);
      for (int k = 0; k < lines; ++k) {
        std::string term(1 + rng() % 3, 'a');
        for (char& c : term) c = static_cast<char>("ab\t\xB0\xA1z"[rng() % 6]);
        SpillCounts c{static_cast<int64_t>(1 + rng() % 9), 1, 0, 0};
        c.maxCount = c.total;
        c.minCount = 1 + static_cast<int64_t>(rng() % c.total);
        spill[term] = c;
      }
      std::string contents;
      for (const auto& [term, c] : spill) {
        AppendSpillLine(term, c, &contents);
        SpillCounts& m = model[term];
        if (m.records == 0) {
          m = c;
        } else {
          m.total += c.total;
          m.records += c.records;
          m.maxCount = std::max(m.maxCount, c.maxCount);
          m.minCount = std::min(m.minCount, c.minCount);
        }
      }
      spills.push_back(Spill(1000 + i, contents));
    }
    std::string expected;
    for (const auto& [term, c] : model) AppendSpillLine(term, c, &expected);
    ASSERT_TRUE(Merge(spills)) << count;
    EXPECT_EQ(testing::ReadFileOrMissing(Destination()), expected) << count;
    EXPECT_EQ(ListTree(dir_.path()).size(), static_cast<size_t>(count) + 1) << count;
    for (const std::string& path : spills) std::filesystem::remove(path);
  }
}

}  // namespace
}  // namespace vocs
