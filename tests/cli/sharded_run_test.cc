// Sharded runs through the built command: `vocs run --jobs N` against
// `--jobs 1`, `--shard K/N --partial FILE` with `vocs merge`, and what
// happens when a shard or a partial is wrong.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "cli_test_util.h"

namespace vocs::cli {
namespace {

using testing::CommandHome;
using testing::QueryDb;
using testing::ReadWholeFile;

class ShardedRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // 61 records of Chinese and ASCII words in varied amounts, some empty.
    const std::vector<std::string> words = {"明月", "春风", "故乡", "alpha", "bravo",
                                            "charlie", "山水", "delta", "echo", "白云"};
    std::mt19937 random(3);
    std::string tsv = "title\tbody\n";
    for (int i = 0; i < 61; ++i) {
      std::string title = words[random() % words.size()] + " " + words[random() % 3];
      std::string body;
      const size_t length = i % 9 == 0 ? 0 : random() % 15;
      for (size_t k = 0; k < length; ++k) {
        body += words[std::min(random() % words.size(), random() % words.size())];
        body += k % 4 == 3 ? "。" : " ";
      }
      tsv += title + "\t" + body + "\n";
    }
    home_.dir().Write("docs.tsv", tsv);
    const auto imported =
        home_.Vocs({"import", "--db", home_.db(), "--table", "docs", home_.dir().Sub("docs.tsv")});
    ASSERT_EQ(imported.exit_code, 0) << imported.err;
  }

  std::string File(const std::string& name) const { return ReadWholeFile(home_.work() + "/" + name); }
  // A table's rows and its declaration, for comparing two result tables.
  std::string Table(const std::string& name) const {
    return QueryDb(home_.db(), "SELECT * FROM " + name) + "\n" +
           QueryDb(home_.db(), "SELECT replace(sql, '" + name +
                                   "', 'T') FROM sqlite_master WHERE tbl_name = '" + name +
                                   "' AND type = 'table'");
  }

  CommandHome home_;
};

TEST_F(ShardedRunTest, JobsGiveTheResultOfOneProcessByteForByte) {
  const std::vector<std::string> statements = {
      "STAT WORDFREQ AT body(NORMAL) TO FILE=OUT WHERE SELECT body FROM docs",
      // Each shard counts the records with the query as a subquery.
      "STAT WORDFREQ AT body(NORMAL) TO FILE=OUT WHERE SELECT body FROM docs ORDER BY rowid DESC "
      "LIMIT 50 ;",
      "STAT WORDFREQ SET MINFREQ=3 AT body(NORMAL) TO TABLE=OUT WHERE SELECT body FROM docs",
      "STAT ASSOCIATEDFREQ AT title(NORMAL), body(NORMAL) TO FILE=OUT WHERE SELECT * FROM docs",
      "STAT ASSOCIATEDFREQ SET MINFREQ=2 AT body(NORMAL) TO TABLE=OUT WHERE SELECT * FROM docs"};
  for (const std::string& pattern : statements) {
    SCOPED_TRACE(pattern);
    const bool table = pattern.find("TABLE=") != std::string::npos;
    auto statement = [&](const std::string& out) {
      std::string s = pattern;
      return s.replace(s.find("OUT"), 3, out);
    };
    const auto one = home_.Vocs({"run", "--db", home_.db(), "--jobs", "1", statement("one")});
    ASSERT_EQ(one.exit_code, 0) << one.err;
    const std::string expected = table ? Table("one") : File("one");
    ASSERT_GT(expected.size(), 100u);
    // More processes than records (70) for the first: shards without records.
    std::vector<std::string> counts = {"2", "3", "7"};
    if (&pattern == &statements.front()) counts.push_back("70");
    for (const std::string& jobs : counts) {
      const std::string out = "jobs" + jobs;
      const auto run = home_.Vocs({"run", "--db", home_.db(), "--jobs", jobs, statement(out)});
      ASSERT_EQ(run.exit_code, 0) << run.err;
      EXPECT_EQ(table ? Table(out) : File(out), expected) << jobs << " jobs";
      // The same report as one process gives.
      EXPECT_NE(run.out.find(table ? " rows in table " + out : " rows in file "), std::string::npos)
          << run.out;
    }
  }
  // Nothing is left beside the database and the results.
  for (const auto& entry : std::filesystem::directory_iterator(home_.work())) {
    EXPECT_EQ(entry.path().filename().string().rfind(".vocs-run", 0), std::string::npos)
        << entry.path();
  }
}

