// Many runs at once in one process: both engines, file and table output,
// on several threads against one embedded host on a real SQLite file, some
// threads sharing one temporary directory and others each with its own, all
// with a small spill threshold so that spills and merges of different runs
// meet in the shared directory. Every run must give the result of the same
// run made alone, and nothing must be left in the shared directory.
// The check build runs it under ThreadSanitizer (scripts/check tsan).
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "api/statistics_runs.h"
#include "host/embedded_host.h"
#include "support/temp_dir.h"
#include "text/text_primitives.h"

namespace vocs {
namespace {

namespace fs = std::filesystem;
using testing::ReadFileOrMissing;
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

class ConcurrentStressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_.Sub("db"));
    std::string error;
    host_ = host::EmbeddedHost::Open(dir_.Sub("db/corpus.db"), &error);
    ASSERT_NE(host_, nullptr) << error;
    host::Database* db = host_->database();
    ASSERT_TRUE(db->Execute("PRAGMA synchronous=OFF; CREATE TABLE docs(body TEXT)"));
    const char* const words[] = {"river", "stone", "cloud", "field", "light", "north",
                                 "grain", "ember", "frost", "maple", "tower", "quill"};
    for (int r = 0; r < 40; ++r) {
      std::string body;
      for (int k = 0; k < 4 + r % 4; ++k) {
        body += words[(r * 5 + k * 7) % 12];
        body += ';';
      }
      host::Statement insert;
      ASSERT_TRUE(db->Prepare("INSERT INTO docs VALUES (?)", &insert));
      insert.BindText(1, body);
      ASSERT_TRUE(insert.Run());
    }
  }

  StatisticsRun Run(const Kind& kind, const std::string& output_name,
                    const std::string& temp_dir) const {
    StatisticsRun run;
    run.statistic = kind.statistic;
    run.output = kind.output;
    run.output_name = output_name;
    run.temp_dir = temp_dir;
    run.host = host_.get();
    run.query = "SELECT body FROM docs";
    run.sources.push_back(RunSource::Field("body", kModeDelimited, ";"));
    run.spill_threshold_for_testing = 5;
    return run;
  }

  // A result table's rows, one line each.
  std::string Rows(const std::string& table) {
    host::Statement select;
    if (!host_->database()->Prepare("SELECT * FROM " + table + " ORDER BY rowid", &select)) {
      return "<no table " + table + ">";
    }
    std::string rows;
    for (bool row = true;;) {
      if (!select.Step(&row)) return "<unreadable>";
      if (!row) break;
      for (int i = 0; i < select.ColumnCount(); ++i) rows += select.ColumnBytes(i) + "\t";
      rows += "\n";
    }
    return rows;
  }

  // What a finished run of `kind` produced: a file's bytes or a table's rows.
  std::string Result(const Kind& kind, const std::string& output_name) {
    return kind.output == OutputTarget::kFile ? ReadFileOrMissing(output_name)
                                              : Rows(output_name);
  }

  ScopedTempDir dir_;
  std::unique_ptr<host::EmbeddedHost> host_;
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
