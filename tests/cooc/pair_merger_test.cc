// The pair line format and PairMerger: sums of equal keys, order, passes of
// at most 20 inputs, intermediate files and their counter, and failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cooc/pair_line.h"
#include "cooc/pair_merger.h"
#include "platform/fault_injection_env.h"
#include "support/temp_dir.h"

namespace vocs {
namespace {

using testing::ListTree;
using testing::ReadFileOrMissing;
using testing::ScopedTempDir;

// Remembers the paths of the files opened for reading, in order.
class OpenLogEnv final : public EnvWrapper {
 public:
  OpenLogEnv() : EnvWrapper(Env::Default()) {}
  std::unique_ptr<SequentialFile> NewSequentialFile(const std::string& path) override {
    std::lock_guard<std::mutex> lock(mutex_);
    opened.push_back(path);
    return target()->NewSequentialFile(path);
  }
  std::vector<std::string> opened;

 private:
  std::mutex mutex_;
};

class PairMergerTest : public ::testing::Test {
 protected:
  // Writes the spill files and the (empty) destination; returns the spills.
  std::vector<std::string> WriteSpills(const std::vector<std::string>& contents) {
    std::vector<std::string> paths;
    for (size_t i = 0; i < contents.size(); ++i) {
      const std::string name = "work/tog_" + std::to_string(i) + ".tmp";
      dir_.WriteFile(name, contents[i]);
      paths.push_back(dir_.Sub(name));
    }
    dir_.WriteFile("work/ok_0.tmp", "");
    return paths;
  }
  std::string Merge(const std::vector<std::string>& contents, bool* ok = nullptr) {
    PairMerger merger(destination(), WriteSpills(contents));
    const bool merged = merger.Run();
    if (ok != nullptr) {
      *ok = merged;
    } else {
      EXPECT_TRUE(merged);
    }
    return merged ? ReadFileOrMissing(destination()) : "<failed>";
  }
  std::string destination() const { return dir_.Sub("work/ok_0.tmp"); }

