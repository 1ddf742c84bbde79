// Statistics runs: the one place where a statistics computation is
// assembled, run and torn down.
//
// Every entry point (the exported functions, the module's statements and
// packed requests) describes its run as a StatisticsRun: which engine, which
// output, the task's configuration and the sources in order. RunStatistics
// then performs the common sequence:
//
//   1. construct the task of the engine (FrequencyTask or CooccurrenceTask);
//      set its temporary directory and minimum frequency;
//   2. construct the writer: a table writer given the host with setHost, or a
//      file writer; setMode with the run's writer mode;
//   3. set the task's output name (through the task's output rule) and writer;
//   4. construct a StatJob, give it the host, add the sources in order,
//      attach the task and Run it once with the query;
//   5. destroy the writer, the job and the task, in that order.
//
// The results of the add operations are not examined: a refused source is
// absent and its code stays in the job (a frequency run replaces it at the
// task's first call, a co-occurrence run fails with it).
//
// Resolution of names is the caller's business: each entry point has its own
// rules for the output name and the temporary directory, and hands over the
// results.
//
// Ownership: the run borrows the host and the source texts for the duration
// of the call. RunStatistics may throw std::bad_alloc; the binary boundary
// catches it (boundary_guard.h). Threads: one run on the caller's thread; runs
// on different threads share nothing here.
#ifndef VOCS_API_STATISTICS_RUNS_H_
#define VOCS_API_STATISTICS_RUNS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "output/result_writer.h"
#include "platform/paths.h"
#include "sorted_run/partial_file.h"
#include "vocs/host_interface.h"

namespace vocs {

enum class StatisticKind { kFrequency, kCooccurrence };

// One input of a run, added to the job in the order of the list.
struct RunSource {
  enum class Kind { kField, kBuffer, kFile };

  // A field of the query's records.
  static RunSource Field(std::string name, int32_t mode, std::string mode_text);
  // `length` bytes at `data`, or up to its 0 byte when `length` is negative.
  // The bytes are borrowed and must outlive the run.
  static RunSource Buffer(const char* data, int32_t length, int32_t mode, std::string mode_text);
  // A file, or a directory of ".txt" files.
  static RunSource File(std::string path, int32_t mode, std::string mode_text);

  Kind kind = Kind::kField;
  std::string name;            // field name or path
  const char* data = nullptr;  // buffer bytes (kBuffer)
  int32_t length = 0;          // buffer length (kBuffer)
  int32_t mode = 0;
  std::string mode_text;  // an absent text is the empty string
};

struct StatisticsRun {
  StatisticKind statistic = StatisticKind::kFrequency;
  OutputTarget output = OutputTarget::kFile;
  // Handed to the task's output rule (SpillingTask::SetOutputName): relative
  // names go below the host table directory, absolute ones are kept.
  std::string output_name;
  // The task's tempDir, unchanged; empty: the task makes its own work
  // directory below "vocstemp".
  std::string temp_dir;
  int32_t min_frequency = 0;
  // The writer's output mode (a WriterMode).
  int32_t writer_mode = kAllFields;
  // Given to the job and, for table output, to the writer. Null makes the
  // run fail with VOCS_E_NO_HOST.
  HostInterface* host = nullptr;
  // Empty: one record (buffers, files), no query.
  std::string query;
  std::vector<RunSource> sources;
  // A spill threshold below the engine's own, to make a whole run spill and
  // merge; 0 keeps the engine's. Tests only.
  size_t spill_threshold_for_testing = 0;
  // Non-empty: the run ends by writing its merged, undelivered result to
  // this partial result file instead of delivering it (the writer is made
  // but never opened). partial_header gives the shard and the fingerprint;
  // the writer mode and minimum frequency are taken from this run.
  std::string partial_path;
  PartialHeader partial_header;
};

// Runs the described computation. 0 on success, else the job's error code.
// A run that fails never returns 0: should the job report failure without a
// code, VOCS_E_SOURCE_UNREADABLE is returned.
int32_t RunStatistics(const StatisticsRun& run);
// The same; *partial_error receives why a partial result could not be
// written.
int32_t RunStatistics(const StatisticsRun& run, std::string* partial_error);

// The delivery of partial results: the shards of one run merged and
// delivered through the engine's own delivery and the writer of `output`.
struct PartialDelivery {
  std::vector<std::string> partials;  // paths, in any order
  OutputTarget output = OutputTarget::kFile;
  std::string output_name;  // through the task's output rule, as for a run
  std::string temp_dir;     // as StatisticsRun::temp_dir
  HostInterface* host = nullptr;  // needed for table output
};

// Merges and delivers. 0 on success; VOCS_E_RESULT_FILE_OPEN when a partial
// is refused, VOCS_E_NO_RESULT_FILE when the merge fails (*error says why),
// else the delivery's code.
int32_t DeliverPartialResults(const PartialDelivery& delivery, std::string* error);

}  // namespace vocs

#endif  // VOCS_API_STATISTICS_RUNS_H_
