// The line reader the engines read their files with, and the fault-injecting
// environment their failure tests rely on.
#include "platform/line_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/env.h"
#include "support/fault_injection_env.h"
#include "support/temp_dir.h"

namespace vocs {
namespace {

using testing::ScopedTempDir;

std::vector<std::string> ReadAll(const std::string& path, bool* error = nullptr) {
  LineReader reader(CurrentEnv()->NewSequentialFile(path));
  std::vector<std::string> lines;
  std::string_view line;
  while (reader.ReadLine(&line)) lines.emplace_back(line);
  if (error != nullptr) *error = reader.error();
  return lines;
}

TEST(LineReaderTest, LfAndCrLfReadTheSame) {
  ScopedTempDir dir;
  dir.WriteFile("lf", "a\nbb\n\nccc\n");
  dir.WriteFile("crlf", "a\r\nbb\r\n\r\nccc\r\n");
  const std::vector<std::string> expected = {"a", "bb", "", "ccc"};
  EXPECT_EQ(ReadAll(dir.Sub("lf")), expected);
  EXPECT_EQ(ReadAll(dir.Sub("crlf")), expected);
}

TEST(LineReaderTest, LastLineWithoutLineFeedIsALine) {
  ScopedTempDir dir;
  dir.WriteFile("f", "a\nlast");
  EXPECT_EQ(ReadAll(dir.Sub("f")), (std::vector<std::string>{"a", "last"}));
  dir.WriteFile("empty", "");
  EXPECT_TRUE(ReadAll(dir.Sub("empty")).empty());
}

TEST(LineReaderTest, LinesLongerThanTheBufferAndAcrossRefills) {
  ScopedTempDir dir;
  const std::string long_line(200 * 1024, 'x');
  std::string contents;
  std::vector<std::string> expected;
  for (int i = 0; i < 20000; ++i) {
    expected.push_back("line" + std::to_string(i));
    contents += expected.back() + "\r\n";
  }
  expected.push_back(long_line);
  contents += long_line + "\n";
  expected.push_back("after");
  contents += "after\n";
  dir.WriteFile("f", contents);
  EXPECT_EQ(ReadAll(dir.Sub("f")), expected);
}

// Batches hold whole lines only, every one of them valid until the next
// call, over refills of a small buffer, lines longer than it, CR LF and a
// last line without its line feed; single lines and batches mix.
TEST(LineReaderTest, BatchesReadWhatSingleLinesRead) {
  ScopedTempDir dir;
  std::string contents;
  std::vector<std::string> expected;
  for (int i = 0; i < 3000; ++i) {
    expected.push_back(i % 97 == 0 ? std::string(300 + i, 'y') : "line" + std::to_string(i));
    contents += expected.back() + (i % 2 == 0 ? "\n" : "\r\n");
  }
  expected.push_back("last\r");  // only a CR before the LF goes
  contents += "last\r\r\n";
  expected.push_back("no line feed");
  contents += "no line feed";
  dir.WriteFile("f", contents);
  for (size_t batch : {size_t{1}, size_t{7}, size_t{32}}) {
    LineReader reader(CurrentEnv()->NewSequentialFile(dir.Sub("f")), /*chunk=*/256);
    std::vector<std::string> lines;
    std::string_view got[32];
    for (int call = 0;; ++call) {
      size_t n;
      if (call % 3 == 0) {
        n = reader.ReadLine(&got[0]) ? 1 : 0;
      } else {
        n = reader.ReadLines(got, batch);
      }
      if (n == 0) break;
      ASSERT_LE(n, batch);
      for (size_t i = 0; i < n; ++i) lines.emplace_back(got[i]);
    }
    EXPECT_EQ(lines, expected) << batch;
    EXPECT_FALSE(reader.error());
  }
}

TEST(LineReaderTest, ReadErrorEndsTheInputAndIsReported) {
  ScopedTempDir dir;
  dir.WriteFile("f", "a\nb\n");
  FaultInjectionEnv env;
  ScopedEnvForTesting scoped(&env);
  env.FailAfter(EnvOp::kRead, 0);
  bool error = false;
  EXPECT_TRUE(ReadAll(dir.Sub("f"), &error).empty());
  EXPECT_TRUE(error);
  EXPECT_EQ(ReadAll(dir.Sub("f"), &error).size(), 2u);  // one-shot fault
  EXPECT_FALSE(error);
}

TEST(FaultInjectionEnvTest, CountdownFailsTheNthCallOnceOrFromThenOn) {
  ScopedTempDir dir;
  FaultInjectionEnv env;
  env.FailAfter(EnvOp::kRemoveFile, 2);
  for (int i = 0; i < 4; ++i) dir.WriteFile("f" + std::to_string(i), "x");
  EXPECT_TRUE(env.RemoveFile(dir.Sub("f0")));
  EXPECT_TRUE(env.RemoveFile(dir.Sub("f1")));
  EXPECT_FALSE(env.fired());
  EXPECT_FALSE(env.RemoveFile(dir.Sub("f2")));
  EXPECT_TRUE(env.fired());
  EXPECT_TRUE(env.RemoveFile(dir.Sub("f2")));  // once only
  EXPECT_EQ(env.calls(EnvOp::kRemoveFile), 4);

  env.FailAfter(EnvOp::kCreateDir, 1, 13, /*persistent=*/true);
  EXPECT_EQ(env.CreateDir(dir.Sub("d1")), 0);
  EXPECT_EQ(env.CreateDir(dir.Sub("d2")), 13);
  EXPECT_EQ(env.CreateDir(dir.Sub("d3")), 13);
  env.Reset();
  EXPECT_EQ(env.CreateDir(dir.Sub("d3")), 0);
  EXPECT_FALSE(env.fired());
}

TEST(FaultInjectionEnvTest, FullDiskFailsWritesPastTheLimit) {
  ScopedTempDir dir;
  FaultInjectionEnv env;
  env.FillDiskAfter(5);
  auto file = env.NewWritableFile(dir.Sub("f"));
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(file->Append("abc"));
  EXPECT_FALSE(file->Append("def"));
  EXPECT_FALSE(file->Append("g"));  // a failed file stays failed
  EXPECT_FALSE(file->Close());
  EXPECT_TRUE(env.fired());
}

TEST(FaultInjectionEnvTest, ExecutablePathCanBeReplaced) {
  FaultInjectionEnv env;
  env.SetExecutablePath("D:\\srv\\server.exe");
  std::string path;
  ASSERT_TRUE(env.GetExecutablePath(&path));
  EXPECT_EQ(path, "D:\\srv\\server.exe");
}

}  // namespace
}  // namespace vocs
