// The whole-job fault loop: a statistics run as the entry points assemble it
// (RunStatistics), over the records of a real SQLite database served by the
// embedded host, with the N-th platform call of the job failing, for N = 1,
// 2, ... until the fault no longer fires, once and from then on.
//
// Both engines, file and table output, a configured temporary directory and
// the default one below the program directory, with a spill threshold of 3
// so that every run spills many times and merges in two passes. Each run
// must end in one of two ways:
//
//   code 0 and exactly the result of a run without faults, with nothing left
//   behind that a run without faults does not leave, except what a failed
//   delete explains;
//
//   a documented negative code, with every spill file the run made still on
//   disk (or moved into its result file), and, for a table, the table of the
//   previous run still there unchanged.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "api/statistics_runs.h"
#include "cooc/cooc_test_helper.h"
#include "freq/frequency_test_helper.h"
#include "host/word_segmenter.h"
#include "sorted_run/run_merger.h"
#include "support/docs_database.h"
#include "support/fault_injection_env.h"
#include "support/temp_dir.h"
#include "text/text_primitives.h"
#include "vocs/errors.h"

namespace vocs {
namespace {

namespace fs = std::filesystem;
using testing::DocsDatabase;
using testing::ListTree;
using testing::ReadFileOrMissing;
using testing::ScopedTempDir;

// Bodies of `count` records: words ICU cuts the same way every time, repeated
// so that terms and pairs recur across records and spills.
std::vector<std::string> Bodies(int count) {
  const char* const words[] = {"alpha", "bravo", "charlie", "delta", "echo",
                               "foxtrot", "golf", "hotel", "india", "juliet"};
  std::vector<std::string> bodies;
  for (int r = 0; r < count; ++r) {
    std::string body;
    for (int k = 0; k < 3 + r % 3; ++k) {
      if (k > 0) body += ' ';
      body += words[(r * 3 + k * 7) % 10];
    }
    if (r % 4 == 0) body += " 明月 故乡";  // words of two Chinese characters
    bodies.push_back(body);
  }
  return bodies;
}

// An Env that fails as FaultInjectionEnv does and remembers what the run
// made, moved and deleted.
class WatchingEnv final : public FaultInjectionEnv {
 public:
  bool CreateTempFile(const std::string& directory, const std::string& prefix,
                      std::string* path) override {
    const bool ok = FaultInjectionEnv::CreateTempFile(directory, prefix, path);
    if (ok) created.push_back(*path);
    return ok;
  }
  bool CreateNewFile(const std::string& path) override {
    const bool ok = FaultInjectionEnv::CreateNewFile(path);
    if (ok) created.push_back(path);
    return ok;
  }
  bool RenameFile(const std::string& from, const std::string& to) override {
    const bool ok = FaultInjectionEnv::RenameFile(from, to);
    if (ok) moved.insert(from);
    return ok;
  }
  bool RemoveFile(const std::string& path) override {
    const bool ok = FaultInjectionEnv::RemoveFile(path);
    (ok ? deleted : not_deleted).insert(path);
    return ok;
  }
  bool RemoveDir(const std::string& path) override {
    const bool ok = FaultInjectionEnv::RemoveDir(path);
    if (!ok) not_deleted.insert(path);
    return ok;
  }

  std::vector<std::string> created;
  std::set<std::string> moved;
  std::set<std::string> deleted;
  std::set<std::string> not_deleted;
};

bool IsSpillFile(const std::string& path) {
  const std::string name = fs::path(path).filename().string();
  return name.rfind("fre_", 0) == 0 || name.rfind("tog_", 0) == 0;
}

struct Config {
  const char* name;
  StatisticKind statistic;
  OutputTarget output;
  bool configured_temp_dir;
};

// Names the configuration in test output.
void PrintTo(const Config& config, std::ostream* out) { *out << config.name; }

class JobFaultLoopTest : public ::testing::TestWithParam<Config> {
 protected:
  void SetUp() override {
    fs::create_directories(dir_.Sub("db"));
    fs::create_directories(dir_.Sub("out"));
    fs::create_directories(dir_.Sub("prog"));
    std::string error;
    ASSERT_TRUE(docs_.Create(dir_.Sub("db/corpus.db"), Bodies(RecordCount()), &error)) << error;
  }

  StatisticsRun Run() const {
    const Config& config = GetParam();
    StatisticsRun run =
        docs_.Run(config.statistic, config.output,
                  OutputName(),
                  RunSource::Field("body", kModeNormal, ""));
    if (config.configured_temp_dir) run.temp_dir = dir_.Sub("work/");
    run.spill_threshold_for_testing = 3;
    return run;
  }

  std::string OutputFile() const { return dir_.Sub("out/result.txt"); }
  // The table's name or the file's path.
  std::string OutputName() const {
    return GetParam().output == OutputTarget::kTable ? "words" : OutputFile();
  }

  // Enough records for more spills than one merge pass takes (about one
  // spill a record for terms, three for pairs), and no more: every record
  // adds tens of platform calls to each of the hundreds of runs.
  int RecordCount() const {
    return GetParam().statistic == StatisticKind::kCooccurrence ? 9 : 24;
  }

  // The result: the file's bytes, or the table's rows.
  std::string Result() const {
    return docs_.Result(GetParam().output, OutputName());
  }

  // Everything below the scratch directory but the database's own files.
  std::set<std::string> Tree() const {
    std::set<std::string> tree;
    for (const std::string& entry : ListTree(dir_.path())) {
      if (entry.rfind("db/corpus.db", 0) != 0) tree.insert(dir_.Sub(entry));
    }
    return tree;
  }

