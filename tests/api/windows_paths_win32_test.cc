// Windows names on a real Windows file system (or Wine's): drive letters,
// relative names below the program directory, the host table directory
// "LOCAL_HS_DB\" and the work directory "vocstemp\" beside the executable,
// and names holding a two-byte character whose trail byte is 0x5C, the
// backslash's value. Everything here goes through the Win32 Env: the program
// is a Windows program, its code page 936.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "api/export_calls.h"
#include "platform/env.h"
#include "platform/paths.h"
#include "sorted_run/work_directory.h"
#include "support/fault_injection_env.h"
#include "support/loaded_library.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"

namespace vocs {
namespace {

using ::testing::Contains;
using ::testing::StartsWith;
using testing::RecordingHost;
using testing::ScopedTempDir;

// One character of code page 936 whose second byte is 0x5C.
const std::string kTrail5C = "\x95\x5C";

std::string Read(const std::string& path) {
  std::string contents;
  return ReadFileToString(CurrentEnv(), path, &contents) ? contents : "<missing>";
}

std::string TempPathSetting() {
  char buffer[300];
  GetTempPathSetting(buffer, sizeof(buffer));
  return buffer;
}

TEST(WindowsNamesTest, TheProgramDirectoryIsTheExecutablesWithItsDrive) {
  std::string program;
  ASSERT_TRUE(ProgramDirectory(&program));
  EXPECT_EQ(program, testing::TestProgramDirectory());
  ASSERT_GE(program.size(), 3u);
  EXPECT_TRUE(std::isalpha(static_cast<unsigned char>(program[0]))) << program;
  EXPECT_EQ(program.substr(1, 2), ":\\") << program;
  EXPECT_EQ(program.back(), '\\');

  std::string out;
  ASSERT_GT(ResolveDirectoryPath("tmp", &out), 0u);
  EXPECT_EQ(out, program + "tmp\\");
  ASSERT_GT(ResolveDirectoryPath("\\tmp", &out), 0u);
  EXPECT_EQ(out, program + "tmp\\");
  ASSERT_GT(ResolveDirectoryPath("C:\\abs\\dir", &out), 0u);
  EXPECT_EQ(out, "C:\\abs\\dir\\");
  ASSERT_GT(ResolveDirectoryPath("d:rel", &out), 0u);  // a colon anywhere: absolute
  EXPECT_EQ(out, "d:rel\\");
  EXPECT_EQ(HostTableDirectoryName(), "LOCAL_HS_DB\\");
  EXPECT_EQ(TableLoadDirectory("C:\\db\\words"), "C:\\db\\");
}

// A server whose directory name ends in the trail-byte character: every rule
// that cuts the executable's path after its last backslash must keep the
// character whole, and the directories it names must be made where they
// belong.
class TrailByteProgramDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bin_ = dir_.Sub("bin" + kTrail5C + "\\");
    ASSERT_EQ(CurrentEnv()->CreateDir(bin_.substr(0, bin_.size() - 1)), 0) << bin_;
    env_.SetExecutablePath(bin_ + "server.exe");
    ASSERT_GT(SetTempPathSetting(dir_.Sub("work").c_str()), 0);
  }

  ScopedTempDir dir_;
  std::string bin_;
  FaultInjectionEnv env_;
  ScopedEnvForTesting scoped_{&env_};
  RecordingHost host_;
};

