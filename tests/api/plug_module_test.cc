// The module object as a server uses it: the library loaded as a server loads it,
// created through PlugModule_CreateInstance, given the recording host, and
// driven with "sql!" statements and "r!" packed requests.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "output/result_record.h"
#include "support/loaded_library.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"
#include "vocs/errors.h"
#include "vocs/module.h"

namespace vocs {
namespace {

using testing::LoadedLibrary;
using testing::ReadFileOrMissing;
using testing::RecordingHost;
using testing::ScopedTempDir;

std::string FrequencyHeader() {
  std::string header;
  for (size_t i = 0; i < kFrequencyFields.size(); ++i) {
    if (i > 0) header += '\t';
    header += kFrequencyFields[i].column_name;
  }
  return header + "\r\n";
}

std::string CooccurrenceHeader() {
  std::string header;
  for (size_t i = 0; i < kCooccurrenceFields.size(); ++i) {
    if (i > 0) header += '\t';
    header += kCooccurrenceFields[i].column_name;
  }
  return header + "\r\n";
}

void AppendInt(std::string* out, int32_t value) {
  uint32_t v = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void AppendString(std::string* out, const std::string& s) {
  out->append(s);
  out->push_back('\0');
}

struct Item {
  std::string text;
  int32_t mode;
  std::string mode_text;
};

// "r!" 0 name 0 body, as a server sends it.
std::string PackedRequest(const std::string& name, const std::vector<Item>& items,
                          int32_t output_kind, const std::string& output,
                          const int32_t* min_frequency) {
  std::string request("r!\0", 3);
  AppendString(&request, name);
  AppendInt(&request, static_cast<int32_t>(items.size()));
  for (const Item& item : items) {
    AppendString(&request, item.text);
    AppendInt(&request, item.mode);
    AppendString(&request, item.mode_text);
  }
  AppendInt(&request, output_kind);
  AppendString(&request, output);
  if (min_frequency != nullptr) AppendInt(&request, *min_frequency);
  return request;
}

std::string Statement(const std::string& text) { return std::string("sql!\0", 5) + text; }

class PlugModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(library_.ok()) << library_.path() << ": " << library_.error();
    auto create = library_.Get<PlugModuleCreateFunction>("PlugModule_CreateInstance");
    ASSERT_NE(create, nullptr);
    ASSERT_EQ(create("vocs", &module_), 0);
    ASSERT_NE(module_, nullptr);
    host_.SetTable({"title", "body"},
                   {{"first title", "abcd;efgh;abcd"}, {"second title", "efgh;ijkl"}});
    module_->SetHostInterface(&host_);
  }

  void TearDown() override {
    if (module_ != nullptr) module_->Release();
  }

  int32_t Execute(const std::string& request) {
    return module_->Execute(request.c_str(), 0, 0, 0);
  }

