// A fresh directory below the system's temporary directory, removed with all
// its contents when the object goes away. path() ends without a separator.
//
// Tests write relative names with "/"; Sub and NativePath turn it into the
// platform's separator, which is the one the module's path rules know.
#ifndef VOCS_TESTS_SUPPORT_TEMP_DIR_H_
#define VOCS_TESTS_SUPPORT_TEMP_DIR_H_

#include <filesystem>
#include <string>
#include <vector>

namespace vocs::testing {

// `path` with every "/" replaced by the platform's separator.
std::string NativePath(std::string path);

class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  const std::string& path() const { return path_; }
  // path(), the separator and `relative` in native form: Sub("") is the
  // directory with a trailing separator, Sub("a/b/") "<path>\a\b\" on Windows.
  std::string Sub(const std::string& relative) const;
  // Creates the parent directories and writes the file.
  void WriteFile(const std::string& relative, const std::string& contents) const;

 private:
  std::string path_;
};

// The whole content of a file, or "<missing>".
std::string ReadFileOrMissing(const std::string& path);
// Names of the entries of a directory (recursive, relative, with "/" between
// levels and after a directory's name, sorted), for asserting what a run left
// behind.
std::vector<std::string> ListTree(const std::string& directory);

}  // namespace vocs::testing

#endif  // VOCS_TESTS_SUPPORT_TEMP_DIR_H_
