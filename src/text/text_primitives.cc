#include "text/text_primitives.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "platform/mbcs.h"

// SSE2 is part of every x86-64 processor; other targets keep the scan that
// steps one character at a time.
#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define VOCS_BLOCK_SCAN 1
#else
#define VOCS_BLOCK_SCAN 0
#endif

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


#if VOCS_BLOCK_SCAN
// The delimiter scan, a block of 64 bytes at a time. Which bytes are trail
// bytes follows from the lead bytes alone: a run of lead bytes that starts
// on a character boundary pairs its bytes from its start, so its second,
// fourth... bytes are trail bytes, and so is the byte after it when the run's
// length is odd. A run starts on a boundary unless the byte before it is a
// lead byte that opens a character, which the carry from the block before
// tells.
constexpr size_t kBlockBytes = 64;

// lead: bit i set when byte i of the block is 0x81..0xFE. *carry: 1 when the
// block's first byte is the trail byte of a character opened by the block
// before; set for the next block. Returns the bits of the trail bytes.
inline uint64_t TrailBytes(uint64_t lead, uint64_t* carry) {
  constexpr uint64_t kEven = 0x5555555555555555ull;
  lead &= ~*carry;  // a trail byte opens nothing, whatever its value
  // The bytes right after a lead byte: the trail bytes are among them.
  const uint64_t after_lead = (lead << 1) | *carry;
  // Adding a run's start bit to a run that starts on an odd bit carries
  // through it: the sum keeps the runs that start on even bits and has one
  // bit just past each run that starts on an odd bit. Shifted by one, it
  // flips the even/odd pattern exactly where a run's pairing differs from
  // the block's, so the trail bytes are the bytes after a lead byte that
  // the corrected pattern marks.
  const uint64_t odd_starts = lead & ~kEven & ~after_lead;
  const uint64_t sum = odd_starts + lead;
  // A run that starts on an odd bit and reaches the block's end has an odd
  // length: its last byte opens a character whose trail is the next block's
  // first byte, and exactly then the addition carries out of the block.
  *carry = sum < lead ? 1 : 0;
  const uint64_t flip = sum << 1;
  return (kEven ^ flip) & after_lead;
}

// The masks of one block: lead bytes and bytes equal to d.
inline void BlockMasks(const char* p, char d, uint64_t* lead, uint64_t* hits) {
  const __m128i delimiter = _mm_set1_epi8(d);
  const __m128i lowest = _mm_set1_epi8(-128);
  const __m128i highest = _mm_set1_epi8(-1);
  uint64_t leads = 0;
  uint64_t matches = 0;
  for (int k = 0; k < 4; ++k) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
    // As signed bytes the lead bytes 0x81..0xFE are -127..-2.
    const __m128i is_lead =
        _mm_and_si128(_mm_cmpgt_epi8(bytes, lowest), _mm_cmplt_epi8(bytes, highest));
    leads |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(is_lead))) << (16 * k);
    matches |= static_cast<uint64_t>(
                   static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, delimiter))))
               << (16 * k);
  }
  *lead = leads;
  *hits = matches;
}
#endif

}  // namespace

DelimiterScan::DelimiterScan(std::string_view text, std::string_view set)
    : text_(text), set_(set) {
#if VOCS_BLOCK_SCAN
  // A byte below 0x80 is never a lead byte: the block scan is exact for it.
  blocks_ = set.size() == 1 && static_cast<unsigned char>(set[0]) < 0x80;
#endif
}

void DelimiterScan::Restart(size_t from) {
  block_start_ = block_end_ = from;
  found_ = 0;
  carry_ = 0;
}

size_t DelimiterScan::Next(size_t from) {
  if (!blocks_) {
    const size_t pos = FindDelimiterStepping(text_.substr(from), set_);
    return pos == std::string_view::npos ? pos : from + pos;
  }
  for (;;) {
    if (from < block_end_) {
      const size_t skip = from > block_start_ ? from - block_start_ : 0;
      const uint64_t found = found_ >> skip << skip;
      if (found != 0) return block_start_ + static_cast<size_t>(std::countr_zero(found));
    }
    if (block_end_ >= text_.size()) return std::string_view::npos;
    ReadBlock();
  }
}

void DelimiterScan::ReadBlock() {
#if VOCS_BLOCK_SCAN
  const char* p = text_.data();
  const size_t n = text_.size();
  const char d = set_[0];
  block_start_ = block_end_;
  uint64_t lead = 0;
  uint64_t hits = 0;
  if (block_start_ + kBlockBytes <= n) {
    BlockMasks(p + block_start_, d, &lead, &hits);
    block_end_ = block_start_ + kBlockBytes;
  } else {
    const size_t rest = n - block_start_;
    if (n >= kBlockBytes) {
      // The text's last block of bytes, shifted so that bit 0 is the block's
      // first byte: no read past the end.
      const size_t back = kBlockBytes - rest;
      BlockMasks(p + n - kBlockBytes, d, &lead, &hits);
      lead >>= back;
      hits >>= back;
    } else {
      char block[kBlockBytes] = {};
      std::memcpy(block, p + block_start_, rest);
      BlockMasks(block, d, &lead, &hits);
      const uint64_t valid = (uint64_t{1} << rest) - 1;
      lead &= valid;
      hits &= valid;
    }
    block_end_ = n;
  }
  found_ = hits & ~TrailBytes(lead, &carry_);
#endif
}

size_t FindDelimiter(std::string_view text, std::string_view set) {
  DelimiterScan scan(text, set);
  return scan.Next(0);
}

size_t FindDelimiterStepping(std::string_view text, std::string_view set) {
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
