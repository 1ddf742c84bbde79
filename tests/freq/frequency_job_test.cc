// The frequency engine end to end: a StatJob feeding a FrequencyTask that
// writes through a FrequencyFileWriter, over every kind of source; a model
// run with random records and tiny spill thresholds; and a fault sweep over
// every file-system operation.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "freq/frequency_task.h"
#include "freq/frequency_test_helper.h"
#include "job/stat_job.h"
#include "output/file_result_writer.h"
#include "support/fault_injection_env.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"
#include "vocs/errors.h"

namespace vocs {
namespace {

using testing::ListTree;
using testing::Model;
using testing::ReadFileOrMissing;
using testing::RecordingHost;
using testing::ScopedTempDir;

const std::string kHeader =
    "\xB4\xCA\xCC\xF5\xC3\xFB\xB3\xC6\t\xB4\xCA\xC6\xB5\t\xB3\xF6\xCF\xD6\xD0\xD0\xCA\xFD\t"
    "\xD7\xEE\xB4\xF3\xD6\xB5\t\xB4\xCE\xD0\xA1\xD6\xB5\t\xD7\xEE\xD0\xA1\xD6\xB5\t"
    "\xC6\xBD\xBE\xF9\xD6\xB5\r\n";

enum class Kind { kBuffer, kFile, kDirectory, kField };

class FrequencyJobTest : public ::testing::Test {
 protected:
  FrequencyJobTest() { job_.SetHost(&host_); }

  // Configures task and writer the way the entry points do and runs the job.
  bool Run(const char* query, size_t threshold = 0) {
    task_.SetTempDir(work().c_str());
    task_.SetOutputName(output());
    task_.SetWriter(&writer_);
    if (threshold > 0) task_.SetSpillThresholdForTesting(threshold);
    job_.SetFrequencyTask(&task_);
    return job_.Run(query);
  }

  std::string work() const { return dir_.Sub("work/"); }
  std::string output() const { return dir_.Sub("out/result.txt"); }

