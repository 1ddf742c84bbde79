// Both engines end to end, each as the entry points assemble it (a StatJob
// feeding the task, which writes through its file writer), over the same
// records: a model run whose spill thresholds force dozens of spills and
// merge passes, and a fault sweep over every file-system operation.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "cooc/cooc_test_helper.h"
#include "cooc/cooccurrence_task.h"
#include "freq/frequency_task.h"
#include "freq/frequency_test_helper.h"
#include "job/stat_job.h"
#include "output/file_result_writer.h"
#include "sorted_run/run_merger.h"
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

// The terms of each record, in order.
using Records = std::vector<std::vector<std::string>>;

struct Engine {
  const char* name;
  bool cooccurrence;
  // Thresholds for the model run: a small one for many spills and passes.
  size_t few_spills;
  size_t many_spills;
  // The threshold of the fault sweep.
  size_t sweep_spills;
};

class EngineRunTest : public ::testing::TestWithParam<Engine> {
 protected:
  // One run over `rows` (one field, mode NORMAL) into `output`, its temporary
  // files below `work`. A threshold of 0 keeps the default.
  struct Run {
    RecordingHost host;
    StatJob job;
    std::unique_ptr<SpillingTask> task;
    std::unique_ptr<ResultWriter> writer;

    Run(const Engine& engine, const std::vector<std::string>& rows, const std::string& work,
        const std::string& output, size_t threshold, int32_t min_frequency) {
      std::vector<std::vector<std::string>> table;
      for (const std::string& row : rows) table.push_back({row});
      host.SetTable({"body"}, table);
      job.SetHost(&host);
      job.AddFieldSource("body", kModeNormal, nullptr);
      if (engine.cooccurrence) {
        task = std::make_unique<CooccurrenceTask>();
        writer = std::make_unique<CooccurrenceFileWriter>();
        job.SetCooccurrenceTask(task.get());
      } else {
        task = std::make_unique<FrequencyTask>();
        writer = std::make_unique<FrequencyFileWriter>();
        job.SetFrequencyTask(task.get());
      }
      task->SetTempDir(work.c_str());
      task->SetOutputName(output);
      task->SetWriter(writer.get());
      task->SetMinFrequency(min_frequency);
      if (threshold > 0) task->SetSpillThresholdForTesting(threshold);
    }
  };

  // The result file a plain model of the engine expects.
  static std::string Expected(const Engine& engine, const Records& records,
                              int32_t min_frequency) {
    if (engine.cooccurrence) {
      testing::CooccurrenceModel model;
      for (const auto& terms : records) model.AddRecord(terms);
      return model.ResultFile(min_frequency);
    }
    testing::Model model;
    for (const auto& terms : records) {
      std::vector<std::string> cut;
      for (const std::string& term : terms) cut.push_back(testing::CutLikeEngine(term));
      testing::AddToModel(cut, &model);
    }
    return testing::ExpectedResultFile(model, static_cast<int32_t>(records.size()),
                                       min_frequency);
  }
};

// Random records over a small vocabulary: terms that agree in their first
// four characters, in their first 255 bytes, or only once cut to 256 bytes,
// and tokens both engines refuse.
TEST_P(EngineRunTest, SpillingRunsMatchARunThatNeverSpillsAndAModel) {
  const Engine& engine = GetParam();
  const uint32_t seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  const std::vector<std::string> vocabulary = {
      "abcd", "efgh", "Mnop", "qrstu", "\xB0\xA1\xB0\xA2", "\xD6\xD0\xCE\xC4\xB4\xCA",
      "\xD6\xD0\xCE\xC4\xB4\xCA\xB5\xE4", "\xD6\xD0\xCE\xC4\xB4\xCA\xB5\xE5", "\xFF" "high",
      "zz\x80zz", std::string(300, 'a'), std::string(290, 'a'),
      "B" + std::string(254, 'b') + "\xB0\xA1" + "tail", "B" + std::string(254, 'b') + "x",
      "B" + std::string(254, 'b') + "y",
      // refused by the term rule, whole or character by character
      "abc", "12345", "\xB0\xA1"};
  auto accepted = [](const std::string& t) {
    return t.size() >= 4 && static_cast<unsigned char>(t[0]) >= 0x41;
  };
  std::vector<std::string> rows;
  Records records;
  std::geometric_distribution<size_t> skew(0.25);  // pairs and terms repeat
  for (int r = 0; r < 300; ++r) {
    std::string text;
    std::vector<std::string> terms;
    const size_t n = random() % 12;
    for (size_t i = 0; i < n; ++i) {
      const size_t k = random() % 3 == 0 ? random() % vocabulary.size()
                                         : std::min(skew(random), vocabulary.size() - 1);
      if (i > 0) text += '/';
      text += vocabulary[k];
      if (accepted(vocabulary[k])) terms.push_back(vocabulary[k]);
    }
    rows.push_back(text);
    records.push_back(terms);
  }
  const std::string expected = Expected(engine, records, 2);
  for (size_t threshold : {size_t{0}, engine.few_spills, engine.many_spills}) {
    SCOPED_TRACE("threshold " + std::to_string(threshold));
    ScopedTempDir dir;
    Run run(engine, rows, dir.Sub("work/"), dir.Sub("result.txt"), threshold, 2);
    const int32_t first_merge_file = PeekMergeFileNumberForTesting();
    ASSERT_TRUE(run.job.Run("SELECT body FROM t")) << run.job.error_code();
    const int32_t merge_files = PeekMergeFileNumberForTesting() - first_merge_file;
    if (threshold == engine.many_spills) {
      EXPECT_GE(merge_files, 3) << "merge passes";
    } else if (threshold == 0) {
      EXPECT_EQ(merge_files, 0);
    }
    EXPECT_EQ(ReadFileOrMissing(dir.Sub("result.txt")), expected);
    EXPECT_EQ(ListTree(dir.path()), std::vector<std::string>{"result.txt"});
  }
}

