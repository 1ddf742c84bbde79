// The co-occurrence engine end to end: a StatJob feeding a CooccurrenceTask
// that writes through a CooccurrenceFileWriter; a model run of two sources
// with spills; spill failures. The model run of one source and the fault
// sweep of both engines are in engine/engine_run_test.cc.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "cooc/cooc_test_helper.h"
#include "cooc/cooccurrence_task.h"
#include "job/stat_job.h"
#include "output/file_result_writer.h"
#include "support/fault_injection_env.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"
#include "vocs/errors.h"

namespace vocs {
namespace {

using testing::CooccurrenceModel;
using testing::kCooccurrenceHeader;
using testing::ReadFileOrMissing;
using testing::RecordingHost;
using testing::ScopedTempDir;

class CooccurrenceJobTest : public ::testing::Test {
 protected:
  CooccurrenceJobTest() { job_.SetHost(&host_); }

  // Configures task and writer the way the entry points do and runs the job.
  bool Run(const char* query, size_t threshold = 0, int32_t min_frequency = 0) {
    task_.SetTempDir(work().c_str());
    task_.SetOutputName(output());
    task_.SetWriter(&writer_);
    task_.SetMinFrequency(min_frequency);
    if (threshold > 0) task_.SetSpillThresholdForTesting(threshold);
    job_.SetCooccurrenceTask(&task_);
    return job_.Run(query);
  }

  std::string work() const { return dir_.Sub("work/"); }
  std::string output() const { return dir_.Sub("out/result.txt"); }
  std::string Result() const { return ReadFileOrMissing(output()); }

