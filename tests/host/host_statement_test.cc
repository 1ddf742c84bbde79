// The parser of the module's table statements and the tagged-record reader.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/host_statement.h"
#include "host/tagged_record_reader.h"
#include "host_test_util.h"

namespace vocs::host {
namespace {

using testing::Gb18030;

// A parsed statement as a short string.
std::string Dump(const HostStatement& s) {
  static const char* kKinds[] = {"create", "drop", "bulkload", "alter", "index"};
  std::string out = std::string(kKinds[static_cast<int>(s.kind)]) + " " + s.table;
  if (!s.path.empty()) out += " path=" + s.path;
  if (!s.column.empty()) out += " column=" + s.column;
  for (const ColumnSpec& c : s.columns) {
    out += " [" + c.name + " " + c.type_text;
    if (c.length != 0) out += "(" + std::to_string(c.length) + ")";
    if (!c.alias.empty()) out += " a=" + c.alias;
    if (!c.display_name.empty()) out += " d=" + c.display_name;
    out += "]";
  }
  if (!s.attribute.empty()) out += " " + s.attribute;
  return out;
}

std::string Parse(const std::string& utf8) {
  TextCodec codec;
  HostStatement statement;
  std::string error;
  if (!ParseHostStatement(Gb18030(utf8), &codec, &statement, &error)) return "error: " + error;
  return Dump(statement);
}

TEST(HostStatementTest, ParsesTheModuleStatements) {
  const struct {
    const char* text;
    const char* parsed;
  } kCases[] = {
      {"CREATE TABLE words PATH '/x/LOCAL_HS_DB/words' (词条名称 CHAR(128) aliasname 'ItemName' "
       "displayname '词条名称', 词频 INTEGER(16) aliasname 'Frequency' displayname '词频')",
       "create words path=/x/LOCAL_HS_DB/words [词条名称 CHAR(128) a=ItemName d=词条名称] "
       "[词频 INTEGER(16) a=Frequency d=词频]"},
      {"create table t path '/p' (a num(16), b text displayname 'B''s' aliasname 'bb')",
       "create t path=/p [a NUM(16)] [b TEXT a=bb d=B's]"},
      {"DROP TABLE words", "drop words"},
      {"bulkload table words\"/x/LOCAL_HS_DB/rec_1.tmp\"",
       "bulkload words path=/x/LOCAL_HS_DB/rec_1.tmp"},
      {"bulkload table words \"/a b/rec.tmp\"", "bulkload words path=/a b/rec.tmp"},
      // File-system texts come unescaped: quotes inside them stay.
      {"bulkload table t\"/o\"neil/rec.tmp\"", "bulkload t path=/o\"neil/rec.tmp"},
      {"CREATE TABLE t PATH '/home/o'brien/t' (a CHAR)", "create t path=/home/o'brien/t [a CHAR]"},
      {"ALTER TABLE words ALTER 词频 AS 词频 INTEGER(16) NORMAL",
       "alter words column=词频 [词频 INTEGER(16)] NORMAL"},
      {"ALTER TABLE w ALTER x AS x CHAR normal", "alter w column=x [x CHAR] NORMAL"},
      {"INDEX words ALL", "index words"},
      {"  index\r\n words\tall  ", "index words"},
  };
  for (const auto& c : kCases) EXPECT_EQ(Parse(c.text), c.parsed) << c.text;
}

TEST(HostStatementTest, Errors) {
  const struct {
    const char* text;
    const char* error;
  } kCases[] = {
      {"", "error: expected a statement (CREATE TABLE, DROP TABLE, bulkload, ALTER TABLE, INDEX) "
           "at byte 0, found the end of the statement"},
      {"SELECT * FROM t", "error: expected a statement (CREATE TABLE, DROP TABLE, bulkload, "
                          "ALTER TABLE, INDEX) at byte 0, found \"SELECT\""},
      {"DROP TABLE t; DROP TABLE docs", "error: unexpected character ';' at byte 12"},
      {"DROP TABLE \"docs\"", "error: expected a table name at byte 11, found \"docs\""},
      {"DROP TABLE x\"y", "error: unterminated \"...\" text starting at byte 12"},
      {"DROP TABLE a b", "error: expected the end of the statement at byte 13, found \"b\""},
      {"CREATE TABLE t PATH 'p' ()", "error: expected a column name at byte 25, found \")\""},
      {"CREATE TABLE t PATH 'p' (a BLOB)",
       "error: expected a column type (CHAR, VARCHAR, TEXT, INTEGER, INT, NUM, NUMERIC, REAL, "
       "FLOAT, DOUBLE) at byte 27, found \"BLOB\""},
      {"CREATE TABLE t PATH 'p' (a CHAR(x))", "error: expected a length at byte 32, found \"x\""},
      {"CREATE TABLE t PATH 'p' (a CHAR aliasname 'x' aliasname 'y')",
       "error: expected no repeated ALIASNAME or DISPLAYNAME at byte 46, found \"aliasname\""},
      {"CREATE TABLE t PATH 'p (a CHAR)", "error: unterminated '...' text starting at byte 20"},
      {"CREATE TABLE t PATH p (a CHAR)", "error: expected a text in quotes at byte 20"},
      {"bulkload table t", "error: expected a text in double quotes at byte 16"},
      {"bulkload table t\"\"", "error: the file name is empty"},
      {"bulkload table t\"a\" x", "error: expected the end of the statement at byte 20, found "
                                 "\"x\""},
      {"ALTER TABLE t ALTER a AS a CHAR", "error: expected a column attribute such as NORMAL at "
                                          "byte 31, found the end of the statement"},
      {"INDEX t", "error: expected ALL at byte 7, found the end of the statement"},
  };
  for (const auto& c : kCases) EXPECT_EQ(Parse(c.text), c.error) << c.text;
}

TEST(HostStatementTest, NamesNeverCarrySql) {
  // Whatever a table name holds besides name characters ends it, and the
  // statement then fails to parse.
  for (const char* text : {"DROP TABLE x\";DROP TABLE docs;--", "DROP TABLE x'--",
                           "INDEX docs/**/ ALL", "INDEX t(x) ALL", "DROP TABLE a,b"}) {
    EXPECT_EQ(Parse(text).rfind("error: ", 0), 0u) << text;
  }
  EXPECT_TRUE(IsValidName("词频_2.v-1"));
  EXPECT_FALSE(IsValidName("a\"b"));
  EXPECT_FALSE(IsValidName("a b"));
  EXPECT_FALSE(IsValidName(""));
  EXPECT_FALSE(IsValidName(std::string(kMaxNameLength + 1, 'a')));
  EXPECT_FALSE(IsValidName("\xB4\xCA"));  // GBK, not UTF-8
  EXPECT_EQ(Parse("DROP TABLE " + std::string(kMaxNameLength + 1, 'a')),
            "error: a table name \"" + std::string(kMaxNameLength + 1, 'a') +
                "\" is longer than 128 bytes");
}

// Records of a tagged file as "tag=value;..." strings, or "error: ...".
std::vector<std::string> ReadRecords(const std::string& contents) {
  testing::TempDir dir;
  const std::string path = dir.Write("rec.tmp", contents);
  std::vector<std::string> out;
  int64_t records = 0;
  std::string error;
  const bool ok = ReadTaggedRecords(
      path,
      [&](const std::vector<TaggedField>& fields, int64_t line, std::string*) {
        std::string record = std::to_string(line) + ":";
        for (const TaggedField& f : fields) record += f.tag + "=" + f.value + ";";
        out.push_back(record);
        return true;
      },
      &records, &error);
  if (!ok) out.push_back("error: " + error);
  EXPECT_EQ(records, static_cast<int64_t>(ok ? out.size() : out.size() - 1));
  return out;
}

TEST(TaggedRecordReaderTest, ReadsRecords) {
  using V = std::vector<std::string>;
  EXPECT_EQ(ReadRecords("<REC>\r\n<a>=x=1\r\n<b>=\r\n<REC>\r\n<a>=<y>\t z\r\n"),
            (V{"1:a=x=1;b=;", "4:a=<y>\t z;"}));
  EXPECT_EQ(ReadRecords(""), V{});
  EXPECT_EQ(ReadRecords("\r\n<REC>\n<a>=1\n\n"), (V{"2:a=1;"}));
}

TEST(TaggedRecordReaderTest, Errors) {
  using V = std::vector<std::string>;
  EXPECT_EQ(ReadRecords("<a>=1\r\n"),
            (V{"error: line 1: a field before the first \"<REC>\""}));
  EXPECT_EQ(ReadRecords("<REC>\r\n<a>=1\r\nstray\r\n"),
            (V{"error: line 3: neither \"<REC>\" nor a \"<tag>=value\" line"}));
  EXPECT_EQ(ReadRecords("<REC>\r\n<a>1\r\n"),
            (V{"error: line 2: neither \"<REC>\" nor a \"<tag>=value\" line"}));
  EXPECT_EQ(ReadRecords("<REC>\r\n<>=1\r\n"),
            (V{"error: line 2: neither \"<REC>\" nor a \"<tag>=value\" line"}));
  EXPECT_EQ(ReadRecords("<REC>\r\n<a>=1\r\n<REC>\r\n<REC>\r\n<a>=2\r\n"),
            (V{"1:a=1;", "error: line 3: a record without fields"}));
  EXPECT_EQ(ReadRecords("<REC>\r\n<a>=1\r\n<a>=2\r\n"),
            (V{"error: line 3: a tag repeated within one record"}));
  std::string error;
  int64_t records = 0;
  EXPECT_FALSE(ReadTaggedRecords(
      "/nonexistent/rec.tmp", [](auto&, int64_t, std::string*) { return true; }, &records,
      &error));
  EXPECT_EQ(error, "cannot open the record file /nonexistent/rec.tmp");
}

}  // namespace
}  // namespace vocs::host
