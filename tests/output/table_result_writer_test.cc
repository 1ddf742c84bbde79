#include "output/table_result_writer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "platform/env.h"
#include "support/fault_injection_env.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"
#include "vocs/errors.h"

namespace vocs {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::ReadFileOrMissing;
using testing::RecordingHost;
using testing::ScopedTempDir;

// GBK bytes of the column names, spelled out here rather than taken from the
// writer's vocabulary so that a wrong name fails.
const std::string kItemName = "\xB4\xCA\xCC\xF5\xC3\xFB\xB3\xC6";  // 词条名称
const std::string kFrequency = "\xB4\xCA\xC6\xB5";                 // 词频

// A host that fails chosen statements once: the `nth` (0-based) statement
// beginning with `prefix` answers id 0. Everything else goes to a RecordingHost.
class ScriptedHost final : public HostInterface {
 public:
  struct Failure {
    std::string prefix;
    int nth = 0;
  };
  RecordingHost recording;
  std::vector<Failure> failures;

  int32_t getFieldDescriptors(const char* t, void* d, int32_t* s) override {
    return recording.getFieldDescriptors(t, d, s);
  }
  int32_t getFieldTypeText(int32_t id, char* b, int32_t* s) override {
    return recording.getFieldTypeText(id, b, s);
  }
  int32_t getFieldCount(const char* t) override { return recording.getFieldCount(t); }
  int32_t runStatement(const char* text, int32_t flag, ResultHandle* handle) override {
    int32_t result = recording.runStatement(text, flag, handle);
    for (Failure& f : failures) {
      if (std::string_view(text).rfind(f.prefix, 0) != 0) continue;
      if (f.nth-- == 0) handle->id = 0;
    }
    return result;
  }
  int32_t closeResult(ResultHandle h) override { return recording.closeResult(h); }
  int32_t readField(ResultHandle h, int32_t f, int32_t r, char* b, int32_t* l, int32_t r1,
                    int32_t r2) override {
    return recording.readField(h, f, r, b, l, r1, r2);
  }
  int32_t resolveField(ResultHandle h, const char* n, int32_t r) override {
    return recording.resolveField(h, n, r);
  }
  int32_t convertText(const char* s, char* d, int32_t* l) override {
    return recording.convertText(s, d, l);
  }
};

// The statements with every quoted spill file name replaced by "FILE".
std::vector<std::string> Statements(const RecordingHost& host) {
  static const std::regex kSpillName("\"[^\"]*rec[^\"]*\\.tmp\"");
  std::vector<std::string> out;
  for (const std::string& s : host.statements())
    out.push_back(std::regex_replace(s, kSpillName, "FILE"));
  return out;
}

// The spill files ("rec" names: Windows keeps three characters of a
// temporary file's prefix) in a directory, sorted.
std::vector<std::string> SpillFilesIn(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    std::string name = entry.path().filename().string();
    if (name.rfind("rec", 0) == 0) names.push_back(entry.path().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string ModeOneRecord(const std::string& term, const std::string& frequency) {
  return "<REC>\r\n<" + kItemName + ">=" + term + "\r\n<" + kFrequency + ">=" + frequency + "\r\n";
}

class TableWriterTest : public ::testing::Test {
 protected:
  std::string Output(const std::string& relative) const { return dir_.Sub(relative); }

  ScopedTempDir dir_;
  RecordingHost host_;
};

TEST_F(TableWriterTest, FrequencyOnlyCreateStatementIsByteExact) {
  FrequencyTableWriter writer;
  writer.setHost(&host_);
  writer.setMode(1);
  const std::string path = Output("d/words");
  ASSERT_EQ(writer.open(path), 0);

  EXPECT_THAT(
      host_.statements(),
      ElementsAre("CREATE TABLE words PATH '" + path + "' (" + kItemName +
                  " CHAR(128) aliasname 'ItemName' displayname '" + kItemName + "', " + kFrequency +
                  " INTEGER(16) aliasname 'Frequency' displayname '" + kFrequency + "')"));
  EXPECT_EQ(writer.table_name(), "words");
  EXPECT_TRUE(std::filesystem::is_directory(Output("d")));
  EXPECT_EQ(writer.spill_file().directory(), Output("d/"));
  EXPECT_EQ(SpillFilesIn(Output("d")).size(), 1u);
  // Every successful statement's handle goes straight back to the host.
  EXPECT_THAT(host_.call_names(), ElementsAre("runStatement", "closeResult"));
}

// The column lists of the three layouts, as name, type and alias.
TEST_F(TableWriterTest, ColumnListsOfEveryLayout) {
  struct Case {
    bool frequency;
    int mode;
    std::vector<std::pair<std::string, std::string>> columns;  // type, alias
  };
  const std::vector<Case> cases = {
      {true,
       0,
       {{"CHAR(128)", "ItemName"},
        {"INTEGER(8)", "Frequency"},
        {"INTEGER(8)", "LineCount"},
        {"INTEGER(8)", "MaxValue"},
        {"INTEGER(8)", "HypominValue"},
        {"INTEGER(8)", "MinValue"},
        {"NUM(16)", "Average"}}},
      {true, 1, {{"CHAR(128)", "ItemName"}, {"INTEGER(16)", "Frequency"}}},
      {false,
       1,
       {{"CHAR(128)", "Item1Name"},
        {"CHAR(128)", "Item2Name"},
        {"INTEGER(8)", "Frequency"},
        {"NUM(16)", "Support1"},
        {"NUM(16)", "Support2"},
        {"NUM(16)", "Reliability"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.frequency) + " mode " + std::to_string(c.mode));
    host_.ClearLog();
    std::unique_ptr<TableResultWriter> writer;
    if (c.frequency) {
      writer = std::make_unique<FrequencyTableWriter>();
    } else {
      writer = std::make_unique<CooccurrenceTableWriter>();
    }
    writer->setHost(&host_);
    writer->setMode(c.mode);
    ASSERT_EQ(writer->open(Output("t")), 0);
    ASSERT_EQ(host_.statements().size(), 1u);
    const std::string create = host_.statements()[0];
    std::regex column(
        "(?:\\(|, )([^ ,(]+) ([A-Z]+\\([0-9]+\\)) aliasname '([A-Za-z0-9]+)' displayname "
        "'([^']+)'");
    std::vector<std::pair<std::string, std::string>> seen;
    for (auto it = std::sregex_iterator(create.begin(), create.end(), column);
         it != std::sregex_iterator(); ++it) {
      EXPECT_EQ((*it)[1], (*it)[4]) << "display name equals the column name";
      seen.emplace_back((*it)[2], (*it)[3]);
    }
    EXPECT_EQ(seen, c.columns);
  }
}

TEST_F(TableWriterTest, TableNameFromThePath) {
  struct Case {
    std::string path;
    int result;
    std::string table;
  };
  const std::vector<Case> cases = {
      {Output("a/words"), 0, "words"},
      {Output("a/words/"), 0, "words"},  // a trailing separator changes nothing
      {Output("a//"), VOCS_E_NO_TABLE_NAME, ""},
      {testing::NativePath("/"), VOCS_E_NO_TABLE_NAME, ""},
      {"words", VOCS_E_OUTPUT_PATH, ""},  // no directory at all
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    host_.ClearLog();
    FrequencyTableWriter writer;
    writer.setHost(&host_);
    EXPECT_EQ(writer.open(c.path), c.result);
    EXPECT_EQ(writer.table_name(), c.table);
    if (c.result != 0) {
      EXPECT_THAT(host_.statements(), IsEmpty());
    }
  }
}

TEST_F(TableWriterTest, FailedCreateIsDroppedAndRetriedOnce) {
  struct Case {
    std::vector<ScriptedHost::Failure> failures;
    int result;
    std::vector<std::string> statements;
  };
  const std::string create = "CREATE TABLE words PATH";
  const std::vector<Case> cases = {
      {{{"CREATE", 0}}, 0, {"CREATE", "DROP TABLE words", "CREATE"}},
      {{{"CREATE", 0}, {"CREATE", 1}},
       VOCS_E_TABLE_NOT_CREATED,
       {"CREATE", "DROP TABLE words", "CREATE"}},
      {{{"CREATE", 0}, {"DROP", 0}}, VOCS_E_TABLE_NOT_CREATED, {"CREATE", "DROP TABLE words"}},
  };
  for (const Case& c : cases) {
    ScriptedHost host;
    host.failures = c.failures;
    FrequencyTableWriter writer;
    writer.setHost(&host);
    EXPECT_EQ(writer.open(Output("words")), c.result);
    std::vector<std::string> kinds;
    for (const std::string& s : host.recording.statements()) {
      kinds.push_back(s.rfind(create, 0) == 0 ? "CREATE" : s);
    }
    EXPECT_EQ(kinds, c.statements);
    const std::vector<std::string> sent = host.recording.statements();
    if (sent.size() == 3) {
      EXPECT_EQ(sent[2], sent[0]);  // the same text once more
    }
  }
}

TEST_F(TableWriterTest, IdZeroCountsAsFailureSoOpenFails) {
  host_.statement_id = 0;
  FrequencyTableWriter writer;
  writer.setHost(&host_);
  EXPECT_EQ(writer.open(Output("words")), VOCS_E_TABLE_NOT_CREATED);
  EXPECT_EQ(host_.statements().size(), 2u);  // CREATE and DROP
  for (const std::string& name : host_.call_names()) EXPECT_NE(name, "closeResult");
}

// The engines stop when open fails, but a finish that comes anyway must not
// send column statements to a table of that name that this run did not make.
TEST_F(TableWriterTest, FinishAfterFailedOpenSendsNothing) {
  host_.table_fields = {{"word", 1, 0, "CHAR"}};
  host_.fail_prefixes = {"CREATE"};
  FrequencyTableWriter writer;
  writer.setHost(&host_);
  ASSERT_EQ(writer.open(Output("words")), VOCS_E_TABLE_NOT_CREATED);
  host_.ClearLog();
  EXPECT_EQ(writer.finish(), VOCS_E_TABLE_NOT_CREATED);
  EXPECT_THAT(host_.log(), IsEmpty());

  FrequencyTableWriter never_opened;
  never_opened.setHost(&host_);
  EXPECT_EQ(never_opened.finish(), VOCS_E_RECORD_FILE);
  EXPECT_THAT(host_.log(), IsEmpty());
}

TEST_F(TableWriterTest, WithoutHost) {
  FrequencyTableWriter writer;
  EXPECT_FALSE(writer.execute("INDEX t ALL", 1));
  EXPECT_EQ(writer.open(Output("words")), VOCS_E_TABLE_NOT_CREATED);
  const FrequencyRecord record = {"abcd", "1", "1", "1", "1", "1", "1.0000"};
  EXPECT_EQ(writer.writeRecord(record), VOCS_E_NO_HOST_FOR_RECORD);
}

TEST_F(TableWriterTest, FinishLoadsThenDeclaresColumnsAndIndexes) {
  host_.table_fields = {{"word", 11, 128, "CHAR"}, {"freq", 12, 0, "INTEGER"}, {"gone", 13, 8, ""}};
  FrequencyTableWriter writer;
  writer.setHost(&host_);
  writer.setMode(1);
  ASSERT_EQ(writer.open(Output("words")), 0);
  const std::string spill = writer.spill_file().current_name();
  EXPECT_EQ(std::filesystem::path(spill).parent_path().string(), dir_.path());
  const FrequencyRecord first = {"abc", "5", "x", "x", "x", "x", "x"};
  const FrequencyRecord second = {"\xB4\xCA\xCC\xF5", "12", "x", "x", "x", "x", "x"};
  EXPECT_EQ(writer.writeRecord(first), 0);
  EXPECT_EQ(writer.writeRecord(second), 0);
  host_.ClearLog();
  ASSERT_EQ(writer.finish(), 0);

  EXPECT_THAT(
      host_.statements(),
      ElementsAre("bulkload table words\"" + spill + "\"",
                  "ALTER TABLE words ALTER word AS word CHAR(128) NORMAL",
                  "ALTER TABLE words ALTER freq AS freq INTEGER NORMAL", "INDEX words ALL"));
  EXPECT_THAT(host_.log(),
              ElementsAre("runStatement(bulkload table words\"" + spill + "\",1)", "closeResult(1)",
                          "getFieldCount(words)", "getFieldDescriptors(words,648)",
                          "getFieldTypeText(11,512)",
                          "runStatement(ALTER TABLE words ALTER word AS word CHAR(128) NORMAL,1)",
                          "closeResult(1)", "getFieldTypeText(12,512)",
                          "runStatement(ALTER TABLE words ALTER freq AS freq INTEGER NORMAL,1)",
                          "closeResult(1)", "getFieldTypeText(13,512)",
                          "runStatement(INDEX words ALL,1)", "closeResult(1)"));
  EXPECT_THAT(host_.loaded_files,
              ElementsAre(ModeOneRecord("abc", "5") + ModeOneRecord("\xB4\xCA\xCC\xF5", "12")));
  EXPECT_THAT(SpillFilesIn(dir_.path()), IsEmpty());  // deleted once loaded
}

// The load files lie in the output path up to, not including, its last
// separator, with one separator appended: a doubled separator before the
// table name stays doubled in the name the bulk load statement sends.
TEST_F(TableWriterTest, LoadFileNameKeepsADoubledSeparatorBeforeTheTableName) {
  FrequencyTableWriter writer;
  writer.setHost(&host_);
  const std::string path = Output("a//words");
  ASSERT_EQ(writer.open(path), 0);
  const std::string spill = writer.spill_file().current_name();
  EXPECT_EQ(spill.rfind(Output("a//rec"), 0), 0u) << spill;
  EXPECT_EQ(writer.table_name(), "words");
  host_.ClearLog();
  ASSERT_EQ(writer.finish(), 0);
  ASSERT_FALSE(host_.statements().empty());
  EXPECT_EQ(host_.statements()[0], "bulkload table words\"" + spill + "\"");
  EXPECT_EQ(host_.loaded_files.size(), 1u);  // the same file on disk, loaded
}

TEST_F(TableWriterTest, RecordsCarryTheTagsOfTheirLayout) {
  const std::string full =
      "<REC>\r\n<" + kItemName + ">=abcd\r\n<" + kFrequency +
      ">=3\r\n<\xB3\xF6\xCF\xD6\xD0\xD0\xCA\xFD>=2\r\n<\xD7\xEE\xB4\xF3\xD6\xB5>=2\r\n"
      "<\xB4\xCE\xD0\xA1\xD6\xB5>=1\r\n<\xD7\xEE\xD0\xA1\xD6\xB5>=0\r\n"
      "<\xC6\xBD\xBE\xF9\xD6\xB5>=1.5000\r\n";
  const std::string pair =
      "<REC>\r\n<\xB4\xCA\xCC\xF5"
      "1\xC3\xFB\xB3\xC6>=abcd\r\n<\xB4\xCA\xCC\xF5"
      "2\xC3\xFB\xB3\xC6>=efgh\r\n<\xB9\xB2\xCF\xD6\xC6\xB5\xC2\xCA>=4\r\n"
      "<\xD6\xA7\xB3\xD6\xB6\xC8"
      "1>=0.5000\r\n<\xD6\xA7\xB3\xD6\xB6\xC8"
      "2>=0.2500\r\n<\xD6\xC3\xD0\xC5\xB6\xC8>=1.0000\r\n";
  {
    FrequencyTableWriter writer;
    writer.setHost(&host_);
    ASSERT_EQ(writer.open(Output("f")), 0);
    const FrequencyRecord record = {"abcd", "3", "2", "2", "1", "0", "1.5000"};
    ASSERT_EQ(writer.writeRecord(record), 0);
    ASSERT_EQ(writer.finish(), 0);
  }
  {
    CooccurrenceTableWriter writer;
    writer.setHost(&host_);
    writer.setMode(1);  // ignored by co-occurrence writers
    ASSERT_EQ(writer.open(Output("c")), 0);
    const CooccurrenceRecord record = {"abcd", "efgh", "4", "0.5000", "0.2500", "1.0000"};
    ASSERT_EQ(writer.writeRecord(record), 0);
    ASSERT_EQ(writer.finish(), 0);
  }
  EXPECT_THAT(host_.loaded_files, ElementsAre(full, pair));
}

TEST_F(TableWriterTest, NoRecordsStillLoadsOneEmptyFileAndIndexes) {
  host_.table_fields = {{"word", 1, 0, "CHAR"}};
  FrequencyTableWriter writer;
  writer.setHost(&host_);
  ASSERT_EQ(writer.open(Output("words")), 0);
  ASSERT_EQ(writer.finish(), 0);
  EXPECT_THAT(Statements(host_),
              ElementsAre(::testing::StartsWith("CREATE TABLE words"), "bulkload table wordsFILE",
                          "ALTER TABLE words ALTER word AS word CHAR NORMAL", "INDEX words ALL"));
  EXPECT_THAT(host_.loaded_files, ElementsAre(""));
}

TEST_F(TableWriterTest, HostWithoutFieldsEndsAfterTheLoad) {
  FrequencyTableWriter writer;
  writer.setHost(&host_);
  ASSERT_EQ(writer.open(Output("words")), 0);
  ASSERT_EQ(writer.finish(), 0);
  EXPECT_THAT(Statements(host_),
              ElementsAre(::testing::StartsWith("CREATE TABLE words"), "bulkload table wordsFILE"));
  EXPECT_THAT(host_.call_names(), ::testing::Contains("getFieldCount"));
  EXPECT_THAT(host_.call_names(), ::testing::Not(::testing::Contains("getFieldDescriptors")));
}

TEST_F(TableWriterTest, FinishFailures) {
  struct Case {
    std::string prefix;
    int result;
  };
  const std::vector<Case> cases = {
      {"bulkload", VOCS_E_BULK_LOAD},
      {"ALTER", VOCS_E_COLUMN_STATEMENT},
      {"INDEX", VOCS_E_INDEX_STATEMENT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.prefix);
    ScopedTempDir dir;
    RecordingHost host;
    host.table_fields = {{"a", 1, 0, "CHAR"}, {"b", 2, 0, "CHAR"}};
    host.fail_prefixes = {c.prefix};
    FrequencyTableWriter writer;
    writer.setHost(&host);
    ASSERT_EQ(writer.open(dir.Sub("words")), 0);
    EXPECT_EQ(writer.finish(), c.result);
    std::vector<std::string> statements = Statements(host);
    // Nothing is sent after the failed statement.
    EXPECT_EQ(statements.back().rfind(c.prefix, 0), 0u) << statements.back();
    // The spill file stays exactly when its load failed.
    EXPECT_EQ(SpillFilesIn(dir.path()).size(), c.prefix == "bulkload" ? 1u : 0u);
  }
}

// A lowered limit forces many files; every record arrives, in order, each in
// exactly one file, and a file is closed as soon as it reaches the limit.
TEST_F(TableWriterTest, RolloverLosesNoRecord) {
  constexpr uint64_t kLimit = 100;
  FrequencyTableWriter writer;
  writer.setHost(&host_);
  writer.setMode(1);
  writer.SetSpillSizeLimitForTesting(kLimit);
  ASSERT_EQ(writer.open(Output("words")), 0);
  std::string expected;
  std::vector<std::string> records;
  for (int i = 0; i < 40; ++i) {
    std::string term = "term" + std::to_string(i * 7919);
    std::string frequency = std::to_string(i + 1);
    const FrequencyRecord record = {term, frequency, "", "", "", "", ""};
    ASSERT_EQ(writer.writeRecord(record), 0);
    records.push_back(ModeOneRecord(term, frequency));
    expected += records.back();
  }
  ASSERT_EQ(writer.finish(), 0);

  ASSERT_GT(host_.loaded_files.size(), 5u);
  std::string joined;
  size_t next = 0;
  for (size_t f = 0; f < host_.loaded_files.size(); ++f) {
    const std::string& content = host_.loaded_files[f];
    joined += content;
    // Records never straddle files: the file is a run of whole records.
    std::string rebuilt;
    size_t before_last = 0;
    while (rebuilt.size() < content.size() && next < records.size()) {
      before_last = rebuilt.size();
      rebuilt += records[next++];
    }
    EXPECT_EQ(rebuilt, content) << "file " << f;
    if (f + 1 < host_.loaded_files.size()) {
      EXPECT_GE(content.size(), kLimit) << "file " << f;
      EXPECT_LT(before_last, kLimit) << "file " << f << " should have rolled over earlier";
    }
  }
  EXPECT_EQ(joined, expected);
  EXPECT_EQ(Statements(host_).size(), 1 + host_.loaded_files.size());
  EXPECT_THAT(SpillFilesIn(dir_.path()), IsEmpty());
}

// When a later load fails, the files already loaded are gone and the failed
// one and all after it stay, in creation order.
TEST_F(TableWriterTest, FailedLoadKeepsItsFileAndTheLaterOnes) {
  ScriptedHost host;
  host.failures = {{"bulkload", 1}};
  FrequencyTableWriter writer;
  writer.setHost(&host);
  writer.setMode(1);
  writer.SetSpillSizeLimitForTesting(1);  // one record per file
  ASSERT_EQ(writer.open(Output("words")), 0);
  for (const char* term : {"aaaa", "bbbb", "cccc"}) {
    const FrequencyRecord record = {term, "1", "", "", "", "", ""};
    ASSERT_EQ(writer.writeRecord(record), 0);
  }
  EXPECT_EQ(writer.finish(), VOCS_E_BULK_LOAD);
  // Three full files and the empty one begun after the last record.
  ASSERT_EQ(host.recording.loaded_files.size(), 2u);
  EXPECT_EQ(host.recording.loaded_files[0], ModeOneRecord("aaaa", "1"));
  std::vector<std::string> left;
  for (const std::string& name : writer.spill_file().completed())
    left.push_back(ReadFileOrMissing(name));
  EXPECT_THAT(left, ElementsAre(ModeOneRecord("bbbb", "1"), ModeOneRecord("cccc", "1"), ""));
  EXPECT_EQ(SpillFilesIn(dir_.path()).size(), 3u);
}

// A rollover that cannot create its next file: the record that filled the
// file is safe and accepted; the next one is refused, finish refuses to load
// an incomplete table, and what was written stays on disk.
TEST_F(TableWriterTest, FailedRolloverIsReportedAndKeepsTheFiles) {
  FaultInjectionEnv env;
  ScopedEnvForTesting scoped(&env);
  FrequencyTableWriter writer;
  writer.setHost(&host_);
  writer.setMode(1);
  writer.SetSpillSizeLimitForTesting(1);
  ASSERT_EQ(writer.open(Output("words")), 0);
  env.FailAlways(EnvOp::kCreateTempFile);
  env.FailAlways(EnvOp::kNewWritableFile);
  const FrequencyRecord first = {"aaaa", "1", "", "", "", "", ""};
  const FrequencyRecord second = {"bbbb", "2", "", "", "", "", ""};
  EXPECT_EQ(writer.writeRecord(first), 0);
  EXPECT_TRUE(writer.spill_file().failed());
  EXPECT_EQ(writer.writeRecord(second), VOCS_E_RECORD_FILE);
  EXPECT_EQ(writer.finish(), VOCS_E_RECORD_FILE);
  env.Reset();

  EXPECT_EQ(Statements(host_).size(), 1u);  // only CREATE TABLE: nothing loaded
  const std::vector<std::string> files = SpillFilesIn(dir_.path());
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(ReadFileOrMissing(files[0]), ModeOneRecord("aaaa", "1"));
}

TEST_F(TableWriterTest, FailedWriteIsReported) {
  FaultInjectionEnv env;
  ScopedEnvForTesting scoped(&env);
  FrequencyTableWriter writer;
  writer.setHost(&host_);
  writer.setMode(1);
  ASSERT_EQ(writer.open(Output("words")), 0);
  env.FailAfter(EnvOp::kAppend, 1);
  const FrequencyRecord record = {"aaaa", "1", "", "", "", "", ""};
  EXPECT_EQ(writer.writeRecord(record), 0);
  EXPECT_EQ(writer.writeRecord(record), VOCS_E_RECORD_FILE);
  EXPECT_EQ(writer.writeRecord(record), VOCS_E_RECORD_FILE);  // sticky
  EXPECT_EQ(writer.finish(), VOCS_E_RECORD_FILE);
  EXPECT_EQ(Statements(host_).size(), 1u);
  EXPECT_EQ(SpillFilesIn(dir_.path()).size(), 1u);
}

TEST_F(TableWriterTest, FirstSpillFileCannotBeCreated) {
  FaultInjectionEnv env;
  ScopedEnvForTesting scoped(&env);
  env.FailAlways(EnvOp::kCreateTempFile);
  env.FailAlways(EnvOp::kNewWritableFile);
  FrequencyTableWriter writer;
  writer.setHost(&host_);
  EXPECT_EQ(writer.open(Output("words")), VOCS_E_RECORD_FILE);
  env.Reset();
  EXPECT_THAT(SpillFilesIn(dir_.path()), IsEmpty());
}

// Sweep: spill file creation fails from the n-th attempt on, for n = 0, 1, ...
// until the fault no longer fires. Every run ends in success with all records
// loaded, or in VOCS_E_RECORD_FILE with every accepted record on disk.
TEST_F(TableWriterTest, SpillCreationFaultSweep) {
  constexpr int kRecords = 12;
  std::string all;
  for (int i = 0; i < kRecords; ++i) all += ModeOneRecord("term" + std::to_string(i), "1");
  for (int n = 0;; ++n) {
    SCOPED_TRACE("n = " + std::to_string(n));
    ScopedTempDir dir;
    RecordingHost host;
    FaultInjectionEnv env;
    ScopedEnvForTesting scoped(&env);
    env.FailAfter(EnvOp::kCreateTempFile, n, 5, true);
    env.FailAfter(EnvOp::kNewWritableFile, n, 5, true);
    FrequencyTableWriter writer;
    writer.setHost(&host);
    writer.setMode(1);
    writer.SetSpillSizeLimitForTesting(70);  // about two records a file
    int open = writer.open(dir.Sub("words"));
    std::string accepted;
    int finish = VOCS_E_RECORD_FILE;
    if (open == 0) {
      for (int i = 0; i < kRecords; ++i) {
        std::string term = "term" + std::to_string(i);
        const FrequencyRecord record = {term, "1", "", "", "", "", ""};
        int result = writer.writeRecord(record);
        ASSERT_TRUE(result == 0 || result == VOCS_E_RECORD_FILE) << result;
        if (result == 0) accepted += ModeOneRecord(term, "1");
      }
      finish = writer.finish();
    } else {
      EXPECT_EQ(open, VOCS_E_RECORD_FILE);
    }
    const bool fired = env.fired();
    env.Reset();
    if (finish == 0) {
      std::string loaded;
      for (const std::string& content : host.loaded_files) loaded += content;
      EXPECT_EQ(loaded, all);
      EXPECT_EQ(accepted, all);
    } else {
      EXPECT_EQ(finish, VOCS_E_RECORD_FILE);
      EXPECT_THAT(host.loaded_files, IsEmpty());
      // Every accepted record is on disk, in the files in creation order.
      std::string on_disk;
      for (const std::string& file : writer.spill_file().completed()) {
        on_disk += ReadFileOrMissing(file);
      }
      EXPECT_EQ(on_disk, accepted);
      EXPECT_EQ(SpillFilesIn(dir.path()).size(), writer.spill_file().completed().size());
    }
    if (!fired) break;
    ASSERT_LT(n, 100);
  }
}

}  // namespace
}  // namespace vocs
