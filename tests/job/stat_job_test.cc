// The statistics job against a recording host and a recording task: the
// order of task calls, the source walks, loading and preparing text, and how
// failures stop a run.
#include "job/stat_job.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "support/fault_injection_env.h"
#include "support/recording_host.h"
#include "support/recording_task.h"
#include "support/temp_dir.h"
#include "vocs/errors.h"

namespace vocs {
namespace {

using testing::RecordingHost;
using testing::RecordingTask;
using testing::ScopedTempDir;

// Lists directories in name order, so that tests can rely on the order the
// file system returns entries in.
class SortedListingEnv final : public EnvWrapper {
 public:
  SortedListingEnv() : EnvWrapper(Env::Default()) {}
  bool ListDirectory(const std::string& path, std::vector<DirectoryEntry>* entries) override {
    if (!EnvWrapper::ListDirectory(path, entries)) return false;
    std::sort(entries->begin(), entries->end(),
              [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
    return true;
  }
};

class StatJobTest : public ::testing::Test {
 protected:
  StatJobTest() : scoped_env_(&env_) {
    host_.SetTable({"a", "b", "c"}, {{"a0", "b0", "c0"}, {"a1", "b1", "c1"}});
    job_.SetHost(&host_);
  }

  int CountCalls(const std::string& prefix) const {
    int n = 0;
    for (const std::string& entry : host_.log()) n += entry.rfind(prefix, 0) == 0;
    return n;
  }

  SortedListingEnv env_;
  ScopedEnvForTesting scoped_env_;
  RecordingHost host_;
  RecordingTask task_;
  StatJob job_;
};

TEST_F(StatJobTest, FrequencyTaskSeesEverySourceOfEveryRecordInOrder) {
  ASSERT_TRUE(job_.AddFieldSource("a", 0, nullptr));
  ASSERT_TRUE(job_.AddFieldSource("B", 0, nullptr));  // columns resolve without regard to case
  ASSERT_TRUE(job_.AddFieldSource("c", 0, nullptr));
  job_.SetFrequencyTask(&task_);
  ASSERT_TRUE(job_.Run("SELECT * FROM t"));
  EXPECT_EQ(task_.Trace(),
            "count(2) begin(0) process(0,a,null) process(0,B,null) process(0,c,null) end(0) "
            "begin(1) process(1,a,null) process(1,B,null) process(1,c,null) end(1) "
            "finish deliver");
  EXPECT_EQ(task_.contents, (std::vector<std::string>{"a0", "b0", "c0", "a1", "b1", "c1"}));
  EXPECT_EQ(CountCalls("closeResult(7)"), 1);
}

TEST_F(StatJobTest, CooccurrenceTaskSeesEveryPairOfSourcesLoadingEachOncePerRecord) {
  job_.AddFieldSource("a", 0, nullptr);
  job_.AddFieldSource("b", 0, nullptr);
  job_.AddFieldSource("c", 0, nullptr);
  job_.SetCooccurrenceTask(&task_);
  ASSERT_TRUE(job_.Run("SELECT * FROM t"));
  EXPECT_EQ(task_.Trace(),
            "count(2) begin(0) process(0,a,b) process(0,a,c) process(0,b,c) end(0) "
            "begin(1) process(1,a,b) process(1,a,c) process(1,b,c) end(1) finish deliver");
  EXPECT_EQ(CountCalls("readField"), 6);  // three sources, two records
  EXPECT_EQ(task_.contents[2], "b0|c0");
}

TEST_F(StatJobTest, CooccurrenceWithOneSourceGetsANullSecondSource) {
  job_.AddFieldSource("b", 0, nullptr);
  job_.SetCooccurrenceTask(&task_);
  ASSERT_TRUE(job_.Run("SELECT b FROM t"));
  EXPECT_EQ(task_.Trace(),
            "count(2) begin(0) process(0,b,null) end(0) begin(1) process(1,b,null) end(1) "
            "finish deliver");
}

TEST_F(StatJobTest, RunWithoutQueryProcessesExactlyOneRecord) {
  job_.AddBufferSource("text", -1, 0, nullptr);
  job_.SetFrequencyTask(&task_);
  ASSERT_TRUE(job_.Run(nullptr));
  EXPECT_EQ(task_.Trace(), "count(1) begin(0) process(0,buf,null) end(0) finish deliver");
  EXPECT_TRUE(host_.log().empty());  // no query, so the host was never asked
}

TEST_F(StatJobTest, DirectoryIsExpandedInPlaceInReverseEnumerationOrder) {
  ScopedTempDir dir;
  dir.WriteFile("d/x.txt", "x");
  dir.WriteFile("d/y.txt", "y");
  dir.WriteFile("d/z.txt", "z");
  ASSERT_TRUE(job_.AddFileSource(dir.Sub("d").c_str(), 0, nullptr));
  job_.SetCooccurrenceTask(&task_);
  ASSERT_TRUE(job_.Run(nullptr));
  EXPECT_EQ(task_.Trace(),
            "count(1) begin(0) process(0,z.txt,y.txt) process(0,z.txt,x.txt) "
            "process(0,y.txt,x.txt) end(0) finish deliver");
  // File contents end with a 0 byte inside their length.
  EXPECT_EQ(job_.sources().front().content, std::string("z\0", 2));
}

TEST_F(StatJobTest, SubdirectoriesAreExpandedWhenTheWalkReachesThem) {
  ScopedTempDir dir;
  dir.WriteFile("d/a.txt", "a");
  dir.WriteFile("d/sub/b.txt", "b");
  dir.WriteFile("d/sub/deeper/c.TXT", "c");
  job_.AddFileSource(dir.Sub("d").c_str(), 0, nullptr);
  job_.SetFrequencyTask(&task_);
  ASSERT_TRUE(job_.Run(nullptr));
  EXPECT_EQ(task_.Trace(),
            "count(1) begin(0) process(0,c.TXT,null) process(0,b.txt,null) "
            "process(0,a.txt,null) end(0) finish deliver");
}

TEST_F(StatJobTest, DirectoryWithOneTextFileFormsNoPair) {
  ScopedTempDir dir;
  dir.WriteFile("d/only.txt", "only");
  job_.AddFileSource(dir.Sub("d").c_str(), 0, nullptr);
  job_.SetCooccurrenceTask(&task_);
  ASSERT_TRUE(job_.Run(nullptr));
  EXPECT_EQ(task_.Trace(), "count(1) begin(0) end(0) finish deliver");
}

TEST_F(StatJobTest, OnlyNamesLongerThanTheExtensionEndingInTxtAreTaken) {
  ScopedTempDir dir;
  dir.WriteFile("d/a.txt", "a");
  dir.WriteFile("d/.txt", "hidden");
  dir.WriteFile("d/b.doc", "b");
  dir.WriteFile("d/ctxt", "c");
  job_.AddFileSource(dir.Sub("d").c_str(), 0, nullptr);
  job_.SetFrequencyTask(&task_);
  ASSERT_TRUE(job_.Run(nullptr));
  EXPECT_EQ(task_.Trace(), "count(1) begin(0) process(0,a.txt,null) end(0) finish deliver");
}

#ifndef _WIN32
// Symbolic links as POSIX has them (Windows makes them only with a
// privilege, and the walk there sees them as reparse points).
//
// A link from a directory to itself made the walk enter it again and again:
// one self-link counted a.txt 41 times (until the path grew too long), two
// made the walk exponential and never end. Links to directories are not
// followed now; links to files are read.
TEST_F(StatJobTest, LinksToDirectoriesAreNotFollowedSoSelfLinksCannotLoop) {
  ScopedTempDir dir;
  dir.WriteFile("d/a.txt", "a");
  dir.WriteFile("d/sub/b.txt", "b");
  dir.WriteFile("outside.txt", "o");
  dir.WriteFile("elsewhere/c.txt", "c");
  std::filesystem::create_directory_symlink(".", dir.Sub("d/self"));
  std::filesystem::create_directory_symlink("..", dir.Sub("d/sub/up"));
  std::filesystem::create_directory_symlink("../elsewhere", dir.Sub("d/away"));
  std::filesystem::create_directory_symlink("../elsewhere", dir.Sub("d/named.txt"));
  std::filesystem::create_symlink("../outside.txt", dir.Sub("d/linked.txt"));
  job_.AddFileSource(dir.Sub("d").c_str(), 0, nullptr);
  job_.SetFrequencyTask(&task_);
  ASSERT_TRUE(job_.Run(nullptr)) << job_.error_code();
  EXPECT_EQ(task_.Trace(),
            "count(1) begin(0) process(0,b.txt,null) process(0,linked.txt,null) "
            "process(0,a.txt,null) end(0) finish deliver");
  EXPECT_EQ(task_.contents, (std::vector<std::string>{"b", "o", "a"}));
}

#endif  // _WIN32

// A directory met again under another name (a bind mount, or a link
// followed by a platform that follows them) is not walked a second time.
TEST_F(StatJobTest, ADirectoryIsEnteredOnceWhateverNameItIsReachedBy) {
  class LoopingEnv final : public EnvWrapper {
   public:
    LoopingEnv(Env* target, std::string again, std::string original)
        : EnvWrapper(target), again_(std::move(again)), original_(std::move(original)) {}
    bool GetIdentity(const std::string& path, FileIdentity* identity) override {
      return EnvWrapper::GetIdentity(path == again_ ? original_ : path, identity);
    }

   private:
    std::string again_, original_;
  };
  ScopedTempDir dir;
  dir.WriteFile("d/a.txt", "a");
  dir.WriteFile("d/again/b.txt", "b");  // stands for d itself
  dir.WriteFile("d/other/c.txt", "c");
  LoopingEnv looping(&env_, dir.Sub("d/again"), dir.Sub("d"));
  ScopedEnvForTesting use(&looping);
  job_.AddFileSource(dir.Sub("d").c_str(), 0, nullptr);
  job_.SetFrequencyTask(&task_);
  ASSERT_TRUE(job_.Run(nullptr)) << job_.error_code();
  EXPECT_EQ(task_.Trace(),
            "count(1) begin(0) process(0,c.txt,null) process(0,a.txt,null) end(0) "
            "finish deliver");
}

// A directory that could not be listed used to count as empty, so the run
// ended with code 0 and the counts of part of the tree.
TEST_F(StatJobTest, ADirectoryThatCannotBeListedFailsTheRunInsteadOfCountingNothing) {
  ScopedTempDir dir;
  dir.WriteFile("d/a.txt", "a");
  dir.WriteFile("d/sub/b.txt", "b");
  for (int successes : {0, 1}) {  // the top directory, then the one below it
    FaultInjectionEnv faults(&env_);
    ScopedEnvForTesting use(&faults);
    StatJob job;
    job.SetHost(&host_);
    job.AddFileSource(dir.Sub("d").c_str(), 0, nullptr);
    RecordingTask task;
    job.SetFrequencyTask(&task);
    faults.FailAfter(EnvOp::kListDirectory, successes);
    EXPECT_FALSE(job.Run(nullptr)) << successes;
    EXPECT_EQ(job.error_code(), VOCS_E_SOURCE_UNREADABLE) << successes;
    EXPECT_EQ(task.Trace().find("process"), std::string::npos) << task.Trace();
  }
}

TEST_F(StatJobTest, AddOperationsRefuseWithTheirCodes) {
  struct Case {
    const char* what;
    bool (*add)(StatJob*);
    int32_t code;
  };
  const Case cases[] = {
      {"null field name", [](StatJob* j) { return j->AddFieldSource(nullptr, 0, nullptr); },
       VOCS_E_NO_SOURCE},
      {"empty field name", [](StatJob* j) { return j->AddFieldSource("", 0, nullptr); },
       VOCS_E_NO_SOURCE},
      {"repeated field name",
       [](StatJob* j) {
         j->AddFieldSource("Title", 0, nullptr);
         return j->AddFieldSource("tITLE", 1, ",");
       },
       VOCS_E_REPEATED_NAME},
      {"empty buffer", [](StatJob* j) { return j->AddBufferSource("", 5, 0, nullptr); },
       VOCS_E_BAD_ARGUMENT},
      {"zero length", [](StatJob* j) { return j->AddBufferSource("abc", 0, 0, nullptr); },
       VOCS_E_BAD_ARGUMENT},
      {"empty path", [](StatJob* j) { return j->AddFileSource("", 2, nullptr); },
       VOCS_E_FILE_SOURCE},
  };
  for (const Case& c : cases) {
    StatJob job;
    EXPECT_FALSE(c.add(&job)) << c.what;
    EXPECT_EQ(job.error_code(), c.code) << c.what;
  }
}

TEST_F(StatJobTest, FileSourcesAreRefusedOnlyWhenRepeatedAsFiles) {
  ScopedTempDir dir;
  dir.WriteFile("Notes.txt", "n");
  EXPECT_TRUE(job_.AddFileSource(dir.Sub("Notes.txt").c_str(), 2, nullptr));
  EXPECT_FALSE(job_.AddFileSource(dir.Sub("NOTES.TXT").c_str(), 2, nullptr));
  EXPECT_EQ(job_.error_code(), VOCS_E_FILE_SOURCE);
  // A field of the same name as a file is no repetition, in either order.
  EXPECT_TRUE(job_.AddFieldSource(dir.Sub("Notes.txt").c_str(), 0, nullptr));

  StatJob job;
  EXPECT_FALSE(job.AddFileSource(dir.Sub("missing.txt").c_str(), 2, nullptr));
  EXPECT_EQ(job.error_code(), 0);  // a missing path records nothing
  EXPECT_TRUE(job.sources().empty());
}

TEST_F(StatJobTest, BufferLengthsCountOrReadUpToTheZeroByte) {
  const char text[] = "abcdef\0ghi";
  job_.AddBufferSource(text, 3, 0, nullptr);
  job_.AddBufferSource(text, -1, 0, nullptr);
  job_.AddBufferSource(text, 10, 0, nullptr);
  EXPECT_EQ(job_.sources()[0].content, "abc");
  EXPECT_EQ(job_.sources()[1].content, "abcdef");
  EXPECT_EQ(job_.sources()[2].content, std::string(text, 10));
}

TEST_F(StatJobTest, RefusedSourceStopsCooccurrenceButNotFrequency) {
  {
    StatJob job;
    job.SetHost(&host_);
    job.AddFieldSource("a", 0, nullptr);
    job.AddFieldSource("A", 0, nullptr);
    RecordingTask task;
    job.SetFrequencyTask(&task);
    EXPECT_TRUE(job.Run("SELECT * FROM t"));
    EXPECT_EQ(job.error_code(), 0);
    EXPECT_EQ(task.calls.front(), "count(2)");
  }
  {
    StatJob job;
    job.SetHost(&host_);
    job.AddFieldSource("a", 0, nullptr);
    job.AddFieldSource("A", 0, nullptr);
    RecordingTask task;
    job.SetCooccurrenceTask(&task);
    EXPECT_FALSE(job.Run("SELECT * FROM t"));
    EXPECT_EQ(job.error_code(), VOCS_E_REPEATED_NAME);
    // Without a frequency task nothing replaces the stored refusal, so the
    // run stops at its first task operation before the task is called.
    EXPECT_TRUE(task.calls.empty());
  }
}

TEST_F(StatJobTest, RunFailuresAndTheirCodes) {
  {
    StatJob job;
    job.AddBufferSource("x", -1, 0, nullptr);
    EXPECT_FALSE(job.Run(nullptr));
    EXPECT_EQ(job.error_code(), VOCS_E_NO_HOST);
  }
  {
    StatJob job;
    job.SetHost(&host_);
    EXPECT_FALSE(job.Run("SELECT 1"));
    EXPECT_EQ(job.error_code(), VOCS_E_NO_SOURCE);
  }
  {
    RecordingHost host;
    host.fail_query = true;
    StatJob job;
    job.SetHost(&host);
    job.AddFieldSource("a", 0, nullptr);
    EXPECT_FALSE(job.Run("SELECT a"));
    EXPECT_EQ(job.error_code(), VOCS_E_QUERY_NOT_OPENED);
    EXPECT_EQ(host.call_names(), std::vector<std::string>{"runStatement"});
  }
  {
    RecordingHost host;
    host.SetTable({"a"}, {{"x"}});
    StatJob job;
    job.SetHost(&host);
    job.AddFieldSource("nosuch", 0, nullptr);
    RecordingTask task;
    job.SetFrequencyTask(&task);
    EXPECT_FALSE(job.Run("SELECT a"));
    EXPECT_EQ(job.error_code(), -2001);  // the host's own code passes through
    EXPECT_TRUE(task.calls.empty());
    EXPECT_EQ(host.call_names(),
              (std::vector<std::string>{"runStatement", "resolveField", "closeResult"}));
  }
}

TEST_F(StatJobTest, TheFirstFailingTaskCallStopsTheRunAndTheQueryIsClosed) {
  for (const char* step : {"count", "begin(1)", "process(0,b", "end(0)", "finish", "deliver"}) {
    RecordingHost host;
    host.SetTable({"a", "b"}, {{"1", "2"}, {"3", "4"}});
    StatJob job;
    job.SetHost(&host);
    job.AddFieldSource("a", 0, nullptr);
    job.AddFieldSource("b", 0, nullptr);
    RecordingTask task;
    task.fail_on = step;
    job.SetFrequencyTask(&task);
    EXPECT_FALSE(job.Run("SELECT a, b")) << step;
    EXPECT_EQ(job.error_code(), -77) << step;
    EXPECT_EQ(task.calls.back().rfind(step, 0), 0u) << "the failing call is the last: " << step;
    EXPECT_EQ(host.call_names().back(), "closeResult") << step;
  }
}

TEST_F(StatJobTest, ModeOutsideTheKnownThreeFailsWhenTheSourceIsFirstLoaded) {
  job_.AddFieldSource("a", 3, nullptr);
  job_.SetFrequencyTask(&task_);
  EXPECT_FALSE(job_.Run("SELECT a"));
  EXPECT_EQ(job_.error_code(), VOCS_E_PREPARE_TEXT);
  EXPECT_EQ(task_.Trace(), "count(2) begin(0)");
}

TEST_F(StatJobTest, PrepareTextInModesZeroAndOneBlanksControlsAndQuotesApostrophes) {
  // 0x09 and 0x0A become spaces, 0x14 stays, an apostrophe becomes a double
  // quote, and the trail byte 0x27 of a two-byte character is never touched.
  const std::string raw = std::string("a\tb\nc\x13") + "\x14" + "'d" + "\xB0\x27" + "e";
  const std::string want = std::string("a b c ") + "\x14" + "\"d" + "\xB0\x27" + "e";
  for (int mode : {0, 1}) {
    RecordingHost host;
    host.SetTable({"t"}, {{raw}});
    StatJob job;
    job.SetHost(&host);
    job.AddFieldSource("t", mode, ",");
    RecordingTask task;
    job.SetFrequencyTask(&task);
    ASSERT_TRUE(job.Run("SELECT t"));
    EXPECT_EQ(task.contents.at(0), want) << "mode " << mode;
  }
}

TEST_F(StatJobTest, ModeTwoHandsTheHostsConversionToTheTask) {
  RecordingHost host;
  host.SetTable({"t"}, {{"raw one"}, {"raw two"}});
  host.convert_override = [](const char* source, char* destination, int32_t* length) {
    std::string converted = std::string("conv/") + source;
    if (converted.size() + 1 > static_cast<size_t>(*length)) return -1;
    std::memcpy(destination, converted.c_str(), converted.size() + 1);
    return 0;
  };
  StatJob job;
  job.SetHost(&host);
  job.AddFieldSource("t", 2, nullptr);
  RecordingTask task;
  job.SetFrequencyTask(&task);
  ASSERT_TRUE(job.Run("SELECT t"));
  EXPECT_EQ(task.contents, (std::vector<std::string>{"conv/raw one", "conv/raw two"}));

  RecordingHost failing;
  failing.SetTable({"t"}, {{"x"}});
  failing.convert_override = [](const char*, char*, int32_t*) { return 1; };
  StatJob job2;
  job2.SetHost(&failing);
  job2.AddFieldSource("t", 2, nullptr);
  RecordingTask task2;
  job2.SetFrequencyTask(&task2);
  EXPECT_FALSE(job2.Run("SELECT t"));
  EXPECT_EQ(job2.error_code(), VOCS_E_PREPARE_TEXT);
}

TEST_F(StatJobTest, ModeTwoConvertsBuffersAndFilesAsWellAsFields) {
  ScopedTempDir dir;
  dir.WriteFile("a.txt", "from file");
  RecordingHost host;
  std::vector<int32_t> room;
  host.convert_override = [&](const char* source, char* destination, int32_t* length) {
    room.push_back(*length);
    std::string converted = std::string("conv/") + source;
    if (converted.size() + 1 > static_cast<size_t>(*length)) return -1;
    std::memcpy(destination, converted.c_str(), converted.size() + 1);
    return 0;
  };
  StatJob job;
  job.SetHost(&host);
  job.AddBufferSource("from buffer", -1, 2, nullptr);
  job.AddFileSource(dir.Sub("a.txt").c_str(), 2, nullptr);
  RecordingTask task;
  job.SetFrequencyTask(&task);
  ASSERT_TRUE(job.Run(nullptr));
  EXPECT_EQ(task.contents, (std::vector<std::string>{"conv/from buffer", "conv/from file"}));
  // The room offered follows the whole content: the buffer is padded to a
  // typical field size first.
  ASSERT_EQ(room.size(), 2u);
  EXPECT_GE(room[0], 2 * 8192);
}

TEST_F(StatJobTest, BufferTooSmallIsRetriedWithTheNeededSizeAndSlack) {
  std::vector<int32_t> offered;
  host_.read_override = [&](int32_t, int32_t, char* buffer, int32_t* length) {
    offered.push_back(*length);
    if (*length < 20000) {
      *length = 20000;
      return VOCS_E_BUFFER_TOO_SMALL;
    }
    std::memset(buffer, 'q', 20000);
    buffer[20000] = '\0';
    *length = 20000;
    return 0;
  };
  job_.AddFieldSource("a", 0, nullptr);
  job_.SetFrequencyTask(&task_);
  ASSERT_TRUE(job_.Run("SELECT a"));
  ASSERT_GE(offered.size(), 2u);
  EXPECT_EQ(offered[0], 8191);
  EXPECT_EQ(offered[1], 21023);
  EXPECT_EQ(task_.contents.at(0), std::string(20000, 'q'));
  // The second record reuses the grown storage: no second retry.
  EXPECT_EQ(offered.size(), 3u);
}

TEST_F(StatJobTest, AShortRecordAfterALongOneSeesOnlyItsOwnText) {
  // The buffers that grew for the long record are kept for the later ones;
  // nothing of the long text may show through, with or without conversion.
  const std::string long_text(300000, 'q');
  for (int32_t mode : {0, 2}) {
    RecordingHost host;
    host.SetTable({"t"}, {{"ab/cd"}, {long_text}, {"e"}, {""}, {"fg"}});
    StatJob job;
    job.SetHost(&host);
    job.AddFieldSource("t", mode, nullptr);
    RecordingTask task;
    job.SetFrequencyTask(&task);
    ASSERT_TRUE(job.Run("SELECT t")) << mode;
    EXPECT_EQ(task.contents, (std::vector<std::string>{"ab/cd", long_text, "e", "", "fg"}))
        << mode;
  }
}

TEST_F(StatJobTest, AHostThatAlwaysAnswersBufferTooSmallCannotHoldTheJob) {
  int calls = 0;
  host_.read_override = [&](int32_t, int32_t, char*, int32_t* length) {
    ++calls;
    *length = 10;  // never satisfied, never growing
    return VOCS_E_BUFFER_TOO_SMALL;
  };
  job_.AddFieldSource("a", 0, nullptr);
  job_.SetFrequencyTask(&task_);
  EXPECT_FALSE(job_.Run("SELECT a"));
  EXPECT_EQ(job_.error_code(), VOCS_E_BUFFER_TOO_SMALL);
  EXPECT_EQ(calls, StatJob::kMaxBufferRetries);
  EXPECT_EQ(host_.call_names().back(), "closeResult");
}

TEST_F(StatJobTest, FailedReadsNeverEndTheRunWithCodeZero) {
  struct Case {
    const char* what;
    int32_t result;
    int32_t length;
    int32_t code;
  };
  const Case cases[] = {
      {"success without a length", 0, -1, VOCS_E_SOURCE_UNREADABLE},
      {"a length beyond the buffer", 0, 1 << 30, VOCS_E_SOURCE_UNREADABLE},
      {"a host error", -5, 3, -5},
  };
  for (const Case& c : cases) {
    RecordingHost host;
    host.SetTable({"a"}, {{"x"}});
    host.read_override = [&](int32_t, int32_t, char*, int32_t* length) {
      *length = c.length;
      return c.result;
    };
    StatJob job;
    job.SetHost(&host);
    job.AddFieldSource("a", 0, nullptr);
    RecordingTask task;
    job.SetFrequencyTask(&task);
    EXPECT_FALSE(job.Run("SELECT a")) << c.what;
    EXPECT_EQ(job.error_code(), c.code) << c.what;
  }
}

TEST_F(StatJobTest, AFileThatCannotBeReadFailsTheRunWithACode) {
  ScopedTempDir dir;
  dir.WriteFile("a.txt", "alpha");
  FaultInjectionEnv faults(&env_);
  ScopedEnvForTesting use(&faults);
  job_.AddFileSource(dir.Sub("a.txt").c_str(), 0, nullptr);
  faults.FailAlways(EnvOp::kNewSequentialFile);
  job_.SetFrequencyTask(&task_);
  EXPECT_FALSE(job_.Run(nullptr));
  EXPECT_EQ(job_.error_code(), VOCS_E_SOURCE_UNREADABLE);
}

TEST_F(StatJobTest, ShortContentsArePaddedWithZeroBytes) {
  job_.AddBufferSource("abc", -1, 0, nullptr);
  job_.SetFrequencyTask(&task_);
  ASSERT_TRUE(job_.Run(nullptr));
  const std::string& content = job_.sources().front().content;
  ASSERT_EQ(content.size(), 8192u);
  EXPECT_EQ(content.substr(0, 3), "abc");
  EXPECT_EQ(content.find_first_not_of('\0', 3), std::string::npos);
}

TEST_F(StatJobTest, TasksAreDetachedAfterARun) {
  job_.AddBufferSource("abc", -1, 0, nullptr);
  job_.SetFrequencyTask(&task_);
  ASSERT_TRUE(job_.Run(nullptr));
  task_.calls.clear();
  ASSERT_TRUE(job_.Run(nullptr));
  EXPECT_TRUE(task_.calls.empty());
}

}  // namespace
}  // namespace vocs