TEST_F(ShardedRunTest, FilesAreSplitByFileForFrequencyOnly) {
  for (int i = 0; i < 7; ++i) {
    home_.dir().Write("texts/" + std::to_string(i) + ".txt",
                      std::string(i * 3, ' ') + "明月照故乡 alpha bravo 春风又绿江南岸 " +
                          std::to_string(i));
  }
  const std::string texts = home_.dir().Sub("texts");
  for (const std::string kind : {"WORDFREQ", "ASSOCIATEDFREQ"}) {
    const auto one = home_.Vocs({"run", "--jobs", "1", "STAT " + kind + " FROM " + texts +
                                                           " TO FILE=f1.txt"});
    ASSERT_EQ(one.exit_code, 0) << one.err;
    const auto three = home_.Vocs({"run", "--jobs", "3", "STAT " + kind + " FROM " + texts +
                                                             " TO FILE=f3.txt"});
    ASSERT_EQ(three.exit_code, 0) << three.err;
    EXPECT_EQ(File("f3.txt"), File("f1.txt")) << kind;
    EXPECT_GT(File("f1.txt").size(), 20u);
  }
}

TEST_F(ShardedRunTest, ShardsAndMergeGiveTheRunsResult) {
  const std::string statement =
      "STAT ASSOCIATEDFREQ AT title(NORMAL), body(NORMAL) TO TABLE=pairs WHERE SELECT * FROM docs";
  std::vector<std::string> partials;
  for (const std::string k : {"1", "2", "3", "4"}) {
    const std::string partial = home_.dir().Sub("p" + k);
    const auto shard = home_.Vocs(
        {"run", "--db", home_.db(), "--shard", k + "/4", "--partial", partial, statement});
    ASSERT_EQ(shard.exit_code, 0) << shard.err;
    EXPECT_NE(shard.out.find("shard " + k + " of 4, "), std::string::npos) << shard.out;
    EXPECT_EQ(QueryDb(home_.db(), "SELECT count(*) FROM sqlite_master WHERE name = 'pairs'"), "0")
        << "a shard wrote the table";
    partials.push_back(partial);
  }
  ASSERT_EQ(home_.Vocs({"run", "--db", home_.db(), statement}).exit_code, 0);
  const auto file_run = home_.Vocs(
      {"run", "--db", home_.db(),
       "STAT ASSOCIATEDFREQ AT title(NORMAL), body(NORMAL) TO FILE=pairs.txt WHERE SELECT * FROM docs"});
  ASSERT_EQ(file_run.exit_code, 0);

  auto merged = home_.Vocs({"merge", "--db", home_.db(), partials[3], partials[1], partials[0],
                            partials[2], "TO", "TABLE=merged"});
  ASSERT_EQ(merged.exit_code, 0) << merged.err;
  EXPECT_NE(merged.out.find("merged 4 partial results: "), std::string::npos) << merged.out;
  EXPECT_EQ(Table("merged"), Table("pairs"));
  merged = home_.Vocs({"merge", partials[0], partials[1], partials[2], partials[3], "TO",
                       "FILE=merged.txt"});
  ASSERT_EQ(merged.exit_code, 0) << merged.err;
  EXPECT_EQ(File("merged.txt"), File("pairs.txt"));

  // A missing shard, a partial of another statement: refused, nothing written.
  auto refused = home_.Vocs({"merge", partials[0], partials[1], partials[3], "TO", "FILE=no.txt"});
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_NE(refused.err.find("shard 3 of 4 is missing"), std::string::npos) << refused.err;
  const std::string other = home_.dir().Sub("other");
  ASSERT_EQ(home_.Vocs({"run", "--db", home_.db(), "--shard", "3/4", "--partial", other,
                        "STAT ASSOCIATEDFREQ AT body(NORMAL) TO TABLE=pairs WHERE SELECT * FROM docs"})
                .exit_code,
            0);
  refused = home_.Vocs(
      {"merge", "--db", home_.db(), partials[0], partials[1], other, partials[3], "TO", "TABLE=merged"});
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_NE(refused.err.find("not shards of one run"), std::string::npos) << refused.err;
  EXPECT_FALSE(std::filesystem::exists(home_.work() + "/no.txt"));
  EXPECT_EQ(Table("merged"), Table("pairs")) << "a refused merge changed the table";

  // Command-line mistakes.
  EXPECT_EQ(home_.Vocs({"run", "--shard", "5/4", "--partial", "x", statement}).exit_code, 2);
  EXPECT_EQ(home_.Vocs({"run", "--shard", "1/4", statement}).exit_code, 2);
  EXPECT_EQ(home_.Vocs({"run", "--jobs", "0", statement}).exit_code, 2);
  EXPECT_EQ(home_.Vocs({"merge", partials[0], "TO", "PLACE=x"}).exit_code, 2);
}

