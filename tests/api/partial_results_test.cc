// Partial results: runs over parts of the records (shards) that end in
// partial files, merged and delivered, against one run over all of them;
// and partial files that are damaged, foreign or incomplete as a set.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "api/statistics_runs.h"
#include "job/stat_source.h"
#include "sorted_run/partial_file.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"
#include "vocs/errors.h"

namespace vocs {
namespace {

using testing::ReadFileOrMissing;
using testing::RecordingHost;
using testing::ScopedTempDir;

struct Case {
  StatisticKind statistic;
  OutputTarget output;
};

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  return std::string(info.param.statistic == StatisticKind::kFrequency ? "Frequency"
                                                                       : "Cooccurrence") +
         (info.param.output == OutputTarget::kFile ? "ToFile" : "ToTable");
}

// Records of "/"-separated terms (the recording host hands NORMAL text over
// unchanged): a small vocabulary, ASCII and two-byte terms, some too short
// to count, records empty, of one term and long.
std::vector<std::string> MakeRecords(size_t count, uint32_t seed) {
  const std::vector<std::string> words = {
      "alpha", "bravo", "charlie", "delta", "echo",  "foxtrot", "golf",  "hotel",
      "\xc4\xe3\xba\xc3", "\xca\xc0\xbd\xe7", "\xb4\xba\xb7\xe7", "ab", "x",   "indigo",
      "juliet", "kilo"};
  std::mt19937 random(seed);
  std::vector<std::string> records;
  for (size_t i = 0; i < count; ++i) {
    const size_t length = random() % 5 == 0 ? 0 : random() % 12;
    std::string record;
    for (size_t k = 0; k < length; ++k) {
      if (k > 0) record += "/";
      // Skewed, so that counts and record counts differ from term to term.
      const size_t w = std::min(random() % words.size(), random() % words.size());
      record += words[w];
    }
    records.push_back(record);
  }
  return records;
}

class PartialResultsTest : public ::testing::TestWithParam<Case> {
 protected:
  StatisticsRun BaseRun(RecordingHost* host, const std::vector<std::string>& rows,
                        int32_t min_frequency) {
    std::vector<std::vector<std::string>> table;
    for (const std::string& row : rows) table.push_back({row});
    host->SetTable({"body"}, table);
    StatisticsRun run;
    run.statistic = GetParam().statistic;
    run.output = GetParam().output;
    run.output_name = OutputName();
    run.temp_dir = dir_.Sub("work") + "/";
    run.min_frequency = min_frequency;
    run.host = host;
    run.query = "select body from docs";
    run.sources.push_back(RunSource::Field("body", kModeNormal, ""));
    return run;
  }

  std::string OutputName() const {
    return GetParam().output == OutputTarget::kFile ? dir_.Sub("result.txt") : "result";
  }

  // What the run delivered: the file, or the statements and load files the
  // table writer sent to the host.
  std::string Delivered(const RecordingHost& host) {
    if (GetParam().output == OutputTarget::kFile) {
      std::string bytes = ReadFileOrMissing(dir_.Sub("result.txt"));
      std::filesystem::remove(dir_.Sub("result.txt"));
      return bytes;
    }
    std::string all;
    // The load file's name is made anew by every run.
    const std::regex load_file("rec_?[0-9A-Za-z]+\\.tmp");  // Windows: "rec" and hex
    for (const std::string& statement : host.statements()) {
      all += std::regex_replace(statement, load_file, "rec_.tmp") + "\n";
    }
    for (const std::string& file : host.loaded_files) all += file + "\n--\n";
    return all;
  }

  std::string OneRun(const std::vector<std::string>& rows, int32_t min_frequency) {
    RecordingHost host;
    EXPECT_EQ(RunStatistics(BaseRun(&host, rows, min_frequency)), 0);
    return Delivered(host);
  }

