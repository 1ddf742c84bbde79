// Co-occurrence spill files from a damaged disk, through the merge and the
// delivery of a co-occurrence task (spill_run_fuzzing.h).
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
