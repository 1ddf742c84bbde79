// The embedded host's slots against a real database file, called the way the
// module calls them (GB18030 texts, the -1107 protocol, handles by value).
#include "host/embedded_host.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <thread>
#include <memory>
#include <string>
#include <vector>

#include "host_test_util.h"
#include "vocs/errors.h"

namespace vocs::host {
namespace {

using testing::Gb18030;

constexpr const char* kFrequencyColumns =
    "(词条名称 CHAR(128) aliasname 'ItemName' displayname '词条名称', "
    "词频 INTEGER(8) aliasname 'Frequency' displayname '词频', "
    "平均值 NUM(16) aliasname 'Average' displayname '平均值')";

class EmbeddedHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    host_ = EmbeddedHost::Open(dir_.Sub("test.db"), &error);
    ASSERT_NE(host_, nullptr) << error;
    Sql("CREATE TABLE docs (title TEXT, body TEXT, year INTEGER, score REAL, data BLOB, note TEXT);"
        "INSERT INTO docs VALUES ('静夜思', '床前明月光，疑是地上霜。', 701, 1.5, x'00FF41', NULL);"
        "INSERT INTO docs VALUES ('Spring', 'Hello 😀 world', 2009, -2, x'', 'n');"
        "INSERT INTO docs VALUES ('春晓', '春眠不觉晓', 689, 0, NULL, '');");
  }

  void Sql(const std::string& sql) {
    ASSERT_TRUE(host_->database()->Execute(sql.c_str())) << host_->database()->error();
  }

  // Rows of an SQL query as "a|b;c|d" (NULL shown as "null").
  std::string Dump(const std::string& sql) {
    Statement stmt;
    if (!host_->database()->Prepare(sql, &stmt)) return "error: " + host_->database()->error();
    std::string out;
    for (bool row = true;;) {
      if (!stmt.Step(&row)) return "error: " + host_->database()->error();
      if (!row) break;
      if (!out.empty()) out += ";";
      for (int i = 0; i < stmt.ColumnCount(); ++i) {
        if (i > 0) out += "|";
        out += stmt.ColumnType(i) == SQLITE_NULL ? "null" : stmt.ColumnBytes(i);
      }
    }
    return out;
  }

  ResultHandle Query(const std::string& utf8) {
    ResultHandle handle{-1, 0, 0};
    host_->runStatement(Gb18030(utf8).c_str(), 0, &handle);
    return handle;
  }

  // Reads one value as the job does: offer the buffer, grow on -1107.
  std::string Read(ResultHandle handle, int field, int record) {
    std::string buffer(4, '\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
      int32_t length = static_cast<int32_t>(buffer.size()) - 1;
      const int32_t result =
          host_->readField(handle, field, record, buffer.data(), &length, 0, 0);
      if (result == VOCS_HOST_BUFFER_TOO_SMALL) {
        buffer.resize(static_cast<size_t>(length) + 1);
        continue;
      }
      if (result < 0) return "error " + std::to_string(result);
      EXPECT_EQ(buffer[static_cast<size_t>(length)], '\0');
      return buffer.substr(0, static_cast<size_t>(length));
    }
    return "error: -1107 repeated";
  }

  // Runs a module statement (UTF-8 here, GBK on the wire) as the table writer
  // does: success is an id above 0, followed by closeResult.
  bool Execute(const std::string& utf8) { return ExecuteRaw(Gb18030(utf8)); }
  bool ExecuteRaw(const std::string& gbk) {
    ResultHandle handle{-1, 0, 0};
    host_->runStatement(gbk.c_str(), 1, &handle);
    if (handle.id <= 0) return false;
    EXPECT_EQ(host_->closeResult(handle), 0);
    return true;
  }

  bool CreateWords(const std::string& name = "words") {
    return Execute("CREATE TABLE " + name + " PATH '" + dir_.Sub("LOCAL_HS_DB/" + name) + "' " +
                   kFrequencyColumns);
  }

  std::string WriteRecords(const std::string& name, const std::string& utf8) {
    return dir_.Write(name, Gb18030(utf8));
  }

  // The module's whole sequence for a table: CREATE, one bulk load, INDEX.
  bool BuildWords(const std::string& name, const std::string& records_utf8) {
    return CreateWords(name) &&
           Execute("bulkload table " + name + "\"" + WriteRecords("rec_" + name, records_utf8) +
                   "\"") &&
           Execute("INDEX " + name + " ALL");
  }

  // The tables of the database other than the catalogue, and the builds.
  std::string Tables() {
    return Dump("SELECT group_concat(name) FROM (SELECT name FROM sqlite_schema WHERE type = "
                "'table' AND name NOT LIKE 'vocs\\_%' ESCAPE '\\' ORDER BY name)") +
           " builds:" + Dump("SELECT count(*) FROM vocs_builds") + "+" +
           Dump("SELECT count(*) FROM sqlite_schema WHERE name LIKE 'vocs\\_build\\_%' "
                "ESCAPE '\\'");
  }

