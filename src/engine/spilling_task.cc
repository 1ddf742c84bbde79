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

int SpillingTask::WritePartialResult(std::string_view engine,
                                     std::vector<PartialTermCount> term_counts,
                                     int64_t term_total) {
  PartialHeader header = partial_header_;
  header.engine = std::string(engine);
  header.records = recordCount_;
  header.term_total = term_total;
  if (!WritePartialFile(partial_path_, std::move(header), std::move(term_counts), resultPath(),
                        &partial_error_)) {
    return VOCS_E_NO_RESULT_FILE;
  }
  files_.RemoveTemporaryFiles();
  return 0;
}

int SpillingTask::ReadPartials(const std::vector<std::string>& paths, std::string_view engine,
                               const std::function<bool(std::string_view, int64_t)>& on_term,
                               int64_t* term_total) {
  // The headers first: a set that cannot merge is refused before any file
  // is read in full.
  std::vector<PartialHeader> headers(paths.size());
  for (size_t i = 0; i < paths.size(); ++i) {
    if (!ReadPartialHeader(paths[i], &headers[i], &partial_error_)) return VOCS_E_RESULT_FILE_OPEN;
    if (headers[i].engine != engine) {
      partial_error_ = paths[i] + ": a partial result of the " + headers[i].engine +
                       " engine, not of the " + std::string(engine) + " engine";
      return VOCS_E_RESULT_FILE_OPEN;
    }
  }
  if (!CheckPartialSet(paths, headers, &partial_error_)) return VOCS_E_RESULT_FILE_OPEN;
  *term_total = 0;
  int64_t records = 0;
  for (size_t i = 0; i < paths.size(); ++i) {
    if (!ReadPartialFile(paths[i], &headers[i], on_term, &partial_error_)) {
      return VOCS_E_RESULT_FILE_OPEN;
    }
    records += headers[i].records;
    *term_total += headers[i].term_total;
  }
  if (records > INT32_MAX) {
    partial_error_ = "the partial results hold more than 2^31 records together";
    return VOCS_E_RESULT_FILE_OPEN;
  }
  recordCount_ = static_cast<int32_t>(records);
  minFrequency_ = headers.front().min_frequency;
  if (!files_.MakeResultFile()) {
    partial_error_ = "no result file can be made in the work directory " + tempDir();
    return VOCS_E_NO_RESULT_FILE;
  }
  return 0;
}

}  // namespace vocs