// SQLite-style sweep: for every kind of file-system operation, fail its N-th
// call for N = 0, 1, 2, ... until the fault no longer fires. Each run must
// either deliver exactly the right result or fail with one of the engine's
// codes and leave its spill files on disk.
TEST_P(EngineRunTest, FaultSweepEndsInTheRightResultOrAnErrorWithFilesKept) {
  const Engine& engine = GetParam();
  std::vector<std::string> rows;
  Records records;
  for (int r = 0; r < 25; ++r) {
    std::vector<std::string> terms = {"term" + std::to_string(r % 7), "term" + std::to_string(r),
                                      "term" + std::to_string(r % 3)};
    rows.push_back(terms[0] + "/" + terms[1] + "/" + terms[2]);
    records.push_back(terms);
  }
  const std::string expected = Expected(engine, records, 0);
  const std::vector<EnvOp> ops = {
      EnvOp::kGetAttributes, EnvOp::kCreateDir, EnvOp::kRemoveDir,
      EnvOp::kRemoveFile,        EnvOp::kRenameFile,        EnvOp::kCopyFileTo,
      EnvOp::kCreateTempFile,    EnvOp::kNewWritableFile, EnvOp::kAppend,
      EnvOp::kNewSequentialFile, EnvOp::kRead,            EnvOp::kCreateNewFile};
  int failures = 0;
  for (EnvOp op : ops) {
    for (int n = 0;; ++n) {
      SCOPED_TRACE("op " + std::to_string(static_cast<int>(op)) + " n " + std::to_string(n));
      ScopedTempDir dir;
      // The env outlives the run: a writer destroyed after a failed run
      // still writes out what it holds, through the files the env made.
      FaultInjectionEnv env;
      ScopedEnvForTesting scoped(&env);
      Run run(engine, rows, dir.Sub("work/"), dir.Sub("out/result.txt"), engine.sweep_spills, 0);
      env.FailAfter(op, n);
      const bool ok = run.job.Run("SELECT body FROM t");
      if (ok) {
        EXPECT_EQ(ReadFileOrMissing(dir.Sub("out/result.txt")), expected);
      } else {
        ++failures;
        const int code = run.job.error_code();
        EXPECT_TRUE(code == VOCS_E_NO_RESULT_FILE || code == VOCS_E_RESULT_FILE_OPEN ||
                    code == VOCS_E_OUTPUT_PATH)
            << code;
        for (const std::string& path : run.task->spillFiles()) {
          EXPECT_TRUE(std::filesystem::exists(path)) << path;
        }
      }
      if (!env.fired()) {
        EXPECT_TRUE(ok);
        break;
      }
      ASSERT_LT(n, 5000);
    }
  }
  EXPECT_GT(failures, 50);  // the sweep did reach the engine's failure paths
}

INSTANTIATE_TEST_SUITE_P(BothEngines, EngineRunTest,
                         ::testing::Values(Engine{"Frequency", false, 10, 1, 2},
                                           Engine{"Cooccurrence", true, 300, 3, 4}),
                         [](const ::testing::TestParamInfo<Engine>& param) {
                           return std::string(param.param.name);
                         });

}  // namespace
}  // namespace vocs
