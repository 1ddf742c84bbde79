// Shard runs: a statement of the statistics language run over one range of
// its records (a shard), ending in a partial result file instead of a
// delivery, so that the shards can run in other processes or on other
// machines and their partials be merged and delivered as one run's result
// (DeliverPartialResults in statistics_runs.h).
//
// Which records a shard holds is decided outside: the host hands a shard
// only its range of a query's records, and the caller names the FROM files
// of a shard. The module itself starts no thread or process.
//
// Plain functions; one run on the caller's thread.
#ifndef VOCS_API_SHARD_RUNS_H_
#define VOCS_API_SHARD_RUNS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "vocs/host_interface.h"

namespace vocs {

struct ShardRun {
  int32_t shard = 1;  // 1-based
  int32_t shards = 1;
  // Hex fingerprint of the statement the shards belong to ("" for none).
  std::string run;
  // When set, these FROM files (code page paths, each a file) replace the
  // statement's; none makes an empty shard.
  bool files_given = false;
  std::vector<std::string> files;
  std::string partial_path;  // where the partial result goes
};

// Parses `statement` (code page text) and runs it as `shard`. 0 on success;
// VOCS_E_PARSE for a statement that does not parse, VOCS_E_UNKNOWN_REQUEST
// for one that asks for no statistic; else the run's code, with *error set
// when the partial could not be written.
int32_t RunStatementShard(const char* statement, HostInterface* host, const ShardRun& shard,
                          std::string* error);

}  // namespace vocs

#endif  // VOCS_API_SHARD_RUNS_H_