  testing::TempDir dir_;
  std::unique_ptr<EmbeddedHost> host_;
};

TEST_F(EmbeddedHostTest, QueryCountsRecordsAndDeliversGb18030) {
  const ResultHandle handle = Query("SELECT * FROM docs ORDER BY year");
  ASSERT_GT(handle.id, 0) << host_->last_error();
  EXPECT_EQ(handle.count, 3);
  EXPECT_EQ(Read(handle, 0, 0), Gb18030("春晓"));
  EXPECT_EQ(Read(handle, 1, 1), Gb18030("床前明月光，疑是地上霜。"));
  EXPECT_EQ(Read(handle, 2, 2), "2009");
  EXPECT_EQ(Read(handle, 3, 1), "1.5");
  EXPECT_EQ(Read(handle, 4, 1), std::string("\x00\xFF\x41", 3));  // blob bytes as they are
  EXPECT_EQ(Read(handle, 5, 1), "");                              // NULL
  EXPECT_EQ(Read(handle, 1, 2), "Hello \x94\x39\xFC\x36 world");  // four bytes beyond GBK
  // Records are read by index in any order and as often as asked.
  EXPECT_EQ(Read(handle, 0, 0), Gb18030("春晓"));
  EXPECT_EQ(Read(handle, 0, 2), "Spring");
  EXPECT_EQ(Read(handle, 0, 1), Gb18030("静夜思"));
  EXPECT_EQ(host_->closeResult(handle), 0);
  EXPECT_EQ(host_->open_handles(), 0u);
  EXPECT_EQ(host_->TakeReport().query_records, (std::vector<int64_t>{3}));
}

TEST_F(EmbeddedHostTest, ShardsShowContiguousRangesThatCoverEveryRecordOnce) {
  Sql("CREATE TABLE n (v INTEGER)");
  for (int i = 0; i < 10; ++i) Sql("INSERT INTO n VALUES (" + std::to_string(i) + ")");
  for (const int shards : {1, 3, 7, 10, 13}) {
    std::string all;
    int empty = 0;
    for (int shard = 1; shard <= shards; ++shard) {
      host_->set_record_shard(shard, shards);
      const ResultHandle handle = Query("SELECT v FROM n ORDER BY v");
      ASSERT_GE(handle.id, 0) << host_->last_error();
      EXPECT_LE(handle.count, (10 + shards - 1) / shards);
      empty += handle.count == 0;
      for (int record = 0; record < handle.count; ++record) all += Read(handle, 0, record) + ",";
      // Nothing beyond the shard's own records; its first one read again.
      if (handle.count > 0) {
        EXPECT_EQ(Read(handle, 0, handle.count), "error " + std::to_string(VOCS_E_BAD_ARGUMENT));
        EXPECT_EQ(Read(handle, 0, 0), std::to_string(10 * (shard - 1) / shards));
      }
      host_->closeResult(handle);
    }
    EXPECT_EQ(all, "0,1,2,3,4,5,6,7,8,9,") << shards << " shards";
    EXPECT_EQ(empty, shards > 10 ? shards - 10 : 0) << shards << " shards";
  }
  // The report counts the whole query, whichever shard is shown.
  host_->TakeReport();
  host_->set_record_shard(2, 3);
  host_->closeResult(Query("SELECT v FROM n"));
  EXPECT_EQ(host_->TakeReport().query_records, (std::vector<int64_t>{10}));
}

TEST_F(EmbeddedHostTest, AGivenRecordCountSparesTheShardTheRestOfTheQuery) {
  Sql("CREATE TABLE n (v INTEGER)");
  for (int i = 0; i < 10; ++i) Sql("INSERT INTO n VALUES (" + std::to_string(i) + ")");
  // Stepping onto record 8 fails: only a host that stops at the end of the
  // shard's range can open the first shards.
  const std::string query = "SELECT CASE WHEN v = 8 THEN json('{') ELSE v END FROM n";
  host_->set_record_shard(1, 3);
  EXPECT_LT(Query(query).id, 0) << "counting steps onto the failing record";
  host_->set_record_shard(2, 3, 10);
  ResultHandle handle = Query(query);
  ASSERT_GE(handle.id, 0) << host_->last_error();
  std::string read;
  for (int record = 0; record < handle.count; ++record) read += Read(handle, 0, record) + ",";
  EXPECT_EQ(read, "3,4,5,");
  host_->closeResult(handle);
  // The report counts the records it was told of.
  EXPECT_EQ(host_->TakeReport().query_records, (std::vector<int64_t>{10}));
  // The shard that holds the failing record fails there, as a failed query.
  host_->set_record_shard(3, 3, 10);
  handle = Query(query);
  ASSERT_GE(handle.id, 0) << host_->last_error();
  EXPECT_EQ(Read(handle, 0, 1), "7");
  EXPECT_EQ(Read(handle, 0, 2), "error " + std::to_string(VOCS_E_QUERY_NOT_OPENED));
  EXPECT_NE(host_->last_error().find("malformed JSON"), std::string::npos) << host_->last_error();
  host_->closeResult(handle);
  // A count beyond the query's records: the missing record fails its read.
  host_->set_record_shard(2, 2, 12);
  handle = Query("SELECT v FROM n ORDER BY v");
  ASSERT_GE(handle.id, 0);
  EXPECT_EQ(Read(handle, 0, 3), "9");
  EXPECT_EQ(Read(handle, 0, 4), "error " + std::to_string(VOCS_E_BAD_ARGUMENT));
  EXPECT_NE(host_->last_error().find("record 10 is gone"), std::string::npos) << host_->last_error();
  host_->closeResult(handle);
}

