#include "cooc/pair_values.h"

#include "text/fixed_format.h"

namespace vocs {

std::string_view FormatPairValue(PairValue value, int64_t count, int64_t base,
                                 char (&buffer)[40]) {
  const double share = static_cast<double>(count) / static_cast<double>(base) * 100;
  return FormatFixed4(
      value == PairValue::kSupport1 ? share : static_cast<double>(static_cast<float>(share)),
      buffer);
}

}  // namespace vocs
