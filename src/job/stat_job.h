// StatJob: one statistics run.
//
// A job holds its sources, the host interface and up to two tasks (a
// frequency task and a co-occurrence task, driven through StatTask). Run
// optionally opens a query through the host, treats its result as a sequence
// of records, and for every record loads the text of each source and feeds it
// to the tasks; then it lets the tasks finish and deliver.
//
// Every task operation is called the same way: on the frequency task when one
// is attached, its result stored as the error code, stop when it is not 0;
// then the same on the co-occurrence task. So a refusal left by an add
// operation stops a job without a frequency task at its first task call,
// while the first call on a frequency task replaces it.
//
// Ownership: the job owns its sources; it does not own the tasks, their
// writers or the host. A job is built, run once and destroyed by one thread.
#ifndef VOCS_JOB_STAT_JOB_H_
#define VOCS_JOB_STAT_JOB_H_

#include <cstdint>
#include <string>
#include <vector>

#include "job/stat_source.h"
#include "platform/table_memory.h"
#include "vocs/host_interface.h"

namespace vocs {

class StatTask;

class StatJob {
 public:
  StatJob();
  ~StatJob();  // closes an open query
  StatJob(const StatJob&) = delete;
  StatJob& operator=(const StatJob&) = delete;

  void SetHost(HostInterface* host) { host_ = host; }
  int SetFrequencyTask(StatTask* task) {
    frequency_task_ = task;
    return 0;
  }
  int SetCooccurrenceTask(StatTask* task) {
    cooccurrence_task_ = task;
    return 0;
  }

  // Each add appends at most one source; a refusal is recorded in the error
  // code and returns false.
  // Refuses an empty name (VOCS_E_NO_SOURCE) and a name equal, without regard
  // to case, to that of any source that is not a file (VOCS_E_REPEATED_NAME).
  bool AddFieldSource(const char* name, int32_t mode, const char* mode_text);
  // The first `length` bytes of `text`, or the text up to its 0 byte when
  // `length` is negative. Refuses an empty text or a length of 0
  // (VOCS_E_BAD_ARGUMENT).
  bool AddBufferSource(const char* text, int32_t length, int32_t mode, const char* mode_text);
  // A file, or a directory that stands for the ".txt" files of its tree: the
  // record loop replaces it by them when it reaches it. Refuses an empty path
  // or one already added as a file (VOCS_E_FILE_SOURCE); a path that does
  // not exist returns false and records nothing.
  //
  // A tree is walked depth first, each directory's entries in the reverse of
  // the order the file system lists them. Symbolic links to files are read;
  // links to directories are not followed, and no directory (by its
  // identity) is entered twice, so that a link or a mount cannot lead the
  // walk around in a loop. A directory that cannot be listed fails the run
  // (VOCS_E_SOURCE_UNREADABLE), as a file that cannot be read does.
  bool AddFileSource(const char* path, int32_t mode, const char* mode_text);

  // Runs the whole job. With a non-empty query the host opens it and every
  // record of its result is processed; otherwise there is one record. On
  // false, error_code() tells why.
  bool Run(const char* query);

  int32_t error_code() const { return error_code_; }
  const std::vector<StatSource>& sources() const { return sources_; }

  // The number of times in a row readField may answer "buffer too small"
  // before the load fails; a host that always does cannot hold the job.
  static constexpr int kMaxBufferRetries = 16;

 private:
  template <typename Op>
  bool CallTasks(Op op);
  bool RunRecordLoop();
  bool ProcessFrequency(int32_t record);
  bool ProcessCooccurrence(int32_t record);
  bool LoadSource(int32_t record, StatSource* source);
  bool ReadFieldText(int32_t record, StatSource* source);
  bool PrepareText(StatSource* source);
  // Converts the 0-terminated `text` through the host into source->content;
  // `length` sizes the room offered for the result.
  bool ConvertText(const char* text, size_t length, StatSource* source);
  bool ExpandDirectory(size_t position);
  void CloseQuery();

  StatTask* frequency_task_ = nullptr;
  StatTask* cooccurrence_task_ = nullptr;
  int32_t error_code_ = 0;
  std::string query_;
  ResultHandle handle_{-1, 0, 0};
  HostInterface* host_ = nullptr;
  std::vector<StatSource> sources_;
  // Both buffers keep their size from record to record and only grow, so a
  // record costs its own length, not that of the largest record before it.
  std::string read_buffer_;  // readField writes a field's text here
  size_t read_length_ = 0;   // the length of the text in read_buffer_
  TableArray<char> work_buffer_;  // output of the host's text conversion (mode 2)
  size_t work_size_ = 0;          // its size in bytes
};

}  // namespace vocs

#endif  // VOCS_JOB_STAT_JOB_H_
