#include "sorted_run/work_directory.h"

#include "platform/env.h"
#include "platform/path_style.h"
#include "platform/paths.h"

namespace vocs {

WorkDirectory::WorkDirectory(std::string_view directory_prefix, std::string_view spill_prefix)
    : directory_prefix_(directory_prefix), spill_prefix_(spill_prefix) {}

size_t WorkDirectory::SetTempDir(const char* directory) {
  if (directory != nullptr) tempDir_ = directory;
  return tempDir_.size();
}

bool WorkDirectory::PrepareWorkDirectory() {
  if (tempDir_.empty()) {
    std::string base;
    if (!ProgramDirectory(&base)) return false;
    base += "vocstemp";
    base += kPathSeparator;
    CurrentEnv()->CreateDir(base);  // usually exists already
    std::string unique;
    if (!MakeUniqueDirectory(base, directory_prefix_, &unique)) return false;
    tempDir_ = std::move(unique);
  } else if (!DirectoryExists(tempDir_) && !MakeDirectoryTree(tempDir_)) {
    return false;
  }
  EnsureTrailingSeparator(&tempDir_);
  return true;
}

bool WorkDirectory::MakeSpillFileName(std::string* path) {
  constexpr int kAttempts = 4;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (!PrepareWorkDirectory()) return false;
    if (MakeUniqueTempFile(tempDir_, spill_prefix_, path)) return true;
    if (DirectoryExists(tempDir_)) return false;  // not the race: a real failure
  }
  return false;
}

std::unique_ptr<WritableFile> WorkDirectory::OpenRawSpill() {
  std::string path;
  if (!MakeSpillFileName(&path)) return nullptr;
  std::unique_ptr<WritableFile> file = CurrentEnv()->NewWritableFile(path);
  if (file != nullptr) spillFiles_.push_back(std::move(path));
  return file;
}

bool WorkDirectory::FinishResultFile(const std::function<bool()>& merge) {
  if (spillFiles_.empty()) return false;
  std::string result;
  if (!MakeUniqueTempFile(tempDir_, "ok_", &result)) return false;
  resultPath_ = std::move(result);
  if (spillFiles_.size() > 1) return merge();
  return CurrentEnv()->RenameFile(spillFiles_.front(), resultPath_);
}

bool WorkDirectory::MakeResultFile() {
  std::string result;
  if (!PrepareWorkDirectory() || !MakeUniqueTempFile(tempDir_, "ok_", &result)) return false;
  resultPath_ = std::move(result);
  return true;
}

bool WorkDirectory::RemoveTemporaryFiles() {
  Env* env = CurrentEnv();
  for (const std::string& path : spillFiles_) env->RemoveFile(path);
  spillFiles_.clear();
  if (!resultPath_.empty()) env->RemoveFile(resultPath_);
  if (!tempDir_.empty()) env->RemoveDir(tempDir_);
  return true;
}

}  // namespace vocs
