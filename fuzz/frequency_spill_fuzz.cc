// Frequency spill files from a damaged disk, through the merge and the
// delivery of a frequency task (spill_run_fuzzing.h). The spill files are
// binary term runs (freq/term_run.h): the seeds hold the run mark and
// records {length, four LEB128 counts, term}, sound ones and damaged ones
// (cut off, impossible counts, out of order, too long a term, no mark); the
// merged result file is term lines.
#include "freq/frequency_task.h"
#include "freq/term_line.h"
#include "freq/term_run.h"
#include "output/file_result_writer.h"
#include "spill_run_fuzzing.h"

namespace {

// Whether no term of the runs holds a line feed (a run the reader refuses
// holds none that reach the merged file).
bool NoTermHoldsALineFeed(const std::vector<std::string>& runs) {
  for (const std::string& path : runs) {
    vocs::TermRunReader reader;
    vocs::TermEntry entry;
    if (!reader.Open(vocs::CurrentEnv()->NewSequentialFile(path))) continue;
    while (reader.Next(&entry)) {
      if (entry.term.find('\n') != std::string_view::npos) return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vocs::fuzz::RunSpillFiles<vocs::FrequencyTask, vocs::FrequencyFileWriter, vocs::TermLineCodec>(
      vocs::fuzz::AsText(data, size), {VOCS_E_RESULT_FILE_OPEN, VOCS_E_OUTPUT_PATH},
      &NoTermHoldsALineFeed);
  return 0;
}