TEST_F(EmbeddedHostTest, MalformedStoredTextIsReplacedAndCounted) {
  Sql("CREATE TABLE raw (t TEXT); INSERT INTO raw VALUES (CAST(x'41FF42C3' AS TEXT));"
      "INSERT INTO raw VALUES ('Stra\u00dfe');");
  const ResultHandle handle = Query("SELECT t FROM raw");
  ASSERT_GT(handle.id, 0);
  EXPECT_EQ(Read(handle, 0, 0), "A" + std::string(kGb18030Replacement) + "B" +
                                    std::string(kGb18030Replacement));
  EXPECT_EQ(Read(handle, 0, 1), "Stra\x81\x30\x89\x38" "e");
  host_->closeResult(handle);
  const HostReport report = host_->TakeReport();
  EXPECT_EQ(report.replaced_characters, 2);
  EXPECT_EQ(host_->TakeReport().replaced_characters, 0);  // taken
}

TEST_F(EmbeddedHostTest, ReadFieldAnswersBufferTooSmallWithTheSizeNeeded) {
  const ResultHandle handle = Query("SELECT title FROM docs WHERE year = 701");
  ASSERT_GT(handle.id, 0);
  const std::string value = Gb18030("静夜思");  // 6 bytes, needs 7 with the 0 byte
  char buffer[16];
  const struct {
    int32_t offered;
    int32_t result;
    int32_t length_after;
  } kCases[] = {{0, VOCS_HOST_BUFFER_TOO_SMALL, 7}, {6, VOCS_HOST_BUFFER_TOO_SMALL, 7},
                {7, 0, 6}, {16, 0, 6}, {-5, VOCS_HOST_BUFFER_TOO_SMALL, 7}};
  for (const auto& c : kCases) {
    std::memset(buffer, 'x', sizeof buffer);
    int32_t length = c.offered;
    EXPECT_EQ(host_->readField(handle, 0, 0, buffer, &length, 0, 0), c.result) << c.offered;
    EXPECT_EQ(length, c.length_after) << c.offered;
    if (c.result == 0) {
      EXPECT_EQ(std::string(buffer, 6), value);
      EXPECT_EQ(buffer[6], '\0');
      EXPECT_EQ(buffer[7], 'x');  // nothing written past the terminator
    } else {
      EXPECT_EQ(buffer[0], 'x');  // nothing written when refused
    }
  }
  host_->closeResult(handle);
}

TEST_F(EmbeddedHostTest, ResolveFieldFindsColumnsWithoutRegardToCase) {
  Sql("CREATE TABLE zh (词条 TEXT, Body TEXT)");
  const ResultHandle docs = Query("SELECT title, body AS Text FROM docs");
  ASSERT_GT(docs.id, 0);
  EXPECT_EQ(host_->resolveField(docs, "TITLE", 0), 0);
  EXPECT_EQ(host_->resolveField(docs, "text", 0), 1);
  EXPECT_EQ(host_->resolveField(docs, "body", 0), VOCS_E_BAD_ARGUMENT);
  EXPECT_EQ(host_->last_error(),
            "the query result has no column \"body\" (its columns: title, Text)");
  const ResultHandle zh = Query("SELECT * FROM zh");
  ASSERT_GT(zh.id, 0);
  EXPECT_EQ(zh.count, 0);
  EXPECT_EQ(host_->resolveField(zh, Gb18030("词条").c_str(), 0), 0);
  EXPECT_EQ(host_->resolveField(zh, "BODY", 0), 1);
  host_->closeResult(docs);
  host_->closeResult(zh);
}

TEST_F(EmbeddedHostTest, BadHandlesFieldsAndRecordsAreRefused) {
  const ResultHandle handle = Query("SELECT title FROM docs");
  ASSERT_GT(handle.id, 0);
  char buffer[64];
  int32_t length = sizeof buffer;
  EXPECT_EQ(host_->readField(handle, 1, 0, buffer, &length, 0, 0), VOCS_E_BAD_ARGUMENT);
  EXPECT_EQ(host_->readField(handle, -1, 0, buffer, &length, 0, 0), VOCS_E_BAD_ARGUMENT);
  EXPECT_EQ(host_->readField(handle, 0, 3, buffer, &length, 0, 0), VOCS_E_BAD_ARGUMENT);
  EXPECT_EQ(host_->last_error(), "readField: the query has no record 3");
  EXPECT_EQ(host_->readField(handle, 0, 0, nullptr, &length, 0, 0), VOCS_E_BAD_ARGUMENT);
  EXPECT_EQ(host_->closeResult(handle), 0);
  EXPECT_EQ(host_->closeResult(handle), VOCS_E_BAD_ARGUMENT);
  EXPECT_EQ(host_->readField(handle, 0, 0, buffer, &length, 0, 0), VOCS_E_BAD_ARGUMENT);
  EXPECT_EQ(host_->resolveField(handle, "title", 0), VOCS_E_BAD_ARGUMENT);
  ResultHandle other{-1, 0, 0};
  EXPECT_LT(host_->runStatement("SELECT 1", 2, &other), 0);
  EXPECT_EQ(other.id, -1);
}

