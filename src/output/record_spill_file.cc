#include "output/record_spill_file.h"

#include <algorithm>

#include "platform/paths.h"

namespace vocs {

namespace {

constexpr std::string_view kSpillPrefix = "rec_";

}  // namespace

RecordSpillFile::~RecordSpillFile() {
  if (current_) current_->Close();
}

bool RecordSpillFile::SetDirectory(std::string_view directory) {
  if (directory.empty()) return false;
  directory_ = directory;
  EnsureTrailingSeparator(&directory_);
  return true;
}

bool RecordSpillFile::CreateNext() {
  std::string name;
  if (directory_.empty() || !MakeUniqueTempFile(directory_, kSpillPrefix, &name)) {
    failed_ = true;
    return false;
  }
  std::unique_ptr<WritableFile> file = CurrentEnv()->NewWritableFile(name);
  if (!file) {
    CurrentEnv()->RemoveFile(name);  // the empty file MakeUniqueTempFile left
    failed_ = true;
    return false;
  }
  current_ = std::move(file);
  current_name_ = std::move(name);
  return true;
}

bool RecordSpillFile::Append(std::string_view text) {
  if (failed_ || !current_) return false;
  if (!current_->Append(text)) {
    failed_ = true;
    return false;
  }
  if (current_->Position() >= size_limit_) {
    // A close that fails may have lost this very text: report it now.
    if (!CloseCurrent()) return false;
    CreateNext();
  }
  return true;
}

bool RecordSpillFile::CloseCurrent() {
  if (!current_) return true;
  bool closed = current_->Close();
  current_.reset();
  completed_.push_back(std::move(current_name_));
  current_name_.clear();
  if (!closed) failed_ = true;
  return closed;
}

void RecordSpillFile::RemoveCompleted(const std::string& name) {
  auto it = std::find(completed_.begin(), completed_.end(), name);
  if (it != completed_.end()) completed_.erase(it);
}

}  // namespace vocs
