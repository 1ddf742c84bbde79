// StatTask: one statistics engine attached to a StatJob.
//
// The job drives a task through nine virtual operations, in this slot order:
// SetRecordCount, Finish, BeginRecord, ProcessRecord, EndRecord,
// DeliverResults, the destructor, AcceptTerm and MergeSpillFiles. It calls
// SetRecordCount once; for every record BeginRecord, ProcessRecord once per
// source (frequency) or per pair of sources (co-occurrence), EndRecord; then
// Finish and DeliverResults; and stops at the first non-zero result.
//
// The base class owns what both engines share: the work directory and the
// temporary files in it, the production of the single result file (a move of
// the only spill file, or the engine's merge), the removal of the temporary
// files, and the term rule.
//
// Temporary files exist from the first spill until RemoveTemporaryFiles, which
// runs only at the successful end of delivery; after a failure, or without a
// writer, the spill files, the result file and the work directory stay on
// disk. The destructor releases memory only.
//
// Ownership: the creator owns the task and the writer; the task does not own
// its writer. A task serves one run on one thread.
#ifndef VOCS_FREQ_STAT_TASK_H_
#define VOCS_FREQ_STAT_TASK_H_

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vocs {

class ResultWriter;
struct StatSource;

// Distinct entries an engine holds in memory before it spills them.
inline constexpr size_t kSpillThreshold = 5000000;
// Inputs of one merge pass.
inline constexpr size_t kMergeFanIn = 20;

// Reserves the name of a new intermediate merge file in `directory`: the
// decimal value taken from the engine's process-wide `counter` and ".tx2",
// created empty so that no other merge can take it. A number whose file
// exists already (the other engine's counter, or another process sharing the
// directory, gave it out) is passed over. False when no file can be made.
bool ReserveMergeFileName(const std::string& directory, std::atomic<int32_t>* counter,
                          std::string* path);

class StatTask {
 public:
  StatTask() = default;
  StatTask(const StatTask&) = delete;
  StatTask& operator=(const StatTask&) = delete;

  // Slot 0. Stores recordCount.
  virtual int SetRecordCount(int32_t count);
  // Slot 1. Produces the result file: 0, or VOCS_E_NO_RESULT_FILE.
  virtual int Finish();
  // Slot 2. Stores currentRecord.
  virtual int BeginRecord(int32_t index);
  // Slot 3. Counts one record of one source (or of a pair of sources).
  virtual int ProcessRecord(int32_t index, StatSource* first, StatSource* second);
  // Slot 4.
  virtual int EndRecord(int32_t index);
  // Slot 5. Hands the results to the writer and removes the temporary files.
  virtual int DeliverResults();
  // Slot 6. Releases memory only; removes no file.
  virtual ~StatTask();
  // Slot 7. The base accepts every term; both engines apply the term rule.
  virtual bool AcceptTerm(std::string_view term);
  // Slot 8. Merges two or more spill files into resultPath; the base cannot.
  virtual bool MergeSpillFiles();

  // Configuration by the creator, before the task is attached.
  // Stores the temporary directory unchanged (when not null) and returns the
  // stored length.
  size_t SetTempDir(const char* directory);
  // Stores the output name through the task output rule. False when the name
  // cannot be resolved; the output name then stays empty, so the writer's
  // open refuses it.
  bool SetOutputName(std::string_view name);
  void SetWriter(ResultWriter* writer) { writer_ = writer; }
  void SetMinFrequency(int32_t min_frequency) { minFrequency_ = min_frequency; }

  const std::string& tempDir() const { return tempDir_; }
  const std::string& resultPath() const { return resultPath_; }
  const std::string& outputName() const { return outputName_; }
  const std::vector<std::string>& spillFiles() const { return spillFiles_; }
  int32_t recordCount() const { return recordCount_; }
  int32_t currentRecord() const { return currentRecord_; }
  ResultWriter* writer() const { return writer_; }
  int32_t minFrequency() const { return minFrequency_; }

  // Lowers the number of distinct entries that triggers a spill. Tests only.
  void SetSpillThresholdForTesting(size_t threshold) { spillThreshold_ = threshold; }

 protected:
  // Makes sure tempDir is a work directory ending in the separator. With an
  // empty tempDir: "vocstemp" in the program directory, and in it a new
  // directory whose name begins with `prefix` ("FRE_", "TOG_"). A configured
  // tempDir is created with its parents when missing and used directly.
  bool PrepareWorkDirectory(std::string_view prefix);
  // Prepares the work directory and creates a new empty file in it whose
  // name begins with `file_prefix` ("fre_", "tog_"). A configured directory
  // shared with another run can be removed by that run's clean-up (it removes
  // the directory when it is empty) between the two steps; the steps are then
  // tried again, so that such a run never fails this one.
  bool MakeSpillFileName(std::string_view directory_prefix, std::string_view file_prefix,
                         std::string* path);
  // Creates the "ok_" result file and fills it from the spill files: a move
  // of the only one, or MergeSpillFiles. False when there is no spill file or
  // any step fails.
  bool FinishResultFile();
  // Deletes the spill files and the result file and removes tempDir when it
  // is empty. Always true.
  bool RemoveTemporaryFiles();

  std::string tempDir_;
  std::string resultPath_;
  std::string outputName_;
  std::vector<std::string> spillFiles_;
  int32_t recordCount_ = 0;
  int32_t currentRecord_ = -1;
  ResultWriter* writer_ = nullptr;
  int32_t minFrequency_ = 0;
  size_t spillThreshold_ = kSpillThreshold;
};

}  // namespace vocs

#endif  // VOCS_FREQ_STAT_TASK_H_
