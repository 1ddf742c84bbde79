// The text primitives the splitters rely on, and the cut of long terms.
#include "text/text_primitives.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace vocs {
namespace {

TEST(TextPrimitivesTest, FindDelimiterStepsOverTwoByteCharacters) {
  struct Case {
    std::string text, set;
    size_t expected;
  };
  const size_t npos = std::string_view::npos;
  const std::vector<Case> cases = {
      {"ab/cd", "/", 2},
      {"abcd", "/", npos},
      {"\xB0/x/", "/", 3},        // the first "/" is a trail byte
      {"a;b,c", ",;", 1},
      {"x\xA3\xBBy", "\xA3\xBB", 1},
      {"\xB0\xA3\xBB\xB0", "\xA3\xBB", npos},  // the bytes straddle two characters
      // A lone lead byte at the end is a one-byte character, and matches a
      // one-byte member equal to it, whatever the size of the set.
      {"ab\xA3", "\xA3", 2},
      {"ab\xA3", ";\xA3", 2},
      {"\xA3" "b", "\xA3", npos},
      {"", "/", npos},
  };
  for (const Case& c : cases) EXPECT_EQ(FindDelimiter(c.text, c.set), c.expected) << c.text;
}

// The scan character by character, as the splitters define it: a lead byte
// with a byte after it is one character of two bytes.
size_t SteppingScan(std::string_view text, char d) {
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x81 && c <= 0xFE && i + 1 < text.size()) {
      i += 2;
    } else if (text[i] == d) {
      return i;
    } else {
      ++i;
    }
  }
  return std::string_view::npos;
}

// A random text over bytes that matter to the scan: delimiters (also as
// trail bytes), ASCII, 0 bytes, lead bytes in runs of every length, and 0x80
// and 0xFF, which are no lead bytes. Mostly lead bytes in some texts, mostly
// ASCII in others; lengths cross several of the scan's blocks.
std::string RandomScanText(std::mt19937& random) {
  static const std::string alphabet("//;\0ab \x80\xFF\x81\xFE\xB0\xB0\xA1", 14);
  const int lead_share = static_cast<int>(random() % 100);
  std::string text(random() % 200, ' ');
  for (char& c : text) {
    c = static_cast<int>(random() % 100) < lead_share ? alphabet[7 + random() % 7]
                                                     : alphabet[random() % 7];
  }
  return text;
}

// The block scan must find what the stepping scan finds on any bytes, from
// any offset, for texts that end in a lead byte or inside a block.
TEST(TextPrimitivesTest, FindDelimiterAgreesWithSteppingScanOnRandomBytes) {
  std::mt19937 random(14);
  for (int round = 0; round < 20000; ++round) {
    const std::string text = RandomScanText(random);
    const size_t offset = random() % (text.size() + 1);
    const std::string_view view = std::string_view(text).substr(offset);
    for (const char d : {'/', ';', '\0'}) {
      ASSERT_EQ(FindDelimiter(view, std::string_view(&d, 1)), SteppingScan(view, d))
          << "round " << round << " delimiter " << static_cast<int>(d);
    }
  }
}

// A splitter's walk: on from each delimiter, sometimes one character
// forward first, sometimes a restart at any position (the splitter's step
// over 0x80 and 0xFF differs from the scan's); every answer must be the
// stepping scan's from the same position.
TEST(TextPrimitivesTest, DelimiterScanFollowsASplitterWalk) {
  std::mt19937 random(9);
  for (int round = 0; round < 5000; ++round) {
    const std::string text = RandomScanText(random);
    for (const std::string& set : {std::string("/"), std::string(";/"), std::string("\xB0")}) {
      DelimiterScan scan(text, set);
      size_t cur = 0;
      while (cur <= text.size()) {
        const size_t expected = FindDelimiterStepping(std::string_view(text).substr(cur), set);
        const size_t found = scan.Next(cur);
        ASSERT_EQ(found, expected == std::string_view::npos ? expected : cur + expected)
            << "round " << round << " from " << cur << " set " << set;
        if (found == std::string_view::npos) break;
        const int move = static_cast<int>(random() % 4);
        if (move == 0 && cur < text.size()) {
          // One character forward, as the scan steps.
          const unsigned char c = static_cast<unsigned char>(text[cur]);
          cur += c >= 0x81 && c <= 0xFE && cur + 1 < text.size() ? 2 : 1;
        } else if (move == 1) {
          cur += random() % (text.size() - cur + 1);
          scan.Restart(cur);
        } else {
          cur = found + 1;
        }
      }
    }
  }
  // The stepping scan itself, on the single-byte delimiter the two paths share.
  EXPECT_EQ(FindDelimiterStepping("\xB0/x/", "/"), 3u);
}