TEST_F(EmbeddedHostTest, QueriesThatWouldWriteAreRefusedAndChangeNothing) {
  const std::string before = Dump("SELECT * FROM docs");
  const std::string schema = Dump("SELECT name FROM sqlite_schema ORDER BY name");
  const std::string attached = dir_.Sub("attached.db");
  for (const std::string& sql :
       {std::string("DELETE FROM docs"), std::string("UPDATE docs SET title = 'x'"),
        std::string("DROP TABLE docs"), std::string("INSERT INTO docs (title) VALUES ('x')"),
        "ATTACH DATABASE '" + attached + "' AS other", std::string("PRAGMA user_version = 7"),
        std::string("BEGIN"), std::string("SELECT 1; DELETE FROM docs"),
        std::string("CREATE TABLE z (a)"), std::string("WITH d AS (DELETE FROM docs) SELECT 1"),
        std::string(""), std::string("SELEC nothing")}) {
    ResultHandle handle{5, 5, 5};
    EXPECT_EQ(host_->runStatement(Gb18030(sql).c_str(), 0, &handle), VOCS_E_QUERY_NOT_OPENED) << sql;
    EXPECT_LT(handle.id, 0) << sql;
    EXPECT_EQ(handle.count, 0) << sql;
    EXPECT_FALSE(host_->last_error().empty()) << sql;
  }
  EXPECT_EQ(Dump("SELECT * FROM docs"), before);
  EXPECT_EQ(Dump("SELECT name FROM sqlite_schema ORDER BY name"), schema);
  EXPECT_EQ(Dump("PRAGMA user_version"), "0");
  EXPECT_FALSE(std::filesystem::exists(attached));
  EXPECT_EQ(host_->open_handles(), 0u);
}

TEST_F(EmbeddedHostTest, TableStatementsInTheModulesOrder) {
  ASSERT_TRUE(CreateWords()) << host_->last_error();
  EXPECT_EQ(Tables(), "docs builds:1+1");  // the table takes its place at the end
  const std::string records = WriteRecords(
      "LOCAL_HS_DB/rec_1.tmp",
      "<REC>\r\n<词条名称>=明月\r\n<词频>=12\r\n<平均值>=0.5000\r\n"
      "<REC>\r\n<词条名称>=a=b\t<c>\r\n<词频>=-3\r\n<平均值>=\r\n");
  ASSERT_TRUE(Execute("bulkload table words\"" + records + "\"")) << host_->last_error();

  ASSERT_EQ(host_->getFieldCount("words"), 3);
  std::vector<unsigned char> descriptors(3 * VOCS_FIELD_DESCRIPTOR_SIZE, 0xEE);
  int32_t size = static_cast<int32_t>(descriptors.size());
  EXPECT_EQ(host_->getFieldDescriptors("words", descriptors.data(), &size), 3);
  const struct {
    const char* name;
    const char* type;
    int32_t length;
  } kExpected[] = {{"词条名称", "CHAR", 128}, {"词频", "INTEGER", 8}, {"平均值", "NUM", 16}};
  std::vector<std::string> alters;
  for (int i = 0; i < 3; ++i) {
    const unsigned char* d = descriptors.data() + i * VOCS_FIELD_DESCRIPTOR_SIZE;
    const std::string name(reinterpret_cast<const char*>(d));
    EXPECT_EQ(name, Gb18030(kExpected[i].name));
    int32_t id = 0;
    int32_t length = 0;
    std::memcpy(&id, d + VOCS_FIELD_DESCRIPTOR_ID_OFFSET, 4);
    std::memcpy(&length, d + VOCS_FIELD_DESCRIPTOR_LENGTH_OFFSET, 4);
    EXPECT_EQ(length, kExpected[i].length);
    EXPECT_EQ(d[VOCS_FIELD_DESCRIPTOR_SIZE - 1], 0);  // the record is cleared
    char type[512] = {};
    int32_t type_size = sizeof type;
    EXPECT_GE(host_->getFieldTypeText(id, type, &type_size), 0);
    EXPECT_STREQ(type, kExpected[i].type);
    // The column statement the table writer composes from these answers.
    ASSERT_TRUE(ExecuteRaw("ALTER TABLE words ALTER " + name + " AS " + name + " " + type + "(" +
                           std::to_string(length) + ") NORMAL"))
        << host_->last_error();
  }
  ASSERT_TRUE(Execute("INDEX words ALL")) << host_->last_error();
  EXPECT_EQ(Tables(), "docs,words builds:0+0");
  const HostReport report = host_->TakeReport();
  ASSERT_EQ(report.tables.size(), 1u);
  EXPECT_EQ(report.tables[0].name, "words");
  EXPECT_EQ(report.tables[0].rows, 2);

  EXPECT_EQ(Dump("SELECT 词条名称, typeof(词频), 词频, typeof(平均值), 平均值 FROM words "
                 "ORDER BY rowid"),
            "明月|integer|12|real|0.5;a=b\t<c>|integer|-3|null|null");
  EXPECT_EQ(Dump("SELECT name, type_text, length, alias, display_name, attribute "
                 "FROM vocs_columns WHERE table_name = 'words' ORDER BY position"),
            "词条名称|CHAR|128|ItemName|词条名称|NORMAL;词频|INTEGER|8|Frequency|词频|NORMAL;"
            "平均值|NUM|16|Average|平均值|NORMAL");
  EXPECT_EQ(Dump("SELECT path FROM vocs_tables"), dir_.Sub("LOCAL_HS_DB/words"));
  EXPECT_EQ(Dump("SELECT count(*) FROM sqlite_schema WHERE type = 'index' AND tbl_name = "
                 "'words'"),
            "3");
  // A second INDEX statement finds its indexes there already.
  EXPECT_TRUE(Execute("INDEX words ALL"));
  EXPECT_EQ(Dump("SELECT count(*) FROM sqlite_schema WHERE type = 'index' AND tbl_name = "
                 "'words'"),
            "3");
  EXPECT_EQ(host_->open_handles(), 0u);
}

