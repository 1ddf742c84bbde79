// A differential target: the fixed four-decimal formatter of the deliveries
// against the C library's snprintf("%0.4f"), for any double and for the
// ratios the deliveries print (a count over a base, times 100, in double and
// in single precision).
#include <cstdio>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "text/fixed_format.h"

namespace {

void Compare(double value) {
  char ours[40];
  char theirs[40];
  const std::string_view formatted = vocs::FormatFixed4(value, ours);
  std::snprintf(theirs, sizeof theirs, "%0.4f", value);
  if (formatted != theirs) {
    std::fprintf(stderr, "%a: \"%.*s\" where snprintf gives \"%s\"\n", value,
                 static_cast<int>(formatted.size()), formatted.data(), theirs);
    vocs::fuzz::Check(false, "the formatter agrees with snprintf");
  }
  vocs::fuzz::Check(std::strlen(ours) == formatted.size(), "the text ends with its terminator");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size >= sizeof(double)) {
    double value;
    std::memcpy(&value, data, sizeof value);
    Compare(value);
  }
  if (size >= 16) {
    int64_t count;
    int64_t base;
    std::memcpy(&count, data, sizeof count);
    std::memcpy(&base, data + 8, sizeof base);
    if (base != 0) {
      const double ratio = static_cast<double>(count) / static_cast<double>(base);
      Compare(ratio);
      Compare(ratio * 100);
      Compare(static_cast<double>(static_cast<float>(ratio * 100)));
    }
  }
  return 0;
}
