#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "platform/mbcs.h"
#include "support/loaded_library.h"

namespace vocs::testing {

LoadedLibrary::LoadedLibrary() : LoadedLibrary(DefaultLibraryPath()) {}

LoadedLibrary::LoadedLibrary(std::string path) : path_(std::move(path)) {
  HMODULE module = LoadLibraryA(path_.c_str());
  if (module == nullptr) {
    error_ = "LoadLibrary(" + path_ + ") failed with error " + std::to_string(GetLastError());
  }
  handle_ = reinterpret_cast<void*>(module);
}

LoadedLibrary::~LoadedLibrary() {
  if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
}

void* LoadedLibrary::Symbol(const char* name) const {
  if (handle_ == nullptr) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

std::string DefaultLibraryPath() { return TestProgramDirectory() + "vocs.dll"; }

std::string TestProgramDirectory() {
  char buffer[MAX_PATH + 1];
  DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof(buffer));
  if (n == 0 || n >= sizeof(buffer)) return "";
  std::string path(buffer, n);
  return path.substr(0, FindLastMbcs(path, '\\') + 1);
}

}  // namespace vocs::testing