  ScopedTempDir dir_;
  RecordingHost host_;
  CooccurrenceFileWriter writer_;
  CooccurrenceTask task_;
  StatJob job_;
};

TEST_F(CooccurrenceJobTest, OneSource) {
  ASSERT_TRUE(job_.AddBufferSource("abcd/efgh/ijkl", -1, kModeNormal, nullptr));
  ASSERT_TRUE(Run(nullptr)) << job_.error_code();
  EXPECT_EQ(Result(), std::string(kCooccurrenceHeader) +
                          "abcd\tefgh\t1\t50.0000\t50.0000\t16.6667\r\n"
                          "abcd\tijkl\t1\t50.0000\t50.0000\t16.6667\r\n"
                          "efgh\tijkl\t1\t50.0000\t50.0000\t16.6667\r\n");
  // The temporary files and the work directory are gone.
  EXPECT_FALSE(std::filesystem::exists(work()));
}

TEST_F(CooccurrenceJobTest, OneSourceInModeZeroFails) {
  ASSERT_TRUE(job_.AddBufferSource("abcd", -1, kModeNone, nullptr));
  EXPECT_FALSE(Run(nullptr));
  EXPECT_EQ(job_.error_code(), VOCS_E_BAD_ARGUMENT);
  EXPECT_EQ(Result(), "<missing>");
}

TEST_F(CooccurrenceJobTest, TwoSourcesOverTheRecordsOfAQuery) {
  host_.SetTable({"title", "body"}, {{"  title text  ", "word/term"}, {"Other", "word"}});
  ASSERT_TRUE(job_.AddFieldSource("title", kModeNone, nullptr));
  ASSERT_TRUE(job_.AddFieldSource("body", kModeNormal, nullptr));
  ASSERT_TRUE(Run("select")) << job_.error_code();
  EXPECT_EQ(Result(), std::string(kCooccurrenceHeader) +
                          "Other\tword\t1\t100.0000\t50.0000\t16.6667\r\n"
                          "title text\tterm\t1\t50.0000\t100.0000\t16.6667\r\n"
                          "title text\tword\t1\t50.0000\t50.0000\t16.6667\r\n");
}

TEST_F(CooccurrenceJobTest, ThreeSourcesPairEverySourceWithEachLaterOne) {
  ASSERT_TRUE(job_.AddBufferSource("abcd", -1, kModeNormal, nullptr));
  ASSERT_TRUE(job_.AddBufferSource("efgh", -1, kModeNormal, nullptr));
  ASSERT_TRUE(job_.AddBufferSource("ijkl,mnop", -1, kModeDelimited, ","));
  ASSERT_TRUE(Run(nullptr)) << job_.error_code();
  EXPECT_EQ(Result(), std::string(kCooccurrenceHeader) +
                          "abcd\tefgh\t1\t33.3333\t33.3333\t10.0000\r\n"
                          "abcd\tijkl\t1\t33.3333\t50.0000\t10.0000\r\n"
                          "abcd\tmnop\t1\t33.3333\t50.0000\t10.0000\r\n"
                          "efgh\tijkl\t1\t33.3333\t50.0000\t10.0000\r\n"
                          "efgh\tmnop\t1\t33.3333\t50.0000\t10.0000\r\n");
}

TEST_F(CooccurrenceJobTest, DirectorySource) {
  dir_.WriteFile("d/x.txt", "ijkl");
  dir_.WriteFile("d/sub/y.txt", "ijkl\r\n");
  dir_.WriteFile("d/z.dat", "zzzz");
  ASSERT_TRUE(job_.AddBufferSource("abcd/efgh", -1, kModeNormal, nullptr));
  ASSERT_TRUE(job_.AddFileSource(dir_.Sub("d").c_str(), kModeNormal, nullptr));
  ASSERT_TRUE(Run(nullptr)) << job_.error_code();
  EXPECT_EQ(Result(), std::string(kCooccurrenceHeader) +
                          "abcd\tijkl\t2\t100.0000\t33.3333\t20.0000\r\n"
                          "efgh\tijkl\t2\t100.0000\t33.3333\t20.0000\r\n"
                          "ijkl\tijkl\t1\t16.6667\t16.6667\t10.0000\r\n");
}

TEST_F(CooccurrenceJobTest, MinimumFrequency) {
  host_.SetTable({"body"}, {{"abcd/efgh"}, {"abcd/efgh/ijkl"}});
  ASSERT_TRUE(job_.AddFieldSource("body", kModeNormal, nullptr));
  ASSERT_TRUE(Run("select", 0, 2)) << job_.error_code();
  EXPECT_EQ(Result(), std::string(kCooccurrenceHeader) +
                          "abcd\tefgh\t2\t66.6667\t66.6667\t25.0000\r\n");
}

// Random records over a small vocabulary with long, double-byte and
// refused tokens.
struct RandomCorpus {
  explicit RandomCorpus(uint32_t seed) : random(seed) {
    vocabulary = {"abcd", "efgh", "ijkl", "Mnop", "qrstu", "vwxyz0", "\xB0\xA1\xB0\xA2",
                  "\xC4\xE3\xBA\xC3", "\xD6\xD0\xCE\xC4\xB4\xCA", "\xFF" "high", "zz\x80zz",
                  std::string(300, 'a'), std::string(290, 'a'),
                  "B" + std::string(254, 'b') + "\xB0\xA1" + "tail",
                  "B" + std::string(254, 'b') + "\xB0\xA1" + "other",
                  // refused: too short, a digit, a sign, one double-byte character
                  "abc", "12345", "@abcd", "\xB0\xA1"};
  }

  // Accepted tokens are those the term rule takes.
  static bool Accepted(const std::string& t) {
    return t.size() >= 4 && static_cast<unsigned char>(t[0]) >= 0x41;
  }

  // A record of mode 2 ("/"), or of mode 1 with "," and trailing blanks that
  // the engine trims after the rule.
  std::string Record(bool delimited, std::vector<std::string>* terms) {
    std::uniform_int_distribution<size_t> count(0, 14);
    std::uniform_int_distribution<size_t> pick(0, vocabulary.size() - 1);
    // Skewed towards the first words, so that pairs repeat across records.
    std::geometric_distribution<size_t> skew(0.25);
    const size_t n = count(random);
    std::string text;
    for (size_t i = 0; i < n; ++i) {
      const size_t k =
          random() % 3 == 0 ? pick(random) : std::min(skew(random), vocabulary.size() - 1);
      std::string token = vocabulary[k];
      if (i > 0) text += delimited ? "," : "/";
      // The last token is trimmed before the rule, so only middle ones carry
      // blanks into it.
      if (delimited && i + 1 < n && random() % 4 == 0) token += "  ";
      text += token;
      if (Accepted(token)) terms->push_back(vocabulary[k]);
    }
    return text;
  }

