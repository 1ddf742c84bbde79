// TextCodec: conversion between the module's code page and UTF-8.
//
// The embedded host is the encoding boundary of the system: SQLite holds UTF-8,
// the module works in code page 936. The host speaks GB18030 to it: GBK for
// every GBK character, and four bytes for every other Unicode character, so
// that no character is lost on the way in and every result converts back to
// the same UTF-8. Strict conversions refuse any input that does not decode, so
// that a bad byte is reported instead of silently stored; the replacing
// conversions are for values the host must hand over whatever they contain
// (a stored text read back by the module, a file being segmented): each
// sequence that does not convert becomes U+FFFD and is counted.
//
// The conversions use the C library's iconv, the same tables the module's
// platform layer uses for file names, so a path the host writes into a
// statement names the file the module opens.
//
// Threads: an object keeps converter state; use one object per thread.
#ifndef VOCS_HOST_TEXT_CODEC_H_
#define VOCS_HOST_TEXT_CODEC_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include <unicode/unistr.h>

namespace vocs::host {

// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool IsValidUtf8(std::string_view text);

// True when `text` is well-formed UTF-8 holding at least one character of
// three or more bytes (U+0800 and above: every CJK character). Pure ASCII and
// texts whose only non-ASCII sequences are two-byte ones count as not UTF-8:
// short GBK texts are often valid two-byte UTF-8 by accident (GBK "没" is the
// UTF-8 of "û"), while GBK Chinese text almost never forms valid three-byte
// sequences. ASCII reads the same in both encodings.
bool LooksLikeUtf8(std::string_view text);

// Removes a leading UTF-8 byte order mark, if any.
std::string_view StripUtf8Bom(std::string_view text);

// The GB18030 bytes of U+FFFD, which stands for what could not be converted.
inline constexpr std::string_view kGb18030Replacement = "\x84\x31\xA4\x37";

class TextCodec {
 public:
  TextCodec();
  ~TextCodec();
  TextCodec(const TextCodec&) = delete;
  TextCodec& operator=(const TextCodec&) = delete;

  // Strict GB18030 -> UTF-8. False (and *utf8 unspecified) when a byte
  // sequence does not decode; *error_offset then tells the byte where.
  bool Gb18030ToUtf8(std::string_view gb18030, std::string* utf8,
                     size_t* error_offset = nullptr);
  // Strict UTF-8 -> GB18030. False when the input is not UTF-8 or holds a
  // character without a GB18030 code (a few private-use characters).
  bool Utf8ToGb18030(std::string_view utf8, std::string* gb18030);

  // The replacing forms: every sequence that does not convert becomes
  // U+FFFD; *replaced (when given) grows by the number of replacements.
  std::string Utf8ToGb18030Replacing(std::string_view utf8, int64_t* replaced = nullptr);
  std::string Gb18030ToUtf8Replacing(std::string_view gb18030, int64_t* replaced = nullptr);

  // A GB18030 text for a message: UTF-8, replacing, at most about
  // `max_characters` characters ("..." marks a cut).
  std::string Shown(std::string_view gb18030, size_t max_characters = 160);

  // Decodings into UTF-16 for the segmenter, replacing as above.
  icu::UnicodeString DecodeGb18030(std::string_view gb18030, int64_t* replaced = nullptr);
  static icu::UnicodeString DecodeUtf8(std::string_view utf8, int64_t* replaced = nullptr);

 private:
  class Converter;
  std::unique_ptr<Converter> to_utf8_;
  std::unique_ptr<Converter> from_utf8_;
};

}  // namespace vocs::host

#endif  // VOCS_HOST_TEXT_CODEC_H_
