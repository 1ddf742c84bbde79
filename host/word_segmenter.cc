#include "host/word_segmenter.h"

#include <stdexcept>

#include <unicode/locid.h>
#include <unicode/ubrk.h>

namespace vocs::host {

WordSegmenter::WordSegmenter() {
  UErrorCode status = U_ZERO_ERROR;
  iterator_.reset(icu::BreakIterator::createWordInstance(icu::Locale::getChinese(), status));
  if (U_FAILURE(status) || iterator_ == nullptr) {
    throw std::runtime_error("ICU has no word break iterator");
  }
}

WordSegmenter::~WordSegmenter() = default;

std::vector<std::string> WordSegmenter::Words(std::string_view text, TextEncoding encoding) {
  if (encoding == TextEncoding::kDetect) {
    encoding = LooksLikeUtf8(text) ? TextEncoding::kUtf8 : TextEncoding::kGbk;
  }
  const icu::UnicodeString unicode =
      encoding == TextEncoding::kUtf8 ? TextCodec::DecodeUtf8(text) : codec_.DecodeGbk(text);
  std::vector<std::string> words;
  iterator_->setText(unicode);
  int32_t start = iterator_->first();
  for (int32_t end = iterator_->next(); end != icu::BreakIterator::DONE;
       start = end, end = iterator_->next()) {
    // Statuses below UBRK_WORD_NONE_LIMIT mark spaces, punctuation and
    // symbols.
    if (iterator_->getRuleStatus() < UBRK_WORD_NONE_LIMIT) continue;
    AppendGbkPieces(unicode.tempSubStringBetween(start, end), &words);
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

void WordSegmenter::AppendGbkPieces(const icu::UnicodeString& word,
                                    std::vector<std::string>* words) {
  std::string gbk;
  if (codec_.EncodeGbk(word, &gbk)) {
    if (!gbk.empty()) words->push_back(std::move(gbk));
    return;
  }
  // Some character has no GBK form: encode character by character and cut the
  // word at each one that fails.
  std::string piece;
  for (int32_t i = 0; i < word.length();) {
    const int32_t next = word.moveIndex32(i, 1);
    std::string one;
    const icu::UnicodeString character = word.tempSubStringBetween(i, next);
    if (character != icu::UnicodeString(static_cast<UChar32>(0xFFFD)) &&
        codec_.EncodeGbk(character, &one)) {
      piece += one;
    } else if (!piece.empty()) {
      words->push_back(std::move(piece));
      piece.clear();
    }
    i = next;
  }
  if (!piece.empty()) words->push_back(std::move(piece));
}

}  // namespace vocs::host
