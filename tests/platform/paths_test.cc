// The path rules in both styles (the Windows one driven by a server path
// such as "D:\srv\server.exe"), directory trees, unique names and the list
// splitter.
#include "platform/paths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/fault_injection_env.h"
#include "support/temp_dir.h"
#include "vocs/errors.h"

namespace vocs {
namespace {

using testing::ScopedTempDir;

class WindowsPathsTest : public ::testing::Test {
 protected:
  WindowsPathsTest() : scoped_(&env_) { env_.SetExecutablePath("D:\\srv\\server.exe"); }

  std::string Directory(const std::string& name, size_t capacity = kPathBufferSize) {
    std::string out = "<unchanged>";
    size_t n = ResolveDirectoryPath(name, &out, capacity, WindowsPathStyle());
    return n == out.size() || n == 0 ? out : "<length mismatch>";
  }
  std::string Export(std::string name, OutputTarget target) {
    int rc = ResolveExportOutputPath(&name, target, WindowsPathStyle());
    return rc == 0 ? name : "error " + std::to_string(rc) + ": " + name;
  }
  std::string Command(std::string name, std::optional<OutputTarget> target) {
    int rc = ResolveCommandOutputPath(&name, target, WindowsPathStyle());
    return rc == 0 ? name : "error " + std::to_string(rc);
  }
  std::string Task(const std::string& name) {
    std::string out = "<unchanged>";
    return ResolveTaskOutputPath(name, &out, WindowsPathStyle()) ? out : "refused";
  }

