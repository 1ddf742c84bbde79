#include "engine/spilling_task.h"

#include "platform/paths.h"
#include "vocs/errors.h"

namespace vocs {

SpillingTask::SpillingTask(std::string_view directory_prefix, std::string_view spill_prefix)
    : files_(directory_prefix, spill_prefix) {}

SpillingTask::~SpillingTask() = default;

int SpillingTask::SetRecordCount(int32_t count) {
  recordCount_ = count;
  return 0;
}

int SpillingTask::Finish() { return FinishResultFile() ? 0 : VOCS_E_NO_RESULT_FILE; }

int SpillingTask::BeginRecord(int32_t index) {
  currentRecord_ = index;
  return 0;
}

int SpillingTask::ProcessRecord(int32_t, StatSource*, StatSource*) { return 0; }

int SpillingTask::EndRecord(int32_t) { return 0; }

int SpillingTask::DeliverResults() { return 0; }

bool SpillingTask::AcceptTerm(std::string_view) { return true; }

bool SpillingTask::MergeSpillFiles() { return false; }

bool SpillingTask::SetOutputName(std::string_view name) {
  if (ResolveTaskOutputPath(name, &outputName_)) return true;
  outputName_.clear();
  return false;
}

bool SpillingTask::FinishResultFile() {
  return files_.FinishResultFile([this] { return MergeSpillFiles(); });
}

}  // namespace vocs
