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
#include <cstring>
#include <string_view>

namespace vocs {

inline uint64_t OrderPrefix(std::string_view term) {
  unsigned char bytes[8] = {};
  std::memcpy(bytes, term.data(), term.size() < 8 ? term.size() : 8);
  uint64_t value;
  std::memcpy(&value, bytes, 8);
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
