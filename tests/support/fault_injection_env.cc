#include "support/fault_injection_env.h"

namespace vocs {

namespace {

class FaultyWritableFile final : public WritableFile {
 public:
  FaultyWritableFile(FaultInjectionEnv* env, std::unique_ptr<WritableFile> target)
      : env_(env), target_(std::move(target)) {}

  bool Append(std::string_view data) override {
    if (failed_) return false;
    if (env_->ShouldFail(EnvOp::kAppend) || !env_->ConsumeDiskSpace(data.size())) {
      failed_ = true;
      return false;
    }
    return target_->Append(data);
  }
  bool Flush() override { return !failed_ && target_->Flush(); }
  bool Close() override {
    bool ok = target_->Close();
    return ok && !failed_;
  }
  uint64_t Position() const override { return target_->Position(); }

 private:
  FaultInjectionEnv* env_;
  std::unique_ptr<WritableFile> target_;
  bool failed_ = false;
};

class FaultySequentialFile final : public SequentialFile {
 public:
  FaultySequentialFile(FaultInjectionEnv* env, std::unique_ptr<SequentialFile> target)
      : env_(env), target_(std::move(target)) {}
  int64_t Read(char* buffer, size_t n) override {
    if (env_->ShouldFail(EnvOp::kRead)) return -1;
    return target_->Read(buffer, n);
  }

 private:
  FaultInjectionEnv* env_;
  std::unique_ptr<SequentialFile> target_;
};

}  // namespace

FaultInjectionEnv::FaultInjectionEnv(Env* target) : EnvWrapper(target) {}

void FaultInjectionEnv::FailAfter(EnvOp op, int successes, int error, bool persistent) {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_[static_cast<size_t>(op)] = Fault{true, successes, error, persistent};
}

void FaultInjectionEnv::FailAnyAfter(int successes, int error, bool persistent) {
  std::lock_guard<std::mutex> lock(mutex_);
  any_fault_ = Fault{true, successes, error, persistent};
}

void FaultInjectionEnv::FillDiskAfter(uint64_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  disk_space_ = bytes;
}

void FaultInjectionEnv::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_.fill(Fault{});
  any_fault_ = Fault{};
  disk_space_.reset();
  fired_ = false;
}

void FaultInjectionEnv::SetExecutablePath(std::string path) {
  std::lock_guard<std::mutex> lock(mutex_);
  executable_path_ = std::move(path);
}

int FaultInjectionEnv::calls(EnvOp op) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_[static_cast<size_t>(op)];
}

int FaultInjectionEnv::all_calls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  int total = 0;
  for (int n : calls_) total += n;
  return total;
}

bool FaultInjectionEnv::fired() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return fired_;
}

bool FaultInjectionEnv::ShouldFail(EnvOp op, int* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++calls_[static_cast<size_t>(op)];
  // Both countdowns see every call of their kinds, whichever fires.
  const bool by_kind = Fire(&faults_[static_cast<size_t>(op)], error);
  const bool by_count = Fire(&any_fault_, error);
  return by_kind || by_count;
}

bool FaultInjectionEnv::Fire(Fault* fault, int* error) {
  if (!fault->armed) return false;
  if (fault->remaining > 0) {
    --fault->remaining;
    return false;
  }
  if (error != nullptr) *error = fault->error;
  if (!fault->persistent) fault->armed = false;
  fired_ = true;
  return true;
}

bool FaultInjectionEnv::ConsumeDiskSpace(uint64_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!disk_space_) return true;
  if (*disk_space_ < bytes) {
    *disk_space_ = 0;
    fired_ = true;
    return false;
  }
  *disk_space_ -= bytes;
  return true;
}

bool FaultInjectionEnv::GetExecutablePath(std::string* path) {
  if (ShouldFail(EnvOp::kGetExecutablePath)) return false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (executable_path_) {
      *path = *executable_path_;
      return true;
    }
  }
  return EnvWrapper::GetExecutablePath(path);
}

bool FaultInjectionEnv::GetAttributes(const std::string& path, bool* is_directory) {
  if (ShouldFail(EnvOp::kGetAttributes)) return false;
  return EnvWrapper::GetAttributes(path, is_directory);
}

int FaultInjectionEnv::CreateDir(const std::string& path) {
  int error = 0;
  if (ShouldFail(EnvOp::kCreateDir, &error)) return error;
  return EnvWrapper::CreateDir(path);
}

bool FaultInjectionEnv::RemoveDir(const std::string& path) {
  if (ShouldFail(EnvOp::kRemoveDir)) return false;
  return EnvWrapper::RemoveDir(path);
}

bool FaultInjectionEnv::RemoveFile(const std::string& path) {
  if (ShouldFail(EnvOp::kRemoveFile)) return false;
  return EnvWrapper::RemoveFile(path);
}

bool FaultInjectionEnv::ListDirectory(const std::string& path,
                                      std::vector<DirectoryEntry>* entries) {
  if (ShouldFail(EnvOp::kListDirectory)) return false;
  return EnvWrapper::ListDirectory(path, entries);
}

bool FaultInjectionEnv::RenameFile(const std::string& from, const std::string& to) {
  if (ShouldFail(EnvOp::kRenameFile)) return false;
  return EnvWrapper::RenameFile(from, to);
}

bool FaultInjectionEnv::CopyFileTo(const std::string& from, const std::string& to) {
  if (ShouldFail(EnvOp::kCopyFileTo)) return false;
  return EnvWrapper::CopyFileTo(from, to);
}

bool FaultInjectionEnv::CreateTempFile(const std::string& directory,
                                       const std::string& prefix, std::string* path) {
  if (ShouldFail(EnvOp::kCreateTempFile)) return false;
  return EnvWrapper::CreateTempFile(directory, prefix, path);
}

bool FaultInjectionEnv::CreateNewFile(const std::string& path) {
  if (ShouldFail(EnvOp::kCreateNewFile)) return false;
  return EnvWrapper::CreateNewFile(path);
}

std::unique_ptr<WritableFile> FaultInjectionEnv::NewWritableFile(const std::string& path) {
  if (ShouldFail(EnvOp::kNewWritableFile)) return nullptr;
  auto file = EnvWrapper::NewWritableFile(path);
  if (!file) return nullptr;
  return std::make_unique<FaultyWritableFile>(this, std::move(file));
}

std::unique_ptr<SequentialFile> FaultInjectionEnv::NewSequentialFile(const std::string& path) {
  if (ShouldFail(EnvOp::kNewSequentialFile)) return nullptr;
  auto file = EnvWrapper::NewSequentialFile(path);
  if (!file) return nullptr;
  return std::make_unique<FaultySequentialFile>(this, std::move(file));
}

bool FaultInjectionEnv::GetIdentity(const std::string& path, FileIdentity* identity) {
  if (ShouldFail(EnvOp::kGetIdentity)) return false;
  return EnvWrapper::GetIdentity(path, identity);
}

}  // namespace vocs
