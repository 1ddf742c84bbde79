// The run writer: lines in its codec's format, its check that keys ascend,
// and failures that leave a file short.
#include "sorted_run/run_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "freq/term_line.h"
#include "support/fault_injection_env.h"
#include "support/temp_dir.h"

namespace vocs {
namespace {

using testing::ReadFileOrMissing;
using testing::ScopedTempDir;

// Writes the terms, each counted once, and returns Finish's result.
bool WriteTerms(const std::string& path, const std::vector<std::string>& terms) {
  RunWriter<TermLineCodec> writer;
  if (!writer.Open(path)) return false;
  for (const std::string& term : terms) writer.Add({term, SpillCounts{1, 1, 1, 1}});
  return writer.Finish();
}

TEST(RunWriterTest, WritesTheLinesOfItsCodec) {
  ScopedTempDir dir;
  ASSERT_TRUE(WriteTerms(dir.Sub("s.tmp"), {"abcd", "abcde", "\xB0\xA1\xB0\xA1"}));
  EXPECT_EQ(ReadFileOrMissing(dir.Sub("s.tmp")),
            "abcd\t1\t1\t1\t1\nabcde\t1\t1\t1\t1\n\xB0\xA1\xB0\xA1\t1\t1\t1\t1\n");
  ASSERT_TRUE(WriteTerms(dir.Sub("empty.tmp"), {}));
  EXPECT_EQ(ReadFileOrMissing(dir.Sub("empty.tmp")), "");
}

TEST(RunWriterTest, AKeyThatDoesNotSortAfterTheOneBeforeFailsTheWriter) {
  ScopedTempDir dir;
  // Repeated, descending, and descending only in the ninth byte.
  for (const std::vector<std::string>& terms :
       {std::vector<std::string>{"abcd", "abcd"}, std::vector<std::string>{"abcd", "aaaa", "zzzz"},
        std::vector<std::string>{"abcdefgh1", "abcdefgh0"}}) {
    EXPECT_FALSE(WriteTerms(dir.Sub("s.tmp"), terms)) << terms[1];
  }
}

TEST(RunWriterTest, ReportsAFileThatWasNotWrittenWhole) {
  ScopedTempDir dir;
  FaultInjectionEnv env;
  ScopedEnvForTesting scoped(&env);
  std::vector<std::string> terms;
  for (int i = 0; i < 20000; ++i) terms.push_back("term" + std::to_string(100000 + i));
  env.FillDiskAfter(100 * 1024);
  EXPECT_FALSE(WriteTerms(dir.Sub("t.tmp"), terms));

  env.Reset();
  env.FailAlways(EnvOp::kNewWritableFile);
  RunWriter<TermLineCodec> writer;
  EXPECT_FALSE(writer.Open(dir.Sub("u.tmp")));
  writer.Add({"abcd", SpillCounts{1, 1, 1, 1}});  // dropped
  EXPECT_FALSE(writer.Finish());
}

}  // namespace
}  // namespace vocs