  ScopedTempDir dir_;
};

TEST(PairLineTest, ParseDecimal) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  const std::vector<std::pair<std::string, int64_t>> cases = {
      {"5", 5},
      {" \t12x", 12},
      {"-3", -3},
      {"+7", 7},
      {"", 0},
      {"abc", 0},
      {"- 3", 0},
      {"8000000000", 8000000000},
      {"9223372036854775807", kMax},
      {"9223372036854775808", kMax},
      {"99999999999999999999", kMax},
      {"-9223372036854775808", kMin},
      {"-99999999999999999999", kMin},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(ParseDecimal(text), value) << text;
}

TEST(PairLineTest, FormatAndParseAgree) {
  PairLineBuffer buffer;
  buffer.Append("\xB0\xA1\xB0\xA1", "efgh", 8000000000);
  // Every length of the short-term copies, and counts of one and more digits.
  std::string expected = "\xB0\xA1\xB0\xA1\tefgh\t8000000000\n";
  for (size_t n = 0; n <= 20; ++n) {
    const std::string term = std::string("abcdefghijklmnopqrstuvwxyz").substr(0, n);
    buffer.Append(term, "x" + term, static_cast<int64_t>(n) * 7);
    expected += term + "\tx" + term + "\t" + std::to_string(n * 7) + "\n";
  }
  EXPECT_EQ(buffer.view(), expected);
  const std::string line(buffer.view().substr(0, buffer.view().find('\n') + 1));
  PairLine pair;
  ASSERT_TRUE(ParsePairLine(std::string_view(line).substr(0, line.size() - 1), &pair));
  EXPECT_EQ(pair.term1, "\xB0\xA1\xB0\xA1");
  EXPECT_EQ(pair.term2, "efgh");
  EXPECT_EQ(pair.count_text, "8000000000");
  EXPECT_EQ(pair.count, 8000000000);
}

TEST_F(PairMergerTest, EqualKeysAreSummed) {
  EXPECT_EQ(Merge({"abcd\tefgh\t2\n", "abcd\tefgh\t3\n"}), "abcd\tefgh\t5\n");
  // In 64 bits.
  EXPECT_EQ(Merge({"abcd\tefgh\t4000000000\n", "abcd\tefgh\t4000000000\n"}),
            "abcd\tefgh\t8000000000\n");
}

TEST_F(PairMergerTest, InterleavedKeysComeOutOnceInByteOrder) {
  const std::string merged = Merge({
      "abcd\tabcd\t1\nabcd\tefgh\t1\nefgh\tabcd\t1\n\xB0\xA1\xB0\xA1\tabcd\t1\n",
      "abcd\tabcde\t2\nabcd\tefgh\t2\nabcde\tabcd\t2\n\xFF" "abc\tabcd\t2\n",
      "abcd\tabcd\t4\nefgh\tabcd\t4\n\xB0\xA1\xB0\xA1\tabcd\t4\n\xFF" "abc\tabcd\t4\n",
  });
  // A proper prefix sorts first; 0xFF after every double-byte character.
  EXPECT_EQ(merged,
            "abcd\tabcd\t5\n"
            "abcd\tabcde\t2\n"
            "abcd\tefgh\t3\n"
            "abcde\tabcd\t2\n"
            "efgh\tabcd\t5\n"
            "\xB0\xA1\xB0\xA1\tabcd\t5\n"
            "\xFF" "abc\tabcd\t6\n");
}

TEST_F(PairMergerTest, MalformedLinesAndEmptyFilesContributeNothing) {
  EXPECT_EQ(Merge({"abcd\tefgh\t1\t9\nabcd\tijkl\t1\n", "", "abcd efgh 7\n\nabcd\tijkl\t2\n"}),
            "abcd\tijkl\t3\n");
  EXPECT_EQ(Merge({"", "", ""}), "");
}

TEST_F(PairMergerTest, CarriageReturnsBeforeLineFeedsAreIgnored) {
  EXPECT_EQ(Merge({"abcd\tefgh\t2\r\nabcd\tijkl\t1\r\n", "abcd\tefgh\t3\n"}),
            "abcd\tefgh\t5\nabcd\tijkl\t1\n");
}

TEST_F(PairMergerTest, TwentyOneSpillFilesMergeInTwoPasses) {
  OpenLogEnv env;
  ScopedEnvForTesting scoped(&env);
  std::vector<std::string> contents;
  for (int i = 0; i < 21; ++i) {
    contents.push_back("abcd\tefgh\t1\nterm" + std::to_string(100 + i) + "\tefgh\t1\n");
  }
  const std::vector<std::string> spills = WriteSpills(contents);
  const int32_t first = NextCooccurrenceMergeNumberForTesting();
  PairMerger merger(destination(), spills);
  ASSERT_TRUE(merger.Run());
  EXPECT_EQ(NextCooccurrenceMergeNumberForTesting(), first + 2);

  // Pass 1: the 20 newest spill files, newest first; pass 2: the oldest one
  // and the first intermediate file.
  std::vector<std::string> expected(spills.rbegin(), spills.rend() - 1);
  expected.push_back(spills[0]);
  expected.push_back(dir_.Sub("work/" + std::to_string(first) + ".tx2"));
  EXPECT_EQ(env.opened, expected);
  EXPECT_EQ(merger.intermediates(),
            (std::vector<std::string>{dir_.Sub("work/" + std::to_string(first) + ".tx2"),
                                      dir_.Sub("work/" + std::to_string(first + 1) + ".tx2")}));

  std::string result = "abcd\tefgh\t21\n";
  for (int i = 0; i < 21; ++i) result += "term" + std::to_string(100 + i) + "\tefgh\t1\n";
  EXPECT_EQ(ReadFileOrMissing(destination()), result);
  // Intermediate files are deleted; the spill files are the task's to remove.
  EXPECT_EQ(ListTree(dir_.Sub("work")).size(), 22u);
}

TEST_F(PairMergerTest, PassCountsForManySpillFiles) {
  // S spill files take ceil((S - 1) / 19) passes; the last pass may shrink.
  for (int spills : {2, 20, 25, 39, 40, 41, 60}) {
    ScopedTempDir dir;
    std::vector<std::string> paths;
    for (int i = 0; i < spills; ++i) {
      const std::string name = "s" + std::to_string(i);
      dir.WriteFile(name, "abcd\tefgh\t1\n");
      paths.push_back(dir.Sub(name));
    }
    dir.WriteFile("ok", "");
    const int32_t first = NextCooccurrenceMergeNumberForTesting();
    PairMerger merger(dir.Sub("ok"), paths);
    ASSERT_TRUE(merger.Run());
    EXPECT_EQ(NextCooccurrenceMergeNumberForTesting() - first, (spills - 1 + 18) / 19) << spills;
    EXPECT_EQ(ReadFileOrMissing(dir.Sub("ok")), "abcd\tefgh\t" + std::to_string(spills) + "\n");
  }
}

TEST_F(PairMergerTest, CountersOfConcurrentMergesNeverCollide) {
  ScopedTempDir dirs[4];
  std::vector<std::string> names[4];
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    std::vector<std::string> paths;
    for (int i = 0; i < 45; ++i) {
      const std::string name = "s" + std::to_string(i);
      dirs[t].WriteFile(name, "abcd\tefgh\t1\n");
      paths.push_back(dirs[t].Sub(name));
    }
    dirs[t].WriteFile("ok", "");
    threads.emplace_back([&, t, paths] {
      PairMerger merger(dirs[t].Sub("ok"), paths);
      EXPECT_TRUE(merger.Run());
      for (const std::string& p : merger.intermediates()) {
        names[t].push_back(std::filesystem::path(p).filename().string());
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::set<std::string> all;
  size_t total = 0;
  for (const auto& list : names) {
    all.insert(list.begin(), list.end());
    total += list.size();
  }
  EXPECT_EQ(total, 4u * 3u);
  EXPECT_EQ(all.size(), total);
}

TEST_F(PairMergerTest, TheFinalFileIsRenamedOrElseCopied) {
  for (bool rename_fails : {false, true}) {
    ScopedTempDir dir;
    dir.WriteFile("a", "abcd\tefgh\t1\n");
    dir.WriteFile("b", "abcd\tefgh\t2\n");
    dir.WriteFile("ok", "old");
    FaultInjectionEnv env;
    ScopedEnvForTesting scoped(&env);
    if (rename_fails) env.FailAlways(EnvOp::kMoveFile);
    PairMerger merger(dir.Sub("ok"), {dir.Sub("a"), dir.Sub("b")});
    ASSERT_TRUE(merger.Run());
    EXPECT_EQ(ReadFileOrMissing(dir.Sub("ok")), "abcd\tefgh\t3\n");
    EXPECT_EQ(env.calls(EnvOp::kCopyFile), rename_fails ? 1 : 0);
    EXPECT_EQ(ListTree(dir.path()), (std::vector<std::string>{"a", "b", "ok"}));
  }
}

TEST_F(PairMergerTest, AnInputThatCannotBeOpenedFailsTheMerge) {
  std::vector<std::string> spills = WriteSpills({"abcd\tefgh\t1\n", "abcd\tefgh\t2\n"});
  std::filesystem::remove(spills[0]);
  PairMerger merger(destination(), spills);
  EXPECT_FALSE(merger.Run());
}

TEST_F(PairMergerTest, FailuresOfTheFileSystem) {
  struct Case {
    EnvOp op;
    int successes;
  };
  // Reading the first input, creating the intermediate file, writing it, and
  // the final rename together with the copy that stands in for it.
  for (Case c : {Case{EnvOp::kRead, 0}, Case{EnvOp::kNewWritableFile, 0},
                 Case{EnvOp::kAppend, 0}, Case{EnvOp::kCopyFile, 0}}) {
    ScopedTempDir dir;
    dir.WriteFile("a", "abcd\tefgh\t1\n");
    dir.WriteFile("b", "abcd\tefgh\t2\n");
    dir.WriteFile("ok", "");
    FaultInjectionEnv env;
    ScopedEnvForTesting scoped(&env);
    env.FailAfter(c.op, c.successes);
    if (c.op == EnvOp::kCopyFile) env.FailAlways(EnvOp::kMoveFile);
    PairMerger merger(dir.Sub("ok"), {dir.Sub("a"), dir.Sub("b")});
    EXPECT_FALSE(merger.Run()) << static_cast<int>(c.op);
    EXPECT_TRUE(env.fired());
    EXPECT_EQ(ReadFileOrMissing(dir.Sub("ok")), "");
    // The intermediate file stays after a failed pass, and is deleted after
    // a failed rename and copy.
    const size_t expected = c.op == EnvOp::kNewWritableFile || c.op == EnvOp::kCopyFile ? 3 : 4;
    EXPECT_EQ(ListTree(dir.path()).size(), expected) << static_cast<int>(c.op);
  }
}

}  // namespace
}  // namespace vocs