TEST_F(TrailByteProgramDirectoryTest, RelativeNamesGoBelowIt) {
  std::string program;
  ASSERT_TRUE(ProgramDirectory(&program));
  EXPECT_EQ(program, bin_);

  // A result file.
  ASSERT_EQ(ExportFrequency2("abcd", -1, 0, nullptr, 0, 0, "out.txt", &host_), 0);
  EXPECT_THAT(Read(bin_ + "out.txt"), ::testing::HasSubstr("\r\nabcd\t1\t1\t1\t1\t1\t1.0000\r\n"));

  // A table: below LOCAL_HS_DB\ in a directory of its own name.
  ASSERT_EQ(ExportFrequency2("abcd", -1, 0, nullptr, 0, 1, "words", &host_), 0);
  EXPECT_THAT(host_.statements(), Contains(StartsWith("CREATE TABLE words PATH '" + bin_ +
                                                      "LOCAL_HS_DB\\words\\words' (")));
  EXPECT_TRUE(DirectoryExists(bin_ + "LOCAL_HS_DB\\words"));

  // The rule the engines use for their output names.
  std::string task_output;
  ASSERT_TRUE(ResolveTaskOutputPath("t", &task_output));
  EXPECT_EQ(task_output, bin_ + "LOCAL_HS_DB\\t");

  // The temporary path setting.
  EXPECT_EQ(SetTempPathSetting("tmp"), static_cast<int32_t>((bin_ + "tmp\\").size()));
  EXPECT_EQ(TempPathSetting(), bin_ + "tmp\\");
}

TEST_F(TrailByteProgramDirectoryTest, WorkFilesGoToVocstempBesideTheExecutable) {
  WorkDirectory files("FRE_", "fre_");
  ASSERT_TRUE(files.PrepareWorkDirectory());
  const std::string work = files.tempDir();
  EXPECT_THAT(work, StartsWith(bin_ + "vocstemp\\FRE_"));
  EXPECT_EQ(work.back(), '\\');
  EXPECT_TRUE(DirectoryExists(work));
  std::string spill;
  ASSERT_TRUE(files.MakeSpillFileName(&spill));
  EXPECT_THAT(spill, StartsWith(work + "fre"));
  EXPECT_EQ(Read(spill), "");
  files.AddSpillFileForTesting(spill);
  files.RemoveTemporaryFiles();
  EXPECT_FALSE(DirectoryExists(work));
  EXPECT_TRUE(DirectoryExists(bin_ + "vocstemp"));
}

// Names the caller gives that end in, or pass through, the trail-byte
// character.
TEST(TrailByteNamesTest, DirectoriesAreMadeListedAndUsedWhole) {
  ScopedTempDir dir;
  Env* env = CurrentEnv();
  const std::string outer = dir.Sub("a" + kTrail5C);
  const std::string inner = outer + "\\b" + kTrail5C;

  // Two levels at once: only the real backslashes separate them.
  ASSERT_TRUE(MakeDirectoryTree(inner + "\\"));
  EXPECT_TRUE(DirectoryExists(outer));
  EXPECT_TRUE(DirectoryExists(inner));
  std::vector<DirectoryEntry> entries;
  ASSERT_TRUE(env->ListDirectory(outer, &entries));  // no trailing backslash
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "b" + kTrail5C);
  EXPECT_TRUE(entries[0].is_directory);

  // A temporary path ending in the character gets its backslash.
  EXPECT_EQ(SetTempPathSetting(inner.c_str()), static_cast<int32_t>(inner.size() + 1));
  EXPECT_EQ(TempPathSetting(), inner + "\\");

  // A work directory ending in the character: files go inside it.
  WorkDirectory files("TOG_", "tog_");
  files.SetTempDir(inner.c_str());
  ASSERT_TRUE(files.PrepareWorkDirectory());
  EXPECT_EQ(files.tempDir(), inner + "\\");
  std::string spill;
  ASSERT_TRUE(files.MakeSpillFileName(&spill));
  EXPECT_THAT(spill, StartsWith(inner + "\\tog"));
  files.AddSpillFileForTesting(spill);

  // Results written into it and to a file named with the character.
  RecordingHost host;
  const std::string out = inner + "\\r" + kTrail5C + ".txt";
  ASSERT_EQ(ExportFrequency2("abcd/efgh", -1, 2, nullptr, 0, 0, out.c_str(), &host), 0);
  EXPECT_THAT(Read(out), ::testing::HasSubstr("\r\nefgh\t1\t"));
  files.RemoveTemporaryFiles();
}

}  // namespace
}  // namespace vocs
