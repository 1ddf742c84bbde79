// The work directory of a task: where it is made, the spill and result
// files in it, and their removal.
#include "sorted_run/work_directory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "freq/term_line.h"
#include "platform/path_style.h"
#include "support/fault_injection_env.h"
#include "support/temp_dir.h"

namespace vocs {
namespace {

using testing::ListTree;
using testing::ReadFileOrMissing;
using testing::ScopedTempDir;

class WorkDirectoryTest : public ::testing::Test {
 protected:
  WorkDirectoryTest() : scoped_(&env_) {
    env_.SetExecutablePath(dir_.Sub("bin/server"));
    std::filesystem::create_directories(dir_.Sub("bin"));
  }

  ScopedTempDir dir_;
  FaultInjectionEnv env_;
  ScopedEnvForTesting scoped_;
  WorkDirectory files_{"TOG_", "tog_"};
};

TEST_F(WorkDirectoryTest, EmptyTempDirBecomesAUniqueDirectoryInVocstemp) {
  ASSERT_TRUE(files_.PrepareWorkDirectory());
  const std::string first = files_.tempDir();
  EXPECT_EQ(first.rfind(dir_.Sub("bin/vocstemp/TOG_"), 0), 0u) << first;
  EXPECT_EQ(first.back(), kPathSeparator);
  EXPECT_TRUE(std::filesystem::is_directory(first));
  // Later spills reuse it.
  ASSERT_TRUE(files_.PrepareWorkDirectory());
  EXPECT_EQ(files_.tempDir(), first);
  EXPECT_EQ(ListTree(dir_.Sub("bin/vocstemp")).size(), 1u);
}

TEST_F(WorkDirectoryTest, ConfiguredTempDirIsCreatedWithItsParentsAndUsedDirectly) {
  files_.SetTempDir(dir_.Sub("x/y/z").c_str());
  ASSERT_TRUE(files_.PrepareWorkDirectory());
  EXPECT_EQ(files_.tempDir(), dir_.Sub("x/y/z/"));
  EXPECT_TRUE(std::filesystem::is_directory(dir_.Sub("x/y/z")));
  EXPECT_TRUE(ListTree(dir_.Sub("x/y/z")).empty());  // no subdirectory in it

  WorkDirectory existing("FRE_", "fre_");
  existing.SetTempDir(dir_.Sub("").c_str());
  ASSERT_TRUE(existing.PrepareWorkDirectory());
  EXPECT_EQ(existing.tempDir(), dir_.Sub(""));
}

TEST_F(WorkDirectoryTest, WorkDirectoryThatCannotBeMadeFails) {
  env_.FailAlways(EnvOp::kCreateDir);
  EXPECT_FALSE(files_.PrepareWorkDirectory());
  WorkDirectory configured("FRE_", "fre_");
  configured.SetTempDir(dir_.Sub("new").c_str());
  EXPECT_FALSE(configured.PrepareWorkDirectory());
}

TEST_F(WorkDirectoryTest, SetTempDirStoresTheNameAndReturnsItsLength) {
  EXPECT_EQ(files_.SetTempDir("abc"), 3u);
  EXPECT_EQ(files_.SetTempDir(nullptr), 3u);  // null keeps what is there
  EXPECT_EQ(files_.tempDir(), "abc");
}

TEST_F(WorkDirectoryTest, SpillsAreOpenedWithTheSpillPrefixAndRecordedOnceOpen) {
  files_.SetTempDir(dir_.Sub("work").c_str());
  RunWriter<TermLineCodec> writer;
  ASSERT_TRUE(files_.OpenSpill(&writer));
  writer.Add({"abcd", SpillCounts{1, 1, 1, 1}});
  ASSERT_TRUE(writer.Finish());
  ASSERT_EQ(files_.spillFiles().size(), 1u);
  EXPECT_EQ(files_.spillFiles()[0].rfind(dir_.Sub("work/tog"), 0), 0u);
  EXPECT_EQ(ReadFileOrMissing(files_.spillFiles()[0]), "abcd\t1\t1\t1\t1\n");
  // A file that does not open is not recorded.
  env_.FailAlways(EnvOp::kNewWritableFile);
  EXPECT_FALSE(files_.OpenSpill(&writer));
  EXPECT_EQ(files_.spillFiles().size(), 1u);
  EXPECT_EQ(files_.OpenRawSpill(), nullptr);
  EXPECT_EQ(files_.spillFiles().size(), 1u);
  env_.Reset();
  std::unique_ptr<WritableFile> raw = files_.OpenRawSpill();
  ASSERT_NE(raw, nullptr);
  ASSERT_TRUE(raw->Append(std::string_view("\0\1\2", 3)) && raw->Close());
  ASSERT_EQ(files_.spillFiles().size(), 2u);
  EXPECT_EQ(files_.spillFiles()[1].rfind(dir_.Sub("work/tog"), 0), 0u);
  EXPECT_EQ(ReadFileOrMissing(files_.spillFiles()[1]), std::string("\0\1\2", 3));
}

TEST_F(WorkDirectoryTest, OneSpillFileIsMovedOntoTheResultFileAndMoreAreMerged) {
  files_.SetTempDir(dir_.Sub("").c_str());
  int merges = 0;
  auto merge = [&merges] { return ++merges > 0; };
  EXPECT_FALSE(files_.FinishResultFile(merge));  // no spill file
  dir_.WriteFile("tog_1.tmp", "abcd\tefgh\t1\n");
  files_.AddSpillFileForTesting(dir_.Sub("tog_1.tmp"));
  ASSERT_TRUE(files_.FinishResultFile(merge));
  EXPECT_EQ(files_.resultPath().rfind(dir_.Sub("ok_"), 0), 0u) << files_.resultPath();
  EXPECT_EQ(ReadFileOrMissing(files_.resultPath()), "abcd\tefgh\t1\n");
  EXPECT_FALSE(std::filesystem::exists(dir_.Sub("tog_1.tmp")));
  EXPECT_EQ(files_.spillFiles().size(), 1u);  // the path stays listed
  EXPECT_EQ(merges, 0);

  files_.AddSpillFileForTesting(dir_.Sub("tog_2.tmp"));
  ASSERT_TRUE(files_.FinishResultFile(merge));
  EXPECT_EQ(merges, 1);
}

TEST_F(WorkDirectoryTest, ResultFileThatCannotBeMadeOrFilledFails) {
  files_.SetTempDir(dir_.Sub("").c_str());
  dir_.WriteFile("a.tmp", "x");
  files_.AddSpillFileForTesting(dir_.Sub("a.tmp"));
  auto merge = [] { return true; };
  env_.FailAlways(EnvOp::kRenameFile);
  EXPECT_FALSE(files_.FinishResultFile(merge));
  EXPECT_EQ(ReadFileOrMissing(dir_.Sub("a.tmp")), "x");  // nothing lost
  env_.Reset();
  env_.FailAlways(EnvOp::kCreateTempFile);
  env_.FailAlways(EnvOp::kCreateNewFile);
  EXPECT_FALSE(files_.FinishResultFile(merge));
}

TEST_F(WorkDirectoryTest, RemoveTemporaryFilesDeletesEverythingAndAnEmptyDirectory) {
  files_.SetTempDir(dir_.Sub("work").c_str());
  ASSERT_TRUE(files_.PrepareWorkDirectory());
  dir_.WriteFile("work/a.tmp", "a");
  dir_.WriteFile("work/b.tmp", "b");
  files_.AddSpillFileForTesting(dir_.Sub("work/a.tmp"));
  files_.AddSpillFileForTesting(dir_.Sub("work/b.tmp"));
  EXPECT_TRUE(files_.RemoveTemporaryFiles());
  EXPECT_TRUE(files_.spillFiles().empty());
  EXPECT_FALSE(std::filesystem::exists(dir_.Sub("work")));
}

TEST_F(WorkDirectoryTest, RemoveTemporaryFilesLeavesADirectoryThatHoldsOtherFiles) {
  files_.SetTempDir(dir_.Sub("work").c_str());
  ASSERT_TRUE(files_.PrepareWorkDirectory());
  dir_.WriteFile("work/a.tmp", "a");
  dir_.WriteFile("work/someone-else.tmp", "b");
  files_.AddSpillFileForTesting(dir_.Sub("work/a.tmp"));
  EXPECT_TRUE(files_.RemoveTemporaryFiles());
  EXPECT_EQ(ListTree(dir_.Sub("work")), std::vector<std::string>{"someone-else.tmp"});
}

}  // namespace
}  // namespace vocs
