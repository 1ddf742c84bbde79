#include "support/temp_dir.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "platform/path_style.h"

namespace vocs::testing {

std::string NativePath(std::string path) {
  std::replace(path.begin(), path.end(), '/', kPathSeparator);
  return path;
}

ScopedTempDir::ScopedTempDir() {
  // A name no other test, thread or process is using: creating the
  // directory decides, since it fails when the name is taken.
  static std::atomic<unsigned> sequence{0};
  static const unsigned long long process_seed =
      std::random_device{}() ^
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::ostringstream name;
    name << "vocs-test-" << std::hex << process_seed << '-' << sequence.fetch_add(1);
    std::filesystem::path candidate = base / name.str();
    std::error_code ec;
    if (std::filesystem::create_directory(candidate, ec)) {
      path_ = candidate.string();
      return;
    }
    if (ec) break;
  }
  throw std::runtime_error("cannot create a temporary directory below " + base.string());
}

ScopedTempDir::~ScopedTempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ScopedTempDir::Sub(const std::string& relative) const {
  return path_ + kPathSeparator + NativePath(relative);
}

void ScopedTempDir::WriteFile(const std::string& relative, const std::string& contents) const {
  std::filesystem::path p = Sub(relative);
  std::filesystem::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << contents;
}

std::string ReadFileOrMissing(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "<missing>";
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> ListTree(const std::string& directory) {
  std::vector<std::string> names;
  std::error_code ec;
  if (!std::filesystem::exists(directory, ec)) return names;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(directory, ec)) {
    std::string name = std::filesystem::relative(entry.path(), directory).generic_string();
    if (entry.is_directory()) name += "/";
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace vocs::testing
