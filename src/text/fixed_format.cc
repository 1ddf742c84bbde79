#include "text/fixed_format.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace vocs {

namespace {

// "00" to "99".
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

std::string_view WithPrintf(double value, char (&buffer)[40]) {
  std::snprintf(buffer, sizeof(buffer), "%0.4f", value);
  return std::string_view(buffer);
}

}  // namespace

std::string_view FormatFixed4(double value, char (&buffer)[40]) {
#if defined(__SIZEOF_INT128__)
  __extension__ typedef unsigned __int128 Uint128;
  // Beyond 1e15 the scaled value no longer fits 64 bits; printf handles it,
  // and negative numbers (-0.0 included), infinities and NaN.
  if (std::signbit(value) || !(value < 1e15)) return WithPrintf(value, buffer);
  // value = m * 2^e exactly.
  const uint64_t bits = std::bit_cast<uint64_t>(value);
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  uint64_t m = bits & ((uint64_t{1} << 52) - 1);
  int e = -1074;
  if (biased != 0) {
    m |= uint64_t{1} << 52;
    e = biased - 1075;
  }
  // q = value * 10^4 rounded to an integer, ties to even.
  uint64_t q = 0;
  if (e >= 0) {
    q = (m << e) * 10000;
  } else if (-e < 68) {  // else m * 10^4 < 2^67 is below half a unit: q = 0
    const int s = -e;
    const Uint128 product = static_cast<Uint128>(m) * 10000;
    q = static_cast<uint64_t>(product >> s);
    const Uint128 rest = product & ((static_cast<Uint128>(1) << s) - 1);
    const Uint128 half = static_cast<Uint128>(1) << (s - 1);
    if (rest > half || (rest == half && (q & 1) != 0)) ++q;
  }
  const uint64_t whole = q / 10000;
  const unsigned fraction = static_cast<unsigned>(q % 10000);
  char* p = buffer;
  if (whole < 10) {
    *p++ = static_cast<char>('0' + whole);
  } else if (whole < 100) {
    std::memcpy(p, kDigitPairs + 2 * whole, 2);
    p += 2;
  } else {
    p = std::to_chars(p, buffer + 24, whole).ptr;
  }
  p[0] = '.';
  std::memcpy(p + 1, kDigitPairs + 2 * (fraction / 100), 2);
  std::memcpy(p + 3, kDigitPairs + 2 * (fraction % 100), 2);
  p[5] = '\0';
  return std::string_view(buffer, static_cast<size_t>(p + 5 - buffer));
#else
  const auto result =
      std::to_chars(buffer, buffer + sizeof(buffer) - 1, value, std::chars_format::fixed, 4);
  if (result.ec != std::errc()) return WithPrintf(value, buffer);
  *result.ptr = '\0';
  return std::string_view(buffer, static_cast<size_t>(result.ptr - buffer));
#endif
}

}  // namespace vocs
