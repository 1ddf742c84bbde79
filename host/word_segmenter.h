// WordSegmenter: the host's text conversion, words of a text joined by "/".
//
// Words are found by ICU's word break iterator (the Chinese locale's word
// instance, which uses ICU's dictionary for Han text and the Unicode rules for
// everything else). A segment counts as a word when the iterator gives it a
// word status (letters, numbers, kana, ideographs); spaces, punctuation and
// symbols are dropped. The words are encoded as GBK and joined by "/", without
// a "/" before the first or after the last.
//
// A character GBK cannot hold (an emoji, a rare ideograph beyond GBK) is
// dropped and separates the word around it: "a😀b" yields the words "a" and
// "b". Bytes of the input that do not decode count as such characters too.
//
// Threads: holds an ICU break iterator and a codec; one object per thread.
#ifndef VOCS_HOST_WORD_SEGMENTER_H_
#define VOCS_HOST_WORD_SEGMENTER_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <unicode/brkiter.h>
#include <unicode/unistr.h>

#include "host/text_codec.h"

namespace vocs::host {

enum class TextEncoding {
  kDetect,  // UTF-8 when LooksLikeUtf8(), else GBK
  kGbk,
  kUtf8,
};

class WordSegmenter {
 public:
  WordSegmenter();
  ~WordSegmenter();
  WordSegmenter(const WordSegmenter&) = delete;
  WordSegmenter& operator=(const WordSegmenter&) = delete;

  // The words of `text`, read in `encoding`, as GBK byte strings in order.
  std::vector<std::string> Words(std::string_view text, TextEncoding encoding);
  // The words joined by "/" (GBK).
  std::string Convert(std::string_view text, TextEncoding encoding);

 private:
  void AppendGbkPieces(const icu::UnicodeString& word, std::vector<std::string>* words);

  std::unique_ptr<icu::BreakIterator> iterator_;
  TextCodec codec_;
};

}  // namespace vocs::host

#endif  // VOCS_HOST_WORD_SEGMENTER_H_
