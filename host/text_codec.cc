#include "host/text_codec.h"

#include <errno.h>
#include <iconv.h>

#include <stdexcept>
#include <algorithm>
#include <utility>

namespace vocs::host {

namespace {

// Length of the UTF-8 sequence at text[i] when it is well-formed, else 0.
size_t Utf8SequenceLength(std::string_view text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char c = byte(i);
  if (c < 0x80) return 1;
  size_t n;
  uint32_t cp;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
    cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    cp = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    cp = c & 0x07;
  } else {
    return 0;
  }
  if (i + n > text.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF))) return 0;
  if (cp >= 0xD800 && cp <= 0xDFFF) return 0;
  return n;
}

constexpr std::string_view kUtf8Replacement = "\xEF\xBF\xBD";

bool IsAscii(std::string_view s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// `utf8` with every malformed sequence replaced by U+FFFD, one per byte that
// starts no well-formed sequence.
std::string SanitizeUtf8(std::string_view utf8, int64_t* replaced) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const size_t n = Utf8SequenceLength(utf8, i);
    if (n == 0) {
      out += kUtf8Replacement;
      if (replaced != nullptr) ++*replaced;
      ++i;
    } else {
      out.append(utf8.substr(i, n));
      i += n;
    }
  }
  return out;
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const size_t n = Utf8SequenceLength(text, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

bool LooksLikeUtf8(std::string_view text) {
  bool wide = false;
  for (size_t i = 0; i < text.size();) {
    const size_t n = Utf8SequenceLength(text, i);
    if (n == 0) return false;
    wide = wide || n >= 3;
    i += n;
  }
  return wide;
}

std::string_view StripUtf8Bom(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  return text;
}

// One iconv direction. Convert stops at the first sequence it cannot take
// and tells how far it got, so that callers either fail there or replace it
// and go on.
class TextCodec::Converter {
 public:
  Converter(const char* to, const char* from) : descriptor_(iconv_open(to, from)) {
    if (descriptor_ == reinterpret_cast<iconv_t>(-1)) {
      throw std::runtime_error(std::string("iconv cannot convert from ") + from + " to " + to);
    }
  }
  ~Converter() { iconv_close(descriptor_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Appends the conversion of `in` to *out. Returns the number of bytes of
  // `in` converted: all of them, or the offset of the first sequence that
  // does not convert (or is cut off at the end).
  size_t Convert(std::string_view in, std::string* out) {
    iconv(descriptor_, nullptr, nullptr, nullptr, nullptr);
    char* source = const_cast<char*>(in.data());
    size_t source_left = in.size();
    while (source_left > 0) {
      char buffer[4096];
      char* target = buffer;
      size_t target_left = sizeof buffer;
      const size_t result = iconv(descriptor_, &source, &source_left, &target, &target_left);
      out->append(buffer, static_cast<size_t>(target - buffer));
      if (result == static_cast<size_t>(-1) && errno != E2BIG) break;
    }
    return in.size() - source_left;
  }

 private:
  iconv_t descriptor_;
};

TextCodec::TextCodec()
    : to_utf8_(std::make_unique<Converter>("UTF-8", "GB18030")),
      from_utf8_(std::make_unique<Converter>("GB18030", "UTF-8")) {}

TextCodec::~TextCodec() = default;

bool TextCodec::Gb18030ToUtf8(std::string_view gb18030, std::string* utf8, size_t* error_offset) {
  utf8->clear();
  if (IsAscii(gb18030)) {
    utf8->assign(gb18030);
    return true;
  }
  const size_t done = to_utf8_->Convert(gb18030, utf8);
  if (done == gb18030.size()) return true;
  if (error_offset != nullptr) *error_offset = done;
  return false;
}

bool TextCodec::Utf8ToGb18030(std::string_view utf8, std::string* gb18030) {
  gb18030->clear();
  if (IsAscii(utf8)) {
    gb18030->assign(utf8);
    return true;
  }
  return IsValidUtf8(utf8) && from_utf8_->Convert(utf8, gb18030) == utf8.size();
}

std::string TextCodec::Utf8ToGb18030Replacing(std::string_view utf8, int64_t* replaced) {
  std::string out;
  if (IsAscii(utf8)) return std::string(utf8);
  std::string sanitized;
  if (!IsValidUtf8(utf8)) sanitized = SanitizeUtf8(utf8, replaced);
  std::string_view rest = sanitized.empty() ? utf8 : std::string_view(sanitized);
  while (!rest.empty()) {
    const size_t done = from_utf8_->Convert(rest, &out);
    if (done == rest.size()) break;
    // A character without a GB18030 code: one whole UTF-8 sequence.
    out += kGb18030Replacement;
    if (replaced != nullptr) ++*replaced;
    rest.remove_prefix(done + std::max<size_t>(1, Utf8SequenceLength(rest, done)));
  }
  return out;
}

std::string TextCodec::Gb18030ToUtf8Replacing(std::string_view gb18030, int64_t* replaced) {
  std::string out;
  if (IsAscii(gb18030)) return std::string(gb18030);
  while (!gb18030.empty()) {
    const size_t done = to_utf8_->Convert(gb18030, &out);
    if (done == gb18030.size()) break;
    out += kUtf8Replacement;
    if (replaced != nullptr) ++*replaced;
    gb18030.remove_prefix(done + 1);
  }
  return out;
}

std::string TextCodec::Shown(std::string_view gb18030, size_t max_characters) {
  icu::UnicodeString text = DecodeGb18030(gb18030);
  if (static_cast<size_t>(text.countChar32()) > max_characters) {
    text.truncate(text.moveIndex32(0, static_cast<int32_t>(max_characters)));
    text.append(icu::UnicodeString(u"..."));
  }
  std::string utf8;
  text.toUTF8String(utf8);
  return utf8;
}

icu::UnicodeString TextCodec::DecodeGb18030(std::string_view gb18030, int64_t* replaced) {
  const std::string utf8 = Gb18030ToUtf8Replacing(gb18030, replaced);
  return icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
}

icu::UnicodeString TextCodec::DecodeUtf8(std::string_view utf8, int64_t* replaced) {
  if (!IsValidUtf8(utf8)) {
    const std::string valid = SanitizeUtf8(utf8, replaced);
    return icu::UnicodeString::fromUTF8(
        icu::StringPiece(valid.data(), static_cast<int32_t>(valid.size())));
  }
  return icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
}

}  // namespace vocs::host
