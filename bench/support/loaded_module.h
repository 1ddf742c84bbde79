// LoadedModule: libvocs.so loaded with dlopen and its exports resolved, as a
// server loads the module, for benchmarks that time the exported calls.
//
// The library stays loaded for the rest of the process (the benchmarks load
// it in a forked child that ends after one call). Single-threaded.
#ifndef VOCS_BENCH_SUPPORT_LOADED_MODULE_H_
#define VOCS_BENCH_SUPPORT_LOADED_MODULE_H_

#include <string>

#include "vocs/vocs.h"

namespace vocs::bench {

struct LoadedModule {
  decltype(&VOCS_Frequency) frequency = nullptr;
  decltype(&VOCS_Together) together = nullptr;
};

// Loads `library`, resolves its exports and sets its temporary path to
// `work` (made first, with its parents). Exits the program, saying why, when
// any step fails.
LoadedModule LoadModuleOrDie(const std::string& library, const std::string& work);

}  // namespace vocs::bench

#endif  // VOCS_BENCH_SUPPORT_LOADED_MODULE_H_
