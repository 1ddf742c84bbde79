// Helpers for the host and command tests: a scratch directory and GBK text
// built from UTF-8 literals. Header-only so that both test programs use it
// without linking the module's test support.
#ifndef VOCS_TESTS_HOST_HOST_TEST_UTIL_H_
#define VOCS_TESTS_HOST_HOST_TEST_UTIL_H_

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "host/text_codec.h"

namespace vocs::host::testing {

// A fresh directory, removed with its contents when the object goes away.
class TempDir {
 public:
  TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "vocs_host_test_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string Sub(const std::string& relative) const { return path_ + "/" + relative; }
  // Writes a file (parents created) and returns its path.
  std::string Write(const std::string& relative, const std::string& contents) const {
    const std::filesystem::path file = Sub(relative);
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out << contents;
    return file.string();
  }

 private:
  std::string path_;
};

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// UTF-8 -> GBK for test inputs; fails the test when the text has no GBK form.
inline std::string Gb18030(const std::string& utf8) {
  TextCodec codec;
  std::string gbk;
  EXPECT_TRUE(codec.Utf8ToGb18030(utf8, &gbk)) << utf8;
  return gbk;
}

inline std::string Utf8(const std::string& gbk) {
  TextCodec codec;
  std::string utf8;
  EXPECT_TRUE(codec.Gb18030ToUtf8(gbk, &utf8));
  return utf8;
}

}  // namespace vocs::host::testing

#endif  // VOCS_TESTS_HOST_HOST_TEST_UTIL_H_
