// The embedded host's text conversion (NORMAL mode) on any bytes, in each of
// its encodings: the words it gives are never empty and never hold the "/"
// that joins them, the joined form is exactly the words joined by "/", and a
// second conversion of the same text gives the same words.
//
// Input: a byte choosing the encoding (modulo 4), then the text.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "host/word_segmenter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using vocs::fuzz::Check;
  using vocs::host::TextEncoding;
  if (size == 0) return 0;
  static vocs::host::WordSegmenter segmenter;
  const TextEncoding encodings[] = {TextEncoding::kDetect, TextEncoding::kUtf8WhenValid,
                                    TextEncoding::kGb18030, TextEncoding::kUtf8};
  const TextEncoding encoding = encodings[data[0] % 4];
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

  const std::vector<std::string> words = segmenter.Words(text, encoding);
  std::string joined;
  for (const std::string& word : words) {
    Check(!word.empty(), "an empty word");
    Check(word.find('/') == std::string::npos, "a word holds the separator");
    if (!joined.empty()) joined += '/';
    joined += word;
  }
  Check(segmenter.Convert(text, encoding) == joined, "the joined form differs from the words");
  Check(segmenter.Words(text, encoding) == words, "a second conversion differs");
  return 0;
}