  // The result a plain model of the engine gives for the host's words, as
  // the file writer renders it.
  std::string ModelResultFile() const {
    host::WordSegmenter segmenter;
    std::vector<std::vector<std::string>> records;
    for (const std::string& body : Bodies(RecordCount())) {
      std::vector<std::string> terms;
      for (const std::string& word : segmenter.Words(body, host::TextEncoding::kUtf8)) {
        if (word.size() >= 4 && static_cast<unsigned char>(word[0]) >= 0x41) terms.push_back(word);
      }
      records.push_back(terms);
    }
    if (GetParam().statistic == StatisticKind::kCooccurrence) {
      testing::CooccurrenceModel model;
      for (const auto& terms : records) model.AddRecord(terms);
      return model.ResultFile();
    }
    testing::Model model;
    for (const auto& terms : records) testing::AddToModel(terms, &model);
    return testing::ExpectedResultFile(model, static_cast<int32_t>(records.size()));
  }

  ScopedTempDir dir_;
  DocsDatabase docs_;
};

TEST_P(JobFaultLoopTest, EveryFailedCallEndsInTheExactResultOrADocumentedCode) {
  const Config& config = GetParam();
  const bool table = config.output == OutputTarget::kTable;
  const std::string program = dir_.Sub("prog/server");

  // The run without faults: the result every other run must give, and what
  // it leaves behind.
  {
    WatchingEnv env;
    env.SetExecutablePath(program);
    ScopedEnvForTesting scoped(&env);
    ASSERT_EQ(RunStatistics(Run()), 0);
    // More spills than one merge pass takes: the loop reaches the
    // intermediate merges too.
    ASSERT_GT(std::count_if(env.created.begin(), env.created.end(), IsSpillFile),
              static_cast<std::ptrdiff_t>(kMergeFanIn));
  }
  const std::string expected = Result();
  if (!table) {
    ASSERT_EQ(expected, ModelResultFile());
  }
  ASSERT_GT(std::count(expected.begin(), expected.end(), '\n'), 10);
  const std::set<std::string> left_by_a_clean_run = Tree();

  const std::set<int> documented = {VOCS_E_RECORD_FILE, VOCS_E_OUTPUT_PATH,
                                    VOCS_E_NO_RESULT_FILE, VOCS_E_RESULT_FILE_OPEN,
                                    VOCS_E_BULK_LOAD};
  int failures = 0;
  int runs = 0;
  for (bool persistent : {false, true}) {
    for (int n = 0;; ++n) {
      SCOPED_TRACE(std::string(persistent ? "persistent" : "one-shot") + " fault at call " +
                   std::to_string(n + 1));
      if (!table) fs::remove(OutputFile());
      WatchingEnv env;
      env.SetExecutablePath(program);
      int code;
      {
        ScopedEnvForTesting scoped(&env);
        env.FailAnyAfter(n, 5, persistent);
        code = RunStatistics(Run());
      }
      ++runs;
      if (code == 0) {
        EXPECT_EQ(Result(), expected);
        for (const std::string& path : Tree()) {
          if (left_by_a_clean_run.count(path) > 0) continue;
          // A file whose delete failed, or a directory that holds one or
          // could not be removed itself.
          bool explained = false;
          for (const std::string& kept : env.not_deleted) {
            explained = explained || kept == path || kept.rfind(path + "/", 0) == 0;
          }
          EXPECT_TRUE(explained) << path << " is left behind";
        }
      } else {
        ++failures;
        EXPECT_TRUE(documented.count(code) > 0) << code;
        for (const std::string& path : env.created) {
          if (!IsSpillFile(path)) continue;
          EXPECT_TRUE(env.deleted.count(path) == 0) << path << " was deleted";
          EXPECT_TRUE(fs::exists(path) || env.moved.count(path) > 0) << path << " is gone";
        }
        if (table) {
          docs_.host()->AbandonTables();
          EXPECT_EQ(Result(), expected) << "the table of the run before changed";
        }
      }
      // The next run starts from what a clean run leaves.
      for (const std::string& path : Tree()) {
        if (left_by_a_clean_run.count(path) == 0) fs::remove_all(path);
      }
      if (!env.fired()) {
        EXPECT_EQ(code, 0);
        break;
      }
      ASSERT_LT(n, 5000) << "the fault keeps firing";
    }
  }
  EXPECT_GT(failures, runs / 4) << "the loop reached the failure paths";
  std::printf("%s: %d runs, %d failed with a documented code\n", config.name, runs, failures);
}

INSTANTIATE_TEST_SUITE_P(
    BothEnginesBothOutputs, JobFaultLoopTest,
    ::testing::Values(
        Config{"FrequencyToFile", StatisticKind::kFrequency, OutputTarget::kFile, true},
        Config{"FrequencyToFileInTheDefaultWorkDirectory", StatisticKind::kFrequency,
               OutputTarget::kFile, false},
        Config{"FrequencyToTable", StatisticKind::kFrequency, OutputTarget::kTable, true},
        Config{"FrequencyToTableInTheDefaultWorkDirectory", StatisticKind::kFrequency,
               OutputTarget::kTable, false},
        Config{"CooccurrenceToFile", StatisticKind::kCooccurrence, OutputTarget::kFile, true},
        Config{"CooccurrenceToFileInTheDefaultWorkDirectory", StatisticKind::kCooccurrence,
               OutputTarget::kFile, false},
        Config{"CooccurrenceToTable", StatisticKind::kCooccurrence, OutputTarget::kTable, true},
        Config{"CooccurrenceToTableInTheDefaultWorkDirectory", StatisticKind::kCooccurrence,
               OutputTarget::kTable, false}),
    [](const ::testing::TestParamInfo<Config>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace vocs
