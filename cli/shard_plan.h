// Sharded runs of the command: how a statement's records are split into
// shards, the processes that count the shards, and the delivery of their
// partial results (src/sorted_run/partial_file.h) as one result.
//
// A query's records are split by position into contiguous ranges (the host
// shows each shard its range). FROM inputs are split by file, for frequency
// statements only: a frequency run over files writes each term's total,
// which adds up across files; a co-occurrence run over several files pairs
// the terms of every two files, which no split by file keeps, so such a
// statement is one shard.
//
// The shards of `vocs run --jobs N` are processes of the command itself
// (`vocs run --shard K/N --partial FILE`), each with its own host; the module
// starts no thread or process.
//
// Functions on values, and ShardProcesses, which one thread owns while any
// thread may Stop it.
#ifndef VOCS_CLI_SHARD_PLAN_H_
#define VOCS_CLI_SHARD_PLAN_H_

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "cli/run_job.h"
#include "host/text_codec.h"

namespace vocs::cli {

// "K/N" with 1 <= K <= N. False for anything else.
bool ParseShard(const std::string& text, int32_t* shard, int32_t* shards);

// Whether the records of `job` can be split (see above).
bool CanShard(const RunJob& job);

// A hex fingerprint of what `job` counts (statistic, sources, query, files,
// minimum frequency), the same in every shard of it and different for a
// statement that counts otherwise; its output is not part of it.
std::string StatementFingerprint(const RunJob& job);

// The FROM files of shard `shard` of `shards` of a frequency job, as the
// module's code page paths. *files_given is false when the shard runs the
// statement's own FROM names (a query, or shard 1 of a job that cannot be
// split).
std::vector<std::string> ShardFiles(const RunJob& job, int32_t shard, int32_t shards,
                                    host::TextCodec* codec, bool* files_given);

// The progress of a shard process, in a file its parent reads: the environment
// variable kShardProgressVariable names the file; the shard overwrites it
// with "RECORD COUNT REPLACED" now and then (REPLACED: the characters of
// its input that could not be read, known at its end).
inline constexpr const char* kShardProgressVariable = "VOCS_SHARD_PROGRESS";
class ShardProgress {
 public:
  // Opens the file the environment names; does nothing without one.
  ShardProgress();
  ~ShardProgress();
  ShardProgress(const ShardProgress&) = delete;
  ShardProgress& operator=(const ShardProgress&) = delete;
  // Reports record `record` of `count` (written at most every 50 ms, and
  // always for the last record).
  void OnRecord(int64_t record, int64_t count);
  // Reports the end of the shard's run.
  void Finish(int64_t replaced_characters);
  // What a shard reported in `path`: false when it reported nothing yet.
  static bool Read(const std::string& path, int64_t* record, int64_t* count,
                   int64_t* replaced = nullptr);

 private:
  void Write();

  int64_t record_ = 0;
  int64_t count_ = 0;
  int64_t replaced_ = 0;
  int fd_ = -1;
  std::chrono::steady_clock::time_point last_;
};

// The shard processes of one statement.
class ShardProcesses {
 public:
  struct Child {
    pid_t pid = -1;
    int32_t shard = 0;
    std::string log;  // its standard output and error
    std::string progress;  // where it reports its records (ShardProgress)
    int status = -1;  // exit code once it has ended; -1 while it runs
  };

  // Starts `vocs` (this program) with `arguments` for shard `shard`, its
  // output going to `log`, its progress to the file `progress`. False with
  // *error set.
  bool Start(const std::vector<std::string>& arguments, int32_t shard, const std::string& log,
             const std::string& progress, std::string* error);
  // Waits for every child, calling `poll` with the records read and the
  // records to read by all of them together every few milliseconds. When one
  // fails, the others are stopped. True when all succeeded; else *failed is
  // the first that failed.
  bool WaitAll(Child* failed,
               const std::function<void(int64_t records, int64_t count)>& poll = nullptr);
  // Stops every child that runs (SIGTERM); any thread.
  void Stop();

 private:
  std::mutex mutex_;
  std::vector<Child> children_;
};

}  // namespace vocs::cli

#endif  // VOCS_CLI_SHARD_PLAN_H_