  std::mt19937 random;
  std::vector<std::string> vocabulary;
};

TEST_F(CooccurrenceJobTest, SpillsDoNotChangeTheResultOfTwoSources) {
  const uint32_t seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  RandomCorpus corpus(seed);
  CooccurrenceModel model;
  std::vector<std::vector<std::string>> rows;
  for (int r = 0; r < 200; ++r) {
    std::vector<std::string> first;
    std::vector<std::string> second;
    std::string a = corpus.Record(true, &first);
    std::string b = corpus.Record(false, &second);
    rows.push_back({a, b});
    model.AddRecordPair(first, second);
  }
  for (size_t threshold : {size_t{0}, size_t{25}}) {
    ScopedTempDir dir;
    RecordingHost host;
    host.SetTable({"a", "b"}, rows);
    StatJob job;
    job.SetHost(&host);
    ASSERT_TRUE(job.AddFieldSource("a", kModeDelimited, ","));
    ASSERT_TRUE(job.AddFieldSource("b", kModeNormal, nullptr));
    CooccurrenceFileWriter writer;
    CooccurrenceTask task;
    task.SetTempDir(dir.Sub("work/").c_str());
    task.SetOutputName(dir.Sub("result.txt"));
    task.SetWriter(&writer);
    task.SetMinFrequency(2);
    if (threshold > 0) task.SetSpillThresholdForTesting(threshold);
    job.SetCooccurrenceTask(&task);
    ASSERT_TRUE(job.Run("select")) << job.error_code();
    EXPECT_EQ(ReadFileOrMissing(dir.Sub("result.txt")), model.ResultFile(2)) << threshold;
  }
}

TEST_F(CooccurrenceJobTest, SpillThatCannotBeCreatedFailsTheRunAndKeepsFiles) {
  FaultInjectionEnv env;
  ScopedEnvForTesting scoped(&env);
  // The second spill file cannot be opened for writing.
  env.FailAfter(EnvOp::kNewWritableFile, 1, 5, true);
  ASSERT_TRUE(job_.AddBufferSource("abcd/efgh/ijkl/mnop", -1, kModeNormal, nullptr));
  EXPECT_FALSE(Run(nullptr, 2));
  EXPECT_EQ(job_.error_code(), VOCS_E_NO_RESULT_FILE);
  ASSERT_EQ(task_.spillFiles().size(), 1u);
  EXPECT_EQ(task_.SpillFileTextForTesting(task_.spillFiles()[0]),
            "abcd\tefgh\t1\nabcd\tijkl\t1\n");
  EXPECT_EQ(Result(), "<missing>");
  // The failure sticks.
  EXPECT_EQ(task_.Finish(), VOCS_E_NO_RESULT_FILE);
}

TEST_F(CooccurrenceJobTest, SpillOnAFullDiskFailsTheRunAndKeepsFiles) {
  FaultInjectionEnv env;
  ScopedEnvForTesting scoped(&env);
  env.FillDiskAfter(10);
  ASSERT_TRUE(job_.AddBufferSource("abcd/efgh/ijkl/mnop", -1, kModeNormal, nullptr));
  EXPECT_FALSE(Run(nullptr, 2));
  EXPECT_EQ(job_.error_code(), VOCS_E_NO_RESULT_FILE);
  ASSERT_EQ(task_.spillFiles().size(), 1u);
  EXPECT_TRUE(std::filesystem::exists(task_.spillFiles()[0]));
}

TEST_F(CooccurrenceJobTest, LastSpillThatCannotBeWrittenFailsFinish) {
  FaultInjectionEnv env;
  ScopedEnvForTesting scoped(&env);
  env.FailAlways(EnvOp::kNewWritableFile);
  ASSERT_TRUE(job_.AddBufferSource("abcd/efgh", -1, kModeNormal, nullptr));
  EXPECT_FALSE(Run(nullptr));
  EXPECT_EQ(job_.error_code(), VOCS_E_NO_RESULT_FILE);
}

}  // namespace
}  // namespace vocs
