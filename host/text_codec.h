// TextCodec: conversion between code page 936 (GBK) and UTF-8, through ICU.
//
// The embedded host is the encoding boundary of the system: SQLite holds UTF-8,
// the module works in GBK. Strict conversions refuse any input that does not
// decode or any character GBK cannot hold, so that a bad byte is reported
// instead of silently stored; the substituting conversion is for values the
// host must hand over whatever they contain (a stored text read back by the
// module), and writes "?" for a character GBK cannot hold.
//
// GBK here is ICU's "GBK" table (windows-936-2000: GB2312, the GBK extension
// and 0x80 for the euro sign).
//
// Threads: an object keeps ICU converter state; use one object per thread.
#ifndef VOCS_HOST_TEXT_CODEC_H_
#define VOCS_HOST_TEXT_CODEC_H_

#include <string>
#include <string_view>

#include <unicode/ucnv.h>
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

class TextCodec {
 public:
  TextCodec();
  ~TextCodec();
  TextCodec(const TextCodec&) = delete;
  TextCodec& operator=(const TextCodec&) = delete;

  // Strict GBK -> UTF-8. False (and *utf8 unspecified) when a byte sequence is
  // not GBK; *error_offset then tells the byte where decoding stopped.
  bool GbkToUtf8(std::string_view gbk, std::string* utf8, size_t* error_offset = nullptr);
  // Strict UTF-8 -> GBK. False when the input is not UTF-8 or holds a
  // character GBK cannot hold.
  bool Utf8ToGbk(std::string_view utf8, std::string* gbk);
  // UTF-8 -> GBK, "?" for every character GBK cannot hold and for every
  // malformed UTF-8 sequence. Never fails.
  std::string Utf8ToGbkSubstituting(std::string_view utf8);

  // Lenient decodings into UTF-16 for the segmenter: bytes that do not decode
  // become U+FFFD.
  icu::UnicodeString DecodeGbk(std::string_view gbk);
  static icu::UnicodeString DecodeUtf8(std::string_view utf8);

  // Strict encoding of UTF-16 text into GBK; false when a character has no
  // GBK form.
  bool EncodeGbk(const icu::UnicodeString& text, std::string* gbk);

 private:
  UConverter* strict_ = nullptr;   // both directions stop at the first error
  UConverter* lenient_ = nullptr;  // to Unicode: U+FFFD; from Unicode: "?"
};

}  // namespace vocs::host

#endif  // VOCS_HOST_TEXT_CODEC_H_
