#include "cooc/pair_line.h"

#include "text/leading_integer.h"

namespace vocs {

namespace {

// A cursor of the merge keeps at most this many bytes of a term.
constexpr size_t kMaxMergedTerm = 1023;

}  // namespace

bool ParsePairLine(std::string_view line, PairLine* out) {
  if (line.empty()) return false;
  size_t tabs[2];
  int found = 0;
  const size_t n = line.size();
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(line[i]);
    if (c >= 0x80) {
      ++i;  // the byte after it belongs to the same character
    } else if (c == '\t') {
      if (found == 2) return false;
      tabs[found++] = i;
    } else if (c == '\0') {
      break;
    }
  }
  if (found != 2) return false;
  out->term1 = line.substr(0, tabs[0]);
  out->term2 = line.substr(tabs[0] + 1, tabs[1] - tabs[0] - 1);
  out->count_text = line.substr(tabs[1] + 1);
  out->count = ParseLeadingInteger(out->count_text, IntegerOverflow::kSaturate);
  return true;
}

bool PairLineCodec::Parse(std::string_view line, Entry* entry) {
  PairLine pair;
  if (!ParsePairLine(line, &pair)) return false;
  *entry = Make(pair.term1.substr(0, kMaxMergedTerm), pair.term2.substr(0, kMaxMergedTerm),
                pair.count);
  return true;
}

}  // namespace vocs
