// The task base: work directories, the production of the result file, the
// removal of temporary files, and the base behaviour of the operations.
#include "freq/stat_task.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/fault_injection_env.h"
#include "support/temp_dir.h"
#include "vocs/errors.h"

namespace vocs {
namespace {

using testing::ListTree;
using testing::ReadFileOrMissing;
using testing::ScopedTempDir;

// Exposes the base services and lets a test add spill files.
class BaseTask : public StatTask {
 public:
  using StatTask::FinishResultFile;
  using StatTask::PrepareWorkDirectory;
  using StatTask::RemoveTemporaryFiles;
  void AddSpillFile(std::string path) { spillFiles_.push_back(std::move(path)); }
};

class StatTaskTest : public ::testing::Test {
 protected:
  StatTaskTest() : scoped_(&env_) {
    env_.SetExecutablePath(dir_.Sub("bin/server"));
    std::filesystem::create_directories(dir_.Sub("bin"));
  }

  ScopedTempDir dir_;
  FaultInjectionEnv env_;
  ScopedEnvForTesting scoped_;
  BaseTask task_;
};

TEST_F(StatTaskTest, EmptyTempDirBecomesAUniqueDirectoryInVocstemp) {
  ASSERT_TRUE(task_.PrepareWorkDirectory("TOG_"));
  const std::string first = task_.tempDir();
  EXPECT_EQ(first.rfind(dir_.Sub("bin/vocstemp/TOG_"), 0), 0u) << first;
  EXPECT_EQ(first.back(), '/');
  EXPECT_TRUE(std::filesystem::is_directory(first));
  // Later spills reuse it.
  ASSERT_TRUE(task_.PrepareWorkDirectory("TOG_"));
  EXPECT_EQ(task_.tempDir(), first);
  EXPECT_EQ(ListTree(dir_.Sub("bin/vocstemp")).size(), 1u);
}

TEST_F(StatTaskTest, ConfiguredTempDirIsCreatedWithItsParentsAndUsedDirectly) {
  task_.SetTempDir(dir_.Sub("x/y/z").c_str());
  ASSERT_TRUE(task_.PrepareWorkDirectory("FRE_"));
  EXPECT_EQ(task_.tempDir(), dir_.Sub("x/y/z/"));
  EXPECT_TRUE(std::filesystem::is_directory(dir_.Sub("x/y/z")));
  EXPECT_TRUE(ListTree(dir_.Sub("x/y/z")).empty());  // no subdirectory in it

  BaseTask existing;
  existing.SetTempDir((dir_.path() + "/").c_str());
  ASSERT_TRUE(existing.PrepareWorkDirectory("FRE_"));
  EXPECT_EQ(existing.tempDir(), dir_.path() + "/");
}

TEST_F(StatTaskTest, WorkDirectoryThatCannotBeMadeFails) {
  env_.FailAlways(EnvOp::kCreateDirectory);
  EXPECT_FALSE(task_.PrepareWorkDirectory("FRE_"));
  BaseTask configured;
  configured.SetTempDir(dir_.Sub("new").c_str());
  EXPECT_FALSE(configured.PrepareWorkDirectory("FRE_"));
}

TEST_F(StatTaskTest, SetTempDirStoresTheNameAndReturnsItsLength) {
  EXPECT_EQ(task_.SetTempDir("abc"), 3u);
  EXPECT_EQ(task_.SetTempDir(nullptr), 3u);  // null keeps what is there
  EXPECT_EQ(task_.tempDir(), "abc");
}

TEST_F(StatTaskTest, OneSpillFileIsMovedOntoTheResultFile) {
  task_.SetTempDir((dir_.path() + "/").c_str());
  dir_.WriteFile("fre_1.tmp", "abcd\t1\t1\t1\t1\n");
  task_.AddSpillFile(dir_.Sub("fre_1.tmp"));
  ASSERT_TRUE(task_.FinishResultFile());
  EXPECT_EQ(task_.resultPath().rfind(dir_.Sub("ok_"), 0), 0u) << task_.resultPath();
  EXPECT_EQ(ReadFileOrMissing(task_.resultPath()), "abcd\t1\t1\t1\t1\n");
  EXPECT_FALSE(std::filesystem::exists(dir_.Sub("fre_1.tmp")));
  EXPECT_EQ(task_.spillFiles().size(), 1u);  // the path stays listed
}

TEST_F(StatTaskTest, NoSpillFileOrTwoWithoutAMergeFailFinish) {
  task_.SetTempDir((dir_.path() + "/").c_str());
  EXPECT_EQ(task_.Finish(), VOCS_E_NO_RESULT_FILE);
  dir_.WriteFile("a.tmp", "");
  dir_.WriteFile("b.tmp", "");
  task_.AddSpillFile(dir_.Sub("a.tmp"));
  task_.AddSpillFile(dir_.Sub("b.tmp"));
  EXPECT_EQ(task_.Finish(), VOCS_E_NO_RESULT_FILE);  // the base cannot merge
}

TEST_F(StatTaskTest, ResultFileThatCannotBeMadeOrFilledFailsFinish) {
  task_.SetTempDir((dir_.path() + "/").c_str());
  dir_.WriteFile("a.tmp", "x");
  task_.AddSpillFile(dir_.Sub("a.tmp"));
  env_.FailAlways(EnvOp::kMoveFile);
  EXPECT_EQ(task_.Finish(), VOCS_E_NO_RESULT_FILE);
  EXPECT_EQ(ReadFileOrMissing(dir_.Sub("a.tmp")), "x");  // nothing lost
  env_.Reset();
  env_.FailAlways(EnvOp::kCreateTempFile);
  env_.FailAlways(EnvOp::kNewWritableFile);
  EXPECT_EQ(task_.Finish(), VOCS_E_NO_RESULT_FILE);
}

TEST_F(StatTaskTest, RemoveTemporaryFilesDeletesEverythingAndAnEmptyDirectory) {
  task_.SetTempDir(dir_.Sub("work").c_str());
  ASSERT_TRUE(task_.PrepareWorkDirectory("FRE_"));
  dir_.WriteFile("work/a.tmp", "a");
  dir_.WriteFile("work/b.tmp", "b");
  task_.AddSpillFile(dir_.Sub("work/a.tmp"));
  task_.AddSpillFile(dir_.Sub("work/b.tmp"));
  EXPECT_TRUE(task_.RemoveTemporaryFiles());
  EXPECT_TRUE(task_.spillFiles().empty());
  EXPECT_FALSE(std::filesystem::exists(dir_.Sub("work")));
}

TEST_F(StatTaskTest, RemoveTemporaryFilesLeavesADirectoryThatHoldsOtherFiles) {
  task_.SetTempDir(dir_.Sub("work").c_str());
  ASSERT_TRUE(task_.PrepareWorkDirectory("FRE_"));
  dir_.WriteFile("work/a.tmp", "a");
  dir_.WriteFile("work/someone-else.tmp", "b");
  task_.AddSpillFile(dir_.Sub("work/a.tmp"));
  EXPECT_TRUE(task_.RemoveTemporaryFiles());
  EXPECT_EQ(ListTree(dir_.Sub("work")), std::vector<std::string>{"someone-else.tmp"});
}

TEST_F(StatTaskTest, BaseOperations) {
  EXPECT_EQ(task_.SetRecordCount(7), 0);
  EXPECT_EQ(task_.recordCount(), 7);
  EXPECT_EQ(task_.currentRecord(), -1);
  EXPECT_EQ(task_.BeginRecord(3), 0);
  EXPECT_EQ(task_.currentRecord(), 3);
  EXPECT_EQ(task_.ProcessRecord(3, nullptr, nullptr), 0);
  EXPECT_EQ(task_.EndRecord(3), 0);
  EXPECT_EQ(task_.DeliverResults(), 0);
  EXPECT_TRUE(task_.AcceptTerm("a"));  // the base accepts everything
  EXPECT_FALSE(task_.MergeSpillFiles());
}

TEST_F(StatTaskTest, OutputNameGoesBelowTheHostTableDirectory) {
  ASSERT_TRUE(task_.SetOutputName("table/"));
  EXPECT_EQ(task_.outputName(), dir_.Sub("bin/LOCAL_HS_DB/table"));
  ASSERT_TRUE(task_.SetOutputName(dir_.Sub("out.txt")));
  EXPECT_EQ(task_.outputName(), dir_.Sub("out.txt"));
  env_.FailAlways(EnvOp::kGetExecutablePath);
  EXPECT_FALSE(task_.SetOutputName("table"));
  EXPECT_EQ(task_.outputName(), "");  // the writer's open then refuses it
}

}  // namespace
}  // namespace vocs
