// The built module (libvocs.so, or vocs.dll on Windows), loaded as a server
// or a client program loads it (dlopen, LoadLibrary). Tests reach it only
// through its exported names, so they see what a real caller sees (its own
// copy of the module's state, its own Env).
//
// Without a path: on POSIX systems the library named by the environment
// variable VOCS_LIBRARY, which the test registration sets, else the build's
// default; on Windows vocs.dll beside the test program. A library loaded
// from a copy under another name is a second instance with state of its own.
#ifndef VOCS_TESTS_SUPPORT_LOADED_LIBRARY_H_
#define VOCS_TESTS_SUPPORT_LOADED_LIBRARY_H_

#include <string>

namespace vocs::testing {

class LoadedLibrary {
 public:
  LoadedLibrary();
  explicit LoadedLibrary(std::string path);
  ~LoadedLibrary();
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;

  bool ok() const { return handle_ != nullptr; }
  const std::string& error() const { return error_; }
  const std::string& path() const { return path_; }

  // The exported function `name`, or null.
  template <typename Function>
  Function Get(const char* name) const {
    return reinterpret_cast<Function>(Symbol(name));
  }

 private:
  void* Symbol(const char* name) const;

  std::string path_;
  std::string error_;
  void* handle_ = nullptr;
};

// The path of the library the tests load by default.
std::string DefaultLibraryPath();

// The directory of the running test program, with a trailing separator: the
// program directory the module resolves relative names against.
std::string TestProgramDirectory();

}  // namespace vocs::testing

#endif  // VOCS_TESTS_SUPPORT_LOADED_LIBRARY_H_
