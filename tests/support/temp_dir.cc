#include "support/temp_dir.h"

#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace vocs::testing {

ScopedTempDir::ScopedTempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vocs-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScopedTempDir::~ScopedTempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
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
    std::string name = std::filesystem::relative(entry.path(), directory).string();
    if (entry.is_directory()) name += "/";
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace vocs::testing
