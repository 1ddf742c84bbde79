// The exported functions, called as a client program calls them: through
// the library loaded with dlopen or LoadLibrary, against the recording host.
// A few cases that need a fault-injecting environment (relative names, an
// unreadable program path) call the same C++ side in-process instead.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "api/boundary_guard.h"
#include "api/export_calls.h"
#include "support/fault_injection_env.h"
#include "support/loaded_library.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"
#include "vocs/vocs.h"

namespace vocs {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::ReadFileOrMissing;
using testing::RecordingHost;
using testing::ScopedTempDir;
using ::testing::StartsWith;

// The six exports as the library hands them out.
struct Exports {
  decltype(&VOCS_Frequency) frequency = nullptr;
  decltype(&VOCS_Frequency2) frequency2 = nullptr;
  decltype(&VOCS_Together) together = nullptr;
  decltype(&VOCS_Together2) together2 = nullptr;
  decltype(&VOCS_GetTempPath) get_temp_path = nullptr;
  decltype(&VOCS_SetTempPath) set_temp_path = nullptr;

  template <typename Lookup>
  static Exports From(Lookup lookup) {
    Exports e;
    e.frequency = reinterpret_cast<decltype(e.frequency)>(lookup("VOCS_Frequency"));
    e.frequency2 = reinterpret_cast<decltype(e.frequency2)>(lookup("VOCS_Frequency2"));
    e.together = reinterpret_cast<decltype(e.together)>(lookup("VOCS_Together"));
    e.together2 = reinterpret_cast<decltype(e.together2)>(lookup("VOCS_Together2"));
    e.get_temp_path = reinterpret_cast<decltype(e.get_temp_path)>(lookup("VOCS_GetTempPath"));
    e.set_temp_path = reinterpret_cast<decltype(e.set_temp_path)>(lookup("VOCS_SetTempPath"));
    return e;
  }
  bool complete() const {
    return frequency && frequency2 && together && together2 && get_temp_path && set_temp_path;
  }
};

// One instance of the library for the whole program, as a client holds it.
const testing::LoadedLibrary& Library() {
  static const testing::LoadedLibrary library;
  return library;
}

// A private copy of the library, loaded under another name so that its
// process-wide state (the temporary path setting) is fresh.
class FreshLibrary {
 public:
  FreshLibrary() : library_(Copy(dir_)) {}

  Exports exports() const {
    return Exports::From([this](const char* name) { return library_.Get<void*>(name); });
  }

 private:
  static std::string Copy(const ScopedTempDir& dir) {
    const std::string copy =
        dir.Sub("vocs-copy-" + std::filesystem::path(Library().path()).filename().string());
    std::filesystem::copy_file(Library().path(), copy);
    return copy;
  }

