#include "api/shard_runs.h"

#include <mutex>

#include "api/plug_module.h"
#include "api/statistics_runs.h"
#include "job/stat_source.h"
#include "lang/parser.h"
#include "lang/stat_command.h"
#include "vocs/errors.h"

namespace vocs {

namespace {

// The parser of one process is used by one thread at a time, as the module
// object does with its own lock.
std::mutex parse_lock;

}  // namespace

int32_t RunStatementShard(const char* statement, HostInterface* host, const ShardRun& shard,
                          std::string* error) {
  StatCommand command;
  {
    std::lock_guard<std::mutex> lock(parse_lock);
    if (statement == nullptr || ParseStatement(statement, &command) != 0) return VOCS_E_PARSE;
  }
  if (command.kind != kWordFrequency && command.kind != kAssociatedFrequency) {
    return VOCS_E_UNKNOWN_REQUEST;
  }
  StatisticsRun run = RunOfStatement(command, host);
  run.partial_path = shard.partial_path;
  run.partial_header.shard = shard.shard;
  run.partial_header.shards = shard.shards;
  run.partial_header.run = shard.run;
  if (shard.files_given) {
    run.sources.clear();
    for (const std::string& file : shard.files) {
      run.sources.push_back(RunSource::File(file, kModeNormal, ""));
    }
  }
  if (run.sources.empty() && shard.files_given) {
    // A shard without files counted nothing: its partial is empty.
    PartialHeader header = run.partial_header;
    header.engine = std::string(run.statistic == StatisticKind::kFrequency ? kFrequencyPartial
                                                                           : kCooccurrencePartial);
    header.writer_mode = run.writer_mode;
    header.min_frequency = run.min_frequency;
    return WritePartialFile(shard.partial_path, header, {}, "", error) ? 0
                                                                        : VOCS_E_NO_RESULT_FILE;
  }
  return RunStatistics(run, error);
}

}  // namespace vocs
