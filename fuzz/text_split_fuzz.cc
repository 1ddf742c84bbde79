// The text splitters of both engines through a whole run: any text, any
// delimiter set, any of the three segmentation modes, one source or two.
//
// Input: a flag byte (bit 0: co-occurrence; bits 1-2 and 3-4: the modes of
// the two fields, taken modulo 3; bit 5: a second field), then the delimiter
// set, the texts of the first field and those of the second, separated by 0
// bytes; the texts of a field are its values in the records of the query,
// one per line. The host's conversion (mode NORMAL) hands a text over
// unchanged, so it is cut at "/".
//
// Every run ends with a documented code; a run that spills after every
// record and merges (in several passes when there are many records) gives
// the same code and the same result file, byte for byte, as a run that holds
// everything in memory.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "api/statistics_runs.h"
#include "fuzz_support.h"
#include "support/recording_host.h"

namespace {

int RunOnce(const vocs::StatisticsRun& base, size_t threshold, const std::string& output,
            std::string* result) {
  vocs::StatisticsRun run = base;
  run.output_name = output;
  run.spill_threshold_for_testing = threshold;
  const int code = vocs::RunStatistics(run);
  *result = vocs::fuzz::ReadFileOrEmpty(output);
  return code;
}

// The lines of `text`, at most 64.
std::vector<std::string> Lines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty() && lines.size() < 64) {
    const size_t end = text.find('\n');
    lines.emplace_back(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using vocs::fuzz::Check;
  if (size == 0) return 0;
  const uint8_t flags = data[0];
  const auto parts = vocs::fuzz::SplitInput(vocs::fuzz::AsText(data + 1, size - 1),
                                            std::string_view("\0", 1), 3);
  const std::string delimiters(parts[0]);
  const std::vector<std::string> a = Lines(parts.size() > 1 ? parts[1] : "");
  const std::vector<std::string> b = Lines(parts.size() > 2 ? parts[2] : "");
  std::vector<std::vector<std::string>> rows(std::max(a.size(), b.size()),
                                             std::vector<std::string>(2));
  for (size_t i = 0; i < a.size(); ++i) rows[i][0] = a[i];
  for (size_t i = 0; i < b.size(); ++i) rows[i][1] = b[i];

  const std::string& dir = vocs::fuzz::FreshScratchDirectory();
  vocs::testing::RecordingHost host;
  host.SetTable({"a", "b"}, rows);
  vocs::StatisticsRun run;
  run.statistic = (flags & 1) ? vocs::StatisticKind::kCooccurrence
                              : vocs::StatisticKind::kFrequency;
  run.host = &host;
  run.query = "SELECT a, b FROM t";
  run.temp_dir = dir + "/work/";
  run.sources.push_back(vocs::RunSource::Field("a", (flags >> 1 & 3) % 3, delimiters));
  if (flags & 0x20) run.sources.push_back(vocs::RunSource::Field("b", (flags >> 3 & 3) % 3, delimiters));
  std::string in_memory;
  std::string spilled;
  const int code = RunOnce(run, 0, dir + "/a.txt", &in_memory);
  Check(code <= 0 && vocs::fuzz::IsDocumentedCode(code), "a documented code");
  Check(RunOnce(run, 1, dir + "/b.txt", &spilled) == code, "the same code when spilling");
  Check(spilled == in_memory, "the same result when spilling");
  if (code == 0) Check(!in_memory.empty(), "a result file with its header");
  return 0;
}
