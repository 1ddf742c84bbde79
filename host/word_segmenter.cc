#include "host/word_segmenter.h"

#include <algorithm>
#include <stdexcept>

#include <unicode/locid.h>
#include <unicode/ubrk.h>

namespace vocs::host {

namespace {

bool IsAsciiLetterOrDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The end of a piece that reaches at least to `from`: just after the first
// line feed at or past it, or the first space there that an ASCII letter or
// digit follows; else the end of the text. The word breaks never join
// anything across a line feed, and a space ends every word and run of blanks
// before such a character, so each piece segments as it does within the
// whole text. Neither byte occurs inside a character of UTF-8 or GB18030,
// nor does a decoder that meets a broken sequence carry anything past it.
size_t NextPieceEnd(std::string_view text, size_t from) {
  for (size_t i = from - 1; i + 1 < text.size(); ++i) {
    if (text[i] == '\n' || (text[i] == ' ' && IsAsciiLetterOrDigit(text[i + 1]))) return i + 1;
  }
  return text.size();
}

}  // namespace

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

void WordSegmenter::SegmentPiece(std::string_view piece, TextEncoding encoding, size_t batch_bytes,
                                 const Emit& emit, bool* first, std::string* joined) {
  const icu::UnicodeString unicode = encoding == TextEncoding::kUtf8
                                         ? TextCodec::DecodeUtf8(piece, &replaced_)
                                         : codec_.DecodeGb18030(piece, &replaced_);
  iterator_->setText(unicode);
  int32_t start = iterator_->first();
  for (int32_t end = iterator_->next(); end != icu::BreakIterator::DONE;
       start = end, end = iterator_->next()) {
    // Statuses below UBRK_WORD_NONE_LIMIT mark spaces, punctuation and
    // symbols.
    if (iterator_->getRuleStatus() < UBRK_WORD_NONE_LIMIT || end == start) continue;
    if (!*first) *joined += '/';
    *first = false;
    unicode.tempSubStringBetween(start, end).toUTF8String(*joined);
    if (joined->size() >= batch_bytes) EmitJoined(emit, joined);
  }
}

void WordSegmenter::EmitJoined(const Emit& emit, std::string* joined) {
  // One conversion for a batch of words: "/" is the same byte in both
  // encodings, no word holds one (a word holds no punctuation), and every
  // character converts on its own.
  if (!joined->empty()) emit(codec_.Utf8ToGb18030Replacing(*joined, &replaced_));
  joined->clear();
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
  std::string converted;
  ConvertInPieces(text, encoding, [&](std::string_view piece) { converted += piece; });
  return converted;
}

void WordSegmenter::ConvertInPieces(std::string_view text, TextEncoding encoding,
                                    const Emit& emit, size_t piece_bytes) {
  piece_bytes = std::max<size_t>(piece_bytes, 1);
  // The encoding is that of the whole text, whatever a piece looks like.
  encoding = ResolveEncoding(text, encoding);
  if (encoding == TextEncoding::kUtf8) text = StripUtf8Bom(text);
  bool first = true;
  std::string joined;
  for (size_t begin = 0; begin < text.size();) {
    const size_t end = NextPieceEnd(text, begin + piece_bytes);
    SegmentPiece(text.substr(begin, end - begin), encoding, piece_bytes, emit, &first, &joined);
    begin = end;
  }
  EmitJoined(emit, &joined);
}

}  // namespace vocs::host
