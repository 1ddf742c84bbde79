// Paths in the module's code page against a real UTF-8 file system, through
// the process's default Env.
#include "platform/path_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "support/temp_dir.h"

namespace vocs {
namespace {

// GB18030 bytes of a few names: two-byte (GBK) characters, and characters
// outside GBK, which take four bytes.
const std::string kChineseDir = "\xD6\xD0\xCE\xC4\xC4\xBF\xC2\xBC";  // 中文目录
const std::string kResult = "\xBD\xE1\xB9\xFB";                     // 结果
const std::string kEmoji = "\x94\x39\xFC\x36";                     // U+1F600
const std::string kHangul = "\x83\x36\x84\x33";                    // 한
const std::string kSharpS = "Stra\x81\x30\x89\x38" "e";            // Straße

TEST(PathCodecTest, ConvertsExactlyBothWaysOrRefuses) {
  const struct {
    std::string module;
    std::string system;
  } kPairs[] = {
      {"/tmp/plain.txt", "/tmp/plain.txt"},
      {"/d/" + kChineseDir, "/d/\u4e2d\u6587\u76ee\u5f55"},
      {kResult + ".txt", "\u7ed3\u679c.txt"},
      {kEmoji, "\U0001F600"},
      {kHangul, "\ud55c"},
      {kSharpS, "Stra\u00dfe"},
  };
  for (const auto& pair : kPairs) {
    std::string system;
    std::string module;
    ASSERT_TRUE(ModulePathToSystem(pair.module, &system)) << pair.system;
    EXPECT_EQ(system, pair.system);
    ASSERT_TRUE(SystemPathToModule(pair.system, &module)) << pair.system;
    EXPECT_EQ(module, pair.module);
  }
  std::string out = "untouched";
  // A lead byte without its trail, a four-byte sequence cut short.
  for (const std::string& bad : {std::string("a\x81"), std::string("a\x81 b"),
                                 std::string("\x94\x39\xFC")}) {
    EXPECT_FALSE(ModulePathToSystem(bad, &out)) << bad;
  }
  // Latin-1 bytes and an overlong form are no UTF-8; a private-use character
  // has no GB18030 code the C library knows.
  for (const std::string& bad : {std::string("caf\xE9"), std::string("\xC0\xAF"),
                                 std::string("\xEE\x9E\x8D")}) {
    EXPECT_FALSE(SystemPathToModule(bad, &out)) << bad;
  }
  EXPECT_EQ(out, "untouched");
}

TEST(PathCodecTest, TheDefaultEnvNamesFilesInUtf8AndListsThemInTheModuleCodePage) {
  testing::ScopedTempDir dir;
  Env* env = Env::Default();
  const std::string chinese = dir.path() + "/" + kChineseDir;
  ASSERT_EQ(env->CreateDir(chinese), 0);
  EXPECT_TRUE(std::filesystem::is_directory(dir.Sub("\u4e2d\u6587\u76ee\u5f55")));
  bool is_directory = false;
  ASSERT_TRUE(env->GetAttributes(chinese, &is_directory));
  EXPECT_TRUE(is_directory);

  for (const std::string& name : {kResult + ".txt", kEmoji + kHangul, kSharpS}) {
    ASSERT_TRUE(WriteStringToFile(env, chinese + "/" + name, "x")) << name;
  }
  std::string temp;
  ASSERT_TRUE(env->CreateTempFile(chinese + "/", kResult, &temp));
  EXPECT_EQ(temp.rfind(chinese + "/" + kResult, 0), 0u) << temp;
  ASSERT_TRUE(env->RenameFile(temp, chinese + "/" + kResult + "2"));

  std::vector<DirectoryEntry> entries;
  ASSERT_TRUE(env->ListDirectory(chinese, &entries));
  std::vector<std::string> names;
  for (const DirectoryEntry& entry : entries) names.push_back(entry.name);
  std::sort(names.begin(), names.end());
  std::vector<std::string> expected = {kResult + ".txt", kResult + "2", kEmoji + kHangul,
                                       kSharpS};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names, expected);
  EXPECT_EQ(testing::ListTree(dir.path()),
            (std::vector<std::string>{"\u4e2d\u6587\u76ee\u5f55/",
                                      "\u4e2d\u6587\u76ee\u5f55/Stra\u00dfe",
                                      "\u4e2d\u6587\u76ee\u5f55/\u7ed3\u679c.txt",
                                      "\u4e2d\u6587\u76ee\u5f55/\u7ed3\u679c2",
                                      "\u4e2d\u6587\u76ee\u5f55/\U0001F600\ud55c"}));

  std::string contents;
  ASSERT_TRUE(ReadFileToString(env, chinese + "/" + kSharpS, &contents));
  EXPECT_EQ(contents, "x");
  EXPECT_TRUE(env->RemoveFile(chinese + "/" + kSharpS));
  EXPECT_FALSE(std::filesystem::exists(dir.Sub("\u4e2d\u6587\u76ee\u5f55/Stra\u00dfe")));
}

TEST(PathCodecTest, NamesWithoutAFormOnTheOtherSideAreRefusedNotMangled) {
  testing::ScopedTempDir dir;
  Env* env = Env::Default();
  const std::string bad = dir.path() + "/a\x81 b";
  const int code = env->CreateDir(bad);
  EXPECT_NE(code, 0);
  EXPECT_NE(code, kErrorPathNotFound);  // MakeDirectoryTree would try the parents
  EXPECT_NE(code, kErrorAlreadyExists);
  EXPECT_EQ(env->NewWritableFile(bad), nullptr);
  EXPECT_FALSE(env->CreateNewFile(bad));
  bool is_directory = false;
  EXPECT_FALSE(env->GetAttributes(bad, &is_directory));
  EXPECT_TRUE(testing::ListTree(dir.path()).empty());

  // A file system name that is not UTF-8 fails the listing as a whole: a
  // directory source never drops a file without a word.
  std::ofstream(dir.Sub("ok.txt")) << "x";
  std::ofstream(dir.Sub("caf\xE9.txt")) << "x";
  std::vector<DirectoryEntry> entries;
  EXPECT_FALSE(env->ListDirectory(dir.path(), &entries));
  EXPECT_TRUE(entries.empty());
}

}  // namespace
}  // namespace vocs
