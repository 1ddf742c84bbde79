// SpillingTask: what both engines share, a StatTask that counts in memory,
// spills its counts as sorted runs into a work directory when memory grows,
// merges them into one result file at the end, and delivers that file's
// lines to a ResultWriter.
//
// Virtual operations in slot order: the six of StatTask (SetRecordCount,
// Finish, BeginRecord, ProcessRecord, EndRecord, DeliverResults), the
// destructor, then AcceptTerm and MergeSpillFiles. The base stores the
// record count and the current record, produces the result file in Finish
// (a move of the only spill file, or MergeSpillFiles), accepts every term and
// cannot merge; the engines override what they do differently.
//
// Configuration by the creator of the run, before the task is attached:
// temporary directory, output name, writer and minimum frequency. Files:
// see WorkDirectory; they are removed only at the successful end of
// delivery, and stay after a failure or without a writer. The destructor
// releases memory only.
//
// Ownership: the creator owns the task and the writer; the task does not own
// its writer. A task serves one run on one thread.
#ifndef VOCS_ENGINE_SPILLING_TASK_H_
#define VOCS_ENGINE_SPILLING_TASK_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "job/stat_task.h"
#include "sorted_run/partial_file.h"
#include "sorted_run/work_directory.h"

namespace vocs {

class ResultWriter;

// Distinct entries an engine holds in memory before it spills them.
inline constexpr size_t kSpillThreshold = 5000000;

class SpillingTask : public StatTask {
 public:
  ~SpillingTask() override;

  // Stores recordCount.
  int SetRecordCount(int32_t count) override;
  // Produces the result file: 0, or VOCS_E_NO_RESULT_FILE.
  int Finish() override;
  // Stores currentRecord.
  int BeginRecord(int32_t index) override;
  int ProcessRecord(int32_t index, StatSource* first, StatSource* second) override;
  int EndRecord(int32_t index) override;
  int DeliverResults() override;
  // Slot 7. The base accepts every term; both engines apply the term rule.
  virtual bool AcceptTerm(std::string_view term);
  // Slot 8. Merges two or more spill files into resultPath; the base cannot.
  virtual bool MergeSpillFiles();

  // Stores the temporary directory unchanged (when not null) and returns the
  // stored length.
  size_t SetTempDir(const char* directory) { return files_.SetTempDir(directory); }
  // Stores the output name through the task output rule. False when the name
  // cannot be resolved; the output name then stays empty, so the writer's
  // open refuses it.
  bool SetOutputName(std::string_view name);
  void SetWriter(ResultWriter* writer) { writer_ = writer; }
  void SetMinFrequency(int32_t min_frequency) { minFrequency_ = min_frequency; }

  const std::string& tempDir() const { return files_.tempDir(); }
  const std::string& resultPath() const { return files_.resultPath(); }
  const std::string& outputName() const { return outputName_; }
  const std::vector<std::string>& spillFiles() const { return files_.spillFiles(); }
  int32_t recordCount() const { return recordCount_; }
  int32_t currentRecord() const { return currentRecord_; }
  ResultWriter* writer() const { return writer_; }
  int32_t minFrequency() const { return minFrequency_; }

  // Ends the run with a partial result instead of a delivery: DeliverResults
  // writes the merged, undelivered result to `path` (sorted_run/
  // partial_file.h) with `header`, whose engine and counts the task fills,
  // and removes its temporary files. The writer, if any, is not opened.
  void SetPartialOutput(std::string path, PartialHeader header) {
    partial_path_ = std::move(path);
    partial_header_ = std::move(header);
  }
  bool writes_partial() const { return !partial_path_.empty(); }
  // Why the last partial could not be written or read: a message naming the
  // file, or empty.
  const std::string& partial_error() const { return partial_error_; }

  // Lowers the number of distinct entries that triggers a spill. Tests only.
  void SetSpillThresholdForTesting(size_t threshold) { spill_threshold_ = threshold; }

 protected:
  // `directory_prefix` names the work directory below "vocstemp",
  // `spill_prefix` the spill files ("FRE_" and "fre_", "TOG_" and "tog_").
  SpillingTask(std::string_view directory_prefix, std::string_view spill_prefix);

  // Creates the "ok_" result file and fills it from the spill files: a move
  // of the only one, or MergeSpillFiles. False when there is no spill file or
  // any step fails.
  bool FinishResultFile();

  // Writes the partial result: the result file with the record count and
  // `term_counts`. 0, or VOCS_E_NO_RESULT_FILE with partial_error() set.
  int WritePartialResult(std::string_view engine, std::vector<PartialTermCount> term_counts,
                         int64_t term_total);
  // Reads and checks every partial at `paths` (of `engine`, the shards of
  // one run), handing their term lines to `on_term`; takes their record
  // count (the sum) and minimum frequency, and makes the result file the
  // merge is to fill. 0, or VOCS_E_RESULT_FILE_OPEN with partial_error() set.
  int ReadPartials(const std::vector<std::string>& paths, std::string_view engine,
                   const std::function<bool(std::string_view, int64_t)>& on_term,
                   int64_t* term_total);

  WorkDirectory files_;
  std::string outputName_;
  int32_t recordCount_ = 0;
  int32_t currentRecord_ = -1;
  ResultWriter* writer_ = nullptr;
  int32_t minFrequency_ = 0;
  size_t spill_threshold_ = kSpillThreshold;
  std::string partial_path_;
  PartialHeader partial_header_;
  std::string partial_error_;
};

}  // namespace vocs

#endif  // VOCS_ENGINE_SPILLING_TASK_H_
