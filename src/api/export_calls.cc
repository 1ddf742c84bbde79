#include "api/export_calls.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "api/statistics_runs.h"
#include "platform/paths.h"
#include "text/text_primitives.h"
#include "vocs/errors.h"

namespace vocs {

namespace {

std::string& TempPathSetting() {
  static std::string setting = "interpath";
  return setting;
}

bool NonEmpty(const char* text) { return text != nullptr && text[0] != '\0'; }

bool ModeInRange(int32_t mode) { return mode >= kModeNone && mode <= kModeNormal; }

// SEGASCOL cuts at the characters of its text, so it needs one.
bool HasModeText(int32_t mode, const char* mode_text) {
  return mode != kModeDelimited || NonEmpty(mode_text);
}

std::string TextOrEmpty(const char* text) { return text != nullptr ? text : ""; }

// The steps every statistics export shares once its arguments are valid and
// its sources are described.
int32_t RunExport(StatisticsRun run, const char* output_name, int32_t output_kind,
                  HostInterface* host) {
  std::string temp_dir;
  if (ResolveDirectoryPath(TempPathSetting(), &temp_dir, kPathBufferSize) == 0) {
    temp_dir.clear();  // the task then makes its own work directory
  }
  // The name lives in a path buffer: a longer one is refused, never cut.
  const OutputTarget target =
      output_kind == kExportTableOutput ? OutputTarget::kTable : OutputTarget::kFile;
  std::string name = output_name;
  if (name.size() > kMaxPathLength || ResolveExportOutputPath(&name, target) != 0) {
    return VOCS_E_OUTPUT_PATH;
  }
  run.output = target;
  run.output_name = std::move(name);
  run.temp_dir = std::move(temp_dir);
  run.host = host;
  return RunStatistics(run);
}

}  // namespace

int32_t ExportFrequency(const char* query, const char* fields, int32_t mode, const char* mode_text,
                        int32_t min_freq, int32_t output_kind, const char* output_name,
                        HostInterface* host) {
  if (!NonEmpty(query) || !NonEmpty(fields) || !NonEmpty(output_name) || !ModeInRange(mode) ||
      !HasModeText(mode, mode_text)) {
    return VOCS_E_BAD_ARGUMENT;
  }
  StatisticsRun run;
  run.statistic = StatisticKind::kFrequency;
  run.min_frequency = min_freq;
  run.query = query;
  std::vector<std::string> names;
  SplitList(fields, ",", &names);
  for (std::string& name : names) {
    run.sources.push_back(RunSource::Field(std::move(name), mode, TextOrEmpty(mode_text)));
  }
  return RunExport(std::move(run), output_name, output_kind, host);
}

int32_t ExportFrequency2(const char* text, int32_t text_length, int32_t mode, const char* mode_text,
                         int32_t min_freq, int32_t output_kind, const char* output_name,
                         HostInterface* host) {
  if (!NonEmpty(text) || !NonEmpty(output_name) || !ModeInRange(mode) ||
      !HasModeText(mode, mode_text)) {
    return VOCS_E_BAD_ARGUMENT;
  }
  StatisticsRun run;
  run.statistic = StatisticKind::kFrequency;
  run.min_frequency = min_freq;
  run.sources.push_back(RunSource::Buffer(text, text_length, mode, TextOrEmpty(mode_text)));
  return RunExport(std::move(run), output_name, output_kind, host);
}

int32_t ExportTogether(const char* query, const char* first_field, int32_t first_mode,
                       const char* first_mode_text, const char* second_field, int32_t second_mode,
                       const char* second_mode_text, int32_t min_freq, int32_t output_kind,
                       const char* output_name, HostInterface* host) {
  // The second mode has no range test: the job refuses a bad one when it
  // prepares that field's text.
  if (!NonEmpty(query) || !NonEmpty(first_field) || !NonEmpty(output_name) ||
      !ModeInRange(first_mode) || (second_field == nullptr && first_mode == kModeNone) ||
      !HasModeText(first_mode, first_mode_text) || !HasModeText(second_mode, second_mode_text)) {
    return VOCS_E_BAD_ARGUMENT;
  }
  StatisticsRun run;
  run.statistic = StatisticKind::kCooccurrence;
  run.min_frequency = min_freq;
  run.query = query;
  run.sources.push_back(RunSource::Field(first_field, first_mode, TextOrEmpty(first_mode_text)));
  if (NonEmpty(second_field)) {
    run.sources.push_back(
        RunSource::Field(second_field, second_mode, TextOrEmpty(second_mode_text)));
  }
  return RunExport(std::move(run), output_name, output_kind, host);
}

int32_t ExportTogether2(const char* first_text, int32_t first_length, int32_t first_mode,
                        const char* first_mode_text, const char* second_text, int32_t second_length,
                        int32_t second_mode, const char* second_mode_text, int32_t min_freq,
                        int32_t output_kind, const char* output_name, HostInterface* host) {
  if (!NonEmpty(first_text) || !NonEmpty(output_name) || !ModeInRange(first_mode) ||
      (second_text == nullptr && first_mode == kModeNone) ||
      !HasModeText(first_mode, first_mode_text) ||
      !HasModeText(second_mode, second_mode_text)) {
    return VOCS_E_BAD_ARGUMENT;
  }
  StatisticsRun run;
  run.statistic = StatisticKind::kCooccurrence;
  run.min_frequency = min_freq;
  run.sources.push_back(
      RunSource::Buffer(first_text, first_length, first_mode, TextOrEmpty(first_mode_text)));
  if (NonEmpty(second_text)) {
    run.sources.push_back(
        RunSource::Buffer(second_text, second_length, second_mode, TextOrEmpty(second_mode_text)));
  }
  return RunExport(std::move(run), output_name, output_kind, host);
}

int32_t GetTempPathSetting(char* dst, int32_t dst_size) {
  const std::string& setting = TempPathSetting();
  if (dst == nullptr) return static_cast<int32_t>(setting.size());
  if (dst_size < 1) return 0;  // no room even for the terminator
  const size_t n = std::min(setting.size(), static_cast<size_t>(dst_size) - 1);
  std::memcpy(dst, setting.data(), n);
  dst[n] = '\0';
  return static_cast<int32_t>(n);
}

int32_t SetTempPathSetting(const char* path) {
  if (!NonEmpty(path)) return 0;
  return static_cast<int32_t>(ResolveDirectoryPath(path, &TempPathSetting(), kPathBufferSize));
}

}  // namespace vocs
