// How the command splits a statement into shards: the K/N option, which
// statements split, and the FROM files of each shard.
#include "cli/shard_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vocs::cli {
namespace {

TEST(ShardPlanTest, ShardOptionIsKOfNWithKFromOneToN) {
  int32_t k = 0;
  int32_t n = 0;
  EXPECT_TRUE(ParseShard("1/1", &k, &n));
  EXPECT_TRUE(ParseShard("3/64", &k, &n));
  EXPECT_EQ(k, 3);
  EXPECT_EQ(n, 64);
  for (const std::string bad : {"0/3", "4/3", "3", "/3", "1/", "-1/3", "1/3x", "a/b", "1/0", ""}) {
    EXPECT_FALSE(ParseShard(bad, &k, &n)) << bad;
  }
}

RunJob FileJob(bool cooccurrence, const std::vector<std::string>& paths) {
  RunJob job;
  job.plan.command.kind = cooccurrence ? 2 : 1;
  job.plan.command.sourceKind = 1;
  for (const std::string& path : paths) job.inputs.push_back(InputFile{path, 1, 0});
  return job;
}

TEST(ShardPlanTest, FrequencyFilesSplitIntoRangesThatCoverEveryFileOnce) {
  host::TextCodec codec;
  const RunJob job = FileJob(false, {"/a", "/b", "/c", "/d", "/e"});
  ASSERT_TRUE(CanShard(job));
  for (const int32_t shards : {1, 2, 3, 5, 8}) {
    std::vector<std::string> all;
    for (int32_t k = 1; k <= shards; ++k) {
      bool given = false;
      const std::vector<std::string> files = ShardFiles(job, k, shards, &codec, &given);
      EXPECT_TRUE(given);
      all.insert(all.end(), files.begin(), files.end());
    }
    EXPECT_EQ(all, (std::vector<std::string>{"/a", "/b", "/c", "/d", "/e"})) << shards;
  }
  // A file reached twice would count twice in one run: no split.
  EXPECT_FALSE(CanShard(FileJob(false, {"/a", "/b", "/a"})));
}

TEST(ShardPlanTest, CooccurrenceFilesAndQueriesAreNotSplitByFile) {
  host::TextCodec codec;
  const RunJob pairs = FileJob(true, {"/a", "/b", "/c"});
  EXPECT_FALSE(CanShard(pairs));
  bool given = true;
  EXPECT_TRUE(ShardFiles(pairs, 1, 3, &codec, &given).empty());
  EXPECT_FALSE(given) << "shard 1 runs the statement's own files";
  EXPECT_TRUE(ShardFiles(pairs, 2, 3, &codec, &given).empty());
  EXPECT_TRUE(given) << "the other shards count nothing";

  RunJob query;
  query.plan.command.kind = 2;
  query.plan.command.sourceKind = 2;
  EXPECT_TRUE(CanShard(query));
  EXPECT_TRUE(ShardFiles(query, 2, 3, &codec, &given).empty());
  EXPECT_FALSE(given) << "the host splits a query's records";
}

TEST(ShardPlanTest, FingerprintTellsStatementsApartButNotTheirOutputs) {
  RunJob a;
  a.plan.command.kind = 1;
  a.plan.command.sourceKind = 2;
  a.plan.command.query = "SELECT body FROM docs";
  a.plan.command.fields.push_back(FieldSource{"body", 2, ""});
  RunJob b = a;
  b.plan.command.outputName = "elsewhere";
  b.output = "/x/elsewhere";
  EXPECT_EQ(StatementFingerprint(a), StatementFingerprint(b));
  EXPECT_EQ(StatementFingerprint(a).size(), 16u);
  RunJob c = a;
  c.plan.command.minFrequency = 2;
  RunJob d = a;
  d.plan.command.fields[0].mode = 1;
  RunJob e = a;
  e.plan.command.query = "SELECT body FROM docs WHERE 1";
  for (const RunJob* other : {&c, &d, &e}) {
    EXPECT_NE(StatementFingerprint(a), StatementFingerprint(*other));
  }
}

}  // namespace
}  // namespace vocs::cli
