// Many runs at once in one process: both engines, file and table output,
// on several threads against one embedded host on a real SQLite file, some
// threads sharing one temporary directory and others each with its own, all
// with a small spill threshold so that spills and merges of different runs
// meet in the shared directory. Every run must give the result of the same
// run made alone, and nothing must be left in the shared directory.
// The check build runs it under ThreadSanitizer (scripts/check tsan).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "api/statistics_runs.h"
#include "support/docs_database.h"
#include "support/temp_dir.h"
#include "text/text_primitives.h"

namespace vocs {
namespace {

namespace fs = std::filesystem;
using testing::DocsDatabase;
using testing::ScopedTempDir;

constexpr int kThreads = 6;
constexpr int kRounds = 3;

struct Kind {
  StatisticKind statistic;
  OutputTarget output;
};

// The four kinds of run, taken in turn by the threads.
constexpr Kind kKinds[] = {{StatisticKind::kFrequency, OutputTarget::kFile},
                           {StatisticKind::kCooccurrence, OutputTarget::kTable},
                           {StatisticKind::kFrequency, OutputTarget::kTable},
                           {StatisticKind::kCooccurrence, OutputTarget::kFile}};

// Bodies of 40 records of four to seven words out of twelve, cut at ";".
std::vector<std::string> Bodies() {
  const char* const words[] = {"river", "stone", "cloud", "field", "light", "north",
                               "grain", "ember", "frost", "maple", "tower", "quill"};
  std::vector<std::string> bodies;
  for (int r = 0; r < 40; ++r) {
    std::string body;
    for (int k = 0; k < 4 + r % 4; ++k) {
      body += words[(r * 5 + k * 7) % 12];
      body += ';';
    }
    bodies.push_back(body);
  }
  return bodies;
}

class ConcurrentStressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_.Sub("db"));
    std::string error;
    ASSERT_TRUE(docs_.Create(dir_.Sub("db/corpus.db"), Bodies(), &error)) << error;
  }

  StatisticsRun Run(const Kind& kind, const std::string& output_name,
                    const std::string& temp_dir) const {
    StatisticsRun run = docs_.Run(kind.statistic, kind.output, output_name,
                                  RunSource::Field("body", kModeDelimited, ";"));
    run.temp_dir = temp_dir;
    run.spill_threshold_for_testing = 5;
    return run;
  }

  // What a finished run of `kind` produced: a file's bytes or a table's rows.
  std::string Result(const Kind& kind, const std::string& output_name) const {
    return docs_.Result(kind.output, output_name);
  }

  ScopedTempDir dir_;
  DocsDatabase docs_;
};

TEST_F(ConcurrentStressTest, RunsOnManyThreadsGiveTheResultsOfRunsMadeAlone) {
  // Each kind alone first.
  std::vector<std::string> alone;
  for (size_t k = 0; k < std::size(kKinds); ++k) {
    const Kind& kind = kKinds[k];
    const std::string name = kind.output == OutputTarget::kFile
                                 ? dir_.Sub("alone" + std::to_string(k) + ".txt")
                                 : "alone" + std::to_string(k);
    ASSERT_EQ(RunStatistics(Run(kind, name, dir_.Sub("alone_work/"))), 0);
    alone.push_back(Result(kind, name));
    ASSERT_GT(alone.back().size(), 100u) << alone.back();
  }

  const std::string shared = dir_.Sub("shared_work/");
  fs::create_directories(shared);
  std::vector<std::vector<int32_t>> codes(kThreads, std::vector<int32_t>(kRounds, -1));
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const Kind& kind = kKinds[t % std::size(kKinds)];
      // Threads 0 to 3 share a directory; the others have their own.
      const std::string temp_dir =
          t < 4 ? shared : dir_.Sub("own_work" + std::to_string(t) + "/");
      for (int round = 0; round < kRounds; ++round) {
        const std::string id = std::to_string(t) + "_" + std::to_string(round);
        const std::string name =
            kind.output == OutputTarget::kFile ? dir_.Sub("t" + id + ".txt") : "t" + id;
        codes[static_cast<size_t>(t)][static_cast<size_t>(round)] =
            RunStatistics(Run(kind, name, temp_dir));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  for (int t = 0; t < kThreads; ++t) {
    const Kind& kind = kKinds[t % std::size(kKinds)];
    for (int round = 0; round < kRounds; ++round) {
      SCOPED_TRACE("thread " + std::to_string(t) + ", round " + std::to_string(round));
      ASSERT_EQ(codes[static_cast<size_t>(t)][static_cast<size_t>(round)], 0);
      const std::string id = std::to_string(t) + "_" + std::to_string(round);
      const std::string name =
          kind.output == OutputTarget::kFile ? dir_.Sub("t" + id + ".txt") : "t" + id;
      EXPECT_EQ(Result(kind, name), alone[static_cast<size_t>(t) % std::size(kKinds)]);
    }
  }
  // The last run to finish removes the emptied directory.
  EXPECT_FALSE(fs::exists(shared)) << "the runs left files in their shared directory";
}

}  // namespace
}  // namespace vocs
