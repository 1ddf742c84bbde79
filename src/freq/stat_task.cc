#include "freq/stat_task.h"

#include "api/paths.h"
#include "freq/text_primitives.h"
#include "platform/env.h"
#include "platform/path_style.h"
#include "vocs/errors.h"

namespace vocs {

bool ReserveMergeFileName(const std::string& directory, std::atomic<int32_t>* counter,
                          std::string* path) {
  Env* env = CurrentEnv();
  constexpr int kAttempts = 10000;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    std::string candidate = directory + std::to_string(counter->fetch_add(1)) + ".tx2";
    if (env->CreateNewFile(candidate)) {
      *path = std::move(candidate);
      return true;
    }
    bool is_directory = false;
    if (!env->GetFileAttributes(candidate, &is_directory)) return false;  // not taken: a failure
  }
  return false;
}

StatTask::~StatTask() = default;

int StatTask::SetRecordCount(int32_t count) {
  recordCount_ = count;
  return 0;
}

int StatTask::Finish() { return FinishResultFile() ? 0 : VOCS_E_NO_RESULT_FILE; }

int StatTask::BeginRecord(int32_t index) {
  currentRecord_ = index;
  return 0;
}

int StatTask::ProcessRecord(int32_t, StatSource*, StatSource*) { return 0; }

int StatTask::EndRecord(int32_t) { return 0; }

int StatTask::DeliverResults() { return 0; }

bool StatTask::AcceptTerm(std::string_view) { return true; }

bool StatTask::MergeSpillFiles() { return false; }

size_t StatTask::SetTempDir(const char* directory) {
  if (directory != nullptr) tempDir_ = directory;
  return tempDir_.size();
}

bool StatTask::SetOutputName(std::string_view name) {
  if (ResolveTaskOutputPath(name, &outputName_)) return true;
  outputName_.clear();
  return false;
}

bool StatTask::PrepareWorkDirectory(std::string_view prefix) {
  if (tempDir_.empty()) {
    std::string base;
    if (!ProgramDirectory(&base)) return false;
    base += "vocstemp";
    base += kPathSeparator;
    CurrentEnv()->CreateDirectory(base);  // usually exists already
    std::string unique;
    if (!MakeUniqueDirectory(base, prefix, &unique)) return false;
    tempDir_ = std::move(unique);
  } else if (!DirectoryExists(tempDir_) && !MakeDirectoryTree(tempDir_)) {
    return false;
  }
  if (tempDir_.back() != kPathSeparator) tempDir_ += kPathSeparator;
  return true;
}

bool StatTask::MakeSpillFileName(std::string_view directory_prefix,
                                 std::string_view file_prefix, std::string* path) {
  constexpr int kAttempts = 4;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (!PrepareWorkDirectory(directory_prefix)) return false;
    if (MakeUniqueTempFile(tempDir_, file_prefix, path)) return true;
    if (DirectoryExists(tempDir_)) return false;  // not the race: a real failure
  }
  return false;
}

bool StatTask::FinishResultFile() {
  if (spillFiles_.empty()) return false;
  std::string result;
  if (!MakeUniqueTempFile(tempDir_, "ok_", &result)) return false;
  resultPath_ = std::move(result);
  if (spillFiles_.size() > 1) return MergeSpillFiles();
  return CurrentEnv()->MoveFile(spillFiles_.front(), resultPath_);
}

bool StatTask::RemoveTemporaryFiles() {
  Env* env = CurrentEnv();
  for (const std::string& path : spillFiles_) env->DeleteFile(path);
  spillFiles_.clear();
  if (!resultPath_.empty()) env->DeleteFile(resultPath_);
  if (!tempDir_.empty()) env->RemoveDirectory(tempDir_);
  return true;
}

}  // namespace vocs