TEST_F(EmbeddedHostTest, FieldAnswersForUnknownTablesAndFields) {
  EXPECT_EQ(host_->getFieldCount("nothing"), 0);
  EXPECT_EQ(host_->getFieldCount("docs"), 0);  // imported, not a result table
  ASSERT_TRUE(CreateWords());
  char type[8];
  int32_t size = 3;  // "CHAR" needs 5
  std::vector<unsigned char> descriptors(VOCS_FIELD_DESCRIPTOR_SIZE);
  int32_t bytes = VOCS_FIELD_DESCRIPTOR_SIZE;  // room for one of three
  EXPECT_EQ(host_->getFieldDescriptors("WORDS", descriptors.data(), &bytes), 1);
  int32_t id = 0;
  std::memcpy(&id, descriptors.data() + VOCS_FIELD_DESCRIPTOR_ID_OFFSET, 4);
  EXPECT_EQ(host_->getFieldTypeText(id, type, &size), VOCS_HOST_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, 5);
  EXPECT_EQ(host_->getFieldTypeText(id, type, &size), 4);
  EXPECT_STREQ(type, "CHAR");
  EXPECT_LT(host_->getFieldTypeText(987654, type, &size), 0);
}

TEST_F(EmbeddedHostTest, AResultTableIsReplacedOnlyWhenTheNewOneIsComplete) {
  const std::string two = "<REC>\r\n<词条名称>=甲\r\n<词频>=1\r\n<REC>\r\n<词条名称>=乙\r\n<词频>=2\r\n";
  ASSERT_TRUE(BuildWords("words", two)) << host_->last_error();
  EXPECT_EQ(Dump("SELECT count(*) FROM words"), "2");

  // A new build of words loads into its own table; readers see the old one
  // until it is complete, and an abandoned build leaves nothing.
  ASSERT_TRUE(CreateWords()) << host_->last_error();
  ASSERT_TRUE(Execute("bulkload table words\"" +
                      WriteRecords("rec_one", "<REC>\r\n<词条名称>=丙\r\n<词频>=3\r\n") + "\""));
  EXPECT_EQ(host_->getFieldCount("words"), 3);  // described from the build
  EXPECT_EQ(Dump("SELECT group_concat(词条名称) FROM (SELECT 词条名称 FROM words ORDER BY 词频)"), "甲,乙");
  host_->AbandonTables();
  EXPECT_EQ(Dump("SELECT group_concat(词条名称) FROM (SELECT 词条名称 FROM words ORDER BY 词频)"), "甲,乙");
  EXPECT_EQ(Tables(), "docs,words builds:0+0");

  // A complete build takes the old table's place, indexes and catalogue.
  ASSERT_TRUE(BuildWords("words", "<REC>\r\n<词条名称>=丁\r\n<词频>=4\r\n"));
  EXPECT_EQ(Dump("SELECT 词条名称, 词频 FROM words"), "丁|4");
  EXPECT_EQ(Dump("SELECT count(*) FROM vocs_tables WHERE name = 'words'"), "1");
  EXPECT_EQ(Dump("SELECT count(*) FROM vocs_columns WHERE table_name = 'words'"), "3");
  EXPECT_EQ(Dump("SELECT count(*) FROM vocs_columns"), "3");
  EXPECT_EQ(Dump("SELECT count(*) FROM sqlite_schema WHERE type = 'index' AND tbl_name = "
                 "'words'"),
            "3");
  EXPECT_EQ(Tables(), "docs,words builds:0+0");

  // An imported table is never replaced or dropped by a statement.
  const std::string docs = Dump("SELECT * FROM docs");
  EXPECT_FALSE(CreateWords("docs"));
  EXPECT_NE(host_->last_error().find("a table \"docs\" exists and is not a result table"),
            std::string::npos)
      << host_->last_error();
  EXPECT_FALSE(Execute("DROP TABLE docs"));
  EXPECT_EQ(host_->last_error(),
            "statement failed: \"docs\" is not a result table (only tables made by CREATE TABLE "
            "statements are changed by statements): DROP TABLE docs");
  EXPECT_FALSE(Execute("DROP TABLE missing"));
  EXPECT_EQ(Dump("SELECT * FROM docs"), docs);
  // A result table can be dropped.
  EXPECT_TRUE(Execute("DROP TABLE words")) << host_->last_error();
  EXPECT_EQ(Dump("SELECT count(*) FROM vocs_columns"), "0");
  // Names SQLite, the catalogue and the builds keep.
  EXPECT_FALSE(CreateWords("sqlite_x"));
  EXPECT_FALSE(CreateWords("vocs_columns"));
  EXPECT_FALSE(CreateWords("vocs_build_x"));
  EXPECT_FALSE(Execute("CREATE TABLE t PATH 'p' (a CHAR, A INTEGER)"));
  EXPECT_EQ(Tables(), "docs builds:0+0");
}

