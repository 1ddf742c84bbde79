// Memory on large inputs, through the path a user meets: the vocs command,
// its embedded host on a real database file and ICU segmentation. Each run is
// a child process; its peak resident size (wait4) is compared with that of
// the same statement over a tiny record, so that what the program needs
// whatever its input (libraries, ICU's dictionaries, SQLite's cache) is left
// out and the bound is on what the record costs. The records here are a few
// MiB; bench/ measures 100 MiB and ten million records.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdint>
#include <string>
#include <vector>

#include "cli_test_util.h"

namespace vocs::cli {
namespace {

using testing::CommandHome;
using testing::OutputFiles;
using testing::ReadWholeFile;
using testing::Spawn;

constexpr double kMiB = 1024.0 * 1024.0;

// Words from a fixed vocabulary of ASCII and Chinese words joined by spaces
// and punctuation, without line feeds: the text of one long field that the
// segmenter can only cut at spaces.
std::string MixedText(size_t bytes) {
  static const char* const kChinese[] = {"今天", "天气", "很好", "我们", "公园", "散步",
                                         "中华", "人民", "共和国", "成立", "月光", "地上"};
  std::string text;
  text.reserve(bytes + 64);
  uint64_t state = 12345;
  while (text.size() < bytes) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    const uint64_t r = state >> 33;
    if (r % 4 == 0) {
      text += kChinese[r / 4 % 12];
      text += kChinese[r / 64 % 12];
      text += r % 3 == 0 ? "。" : "，";
    } else {
      // Four to nine letters from a vocabulary of a few thousand words.
      const int length = 4 + static_cast<int>(r / 8 % 6);
      uint64_t word = r / 64 % 4000;
      for (int i = 0; i < length; ++i, word /= 3) text += static_cast<char>('a' + word % 26);
      text += r % 5 == 0 ? ". " : " ";
    }
  }
  return text;
}

// One table "t" with one column "body" and the given records.
void MakeDatabase(const std::string& path, const std::vector<std::string>& bodies) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE t (body TEXT); BEGIN", nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_stmt* insert = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "INSERT INTO t VALUES (?)", -1, &insert, nullptr), SQLITE_OK);
  for (const std::string& body : bodies) {
    sqlite3_bind_text(insert, 1, body.data(), static_cast<int>(body.size()), SQLITE_STATIC);
    ASSERT_EQ(sqlite3_step(insert), SQLITE_DONE);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  ASSERT_EQ(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
}

struct PeakRun {
  int exit_code = -1;
  double peak_mib = 0;
  std::string err;
};

// Runs one statement with the command; its exit code and peak resident size.
PeakRun RunStatement(const CommandHome& home, const std::string& db, const std::string& statement) {
  OutputFiles files;
  const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
  const pid_t pid =
      Spawn(home.vocs(), {"run", "--db", db, statement}, home.work(), in, files.out, files.err);
  close(in);
  PeakRun run;
  int status = 0;
  struct rusage usage = {};
  if (pid > 0 && wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status)) {
    run.exit_code = WEXITSTATUS(status);
  }
  run.peak_mib = static_cast<double>(usage.ru_maxrss) * 1024.0 / kMiB;
  run.err = ReadWholeFile(files.err_path);
  return run;
}

// Under a sanitizer the peak is mostly shadow memory and freed blocks held
// in quarantine, which grow with every allocation: no bound on the program's
// own copies can be read from it.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

class LargeInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!home_.has_factory()) GTEST_SKIP() << "the module has no factory";
    if (kSanitized) GTEST_SKIP() << "peak memory is not the program's own under a sanitizer";
  }

  // The peak of `statement` over the database with `body` as its one record,
  // less the peak of the same statement over a record of a few words.
  double RecordCostMib(const std::string& name, const std::string& body,
                       const std::string& statement) {
    const std::string big_db = home_.work() + "/" + name + ".db";
    const std::string small_db = home_.work() + "/" + name + "_small.db";
    MakeDatabase(big_db, {body});
    MakeDatabase(small_db, {MixedText(64)});
    const PeakRun small = RunStatement(home_, small_db, statement);
    const PeakRun big = RunStatement(home_, big_db, statement);
    EXPECT_EQ(small.exit_code, 0) << small.err;
    EXPECT_EQ(big.exit_code, 0) << big.err;
    const double cost = big.peak_mib - small.peak_mib;
    std::printf("%s: %.1f MiB record: peak %.1f MiB, tiny record %.1f MiB, cost %.1f MiB (%.2f x)\n",
                name.c_str(), body.size() / kMiB, big.peak_mib, small.peak_mib, cost,
                cost / (body.size() / kMiB));
    return cost;
  }

  CommandHome home_;
};

