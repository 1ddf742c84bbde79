#include "host/text_codec.h"

#include <stdexcept>

#include <unicode/ucnv_err.h>

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

UConverter* OpenGbk() {
  UErrorCode status = U_ZERO_ERROR;
  UConverter* converter = ucnv_open("GBK", &status);
  if (U_FAILURE(status) || converter == nullptr) {
    throw std::runtime_error("ICU has no GBK converter");
  }
  return converter;
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

TextCodec::TextCodec() : strict_(OpenGbk()), lenient_(OpenGbk()) {
  UErrorCode status = U_ZERO_ERROR;
  ucnv_setToUCallBack(strict_, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  ucnv_setFromUCallBack(strict_, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  ucnv_setToUCallBack(lenient_, UCNV_TO_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr,
                      &status);
  ucnv_setFromUCallBack(lenient_, UCNV_FROM_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr,
                        &status);
  ucnv_setSubstChars(lenient_, "?", 1, &status);
  if (U_FAILURE(status)) {
    ucnv_close(strict_);
    ucnv_close(lenient_);
    throw std::runtime_error("cannot configure the GBK converter");
  }
}

TextCodec::~TextCodec() {
  ucnv_close(strict_);
  ucnv_close(lenient_);
}

bool TextCodec::GbkToUtf8(std::string_view gbk, std::string* utf8, size_t* error_offset) {
  utf8->clear();
  if (gbk.empty()) return true;
  ucnv_resetToUnicode(strict_);
  std::u16string units(gbk.size() + 1, u'\0');
  const char* source = gbk.data();
  UChar* target = units.data();
  UErrorCode status = U_ZERO_ERROR;
  ucnv_toUnicode(strict_, &target, units.data() + units.size(), &source, gbk.data() + gbk.size(),
                 nullptr, /*flush=*/true, &status);
  if (U_FAILURE(status)) {
    if (error_offset != nullptr) {
      // The source pointer stands after the offending bytes; step back over
      // what the converter kept as the bad sequence.
      int8_t bad_length = 8;
      char bad[8];
      UErrorCode ignored = U_ZERO_ERROR;
      ucnv_getInvalidChars(strict_, bad, &bad_length, &ignored);
      const size_t consumed = static_cast<size_t>(source - gbk.data());
      *error_offset = consumed >= static_cast<size_t>(bad_length)
                          ? consumed - static_cast<size_t>(bad_length)
                          : 0;
    }
    return false;
  }
  icu::UnicodeString(units.data(), static_cast<int32_t>(target - units.data())).toUTF8String(*utf8);
  return true;
}

bool TextCodec::Utf8ToGbk(std::string_view utf8, std::string* gbk) {
  if (!IsValidUtf8(utf8)) return false;
  return EncodeGbk(DecodeUtf8(utf8), gbk);
}

std::string TextCodec::Utf8ToGbkSubstituting(std::string_view utf8) {
  std::string out;
  if (utf8.empty()) return out;
  // Malformed UTF-8 decodes to U+FFFD, which GBK cannot hold: it becomes "?"
  // like any other such character.
  const icu::UnicodeString text = DecodeUtf8(utf8);
  ucnv_resetFromUnicode(lenient_);
  out.resize(static_cast<size_t>(text.length()) * 2 + 8);
  UErrorCode status = U_ZERO_ERROR;
  const int32_t n = ucnv_fromUChars(lenient_, out.data(), static_cast<int32_t>(out.size()),
                                    text.getBuffer(), text.length(), &status);
  out.resize(U_SUCCESS(status) ? static_cast<size_t>(n) : 0);
  return out;
}

icu::UnicodeString TextCodec::DecodeGbk(std::string_view gbk) {
  icu::UnicodeString text;
  if (gbk.empty()) return text;
  ucnv_resetToUnicode(lenient_);
  UErrorCode status = U_ZERO_ERROR;
  const int32_t capacity = static_cast<int32_t>(gbk.size()) + 1;
  UChar* buffer = text.getBuffer(capacity);
  const int32_t n = ucnv_toUChars(lenient_, buffer, capacity, gbk.data(),
                                  static_cast<int32_t>(gbk.size()), &status);
  text.releaseBuffer(U_SUCCESS(status) ? n : 0);
  return text;
}

icu::UnicodeString TextCodec::DecodeUtf8(std::string_view utf8) {
  return icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
}

bool TextCodec::EncodeGbk(const icu::UnicodeString& text, std::string* gbk) {
  gbk->clear();
  if (text.isEmpty()) return true;
  ucnv_resetFromUnicode(strict_);
  gbk->resize(static_cast<size_t>(text.length()) * 2 + 8);
  UErrorCode status = U_ZERO_ERROR;
  const int32_t n = ucnv_fromUChars(strict_, gbk->data(), static_cast<int32_t>(gbk->size()),
                                    text.getBuffer(), text.length(), &status);
  if (U_FAILURE(status)) return false;
  gbk->resize(static_cast<size_t>(n));
  return true;
}

}  // namespace vocs::host