  // Runs the shards rows[cuts[i], cuts[i + 1]) into partials, merges them.
  std::string ShardedRun(const std::vector<std::string>& rows, const std::vector<size_t>& cuts,
                         int32_t min_frequency) {
    const int32_t shards = static_cast<int32_t>(cuts.size() - 1);
    std::vector<std::string> partials;
    for (int32_t s = 0; s < shards; ++s) {
      RecordingHost host;
      const std::vector<std::string> part(rows.begin() + static_cast<ptrdiff_t>(cuts[s]),
                                          rows.begin() + static_cast<ptrdiff_t>(cuts[s + 1]));
      StatisticsRun run = BaseRun(&host, part, min_frequency);
      run.partial_path = dir_.Sub("shard" + std::to_string(s) + ".part");
      run.partial_header.shard = s + 1;
      run.partial_header.shards = shards;
      run.partial_header.run = "5eed";
      std::string error;
      EXPECT_EQ(RunStatistics(run, &error), 0) << error;
      EXPECT_TRUE(host.loaded_files.empty()) << "a shard delivered";
      partials.push_back(run.partial_path);
    }
    // Any order of the partials.
    std::reverse(partials.begin(), partials.end());
    RecordingHost host;
    PartialDelivery delivery;
    delivery.partials = partials;
    delivery.output = GetParam().output;
    delivery.output_name = OutputName();
    delivery.temp_dir = dir_.Sub("merge") + "/";
    delivery.host = &host;
    std::string error;
    EXPECT_EQ(DeliverPartialResults(delivery, &error), 0) << error;
    for (const std::string& partial : partials) {
      EXPECT_TRUE(std::filesystem::exists(partial)) << "a merge consumed " << partial;
    }
    return Delivered(host);
  }

  ScopedTempDir dir_;
};

// N shards with uneven cuts, an empty shard among them whenever N > 1.
std::vector<size_t> UnevenCuts(size_t records, size_t shards, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<size_t> cuts = {0, records};
  for (size_t i = 1; i < shards; ++i) cuts.push_back(random() % (records + 1));
  if (shards > 1) cuts.push_back(cuts.back());  // a duplicate cut: an empty shard
  std::sort(cuts.begin(), cuts.end());
  cuts.erase(cuts.begin() + static_cast<ptrdiff_t>(shards) + 1, cuts.end());
  cuts.back() = records;
  return cuts;
}

TEST_P(PartialResultsTest, ShardsMergeToTheOneRunResultByteForByte) {
  const std::vector<std::string> rows = MakeRecords(120, 7);
  for (const int32_t min_frequency : {0, 3}) {
    const std::string expected = OneRun(rows, min_frequency);
    ASSERT_GT(expected.size(), 200u);
    for (const size_t shards : {1, 2, 3, 7, 25}) {
      const std::vector<size_t> cuts = UnevenCuts(rows.size(), shards, 11 * shards);
      ASSERT_EQ(cuts.size(), shards + 1);
      EXPECT_TRUE(ShardedRun(rows, cuts, min_frequency) == expected)
          << shards << " shards, minimum frequency " << min_frequency;
    }
  }
}

TEST_P(PartialResultsTest, ShardsOfNothingAndAllInOneShard) {
  const std::vector<std::string> rows = MakeRecords(30, 3);
  const std::string expected = OneRun(rows, 0);
  // Everything in the last shard, the first two empty.
  EXPECT_EQ(ShardedRun(rows, {0, 0, 0, rows.size()}, 0), expected);
  // Every record a shard of its own.
  std::vector<size_t> cuts;
  for (size_t i = 0; i <= rows.size(); ++i) cuts.push_back(i);
  EXPECT_EQ(ShardedRun(rows, cuts, 0), expected);
  // No record at all.
  EXPECT_EQ(ShardedRun({}, {0, 0, 0}, 0), OneRun({}, 0));
}

INSTANTIATE_TEST_SUITE_P(BothEnginesBothOutputs, PartialResultsTest,
                         ::testing::Values(Case{StatisticKind::kFrequency, OutputTarget::kFile},
                                           Case{StatisticKind::kFrequency, OutputTarget::kTable},
                                           Case{StatisticKind::kCooccurrence, OutputTarget::kFile},
                                           Case{StatisticKind::kCooccurrence,
                                                OutputTarget::kTable}),
                         CaseName);

// Partial files that must be refused, and refused before anything is written.
class PartialFileTest : public ::testing::Test {
 protected:
  // Writes the shards of a co-occurrence (or frequency) run over `rows` split
  // at `cuts` and returns their paths.
  std::vector<std::string> WriteShards(StatisticKind statistic, const std::vector<size_t>& cuts,
                                       const std::string& prefix, const std::string& run_id) {
    const std::vector<std::string> rows = MakeRecords(40, 5);
    std::vector<std::string> paths;
    const int32_t shards = static_cast<int32_t>(cuts.size() - 1);
    for (int32_t s = 0; s < shards; ++s) {
      RecordingHost host;
      std::vector<std::vector<std::string>> table;
      for (size_t i = cuts[s]; i < cuts[s + 1]; ++i) table.push_back({rows[i]});
      host.SetTable({"body"}, table);
      StatisticsRun run;
      run.statistic = statistic;
      run.output_name = dir_.Sub("unused.txt");
      run.temp_dir = dir_.Sub("work") + "/";
      run.host = &host;
      run.query = "q";
      run.sources.push_back(RunSource::Field("body", kModeNormal, ""));
      run.partial_path = dir_.Sub(prefix + std::to_string(s + 1) + ".part");
      run.partial_header.shard = s + 1;
      run.partial_header.shards = shards;
      run.partial_header.run = run_id;
      std::string error;
      EXPECT_EQ(RunStatistics(run, &error), 0) << error;
      paths.push_back(run.partial_path);
    }
    return paths;
  }

