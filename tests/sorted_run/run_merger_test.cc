// The merge of sorted runs, typed over the line codecs of both engines:
// passes and their inputs, the naming and removal of intermediate files,
// folding of equal keys (including keys that agree in long prefixes), a
// model over random runs, and failures. Format details of one engine follow
// at the end.
#include "sorted_run/run_merger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "cooc/pair_line.h"
#include "freq/term_line.h"
#include "platform/path_style.h"
#include "support/fault_injection_env.h"
#include "support/temp_dir.h"

namespace vocs {
namespace {

using testing::ListTree;
using testing::ReadFileOrMissing;
using testing::ScopedTempDir;

// What a test needs to know of a codec: its keys and values as plain types,
// how one line of them reads, and how equal keys fold.

// The frequency lines: a term and its four counts.
struct TermLines {
  using Codec = TermLineCodec;
  using Key = std::string;
  using Value = SpillCounts;

  // `n` occurrences in one record.
  static Value Counted(int64_t n) { return Value{n, 1, n, n}; }
  static void Fold(const Value& v, Value* into) {
    into->total += v.total;
    into->records += v.records;
    into->maxCount = std::max(into->maxCount, v.maxCount);
    into->minCount = std::min(into->minCount, v.minCount);
  }
  static std::string Line(const Key& key, const Value& value) {
    LineBuffer buffer;
    Codec::Append({key, value}, &buffer);
    return std::string(buffer.view());
  }
  // The keys whose variable part is `part`; the frequency key is the term.
  static std::vector<Key> KeysWith(const std::string& part) { return {part}; }
  static std::string RandomTerm(std::mt19937* rng) {
    std::string term(1 + (*rng)() % 3, 'a');
    for (char& c : term) c = "ab\t\xB0\xA1z"[(*rng)() % 6];  // a tab inside is fine
    return term;
  }
  static Key RandomKey(std::mt19937* rng) { return RandomTerm(rng); }
};

// The pair lines: two terms and a count.
struct PairLines {
  using Codec = PairLineCodec;
  using Key = std::pair<std::string, std::string>;
  using Value = int64_t;

  static Value Counted(int64_t n) { return n; }
  static void Fold(const Value& v, Value* into) { *into += v; }
  static std::string Line(const Key& key, const Value& value) {
    LineBuffer buffer;
    Codec::Append(Codec::Make(key.first, key.second, value), &buffer);
    return std::string(buffer.view());
  }
  // The part as either term of a pair.
  static std::vector<Key> KeysWith(const std::string& part) {
    return {{part, "term"}, {"term", part}};
  }
  // Whole characters only: the line's scan takes the byte after a lead byte
  // for its trail byte, tab or not.
  static std::string RandomTerm(std::mt19937* rng) {
    static const char* const kCharacters[] = {"a", "b", "z", "\xB0\xA1", "\xFE\xFE"};
    std::string term;
    for (size_t n = 1 + (*rng)() % 3; n > 0; --n) term += kCharacters[(*rng)() % 5];
    return term;
  }
  static Key RandomKey(std::mt19937* rng) { return {RandomTerm(rng), RandomTerm(rng)}; }
};

// Logs the files opened for reading and for writing, by their base names.
class FileLogEnv final : public FaultInjectionEnv {
 public:
  std::unique_ptr<WritableFile> NewWritableFile(const std::string& path) override {
    Log(&writes, path);
    return FaultInjectionEnv::NewWritableFile(path);
  }
  std::unique_ptr<SequentialFile> NewSequentialFile(const std::string& path) override {
    Log(&reads, path);
    return FaultInjectionEnv::NewSequentialFile(path);
  }

  std::vector<std::string> writes;
  std::vector<std::string> reads;

 private:
  void Log(std::vector<std::string>* log, const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    log->push_back(path.substr(path.rfind(kPathSeparator) + 1));
  }
  std::mutex mutex_;
};

// The lines of one run, by key. std::string orders as unsigned bytes, as the
// runs do.
template <typename Lines>
using RunOf = std::map<typename Lines::Key, typename Lines::Value>;

template <typename Lines>
class RunMergerTest : public ::testing::Test {
 protected:
  using Key = typename Lines::Key;
  using Run = RunOf<Lines>;

  RunMergerTest() : scoped_(&env_) {}

