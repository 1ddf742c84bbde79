// The support and reliability values of a co-occurrence result, as delivery
// prints them: one pair's count as a percentage of a term's participation
// count (Support1, Support2) or of the total of all participation counts
// (Reliability). Readers of a result that check its values against counts
// they hold use the same function, so a value they compute is the one the
// engine would have printed. Plain functions; any thread.
#ifndef VOCS_COOC_PAIR_VALUES_H_
#define VOCS_COOC_PAIR_VALUES_H_

#include <cstdint>
#include <string_view>

namespace vocs {

enum class PairValue {
  kSupport1,     // count / term1's participation count * 100, in double precision
  kSupport2,     // count / term2's participation count * 100, held in single precision
  kReliability,  // count / the total participation count * 100, held in single precision
};

// count / base * 100 with every division in double precision, rounded to
// single precision first for Support2 and Reliability, formatted "%0.4f" into
// `buffer`. The view points into `buffer`.
std::string_view FormatPairValue(PairValue value, int64_t count, int64_t base,
                                 char (&buffer)[40]);

}  // namespace vocs

#endif  // VOCS_COOC_PAIR_VALUES_H_