  ScopedTempDir dir_;
  testing::LoadedLibrary library_;
};

// The record lines of a result file: the header and the CR LF line ends
// removed.
std::vector<std::string> ResultLines(const std::string& path) {
  const std::string content = ReadFileOrMissing(path);
  std::vector<std::string> lines;
  size_t start = content.find("\r\n");
  if (start == std::string::npos) return {content};
  start += 2;
  while (start < content.size()) {
    size_t end = content.find("\r\n", start);
    if (end == std::string::npos) end = content.size();
    lines.push_back(content.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

// `statement` with every quoted spill file name ("...rec_....tmp") replaced
// by FILE; Windows keeps three letters of the prefix, "rec". (Not
// std::regex: GCC's sanitizer builds warn falsely inside it.)
std::string WithoutSpillNames(const std::string& statement) {
  std::string out;
  for (size_t i = 0; i < statement.size();) {
    const size_t close = statement[i] == '"' ? statement.find('"', i + 1) : std::string::npos;
    if (close != std::string::npos) {
      const std::string_view quoted(statement.data() + i + 1, close - i - 1);
      if (quoted.find("rec") != std::string_view::npos && quoted.ends_with(".tmp")) {
        out += "FILE";
        i = close + 1;
        continue;
      }
    }
    out += statement[i++];
  }
  return out;
}

// The statements with quoted spill file names replaced by "FILE".
std::vector<std::string> Statements(const RecordingHost& host) {
  std::vector<std::string> out;
  for (const std::string& s : host.statements()) out.push_back(WithoutSpillNames(s));
  return out;
}

class ExportsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Library().ok()) << Library().error();
    api_ = Exports::From([](const char* name) { return Library().Get<void*>(name); });
    ASSERT_TRUE(api_.complete());
    // Work files of every run go below this test's directory.
    ASSERT_GT(api_.set_temp_path(dir_.Sub("work").c_str()), 0);
    host_.SetTable({"a", "b"}, {{"abcd", "efgh"}, {"abcd", "ijkl"}});
  }

  std::string Out(const std::string& name) const { return dir_.Sub(name); }

  ScopedTempDir dir_;
  RecordingHost host_;
  Exports api_;
};

// Every statistics export, with the arguments that matter for validation;
// the rest are valid.
struct Call {
  const char* name;
  std::function<int32_t(const Exports&, HostInterface*, const std::string& out)> run;
};

TEST_F(ExportsTest, InvalidArgumentsAreRefusedBeforeAnythingIsBuilt) {
  const std::vector<Call> calls = {
      {"Frequency mode 3",
       [](const Exports& e, HostInterface* h, const std::string& o) {
         return e.frequency("q", "a", 3, "", 0, 0, o.c_str(), h);
       }},
      {"Frequency mode -1",
       [](const Exports& e, HostInterface* h, const std::string& o) {
         return e.frequency("q", "a", -1, "", 0, 0, o.c_str(), h);
       }},
      {"Frequency2 mode 3",
       [](const Exports& e, HostInterface* h, const std::string& o) {
         return e.frequency2("abcd", -1, 3, "", 0, 0, o.c_str(), h);
       }},
      {"Frequency2 mode -1",
       [](const Exports& e, HostInterface* h, const std::string& o) {
         return e.frequency2("abcd", -1, -1, "", 0, 0, o.c_str(), h);
       }},
      {"Together mode 3",
       [](const Exports& e, HostInterface* h, const std::string& o) {
         return e.together("q", "a", 3, "", "b", 0, "", 0, 0, o.c_str(), h);
       }},
      {"Together mode -1",
       [](const Exports& e, HostInterface* h, const std::string& o) {
         return e.together("q", "a", -1, "", "b", 0, "", 0, 0, o.c_str(), h);
       }},
      {"Together2 mode 3",
       [](const Exports& e, HostInterface* h, const std::string& o) {
         return e.together2("abcd", -1, 3, "", "efgh", -1, 0, "", 0, 0, o.c_str(), h);
       }},
      {"Together2 mode -1",
       [](const Exports& e, HostInterface* h, const std::string& o) {
         return e.together2("abcd", -1, -1, "", "efgh", -1, 0, "", 0, 0, o.c_str(), h);
       }},
      {"Frequency null query",
       [](const Exports& e, HostInterface* h, const std::string& o) {
         return e.frequency(nullptr, "a", 0, "", 0, 0, o.c_str(), h);
       }},
      {"Frequency empty fields",
       [](const Exports& e, HostInterface* h, const std::string& o) {
         return e.frequency("q", "", 0, "", 0, 0, o.c_str(), h);
       }},
      {"Frequency null output name",
       [](const Exports& e, HostInterface* h, const std::string&) {
         return e.frequency("q", "a", 0, "", 0, 0, nullptr, h);
       }},
      {"Frequency mode 1 without delimiters",
       [](const Exports& e, HostInterface* h, const std::string& o) {
         return e.frequency("q", "a", 1, nullptr, 0, 0, o.c_str(), h);
       }},
      {"Frequency2 empty text",
       [](const Exports& e, HostInterface* h, const std::string& o) {
         return e.frequency2("", 4, 0, "", 0, 0, o.c_str(), h);
       }},
      {"Frequency2 mode 1 without delimiters",
       [](const Exports& e, HostInterface* h, const std::string& o) {
         return e.frequency2("abcd", -1, 1, "", 0, 0, o.c_str(), h);
       }},
      {"Together null second field in mode 0",
       [](const Exports& e, HostInterface* h, const std::string& o) {
         return e.together("q", "a", 0, "", nullptr, 0, "", 0, 0, o.c_str(), h);
       }},
      {"Together second mode 1 without delimiters",
       [](const Exports& e, HostInterface* h, const std::string& o) {
         return e.together("q", "a", 0, "", "b", 1, "", 0, 0, o.c_str(), h);
       }},
      {"Together empty first field",
       [](const Exports& e, HostInterface* h, const std::string& o) {
         return e.together("q", "", 0, "", "b", 0, "", 0, 0, o.c_str(), h);
       }},
      {"Together2 null second text in mode 0",
       [](const Exports& e, HostInterface* h, const std::string& o) {
         return e.together2("abcd", -1, 0, "", nullptr, 0, 0, "", 0, 0, o.c_str(), h);
       }},
      {"Together2 first mode 1 without delimiters",
       [](const Exports& e, HostInterface* h, const std::string& o) {
         return e.together2("abcd", -1, 1, nullptr, "efgh", -1, 0, "", 0, 0, o.c_str(), h);
       }},
  };
  for (const Call& call : calls) {
    SCOPED_TRACE(call.name);
    host_.ClearLog();
    EXPECT_EQ(call.run(api_, &host_, Out("out")), VOCS_E_BAD_ARGUMENT);
    EXPECT_THAT(host_.log(), IsEmpty());
  }
  EXPECT_FALSE(std::filesystem::exists(Out("out")));
  EXPECT_FALSE(std::filesystem::exists(Out("work")));
}

TEST_F(ExportsTest, FieldListSkipsEmptyPieces) {
  const std::string out = Out("fields.txt");
  ASSERT_EQ(api_.frequency("q", ",a,,b,", 0, nullptr, 0, 2, out.c_str(), &host_), 0);
  std::vector<std::string> resolved;
  for (const std::string& entry : host_.log()) {
    if (entry.rfind("resolveField", 0) == 0) resolved.push_back(entry);
  }
  EXPECT_THAT(resolved, ElementsAre("resolveField(7,a)", "resolveField(7,b)"));
  EXPECT_THAT(ResultLines(out),
              ElementsAre("abcd\t2\t2\t1\t1\t1\t1.0000", "efgh\t1\t1\t1\t1\t0\t0.5000",
                          "ijkl\t1\t1\t1\t1\t0\t0.5000"));
  // The run removed its work files.
  EXPECT_THAT(testing::ListTree(Out("work")), IsEmpty());
}

TEST_F(ExportsTest, FieldListOfCommasOnlyHasNoSource) {
  EXPECT_EQ(api_.frequency("q", ",,,", 0, nullptr, 0, 0, Out("x").c_str(), &host_),
            VOCS_E_NO_SOURCE);
}

// Field names compare without regard to case: the frequency run goes ahead
// without the repeated one, the co-occurrence run fails with the refusal.
TEST_F(ExportsTest, FieldNamedTwiceInDifferentCase) {
  const std::string out = Out("twice.txt");
  ASSERT_EQ(api_.frequency("q", "a,A", 0, nullptr, 0, 0, out.c_str(), &host_), 0);
  int resolves = 0;
  for (const std::string& name : host_.call_names()) resolves += name == "resolveField";
  EXPECT_EQ(resolves, 1);
  EXPECT_THAT(ResultLines(out), ElementsAre("abcd\t2\t2\t1\t1\t1\t1.0000"));

  EXPECT_EQ(api_.together("q", "a", 0, nullptr, "A", 0, nullptr, 0, 0, Out("t").c_str(), &host_),
            VOCS_E_REPEATED_NAME);
}

TEST_F(ExportsTest, BufferLengths) {
  const char text[] = "abcd efgh\0ijkl";
  const std::string out = Out("buffer.txt");
  // -1: up to the 0 byte.
  ASSERT_EQ(api_.frequency2(text, -1, 1, " ", 0, 0, out.c_str(), &host_), 0);
  EXPECT_THAT(ResultLines(out),
              ElementsAre("abcd\t1\t1\t1\t1\t1\t1.0000", "efgh\t1\t1\t1\t1\t1\t1.0000"));
  // A length takes exactly that many bytes.
  ASSERT_EQ(api_.frequency2(text, 4, 1, " ", 0, 0, out.c_str(), &host_), 0);
  EXPECT_THAT(ResultLines(out), ElementsAre("abcd\t1\t1\t1\t1\t1\t1.0000"));
  // 0: the buffer is refused and the job has no source.
  EXPECT_EQ(api_.frequency2(text, 0, 1, " ", 0, 0, out.c_str(), &host_), VOCS_E_NO_SOURCE);
  // A second buffer of length 0 is refused, which fails a co-occurrence run.
  EXPECT_EQ(
      api_.together2("abcd", -1, 0, nullptr, "efgh", 0, 0, nullptr, 0, 0, Out("t").c_str(), &host_),
      VOCS_E_BAD_ARGUMENT);
}

TEST_F(ExportsTest, CooccurrenceRunsThatFailInTheRun) {
  // An empty second field passes validation; a single source in mode 0 is
  // then refused by the engine.
  EXPECT_EQ(api_.together("q", "a", 0, nullptr, "", 0, nullptr, 0, 0, Out("t").c_str(), &host_),
            VOCS_E_BAD_ARGUMENT);
  EXPECT_THAT(host_.call_names(), ::testing::Contains("runStatement"));
  // The second mode is not range-checked; the job refuses it when it
  // prepares the field's text.
  EXPECT_EQ(api_.together("q", "a", 1, " ", "b", 7, nullptr, 0, 0, Out("t").c_str(), &host_),
            VOCS_E_PREPARE_TEXT);
  // Without a host the job cannot start.
  EXPECT_EQ(api_.together2("abcd", -1, 1, " ", "efgh", -1, 1, " ", 0, 0, Out("t").c_str(), nullptr),
            VOCS_E_NO_HOST);
}

TEST_F(ExportsTest, CooccurrenceToFile) {
  const std::string out = Out("pairs.txt");
  ASSERT_EQ(api_.together("q", "a", 0, nullptr, "b", 0, nullptr, 0, 2, out.c_str(), &host_), 0);
  EXPECT_THAT(ResultLines(out),
              ElementsAre(StartsWith("abcd\tefgh\t1\t"), StartsWith("abcd\tijkl\t1\t")));
}

TEST_F(ExportsTest, TableOutputSendsTheStatementsInOrder) {
  host_.table_fields = {{"word", 1, 128, "CHAR"}, {"freq", 2, 0, "INTEGER"}};
  const std::string out = Out("db/words");
  ASSERT_EQ(api_.frequency2("abcd efgh abcd", -1, 1, " ", 0, 1, out.c_str(), &host_), 0);
  EXPECT_THAT(
      Statements(host_),
      ElementsAre(StartsWith("CREATE TABLE words PATH '" + out + "' ("), "bulkload table wordsFILE",
                  "ALTER TABLE words ALTER word AS word CHAR(128) NORMAL",
                  "ALTER TABLE words ALTER freq AS freq INTEGER NORMAL", "INDEX words ALL"));
  std::vector<std::string> queries;
  for (const std::string& name : host_.call_names()) {
    if (name.rfind("getField", 0) == 0) queries.push_back(name);
  }
  EXPECT_THAT(queries, ElementsAre("getFieldCount", "getFieldDescriptors", "getFieldTypeText",
                                   "getFieldTypeText"));
  ASSERT_EQ(host_.loaded_files.size(), 1u);
  EXPECT_THAT(host_.loaded_files[0],
              StartsWith("<REC>\r\n<\xB4\xCA\xCC\xF5\xC3\xFB\xB3\xC6>=abcd\r\n"
                         "<\xB4\xCA\xC6\xB5>=2\r\n"));
  // The spill file was deleted once loaded.
  for (const auto& entry : std::filesystem::directory_iterator(Out("db"))) {
    EXPECT_NE(entry.path().filename().string().rfind("rec", 0), 0u) << entry.path();
  }
}

TEST_F(ExportsTest, TableThatCannotBeCreated) {
  struct Case {
    const char* name;
    std::vector<std::string> fail_prefixes;
    int32_t statement_id;
    std::vector<std::string> statements;
  };
  const std::vector<Case> cases = {
      {"create fails", {"CREATE"}, 1, {"CREATE", "DROP TABLE t", "CREATE"}},
      {"create and drop fail", {"CREATE", "DROP"}, 1, {"CREATE", "DROP TABLE t"}},
      {"host answers id 0", {}, 0, {"CREATE", "DROP TABLE t"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingHost host;
    host.fail_prefixes = c.fail_prefixes;
    host.statement_id = c.statement_id;
    EXPECT_EQ(api_.frequency2("abcd", -1, 0, nullptr, 0, 1, Out("t").c_str(), &host),
              VOCS_E_TABLE_NOT_CREATED);
    std::vector<std::string> kinds;
    for (const std::string& s : host.statements()) {
      kinds.push_back(s.rfind("CREATE TABLE t PATH", 0) == 0 ? "CREATE" : s);
    }
    EXPECT_EQ(kinds, c.statements);
  }
}

TEST_F(ExportsTest, RunWithoutRecordsStillLoadsAndIndexes) {
  host_.SetTable({"a"}, {});
  host_.table_fields = {{"word", 1, 0, "CHAR"}};
  ASSERT_EQ(api_.frequency("q", "a", 0, nullptr, 0, 1, Out("empty").c_str(), &host_), 0);
  EXPECT_THAT(Statements(host_),
              ElementsAre(StartsWith("CREATE TABLE empty"), "bulkload table emptyFILE",
                          "ALTER TABLE empty ALTER word AS word CHAR NORMAL", "INDEX empty ALL"));
  EXPECT_THAT(host_.loaded_files, ElementsAre(""));
}

TEST_F(ExportsTest, EveryOtherOutputKindWritesAFile) {
  for (int32_t kind : {0, 2, -5}) {
    SCOPED_TRACE(kind);
    host_.ClearLog();
    const std::string out = Out("kind" + std::to_string(kind) + ".txt");
    ASSERT_EQ(api_.frequency2("abcd", -1, 0, nullptr, 0, kind, out.c_str(), &host_), 0);
    EXPECT_THAT(ResultLines(out), ElementsAre("abcd\t1\t1\t1\t1\t1\t1.0000"));
    EXPECT_THAT(host_.statements(), IsEmpty());
  }
}

TEST_F(ExportsTest, OutputNameTooLongIsRefused) {
  const std::string out = Out(std::string(300, 'n'));
  EXPECT_EQ(api_.frequency2("abcd", -1, 0, nullptr, 0, 0, out.c_str(), &host_), VOCS_E_OUTPUT_PATH);
}

TEST_F(ExportsTest, SetTempPath) {
  const std::string absolute = Out("abc");
  const int32_t length = api_.set_temp_path(absolute.c_str());
  EXPECT_EQ(length, static_cast<int32_t>(absolute.size() + 1));
  char buffer[512];
  EXPECT_EQ(api_.get_temp_path(buffer, sizeof(buffer)), length);
  EXPECT_EQ(std::string(buffer), Out("abc/"));
  // A path that already ends in the separator gets no second one.
  EXPECT_EQ(api_.set_temp_path(Out("abc/").c_str()), length);
  // Empty and null paths change nothing.
  EXPECT_EQ(api_.set_temp_path(""), 0);
  EXPECT_EQ(api_.set_temp_path(nullptr), 0);
  EXPECT_EQ(api_.get_temp_path(nullptr, 0), length);
  // The next run works there and removes its work files.
  ASSERT_EQ(api_.frequency2("abcd", -1, 0, nullptr, 0, 0, Out("o.txt").c_str(), &host_), 0);
  EXPECT_THAT(testing::ListTree(absolute), IsEmpty());
}

TEST(ExportsFreshTest, TempPathStartsAsInterpath) {
  ASSERT_TRUE(Library().ok()) << Library().error();
  const FreshLibrary fresh;
  const Exports api = fresh.exports();
  ASSERT_TRUE(api.complete());
  EXPECT_EQ(api.get_temp_path(nullptr, 0), 9);
  char small[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(api.get_temp_path(small, sizeof(small)), 3);
  EXPECT_EQ(std::string(small, 4), std::string("int\0", 4));
  char large[32];
  EXPECT_EQ(api.get_temp_path(large, sizeof(large)), 9);
  EXPECT_STREQ(large, "interpath");
  // No room even for the terminator: nothing is written.
  EXPECT_EQ(api.get_temp_path(small, 0), 0);
  EXPECT_EQ(small[0], 'i');
}

// In-process cases: the C++ side of the exports with the program directory
// moved into a temporary directory.
class ExportCallsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.SetExecutablePath(dir_.Sub("bin/server"));
    std::filesystem::create_directories(dir_.Sub("bin"));
    ASSERT_GT(SetTempPathSetting(dir_.Sub("work").c_str()), 0);
  }

  ScopedTempDir dir_;
  FaultInjectionEnv env_;
  ScopedEnvForTesting scoped_{&env_};
  RecordingHost host_;
};

TEST_F(ExportCallsTest, RelativeNamesResolveInTheProgramDirectory) {
  ASSERT_EQ(ExportFrequency2("abcd", -1, 0, nullptr, 0, 0, "out.txt", &host_), 0);
  EXPECT_THAT(ResultLines(dir_.Sub("bin/out.txt")), ElementsAre("abcd\t1\t1\t1\t1\t1\t1.0000"));

  // A table goes below the host table directory, in a directory of its name.
  ASSERT_EQ(ExportFrequency2("abcd", -1, 0, nullptr, 0, 1, "words", &host_), 0);
  const std::string table_path = dir_.Sub("bin/LOCAL_HS_DB/words/words");
  EXPECT_THAT(Statements(host_),
              ::testing::Contains(StartsWith("CREATE TABLE words PATH '" + table_path + "' (")));

  // A relative temporary path resolves there too.
  EXPECT_EQ(SetTempPathSetting("tmp"), static_cast<int32_t>(dir_.Sub("bin/tmp/").size()));
  char buffer[300];
  GetTempPathSetting(buffer, sizeof(buffer));
  EXPECT_EQ(std::string(buffer), dir_.Sub("bin/tmp/"));
}

TEST_F(ExportCallsTest, UnreadableProgramPath) {
  env_.FailAlways(EnvOp::kGetExecutablePath);
  EXPECT_EQ(ExportFrequency2("abcd", -1, 0, nullptr, 0, 0, "out.txt", &host_), VOCS_E_OUTPUT_PATH);
  EXPECT_THAT(host_.log(), IsEmpty());
  // The setting is kept when a relative path cannot be resolved.
  char before[300];
  GetTempPathSetting(before, sizeof(before));
  EXPECT_EQ(SetTempPathSetting("tmp"), 0);
  char after[300];
  GetTempPathSetting(after, sizeof(after));
  EXPECT_STREQ(after, before);
}

TEST(BoundaryGuardTest, EscapingAllocationFailureBecomesACode) {
  EXPECT_EQ(GuardBoundary([]() -> int32_t { throw std::bad_alloc(); }), VOCS_E_OUT_OF_MEMORY);
  EXPECT_EQ(GuardBoundary([]() -> int32_t { return -3011; }), -3011);
}

}  // namespace
}  // namespace vocs
