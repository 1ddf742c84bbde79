// GuardBoundary: the last line of the binary boundary.
//
// Every function a C caller or the server reaches (the exports, the module
// object's slots) runs its C++ body through GuardBoundary, so that nothing
// thrown inside (in practice std::bad_alloc from a container that cannot
// grow) unwinds into a caller that knows nothing of C++ exceptions. Whatever
// escapes becomes VOCS_E_OUT_OF_MEMORY; objects the body built are released
// by their destructors on the way out.
#ifndef VOCS_API_BOUNDARY_GUARD_H_
#define VOCS_API_BOUNDARY_GUARD_H_

#include <cstdint>
#include <utility>

#include "vocs/errors.h"

namespace vocs {

template <typename Body>
int32_t GuardBoundary(Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    // std::bad_alloc above all; no other exception is thrown on purpose.
    return VOCS_E_OUT_OF_MEMORY;
  }
}

}  // namespace vocs

#endif  // VOCS_API_BOUNDARY_GUARD_H_