TEST_F(EmbeddedHostTest, ASecondWriterOfATableIsRefusedWithTheNameOfTheFirst) {
  // Another host on the same database stands for another process.
  std::string error;
  std::unique_ptr<EmbeddedHost> other = EmbeddedHost::Open(dir_.Sub("test.db"), &error);
  ASSERT_NE(other, nullptr) << error;
  other->set_owner("the other run");
  host_->set_owner("the first run");
  ASSERT_TRUE(CreateWords());
  const std::string create = "CREATE TABLE words PATH '/p/words' " + std::string(kFrequencyColumns);
  ResultHandle handle{-1, 0, 0};
  other->runStatement(Gb18030(create).c_str(), 1, &handle);
  EXPECT_LT(handle.id, 0);
  EXPECT_NE(other->last_error().find("the table \"words\" is being written by another run (the "
                                     "first run, since "),
            std::string::npos)
      << other->last_error();
  other->runStatement("DROP TABLE words", 1, &handle);
  EXPECT_LT(handle.id, 0);
  EXPECT_NE(other->last_error().find("is being written by another run (the first run"),
            std::string::npos);

  // Another thread of the same host is refused as well.
  std::string thread_error;
  std::thread([&] {
    EXPECT_FALSE(CreateWords());
    thread_error = host_->last_error();
  }).join();
  EXPECT_NE(thread_error.find("is being written by another statement of this process"),
            std::string::npos)
      << thread_error;
  EXPECT_EQ(host_->last_error(), "");  // each thread hears of its own statements

  // Once the first run is done, the second may write.
  ASSERT_TRUE(Execute("INDEX words ALL"));
  other->runStatement(Gb18030(create).c_str(), 1, &handle);
  EXPECT_GT(handle.id, 0) << other->last_error();
  other->closeResult(handle);
}

