// CooccurrenceTask delivery: the records handed to the writer, the support
// and reliability values and their precision, the minimum frequency, lines
// that are skipped, and what is left on disk.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "cooc/cooc_test_helper.h"
#include "cooc/cooccurrence_task.h"
#include "job/stat_source.h"
#include "support/fault_injection_env.h"
#include "support/temp_dir.h"
#include "text/fixed_format.h"
#include "vocs/errors.h"

namespace vocs {
namespace {

using testing::CapturingWriter;
using testing::ListTree;
using testing::MakeSource;
using testing::ScopedTempDir;

class CooccurrenceDeliveryTest : public ::testing::Test {
 protected:
  CooccurrenceDeliveryTest() {
    task_.SetTempDir(work().c_str());
    task_.SetOutputName(dir_.Sub("out/result.txt"));
    task_.SetWriter(&writer_);
  }

  void Record(const std::string& content) {
    StatSource source = MakeSource(kModeNormal, content);
    task_.BeginRecord(record_);
    ASSERT_EQ(task_.ProcessRecord(record_++, &source, nullptr), 0);
  }

  // Finish and deliver, as the job does at the end.
  int FinishAndDeliver() {
    int result = task_.Finish();
    return result != 0 ? result : task_.DeliverResults();
  }

  std::string work() const { return dir_.Sub("work/"); }

