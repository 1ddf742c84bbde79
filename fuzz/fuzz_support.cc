#include "fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "vocs/errors.h"

namespace vocs::fuzz {

namespace fs = std::filesystem;

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

namespace {

void RemoveScratch();

const std::string& ScratchPath() {
  static const std::string path =
      (fs::temp_directory_path() / ("vocs-fuzz-" + std::to_string(::getpid()))).string();
  // Registered after the path is made, so that it runs before the path goes.
  static const bool removed_at_exit = std::atexit(RemoveScratch) == 0;
  (void)removed_at_exit;
  return path;
}

void RemoveScratch() {
  std::error_code ec;
  fs::remove_all(ScratchPath(), ec);
}

}  // namespace

const std::string& FreshScratchDirectory() {
  ConfineToScratch();
  static const std::string path = ScratchPath() + "/scratch";
  std::error_code ec;
  fs::remove_all(path, ec);
  fs::create_directories(path, ec);
  Check(!ec, "the scratch directory can be made");
  return path;
}

const std::string& ProcessDirectory() {
  ConfineToScratch();
  static const std::string path = [] {
    const std::string p = ScratchPath() + "/kept";
    std::error_code ec;
    fs::remove_all(p, ec);
    fs::create_directories(p, ec);
    Check(!ec, "the process directory can be made");
    return p;
  }();
  return path;
}

std::vector<std::string_view> SplitInput(std::string_view data, std::string_view separator,
                                         size_t max_parts) {
  std::vector<std::string_view> parts;
  while (parts.size() + 1 < max_parts) {
    const size_t at = data.find(separator);
    if (at == std::string_view::npos) break;
    parts.push_back(data.substr(0, at));
    data.remove_prefix(at + separator.size());
  }
  parts.push_back(data);
  return parts;
}

ConfinedEnv::ConfinedEnv(std::string root)
    : EnvWrapper(CurrentEnv()),
      root_(std::move(root)),
      installed_(std::make_unique<ScopedEnvForTesting>(this)) {}

ConfinedEnv::~ConfinedEnv() = default;

bool ConfinedEnv::Inside(const std::string& path) const {
  if (path.size() <= root_.size() || path.compare(0, root_.size(), root_) != 0 ||
      path[root_.size()] != '/') {
    return false;
  }
  for (size_t at = root_.size(); (at = path.find("/..", at)) != std::string::npos; ++at) {
    if (at + 3 == path.size() || path[at + 3] == '/') return false;
  }
  return true;
}

bool ConfinedEnv::GetExecutablePath(std::string* path) {
  *path = root_ + "/bin/server";
  return true;
}
int ConfinedEnv::CreateDir(const std::string& path) {
  return Inside(path) ? EnvWrapper::CreateDir(path) : 5;
}
bool ConfinedEnv::RemoveDir(const std::string& path) {
  return Inside(path) && EnvWrapper::RemoveDir(path);
}
bool ConfinedEnv::RemoveFile(const std::string& path) {
  return Inside(path) && EnvWrapper::RemoveFile(path);
}
bool ConfinedEnv::RenameFile(const std::string& from, const std::string& to) {
  return Inside(from) && Inside(to) && EnvWrapper::RenameFile(from, to);
}
bool ConfinedEnv::CopyFileTo(const std::string& from, const std::string& to) {
  return Inside(to) && EnvWrapper::CopyFileTo(from, to);
}
bool ConfinedEnv::CreateTempFile(const std::string& directory, const std::string& prefix,
                                 std::string* path) {
  return Inside(directory + prefix + "x") && prefix.find('/') == std::string::npos &&
         EnvWrapper::CreateTempFile(directory, prefix, path);
}
bool ConfinedEnv::CreateNewFile(const std::string& path) {
  return Inside(path) && EnvWrapper::CreateNewFile(path);
}
std::unique_ptr<WritableFile> ConfinedEnv::NewWritableFile(const std::string& path) {
  return Inside(path) ? EnvWrapper::NewWritableFile(path) : nullptr;
}

void ConfineToScratch() {
  // The scratch directory and the kept one are both below it.
  static ConfinedEnv confined(ScratchPath());
}

bool IsDocumentedCode(int code) {
  return std::string_view(vocs_error_message(code)) != "unknown error code";
}

void WriteFileOrDie(const std::string& path, std::string_view contents) {
  std::error_code ec;
  fs::create_directories(fs::path(path).parent_path(), ec);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
  out.close();
  Check(static_cast<bool>(out), "a file of the input can be written");
}

std::string ReadFileOrEmpty(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace vocs::fuzz
