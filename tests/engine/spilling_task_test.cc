// The task base of both engines: its operations, its output name and the
// result file it produces through the work directory.
#include "engine/spilling_task.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/fault_injection_env.h"
#include "support/temp_dir.h"
#include "vocs/errors.h"

namespace vocs {
namespace {

using testing::ScopedTempDir;

// The base as it is, and a way to add spill files.
class BaseTask : public SpillingTask {
 public:
  BaseTask() : SpillingTask("FRE_", "fre_") {}
  void AddSpillFile(std::string path) { files_.AddSpillFileForTesting(std::move(path)); }
};

class SpillingTaskTest : public ::testing::Test {
 protected:
  SpillingTaskTest() : scoped_(&env_) {
    env_.SetExecutablePath(dir_.Sub("bin/server"));
    std::filesystem::create_directories(dir_.Sub("bin"));
  }

  ScopedTempDir dir_;
  FaultInjectionEnv env_;
  ScopedEnvForTesting scoped_;
  BaseTask task_;
};

TEST_F(SpillingTaskTest, BaseOperations) {
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

TEST_F(SpillingTaskTest, NoSpillFileOrTwoWithoutAMergeFailFinish) {
  task_.SetTempDir(dir_.Sub("").c_str());
  EXPECT_EQ(task_.Finish(), VOCS_E_NO_RESULT_FILE);
  dir_.WriteFile("a.tmp", "");
  dir_.WriteFile("b.tmp", "");
  task_.AddSpillFile(dir_.Sub("a.tmp"));
  EXPECT_EQ(task_.Finish(), 0);  // one is moved
  task_.AddSpillFile(dir_.Sub("b.tmp"));
  EXPECT_EQ(task_.Finish(), VOCS_E_NO_RESULT_FILE);  // the base cannot merge
}

TEST_F(SpillingTaskTest, OutputNameGoesBelowTheHostTableDirectory) {
  ASSERT_TRUE(task_.SetOutputName(testing::NativePath("table/").c_str()));
  EXPECT_EQ(task_.outputName(), dir_.Sub("bin/LOCAL_HS_DB/table"));
  ASSERT_TRUE(task_.SetOutputName(dir_.Sub("out.txt")));
  EXPECT_EQ(task_.outputName(), dir_.Sub("out.txt"));
  env_.FailAlways(EnvOp::kGetExecutablePath);
  EXPECT_FALSE(task_.SetOutputName("table"));
  EXPECT_EQ(task_.outputName(), "");  // the writer's open then refuses it
}

}  // namespace
}  // namespace vocs