  FaultInjectionEnv env_;
  ScopedEnvForTesting scoped_;
};

TEST_F(WindowsPathsTest, DirectoryRule) {
  EXPECT_EQ(Directory("temp"), "D:\\srv\\temp\\");
  EXPECT_EQ(Directory("temp\\"), "D:\\srv\\temp\\");   // no second separator
  EXPECT_EQ(Directory("\\temp"), "D:\\srv\\temp\\");   // the name brings its own
  EXPECT_EQ(Directory("a\\b"), "D:\\srv\\a\\b\\");
  EXPECT_EQ(Directory("E:\\work"), "E:\\work\\");      // ':' makes a name absolute
  EXPECT_EQ(Directory("E:\\work\\"), "E:\\work\\");
  EXPECT_EQ(Directory(""), "<unchanged>");
  // Too long for the buffer: refused, never cut into another path.
  EXPECT_EQ(Directory(std::string(300, 'x')), "<unchanged>");
  EXPECT_EQ(Directory("temp", 12), "<unchanged>");  // "D:\srv\temp\" needs 13 bytes
  EXPECT_EQ(Directory("temp", 13), "D:\\srv\\temp\\");
}

TEST_F(WindowsPathsTest, DirectoryRuleWithoutExecutablePath) {
  env_.FailAlways(EnvOp::kGetExecutablePath);
  EXPECT_EQ(Directory("temp"), "<unchanged>");
  EXPECT_EQ(Directory("E:\\abs"), "E:\\abs\\");  // absolute names need no program directory
}

TEST_F(WindowsPathsTest, ExportRule) {
  constexpr OutputTarget kFile = OutputTarget::kFile;
  constexpr OutputTarget kTable = OutputTarget::kTable;
  EXPECT_EQ(Export("t", kTable), "D:\\srv\\LOCAL_HS_DB\\t\\t");
  EXPECT_EQ(Export("out.txt", kFile), "D:\\srv\\out.txt");
  EXPECT_EQ(Export("E:\\data\\out\\", kFile), "E:\\data\\out");  // exactly one separator removed
  EXPECT_EQ(Export("E:\\data\\out\\\\", kTable), "E:\\data\\out\\");
  EXPECT_EQ(Export(std::string(200, 't'), kTable), "error -1: " + std::string(200, 't'));
  env_.FailAlways(EnvOp::kGetExecutablePath);
  EXPECT_EQ(Export("t", kFile), "error -1: t");
}

TEST_F(WindowsPathsTest, CommandRule) {
  constexpr OutputTarget kFile = OutputTarget::kFile;
  constexpr OutputTarget kTable = OutputTarget::kTable;
  EXPECT_EQ(Command("r.txt", kFile), "D:\\srv\\r.txt");
  EXPECT_EQ(Command("t", kTable), "D:\\srv\\LOCAL_HS_DB\\t");  // no repeated base name
  // An output kind that is neither: absolute names pass unchanged.
  EXPECT_EQ(Command("E:\\r.txt", std::nullopt), "E:\\r.txt");
  EXPECT_EQ(Command("r.txt", std::nullopt), "error " + std::to_string(VOCS_E_REPEATED_NAME));
  EXPECT_EQ(Command(std::string(250, 'r'), kFile), "error " + std::to_string(VOCS_E_OUTPUT_PATH));
  env_.SetExecutablePath("server.exe");
  EXPECT_EQ(Command("r.txt", kFile), "error " + std::to_string(VOCS_E_EXECUTABLE_PATH));
}

TEST_F(WindowsPathsTest, TaskRule) {
  EXPECT_EQ(Task("t"), "D:\\srv\\LOCAL_HS_DB\\t");
  EXPECT_EQ(Task("t\\"), "D:\\srv\\LOCAL_HS_DB\\t");
  EXPECT_EQ(Task("E:\\x\\r.txt"), "E:\\x\\r.txt");
  EXPECT_EQ(Task(""), "");
  EXPECT_EQ(Task(std::string(260, 't')), "refused");
}

TEST_F(WindowsPathsTest, TableLoadDirectoryRule) {
  auto load = [](const std::string& path) { return TableLoadDirectory(path, WindowsPathStyle()); };
  EXPECT_EQ(load("D:\\srv\\LOCAL_HS_DB\\t"), "D:\\srv\\LOCAL_HS_DB\\");
  EXPECT_EQ(load("D:\\db\\\\t"), "D:\\db\\\\");  // a doubled separator stays doubled
  EXPECT_EQ(load("D:\\db\\t\\"), "D:\\db\\t\\");  // the last separator is the trailing one
  EXPECT_EQ(load("D:\\db\x95\x5Ct"), "D:\\");   // 0x95 0x5C is one character
  EXPECT_EQ(load("t"), "");
}

// 0x95 0x5C is one character whose trail byte is the backslash's byte: no
// rule may take it for a separator, neither when searching for the last one
// nor when testing for a trailing one.
TEST_F(WindowsPathsTest, TrailBytesOfTwoByteCharactersAreNotSeparators) {
  env_.SetExecutablePath("D:\\srv\x95\x5C" "server.exe");
  EXPECT_EQ(Directory("temp"), "D:\\temp\\");
  EXPECT_EQ(Task("t"), "D:\\LOCAL_HS_DB\\t");
  EXPECT_EQ(Export("t", OutputTarget::kTable), "D:\\LOCAL_HS_DB\\t\\t");
  EXPECT_EQ(Command("r.txt", OutputTarget::kFile), "D:\\r.txt");

  // A name ending in such a character still gets its separator, and loses
  // no byte where one trailing separator is removed.
  EXPECT_EQ(Directory("E:\\work\x95\x5C"), "E:\\work\x95\x5C\\");
  EXPECT_EQ(Directory("E:\\work\x95\x5C\\"), "E:\\work\x95\x5C\\");
  EXPECT_EQ(Export("E:\\out\x95\x5C", OutputTarget::kFile), "E:\\out\x95\x5C");
  EXPECT_EQ(Task("E:\\out\x95\x5C"), "E:\\out\x95\x5C");
  std::string directory = "E:\\work\x95\x5C";
  EnsureTrailingSeparator(&directory, WindowsPathStyle());
  EXPECT_EQ(directory, "E:\\work\x95\x5C\\");
  EnsureTrailingSeparator(&directory, WindowsPathStyle());
  EXPECT_EQ(directory, "E:\\work\x95\x5C\\");
}

TEST(DirectoryTreeTest, CreatesThreeMissingLevels) {
  ScopedTempDir dir;
  const std::string deep = dir.Sub("a/b/c");
  EXPECT_FALSE(DirectoryExists(deep));
  ASSERT_TRUE(MakeDirectoryTree(deep));
  EXPECT_TRUE(DirectoryExists(dir.Sub("a")));
  EXPECT_TRUE(DirectoryExists(dir.Sub("a/b")));
  EXPECT_TRUE(DirectoryExists(deep));
  EXPECT_TRUE(MakeDirectoryTree(dir.Sub("a/b/c/")));  // exists already
}

TEST(DirectoryTreeTest, FailsBelowAFile) {
  ScopedTempDir dir;
  dir.WriteFile("file", "x");
  EXPECT_FALSE(MakeDirectoryTree(dir.Sub("file/a/b")));
  EXPECT_FALSE(DirectoryExists(dir.Sub("file")));
}

TEST(UniqueNamesTest, TempFileFallsBackWhenTheSystemCallFails) {
  ScopedTempDir dir;
  FaultInjectionEnv env;
  ScopedEnvForTesting scoped(&env);
  env.FailAlways(EnvOp::kCreateTempFile);
  std::string path;
  ASSERT_TRUE(MakeUniqueTempFile(dir.Sub(""), "fre_", &path));
  EXPECT_EQ(path.rfind(dir.Sub("fre_"), 0), 0u) << path;
  ASSERT_GT(path.size(), 4u);
  EXPECT_EQ(path.substr(path.size() - 4), ".tmp");
  const std::string number = path.substr(dir.path().size() + 5, path.size() - dir.path().size() - 9);
  EXPECT_FALSE(number.empty());
  EXPECT_EQ(number.find_first_not_of("0123456789"), std::string::npos) << number;
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(std::filesystem::file_size(path), 0u);
  // A second name is another file.
  std::string second;
  ASSERT_TRUE(MakeUniqueTempFile(dir.Sub(""), "fre_", &second));
  EXPECT_NE(second, path);
}

TEST(UniqueNamesTest, TempFileFailsWhenNothingCanBeCreated) {
  ScopedTempDir dir;
  FaultInjectionEnv env;
  ScopedEnvForTesting scoped(&env);
  env.FailAlways(EnvOp::kCreateTempFile);
  env.FailAlways(EnvOp::kCreateNewFile);
  std::string path = "<unchanged>";
  EXPECT_FALSE(MakeUniqueTempFile(dir.Sub(""), "ok_", &path));
  EXPECT_EQ(path, "<unchanged>");
  EXPECT_EQ(env.calls(EnvOp::kCreateNewFile), 500);
}

// Two runs whose system call fails draw the same names from the never-seeded
// generator within the same millisecond. The fallback used to open its
// candidate with truncation, so the second run emptied and shared the file
// of the first.
TEST(UniqueNamesTest, TempFileFallbackNeverTakesAFileAnotherRunMade) {
  class FrozenClockEnv : public FaultInjectionEnv {
   public:
    int Random() override { return 7; }
    uint32_t TickCount() override { return 1000; }
  };
  ScopedTempDir dir;
  FrozenClockEnv env;
  ScopedEnvForTesting scoped(&env);
  env.FailAlways(EnvOp::kCreateTempFile);
  std::string first;
  ASSERT_TRUE(MakeUniqueTempFile(dir.path() + "/", "tog_", &first));
  EXPECT_EQ(first, dir.path() + "/tog_1049.tmp");
  dir.WriteFile("tog_1049.tmp", "the first run's counts\n");
  std::string second = "<unchanged>";
  EXPECT_FALSE(MakeUniqueTempFile(dir.path() + "/", "tog_", &second));
  EXPECT_EQ(second, "<unchanged>");
  EXPECT_EQ(testing::ReadFileOrMissing(first), "the first run's counts\n");
}

TEST(UniqueNamesTest, TempFileFromTheSystemCall) {
  ScopedTempDir dir;
  std::string path;
  ASSERT_TRUE(MakeUniqueTempFile(dir.Sub(""), "ok_", &path));
  EXPECT_EQ(path.rfind(dir.Sub("ok_"), 0), 0u);
  EXPECT_EQ(path.substr(path.size() - 4), ".tmp");
  EXPECT_TRUE(std::filesystem::exists(path));
}

TEST(UniqueNamesTest, UniqueDirectory) {
  ScopedTempDir dir;
  std::string a, b;
  ASSERT_TRUE(MakeUniqueDirectory(dir.Sub(""), "FRE_", &a));
  ASSERT_TRUE(MakeUniqueDirectory(dir.Sub(""), "FRE_", &b));
  EXPECT_NE(a, b);
  EXPECT_EQ(a.rfind(dir.Sub("FRE_"), 0), 0u);
  EXPECT_TRUE(DirectoryExists(a));
  EXPECT_TRUE(DirectoryExists(b));
}

TEST(UniqueNamesTest, UniqueDirectoryGivesUpOnTheSecondHardFailure) {
  ScopedTempDir dir;
  FaultInjectionEnv env;
  ScopedEnvForTesting scoped(&env);
  env.FailAlways(EnvOp::kCreateDir, 13);  // not "already exists"
  std::string out;
  EXPECT_FALSE(MakeUniqueDirectory(dir.Sub(""), "TOG_", &out));
  EXPECT_EQ(env.calls(EnvOp::kCreateDir), 2);
}

TEST(SplitListTest, Pieces) {
  struct Case {
    std::string text, delimiters;
    std::vector<std::string> pieces;
  };
  const std::vector<Case> cases = {
      {"a;b,,c", ";,", {"a", "b", "c"}},
      {";;,", ";,", {}},
      {" a ; b ", ";", {" a ", " b "}},  // not trimmed
      {"x\xA3\xBBy", "\xA3\xBB", {"x", "y"}},
      // The delimiter's bytes straddling two characters do not match.
      {"x\xB0\xA3\xBB\xB0y", "\xA3\xBB", {"x\xB0\xA3\xBB\xB0y"}},
      {"", ";", {}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> pieces = {"kept"};
    SplitList(c.text, c.delimiters, &pieces);
    std::vector<std::string> expected = {"kept"};
    expected.insert(expected.end(), c.pieces.begin(), c.pieces.end());
    EXPECT_EQ(pieces, expected) << c.text;
  }
}

}  // namespace
}  // namespace vocs