TEST_F(ShardedRunTest, AFailingShardFailsTheRunAndKeepsTheOldResult) {
  ASSERT_EQ(home_.Vocs({"run", "--db", home_.db(),
                        "STAT WORDFREQ AT body(NORMAL) TO TABLE=words WHERE SELECT body FROM docs"})
                .exit_code,
            0);
  const std::string before = Table("words");
  // The query fails when its records are read: in every shard.
  const auto run = home_.Vocs(
      {"run", "--db", home_.db(), "--jobs", "3",
       "STAT WORDFREQ AT body(NORMAL) TO TABLE=words WHERE \"SELECT CASE WHEN rowid > 40 THEN "
       "abs(-9223372036854775807 - 1) ELSE body END AS body FROM docs\""});
  EXPECT_EQ(run.exit_code, 1) << run.out;
  EXPECT_NE(run.err.find("failed with -1109"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(" of 3 failed"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("integer overflow"), std::string::npos) << run.err;
  EXPECT_EQ(Table("words"), before);
  for (const auto& entry : std::filesystem::directory_iterator(home_.work())) {
    EXPECT_EQ(entry.path().filename().string().rfind(".vocs-run", 0), std::string::npos)
        << entry.path();
  }
}

// Processes whose command line holds `text` (the shards of a run).
int ProcessesWith(const std::string& text) {
  int found = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::string cmdline = ReadWholeFile(entry.path().string() + "/cmdline");
    std::replace(cmdline.begin(), cmdline.end(), '\0', ' ');
    found += cmdline.find(text) != std::string::npos;
  }
  return found;
}

TEST_F(ShardedRunTest, AnInterruptStopsEveryShardAndLeavesNothing) {
  // Enough records that the shards count for a while.
  std::string tsv = "title\tbody\n";
  for (int i = 0; i < 150000; ++i) {
    tsv += "t" + std::to_string(i) + "\t明月 春风 alpha" + std::to_string(i % 997) + " 故乡\n";
  }
  home_.dir().Write("big.tsv", tsv);
  ASSERT_EQ(
      home_.Vocs({"import", "--db", home_.db(), "--table", "big", home_.dir().Sub("big.tsv")})
          .exit_code,
      0);
  const std::string statement =
      "STAT WORDFREQ AT body(NORMAL) TO FILE=big.txt WHERE SELECT body FROM big";
  for (const int signal : {SIGINT, SIGTERM}) {
    testing::Started run(home_.vocs(), {"run", "--db", home_.db(), "--jobs", "3", statement},
                         home_.work());
    // Once every shard has begun to read records.
    ASSERT_TRUE(testing::WaitUntil([&] {
      int reading = 0;
      for (const auto& entry : std::filesystem::directory_iterator(home_.work())) {
        if (entry.path().filename().string().rfind(".vocs-run", 0) != 0) continue;
        for (const std::string k : {"1", "2", "3"}) {
          reading += !ReadWholeFile(entry.path().string() + "/shard-" + k + ".progress").empty();
        }
      }
      return reading == 3 || !run.Running();
    })) << "the shards never began";
    ASSERT_TRUE(run.Running()) << "the run ended before the signal";
    run.Signal(signal);
    const auto result = run.Wait();
    EXPECT_EQ(result.exit_code, 130) << result.err;
    EXPECT_NE(result.err.find("interrupted"), std::string::npos) << result.err;
    EXPECT_FALSE(std::filesystem::exists(home_.work() + "/big.txt"));
    for (const auto& entry : std::filesystem::directory_iterator(home_.work())) {
      EXPECT_NE(entry.path().filename().string().rfind(".", 0), 0u) << entry.path();
    }
    EXPECT_EQ(ProcessesWith(home_.work() + "/.vocs-run"), 0) << "a shard outlived its run";
  }
}

}  // namespace
}  // namespace vocs::cli
