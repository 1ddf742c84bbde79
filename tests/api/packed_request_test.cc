// Decoding packed request bodies against an explicit end.
#include "api/packed_request.h"

#include <gtest/gtest.h>

#include <string>

namespace vocs {
namespace {

std::string Int(int32_t v) {
  std::string s;
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF));
  return s;
}

std::string Str(const std::string& s) { return s + std::string(1, '\0'); }

const std::string kBody = Int(2) + Str("abcd/efgh") + Int(2) + Str("") + Str("x;y") + Int(1) +
                          Str(";") + Int(2) + Str("words") + Int(-3);

TEST(PackedRequestTest, DecodesEveryFieldLittleEndianAndUnaligned) {
  PackedRequest request;
  ASSERT_TRUE(DecodePackedBody(kBody.data(), kBody.data() + kBody.size(), true, &request));
  ASSERT_EQ(request.items.size(), 2u);
  EXPECT_EQ(request.items[0].text, "abcd/efgh");
  EXPECT_EQ(request.items[0].mode, 2);
  EXPECT_EQ(request.items[0].modeText, "");
  EXPECT_EQ(request.items[1].text, "x;y");
  EXPECT_EQ(request.items[1].mode, 1);
  EXPECT_EQ(request.items[1].modeText, ";");
  EXPECT_EQ(request.outputKind, 2);
  EXPECT_EQ(request.outputName, "words");
  EXPECT_EQ(request.minFrequency, -3);
  EXPECT_EQ(MeasurePackedBody(kBody.data(), true), kBody.data() + kBody.size());
}

TEST(PackedRequestTest, EveryTruncationIsRefused) {
  for (size_t cut = 0; cut < kBody.size(); ++cut) {
    // An exact-size copy: a read past the end would be a read past the copy.
    std::string truncated = kBody.substr(0, cut);
    PackedRequest request;
    EXPECT_FALSE(DecodePackedBody(truncated.data(), truncated.data() + truncated.size(), true,
                                  &request))
        << "cut at " << cut;
  }
}

TEST(PackedRequestTest, CooccurrenceBodiesEndWithTheOutputNameAndIgnoreTheRest) {
  const std::string body = Int(0) + Int(1) + Str("pairs") + "anything after";
  PackedRequest request;
  ASSERT_TRUE(DecodePackedBody(body.data(), body.data() + body.size(), false, &request));
  EXPECT_TRUE(request.items.empty());
  EXPECT_EQ(request.outputName, "pairs");
  EXPECT_EQ(request.minFrequency, 0);
}

TEST(PackedRequestTest, ANegativeCountMeansNoItem) {
  const std::string body = Int(-7) + Int(1) + Str("out") + Int(4);
  PackedRequest request;
  ASSERT_TRUE(DecodePackedBody(body.data(), body.data() + body.size(), true, &request));
  EXPECT_TRUE(request.items.empty());
  EXPECT_EQ(request.minFrequency, 4);
}

TEST(PackedRequestTest, AHugeCountCannotReadPastTheEnd) {
  const std::string body = Int(0x7FFFFFFF) + Str("a") + Int(2);
  PackedRequest request;
  EXPECT_FALSE(DecodePackedBody(body.data(), body.data() + body.size(), true, &request));
}

}  // namespace
}  // namespace vocs
