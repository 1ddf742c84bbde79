// The body of the two spill-file targets (frequency_spill_fuzz.cc,
// cooccurrence_spill_fuzz.cc): damaged run files read back by the merge and
// the delivery of a whole task.
//
// The input is records, one per line, whose terms are separated by "/" (as a
// host's conversion hands them over); after each "\n==\n" comes the content
// of one spill file. The task counts the records, spilling after every one,
// through its public operations, as a job drives it; then the spill files on
// disk are replaced by the given contents, as a damaged disk or another
// program might leave them, and the task finishes and delivers to a result
// file.
//
// Whatever the files hold: Finish gives 0 or the engine's failure code; when
// it merged two or more files, the lines of the merged file that parse come
// in strictly ascending key order (no key twice); delivery gives 0 or a
// documented code.
#ifndef VOCS_FUZZ_SPILL_RUN_FUZZING_H_
#define VOCS_FUZZ_SPILL_RUN_FUZZING_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "job/stat_source.h"
#include "platform/line_reader.h"
#include "platform/env.h"
#include "vocs/errors.h"

namespace vocs::fuzz {

// `lines_hold_whole_entries(spill paths)`, when given, tells whether every
// entry of the given spill files fits on one line of the merged file: a term
// holding a line feed, which an engine can count and a binary run carries,
// is written as it is and splits its line, so the order of the lines that
// parse says nothing about the merge for such input.
template <typename Task, typename Writer, typename Codec>
void RunSpillFiles(std::string_view input, const std::vector<int>& delivery_codes,
                   bool (*lines_hold_whole_entries)(const std::vector<std::string>&) = nullptr) {
  const std::string& dir = FreshScratchDirectory();
  constexpr size_t kMaxParts = 24;  // above one merge pass of 20 inputs
  const std::vector<std::string_view> parts = SplitInput(input, "\n==\n", kMaxParts);
  std::vector<std::string> records;
  for (std::string_view rest = parts[0]; !rest.empty() && records.size() < 64;) {
    const size_t end = rest.find('\n');
    records.emplace_back(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
  }
  // A record of one term spills once, so that every given file has a place.
  while (records.size() + 1 < parts.size()) records.push_back("fill/more");

  Task task;
  Writer writer;
  const std::string work = dir + "/work/";
  task.SetTempDir(work.c_str());
  task.SetOutputName(dir + "/result.txt");
  task.SetWriter(&writer);
  task.SetSpillThresholdForTesting(1);
  Check(task.SetRecordCount(static_cast<int32_t>(records.size())) == 0, "record count");
  for (size_t i = 0; i < records.size(); ++i) {
    const int32_t index = static_cast<int32_t>(i);
    StatSource source;
    source.kind = kBuffer;
    source.mode = kModeNormal;
    source.content = records[i];
    if (task.BeginRecord(index) != 0) return;
    const int processed = task.ProcessRecord(index, &source, nullptr);
    Check(processed == 0 || processed == VOCS_E_PAIR_NOT_COUNTED, "a record is counted");
    if (processed != 0) return;
    Check(task.EndRecord(index) == 0, "a spill is written");
  }
  const std::vector<std::string> spills = task.spillFiles();
  for (size_t i = 0; i < spills.size() && i + 1 < parts.size(); ++i) {
    WriteFileOrDie(spills[i], parts[i + 1]);
  }

  const int finished = task.Finish();
  Check(finished == 0 || finished == VOCS_E_NO_RESULT_FILE, "Finish gives 0 or -3404");
  if (finished != 0) return;
  if (spills.size() >= 2 &&
      (lines_hold_whole_entries == nullptr || lines_hold_whole_entries(spills))) {
    auto file = CurrentEnv()->NewSequentialFile(task.resultPath());
    Check(file != nullptr, "the merged file exists");
    LineReader reader(std::move(file));
    std::string previous_line;
    typename Codec::Entry previous{};
    bool have_previous = false;
    std::string_view line;
    while (reader.ReadLine(&line)) {
      typename Codec::Entry entry;
      if (!Codec::Parse(line, &entry)) continue;
      if (have_previous) Check(Codec::Compare(previous, entry) < 0, "merged keys ascend");
      // The entry views the reader's buffer; keep its own copy of the line.
      previous_line.assign(line);
      Check(Codec::Parse(previous_line, &previous), "a line parses again");
      have_previous = true;
    }
  }
  const int delivered = task.DeliverResults();
  bool documented = delivered == 0;
  for (int code : delivery_codes) documented = documented || delivered == code;
  Check(documented, "delivery gives 0 or a documented code");
  if (delivered == 0) Check(!ReadFileOrEmpty(dir + "/result.txt").empty(), "a result file");
}

}  // namespace vocs::fuzz

#endif  // VOCS_FUZZ_SPILL_RUN_FUZZING_H_
