// Co-occurrence spill files from a damaged disk, through the merge and the
// delivery of a co-occurrence task (spill_run_fuzzing.h). The spill files are
// binary runs of id pairs (cooc/pair_run.h): the seeds hold 16-byte records
// whose ids are those the seeds' records give their terms, in order of first
// appearance; the merged result file is pair lines.
#include "cooc/cooccurrence_task.h"
#include "cooc/pair_line.h"
#include "output/file_result_writer.h"
#include "spill_run_fuzzing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vocs::fuzz::RunSpillFiles<vocs::CooccurrenceTask, vocs::CooccurrenceFileWriter,
                            vocs::PairLineCodec>(
      vocs::fuzz::AsText(data, size), {VOCS_E_RESULT_FILE_OPEN, VOCS_E_OUTPUT_PATH});
  return 0;
}
