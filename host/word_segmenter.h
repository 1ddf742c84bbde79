// WordSegmenter: the host's text conversion, words of a text joined by "/".
//
// Words are found by ICU's word break iterator (the Chinese locale's word
// instance, which uses ICU's dictionary for Han text and the Unicode rules for
// everything else). A segment counts as a word when the iterator gives it a
// word status (letters, numbers, kana, ideographs); spaces, punctuation and
// symbols (emoji among them) are dropped. The words are encoded as GB18030 and
// joined by "/", without a "/" before the first or after the last. Every
// character keeps its form: characters outside GBK take their four-byte
// GB18030 codes.
//
// Bytes of the input that do not decode become U+FFFD, which is no word; they
// are counted (replaced()).
//
// Threads: holds an ICU break iterator and a codec; one object per thread.
#ifndef VOCS_HOST_WORD_SEGMENTER_H_
#define VOCS_HOST_WORD_SEGMENTER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <unicode/brkiter.h>
#include <unicode/unistr.h>

#include "host/text_codec.h"

namespace vocs::host {

enum class TextEncoding {
  kDetect,         // UTF-8 when LooksLikeUtf8(), else GB18030: for short texts
  kUtf8WhenValid,  // UTF-8 when IsValidUtf8(), else GB18030: for whole files
  kGb18030,        // GB18030 (and so GBK)
  kUtf8,
};

class WordSegmenter {
 public:
  WordSegmenter();
  ~WordSegmenter();
  WordSegmenter(const WordSegmenter&) = delete;
  WordSegmenter& operator=(const WordSegmenter&) = delete;

  // The words of `text`, read in `encoding`, as GB18030 byte strings in order.
  std::vector<std::string> Words(std::string_view text, TextEncoding encoding);
  // The words joined by "/" (GB18030).
  std::string Convert(std::string_view text, TextEncoding encoding);

  // Characters of all inputs so far that did not decode.
  int64_t replaced() const { return replaced_; }

 private:
  // The words of `text` in UTF-8, joined by "/".
  std::string JoinedUtf8Words(std::string_view text, TextEncoding encoding);

  std::unique_ptr<icu::BreakIterator> iterator_;
  TextCodec codec_;
  int64_t replaced_ = 0;
};

// The encoding a text is read in: `encoding` itself, or the one its bytes
// suggest for the two detecting choices.
TextEncoding ResolveEncoding(std::string_view text, TextEncoding encoding);

}  // namespace vocs::host

#endif  // VOCS_HOST_WORD_SEGMENTER_H_
