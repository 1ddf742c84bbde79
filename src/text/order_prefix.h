// OrderPrefix: the first eight bytes of a term, zero-padded, as a big-endian
// number. Two prefixes compare as the terms' first eight bytes compare in
// unsigned byte order (a proper prefix first), so sorts and merges decide
// most comparisons with one integer comparison and read the bytes only when
// the prefixes are equal. Equal prefixes say nothing about the bytes after
// the eighth. Any thread.
#ifndef VOCS_TEXT_ORDER_PREFIX_H_
#define VOCS_TEXT_ORDER_PREFIX_H_

#include <bit>
#include <cstdint>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace vocs {

// The first n (at most eight) bytes at p as one native-order word, the bytes
// past n zero: the word a copy of those bytes into a zeroed uint64_t holds.
// Reads exactly bytes p[0..n). Two overlapping loads instead of a copy of
// variable length, which would go through memory byte by byte and stall the
// load of the word that follows it: this runs once per term lookup.
inline uint64_t LoadPaddedWord(const char* p, size_t n) {
  if constexpr (std::endian::native == std::endian::little) {
    if (n >= 4) {
      uint32_t low, high;
      std::memcpy(&low, p, 4);
      std::memcpy(&high, p + n - 4, 4);
      // Bytes n-4..3 are in both words, with the same values.
      return low | (static_cast<uint64_t>(high) << (8 * (n - 4)));
    }
    if (n >= 2) {
      uint16_t low, high;
      std::memcpy(&low, p, 2);
      std::memcpy(&high, p + n - 2, 2);
      return low | (static_cast<uint64_t>(high) << (8 * (n - 2)));
    }
    return n == 1 ? static_cast<unsigned char>(*p) : 0;
  } else {
    uint64_t value = 0;
    std::memcpy(&value, p, n);
    return value;
  }
}

inline uint64_t OrderPrefix(std::string_view term) {
  uint64_t value = LoadPaddedWord(term.data(), term.size() < 8 ? term.size() : 8);
  if constexpr (std::endian::native == std::endian::little) {
#if defined(__GNUC__)
    value = __builtin_bswap64(value);
#else
    value = ((value & 0x00000000000000FFull) << 56) | ((value & 0x000000000000FF00ull) << 40) |
            ((value & 0x0000000000FF0000ull) << 24) | ((value & 0x00000000FF000000ull) << 8) |
            ((value & 0x000000FF00000000ull) >> 8) | ((value & 0x0000FF0000000000ull) >> 24) |
            ((value & 0x00FF000000000000ull) >> 40) | ((value & 0xFF00000000000000ull) >> 56);
#endif
  }
  return value;
}

}  // namespace vocs

#endif  // VOCS_TEXT_ORDER_PREFIX_H_
