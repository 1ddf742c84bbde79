#include "cli/module_loader.h"

#include <dlfcn.h>

#include <filesystem>

#include "cli/cli_common.h"

namespace vocs::cli {

std::string DefaultModulePath() {
  // Beside the command in a build tree; in the library directory of an
  // installed prefix.
  const std::string beside = ProgramDirectory() + "/libvocs.so";
  const std::string installed = ProgramDirectory() + "/" VOCS_LIBDIR_FROM_BINDIR "/libvocs.so";
  std::error_code ec;
  if (!std::filesystem::exists(beside, ec) && std::filesystem::exists(installed, ec)) {
    return std::filesystem::path(installed).lexically_normal().string();
  }
  return beside;
}

LoadedModule::~LoadedModule() {
  if (module_ != nullptr) module_->Release();
  if (library_ != nullptr) dlclose(library_);
}

bool LoadedModule::Load(const std::string& path, std::string* error) {
  library_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library_ == nullptr) {
    const char* message = dlerror();
    *error = "cannot load the module " + path + ": " + (message != nullptr ? message : "?");
    return false;
  }
  auto create = reinterpret_cast<PlugModuleCreateFunction>(
      dlsym(library_, "PlugModule_CreateInstance"));
  if (create == nullptr) {
    *error = "the module " + path + " has no PlugModule_CreateInstance";
    return false;
  }
  create("vocs", &module_);
  if (module_ == nullptr) {
    *error = "the module " + path + " made no module object";
    return false;
  }
  return true;
}

bool HasModuleFactory(const std::string& path) {
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return false;
  const bool found = dlsym(library, "PlugModule_CreateInstance") != nullptr;
  dlclose(library);
  return found;
}

}  // namespace vocs::cli
