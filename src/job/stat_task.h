// StatTask: what a StatJob drives, one statistics engine.
//
// The job calls these operations in this order and stops at the first
// non-zero result: SetRecordCount once; for every record BeginRecord,
// ProcessRecord once per source (frequency) or per pair of sources
// (co-occurrence), EndRecord; then Finish and DeliverResults. Every result is
// 0 or a negative error code, which becomes the job's.
//
// The engines implement it (engine/spilling_task.h and the engines below
// it); tests implement it to watch the job. The job owns neither the task nor
// anything the task uses: the creator of the run owns them. A task serves
// one run on one thread.
#ifndef VOCS_JOB_STAT_TASK_H_
#define VOCS_JOB_STAT_TASK_H_

#include <cstdint>

namespace vocs {

struct StatSource;

class StatTask {
 public:
  StatTask() = default;
  StatTask(const StatTask&) = delete;
  StatTask& operator=(const StatTask&) = delete;

  // The number of records the run will present.
  virtual int SetRecordCount(int32_t count) = 0;
  // Counting is over: produce the result.
  virtual int Finish() = 0;
  // Record `index` (0 to count - 1) begins.
  virtual int BeginRecord(int32_t index) = 0;
  // The text of one source of the record, or of a pair of sources. The job
  // owns the sources and lends them for the call; `second` may be null.
  virtual int ProcessRecord(int32_t index, StatSource* first, StatSource* second) = 0;
  // Record `index` ends.
  virtual int EndRecord(int32_t index) = 0;
  // Hand the results to their writer.
  virtual int DeliverResults() = 0;
  virtual ~StatTask() = default;
};

}  // namespace vocs

#endif  // VOCS_JOB_STAT_TASK_H_
