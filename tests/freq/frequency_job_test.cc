// The frequency engine end to end: a StatJob feeding a FrequencyTask that
// writes through a FrequencyFileWriter, over every kind of source, and a
// spill that cannot be written. The model run and the fault sweep of both
// engines are in engine/engine_run_test.cc.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "freq/frequency_task.h"
#include "job/stat_job.h"
#include "output/file_result_writer.h"
#include "support/fault_injection_env.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"
#include "vocs/errors.h"

namespace vocs {
namespace {

using testing::ListTree;
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

}  // namespace
}  // namespace vocs