  LoadedLibrary library_;
  PlugModuleInterface* module_ = nullptr;
  RecordingHost host_;
  ScopedTempDir dir_;
};

TEST_F(PlugModuleTest, RequestsWithoutAKnownFrameAreRefused) {
  EXPECT_EQ(Execute("sql!x STAT"), VOCS_E_BAD_ARGUMENT);
  EXPECT_EQ(Execute(""), VOCS_E_BAD_ARGUMENT);
  EXPECT_EQ(Execute("r"), VOCS_E_BAD_ARGUMENT);
  EXPECT_EQ(Execute("sql"), VOCS_E_BAD_ARGUMENT);
  EXPECT_EQ(Execute(std::string("r!\0VOCS_Other\0", 15)), VOCS_E_UNKNOWN_REQUEST);
  EXPECT_EQ(Execute(Statement("STAT WORDFREQ FROM")), VOCS_E_PARSE);
  // A fragment parses but names no operation.
  EXPECT_EQ(Execute(Statement("TO FILE=\"" + dir_.Sub("x.txt") + "\"")),
            VOCS_E_UNKNOWN_REQUEST);
}

TEST_F(PlugModuleTest, ReservedSlotsBehaveAsDocumented) {
  module_->Reserved1();
  EXPECT_TRUE(module_->Reserved3());
  module_->Reserved4(5);
  EXPECT_TRUE(module_->Reserved5(5));
  module_->SetHostValue(42);
}

TEST_F(PlugModuleTest, PackedFrequencyRequestWritesTheFrequencyOnlyLayout) {
  const int32_t min_frequency = 0;
  const std::string out = dir_.Sub("freq.txt");
  // The name is compared without regard to case; equal items are both added.
  ASSERT_EQ(Execute(PackedRequest("vocs_FREQUENCY",
                                  {{"abcd/efgh", 2, ""}, {"abcd/efgh", 2, ""}, {"wxyz", 2, ""}},
                                  1, out, &min_frequency)),
            0);
  EXPECT_EQ(ReadFileOrMissing(out),
            FrequencyHeader() + "abcd\t2\r\n" + "efgh\t2\r\n" + "wxyz\t1\r\n");
}

TEST_F(PlugModuleTest, PackedFrequencyRequestAppliesTheMinimumFrequency) {
  const int32_t min_frequency = 2;
  const std::string out = dir_.Sub("min.txt");
  ASSERT_EQ(Execute(PackedRequest("VOCS_Frequency", {{"abcd/efgh/abcd", 2, ""}}, 0, out,
                                  &min_frequency)),
            0);
  EXPECT_EQ(ReadFileOrMissing(out), FrequencyHeader() + "abcd\t2\r\n");
}

TEST_F(PlugModuleTest, PackedRequestWithoutItemsFailsFromTheJob) {
  const int32_t min_frequency = 0;
  const std::string request =
      PackedRequest("VOCS_Frequency", {}, 1, dir_.Sub("none.txt"), &min_frequency);
  EXPECT_EQ(Execute(request), VOCS_E_NO_SOURCE);
  module_->SetHostInterface(nullptr);
  EXPECT_EQ(Execute(request), VOCS_E_NO_HOST);
}

TEST_F(PlugModuleTest, PackedRequestWithAnEmptyOutputNameIsRefused) {
  const int32_t min_frequency = 0;
  EXPECT_EQ(Execute(PackedRequest("VOCS_Frequency", {{"abcd", 2, ""}}, 1, "", &min_frequency)),
            VOCS_E_BAD_ARGUMENT);
  EXPECT_EQ(Execute(PackedRequest("VOCS_Associated", {{"abcd", 2, ""}}, 1, "", nullptr)),
            VOCS_E_BAD_ARGUMENT);
}

TEST_F(PlugModuleTest, PackedAssociatedRequestIgnoresBytesAfterTheOutputName) {
  const std::string out = dir_.Sub("pairs.txt");
  std::string request = PackedRequest("VOCS_Associated", {{"abcd/efgh", 2, ""}}, 1, out, nullptr);
  request += std::string("\x05\x00\x00\x00trailing", 12);
  ASSERT_EQ(Execute(request), 0);
  EXPECT_EQ(ReadFileOrMissing(out),
            CooccurrenceHeader() + "abcd\tefgh\t1\t100.0000\t100.0000\t50.0000\r\n");
}

TEST_F(PlugModuleTest, PackedTableOutputGoesBelowTheHostTableDirectory) {
  const int32_t min_frequency = 0;
  const std::string name = "packed_words_" + std::to_string(::getpid());
  ASSERT_EQ(Execute(PackedRequest("VOCS_Frequency", {{"abcd/efgh", 2, ""}}, 2, name,
                                  &min_frequency)),
            0);
  const std::string path =
      testing::TestProgramDirectory() + testing::NativePath("LOCAL_HS_DB/") + name;
  std::vector<std::string> statements = host_.statements();
  ASSERT_FALSE(statements.empty());
  EXPECT_EQ(statements.front().rfind("CREATE TABLE " + name + " PATH '" + path + "' (", 0), 0u)
      << statements.front();
  ASSERT_EQ(host_.loaded_files.size(), 1u);
  EXPECT_NE(host_.loaded_files[0].find("<REC>\r\n"), std::string::npos);
}

TEST_F(PlugModuleTest, FrequencyStatementOverFieldsWritesAllSevenColumns) {
  const std::string out = dir_.Sub("fields.txt");
  ASSERT_EQ(Execute(Statement("STAT WORDFREQ AT body(SEGASCOL, ;) TO FILE=\"" + out +
                              "\" WHERE SELECT * FROM docs")),
            0);
  EXPECT_EQ(ReadFileOrMissing(out), FrequencyHeader() +
                                        "abcd\t2\t1\t2\t2\t0\t1.0000\r\n"
                                        "efgh\t2\t2\t1\t1\t1\t1.0000\r\n"
                                        "ijkl\t1\t1\t1\t1\t0\t0.5000\r\n");
  EXPECT_EQ(host_.log().front(), "runStatement(SELECT * FROM docs,0)");
}

TEST_F(PlugModuleTest, FrequencyStatementOverFilesWritesTwoColumns) {
  dir_.WriteFile("in/a.txt", "abcd/efgh");
  dir_.WriteFile("in/b.txt", "abcd");
  const std::string out = dir_.Sub("files.txt");
  ASSERT_EQ(Execute(Statement("STAT WORDFREQ FROM \"" + dir_.Sub("in") + "\" TO FILE=\"" + out +
                              "\"")),
            0);
  EXPECT_EQ(ReadFileOrMissing(out), FrequencyHeader() + "abcd\t2\r\n" + "efgh\t1\r\n");
}

TEST_F(PlugModuleTest, CooccurrenceStatementOverTwoFieldsPairsAcrossThem) {
  const std::string out = dir_.Sub("assoc.txt");
  ASSERT_EQ(Execute(Statement("STAT ASSOCIATEDFREQ SET MINFREQ=1 AT title(NONE), "
                              "body(SEGASCOL, ;) TO FILE=\"" + out +
                              "\" WHERE SELECT * FROM docs")),
            0);
  const std::string text = ReadFileOrMissing(out);
  EXPECT_EQ(text.rfind(CooccurrenceHeader(), 0), 0u);
  EXPECT_NE(text.find("first title\tabcd\t2\t"), std::string::npos) << text;
  EXPECT_NE(text.find("second title\tijkl\t1\t"), std::string::npos) << text;
}

TEST_F(PlugModuleTest, RelativeOutputsResolveInTheProgramDirectory) {
  const std::string file = "vocs_module_test_" + std::to_string(::getpid()) + ".txt";
  ASSERT_EQ(Execute(Statement("STAT WORDFREQ AT body(SEGASCOL, ;) TO FILE=" + file +
                              " WHERE SELECT * FROM docs")),
            0);
  const std::string written = testing::TestProgramDirectory() + file;
  EXPECT_NE(ReadFileOrMissing(written), "<missing>");
  std::filesystem::remove(written);

  const std::string table = "module_words_" + std::to_string(::getpid());
  ASSERT_EQ(Execute(Statement("STAT WORDFREQ AT body(SEGASCOL, ;) TO TABLE=" + table +
                              " WHERE SELECT * FROM docs")),
            0);
  const std::string path =
      testing::TestProgramDirectory() + testing::NativePath("LOCAL_HS_DB/") + table;
  EXPECT_EQ(host_.statements().front().rfind("CREATE TABLE " + table + " PATH '" + path + "'", 0),
            0u)
      << host_.statements().front();
}

TEST_F(PlugModuleTest, AnEmptyOutputWordResolvesToTheBareDirectory) {
  ASSERT_EQ(Execute(Statement("STAT WORDFREQ AT body(NORMAL) TO TABLE=\"\" "
                              "WHERE SELECT * FROM docs")),
            0);
  const std::string path = testing::TestProgramDirectory() + "LOCAL_HS_DB";
  EXPECT_EQ(host_.statements().front().rfind("CREATE TABLE LOCAL_HS_DB PATH '" + path + "'", 0),
            0u)
      << host_.statements().front();
}

TEST_F(PlugModuleTest, ConcurrentStatementsGiveTheResultsOfSequentialRuns) {
  auto statement = [&](const std::string& out) {
    return Statement("STAT WORDFREQ AT title(NONE), body(SEGASCOL, ;) TO FILE=\"" + out +
                     "\" WHERE SELECT * FROM docs");
  };
  ASSERT_EQ(Execute(statement(dir_.Sub("sequential.txt"))), 0);
  const std::string expected = ReadFileOrMissing(dir_.Sub("sequential.txt"));

  // A second module in the same process shares nothing with the first.
  auto create = library_.Get<PlugModuleCreateFunction>("PlugModule_CreateInstance");
  PlugModuleInterface* other = nullptr;
  ASSERT_EQ(create("other", &other), 0);
  other->SetHostInterface(&host_);

  std::vector<std::thread> threads;
  std::vector<int32_t> results(8, -1);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      PlugModuleInterface* module = t % 2 == 0 ? module_ : other;
      for (int round = 0; round < 5; ++round) {
        std::string out = dir_.Sub("t" + std::to_string(t) + "_" + std::to_string(round));
        int32_t r = module->Execute(statement(out).c_str(), 0, 0, 0);
        if (r != 0 || ReadFileOrMissing(out) != expected) {
          results[static_cast<size_t>(t)] = r != 0 ? r : -1;
          return;
        }
      }
      results[static_cast<size_t>(t)] = 0;
    });
  }
  for (std::thread& thread : threads) thread.join();
  other->Release();
  EXPECT_EQ(results, std::vector<int32_t>(8, 0));
}

}  // namespace
}  // namespace vocs