  ScopedTempDir dir_;
  CapturingWriter writer_{false};
  CooccurrenceTask task_;
  int32_t record_ = 0;
};

TEST_F(CooccurrenceDeliveryTest, OneRecordOfThreeTerms) {
  Record("abcd/efgh/ijkl");
  ASSERT_EQ(FinishAndDeliver(), 0);
  EXPECT_EQ(writer_.calls,
            (std::vector<std::string>{"open(" + dir_.Sub("out/result.txt") + ")", "finish"}));
  EXPECT_EQ(writer_.records, (std::vector<std::string>{
                                 "abcd|efgh|1|50.0000|50.0000|16.6667",
                                 "abcd|ijkl|1|50.0000|50.0000|16.6667",
                                 "efgh|ijkl|1|50.0000|50.0000|16.6667",
                             }));
  // Spill file, result file and work directory are gone.
  EXPECT_FALSE(std::filesystem::exists(work()));
}

TEST_F(CooccurrenceDeliveryTest, PairOfATermWithItself) {
  Record("abcd/abcd");
  ASSERT_EQ(FinishAndDeliver(), 0);
  EXPECT_EQ(writer_.records,
            (std::vector<std::string>{"abcd|abcd|1|50.0000|50.0000|50.0000"}));
}

TEST_F(CooccurrenceDeliveryTest, MinimumFrequencyAppliesAtDeliveryOnly) {
  task_.SetMinFrequency(2);
  task_.SetSpillThresholdForTesting(1);  // every pair in a spill file of its own
  Record("abcd/efgh");
  Record("abcd/efgh");
  Record("ijkl/mnop");
  ASSERT_EQ(task_.spillFiles().size(), 3u);
  ASSERT_EQ(FinishAndDeliver(), 0);
  // The merge added the two partial counts of 1 before the threshold.
  EXPECT_EQ(writer_.records,
            (std::vector<std::string>{"abcd|efgh|2|100.0000|100.0000|33.3333"}));
}

TEST_F(CooccurrenceDeliveryTest, MinimumFrequencyZeroOrBelowDeliversAll) {
  for (int32_t min : {0, -5, 1}) {
    CapturingWriter writer{false};
    CooccurrenceTask task;
    task.SetTempDir(dir_.Sub("w" + std::to_string(min + 10) + "/").c_str());
    task.SetWriter(&writer);
    task.SetMinFrequency(min);
    StatSource source = MakeSource(kModeNormal, "abcd/efgh");
    ASSERT_EQ(task.ProcessRecord(0, &source, nullptr), 0);
    ASSERT_EQ(task.Finish(), 0);
    ASSERT_EQ(task.DeliverResults(), 0);
    EXPECT_EQ(writer.records.size(), 1u) << min;
  }
}

TEST_F(CooccurrenceDeliveryTest, NoPairsStillOpensAndFinishes) {
  Record("ab/cd");
  ASSERT_EQ(FinishAndDeliver(), 0);
  EXPECT_EQ(writer_.calls.size(), 2u);
  EXPECT_TRUE(writer_.records.empty());
}

TEST_F(CooccurrenceDeliveryTest, WithoutWriterNothingIsDeliveredAndFilesStay) {
  CooccurrenceTask task;
  task.SetTempDir(work().c_str());
  StatSource source = MakeSource(kModeNormal, "abcd/efgh");
  ASSERT_EQ(task.ProcessRecord(0, &source, nullptr), 0);
  ASSERT_EQ(task.Finish(), 0);
  EXPECT_EQ(task.DeliverResults(), 0);
  EXPECT_EQ(testing::ReadFileOrMissing(task.resultPath()), "abcd\tefgh\t1\n");
  EXPECT_EQ(ListTree(work()).size(), 2u);  // the spill file and the result file
}

TEST_F(CooccurrenceDeliveryTest, WriterFailuresAreReturnedAndFilesStay) {
  Record("abcd/efgh");
  ASSERT_EQ(task_.Finish(), 0);
  writer_.open_result = -3403;
  EXPECT_EQ(task_.DeliverResults(), -3403);
  EXPECT_TRUE(writer_.records.empty());
  EXPECT_EQ(ListTree(work()).size(), 2u);

  writer_.open_result = 0;
  writer_.finish_result = VOCS_E_NO_RESULT_FILE;
  EXPECT_EQ(task_.DeliverResults(), VOCS_E_NO_RESULT_FILE);
  EXPECT_EQ(writer_.records.size(), 1u);
  EXPECT_EQ(ListTree(work()).size(), 2u);
}

TEST_F(CooccurrenceDeliveryTest, MissingResultFile) {
  Record("abcd/efgh");
  ASSERT_EQ(task_.Finish(), 0);
  std::filesystem::remove(task_.resultPath());
  EXPECT_EQ(task_.DeliverResults(), VOCS_E_RESULT_FILE_OPEN);
  EXPECT_EQ(writer_.calls.size(), 1u);  // open only, no finish
}

TEST_F(CooccurrenceDeliveryTest, ResultLinesAsTheReaderSplitsThem) {
  Record("abcd/efgh/ijkl");
  ASSERT_EQ(task_.Finish(), 0);
  // CR LF and LF line ends, an empty line, a line longer than the reader's
  // first buffer, and a last line without a line end.
  const std::string content = "abcd\tefgh\t1\r\n\n" + std::string(3 << 20, 'x') + "\t\t1\n" +
                              "abcd\tijkl\t1\nefgh\tijkl\t1";
  ASSERT_TRUE(WriteStringToFile(Env::Default(), task_.resultPath(), content));
  ASSERT_EQ(task_.DeliverResults(), 0);
  EXPECT_EQ(writer_.records, (std::vector<std::string>{
                                 "abcd|efgh|1|50.0000|50.0000|16.6667",
                                 "abcd|ijkl|1|50.0000|50.0000|16.6667",
                                 "efgh|ijkl|1|50.0000|50.0000|16.6667",
                             }));
}

// A read error would otherwise end the results early with success.
TEST_F(CooccurrenceDeliveryTest, AReadErrorInTheResultFileFailsDelivery) {
  Record("abcd/efgh/ijkl");
  ASSERT_EQ(task_.Finish(), 0);
  task_.DropMergedPairsForTesting();  // else delivery does not read the file
  FaultInjectionEnv env;
  ScopedEnvForTesting scoped(&env);
  env.FailAfter(EnvOp::kRead, 0);
  EXPECT_EQ(task_.DeliverResults(), VOCS_E_RESULT_FILE_OPEN);
  EXPECT_EQ(writer_.calls.size(), 1u);  // open only, no finish
  EXPECT_EQ(ListTree(work()).size(), 2u);
}

TEST_F(CooccurrenceDeliveryTest, LinesThatAreSkipped) {
  Record("abcd/efgh/\xB0\xA1\xB0\xA1");
  struct Case {
    std::string line;
    int result;
  };
  const std::vector<Case> cases = {
      {"abcd\tefgh\t1", 0},
      {"abcd\tefgh", VOCS_E_MALFORMED_PAIR_LINE},
      {"abcd\tefgh\t1\t2", VOCS_E_MALFORMED_PAIR_LINE},
      {"abcdefgh1", VOCS_E_MALFORMED_PAIR_LINE},
      {"", VOCS_E_MALFORMED_PAIR_LINE},
      // A tab right after a byte of 0x80 or above is taken as its trail byte.
      {"\xB0\tefgh\t1", VOCS_E_MALFORMED_PAIR_LINE},
      {"\xB0\xA1\xB0\xA1\tefgh\t1", 0},
      // Only the scan up to a 0 byte counts.
      {std::string("abcd\tef\0gh\t1", 12), VOCS_E_MALFORMED_PAIR_LINE},
      {"abcd\tzzzz\t1", VOCS_E_NO_TERM_COUNT},
      {"zzzz\tabcd\t1", VOCS_E_NO_TERM_COUNT},
  };
  for (const Case& c : cases) EXPECT_EQ(task_.EmitResultRecordForTesting(c.line), c.result) << c.line;
  EXPECT_EQ(writer_.records, (std::vector<std::string>{
                                 "abcd|efgh|1|50.0000|50.0000|16.6667",
                                 "\xB0\xA1\xB0\xA1|efgh|1|50.0000|50.0000|16.6667",
                             }));
}

TEST_F(CooccurrenceDeliveryTest, FrequencyIsTheTextAsRead) {
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(task_.AddPairForTesting("abcd", "efgh"));
  EXPECT_EQ(task_.EmitResultRecordForTesting("abcd\tefgh\t 3"), 0);
  EXPECT_EQ(task_.EmitResultRecordForTesting("abcd\tefgh\t+3x"), 0);
  EXPECT_EQ(writer_.records,
            (std::vector<std::string>{"abcd|efgh| 3|100.0000|100.0000|50.0000",
                                      "abcd|efgh|+3x|100.0000|100.0000|50.0000"}));
}

TEST_F(CooccurrenceDeliveryTest, CountsBeyond32Bits) {
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(task_.AddPairForTesting("abcd", "efgh"));
  task_.SetMinFrequency(2000000000);
  // Read in 64 bits: 5000000000 is not 705032704, and passes the minimum.
  EXPECT_EQ(task_.EmitResultRecordForTesting("abcd\tefgh\t5000000000"), 0);
  EXPECT_EQ(task_.EmitResultRecordForTesting("abcd\tefgh\t4294967297"), 0);
  char s1[64];
  char s2[64];
  char rel[64];
  std::snprintf(s1, sizeof(s1), "%0.4f", 5000000000.0 / 3 * 100);
  std::snprintf(s2, sizeof(s2), "%0.4f",
                static_cast<double>(static_cast<float>(5000000000.0 / 3 * 100)));
  std::snprintf(rel, sizeof(rel), "%0.4f",
                static_cast<double>(static_cast<float>(5000000000.0 / 6 * 100)));
  ASSERT_EQ(writer_.records.size(), 2u);
  EXPECT_EQ(writer_.records[0],
            std::string("abcd|efgh|5000000000|") + s1 + "|" + s2 + "|" + rel);
  EXPECT_EQ(writer_.records[1].rfind("abcd|efgh|4294967297|", 0), 0u);
}

TEST_F(CooccurrenceDeliveryTest, Support1IsDoubleSupport2AndReliabilitySingle) {
  // Term counts 31 and 31, total 62: 23/31 lies close to a rounding boundary.
  for (int i = 0; i < 31; ++i) ASSERT_TRUE(task_.AddPairForTesting("abcd", "efgh"));
  CooccurrenceRecord record{"abcd", "efgh", "23"};
  ASSERT_EQ(task_.ComputeValuesForTesting(&record, 23), 0);
  EXPECT_EQ(record[3], "74.1935");
  EXPECT_EQ(record[4], "74.1936");
  EXPECT_EQ(record[5], "37.0968");

  // Total 158: 57/158 in single precision prints one digit higher.
  CooccurrenceTask task;
  task.SetWriter(&writer_);
  for (int i = 0; i < 57; ++i) ASSERT_TRUE(task.AddPairForTesting("abcd", "efgh"));
  for (int i = 0; i < 22; ++i) ASSERT_TRUE(task.AddPairForTesting("ijkl", "mnop"));
  CooccurrenceRecord second{"abcd", "efgh", "57"};
  ASSERT_EQ(task.ComputeValuesForTesting(&second, 57), 0);
  EXPECT_EQ(second[3], "100.0000");
  EXPECT_EQ(second[5], "36.0760");
}

// The values must print as "%0.4f" prints them, for any counts.
TEST_F(CooccurrenceDeliveryTest, ValuesPrintAsPrintfPrintsThem) {
  const uint32_t seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  // abcd takes part 997 times, efgh 1000 + 997 times; total 2 * 1997.
  for (int i = 0; i < 997; ++i) ASSERT_TRUE(task_.AddPairForTesting("abcd", "efgh"));
  for (int i = 0; i < 1000; ++i) ASSERT_TRUE(task_.AddPairForTesting("efgh", "ijkl"));
  std::uniform_int_distribution<int64_t> any(1, 997);
  char expected[64];
  for (int i = 0; i < 20000; ++i) {
    const int64_t count = i < 997 ? i + 1 : any(random);
    CooccurrenceRecord record{"abcd", "efgh"};
    ASSERT_EQ(task_.ComputeValuesForTesting(&record, count), 0);
    const double c = static_cast<double>(count);
    std::snprintf(expected, sizeof(expected), "%0.4f", c / 997 * 100);
    ASSERT_EQ(record[3], expected) << count;
    std::snprintf(expected, sizeof(expected), "%0.4f",
                  static_cast<double>(static_cast<float>(c / 1997 * 100)));
    ASSERT_EQ(record[4], expected) << count;
    std::snprintf(expected, sizeof(expected), "%0.4f",
                  static_cast<double>(static_cast<float>(c / 3994 * 100)));
    ASSERT_EQ(record[5], expected) << count;
  }
}

// What a run of mode-2 records delivers, with the pairs its merge kept or,
// with from_file, from its result file alone.
struct Delivery {
  bool held = false;  // the merge kept the pairs
  std::vector<std::string> records;
  bool work_left = true;
};

Delivery RunAndDeliver(const std::string& work, const std::vector<std::string>& records,
                       size_t threshold, int32_t min_frequency, bool from_file) {
  Delivery delivery;
  CapturingWriter writer{false};
  CooccurrenceTask task;
  task.SetTempDir(work.c_str());
  task.SetWriter(&writer);
  task.SetMinFrequency(min_frequency);
  task.SetSpillThresholdForTesting(threshold);
  int32_t index = 0;
  for (const std::string& content : records) {
    StatSource source = MakeSource(kModeNormal, content);
    task.BeginRecord(index);
    EXPECT_EQ(task.ProcessRecord(index++, &source, nullptr), 0);
  }
  EXPECT_EQ(task.Finish(), 0);
  delivery.held = task.HoldsMergedPairsForTesting();
  if (from_file) task.DropMergedPairsForTesting();
  EXPECT_EQ(task.DeliverResults(), 0);
  delivery.records = std::move(writer.records);
  delivery.work_left = std::filesystem::exists(work);
  return delivery;
}

// Records of 2 to 25 terms drawn unevenly from ASCII and two-byte terms, so
// that pairs recur across records and spills.
std::vector<std::string> MixedRecords(uint32_t seed, int count) {
  std::mt19937 random(seed);
  std::vector<std::string> terms;
  for (int i = 0; i < 300; ++i) {
    std::string term = i % 3 == 0 ? "\xB0\xA1" : "Term";
    term += std::to_string(i);
    if (i % 7 == 0) term += "\xC4\xE3";
    terms.push_back(term);
  }
  std::vector<std::string> records;
  for (int r = 0; r < count; ++r) {
    std::string record;
    const int n = 2 + static_cast<int>(random() % 24);
    for (int k = 0; k < n; ++k) {
      if (k > 0) record += '/';
      const uint32_t x = static_cast<uint32_t>(random() % 300);
      record += terms[x * x / 300];  // the low indexes far more often
    }
    records.push_back(record);
  }
  return records;
}

TEST_F(CooccurrenceDeliveryTest, KeptPairsDeliverWhatTheResultFileDelivers) {
  const uint32_t seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  const std::vector<std::string> records = MixedRecords(seed, 40);
  // No spill during counting, a few spills, and more than one merge pass
  // (some 4,000 pair occurrences, fewer distinct pairs than the smallest
  // table has words).
  for (size_t threshold : {size_t{1} << 20, size_t{1000}, size_t{100}}) {
    for (int32_t min : {0, 3}) {
      SCOPED_TRACE("threshold " + std::to_string(threshold) + ", min " + std::to_string(min));
      const Delivery kept = RunAndDeliver(dir_.Sub("kept/"), records, threshold, min, false);
      const Delivery read = RunAndDeliver(dir_.Sub("read/"), records, threshold, min, true);
      EXPECT_TRUE(kept.held);
      EXPECT_GT(read.records.size(), min == 0 ? 1000u : 10u);
      EXPECT_EQ(kept.records, read.records);
      EXPECT_FALSE(kept.work_left);
      EXPECT_FALSE(read.work_left);
    }
  }
}

TEST_F(CooccurrenceDeliveryTest, TermsThatDoNotReadBackAsWrittenAreDeliveredFromTheFile) {
  // A tab inside a term and a lead byte without its second byte split or
  // shift the fields of their lines, which delivery then leaves out.
  for (const std::string odd : {"ab\tcd", "abc\xB0"}) {
    SCOPED_TRACE(odd);
    const std::vector<std::string> records = {"abcd/efgh/" + odd, "abcd/efgh"};
    const Delivery delivery = RunAndDeliver(dir_.Sub("odd/"), records, 1 << 20, 0, false);
    EXPECT_FALSE(delivery.held);
    EXPECT_EQ(delivery.records,
              (std::vector<std::string>{"abcd|efgh|2|66.6667|66.6667|25.0000"}));
  }
  // Two-byte characters whose second byte is a tab or below 0x40 read back.
  const Delivery plain =
      RunAndDeliver(dir_.Sub("plain/"), {"abcd/\xB0\x09xyz/efgh"}, 1 << 20, 0, false);
  EXPECT_TRUE(plain.held);
  EXPECT_EQ(plain.records.size(), 3u);
}

TEST_F(CooccurrenceDeliveryTest, MorePairsThanTheTableHeldAreDeliveredFromTheFile) {
  // Two records of 100 distinct terms each: 9,900 distinct pairs, more than
  // the words of a table that never outgrew its first 4,096 slots.
  std::vector<std::string> records(2);
  for (int r = 0; r < 2; ++r) {
    for (int k = 0; k < 100; ++k) {
      if (k > 0) records[r] += '/';
      records[r] += "Term" + std::to_string(r * 100 + k);
    }
  }
  const Delivery delivery = RunAndDeliver(dir_.Sub("many/"), records, 1000, 0, false);
  EXPECT_FALSE(delivery.held);
  ASSERT_EQ(delivery.records.size(), 9900u);
  // Each term takes part in 99 pairs.
  EXPECT_EQ(delivery.records.front().rfind("Term0|Term1|1|1.0101|1.0101|", 0), 0u);
  EXPECT_EQ(delivery.records.back().rfind("Term98|Term99|1|1.0101|1.0101|", 0), 0u);
  EXPECT_FALSE(delivery.work_left);
}

}  // namespace
}  // namespace vocs

