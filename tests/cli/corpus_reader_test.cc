// The command's input readers and text helpers.
#include "cli/corpus_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/json_line.h"
#include "cli/statement_text.h"
#include "cli/text_table.h"
#include "host/host_test_util.h"

namespace vocs::cli {
namespace {

std::string Show(const FieldValue& v) {
  switch (v.kind) {
    case FieldValue::Kind::kNull: return "null";
    case FieldValue::Kind::kInteger: return "i:" + std::to_string(v.integer);
    case FieldValue::Kind::kReal: return "r:" + std::to_string(v.real);
    case FieldValue::Kind::kText: return "'" + v.text + "'";
  }
  return "?";
}

// Records as "name=value,..." lines; a failure appends "error: ...".
using Parser = bool (*)(std::string_view, const RecordSink&, std::string*);
std::vector<std::string> Records(Parser parse, const std::string& text) {
  std::vector<std::string> out;
  std::string error;
  const bool ok = parse(
      text,
      [&](const CorpusRecord& record, std::string*) {
        std::string line;
        for (const auto& [name, value] : record) {
          line += (line.empty() ? "" : ",") + name + "=" + Show(value);
        }
        out.push_back(line);
        return true;
      },
      &error);
  if (!ok) out.push_back("error: " + error);
  return out;
}

using Lines = std::vector<std::string>;

TEST(CorpusReaderTest, FortuneEntriesBecomeTitleAuthorBody) {
  // The two layouts of the poem collections, with their colour escapes.
  const std::string text =
      "\x1B[32m《静夜思》\x1B[m\n\x1B[33m作者：李白\x1B[m\n床前明月光，\n疑是地上霜。\n%\n"
      "\x1B[32m题目:《村行》\x1B[m\r\n\x1B[33m作者:王禹偁（９５４－１００１）\x1B[m\r\n"
      "\r\n            其一\r\n\r\n马穿山径菊初黄。\r\n%\n"
      "%\n"
      "无作者的一行\n正文\n";
  EXPECT_EQ(Records(ParseFortunes, text),
            (Lines{"title='静夜思',author='李白',body='床前明月光，\n疑是地上霜。'",
                   "title='村行',author='王禹偁',body='其一\n马穿山径菊初黄。'",
                   "title='无作者的一行',author='',body='正文'"}));
}

TEST(CorpusReaderTest, TsvNeedsTheHeadersColumnCount) {
  EXPECT_EQ(Records(ParseTsv, "title\tbody\r\na\tb c\r\n\r\nd\t\r\n"),
            (Lines{"title='a',body='b c'", "title='d',body=''"}));
  // A bad line stops the file before any record of it is taken.
  EXPECT_EQ(Records(ParseTsv, "title\tbody\na\tb\nx\n"),
            (Lines{"error: line 3: 1 values, the header names 2 columns"}));
  EXPECT_EQ(Records(ParseTsv, ""), (Lines{"error: no header line"}));
}

TEST(CorpusReaderTest, TsvColumnsOfNumbersHoldNumbers) {
  // id: integers (an empty value is NULL); score: integers and decimals, so
  // reals; code: a leading zero keeps the column text; big: beyond 18 digits
  // stays text; exp: no exponents.
  EXPECT_EQ(Records(ParseTsv,
                    "id\tscore\tcode\tbig\texp\n"
                    "1\t2\t007\t1234567890123456789\t1e5\n"
                    "-20\t-0.25\t12\t1\t2\n"
                    "\t3.5\t\t\t\n"),
            (Lines{"id=i:1,score=r:2.000000,code='007',big='1234567890123456789',exp='1e5'",
                   "id=i:-20,score=r:-0.250000,code='12',big='1',exp='2'",
                   "id=null,score=r:3.500000,code='',big='',exp=''"}));
  EXPECT_EQ(Show(TypedValue(FieldValue::Kind::kInteger, "-0")), "i:0");
  EXPECT_EQ(Show(TypedValue(FieldValue::Kind::kReal, "1.")), "'1.'");
  EXPECT_EQ(Show(TypedValue(FieldValue::Kind::kInteger, "+1")), "'+1'");
  EXPECT_EQ(Show(TypedValue(FieldValue::Kind::kText, "12")), "'12'");
}

TEST(CorpusReaderTest, JsonLinesKeepValueKinds) {
  EXPECT_EQ(Records(ParseJsonLines,
                    "{\"a\": \"x\\ty\\u4e2d\\ud83d\\ude00\", \"n\": -12, \"f\": 2.5e1, "
                    "\"t\": true, \"z\": null, \"o\": {\"k\": [1, 2]}}\n\n{}\n"),
            (Lines{"a='x\ty中😀',n=i:-12,f=r:25.000000,t=i:1,z=null,o='{\"k\": [1, 2]}'", ""}));
}

TEST(CorpusReaderTest, JsonLinesErrors) {
  const struct {
    const char* line;
    const char* error;
  } kCases[] = {
      {"[1]", "error: line 1: expected a JSON object at byte 0"},
      {"{\"a\": 1,}", "error: line 1: expected a key in double quotes at byte 8"},
      {"{\"a\": 1} x", "error: line 1: text after the object at byte 9"},
      {"{\"a\": 1, \"a\": 2}", "error: line 1: the key \"a\" appears twice at byte 12"},
      {"{\"a\": \"x}", "error: line 1: unterminated string at byte 9"},
      {"{\"a\": tru}", "error: line 1: expected a value at byte 6"},
      {"{\"a\": \"\\ud800\"}", "error: line 1: unpaired surrogate in a \\u escape at byte 13"},
      {"{\"a\": \"\\q\"}", "error: line 1: unknown escape at byte 8"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(Records(ParseJsonLines, c.line), (Lines{c.error})) << c.line;
  }
  const std::string deep = "{\"a\": " + std::string(300, '[') + std::string(300, ']') + "}";
  EXPECT_EQ(Records(ParseJsonLines, deep),
            (Lines{"error: line 1: nesting deeper than 200 at byte 206"}));
}

TEST(CorpusReaderTest, DecodesUtf8AndGb18030) {
  host::TextCodec codec;
  std::string out;
  std::string error;
  EXPECT_TRUE(DecodeInput("\xEF\xBB\xBF中文", host::TextEncoding::kDetect, "f", &codec, &out,
                          &error));
  EXPECT_EQ(out, "中文");
  EXPECT_TRUE(DecodeInput(host::testing::Gb18030("中文"), host::TextEncoding::kDetect, "f", &codec,
                          &out, &error));
  EXPECT_EQ(out, "中文");
  EXPECT_FALSE(DecodeInput("a\x81\x7F", host::TextEncoding::kDetect, "f", &codec, &out, &error));
  EXPECT_EQ(error, "f is neither UTF-8 nor GBK/GB18030 text (byte 1)");
  EXPECT_FALSE(DecodeInput("\xFF\xFEx\0", host::TextEncoding::kDetect, "f", &codec, &out, &error));
  EXPECT_EQ(error, "f is UTF-16 text; convert it to UTF-8");
  EXPECT_FALSE(DecodeInput(host::testing::Gb18030("中文"), host::TextEncoding::kUtf8, "f", &codec,
                           &out, &error));
  EXPECT_EQ(error, "f is not UTF-8 text");
}

TEST(CorpusReaderTest, DirectoriesExpandToTheirFormatsFiles) {
  host::testing::TempDir dir;
  dir.Write("b/two.txt", "x");
  dir.Write("a.TXT", "x");
  dir.Write("c.tsv", "x");
  dir.Write("notes.md", "x");
  std::vector<std::string> files;
  std::string error;
  ASSERT_TRUE(ExpandInput(dir.path(), CorpusFormat::kText, &files, &error));
  EXPECT_EQ(files, (std::vector<std::string>{dir.Sub("a.TXT"), dir.Sub("b/two.txt")}));
  files.clear();
  ASSERT_TRUE(ExpandInput(dir.path(), CorpusFormat::kTsv, &files, &error));
  EXPECT_EQ(files, (std::vector<std::string>{dir.Sub("c.tsv")}));
  EXPECT_FALSE(ExpandInput(dir.path(), CorpusFormat::kFortune, &files, &error));
  EXPECT_FALSE(ExpandInput(dir.Sub("missing"), CorpusFormat::kText, &files, &error));
  EXPECT_EQ(error, "no such file or directory: " + dir.Sub("missing"));
}

TEST(StatementTextTest, SplitsStatementFiles) {
  EXPECT_EQ(SplitStatements("# comment\r\nSTAT WORDFREQ\r\n  FROM a TO FILE=b\r\n\r\n"
                            "   \nSTAT x\n# inside\nTO y"),
            (std::vector<std::string>{"STAT WORDFREQ\n  FROM a TO FILE=b", "STAT x\nTO y"}));
  EXPECT_EQ(StatementRequest("ab"), std::string("sql!\0ab\0", 8));
}

TEST(StatementTextTest, TableNamesAreTheLastComponent) {
  EXPECT_EQ(TableNameOfPath("words"), "words");
  EXPECT_EQ(TableNameOfPath("/db/LOCAL_HS_DB/words"), "words");
  EXPECT_EQ(TableNameOfPath("sub/t/"), "t");
}

TEST(TextTableTest, AlignsWideCharacters) {
  EXPECT_EQ(DisplayWidth("abc"), 3);
  EXPECT_EQ(DisplayWidth("明月"), 4);
  EXPECT_EQ(DisplayWidth("e\xCC\x81"), 1);  // e and a combining accent
  EXPECT_EQ(TruncateToWidth("明月照春风", 6), "明月…");
  EXPECT_EQ(TruncateToWidth("明月", 4), "明月");
  EXPECT_EQ(RenderTable({"词条名称", "词频"}, {{"明月", "12"}, {"abcde", "3"}, {"x"}}),
            "词条名称  词频\n"
            "明月        12\n"
            "abcde        3\n"
            "x\n");
}

TEST(TextTableTest, ControlCharactersAreWrittenOut) {
  EXPECT_EQ(EscapeControls("\x1B]0;title\x07\x1B[2J\x1B[31mred\tx\x7F"),
            "\\x1B]0;title\\x07\\x1B[2J\\x1B[31mred x\\x7F");
  EXPECT_EQ(EscapeControls("a\xC2\x9B" "1m b\xC2\xA0" "c 明月"), "a\\u009B1m b\xC2\xA0" "c 明月");
}

}  // namespace
}  // namespace vocs::cli
