// Frequency spill files from a damaged disk, through the merge and the
// delivery of a frequency task (spill_run_fuzzing.h). The spill files are
// binary term runs (freq/term_run.h): the seeds hold the run mark and
// records {length, four LEB128 counts, term}, sound ones and damaged ones
// (cut off, impossible counts, out of order, too long a term, no mark); the
// merged result file is term lines.
#include "freq/frequency_task.h"
#include "freq/term_line.h"
#include "output/file_result_writer.h"
#include "spill_run_fuzzing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vocs::fuzz::RunSpillFiles<vocs::FrequencyTask, vocs::FrequencyFileWriter, vocs::TermLineCodec>(
      vocs::fuzz::AsText(data, size), {VOCS_E_RESULT_FILE_OPEN, VOCS_E_OUTPUT_PATH});
  return 0;
}
