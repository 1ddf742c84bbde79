#include "support/loaded_module.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace vocs::bench {

LoadedModule LoadModuleOrDie(const std::string& library, const std::string& work) {
  void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    std::fprintf(stderr, "cannot load %s: %s\n", library.c_str(), dlerror());
    std::exit(1);
  }
  auto set_temp_path =
      reinterpret_cast<decltype(&VOCS_SetTempPath)>(dlsym(handle, "VOCS_SetTempPath"));
  LoadedModule module;
  module.frequency = reinterpret_cast<decltype(&VOCS_Frequency)>(dlsym(handle, "VOCS_Frequency"));
  module.together = reinterpret_cast<decltype(&VOCS_Together)>(dlsym(handle, "VOCS_Together"));
  if (set_temp_path == nullptr || module.frequency == nullptr || module.together == nullptr) {
    std::fprintf(stderr, "%s lacks the exports\n", library.c_str());
    std::exit(1);
  }
  std::filesystem::create_directories(work);
  if (set_temp_path(work.c_str()) <= 0) {
    std::fprintf(stderr, "VOCS_SetTempPath(%s) failed\n", work.c_str());
    std::exit(1);
  }
  return module;
}

}  // namespace vocs::bench