  ScopedTempDir dir_;
  RecordingHost host_;
  FrequencyFileWriter writer_;
  FrequencyTask task_;
  StatJob job_;
};

TEST_F(FrequencyJobTest, EverySourceKindEndsInTheSameResultFile) {
  for (Kind kind : {Kind::kBuffer, Kind::kFile, Kind::kDirectory, Kind::kField}) {
    ScopedTempDir dir;
    RecordingHost host;
    host.SetTable({"body"}, {{"abcd/efgh/abcd"}});
    StatJob job;
    job.SetHost(&host);
    const char* query = nullptr;
    switch (kind) {
      case Kind::kBuffer:
        ASSERT_TRUE(job.AddBufferSource("abcd/efgh/abcd", -1, kModeNormal, nullptr));
        break;
      case Kind::kFile:
        dir.WriteFile("in.txt", "abcd/efgh/abcd");
        ASSERT_TRUE(job.AddFileSource(dir.Sub("in.txt").c_str(), kModeNormal, nullptr));
        break;
      case Kind::kDirectory:
        // Both files belong to the one record of a run without a query.
        dir.WriteFile("d/x.txt", "abcd/efgh");
        dir.WriteFile("d/sub/y.txt", "abcd");
        dir.WriteFile("d/skipped.csv", "zzzz");
        ASSERT_TRUE(job.AddFileSource(dir.Sub("d").c_str(), kModeNormal, nullptr));
        break;
      case Kind::kField:
        ASSERT_TRUE(job.AddFieldSource("body", kModeNormal, nullptr));
        query = "SELECT body FROM t";
        break;
    }
    FrequencyFileWriter writer;
    FrequencyTask task;
    task.SetTempDir(dir.Sub("work/").c_str());
    task.SetOutputName(dir.Sub("out/result.txt"));
    task.SetWriter(&writer);
    job.SetFrequencyTask(&task);
    ASSERT_TRUE(job.Run(query)) << static_cast<int>(kind) << " " << job.error_code();
    EXPECT_EQ(ReadFileOrMissing(dir.Sub("out/result.txt")),
              kHeader + "abcd\t2\t1\t2\t2\t2\t2.0000\r\nefgh\t1\t1\t1\t1\t1\t1.0000\r\n")
        << static_cast<int>(kind);
    // Only the result file is left.
    EXPECT_EQ(ListTree(dir.Sub("out")), std::vector<std::string>{"result.txt"});
    EXPECT_FALSE(std::filesystem::exists(dir.Sub("work")));
  }
}

TEST_F(FrequencyJobTest, RecordsOfAQueryAreCountedApart) {
  host_.SetTable({"title", "body"}, {{"abcd", "abcd/efgh"}, {"efgh", "ijkl/ijkl"},
                                     {"abcd", ""}, {"mnop", "abcd"}});
  ASSERT_TRUE(job_.AddFieldSource("title", kModeDelimited, ";"));
  ASSERT_TRUE(job_.AddFieldSource("body", kModeNormal, nullptr));
  ASSERT_TRUE(Run("SELECT * FROM t"));
  EXPECT_EQ(ReadFileOrMissing(output()), kHeader +
                                             "abcd\t4\t3\t2\t1\t0\t1.0000\r\n"
                                             "efgh\t2\t2\t1\t1\t0\t0.5000\r\n"
                                             "ijkl\t2\t1\t2\t2\t0\t0.5000\r\n"
                                             "mnop\t1\t1\t1\t1\t0\t0.2500\r\n");
}

TEST_F(FrequencyJobTest, QueryWithoutRecordsWritesOnlyTheHeader) {
  host_.SetTable({"body"}, {});
  ASSERT_TRUE(job_.AddFieldSource("body", kModeNormal, nullptr));
  ASSERT_TRUE(Run("SELECT body FROM t"));
  EXPECT_EQ(ReadFileOrMissing(output()), kHeader);
  EXPECT_FALSE(std::filesystem::exists(work()));
}

// Random records of a small vocabulary (ASCII, two-byte characters, rejected
// tokens), counted by the engine with thresholds that never spill, spill a
// few times, and spill after every record (dozens of spill files, three merge
// passes), against a plain map.
TEST_F(FrequencyJobTest, SpillingRunsMatchARunThatNeverSpillsAndAModel) {
  const uint32_t seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  const std::vector<std::string> vocabulary = {
      "abcd", "efgh", "ABCD", "abcde", "\xB0\xA1\xB0\xA2", "\xB0\xA1\xB0\xA3", "\xD7\xEE\xB4\xF3",
      "Zzzz", "a\tbc", "qrst", "xyzw", "1\xB0\xA1\xB0\xA2", "12", "\xC6\xBD\xBE\xF9\xD6\xB5"};
  std::vector<std::vector<std::string>> rows;
  Model model;
  for (int r = 0; r < 60; ++r) {
    std::string text;
    std::vector<std::string> counted;
    const int n = static_cast<int>(rng() % 12);
    for (int k = 0; k < n; ++k) {
      // Skewed choice, so some terms are in most records and some in few.
      size_t pick = std::min<size_t>(rng() % vocabulary.size(), rng() % vocabulary.size());
      const std::string& token = vocabulary[pick];
      if (!text.empty()) text += '/';
      text += token;
      // What the engine counts of it: the term rule, a middle token without
      // its leading digit, the last token as it is.
      const bool last = k == n - 1;
      std::string term = token;
      if (!last && term[0] == '1') term = term.substr(1);
      if (term.size() >= 4 && static_cast<unsigned char>(term[0]) >= 0x41) counted.push_back(term);
    }
    rows.push_back({text});
    AddToModel(counted, &model);
  }
  const std::string expected = testing::ExpectedResultFile(model, 60, 2);

  std::string never_spilled;
  for (size_t threshold : {size_t{0}, size_t{10}, size_t{3}, size_t{1}}) {
    SCOPED_TRACE("threshold " + std::to_string(threshold));
    RecordingHost host;
    host.SetTable({"body"}, rows);
    StatJob job;
    job.SetHost(&host);
    ASSERT_TRUE(job.AddFieldSource("body", kModeNormal, nullptr));
    ScopedTempDir dir;
    FrequencyFileWriter writer;
    FrequencyTask task;
    task.SetTempDir(dir.Sub("work/").c_str());
    task.SetOutputName(dir.Sub("result.txt"));
    task.SetWriter(&writer);
    task.SetMinFrequency(2);
    if (threshold > 0) task.SetSpillThresholdForTesting(threshold);
    job.SetFrequencyTask(&task);
    FaultInjectionEnv counting;  // counts calls, injects nothing
    ScopedEnvForTesting scoped(&counting);
    ASSERT_TRUE(job.Run("SELECT body FROM t")) << job.error_code();
    // One temporary file per spill, and the result file.
    const int spills = counting.calls(EnvOp::kCreateTempFile) - 1;
    if (threshold == 0) {
      EXPECT_EQ(spills, 1);
    } else if (threshold == 1) {
      EXPECT_GE(spills, 40);  // three merge passes
    }
    const std::string result = ReadFileOrMissing(dir.Sub("result.txt"));
    EXPECT_EQ(result, expected);
    if (threshold == 0) never_spilled = result;
    EXPECT_EQ(result, never_spilled);
    EXPECT_EQ(ListTree(dir.path()), std::vector<std::string>{"result.txt"});
  }
}

TEST_F(FrequencyJobTest, SpillThatCannotBeWrittenStopsTheJobAndKeepsTheFiles) {
  std::vector<std::vector<std::string>> rows;
  for (int r = 0; r < 10; ++r) rows.push_back({"term" + std::to_string(r)});
  host_.SetTable({"body"}, rows);
  ASSERT_TRUE(job_.AddFieldSource("body", kModeNormal, nullptr));
  FaultInjectionEnv env;
  ScopedEnvForTesting scoped(&env);
  env.FailAfter(EnvOp::kAppend, 2);  // the third spill
  EXPECT_FALSE(Run("SELECT body FROM t", 1));
  EXPECT_EQ(job_.error_code(), VOCS_E_NO_RESULT_FILE);
  // The job stopped at that record: the writer never opened its file.
  EXPECT_FALSE(std::filesystem::exists(output()));
  ASSERT_EQ(task_.spillFiles().size(), 3u);
  for (const std::string& path : task_.spillFiles()) {
    EXPECT_TRUE(std::filesystem::exists(path)) << path;
  }
}

// SQLite-style sweep: for every kind of file-system operation, fail its N-th
// call for N = 0, 1, 2, ... until the fault no longer fires. Each run must
// either deliver exactly the right result or fail with one of the engine's
// codes and leave its spill files on disk.
TEST_F(FrequencyJobTest, FaultSweepEndsInTheRightResultOrAnErrorWithFilesKept) {
  std::vector<std::vector<std::string>> rows;
  Model model;
  for (int r = 0; r < 25; ++r) {
    std::vector<std::string> terms = {"term" + std::to_string(r % 7), "term" + std::to_string(r),
                                      "term" + std::to_string(r % 3)};
    rows.push_back({terms[0] + "/" + terms[1] + "/" + terms[2]});
    AddToModel(terms, &model);
  }
  const std::string expected = testing::ExpectedResultFile(model, 25);
  const std::vector<EnvOp> ops = {
      EnvOp::kGetFileAttributes, EnvOp::kCreateDirectory, EnvOp::kRemoveDirectory,
      EnvOp::kDeleteFile,        EnvOp::kMoveFile,        EnvOp::kCopyFile,
      EnvOp::kCreateTempFile,    EnvOp::kNewWritableFile, EnvOp::kAppend,
      EnvOp::kNewSequentialFile, EnvOp::kRead,            EnvOp::kCreateNewFile};
  int failures = 0;
  for (EnvOp op : ops) {
    for (int n = 0;; ++n) {
      SCOPED_TRACE("op " + std::to_string(static_cast<int>(op)) + " n " + std::to_string(n));
      ScopedTempDir dir;
      RecordingHost host;
      host.SetTable({"body"}, rows);
      StatJob job;
      job.SetHost(&host);
      ASSERT_TRUE(job.AddFieldSource("body", kModeNormal, nullptr));
      FrequencyFileWriter writer;
      FrequencyTask task;
      task.SetTempDir(dir.Sub("work/").c_str());
      task.SetOutputName(dir.Sub("out/result.txt"));
      task.SetWriter(&writer);
      task.SetSpillThresholdForTesting(2);  // about 25 spills, two merge passes
      job.SetFrequencyTask(&task);

      FaultInjectionEnv env;
      ScopedEnvForTesting scoped(&env);
      env.FailAfter(op, n);
      const bool ok = job.Run("SELECT body FROM t");
      const bool fired = env.fired();
      if (ok) {
        EXPECT_EQ(ReadFileOrMissing(dir.Sub("out/result.txt")), expected);
      } else {
        ++failures;
        const int code = job.error_code();
        EXPECT_TRUE(code == VOCS_E_NO_RESULT_FILE || code == VOCS_E_RESULT_FILE_OPEN ||
                    code == VOCS_E_OUTPUT_PATH)
            << code;
        for (const std::string& path : task.spillFiles()) {
          EXPECT_TRUE(std::filesystem::exists(path)) << path;
        }
      }
      if (!fired) {
        EXPECT_TRUE(ok);
        break;
      }
      ASSERT_LT(n, 5000);
    }
  }
  EXPECT_GT(failures, 50);  // the sweep did reach the engine's failure paths
}

}  // namespace
}  // namespace vocs