  // Writes run "s<i>.tmp" with these lines and returns its path.
  std::string WriteRun(int i, const std::string& contents) {
    const std::string name = "s" + std::to_string(i) + ".tmp";
    dir_.WriteFile(name, contents);
    return dir_.Sub(name);
  }
  std::string WriteRun(int i, const Run& run) { return WriteRun(i, Render(run)); }
  static std::string Render(const Run& run) {
    std::string text;
    for (const auto& [key, value] : run) text += Lines::Line(key, value);
    return text;
  }
  static void FoldInto(const Run& run, Run* model) {
    for (const auto& [key, value] : run) {
      auto [it, inserted] = model->emplace(key, value);
      if (!inserted) Lines::Fold(value, &it->second);
    }
  }
  // A run of one key.
  static Run One(const Key& key, int64_t n) { return Run{{key, Lines::Counted(n)}}; }
  static Key AnyKey(const std::string& part) { return Lines::KeysWith(part).front(); }

  std::string Destination() const { return dir_.Sub("ok.tmp"); }
  bool Merge(const std::vector<std::string>& runs) {
    RunMerger<typename Lines::Codec> merger(Destination(), runs);
    const bool ok = merger.Merge();
    intermediates_ = merger.intermediates();
    return ok;
  }
  // Merges the runs and returns the destination's content, or "<failed>".
  std::string Merged(const std::vector<Run>& runs) {
    std::vector<std::string> paths;
    for (const Run& run : runs) paths.push_back(WriteRun(static_cast<int>(paths.size()), run));
    if (!Merge(paths)) return "<failed>";
    for (const std::string& path : paths) std::filesystem::remove(path);
    return ReadFileOrMissing(Destination());
  }
  static std::string Tx2(int32_t n) { return std::to_string(n) + ".tx2"; }

