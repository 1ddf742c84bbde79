// The codec and the segmenter: GBK bytes as the module expects them, encoding
// detection, and the word split of known sentences.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/text_codec.h"
#include "host/word_segmenter.h"
#include "host_test_util.h"

namespace vocs::host {
namespace {

using testing::Gbk;

TEST(TextCodecTest, ColumnNamesHaveTheirKnownGbkBytes) {
  const struct {
    const char* utf8;
    const char* gbk;
  } kCases[] = {
      {"词条名称", "\xB4\xCA\xCC\xF5\xC3\xFB\xB3\xC6"},
      {"词频", "\xB4\xCA\xC6\xB5"},
      {"共现频率", "\xB9\xB2\xCF\xD6\xC6\xB5\xC2\xCA"},
      {"支持度1", "\xD6\xA7\xB3\xD6\xB6\xC8\x31"},
      {"€", "\x80"},
  };
  TextCodec codec;
  for (const auto& c : kCases) {
    std::string gbk;
    ASSERT_TRUE(codec.Utf8ToGbk(c.utf8, &gbk)) << c.utf8;
    EXPECT_EQ(gbk, c.gbk) << c.utf8;
    std::string back;
    ASSERT_TRUE(codec.GbkToUtf8(gbk, &back));
    EXPECT_EQ(back, c.utf8);
  }
}

TEST(TextCodecTest, StrictConversionsRefuseWhatDoesNotConvert) {
  TextCodec codec;
  std::string out;
  size_t offset = 99;
  EXPECT_FALSE(codec.GbkToUtf8("ab\xB4", &out, &offset));  // lead byte at the end
  EXPECT_EQ(offset, 2u);
  EXPECT_FALSE(codec.GbkToUtf8("\x81\x7F", &out));  // 0x7F is no trail byte
  EXPECT_FALSE(codec.Utf8ToGbk("a\xF0\x9F\x98\x80", &out));  // emoji: no GBK form
  EXPECT_FALSE(codec.Utf8ToGbk("\xC3", &out));               // truncated UTF-8
  EXPECT_EQ(codec.Utf8ToGbkSubstituting("x\xF0\x9F\x98\x80y"), "x?y");
  EXPECT_EQ(codec.Utf8ToGbkSubstituting("\xE4\xB8\xAD\xFF"), "\xD6\xD0?");
}

TEST(TextCodecTest, DetectionTellsUtf8FromGbk) {
  const struct {
    std::string text;
    bool utf8;
  } kCases[] = {
      {"plain ascii", false},  // reads the same either way
      {"中文", true},
      {Gbk("中文"), false},
      {Gbk("没"), false},  // C3 BB: valid two-byte UTF-8 ("û") by accident
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

std::string Split(const std::string& utf8_words) { return Gbk(utf8_words); }

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
    EXPECT_EQ(segmenter.Convert(Gbk(c.sentence), TextEncoding::kGbk), Split(c.words));
    EXPECT_EQ(segmenter.Convert(Gbk(c.sentence), TextEncoding::kDetect), Split(c.words));
    EXPECT_EQ(segmenter.Convert(c.sentence, TextEncoding::kDetect), Split(c.words));
  }
}

TEST(WordSegmenterTest, CharactersWithoutGbkFormSeparateWords) {
  WordSegmenter segmenter;
  // The emoji is dropped and cuts "ab😀cd" in two; the rare ideograph U+20000
  // (beyond GBK) likewise.
  EXPECT_EQ(segmenter.Convert("ab\xF0\x9F\x98\x80" "cd", TextEncoding::kUtf8), "ab/cd");
  EXPECT_EQ(segmenter.Convert("中\xF0\xA0\x80\x80文", TextEncoding::kUtf8),
            Gbk("中") + "/" + Gbk("文"));
  // Bytes that are not GBK do not become words.
  EXPECT_EQ(segmenter.Convert("abc \x81\x7F def", TextEncoding::kGbk), "abc/def");
}

TEST(WordSegmenterTest, FixedEncodingOverridesDetection) {
  WordSegmenter segmenter;
  // GBK "没" alone is valid two-byte UTF-8; read as GBK it is one word.
  EXPECT_EQ(segmenter.Convert(Gbk("没"), TextEncoding::kGbk), Gbk("没"));
  EXPECT_EQ(segmenter.Convert(Gbk("没"), TextEncoding::kDetect), Gbk("没"));
  EXPECT_NE(segmenter.Convert(Gbk("没"), TextEncoding::kUtf8), Gbk("没"));
}

}  // namespace
}  // namespace vocs::host
