// The codec and the segmenter: GB18030 bytes as the module expects them
// (GBK for GBK characters, four bytes beyond), encoding detection, and the
// word split of known sentences.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/text_codec.h"
#include "host/word_segmenter.h"
#include "host_test_util.h"

namespace vocs::host {
namespace {

using testing::Gb18030;

TEST(TextCodecTest, TextsHaveTheirKnownBytes) {
  const struct {
    const char* utf8;
    const char* gb18030;
  } kCases[] = {
      {"词条名称", "\xB4\xCA\xCC\xF5\xC3\xFB\xB3\xC6"},  // GBK: two bytes each
      {"词频", "\xB4\xCA\xC6\xB5"},
      {"共现频率", "\xB9\xB2\xCF\xD6\xC6\xB5\xC2\xCA"},
      {"支持度1", "\xD6\xA7\xB3\xD6\xB6\xC8\x31"},
      {"é", "\xA8\xA6"},
      {"€", "\xA2\xE3"},
      {"ß", "\x81\x30\x89\x38"},  // beyond GBK: four bytes
      {"\u00a0", "\x81\x30\x84\x32"},
      {"한", "\x83\x36\x84\x33"},
      {"\U0001F600", "\x94\x39\xFC\x36"},
      {"\U00020000", "\x95\x32\x82\x36"},
  };
  TextCodec codec;
  for (const auto& c : kCases) {
    std::string bytes;
    ASSERT_TRUE(codec.Utf8ToGb18030(c.utf8, &bytes)) << c.utf8;
    EXPECT_EQ(bytes, c.gb18030) << c.utf8;
    std::string back;
    ASSERT_TRUE(codec.Gb18030ToUtf8(bytes, &back));
    EXPECT_EQ(back, c.utf8);
  }
}

TEST(TextCodecTest, StrictConversionsRefuseAndReplacingOnesCount) {
  TextCodec codec;
  std::string out;
  size_t offset = 99;
  EXPECT_FALSE(codec.Gb18030ToUtf8("ab\xB4", &out, &offset));  // lead byte at the end
  EXPECT_EQ(offset, 2u);
  EXPECT_FALSE(codec.Gb18030ToUtf8("\x81\x7F", &out));  // 0x7F is no trail byte
  EXPECT_FALSE(codec.Gb18030ToUtf8("\x94\x39\xFC", &out));  // four bytes cut short
  EXPECT_FALSE(codec.Utf8ToGb18030("\xC3", &out));            // truncated UTF-8
  EXPECT_FALSE(codec.Utf8ToGb18030("\xEE\x9E\x8D", &out));    // a private-use character
  int64_t replaced = 0;
  EXPECT_EQ(codec.Utf8ToGb18030Replacing("x\xF0\x9F\x98\x80y", &replaced),
            "x\x94\x39\xFC\x36y");
  EXPECT_EQ(replaced, 0);
  EXPECT_EQ(codec.Utf8ToGb18030Replacing("\xE4\xB8\xAD\xFF\xEE\x9E\x8D", &replaced),
            "\xD6\xD0" + std::string(kGb18030Replacement) + std::string(kGb18030Replacement));
  EXPECT_EQ(replaced, 2);
  EXPECT_EQ(codec.Gb18030ToUtf8Replacing("a\x81 b", &replaced), "a\xEF\xBF\xBD b");
  EXPECT_EQ(replaced, 3);
  EXPECT_EQ(codec.Shown("\xD6\xD0\xCE\xC4", 1), "\xE4\xB8\xAD...");
}

TEST(TextCodecTest, DetectionTellsUtf8FromGbk) {
  const struct {
    std::string text;
    bool utf8;
  } kCases[] = {
      {"plain ascii", false},  // reads the same either way
      {"中文", true},
      {Gb18030("中文"), false},
      {Gb18030("没"), false},  // C3 BB: valid two-byte UTF-8 ("û") by accident
      {"caf\xC3\xA9", false},
      {"caf\xC3\xA9 中", true},
      {"\xE4\xB8", false},  // truncated
      {"\xED\xA0\x80", false},  // surrogate
  };
  for (const auto& c : kCases) EXPECT_EQ(LooksLikeUtf8(c.text), c.utf8) << c.text;
  EXPECT_TRUE(IsValidUtf8("caf\xC3\xA9"));
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));  // overlong "/"
  EXPECT_EQ(StripUtf8Bom("\xEF\xBB\xBFx"), "x");
}

std::string Split(const std::string& utf8_words) { return Gb18030(utf8_words); }

TEST(WordSegmenterTest, KnownSentencesSplitIntoDictionaryWords) {
  const struct {
    const char* sentence;
    const char* words;
  } kCases[] = {
      {"今天天气很好，我们去公园散步吧。", "今天/天气/很好/我们/去/公园/散步/吧"},
      {"Hello world, 中华人民共和国成立于1949年。", "Hello/world/中华/人民/共和国/成立/于/1949/年"},
      {"床前明月光，疑是地上霜。", "床/前/明/月光/疑/是/地上/霜"},
      {"  \t，。！", ""},
  };
  WordSegmenter segmenter;
  for (const auto& c : kCases) {
    EXPECT_EQ(segmenter.Convert(c.sentence, TextEncoding::kUtf8), Split(c.words)) << c.sentence;
    // The module hands GBK; detection and the fixed setting agree.
    EXPECT_EQ(segmenter.Convert(Gb18030(c.sentence), TextEncoding::kGb18030), Split(c.words));
    EXPECT_EQ(segmenter.Convert(Gb18030(c.sentence), TextEncoding::kDetect), Split(c.words));
    EXPECT_EQ(segmenter.Convert(c.sentence, TextEncoding::kDetect), Split(c.words));
  }
}

