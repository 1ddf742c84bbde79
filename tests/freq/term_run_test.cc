// The binary runs of the frequency engine: what a writer writes reads back
// whole across the reader's refills, damaged runs are refused with a reason,
// and a task's spills merge, through one pass or two, into the result lines
// a run that never spilled writes.
#include "freq/term_run.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "freq/frequency_task.h"
#include "freq/frequency_test_helper.h"
#include "freq/term_line.h"
#include "job/stat_source.h"
#include "platform/env.h"
#include "support/fault_injection_env.h"
#include "support/temp_dir.h"
#include "vocs/errors.h"

namespace vocs {
namespace {

using testing::ReadFileOrMissing;
using testing::RunRecords;
using testing::ScopedTempDir;

struct Item {
  std::string term;
  SpillCounts counts;
};

std::string WriteRun(const std::string& path, const std::vector<Item>& items) {
  TermRunWriter writer;
  EXPECT_TRUE(writer.Open(CurrentEnv()->NewWritableFile(path)));
  for (const Item& item : items) writer.Add(item.term, item.counts);
  EXPECT_TRUE(writer.Finish());
  return ReadFileOrMissing(path);
}

// Reads the run at `path` whole; *error is the reader's reason when it
// refuses the run, else empty.
std::vector<Item> ReadRun(const std::string& path, std::string* error) {
  TermRunReader reader;
  std::vector<Item> items;
  TermEntry entry;
  if (reader.Open(CurrentEnv()->NewSequentialFile(path))) {
    while (reader.Next(&entry)) items.push_back({std::string(entry.term), entry.counts});
  }
  *error = reader.failed() ? reader.error() : "";
  return items;
}

bool operator==(const Item& a, const Item& b) {
  return a.term == b.term && a.counts.total == b.counts.total &&
         a.counts.records == b.counts.records && a.counts.maxCount == b.counts.maxCount &&
         a.counts.minCount == b.counts.minCount;
}

TEST(TermRunTest, WhatIsWrittenReadsBackAcrossRefills) {
  ScopedTempDir dir;
  // Counts of one byte and of many (7-bit groups, the 63-bit limit), terms
  // from empty to 256 bytes holding tabs and high bytes, and enough records
  // that the reader refills its buffer many times, with terms that share
  // their first eight bytes so that the order check reads past them.
  std::vector<Item> items = {
      {"", {1, 1, 1, 1}},
      {"\t", {127, 127, 1, 1}},
      {"abcd", {128, 2, 100, 28}},
      {"abcdefgh", {16384, 3, 16380, 1}},
      {"abcd\xB0\xA1", {INT64_MAX, INT64_MAX, INT64_MAX, INT64_MAX}},
  };
  std::mt19937 rng(7);
  for (int i = 0; i < 20000; ++i) {
    char number[16];
    std::snprintf(number, sizeof number, "%08d", i);
    std::string term = std::string("\xD6\xD0zzzzzz") + number;
    term.append(rng() % 240, 'q');
    const int64_t records = 1 + static_cast<int64_t>(rng() % 300);
    items.push_back({term, {records * 3, records, 3, 1 + static_cast<int64_t>(rng() % 3)}});
  }
  items.push_back({std::string(kMaxTermLength, '\xFE'), {5, 2, 4, 1}});
  const std::string bytes = WriteRun(dir.Sub("run"), items);
  EXPECT_EQ(bytes.substr(0, kTermRunMark.size()), kTermRunMark);
  std::string error;
  const std::vector<Item> read = ReadRun(dir.Sub("run"), &error);
  EXPECT_EQ(error, "");
  ASSERT_EQ(read.size(), items.size());
  for (size_t i = 0; i < items.size(); ++i) ASSERT_TRUE(read[i] == items[i]) << i;

  // An empty run is the mark alone and reads as no record.
  EXPECT_EQ(WriteRun(dir.Sub("empty"), {}), kTermRunMark);
  EXPECT_TRUE(ReadRun(dir.Sub("empty"), &error).empty());
  EXPECT_EQ(error, "");
}

TEST(TermRunTest, DamagedRunsAreRefusedWithTheReason) {
  ScopedTempDir dir;
  const std::string mark(kTermRunMark);
  // Record bytes by hand: the length in the machine's order, then the counts.
  auto record = [](uint16_t length, const std::string& counts, const std::string& term) {
    std::string bytes(2, '\0');
    std::memcpy(bytes.data(), &length, 2);
    return bytes + counts + term;
  };
  const std::string one = "\x01\x01\x01\x01";
  const std::string sound = record(4, one, "abcd");
  struct Case {
    const char* what;
    std::string bytes;
    const char* reason;  // a part of the message, or "" for a sound run
  };
  const std::vector<Case> cases = {
      {"a sound run, for contrast", mark + sound + record(4, one, "abce"), ""},
      {"no mark", sound, "not a term run"},
      {"a text line", "abcd\t1\t1\t1\t1\n", "not a term run"},
      {"a mark cut short", mark.substr(0, 5), "not a term run"},
      {"cut inside the counts", mark + sound + record(4, one, "abce").substr(0, 4), "cut off"},
      {"cut inside a long count", mark + record(4, "\x81\x81", ""), "cut off"},
      {"cut inside the term", mark + record(4, one, "ab"), "cut off"},
      {"a term of 257 bytes", mark + record(257, one, std::string(257, 'a')), "longer than 256"},
      {"no records", mark + record(4, std::string("\x01\x00\x01\x01", 4), "abcd"), "counts"},
      {"a smallest count of 0", mark + record(4, std::string("\x01\x01\x01\x00", 4), "abcd"),
       "counts"},
      {"largest below smallest", mark + record(4, "\x05\x02\x01\x02", "abcd"), "counts"},
      {"largest above the total", mark + record(4, "\x02\x01\x03\x01", "abcd"), "counts"},
      {"more records than occurrences", mark + record(4, "\x02\x03\x01\x01", "abcd"), "counts"},
      {"a count of 64 bits",
       mark + record(4, std::string(9, '\xFF') + "\x01\x01\x01\x01", "abcd"), "63 bits"},
      {"terms out of order", mark + record(4, one, "abce") + sound, "does not sort after"},
      {"a term twice", mark + sound + sound, "does not sort after"},
      {"a shorter term after its extension", mark + record(5, one, "abcde") + sound,
       "does not sort after"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    dir.WriteFile("run", c.bytes);
    std::string error;
    const std::vector<Item> read = ReadRun(dir.Sub("run"), &error);
    if (*c.reason == '\0') {
      EXPECT_EQ(error, "");
      EXPECT_EQ(read.size(), 2u);
    } else {
      EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
  }
}

class TermRunMergeTest : public ::testing::Test {
 protected:
  TermRunMergeTest() {
    task_.SetTempDir(dir_.Sub("work/").c_str());
    task_.SetOutputName(dir_.Sub("out.txt"));
  }

  // Records of terms drawn from a small vocabulary, some repeated inside a
  // record, so that most terms meet in several runs.
  static std::vector<std::string> Records(int count) {
    std::mt19937 rng(11);
    std::vector<std::string> records;
    for (int r = 0; r < count; ++r) {
      std::string record;
      for (int t = 1 + static_cast<int>(rng() % 6); t > 0; --t) {
        record += "term" + std::to_string(rng() % 40) + (rng() % 3 == 0 ? "\xB0\xA1/" : "/");
      }
      records.push_back(record);
    }
    return records;
  }

  // The result lines of the same records counted without a spill.
  static std::string Unspilled(const std::vector<std::string>& records) {
    ScopedTempDir dir;
    FrequencyTask task;
    task.SetTempDir(dir.Sub("work/").c_str());
    EXPECT_EQ(RunRecords(&task, records, kModeNormal), 0);
    EXPECT_EQ(task.spillFiles().size(), 1u);
    return ReadFileOrMissing(task.resultPath());
  }

  ScopedTempDir dir_;
  FrequencyTask task_;
};

TEST_F(TermRunMergeTest, SpillsMergeIntoTheLinesOfARunThatNeverSpilled) {
  // 1, 19 and 20 runs take one pass, 21 and 45 two and three.
  for (int records : {1, 19, 20, 21, 45}) {
    SCOPED_TRACE(records);
    ScopedTempDir dir;
    FrequencyTask task;
    task.SetTempDir(dir.Sub("work/").c_str());
    task.SetSpillThresholdForTesting(1);  // a spill at the end of every record
    const std::vector<std::string> input = Records(records);
    ASSERT_EQ(RunRecords(&task, input, kModeNormal), 0);
    EXPECT_EQ(task.spillFiles().size(), static_cast<size_t>(records));
    const std::string merged = ReadFileOrMissing(task.resultPath());
    EXPECT_EQ(merged, Unspilled(input));
    EXPECT_NE(merged.find("\t"), std::string::npos);
    // No intermediate file is left beside the result.
    for (const auto& entry : std::filesystem::directory_iterator(dir.Sub("work/"))) {
      EXPECT_NE(entry.path().extension(), ".tx2") << entry.path();
    }
  }
}

TEST_F(TermRunMergeTest, ADamagedSpillFailsTheRunAndKeepsTheFiles) {
  task_.SetSpillThresholdForTesting(1);
  ASSERT_EQ(task_.SetRecordCount(2), 0);
  for (int32_t i = 0; i < 2; ++i) {
    StatSource source;
    source.kind = kBuffer;
    source.mode = kModeNormal;
    source.content = i == 0 ? "abcd/efgh" : "abcd";
    ASSERT_EQ(task_.BeginRecord(i), 0);
    ASSERT_EQ(task_.ProcessRecord(i, &source, nullptr), 0);
    ASSERT_EQ(task_.EndRecord(i), 0);
  }
  ASSERT_EQ(task_.spillFiles().size(), 2u);
  const std::string first = ReadFileOrMissing(task_.spillFiles()[0]);
  // The first run loses its last byte, as a full disk might leave it.
  {
    std::ofstream cut(task_.spillFiles()[0], std::ios::binary | std::ios::trunc);
    cut << first.substr(0, first.size() - 1);
    ASSERT_TRUE(cut.good());
  }
  EXPECT_EQ(task_.Finish(), VOCS_E_NO_RESULT_FILE);
  for (const std::string& path : task_.spillFiles()) EXPECT_TRUE(std::filesystem::exists(path));
}

TEST_F(TermRunMergeTest, AReadErrorInARunFailsTheMerge) {
  task_.SetSpillThresholdForTesting(1);
  FaultInjectionEnv env;
  ScopedEnvForTesting scoped(&env);
  env.FailAfter(EnvOp::kRead, 0, 5, true);  // counting reads no file; the merge does
  EXPECT_EQ(RunRecords(&task_, {"abcd", "efgh"}, kModeNormal), VOCS_E_NO_RESULT_FILE);
}

}  // namespace
}  // namespace vocs
