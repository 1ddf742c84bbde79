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

std::string WordSegmenter::JoinedUtf8Words(std::string_view text, TextEncoding encoding) {
  const icu::UnicodeString unicode = ResolveEncoding(text, encoding) == TextEncoding::kUtf8
                                         ? TextCodec::DecodeUtf8(StripUtf8Bom(text), &replaced_)
                                         : codec_.DecodeGb18030(text, &replaced_);
  std::string joined;
  iterator_->setText(unicode);
  int32_t start = iterator_->first();
  for (int32_t end = iterator_->next(); end != icu::BreakIterator::DONE;
       start = end, end = iterator_->next()) {
    // Statuses below UBRK_WORD_NONE_LIMIT mark spaces, punctuation and
    // symbols.
    if (iterator_->getRuleStatus() < UBRK_WORD_NONE_LIMIT || end == start) continue;
    if (!joined.empty()) joined += '/';
    unicode.tempSubStringBetween(start, end).toUTF8String(joined);
  }
  return joined;
}

std::vector<std::string> WordSegmenter::Words(std::string_view text, TextEncoding encoding) {
  std::vector<std::string> words;
  const std::string joined = Convert(text, encoding);
  for (size_t start = 0; start < joined.size();) {
    size_t end = joined.find('/', start);
    if (end == std::string::npos) end = joined.size();
    words.push_back(joined.substr(start, end - start));
    start = end + 1;
  }
  return words;
}

std::string WordSegmenter::Convert(std::string_view text, TextEncoding encoding) {
  // One conversion for all words: "/" is the same byte in both encodings,
  // and no word holds one (a word holds no punctuation).
  return codec_.Utf8ToGb18030Replacing(JoinedUtf8Words(text, encoding), &replaced_);
}

}  // namespace vocs::host