  ScopedTempDir dir_;
  FileLogEnv env_;
  ScopedEnvForTesting scoped_;
  std::vector<std::string> intermediates_;
};

using Codecs = ::testing::Types<TermLines, PairLines>;
class CodecNames {
 public:
  template <typename T>
  static std::string GetName(int) {
    return std::is_same_v<T, TermLines> ? "TermLines" : "PairLines";
  }
};
TYPED_TEST_SUITE(RunMergerTest, Codecs, CodecNames);

TYPED_TEST(RunMergerTest, EqualKeysFoldIntoOneLine) {
  const auto a = this->AnyKey("abcd");
  const auto e = this->AnyKey("efgh");
  const auto z = this->AnyKey("zzzz");
  const RunOf<TypeParam> first = {{a, TypeParam::Counted(3)}, {e, TypeParam::Counted(1)}};
  const RunOf<TypeParam> second = {{a, TypeParam::Counted(4)}, {z, TypeParam::Counted(2)}};
  const RunOf<TypeParam> third = {{a, TypeParam::Counted(1)}};
  RunOf<TypeParam> model;
  for (const RunOf<TypeParam>* run : {&first, &second, &third}) this->FoldInto(*run, &model);
  ASSERT_EQ(model.size(), 3u);
  EXPECT_EQ(this->Merged({first, second, third}), this->Render(model));
}

TYPED_TEST(RunMergerTest, InterleavedKeysComeOutOnceInUnsignedByteOrder) {
  // A proper prefix sorts first; 0xFF after every two-byte character.
  const std::vector<std::string> parts = {"abcd", "abcde", "efgh", "\xB0\xA1\xB0\xA1",
                                          "\xFF" "abc"};
  std::vector<RunOf<TypeParam>> runs(3);
  RunOf<TypeParam> model;
  for (size_t i = 0; i < parts.size(); ++i) {
    for (const auto& key : TypeParam::KeysWith(parts[i])) {
      for (size_t r = 0; r < runs.size(); ++r) {
        if ((i + r) % 3 != 0) runs[r][key] = TypeParam::Counted(static_cast<int64_t>(r + 1));
      }
    }
  }
  for (const RunOf<TypeParam>& run : runs) this->FoldInto(run, &model);
  EXPECT_EQ(this->Merged(runs), this->Render(model));
}

// Keys that agree in their first 16, 64 or 255 bytes and differ only after
// them (terms reach 256 bytes), spread over enough runs for three passes:
// the merge must order and fold them by all their bytes, not by a prefix.
TYPED_TEST(RunMergerTest, KeysSharingLongPrefixesStayApartAcrossPasses) {
  for (size_t shared : {size_t{16}, size_t{64}, size_t{255}}) {
    SCOPED_TRACE("shared prefix of " + std::to_string(shared) + " bytes");
    // Two-byte and one-byte characters, none of them cut in two.
    std::string prefix;
    while (prefix.size() + 2 <= shared) prefix += prefix.size() % 3 == 0 ? "\xD6\xD0" : "a";
    if (prefix.size() < shared) prefix += "b";
    ASSERT_EQ(prefix.size(), shared);
    std::vector<std::string> parts = {prefix};
    for (const char* tail : {"A", "B", "Z", "\xB0\xA1", "\xFE\xFE"}) parts.push_back(prefix + tail);
    std::vector<RunOf<TypeParam>> runs(45);
    RunOf<TypeParam> model;
    for (size_t r = 0; r < runs.size(); ++r) {
      for (size_t i = 0; i < parts.size(); ++i) {
        if ((r + i) % 4 == 0) continue;
        for (const auto& key : TypeParam::KeysWith(parts[i])) {
          runs[r][key] = TypeParam::Counted(static_cast<int64_t>(1 + (r + i) % 5));
        }
      }
      this->FoldInto(runs[r], &model);
    }
    ASSERT_EQ(model.size(), parts.size() * TypeParam::KeysWith(prefix).size());
    EXPECT_EQ(this->Merged(runs), this->Render(model));
    EXPECT_EQ(this->intermediates_.size(), 3u);
  }
}

TYPED_TEST(RunMergerTest, TwentyOneRunsTakeTwoPassesNewestFirst) {
  std::vector<std::string> runs;
  RunOf<TypeParam> model;
  for (int i = 0; i < 21; ++i) {
    char term[8];
    std::snprintf(term, sizeof(term), "t%02d", i);
    RunOf<TypeParam> run = this->One(this->AnyKey("shared"), 1);
    run.emplace(this->AnyKey(term), TypeParam::Counted(1));
    runs.push_back(this->WriteRun(i, run));
    this->FoldInto(run, &model);
  }
  const int32_t first = PeekMergeFileNumberForTesting();
  ASSERT_TRUE(this->Merge(runs));
  // Pass 1 reads the 20 newest runs, newest first, into the first
  // intermediate; pass 2 the oldest run and that intermediate.
  std::vector<std::string> expected_reads;
  for (int i = 20; i >= 1; --i) expected_reads.push_back("s" + std::to_string(i) + ".tmp");
  expected_reads.push_back("s0.tmp");
  expected_reads.push_back(this->Tx2(first));
  EXPECT_EQ(this->env_.reads, expected_reads);
  EXPECT_EQ(this->env_.writes, (std::vector<std::string>{this->Tx2(first), this->Tx2(first + 1)}));
  EXPECT_EQ(this->intermediates_, (std::vector<std::string>{this->dir_.Sub(this->Tx2(first)),
                                                            this->dir_.Sub(this->Tx2(first + 1))}));
  EXPECT_EQ(ReadFileOrMissing(this->Destination()), this->Render(model));
  // Both intermediates are gone; the runs are left to their owner.
  std::vector<std::string> left = ListTree(this->dir_.path());
  EXPECT_EQ(left.size(), 22u);
  EXPECT_EQ(std::count(left.begin(), left.end(), "ok.tmp"), 1);
}

TYPED_TEST(RunMergerTest, PassCountsAndNumberingGoOnAcrossMerges) {
  // R runs take ceil((R - 1) / 19) passes; the last pass may be narrower.
  for (int count : {2, 20, 25, 39, 40, 41, 60}) {
    std::vector<std::string> runs;
    for (int i = 0; i < count; ++i) runs.push_back(this->WriteRun(i, this->One(this->AnyKey("abcd"), 1)));
    const int32_t first = PeekMergeFileNumberForTesting();
    ASSERT_TRUE(this->Merge(runs)) << count;
    EXPECT_EQ(PeekMergeFileNumberForTesting() - first, (count - 1 + 18) / 19) << count;
    typename TypeParam::Value total = TypeParam::Counted(1);
    for (int i = 1; i < count; ++i) TypeParam::Fold(TypeParam::Counted(1), &total);
    EXPECT_EQ(ReadFileOrMissing(this->Destination()), TypeParam::Line(this->AnyKey("abcd"), total))
        << count;
  }
}

TYPED_TEST(RunMergerTest, EmptyRunsAndCarriageReturnsContributeNothing) {
  const std::string line = TypeParam::Line(this->AnyKey("abcd"), TypeParam::Counted(2));
  const std::string crlf = line.substr(0, line.size() - 1) + "\r\n";
  ASSERT_TRUE(this->Merge({this->WriteRun(0, ""), this->WriteRun(1, crlf), this->WriteRun(2, "")}));
  typename TypeParam::Value v = TypeParam::Counted(2);
  EXPECT_EQ(ReadFileOrMissing(this->Destination()), TypeParam::Line(this->AnyKey("abcd"), v));
  ASSERT_TRUE(this->Merge({this->WriteRun(3, ""), this->WriteRun(4, "")}));
  EXPECT_EQ(ReadFileOrMissing(this->Destination()), "");
}

TYPED_TEST(RunMergerTest, NoRunFailsAndASingleRunIsCopied) {
  EXPECT_FALSE(this->Merge({}));
  const std::string line = TypeParam::Line(this->AnyKey("abcd"), TypeParam::Counted(1));
  const std::string only = this->WriteRun(0, line);
  ASSERT_TRUE(this->Merge({only}));
  EXPECT_EQ(ReadFileOrMissing(this->Destination()), line);
  EXPECT_EQ(ReadFileOrMissing(only), line);  // the run is its owner's
  EXPECT_TRUE(this->intermediates_.empty());
}

// A model: random sorted runs merged with every fan-in pattern from 2 to 45
// inputs (one to three passes) against a plain map.
TYPED_TEST(RunMergerTest, MatchesAMapOverRandomRuns) {
  const uint32_t seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  for (int count : {2, 3, 19, 20, 21, 39, 40, 45}) {
    std::vector<RunOf<TypeParam>> runs(static_cast<size_t>(count));
    RunOf<TypeParam> model;
    for (RunOf<TypeParam>& run : runs) {
      const int lines = static_cast<int>(rng() % 30);
      for (int k = 0; k < lines; ++k) {
        run[TypeParam::RandomKey(&rng)] = TypeParam::Counted(static_cast<int64_t>(1 + rng() % 9));
      }
      this->FoldInto(run, &model);
    }
    EXPECT_EQ(this->Merged(runs), this->Render(model)) << count;
    EXPECT_EQ(ListTree(this->dir_.path()), std::vector<std::string>{"ok.tmp"}) << count;
  }
}

TYPED_TEST(RunMergerTest, ConcurrentMergesNeverShareAnIntermediateFile) {
  ScopedTempDir dirs[4];
  std::vector<std::string> names[4];
  std::vector<std::thread> threads;
  const std::string line = TypeParam::Line(this->AnyKey("abcd"), TypeParam::Counted(1));
  for (int t = 0; t < 4; ++t) {
    std::vector<std::string> paths;
    for (int i = 0; i < 45; ++i) {
      const std::string name = "s" + std::to_string(i);
      dirs[t].WriteFile(name, line);
      paths.push_back(dirs[t].Sub(name));
    }
    threads.emplace_back([&, t, paths] {
      RunMerger<typename TypeParam::Codec> merger(dirs[t].Sub("ok"), paths);
      EXPECT_TRUE(merger.Merge());
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

TYPED_TEST(RunMergerTest, TheFinalFileIsRenamedOrElseCopied) {
  for (bool rename_fails : {false, true}) {
    ScopedTempDir dir;
    dir.WriteFile("a", TypeParam::Line(this->AnyKey("abcd"), TypeParam::Counted(1)));
    dir.WriteFile("b", TypeParam::Line(this->AnyKey("abcd"), TypeParam::Counted(2)));
    dir.WriteFile("ok", "old");
    FaultInjectionEnv env;
    ScopedEnvForTesting scoped(&env);
    if (rename_fails) env.FailAlways(EnvOp::kRenameFile);
    RunMerger<typename TypeParam::Codec> merger(dir.Sub("ok"), {dir.Sub("a"), dir.Sub("b")});
    ASSERT_TRUE(merger.Merge());
    typename TypeParam::Value v = TypeParam::Counted(1);
    TypeParam::Fold(TypeParam::Counted(2), &v);
    EXPECT_EQ(ReadFileOrMissing(dir.Sub("ok")), TypeParam::Line(this->AnyKey("abcd"), v));
    EXPECT_EQ(env.calls(EnvOp::kCopyFileTo), rename_fails ? 1 : 0);
    EXPECT_EQ(ListTree(dir.path()), (std::vector<std::string>{"a", "b", "ok"}));
  }
}

TYPED_TEST(RunMergerTest, FailuresOfTheFileSystemFailTheMerge) {
  struct Case {
    EnvOp op;
    int successes;
    size_t files_left;  // the two runs, the destination, and the intermediate if kept
  };
  // Opening the second input, reading the first, creating the intermediate
  // file (the reserved name is given back), writing it, and the final rename
  // together with the copy that stands in for it (intermediates deleted).
  for (Case c : {Case{EnvOp::kNewSequentialFile, 1, 3}, Case{EnvOp::kRead, 0, 4},
                 Case{EnvOp::kCreateNewFile, 0, 3}, Case{EnvOp::kNewWritableFile, 0, 3},
                 Case{EnvOp::kAppend, 0, 4}, Case{EnvOp::kCopyFileTo, 0, 3}}) {
    SCOPED_TRACE(static_cast<int>(c.op));
    ScopedTempDir dir;
    dir.WriteFile("a", TypeParam::Line(this->AnyKey("abcd"), TypeParam::Counted(1)));
    dir.WriteFile("b", TypeParam::Line(this->AnyKey("efgh"), TypeParam::Counted(2)));
    dir.WriteFile("ok", "");
    FaultInjectionEnv env;
    ScopedEnvForTesting scoped(&env);
    env.FailAfter(c.op, c.successes, 5, /*persistent=*/true);
    if (c.op == EnvOp::kCopyFileTo) env.FailAlways(EnvOp::kRenameFile);
    RunMerger<typename TypeParam::Codec> merger(dir.Sub("ok"), {dir.Sub("a"), dir.Sub("b")});
    EXPECT_FALSE(merger.Merge());
    EXPECT_TRUE(env.fired());
    EXPECT_EQ(ReadFileOrMissing(dir.Sub("ok")), "");
    EXPECT_EQ(ListTree(dir.path()).size(), c.files_left);
  }
  // A full disk in the middle of a pass.
  ScopedTempDir dir;
  std::string many;
  for (int i = 0; i < 5000; ++i) {
    many += TypeParam::Line(this->AnyKey("term" + std::to_string(10000 + i)), TypeParam::Counted(1));
  }
  dir.WriteFile("a", many);
  dir.WriteFile("b", many);
  FaultInjectionEnv env;
  ScopedEnvForTesting scoped(&env);
  env.FillDiskAfter(10);
  RunMerger<typename TypeParam::Codec> merger(dir.Sub("ok"), {dir.Sub("a"), dir.Sub("b")});
  EXPECT_FALSE(merger.Merge());
}

TYPED_TEST(RunMergerTest, AFailedPassKeepsTheIntermediatesMadeSoFar) {
  std::vector<std::string> runs;
  for (int i = 0; i < 21; ++i) runs.push_back(this->WriteRun(i, this->One(this->AnyKey("aaaa"), 1)));
  this->env_.FailAfter(EnvOp::kNewWritableFile, 1);  // the second pass's output
  EXPECT_FALSE(this->Merge(runs));
  ASSERT_EQ(this->env_.writes.size(), 2u);
  typename TypeParam::Value twenty = TypeParam::Counted(1);
  for (int i = 1; i < 20; ++i) TypeParam::Fold(TypeParam::Counted(1), &twenty);
  EXPECT_EQ(ReadFileOrMissing(this->dir_.Sub(this->env_.writes[0])),
            TypeParam::Line(this->AnyKey("aaaa"), twenty));
  EXPECT_FALSE(std::filesystem::exists(this->dir_.Sub(this->env_.writes[1])));
}

// A run out of order would let equal keys pass each other: the merge refuses
// to write such a result instead.
TYPED_TEST(RunMergerTest, ARunOutOfOrderFailsTheMerge) {
  const std::string unsorted = TypeParam::Line(this->AnyKey("efgh"), TypeParam::Counted(1)) +
                               TypeParam::Line(this->AnyKey("abcd"), TypeParam::Counted(1));
  EXPECT_FALSE(this->Merge({this->WriteRun(0, unsorted), this->WriteRun(1, "")}));
}

using TermRunMergerTest = RunMergerTest<TermLines>;
using PairRunMergerTest = RunMergerTest<PairLines>;

TEST_F(TermRunMergerTest, MalformedLinesAreSkippedAndTermsHoldingTabsSurvive) {
  ASSERT_TRUE(Merge({
      WriteRun(0, "garbage\nabcd\t1\t1\t1\nabcd\t2\t1\t2\t2\n\n"),
      WriteRun(1, "a\tb\t1\t1\t1\t1\nabcd\t1\t1\t1\t1\r\nefgh\t1\t1\t1\t1"),  // no last line end
      WriteRun(2, "a\tb\t2\t1\t2\t2\nnothing\tto\tsee\n"),
  }));
  EXPECT_EQ(ReadFileOrMissing(Destination()),
            "a\tb\t3\t2\t2\t1\nabcd\t3\t2\t2\t1\nefgh\t1\t1\t1\t1\n");
}

TEST_F(TermRunMergerTest, CountsAddUpInSixtyFourBits) {
  ASSERT_TRUE(Merge({WriteRun(0, "abcd\t2147483647\t2147483647\t2147483647\t1\n"),
                     WriteRun(1, "abcd\t2147483647\t1\t3000000000\t2\n")}));
  EXPECT_EQ(ReadFileOrMissing(Destination()), "abcd\t4294967294\t2147483648\t3000000000\t1\n");
}

TEST_F(PairRunMergerTest, MalformedLinesAreSkipped) {
  ASSERT_TRUE(Merge({WriteRun(0, "abcd\tefgh\t1\t9\nabcd\tijkl\t1\n"), WriteRun(1, ""),
                     WriteRun(2, "abcd efgh 7\n\nabcd\tijkl\t2\n")}));
  EXPECT_EQ(ReadFileOrMissing(Destination()), "abcd\tijkl\t3\n");
}

TEST_F(PairRunMergerTest, CountsAddUpInSixtyFourBits) {
  ASSERT_TRUE(Merge({WriteRun(0, "abcd\tefgh\t4000000000\n"), WriteRun(1, "abcd\tefgh\t4000000000\n")}));
  EXPECT_EQ(ReadFileOrMissing(Destination()), "abcd\tefgh\t8000000000\n");
}

// Counts near 2^63 in damaged run files made the fold overflow, which is
// undefined: the sums are held at the limits instead, in both directions.
TEST_F(TermRunMergerTest, SumsBeyondSixtyFourBitsSaturateInsteadOfOverflowing) {
  ASSERT_TRUE(Merge({WriteRun(0, "abcd\t9223372036854775800\t9223372036854775807\t5\t1\n"
                                 "efgh\t-9223372036854775800\t1\t1\t1\n"),
                     WriteRun(1, "abcd\t100\t1\t7\t2\n"
                                 "efgh\t-100\t1\t1\t1\n")}));
  EXPECT_EQ(ReadFileOrMissing(Destination()),
            "abcd\t9223372036854775807\t9223372036854775807\t7\t1\n"
            "efgh\t-9223372036854775808\t2\t1\t1\n");
}

TEST_F(PairRunMergerTest, SumsBeyondSixtyFourBitsSaturateInsteadOfOverflowing) {
  ASSERT_TRUE(Merge({WriteRun(0, "abcd\tefgh\t9223372036854775807\nabcd\tijkl\t-9223372036854775807\n"),
                     WriteRun(1, "abcd\tefgh\t9223372036854775807\nabcd\tijkl\t-2\n"),
                     WriteRun(2, "abcd\tefgh\t1\n")}));
  EXPECT_EQ(ReadFileOrMissing(Destination()),
            "abcd\tefgh\t9223372036854775807\nabcd\tijkl\t-9223372036854775808\n");
}

}  // namespace
}  // namespace vocs
