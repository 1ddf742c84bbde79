// The built libvocs.so, loaded with dlopen as a server or a client program
// loads it. Tests reach it only through its exported names, so they see what
// a real caller sees (its own copy of the module's state, its own Env).
//
// The library's path comes from the environment variable VOCS_LIBRARY, which
// the test registration sets; the build's default is used otherwise.
#ifndef VOCS_TESTS_SUPPORT_LOADED_LIBRARY_H_
#define VOCS_TESTS_SUPPORT_LOADED_LIBRARY_H_

#include <string>

namespace vocs::testing {

class LoadedLibrary {
 public:
  LoadedLibrary();
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

// The directory of the running test program, with a trailing separator: the
// program directory the module resolves relative names against.
std::string TestProgramDirectory();

}  // namespace vocs::testing

#endif  // VOCS_TESTS_SUPPORT_LOADED_LIBRARY_H_
