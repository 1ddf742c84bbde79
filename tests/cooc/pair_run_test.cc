// The binary spill runs of the co-occurrence engine as its merge reads them:
// runs written before later terms arrived, more runs than one pass takes,
// and runs damaged on disk, which must fail the merge instead of giving
// wrong counts.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "cooc/cooc_test_helper.h"
#include "cooc/cooccurrence_task.h"
#include "cooc/pair_run.h"
#include "job/stat_source.h"
#include "platform/env.h"
#include "sorted_run/run_merger.h"
#include "support/fault_injection_env.h"
#include "support/temp_dir.h"
#include "vocs/errors.h"

namespace vocs {
namespace {

using testing::ListTree;
using testing::MakeSource;
using testing::ReadFileOrMissing;
using testing::ScopedTempDir;

class PairRunTest : public ::testing::Test {
 protected:
  PairRunTest() {
    task_.SetTempDir(work().c_str());
    task_.SetSpillThresholdForTesting(1);  // a spill at every new pair
  }

  std::string work() const { return dir_.Sub("work/"); }

  void Record(const std::string& content) {
    StatSource source = MakeSource(kModeNormal, content);
    ASSERT_EQ(task_.ProcessRecord(0, &source, nullptr), 0);
  }

  static std::string Bytes(const std::vector<PairRecord>& records) {
    std::string bytes(records.size() * sizeof(PairRecord), '\0');
    std::memcpy(bytes.data(), records.data(), bytes.size());
    return bytes;
  }