// A long record is read, converted and cut without holding many copies of
// itself: the host's value, the module's read buffer, the converted text and
// the tokens together stay under 6 times the record in NORMAL mode (they
// were 12 times and more when the host converted the whole text at once and
// the tokens of a record were all gathered before counting) and under 4
// times when the record is cut at given characters (8 times before).
TEST_F(LargeInputTest, ALongRecordCostsAFewTimesItsSize) {
  const std::string body = MixedText(size_t{8} << 20);
  const double record_mib = body.size() / kMiB;
  EXPECT_LT(RecordCostMib("normal", body,
                          "STAT WORDFREQ AT body(NORMAL) TO FILE=n.txt WHERE SELECT body FROM t"),
            6 * record_mib);
  EXPECT_LT(RecordCostMib("segascol", body,
                          "STAT WORDFREQ AT body(SEGASCOL, \" .，。\") TO FILE=s.txt "
                          "WHERE SELECT body FROM t"),
            4 * record_mib);
}

// One term of 1 MiB is counted as its first 256 bytes; the run costs a few
// copies of the record (SQLite's, the host's, the module's), not a table or
// a token per byte.
TEST_F(LargeInputTest, ATermOfOneMibCostsAFewTimesItsSize) {
  std::string term;
  for (size_t i = 0; term.size() < (size_t{1} << 20); ++i) term += static_cast<char>('a' + i % 26);
  const double record_mib = term.size() / kMiB;
  const struct {
    const char* name;
    const char* mode;
  } kModes[] = {{"none", "NONE"}, {"normal", "NORMAL"}, {"segascol", "SEGASCOL, \";\""}};
  for (const auto& [name, mode] : kModes) {
    const std::string statement = std::string("STAT WORDFREQ AT body(") + mode +
                                  ") TO FILE=o.txt WHERE SELECT body FROM t";
    EXPECT_LT(RecordCostMib(std::string("term_") + name, term, statement), 10 * record_mib)
        << mode;
    // The term is in the result, cut to 256 bytes.
    EXPECT_NE(ReadWholeFile(home_.work() + "/o.txt").find(term.substr(0, 256) + "\t"),
              std::string::npos)
        << mode;
  }
}

// Many tiny records cost what their distinct terms cost, nothing per record:
// no buffer, token or host value is kept from one record to the next.
TEST_F(LargeInputTest, ManyTinyRecordsCostTheirDistinctTerms) {
  std::vector<std::string> bodies;
  for (int i = 0; i < 100000; ++i) {
    std::string word = "w";
    for (int k = i % 1000; k > 0; k /= 10) word += static_cast<char>('a' + k % 10);
    bodies.push_back(word + "x");
  }
  const std::string db = home_.work() + "/tiny.db";
  MakeDatabase(db, bodies);
  const std::string small_db = home_.work() + "/tiny_small.db";
  MakeDatabase(small_db, {"wordx"});
  const std::string statement =
      "STAT WORDFREQ AT body(NORMAL) TO FILE=t.txt WHERE SELECT body FROM t";
  const PeakRun small = RunStatement(home_, small_db, statement);
  const PeakRun many = RunStatement(home_, db, statement);
  ASSERT_EQ(many.exit_code, 0) << many.err;
  ASSERT_EQ(small.exit_code, 0) << small.err;
  std::printf("100000 tiny records: peak %.1f MiB, one record %.1f MiB\n", many.peak_mib,
              small.peak_mib);
  EXPECT_LT(many.peak_mib - small.peak_mib, 8.0);
}

}  // namespace
}  // namespace vocs::cli
