#include "api/plug_module.h"

#include <cstring>
#include <mutex>
#include <optional>

#include "api/boundary_guard.h"
#include "api/statistics_runs.h"
#include "lang/parser.h"
#include "lang/stat_command.h"
#include "platform/mbcs.h"
#include "platform/paths.h"
#include "text/text_primitives.h"
#include "vocs/errors.h"

namespace vocs {

namespace {

// Whether `request` begins with the bytes of `frame` including its 0 byte,
// compared byte by byte so that a short request is never read past its end.
bool HasFrame(const char* request, const char* frame, size_t length_with_nul) {
  for (size_t i = 0; i < length_with_nul; ++i) {
    if (request[i] != frame[i]) return false;
  }
  return true;
}

// Where a statement's output kind leads; nothing for a kind that is neither
// a file nor a table.
std::optional<OutputTarget> CommandOutputTarget(int32_t output_kind) {
  if (output_kind == kFileOutput) return OutputTarget::kFile;
  if (output_kind == kTableOutput) return OutputTarget::kTable;
  return std::nullopt;
}

}  // namespace

PlugModule::PlugModule(const char* name) : name_(name != nullptr ? name : "") {}

void PlugModule::Release() { Destroy(1); }

PlugModuleInterface* PlugModule::Destroy(int32_t flags) {
  host_.store(nullptr);
  host_value_ = 0;
  name_.clear();
  name_.shrink_to_fit();
  if (flags & 1) delete this;  // created by PlugModule_CreateInstance with new
  return this;
}

int32_t PlugModule::Execute(const char* request, int32_t, int32_t, int32_t) {
  return GuardBoundary([&] { return RunCommand(request); });
}

int32_t PlugModule::RunCommand(const char* request) {
  if (request == nullptr) return VOCS_E_BAD_ARGUMENT;
  if (HasFrame(request, "sql!", 5)) return RunStatement(request + 5);
  if (HasFrame(request, "r!", 3)) {
    const char* name = request + 3;
    const char* body = name + std::strlen(name) + 1;
    const bool frequency = EqualsIgnoreCaseMbcs(name, "VOCS_Frequency");
    if (!frequency && !EqualsIgnoreCaseMbcs(name, "VOCS_Associated")) {
      return VOCS_E_UNKNOWN_REQUEST;  // before the body is touched
    }
    // Execute receives no length: the body of a known request is trusted to
    // be well formed.
    return RunPackedRequest(name, body, MeasurePackedBody(body, frequency));
  }
  return VOCS_E_BAD_ARGUMENT;
}

int32_t PlugModule::RunPackedRequest(const char* name, const char* body, const char* end) {
  const bool frequency = EqualsIgnoreCaseMbcs(name, "VOCS_Frequency");
  if (!frequency && !EqualsIgnoreCaseMbcs(name, "VOCS_Associated")) {
    return VOCS_E_UNKNOWN_REQUEST;
  }
  PackedRequest request;
  if (!DecodePackedBody(body, end, frequency, &request)) return VOCS_E_BAD_ARGUMENT;
  HostInterface* host = host_.load();
  return frequency ? RunFrequencyRequest(request, host) : RunCooccurrenceRequest(request, host);
}

namespace {

StatisticsRun PackedRun(const PackedRequest& request, StatisticKind statistic,
                        HostInterface* host) {
  StatisticsRun run;
  run.statistic = statistic;
  // Any output kind but a table writes a file.
  run.output = request.outputKind == kTableOutput ? OutputTarget::kTable : OutputTarget::kFile;
  // Relative names go below the host table directory whatever the output.
  run.output_name = request.outputName;
  run.min_frequency = request.minFrequency;
  run.host = host;
  for (const PackedItem& item : request.items) {
    // Buffer sources are not tested for repetition: equal items both count.
    run.sources.push_back(RunSource::Buffer(item.text.c_str(),
                                            static_cast<int32_t>(item.text.size()), item.mode,
                                            item.modeText));
  }
  return run;
}

}  // namespace

int32_t PlugModule::RunFrequencyRequest(const PackedRequest& request, HostInterface* host) {
  if (request.outputName.empty()) return VOCS_E_BAD_ARGUMENT;
  StatisticsRun run = PackedRun(request, StatisticKind::kFrequency, host);
  run.writer_mode = kFrequencyOnly;  // packed frequency requests write the term and its frequency
  return RunStatistics(run);
}

int32_t PlugModule::RunCooccurrenceRequest(const PackedRequest& request, HostInterface* host) {
  if (request.outputName.empty()) return VOCS_E_BAD_ARGUMENT;
  return RunStatistics(PackedRun(request, StatisticKind::kCooccurrence, host));
}

int32_t PlugModule::RunStatement(const char* statement) {
  StatCommand command;
  int parsed;
  {
    std::lock_guard<Mutex> lock(lock_);
    parsed = ParseStatement(statement, &command);
  }
  if (parsed != 0) return VOCS_E_PARSE;
  const int32_t resolved =
      ResolveCommandOutputPath(&command.outputName, CommandOutputTarget(command.outputKind));
  if (resolved < 0) return resolved;
  HostInterface* host = host_.load();
  switch (command.kind) {
    case kWordFrequency:
      return RunFrequencyStatement(command, host);
    case kAssociatedFrequency:
      return RunCooccurrenceStatement(command, host);
    default:
      return VOCS_E_UNKNOWN_REQUEST;
  }
}

StatisticsRun RunOfStatement(const StatCommand& command, HostInterface* host) {
  StatisticsRun run;
  run.statistic =
      command.kind == kWordFrequency ? StatisticKind::kFrequency : StatisticKind::kCooccurrence;
  run.output = command.outputKind == kTableOutput ? OutputTarget::kTable : OutputTarget::kFile;
  run.output_name = command.outputName;
  // The statement's TEMPPATH is used as written, not resolved.
  run.temp_dir = command.tempPath;
  run.min_frequency = command.minFrequency;
  run.host = host;
  run.query = command.query;
  if (command.sourceKind == kFieldList) {
    for (const FieldSource& field : command.fields) {
      run.sources.push_back(RunSource::Field(field.name, field.mode, field.delimiters));
    }
  } else {
    // File lists are always read in mode 2: the host converts the text.
    for (const std::string& file : command.files) {
      run.sources.push_back(RunSource::File(file, kModeNormal, ""));
    }
  }
  // A frequency run over files writes the term and its frequency only.
  if (command.kind == kWordFrequency && command.sourceKind != kFieldList) {
    run.writer_mode = kFrequencyOnly;
  }
  return run;
}

int32_t PlugModule::RunFrequencyStatement(const StatCommand& command, HostInterface* host) {
  if (command.outputName.empty()) return VOCS_E_BAD_ARGUMENT;
  return RunStatistics(RunOfStatement(command, host));
}

int32_t PlugModule::RunCooccurrenceStatement(const StatCommand& command, HostInterface* host) {
  if (command.outputName.empty()) return VOCS_E_BAD_ARGUMENT;
  return RunStatistics(RunOfStatement(command, host));
}

}  // namespace vocs
extern "C" VOCS_EXPORT int32_t VOCS_CALL PlugModule_CreateInstance(const char* name,
                                                                   PlugModuleInterface** out) {
  if (out == nullptr) return 0;
  try {
    *out = new vocs::PlugModule(name);
  } catch (...) {
    *out = nullptr;  // allocation failed
  }
  return 0;
}