TEST(WordSegmenterTest, EveryCharacterKeepsItsForm) {
  WordSegmenter segmenter;
  // Letters beyond GBK stay in their words (four-byte forms); an emoji is a
  // symbol, which separates words like punctuation does.
  EXPECT_EQ(segmenter.Convert("Stra\u00dfe fa\u00e7ade \ud55c\uad6d", TextEncoding::kUtf8),
            "Stra\x81\x30\x89\x38" "e/fa\x81\x30\x8A\x34" "ade/" "\x83\x36\x84\x33\x82\x37\xF4\x30");
  EXPECT_EQ(segmenter.Convert("ab\xF0\x9F\x98\x80" "cd", TextEncoding::kUtf8), "ab/cd");
  EXPECT_EQ(segmenter.replaced(), 0);
  // Bytes that do not decode do not become words, and are counted.
  EXPECT_EQ(segmenter.Convert("abc \x81\x7F def", TextEncoding::kGb18030), "abc/def");
  EXPECT_EQ(segmenter.replaced(), 1);
}

TEST(WordSegmenterTest, FixedEncodingOverridesDetection) {
  WordSegmenter segmenter;
  // GBK "没" alone is valid two-byte UTF-8; read as GBK it is one word.
  EXPECT_EQ(segmenter.Convert(Gb18030("没"), TextEncoding::kGb18030), Gb18030("没"));
  EXPECT_EQ(segmenter.Convert(Gb18030("没"), TextEncoding::kDetect), Gb18030("没"));
  EXPECT_NE(segmenter.Convert(Gb18030("没"), TextEncoding::kUtf8), Gb18030("没"));
}

// A long text is segmented in pieces cut after line feeds and between a
// space and an ASCII letter or digit, and its words are handed on in
// batches; with pieces and batches as small as they go, every text gives
// the bytes and the count of replaced characters of one whole pass.
TEST(WordSegmenterTest, PiecesSegmentAsTheWholeText) {
  const std::string kTexts[] = {
      "今天天气很好\n我们去公园散步吧。\r\nthe quick brown fox jumps over 12 lazy dogs",
      "can't stop 3.14 and 2,000 items e-mail user@example.com 中文 English混合 text",
      // Marks and joiners right after a cut place, which attach to what
      // precedes them: a cut there would change the words.
      "a \u0301b c \u200dd\n\u0301x\n\u200dy 👨\u200d👩\u200d👧 family",
      "カタカナ ひらがな 한국어 ภาษาไทยง่ายนิดเดียว Straße façade\n\n  \n lines\n",
      "\xEF\xBB\xBFwith a byte order mark 开头 and words",
  };
  const std::string kBroken[] = {
      "\x81 abc\xFF\ndef \x81\x7F ghi\n\x80y",     // GB18030 that does not decode
      "\xE4\xB8 x\n\x80y \xF0\x9F abc \xC3\n",  // UTF-8 that does not decode
  };
  struct Input {
    std::string text;
    TextEncoding encoding;
  };
  std::vector<Input> inputs;
  for (const std::string& text : kTexts) {
    for (TextEncoding encoding : {TextEncoding::kUtf8, TextEncoding::kDetect,
                                  TextEncoding::kUtf8WhenValid}) {
      inputs.push_back({text, encoding});
    }
    const std::string gb = text.rfind("\xEF\xBB\xBF", 0) == 0 ? text.substr(3) : text;
    inputs.push_back({Gb18030(gb), TextEncoding::kGb18030});
    inputs.push_back({Gb18030(gb), TextEncoding::kDetect});
  }
  inputs.push_back({kBroken[0], TextEncoding::kGb18030});
  inputs.push_back({kBroken[1], TextEncoding::kUtf8});
  inputs.push_back({kBroken[1], TextEncoding::kUtf8WhenValid});

  for (const Input& input : inputs) {
    WordSegmenter whole;
    std::string expected;
    whole.ConvertInPieces(
        input.text, input.encoding, [&](std::string_view piece) { expected += piece; },
        SIZE_MAX);
    for (size_t piece_bytes : {1, 2, 7}) {
      WordSegmenter pieces;
      std::string converted;
      int emitted = 0;
      pieces.ConvertInPieces(
          input.text, input.encoding,
          [&](std::string_view piece) {
            converted += piece;
            ++emitted;
          },
          piece_bytes);
      EXPECT_EQ(converted, expected) << input.text << " in pieces of " << piece_bytes;
      EXPECT_EQ(pieces.replaced(), whole.replaced()) << input.text;
      if (piece_bytes == 1) {  // each word was handed on by itself
        EXPECT_EQ(emitted, std::count(expected.begin(), expected.end(), '/') + 1) << input.text;
      }
    }
    // Convert is the same conversion.
    WordSegmenter convert;
    EXPECT_EQ(convert.Convert(input.text, input.encoding), expected);
  }
}

}  // namespace
}  // namespace vocs::host