  ScopedTempDir dir_;
  CooccurrenceTask task_;
};

TEST_F(PairRunTest, RunsWrittenBeforeLaterTermsMergeInByteOrder) {
  // Each later record brings terms that sort before, between and after the
  // ones of the runs already on disk, and repeats a pair of an earlier run.
  Record("mmmm/zzzz");
  Record("aaaa/mmmm");
  Record("mmmm/zzzz");
  Record("nnnn/aaaa");
  ASSERT_EQ(task_.spillFiles().size(), 4u);
  EXPECT_EQ(task_.SpillFileTextForTesting(task_.spillFiles()[0]), "mmmm\tzzzz\t1\n");
  ASSERT_EQ(task_.Finish(), 0);
  EXPECT_EQ(ReadFileOrMissing(task_.resultPath()),
            "aaaa\tmmmm\t1\nmmmm\tzzzz\t2\nnnnn\taaaa\t1\n");
}

TEST_F(PairRunTest, MoreRunsThanOnePassTakesMergeThroughIntermediateFiles) {
  // Each record has a new term, so that every run holds pairs of its own
  // beside the one all runs share; its three pairs fill the table, so each
  // record ends in a spill.
  task_.SetSpillThresholdForTesting(3);
  const size_t runs = kMergeFanIn * 2 + 3;
  std::vector<std::string> terms;
  for (size_t i = 0; i < runs; ++i) terms.push_back("t" + std::to_string(100 + i));
  for (const std::string& term : terms) Record("aaaa/" + term + "/aaaa");
  ASSERT_EQ(task_.spillFiles().size(), runs);
  const int32_t next_number = PeekMergeFileNumberForTesting();
  ASSERT_EQ(task_.Finish(), 0);
  // Two passes into intermediate files, numbered by the process's counter.
  EXPECT_EQ(PeekMergeFileNumberForTesting(), next_number + 2);
  std::string ordered = "aaaa\taaaa\t" + std::to_string(runs) + "\n";
  for (const std::string& term : terms) ordered += "aaaa\t" + term + "\t1\n";
  for (const std::string& term : terms) ordered += term + "\taaaa\t1\n";
  EXPECT_EQ(ReadFileOrMissing(task_.resultPath()), ordered);
  // The intermediate files are gone; the spill files and the result stay
  // until delivery.
  for (const std::string& name : ListTree(work())) {
    EXPECT_EQ(name.find(".tx2"), std::string::npos) << name;
  }
  EXPECT_EQ(ListTree(work()).size(), runs + 1);
}

TEST_F(PairRunTest, ManyPairsOverSeveralRunsMergeAsAnOrderedMapCountsThem) {
  // More pairs than the merge writes in one batch, and runs of several of
  // the reader's reads' worth of terms, against the obvious count.
  task_.SetSpillThresholdForTesting(700);
  std::mt19937 random(7);
  std::map<std::pair<std::string, std::string>, int64_t> reference;
  for (int r = 0; r < 300; ++r) {
    std::vector<std::string> terms(3 + random() % 8);
    for (std::string& term : terms) term = "w" + std::to_string(1000 + random() % 90);
    std::string content;
    for (const std::string& term : terms) content += (content.empty() ? "" : "/") + term;
    for (size_t i = 0; i < terms.size(); ++i) {
      for (size_t j = i + 1; j < terms.size(); ++j) ++reference[{terms[i], terms[j]}];
    }
    Record(content);
  }
  ASSERT_GE(task_.spillFiles().size(), 3u);
  ASSERT_EQ(task_.Finish(), 0);
  std::string expected;
  for (const auto& [pair, count] : reference) {
    expected += pair.first + "\t" + pair.second + "\t" + std::to_string(count) + "\n";
  }
  ASSERT_GT(reference.size(), 1000u);
  EXPECT_EQ(ReadFileOrMissing(task_.resultPath()), expected);
}

TEST_F(PairRunTest, DamagedRunsFailTheMerge) {
  struct Case {
    const char* what;
    std::vector<PairRecord> records;
    size_t cut = 0;  // bytes cut off the end
    int result = VOCS_E_NO_RESULT_FILE;
  };
  // After the two records below the table holds ids 0 (abcd), 1 (efgh) and
  // 2 (ijkl).
  const std::vector<Case> cases = {
      {"a sound run, for contrast", {{0, 1, 1}, {0, 2, 5}}, 0, 0},
      {"a record cut short", {{0, 1, 1}}, 3},
      {"an id the run does not have", {{0, 7, 1}}, 0},
      {"a count of 0", {{0, 1, 0}}, 0},
      {"a negative count", {{0, 1, -4}}, 0},
      {"pairs out of order", {{0, 2, 1}, {0, 1, 1}}, 0},
      {"a pair twice", {{0, 1, 1}, {0, 1, 1}}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedTempDir dir;
    CooccurrenceTask task;
    task.SetTempDir(dir.Sub("work/").c_str());
    task.SetSpillThresholdForTesting(1);
    StatSource first = MakeSource(kModeNormal, "abcd/efgh");
    ASSERT_EQ(task.ProcessRecord(0, &first, nullptr), 0);
    StatSource second = MakeSource(kModeNormal, "abcd/ijkl");
    ASSERT_EQ(task.ProcessRecord(1, &second, nullptr), 0);
    ASSERT_EQ(task.spillFiles().size(), 2u);
    std::string bytes = Bytes(c.records);
    bytes.resize(bytes.size() - c.cut);
    ASSERT_TRUE(WriteStringToFile(Env::Default(), task.spillFiles()[1], bytes));
    EXPECT_EQ(task.Finish(), c.result);
    if (c.result == 0) {
      EXPECT_EQ(ReadFileOrMissing(task.resultPath()), "abcd\tefgh\t2\nabcd\tijkl\t5\n");
    }
    // Nothing is lost: the runs stay for a look at what happened.
    EXPECT_TRUE(std::filesystem::exists(task.spillFiles()[0]));
  }
}

// Runs longer than the reader's buffer: the checks hold across the buffers'
// boundaries, and every record before a damaged one is still read.
TEST(PairRunReaderTest, ReadsUpToTheFirstDamagedRecordOfALongRun) {
  // Ids in the byte order of their terms, so that rank = id.
  TermIdTable terms;
  constexpr uint32_t kTerms = 300;
  for (uint32_t i = 0; i < kTerms; ++i) {
    std::string term = std::to_string(1000 + i);
    ASSERT_EQ(terms.Intern(term), i);
  }
  terms.UpdateOrder();
  const int bits = RankBits(terms.size());
  std::vector<PairRecord> sound;
  for (uint32_t a = 0; a < kTerms; ++a) {
    for (uint32_t b = 0; b < kTerms; ++b) sound.push_back({a, b, int64_t{a} * 7 + b + 1});
  }
  // 16384 records a buffer (256 KiB): damage in the first record of the
  // second buffer, in the middle of the third, and in the last record.
  const size_t kBuffer = 16384;
  struct Case {
    const char* what;
    size_t at;  // the damaged record; sound.size(): none
    PairRecord record;
  };
  const std::vector<Case> cases = {
      {"a sound run", sound.size(), {}},
      {"the pair before, across a buffer's boundary", kBuffer, sound[kBuffer - 1]},
      {"a pair out of order mid-buffer", 2 * kBuffer + 77, sound[2 * kBuffer + 70]},
      {"an unknown id", 2 * kBuffer + 77, {kTerms, 0, 1}},
      {"a count of 0 in the last record", sound.size() - 1, {kTerms - 1, kTerms - 1, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<PairRecord> records = sound;
    if (c.at < records.size()) records[c.at] = c.record;
    ScopedTempDir dir;
    const std::string path = dir.Sub("run");
    std::string bytes(records.size() * sizeof(PairRecord), '\0');
    std::memcpy(bytes.data(), records.data(), bytes.size());
    ASSERT_TRUE(WriteStringToFile(Env::Default(), path, bytes));
    PairRunReader reader(&terms, bits);
    ASSERT_TRUE(reader.Open(path));
    size_t read = 0;
    bool same = true;
    while (reader.Next()) {
      const PairRecord& r = records[read++];
      same = same && reader.key() == ((uint64_t{r.id1} << bits) | r.id2) &&
             reader.count() == r.count;
    }
    EXPECT_TRUE(same);
    EXPECT_EQ(read, c.at);
    EXPECT_EQ(reader.failed(), c.at < records.size());
    EXPECT_FALSE(reader.Next());
  }
}

TEST_F(PairRunTest, AReadErrorInARunFailsTheMerge) {
  Record("abcd/efgh");
  Record("abcd/ijkl");
  FaultInjectionEnv env;
  ScopedEnvForTesting scoped(&env);
  env.FailAfter(EnvOp::kRead, 0, 5, true);
  EXPECT_EQ(task_.Finish(), VOCS_E_NO_RESULT_FILE);
}

TEST_F(PairRunTest, AnEmptyRunMergesToAnEmptyResult) {
  ASSERT_EQ(task_.Finish(), 0);  // nothing counted: one empty run
  ASSERT_EQ(task_.spillFiles().size(), 1u);
  EXPECT_EQ(ReadFileOrMissing(task_.spillFiles()[0]), "");
  EXPECT_EQ(ReadFileOrMissing(task_.resultPath()), "");
}

}  // namespace
}  // namespace vocs
