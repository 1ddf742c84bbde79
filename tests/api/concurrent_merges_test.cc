// Runs on several threads at once, sharing one configured temporary
// directory, each forced to spill and merge many times: the merge files are
// reserved by exclusive creation, so no two merges ever write the same file
// and every run gives the result of a run alone.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

#include "cooc/cooccurrence_task.h"
#include "freq/frequency_task.h"
#include "job/stat_job.h"
#include "output/file_result_writer.h"
#include "platform/paths.h"
#include "sorted_run/run_merger.h"
#include "support/fault_injection_env.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"

namespace vocs {
namespace {

using testing::ReadFileOrMissing;
using testing::RecordingHost;
using testing::ScopedTempDir;

std::vector<std::vector<std::string>> RandomRecords(unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::vector<std::string>> rows;
  for (int r = 0; r < 60; ++r) {
    std::string text;
    int terms = 3 + static_cast<int>(random() % 6);
    for (int t = 0; t < terms; ++t) {
      if (t > 0) text += '/';
      text += "term" + std::to_string(random() % 40);
    }
    rows.push_back({text});
  }
  return rows;
}

// One run of either engine over the host's records, spilling every few
// entries, into `output`. Returns the job's error code.
int RunOnce(bool cooccurrence, HostInterface* host, const std::string& temp_dir,
            const std::string& output) {
  std::unique_ptr<SpillingTask> task;
  std::unique_ptr<ResultWriter> writer;
  if (cooccurrence) {
    task = std::make_unique<CooccurrenceTask>();
    writer = std::make_unique<CooccurrenceFileWriter>();
  } else {
    task = std::make_unique<FrequencyTask>();
    writer = std::make_unique<FrequencyFileWriter>();
  }
  task->SetTempDir(temp_dir.c_str());
  task->SetOutputName(output);
  task->SetWriter(writer.get());
  task->SetSpillThresholdForTesting(7);
  StatJob job;
  job.SetHost(host);
  job.AddFieldSource("text", 2, nullptr);
  if (cooccurrence) {
    job.SetCooccurrenceTask(task.get());
  } else {
    job.SetFrequencyTask(task.get());
  }
  job.Run("SELECT text FROM docs");
  return job.error_code();
}

TEST(ConcurrentMergesTest, ThreadsSharingATemporaryDirectoryNeverCollide) {
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  RecordingHost host;
  host.SetTable({"text"}, RandomRecords(seed));
  ScopedTempDir dir;
  const std::string shared_temp = dir.Sub("shared-temp");

  std::string expected[2];
  for (int engine = 0; engine < 2; ++engine) {
    std::string out = dir.Sub("alone" + std::to_string(engine) + ".txt");
    ASSERT_EQ(RunOnce(engine == 1, &host, dir.Sub("alone-temp"), out), 0);
    expected[engine] = ReadFileOrMissing(out);
  }

  constexpr int kThreads = 4;
  std::vector<std::string> failures(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 3; ++round) {
        for (int engine = 0; engine < 2; ++engine) {
          std::string out = dir.Sub("t" + std::to_string(t) + "_" + std::to_string(round) + "_" +
                                    std::to_string(engine) + ".txt");
          int code = RunOnce(engine == 1, &host, shared_temp, out);
          if (code != 0 || ReadFileOrMissing(out) != expected[engine]) {
            failures[static_cast<size_t>(t)] =
                "engine " + std::to_string(engine) + " code " + std::to_string(code);
            return;
          }
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<std::string>(kThreads));
}

TEST(ConcurrentMergesTest, MergeFileNumbersTakenByAnotherMergeArePassedOver) {
  ScopedTempDir dir;
  const std::string directory = dir.Sub("");
  dir.WriteFile("5.tx2", "the other engine's");
  dir.WriteFile("6.tx2", "the other engine's");
  std::atomic<int32_t> counter{5};
  std::string path;
  ASSERT_TRUE(ReserveMergeFileName(directory, &counter, &path));
  EXPECT_EQ(path, directory + "7.tx2");
  EXPECT_EQ(ReadFileOrMissing(path), "");
  EXPECT_EQ(ReadFileOrMissing(directory + "5.tx2"), "the other engine's");
  EXPECT_EQ(counter.load(), 8);
}

TEST(ConcurrentMergesTest, ADirectoryAnotherRunMadeMeanwhileCountsAsMade) {
  ScopedTempDir dir;
  dir.WriteFile("made/by-the-other-run", "");
  FaultInjectionEnv env;
  ScopedEnvForTesting scoped(&env);
  // The first look misses the directory, as when the other run makes it
  // right after; creating it then finds it there.
  env.FailAfter(EnvOp::kGetAttributes, 0);
  EXPECT_TRUE(MakeDirectoryTree(dir.Sub("made")));
}

}  // namespace
}  // namespace vocs
