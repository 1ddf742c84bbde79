// Packed request bodies from an untrusted peer: decoding must never read past
// the given end, whatever the counts and strings claim, and a decoded request
// must run (here without a host, so the job refuses it) without fault. The
// module may change files only below the scratch directory, whatever names
// the body holds.
#include <cstdint>
#include <string>

#include "api/packed_request.h"
#include "api/plug_module.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy, so that any read past the end is caught by the
  // address sanitizer.
  vocs::fuzz::FreshScratchDirectory();
  std::string body(reinterpret_cast<const char*>(data), size);
  const char* begin = body.data();
  const char* end = begin + body.size();
  for (bool with_min_frequency : {false, true}) {
    vocs::PackedRequest request;
    vocs::DecodePackedBody(begin, end, with_min_frequency, &request);
  }
  static vocs::PlugModule* module = nullptr;
  if (module == nullptr) {
    PlugModuleInterface* created = nullptr;
    PlugModule_CreateInstance("fuzz", &created);
    module = static_cast<vocs::PlugModule*>(created);
  }
  module->RunPackedRequest("VOCS_Frequency", begin, end);
  module->RunPackedRequest("VOCS_Associated", begin, end);
  return 0;
}
