// Byte strings in code page 936 (GBK): a byte from 0x81 to 0xFE and the byte
// after it form one two-byte character; every other byte is a character of its
// own. Searches and comparisons of names step over two-byte characters whole,
// so a trail byte is never taken for a separator or a letter.
#ifndef VOCS_PLATFORM_MBCS_H_
#define VOCS_PLATFORM_MBCS_H_

#include <cstddef>
#include <string_view>

namespace vocs {

inline bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// Length in bytes of the character at s[i]: 2 for a lead byte with a byte
// after it, else 1.
inline size_t CharLength(std::string_view s, size_t i) {
  return IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
}

// Equal without regard to the case of ASCII letters; two-byte characters must
// match exactly.
bool EqualsIgnoreCaseMbcs(std::string_view a, std::string_view b);

// Position of the last character equal to the one-byte character c, or npos.
size_t FindLastMbcs(std::string_view s, char c);

// Whether the last character of s is the one-byte character c; the trail
// byte of a two-byte character never counts, whatever its value.
bool EndsWithMbcs(std::string_view s, char c);

}  // namespace vocs

#endif  // VOCS_PLATFORM_MBCS_H_
