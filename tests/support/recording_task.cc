#include "support/recording_task.h"

#include <cstring>

#include "platform/path_style.h"

namespace vocs::testing {

namespace {
std::string Label(const StatSource* s) {
  if (s == nullptr) return "null";
  if (s->kind == kBuffer) return "buf";
  std::string name = s->name;
  size_t slash = name.find_last_of(kPathSeparator);
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

std::string Text(const StatSource* s) {
  if (s == nullptr) return "";
  return std::string(s->content.c_str());
}
}  // namespace

int RecordingTask::Record(std::string entry) {
  calls.push_back(entry);
  if (!fail_on.empty() && entry.rfind(fail_on, 0) == 0) return fail_code;
  return 0;
}

int RecordingTask::SetRecordCount(int32_t count) {
  return Record("count(" + std::to_string(count) + ")");
}

int RecordingTask::Finish() { return Record("finish"); }

int RecordingTask::BeginRecord(int32_t index) {
  return Record("begin(" + std::to_string(index) + ")");
}

int RecordingTask::ProcessRecord(int32_t index, StatSource* first, StatSource* second) {
  contents.push_back(second == nullptr ? Text(first) : Text(first) + "|" + Text(second));
  return Record("process(" + std::to_string(index) + "," + Label(first) + "," + Label(second) +
                ")");
}

int RecordingTask::EndRecord(int32_t index) {
  return Record("end(" + std::to_string(index) + ")");
}

int RecordingTask::DeliverResults() { return Record("deliver"); }

std::string RecordingTask::Trace() const {
  std::string s;
  for (const std::string& c : calls) {
    if (!s.empty()) s += ' ';
    s += c;
  }
  return s;
}

}  // namespace vocs::testing
