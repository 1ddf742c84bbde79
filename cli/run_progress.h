// RunProgress: the progress line of one statement run, on a terminal.
//
// A run goes through phases the module does not announce: reading records
// (or files), spilling sorted partial counts, merging them, writing the
// results, and for a table loading and indexing them. The host reports what
// it serves (records read, texts converted, the table's loading and
// indexing); the work and load directories, which the command chose, show
// the rest: spill files ("fre_", "tog_"), merge files (".tx2"), the merged
// result ("ok_"), load files ("rec_") and the result file being written. A
// thread redraws one line from these four times a second, with rates.
//
// The host's observers call the On* operations on the run's thread; the
// drawing thread reads what they store. Nothing is drawn when standard error
// is no terminal.
#ifndef VOCS_CLI_RUN_PROGRESS_H_
#define VOCS_CLI_RUN_PROGRESS_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "cli/cli_common.h"
#include "host/result_tables.h"

namespace vocs::cli {

class RunProgress {
 public:
  struct Places {
    std::string work;         // the statement's work directory
    std::string load;         // the load directory of a table output, or ""
    std::string output_file;  // the file being written for a file output, or ""
    int64_t files = 0;        // the number of FROM files, or 0
  };

  RunProgress() = default;
  ~RunProgress();
  RunProgress(const RunProgress&) = delete;
  RunProgress& operator=(const RunProgress&) = delete;

  bool enabled() const { return line_.enabled(); }

  // Starts drawing for one statement; Stop ends it and removes the line.
  void Start(const Places& places);
  void Stop();

  void OnRecord(int64_t record, int64_t count);
  void OnConversion(int64_t conversions);
  void OnTable(host::TableEvent event, int64_t rows);

  // The line for the given state (for tests of the wording).
  struct Snapshot {
    double seconds = 0;
    int64_t record = 0, records = 0, conversions = 0, files = 0;
    double record_rate = 0;
    int spill_files = 0, merge_files = 0;
    uint64_t spill_bytes = 0, result_bytes = 0, output_bytes = 0;
    int table_phase = -1;  // a host::TableEvent, or -1
    int64_t rows = 0;
    double row_rate = 0;
  };
  static std::string Describe(const Snapshot& snapshot);

 private:
  void Draw();
  Snapshot Take();

  ProgressLine line_;
  Places places_;
  std::chrono::steady_clock::time_point start_;
  std::atomic<int64_t> record_{0}, records_{0}, conversions_{0}, rows_{0};
  std::atomic<int> table_phase_{-1};
  // Rates are measured between draws.
  int64_t last_record_ = 0, last_rows_ = 0;
  std::chrono::steady_clock::time_point last_draw_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace vocs::cli

#endif  // VOCS_CLI_RUN_PROGRESS_H_
