#include "text/text_primitives.h"

#include "platform/mbcs.h"

namespace vocs {

namespace {

// Whether the character text[i..i+n) is a member of set.
bool InSet(std::string_view set, const char* c, size_t n) {
  for (size_t d = 0; d < set.size(); d += CharLength(set, d)) {
    size_t m = CharLength(set, d);
    if (m == n && set.compare(d, m, std::string_view(c, n)) == 0) return true;
  }
  return false;
}

size_t LeadingRun(std::string_view s, std::string_view set) {
  size_t i = 0;
  while (i < s.size()) {
    size_t n = CharLength(s, i);
    if (!InSet(set, s.data() + i, n)) break;
    i += n;
  }
  return i;
}

// Length of s once its trailing members of set (and 0 bytes) are removed.
// Stepping back is done by finding the character boundaries from the front,
// since a trail byte cannot be told from a lead byte on its own.
size_t TrailingCut(std::string_view s, std::string_view set) {
  size_t keep = 0;  // end of the last character that is kept
  size_t i = 0;
  while (i < s.size()) {
    size_t n = CharLength(s, i);
    bool removable = (n == 1 && s[i] == '\0') || InSet(set, s.data() + i, n);
    i += n;
    if (!removable) keep = i;
  }
  return keep;
}

// A lead byte followed by a digit opens a four-byte character of the host's
// code page (GB18030), which holds every character GBK lacks. The two-byte
// rule above keeps pairs of bytes whole and can therefore stop in the middle
// of one; such a remainder goes, so that a cut term stays decodable. GBK
// never puts a digit after a lead byte, so GBK terms are cut as before.
std::string_view DropCutFourByteCharacter(std::string_view term) {
  const auto at = [&](size_t i) { return static_cast<unsigned char>(term[i]); };
  size_t i = 0;
  while (i < term.size()) {
    if (IsLeadByte(at(i)) && i + 1 < term.size() && at(i + 1) >= '0' && at(i + 1) <= '9') {
      if (i + 4 > term.size()) return term.substr(0, i);
      i += 4;
    } else {
      i += CharLength(term, i);
    }
  }
  return term;
}

}  // namespace

size_t FindDelimiter(std::string_view text, std::string_view set) {
  if (set.size() == 1) {
    // The common cases ("/" and one-byte delimiters) need no membership loop;
    // the scan still steps over two-byte characters.
    const char d = set[0];
    for (size_t i = 0; i < text.size();) {
      unsigned char c = static_cast<unsigned char>(text[i]);
      if (IsLeadByte(c) && i + 1 < text.size()) {
        i += 2;
        continue;
      }
      // A lead byte at the very end is a one-byte character of its own and
      // is compared like any other, as the general loop below does.
      if (text[i] == d) return i;
      ++i;
    }
    return std::string_view::npos;
  }
  for (size_t i = 0; i < text.size();) {
    size_t n = CharLength(text, i);
    if (InSet(set, text.data() + i, n)) return i;
    i += n;
  }
  return std::string_view::npos;
}

size_t SkipBlanks(std::string_view token, std::string_view wide_blanks) {
  size_t i = 0;
  while (i < token.size()) {
    unsigned char c = static_cast<unsigned char>(token[i]);
    size_t n = CharLength(token, i);
    if (n == 1 && c >= 0x01 && c <= 0x20) {
      ++i;
    } else if (n == 2 && InSet(wide_blanks, token.data() + i, 2)) {
      i += 2;
    } else {
      break;
    }
  }
  return i;
}

void TrimSet(std::string* s, std::string_view set) {
  size_t lead = LeadingRun(*s, set);
  if (lead > 0) s->erase(0, lead);
  TrimRightSet(s, set);
}

void TrimRightSet(std::string* s, std::string_view set) {
  s->resize(TrailingCut(*s, set));
}

std::string_view TrimSetView(std::string_view s, std::string_view set) {
  s.remove_prefix(LeadingRun(s, set));
  return s.substr(0, TrailingCut(s, set));
}

std::string_view CutTerm(std::string_view term) {
  if (term.size() <= kMaxTermLength) return term;
  term = term.substr(0, kMaxTermLength);
  size_t last = term.size() - 1;
  size_t leads = 0;
  while (leads < last && IsLeadByte(static_cast<unsigned char>(term[last - 1 - leads]))) {
    ++leads;
  }
  if (leads % 2 == 0 && static_cast<unsigned char>(term[last]) >= 0x80) {
    term.remove_suffix(1);
  }
  return DropCutFourByteCharacter(term);
}

}  // namespace vocs