TEST_F(EmbeddedHostTest, TheBuildsOfARunThatDiedAreRemovedByTheNextHost) {
  const pid_t child = fork();
  if (child == 0) {
    std::string error;
    std::unique_ptr<EmbeddedHost> dying = EmbeddedHost::Open(dir_.Sub("test.db"), &error);
    const std::string create = "CREATE TABLE words PATH '/p/words' " + std::string(kFrequencyColumns);
    ResultHandle handle{-1, 0, 0};
    if (dying != nullptr) dying->runStatement(Gb18030(create).c_str(), 1, &handle);
    _exit(handle.id > 0 ? 0 : 1);  // no clean-up: as if killed
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(Tables(), "docs builds:1+1");
  std::string error;
  std::unique_ptr<EmbeddedHost> next = EmbeddedHost::Open(dir_.Sub("test.db"), &error);
  ASSERT_NE(next, nullptr) << error;
  EXPECT_EQ(Tables(), "docs builds:0+0");
  // While a run lives, its build stays.
  ASSERT_TRUE(CreateWords());
  next = EmbeddedHost::Open(dir_.Sub("test.db"), &error);
  ASSERT_NE(next, nullptr) << error;
  EXPECT_EQ(Tables(), "docs builds:1+1");
}

TEST_F(EmbeddedHostTest, AnInterruptedHostRefusesEverySlot) {
  const ResultHandle handle = Query("SELECT title FROM docs");
  ASSERT_GT(handle.id, 0);
  ASSERT_TRUE(CreateWords());
  host_->Interrupt();
  char buffer[64];
  int32_t length = sizeof buffer;
  EXPECT_LT(host_->readField(handle, 0, 0, buffer, &length, 0, 0), 0);
  EXPECT_EQ(host_->last_error(), "interrupted");
  length = sizeof buffer;
  EXPECT_LT(host_->convertText("abc", buffer, &length), 0);
  EXPECT_FALSE(Execute("INDEX words ALL"));
  EXPECT_TRUE(host_->AbandonAllTables(std::chrono::milliseconds(100)));
  EXPECT_EQ(Tables(), "docs builds:0+0");
}

TEST_F(EmbeddedHostTest, BulkLoadOfAFileIsAllOrNothing) {
  // Into a finished result table: each file in one transaction.
  ASSERT_TRUE(CreateWords());
  ASSERT_TRUE(Execute("INDEX words ALL"));
  const std::string good = "<REC>\r\n<词条名称>=甲\r\n<词频>=1\r\n";
  const struct {
    std::string contents;
    const char* error_part;
  } kCases[] = {
      {good + good + "<REC>\r\n<词条名称>=乙\r\ngarbage\r\n", "line 9: neither"},
      {good + "<REC>\r\n<其他>=1\r\n", "has the tag <其他>, which is no column of \"words\""},
      {good + "<REC>\r\n<词频>=12x\r\n", "<词频> is no integer: \"12x\""},
      {good + "<REC>\r\n<平均值>=abc\r\n", "<平均值> is no number: \"abc\""},
      {good + "<REC>\r\n<词频>=99999999999999999999\r\n", "is no integer"},
  };
  int n = 0;
  for (const auto& c : kCases) {
    const std::string file = WriteRecords("rec_" + std::to_string(++n), c.contents);
    EXPECT_FALSE(Execute("bulkload table words\"" + file + "\"")) << c.contents;
    EXPECT_NE(host_->last_error().find(c.error_part), std::string::npos) << host_->last_error();
    EXPECT_NE(host_->last_error().find("nothing of " + file + " was loaded"), std::string::npos);
    EXPECT_EQ(Dump("SELECT count(*) FROM words"), "0") << c.contents;
  }
  // Bytes that are not GB18030 in a value.
  const std::string bad = dir_.Write("rec_bad", Gb18030("<REC>\r\n<词条名称>=") + "\x81\x7F\r\n");
  EXPECT_FALSE(Execute("bulkload table words\"" + bad + "\""));
  EXPECT_FALSE(Execute("bulkload table words\"" + dir_.Sub("missing") + "\""));
  EXPECT_FALSE(Execute("bulkload table docs\"" + WriteRecords("rec_docs", good) + "\""));
  EXPECT_FALSE(Execute("bulkload table nothing\"" + WriteRecords("rec_none", good) + "\""));
  EXPECT_EQ(Dump("SELECT count(*) FROM words"), "0");
  EXPECT_EQ(Dump("SELECT count(*) FROM docs"), "3");
  // An empty file loads no record and succeeds.
  EXPECT_TRUE(Execute("bulkload table words\"" + dir_.Write("empty", "") + "\""));
}

TEST_F(EmbeddedHostTest, ABuildCommitsInStepsAndAFailedOneLeavesNothing) {
  std::string records;
  for (int i = 0; i < ResultTables::kRowsPerCommit * 2 + 5; ++i) {
    records += "<REC>\r\n<词条名称>=t" + std::to_string(i) + "\r\n<词频>=1\r\n";
  }
  std::vector<int64_t> loading;
  host_->set_table_observer([&](TableEvent event, const std::string& table, int64_t rows) {
    if (event == TableEvent::kLoading && table == "words") loading.push_back(rows);
  });
  ASSERT_TRUE(CreateWords());
  ASSERT_TRUE(Execute("bulkload table words\"" + WriteRecords("rec_big", records) + "\""));
  EXPECT_EQ(loading, (std::vector<int64_t>{0, ResultTables::kRowsPerCommit,
                                           2 * ResultTables::kRowsPerCommit}));
  // A later file of the same build fails after the first was committed: the
  // build is abandoned whole.
  EXPECT_FALSE(Execute("bulkload table words\"" +
                       WriteRecords("rec_bad", "<REC>\r\n<词频>=x\r\n") + "\""));
  EXPECT_NE(host_->last_error().find("loading "), std::string::npos) << host_->last_error();
  host_->AbandonTables();
  EXPECT_EQ(Tables(), "docs builds:0+0");
}

TEST_F(EmbeddedHostTest, TableNamesCannotReachSqlAsCode) {
  ASSERT_TRUE(CreateWords());
  const std::string tables = Dump("SELECT name FROM sqlite_schema ORDER BY name");
  for (const std::string& name :
       {std::string("x\";DROP TABLE docs;--"), std::string("docs\""), std::string("x'y"),
        std::string("a b"), std::string("t(a)"), std::string("x;DROP TABLE docs")}) {
    for (const std::string& statement : {"CREATE TABLE " + name + " PATH '/p' (a CHAR)",
                                         "DROP TABLE " + name, "INDEX " + name + " ALL"}) {
      EXPECT_FALSE(Execute(statement)) << statement;
      EXPECT_EQ(host_->last_error().rfind("statement refused: ", 0), 0u) << host_->last_error();
    }
    // The bulk load's file name runs to the last double quote; whatever the
    // name holds stays a file name or a table that is not there.
    EXPECT_FALSE(Execute("bulkload table " + name + "\"/nonexistent\"")) << name;
  }
  EXPECT_EQ(Dump("SELECT name FROM sqlite_schema ORDER BY name"), tables);
  EXPECT_EQ(Dump("SELECT count(*) FROM docs"), "3");
  // Unusual but valid names are quoted, not refused.
  EXPECT_TRUE(Execute("CREATE TABLE select.v-1 PATH '/p' (from CHAR)")) << host_->last_error();
  EXPECT_TRUE(Execute("INDEX select.v-1 ALL")) << host_->last_error();
  EXPECT_EQ(Dump("SELECT count(*) FROM \"select.v-1\""), "0");
}

TEST_F(EmbeddedHostTest, StatementsWhileAQueryIsOpen) {
  const std::string one = "<REC>\r\n<词条名称>=甲\r\n<词频>=1\r\n";
  ASSERT_TRUE(BuildWords("old", one));
  const ResultHandle handle = Query("SELECT title FROM docs ORDER BY year");
  ASSERT_GT(handle.id, 0);
  EXPECT_EQ(Read(handle, 0, 0), Gb18030("春晓"));
  // The table writer replaces its table while the job's query is still open.
  EXPECT_TRUE(BuildWords("old", one)) << host_->last_error();
  EXPECT_TRUE(Execute("DROP TABLE old")) << host_->last_error();
  EXPECT_EQ(Read(handle, 0, 1), Gb18030("静夜思"));
  EXPECT_EQ(Read(handle, 0, 2), "Spring");
  host_->closeResult(handle);
}

TEST_F(EmbeddedHostTest, ConvertTextRespectsTheDestinationSize) {
  const std::string source = Gb18030("今天天气很好");
  const std::string expected = Gb18030("今天/天气/很好");  // 14 bytes
  int64_t conversions = 0;
  host_->set_conversion_observer([&](int64_t n) { conversions = n; });
  char out[32];
  std::memset(out, 'x', sizeof out);
  int32_t length = 14;
  EXPECT_EQ(host_->convertText(source.c_str(), out, &length), VOCS_HOST_BUFFER_TOO_SMALL);
  EXPECT_EQ(length, 15);
  EXPECT_EQ(out[0], 'x');
  length = 15;
  EXPECT_EQ(host_->convertText(source.c_str(), out, &length), 0);
  EXPECT_EQ(std::string(out), expected);
  // UTF-8 input gives the same words; a fixed setting is honoured.
  length = sizeof out;
  EXPECT_EQ(host_->convertText("今天天气很好", out, &length), 0);
  EXPECT_EQ(std::string(out), expected);
  host_->set_input_encoding(TextEncoding::kGb18030);
  length = sizeof out;
  EXPECT_EQ(host_->convertText(source.c_str(), out, &length), 0);
  EXPECT_EQ(std::string(out), expected);
  EXPECT_EQ(conversions, 4);
  // Characters beyond GBK keep their four-byte forms; bytes that do not
  // decode are counted.
  host_->TakeReport();
  length = sizeof out;
  EXPECT_EQ(host_->convertText("Stra\x81\x30\x89\x38" "e \x81", out, &length), 0);
  EXPECT_EQ(std::string(out), "Stra\x81\x30\x89\x38" "e");
  EXPECT_EQ(host_->TakeReport().replaced_characters, 1);
}

TEST_F(EmbeddedHostTest, RecordObserverSeesTheRecordsRead) {
  std::vector<std::string> seen;
  host_->set_record_observer(
      [&](int64_t record, int64_t count) { seen.push_back(std::to_string(record) + "/" +
                                                          std::to_string(count)); });
  const ResultHandle handle = Query("SELECT title, body FROM docs");
  for (int record = 0; record < 3; ++record) {
    Read(handle, 0, record);
    Read(handle, 1, record);
  }
  host_->closeResult(handle);
  EXPECT_EQ(seen, (std::vector<std::string>{"1/3", "2/3", "3/3"}));
}

TEST(EmbeddedHostOpenTest, ReportsAFileThatIsNoDatabase) {
  testing::TempDir dir;
  const std::string path = dir.Write("not.db", std::string(4096, 'z'));
  std::string error;
  EXPECT_EQ(EmbeddedHost::Open(path, &error), nullptr);
  EXPECT_NE(error.find("cannot open the database " + path), std::string::npos) << error;
  EXPECT_EQ(EmbeddedHost::Open(dir.Sub("missing/dir/x.db"), &error), nullptr);
  // Only asked for, a database is made.
  EXPECT_EQ(EmbeddedHost::Open(dir.Sub("x.db"), &error, Database::OpenMode::kExisting), nullptr);
  EXPECT_FALSE(std::filesystem::exists(dir.Sub("x.db")));
}

}  // namespace
}  // namespace vocs::host
