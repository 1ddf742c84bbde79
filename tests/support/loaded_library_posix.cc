#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>

#include "support/loaded_library.h"

namespace vocs::testing {

LoadedLibrary::LoadedLibrary() : LoadedLibrary(DefaultLibraryPath()) {}

LoadedLibrary::LoadedLibrary(std::string path) : path_(std::move(path)) {
  handle_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* message = dlerror();
    error_ = message != nullptr ? message : "dlopen failed";
  }
}

LoadedLibrary::~LoadedLibrary() {
  if (handle_ != nullptr) dlclose(handle_);
}

void* LoadedLibrary::Symbol(const char* name) const {
  return handle_ != nullptr ? dlsym(handle_, name) : nullptr;
}

std::string DefaultLibraryPath() {
  const char* from_env = std::getenv("VOCS_LIBRARY");
  return from_env != nullptr && from_env[0] != '\0' ? from_env : VOCS_DEFAULT_LIBRARY_PATH;
}

std::string TestProgramDirectory() {
  char buffer[4096];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  if (n <= 0) return "";
  std::string path(buffer, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/') + 1);
}

}  // namespace vocs::testing
