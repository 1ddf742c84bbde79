#include "platform/mbcs.h"

namespace vocs {

namespace {
unsigned char FoldAscii(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}
}  // namespace

bool EqualsIgnoreCaseMbcs(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  size_t i = 0;
  while (i < a.size()) {
    size_t n = CharLength(a, i);
    if (n == 2) {
      if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
    } else if (FoldAscii(static_cast<unsigned char>(a[i])) !=
               FoldAscii(static_cast<unsigned char>(b[i]))) {
      return false;
    }
    i += n;
  }
  return true;
}

size_t FindLastMbcs(std::string_view s, char c) {
  size_t found = std::string_view::npos;
  for (size_t i = 0; i < s.size(); i += CharLength(s, i)) {
    if (s[i] == c) found = i;
  }
  return found;
}

bool EndsWithMbcs(std::string_view s, char c) {
  return !s.empty() && s.back() == c && FindLastMbcs(s, c) == s.size() - 1;
}

}  // namespace vocs
