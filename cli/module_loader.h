// LoadedModule: libvocs.so opened with dlopen and one module object made by
// its PlugModule_CreateInstance, as a database server loads it.
//
// The object is released (its Release operation) before the library is
// closed. The host given to SetHost must outlive the module.
#ifndef VOCS_CLI_MODULE_LOADER_H_
#define VOCS_CLI_MODULE_LOADER_H_

#include <string>

#include "vocs/module.h"

namespace vocs::cli {

// Where the module is looked for when no path is given: libvocs.so beside
// the executable, else in the library directory of the prefix the executable
// is installed in (bin/../lib).
std::string DefaultModulePath();

class LoadedModule {
 public:
  LoadedModule() = default;
  ~LoadedModule();
  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;

  // Opens the library and creates the module object. False with *error set
  // when the library cannot be opened, has no factory, or makes no object.
  bool Load(const std::string& path, std::string* error);

  void SetHost(HostInterface* host) { module_->SetHostInterface(host); }
  // Sends one command ("sql!" framing and the rest) and returns its code.
  int32_t Execute(const std::string& request) {
    return module_->Execute(request.data(), 0, 0, 0);
  }

 private:
  void* library_ = nullptr;
  PlugModuleInterface* module_ = nullptr;
};

// True when the library at `path` exports the module factory (for tests that
// need a module that can run statements).
bool HasModuleFactory(const std::string& path);

}  // namespace vocs::cli

#endif  // VOCS_CLI_MODULE_LOADER_H_