TEST(TextPrimitivesTest, SkipBlanks) {
  EXPECT_EQ(SkipBlanks(" \t\x01" "abc"), 3u);
  EXPECT_EQ(SkipBlanks("\xA1\xA1 x"), 3u);
  EXPECT_EQ(SkipBlanks("\xA1\xA2x"), 0u);
  EXPECT_EQ(SkipBlanks(std::string("\0a", 2)), 0u);  // 0 is not a blank here
  EXPECT_EQ(SkipBlanks("   "), 3u);                   // never past the token
}

TEST(TextPrimitivesTest, TrimSetRemovesBlanksAndTrailingZeros) {
  struct Case {
    std::string in, out;
  };
  const std::vector<Case> cases = {
      {"  abc \r\n", "abc"},
      {"\xA1\xA1" "abc\xA1\xA1", "abc"},
      {std::string("abc \0\0\0", 7), "abc"},
      {std::string("\0abc", 4), std::string("\0abc", 4)},  // the leading half keeps 0 bytes
      {"\xB0\xA1 ", "\xB0\xA1"},
      {" \t ", ""},
      {"a\xA1", "a\xA1"},  // a lone lead byte is no full-width space
  };
  for (const Case& c : cases) {
    std::string s = c.in;
    TrimSet(&s, BlankSet);
    EXPECT_EQ(s, c.out);
    EXPECT_EQ(TrimSetView(c.in, BlankSet), c.out);
  }
  std::string right = "  a  ";
  TrimRightSet(&right, BlankSet);
  EXPECT_EQ(right, "  a");
}

TEST(TextPrimitivesTest, TermRule) {
  EXPECT_TRUE(MeetsTermRule("abcd"));
  EXPECT_FALSE(MeetsTermRule("abc"));
  EXPECT_FALSE(MeetsTermRule("0bcd"));
  EXPECT_FALSE(MeetsTermRule("@bcd"));
  EXPECT_TRUE(MeetsTermRule("Abcd"));
  EXPECT_TRUE(MeetsTermRule("\x80xyz"));
  EXPECT_FALSE(MeetsTermRule("\xB0\xA1"));
  EXPECT_TRUE(MeetsTermRule("\xB0\xA1\xB0\xA2"));
}

TEST(TextPrimitivesTest, CutTermKeepsWholeCharacters) {
  const std::string a256(256, 'a');
  EXPECT_EQ(CutTerm(a256), a256);
  EXPECT_EQ(CutTerm(a256 + "b"), a256);
  // 255 ASCII bytes and then a two-byte character: the cut would keep its
  // lead byte only, so the lead byte goes too.
  const std::string a255(255, 'a');
  EXPECT_EQ(CutTerm(a255 + "\xB0\xA1"), a255);
  // Two-byte characters throughout: 128 of them fit exactly.
  std::string wide;
  for (int i = 0; i < 130; ++i) wide += "\xB0\xA1";
  EXPECT_EQ(CutTerm(wide), wide.substr(0, 256));
  // One ASCII byte first shifts the characters: 127 of them and the 'a'.
  EXPECT_EQ(CutTerm("a" + wide), ("a" + wide).substr(0, 255));
  EXPECT_EQ(CutTerm("short"), "short");
}

TEST(TextPrimitivesTest, CutTermNeverLeavesHalfAFourByteCharacter) {
  // Four-byte GB18030 characters (U+1F600) after a shift of 0 to 3 ASCII
  // bytes: the cut ends on a whole character every time.
  const std::string emoji = "\x94\x39\xFC\x36";
  std::string emojis;
  for (int i = 0; i < 70; ++i) emojis += emoji;
  for (size_t shift = 0; shift < 4; ++shift) {
    const std::string term = std::string(shift, 'a') + emojis;
    EXPECT_EQ(CutTerm(term), term.substr(0, shift + (256 - shift) / 4 * 4)) << "shift " << shift;
  }
  // A two-byte character right at the cut keeps the two-byte rule.
  const std::string mixed = std::string(250, 'a') + emoji + "\xB0\xA1" + "tail";
  EXPECT_EQ(CutTerm(mixed), mixed.substr(0, 256));
  const std::string late = std::string(253, 'a') + emoji + "tail";
  EXPECT_EQ(CutTerm(late), std::string(253, 'a'));
}

}  // namespace
}  // namespace vocs
