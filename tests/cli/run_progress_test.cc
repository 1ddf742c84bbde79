// The progress line's wording for each phase of a run, from what the host
// and the work directories show.
#include "cli/run_progress.h"

#include <gtest/gtest.h>

#include "cli/pair_estimate.h"

namespace vocs::cli {
namespace {

TEST(RunProgressTest, EveryPhaseHasItsLine) {
  RunProgress::Snapshot s;
  s.seconds = 12.4;
  EXPECT_EQ(RunProgress::Describe(s), "counting · 12 s");
  s.record = 1;
  s.records = 795;
  s.record_rate = 0;
  s.spill_files = 3;
  s.spill_bytes = 3.2e9;
  EXPECT_EQ(RunProgress::Describe(s), "records 1/795, spilled 3 files (3.2 GB) · 12 s");
  s.record = 784;
  s.record_rate = 31.6;
  s.merge_files = 1;
  s.result_bytes = 1.5e8;
  EXPECT_EQ(RunProgress::Describe(s), "merging 4 files (3.2 GB) into 150 MB · 12 s");
  s.output_bytes = 2.5e7;
  EXPECT_EQ(RunProgress::Describe(s), "writing the results: 25 MB · 12 s");
  s.table_phase = static_cast<int>(host::TableEvent::kLoading);
  s.rows = 2631385;
  s.row_rate = 250000;
  EXPECT_EQ(RunProgress::Describe(s), "loading the table: 2.6 million rows (250000 rows/s) · 12 s");
  s.table_phase = static_cast<int>(host::TableEvent::kIndexing);
  EXPECT_EQ(RunProgress::Describe(s), "indexing the table (2.6 million rows) · 12 s");
  // Files of a FROM statement, with their total.
  RunProgress::Snapshot files;
  files.files = 40;
  files.conversions = 7;
  EXPECT_EQ(RunProgress::Describe(files), "files 7/40 · 0 s");
}

TEST(RunProgressTest, SizesAndCountsReadEasily) {
  EXPECT_EQ(FormatBytes(512), "512 bytes");
  EXPECT_EQ(FormatBytes(12345), "12 kB");
  EXPECT_EQ(FormatBytes(3.4e8), "340 MB");
  EXPECT_EQ(FormatBytes(1.04e10), "10.4 GB");
  EXPECT_EQ(FormatCount(12345), "12345");
  EXPECT_EQ(FormatCount(1124250), "1.1 million");
  EXPECT_EQ(FormatCount(3.4e9), "3.4 billion");
}

}  // namespace
}  // namespace vocs::cli
