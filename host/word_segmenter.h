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

#include <cstddef>
#include <cstdint>
#include <functional>
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
  // The same bytes, handed to `emit` in pieces, in order. The text is
  // segmented a piece of about `piece_bytes` at a time, cut where a word
  // always ends and a new one begins (after a line feed, or between a space
  // and an ASCII letter or digit; a text without such places is one piece),
  // and its words are converted and handed on in batches of about that size,
  // so that a long text is never held converted beside the output.
  using Emit = std::function<void(std::string_view)>;
  void ConvertInPieces(std::string_view text, TextEncoding encoding, const Emit& emit,
                       size_t piece_bytes = kPieceBytes);

  static constexpr size_t kPieceBytes = size_t{1} << 20;

  // Characters of all inputs so far that did not decode.
  int64_t replaced() const { return replaced_; }

 private:
  // Appends the words of `piece`, read in `encoding` (kUtf8 or kGb18030), to
  // *joined in UTF-8, each after a "/" unless *first, and hands *joined on
  // whenever it reaches `batch_bytes`.
  void SegmentPiece(std::string_view piece, TextEncoding encoding, size_t batch_bytes,
                    const Emit& emit, bool* first, std::string* joined);
  // Hands *joined on in GB18030 and empties it.
  void EmitJoined(const Emit& emit, std::string* joined);

  std::unique_ptr<icu::BreakIterator> iterator_;
  TextCodec codec_;
  int64_t replaced_ = 0;
};

// The encoding a text is read in: `encoding` itself, or the one its bytes
// suggest for the two detecting choices.
TextEncoding ResolveEncoding(std::string_view text, TextEncoding encoding);

}  // namespace vocs::host

#endif  // VOCS_HOST_WORD_SEGMENTER_H_