namespace vocs {
namespace {

TEST(FixedFormatTest, PrintsAsPrintf) {
  auto expect_same = [](double v) {
    // Both into 40 bytes: longer texts are cut to 39 characters.
    char mine[40];
    char theirs[40];
    std::snprintf(theirs, sizeof(theirs), "%0.4f", v);
    ASSERT_EQ(FormatFixed4(v, mine), std::string(theirs)) << v;
  };
  // Exact ties round to even; the rest as the binary value lies.
  for (double v : {0.0, -0.0, 100.0, 0.03125, 0.09375, 1.03125, 2.46875, 0.00005, 0.00015,
                   99.99995, 99.99994999999, 16.666666666666664, 12345.6789, 5e-324, 1e-310,
                   1e14 + 0.03125, 1e15, 1e300, -1.5, -0.00001}) {
    expect_same(v);
  }
  for (int k = 1; k < 20000; k += 2) expect_same(k / 32.0);
  const uint32_t seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937_64 random(seed);
  for (int i = 0; i < 200000; ++i) {
    // Doubles of every magnitude up to 1e16, and values a count ratio gives.
    const double scale = std::pow(10.0, static_cast<double>(random() % 22) - 6);
    expect_same(static_cast<double>(random() % 1000000007) / 1000000007.0 * scale);
    expect_same(static_cast<double>(static_cast<float>(
        static_cast<double>(random() % 5000 + 1) / static_cast<double>(random() % 5000 + 5000) *
        100)));
  }
}

}  // namespace
}  // namespace vocs
