#include "host/word_segmenter.h"

#include <stdexcept>

#include <unicode/locid.h>
#include <unicode/ubrk.h>

namespace vocs::host {

TextEncoding ResolveEncoding(std::string_view text, TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::kDetect:
      return LooksLikeUtf8(text) ? TextEncoding::kUtf8 : TextEncoding::kGb18030;
    case TextEncoding::kUtf8WhenValid:
      return IsValidUtf8(StripUtf8Bom(text)) ? TextEncoding::kUtf8 : TextEncoding::kGb18030;
    case TextEncoding::kGb18030:
    case TextEncoding::kUtf8:
      break;
  }
  return encoding;
}

WordSegmenter::WordSegmenter() {
  UErrorCode status = U_ZERO_ERROR;
  iterator_.reset(icu::BreakIterator::createWordInstance(icu::Locale::getChinese(), status));
  if (U_FAILURE(status) || iterator_ == nullptr) {
    throw std::runtime_error("ICU has no word break iterator");
  }
}

WordSegmenter::~WordSegmenter() = default;

std::vector<std::string> WordSegmenter::Words(std::string_view text, TextEncoding encoding) {
  const icu::UnicodeString unicode = ResolveEncoding(text, encoding) == TextEncoding::kUtf8
                                         ? TextCodec::DecodeUtf8(StripUtf8Bom(text), &replaced_)
                                         : codec_.DecodeGb18030(text, &replaced_);
  std::vector<std::string> words;
  iterator_->setText(unicode);
  int32_t start = iterator_->first();
  for (int32_t end = iterator_->next(); end != icu::BreakIterator::DONE;
       start = end, end = iterator_->next()) {
    // Statuses below UBRK_WORD_NONE_LIMIT mark spaces, punctuation and
    // symbols.
    if (iterator_->getRuleStatus() < UBRK_WORD_NONE_LIMIT) continue;
    std::string utf8;
    unicode.tempSubStringBetween(start, end).toUTF8String(utf8);
    std::string word = codec_.Utf8ToGb18030Replacing(utf8, &replaced_);
    if (!word.empty()) words.push_back(std::move(word));
  }
  return words;
}

std::string WordSegmenter::Convert(std::string_view text, TextEncoding encoding) {
  std::string out;
  for (const std::string& word : Words(text, encoding)) {
    if (!out.empty()) out += '/';
    out += word;
  }
  return out;
}

}  // namespace vocs::host