  // Delivers `paths` to a file; the code, with the message in *error.
  int32_t Deliver(const std::vector<std::string>& paths, std::string* error) {
    PartialDelivery delivery;
    delivery.partials = paths;
    delivery.output_name = dir_.Sub("merged.txt");
    delivery.temp_dir = dir_.Sub("merge") + "/";
    return DeliverPartialResults(delivery, error);
  }

  void ExpectRefused(const std::vector<std::string>& paths, const std::string& message) {
    std::string error;
    EXPECT_EQ(Deliver(paths, &error), VOCS_E_RESULT_FILE_OPEN);
    EXPECT_NE(error.find(message), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(dir_.Sub("merged.txt"))) << "written after: " << error;
  }

  static std::string Read(const std::string& path) { return ReadFileOrMissing(path); }
  static void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  }

  ScopedTempDir dir_;
};

TEST_F(PartialFileTest, WrittenAndReadBack) {
  const std::vector<std::string> paths =
      WriteShards(StatisticKind::kCooccurrence, {0, 25, 40}, "c", "00ff");
  PartialHeader header;
  int64_t terms = 0;
  int64_t sum = 0;
  std::string last;
  bool ascending = true;
  std::string error;
  ASSERT_TRUE(ReadPartialFile(
      paths[1], &header,
      [&](std::string_view term, int64_t count) {
        ascending = ascending && (terms == 0 || last < term);
        last.assign(term);
        ++terms;
        sum += count;
        return true;
      },
      &error))
      << error;
  EXPECT_EQ(header.engine, kCooccurrencePartial);
  EXPECT_EQ(header.shard, 2);
  EXPECT_EQ(header.shards, 2);
  EXPECT_EQ(header.run, "00ff");
  EXPECT_EQ(header.records, 15);
  EXPECT_GT(terms, 3);
  EXPECT_EQ(header.terms, terms);
  EXPECT_EQ(header.term_total, sum);
  EXPECT_TRUE(ascending);
  // The partial's own lines hold no TAB, every body line does.
  const std::string bytes = Read(paths[1]);
  const size_t body = bytes.find('\t');
  ASSERT_NE(body, std::string::npos);
  const size_t body_start = bytes.rfind('\n', body) + 1;
  EXPECT_EQ(bytes.substr(0, body_start).find('\t'), std::string::npos);
  EXPECT_EQ(bytes.substr(bytes.rfind('\n', bytes.size() - 2)).find('\t'), std::string::npos);
}

TEST_F(PartialFileTest, DamagedFilesAreRefused) {
  const std::vector<std::string> paths =
      WriteShards(StatisticKind::kFrequency, {0, 20, 40}, "f", "");
  const std::string good = Read(paths[0]);
  const std::string saved = dir_.Sub("good.part");
  Write(saved, good);
  const size_t end_line = good.rfind("end ");
  const size_t first_tab = good.find('\t');
  const size_t body_start = good.rfind('\n', first_tab) + 1;
  const size_t second_line = good.find('\n', body_start) + 1;
  const size_t third_line = good.find('\n', second_line) + 1;
  ASSERT_LT(third_line, end_line);

  struct Damage {
    const char* what;
    std::string bytes;
    const char* message;
  };
  std::string reordered = good.substr(0, body_start) +
                          good.substr(second_line, third_line - second_line) +
                          good.substr(body_start, second_line - body_start) +
                          good.substr(third_line);
  std::string edited = good;
  edited[good.rfind('\t', second_line - 2) + 1] ^= 1;  // a digit of a count
  std::string version = good;
  version.replace(0, 14, "vocs partial 2");
  const Damage damages[] = {
      {"the last byte cut", good.substr(0, good.size() - 1), "\"end\" line"},
      {"the end line cut", good.substr(0, end_line), "\"end\" line"},
      {"cut in the body", good.substr(0, second_line + 3), "\"end\" line"},
      {"cut in the header", good.substr(0, 40), "truncated"},
      {"a line lost", good.substr(0, body_start) + good.substr(second_line), "lines in"},
      {"lines reordered", reordered, "checksum"},
      {"a count changed", edited, "checksum"},
      {"a line added after the end", good + "x\n", "\"end\" line"},
      {"another version", version, "format version 2"},
      {"empty", "", "not a vocs partial"},
      {"a result file", "term\t3\t2\t2\t1\r\n", "not a vocs partial"},
  };
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.what);
    Write(paths[0], damage.bytes);
    ExpectRefused(paths, damage.message);
  }
  Write(paths[0], good);
  std::string error;
  EXPECT_EQ(Deliver(paths, &error), 0) << error;
}

TEST_F(PartialFileTest, IncompleteOrMixedSetsAreRefused) {
  const std::vector<std::string> freq =
      WriteShards(StatisticKind::kFrequency, {0, 10, 30, 40}, "f", "aa");
  const std::vector<std::string> other =
      WriteShards(StatisticKind::kFrequency, {0, 10, 30, 40}, "g", "bb");
  const std::vector<std::string> cooc =
      WriteShards(StatisticKind::kCooccurrence, {0, 10, 30, 40}, "c", "aa");
  ExpectRefused({freq[0], freq[2]}, "shard 2 of 3 is missing");
  ExpectRefused({freq[0], freq[1], freq[1], freq[2]}, "both shard 2 of 3");
  ExpectRefused({freq[0], other[1], freq[2]}, "the statement");
  ExpectRefused({freq[0], cooc[1], freq[2]}, "cooccurrence engine");
  ExpectRefused({cooc[0], freq[1], cooc[2]}, "frequency engine");
  ExpectRefused({freq[0], dir_.Sub("absent.part"), freq[2]}, "cannot be opened");
  std::string error;
  EXPECT_EQ(Deliver(freq, &error), 0) << error;
}

TEST_F(PartialFileTest, TermCountsThatDoNotAddUpAreRefused) {
  const std::vector<std::string> paths =
      WriteShards(StatisticKind::kCooccurrence, {0, 40}, "c", "");
  std::string bytes = Read(paths[0]);
  // Raise the total and rehash, so that only the sum tells.
  const size_t total = bytes.find("term-total ");
  const size_t total_end = bytes.find('\n', total);
  bytes.replace(total, total_end - total,
                "term-total " + std::to_string(std::stoll(bytes.substr(total + 11))+ 2));
  const size_t end_line = bytes.rfind("end ");
  const size_t hash_at = bytes.rfind(' ') + 1;
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx",
                static_cast<unsigned long long>(PartialChecksumOf(bytes.substr(0, end_line))));
  bytes.replace(hash_at, 16, hex);
  Write(paths[0], bytes);
  ExpectRefused(paths, "add up to");
}

TEST(PartialChecksumTest, PiecesOfAnySizeGiveTheChecksumOfTheWhole) {
  std::string bytes;
  for (int i = 0; i < 300; ++i) bytes += static_cast<char>(i * 37 + 11);
  const uint64_t whole = PartialChecksumOf(bytes);
  for (const size_t piece : {1, 3, 7, 8, 9, 64, 299}) {
    PartialChecksum checksum;
    for (size_t at = 0; at < bytes.size(); at += piece) checksum.Update(bytes.substr(at, piece));
    EXPECT_EQ(checksum.Final(), whole) << piece;
  }
  // Order, length and every byte count.
  std::string swapped = bytes;
  std::swap_ranges(swapped.begin(), swapped.begin() + 8, swapped.begin() + 8);
  EXPECT_NE(PartialChecksumOf(swapped), whole);
  EXPECT_NE(PartialChecksumOf(bytes + std::string(1, '\0')), whole);
  EXPECT_NE(PartialChecksumOf(bytes.substr(0, 299)), whole);
  EXPECT_NE(PartialChecksumOf(""), PartialChecksumOf(std::string(1, '\0')));
  for (size_t i = 0; i < bytes.size(); i += 13) {
    std::string flipped = bytes;
    flipped[i] ^= 0x10;
    EXPECT_NE(PartialChecksumOf(flipped), whole) << i;
  }
}

}  // namespace
}  // namespace vocs
