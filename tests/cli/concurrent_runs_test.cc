// Runs that meet other runs, signals and terminals, through the built
// command and a real database: an interrupted re-run keeps the old table and
// leaves no file; two writers of one table (two processes, or two threads of
// one module) never mix their results; writers of different tables both
// finish; progress and estimates on a terminal.
#include <gtest/gtest.h>

#include <signal.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "cli/module_loader.h"
#include "cli/statement_text.h"
#include "cli_test_util.h"
#include "host/embedded_host.h"
#include "host/host_test_util.h"
#include "vocs/errors.h"

namespace vocs::cli {
namespace {

using testing::CommandHome;
using testing::QueryDb;
using testing::RunResult;
using testing::Started;

namespace fs = std::filesystem;

// Records of one term each ("t" column, terms t000000...) and a text of
// eight terms out of 50000 ("b" column): every t term occurs once, so a
// frequency table of t has one row per record; with MINFREQ=2 it has none.
std::string BigTsv(int records) {
  std::string tsv = "t\tb\n";
  char line[160];
  for (int i = 0; i < records; ++i) {
    int n = std::snprintf(line, sizeof line, "t%06d\t", i);
    for (int j = 0; j < 8; ++j) {
      n += std::snprintf(line + n, sizeof line - static_cast<size_t>(n), "%sw%05d",
                         j == 0 ? "" : ";", (i * 7 + j) % 50000);
    }
    tsv.append(line, static_cast<size_t>(n));
    tsv += '\n';
  }
  return tsv;
}

constexpr int kRecords = 120000;

class ConcurrentRunsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!home_.has_factory()) GTEST_SKIP() << "libvocs.so has no PlugModule_CreateInstance";
    const auto result = home_.Vocs({"import", "--db", home_.db(), "--table", "big",
                                    home_.dir().Write("big.tsv", BigTsv(kRecords))});
    ASSERT_EQ(result.exit_code, 0) << result.err;
  }

  std::vector<std::string> RunArgs(const std::string& statement) {
    return {"run", "--db", home_.db(), statement};
  }

  // What a run may leave behind: run directories beside the database, and
  // unfinished tables in it. "" when nothing.
  std::string Leftovers() {
    std::string found;
    for (const auto& entry : fs::directory_iterator(home_.work())) {
      const std::string name = entry.path().filename().string();
      if (name.rfind(".vocs", 0) == 0) found += name + " ";
    }
    const std::string shadows = QueryDb(
        home_.db(), "SELECT group_concat(name, ' ') FROM sqlite_schema WHERE type = 'table' AND "
                    "name LIKE 'vocs\\_build\\_%' ESCAPE '\\'");
    if (shadows != "null") found += shadows;
    const std::string builds = QueryDb(home_.db(), "SELECT count(*) FROM vocs_builds");
    if (builds != "0") found += " builds: " + builds;
    return found;
  }

  CommandHome home_;
};

TEST_F(ConcurrentRunsTest, AnInterruptedReRunKeepsTheOldTableAndLeavesNoFile) {
  const std::string statement =
      "STAT WORDFREQ AT t(NONE), b(SEGASCOL, \";\") TO TABLE=res WHERE SELECT * FROM big";
  ASSERT_EQ(home_.Vocs(RunArgs(statement)).exit_code, 0);
  const std::string before = QueryDb(home_.db(), "SELECT count(*), sum(词频), max(词条名称) FROM res");
  ASSERT_EQ(before, std::to_string(kRecords + 50000) + "|" + std::to_string(kRecords * 9) +
                        "|w49999");

  // Each signal once the re-run has begun to build its table (it is then
  // writing or loading the new table's records).
  for (const int signal : {SIGINT, SIGTERM}) {
    Started run(home_.vocs(), RunArgs(statement), home_.work());
    ASSERT_TRUE(testing::WaitUntil([&] {
      return QueryDb(home_.db(), "SELECT count(*) FROM vocs_builds") == "1" || !run.Running();
    })) << "the run never began its table";
    run.Signal(signal);
    const RunResult result = run.Wait();
    EXPECT_EQ(result.exit_code, 130) << result.err;
    EXPECT_NE(result.err.find("interrupted"), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(QueryDb(home_.db(), "SELECT count(*), sum(词频), max(词条名称) FROM res"), before);
    EXPECT_EQ(Leftovers(), "");
  }
}

// The rows of the frequency table of t (MINFREQ=1: every record's term) or
// of b (MINFREQ=2: the text terms), and the statements that make them.
std::string Statement(const std::string& table, bool of_texts) {
  return of_texts ? "STAT WORDFREQ SET MINFREQ=2 AT b(SEGASCOL, \";\") TO TABLE=" + table +
                        " WHERE SELECT b FROM big"
                  : "STAT WORDFREQ AT t(NONE) TO TABLE=" + table + " WHERE SELECT t FROM big";
}
constexpr int kTermRows = kRecords;
constexpr int kTextRows = 50000;

TEST_F(ConcurrentRunsTest, WhatAKilledRunLeftIsRemovedByTheNextRun) {
  const std::string statement =
      "STAT WORDFREQ AT t(NONE), b(SEGASCOL, \";\") TO TABLE=res WHERE SELECT * FROM big";
  {
    Started run(home_.vocs(), RunArgs(statement), home_.work());
    ASSERT_TRUE(testing::WaitUntil([&] {
      return QueryDb(home_.db(), "SELECT count(*) FROM vocs_builds") == "1" || !run.Running();
    }));
    run.Signal(SIGKILL);  // no clean-up at all
    EXPECT_EQ(run.Wait().exit_code, 128 + SIGKILL);
  }
  EXPECT_NE(Leftovers(), "");
  // A run directory is taken for dead once its lock is free and it is not
  // brand new.
  for (const auto& entry : fs::directory_iterator(home_.work())) {
    fs::last_write_time(entry.path(), fs::file_time_type::clock::now() - std::chrono::minutes(1));
  }
  const RunResult next = home_.Vocs(RunArgs(Statement("other", false)));
  ASSERT_EQ(next.exit_code, 0) << next.err;
  EXPECT_EQ(Leftovers(), "");
  EXPECT_EQ(QueryDb(home_.db(), "SELECT count(*) FROM sqlite_schema WHERE name = 'res'"), "0");
}

TEST_F(ConcurrentRunsTest, TwoProcessesWritingOneTableNeverMixTheirResults) {
  for (int round = 0; round < 3; ++round) {
    Started terms(home_.vocs(), RunArgs(Statement("shared", false)), home_.work());
    Started texts(home_.vocs(), RunArgs(Statement("shared", true)), home_.work());
    const RunResult results[2] = {terms.Wait(), texts.Wait()};
    const int expected_rows[2] = {kTermRows, kTextRows};
    int succeeded = 0;
    for (int i = 0; i < 2; ++i) {
      const RunResult& result = results[i];
      if (result.exit_code == 0) {
        ++succeeded;
        // A success reports this run's own rows.
        EXPECT_EQ(result.out.rfind("statement 1: " + std::to_string(expected_rows[i]) +
                                       " rows in table shared of ",
                                   0),
                  0u)
            << result.out;
      } else {
        EXPECT_EQ(result.exit_code, 1) << result.err;
        EXPECT_NE(result.err.find("failed with -3003"), std::string::npos) << result.err;
        // The holder is named when its catalog entry is readable; between its
        // lock and that entry (or after the entry is gone and before the lock
        // is) the message says only that another run or import holds it.
        const bool named =
            result.err.find("is being written by another run (vocs run, process ") !=
            std::string::npos;
        const bool unnamed =
            result.err.find("is being written by another run or import") != std::string::npos;
        EXPECT_TRUE(named || unnamed) << result.err;
        EXPECT_EQ(result.out, "");
      }
    }
    EXPECT_GE(succeeded, 1);
    // The table holds one run's result exactly.
    const std::string rows = QueryDb(home_.db(), "SELECT count(*), min(词条名称), max(词条名称), "
                                                 "sum(词频) FROM shared");
    EXPECT_TRUE(rows == std::to_string(kTermRows) + "|t000000|t119999|" + std::to_string(kTermRows) ||
                rows == std::to_string(kTextRows) + "|w00000|w49999|" + std::to_string(kRecords * 8))
        << rows;
    if (succeeded == 1) {
      EXPECT_EQ(rows.rfind(std::to_string(results[0].exit_code == 0 ? kTermRows : kTextRows) + "|",
                           0),
                0u);
    }
    EXPECT_EQ(Leftovers(), "");
  }
}

TEST_F(ConcurrentRunsTest, TwoProcessesWritingDifferentTablesBothFinish) {
  Started terms(home_.vocs(), RunArgs(Statement("one", false)), home_.work());
  Started texts(home_.vocs(), RunArgs(Statement("two", true)), home_.work());
  const RunResult first = terms.Wait();
  const RunResult second = texts.Wait();
  ASSERT_EQ(first.exit_code, 0) << first.err;
  ASSERT_EQ(second.exit_code, 0) << second.err;
  EXPECT_EQ(QueryDb(home_.db(), "SELECT count(*) FROM one"), std::to_string(kTermRows));
  EXPECT_EQ(QueryDb(home_.db(), "SELECT count(*) FROM two"), std::to_string(kTextRows));
  EXPECT_EQ(Leftovers(), "");
}

TEST_F(ConcurrentRunsTest, TwoThreadsOfOneModuleWritingOneTableNeverMixTheirResults) {
  std::string error;
  std::unique_ptr<host::EmbeddedHost> host = host::EmbeddedHost::Open(home_.db(), &error);
  ASSERT_NE(host, nullptr) << error;
  LoadedModule module;
  ASSERT_TRUE(module.Load(home_.home() + "/libvocs.so", &error)) << error;
  module.SetHost(host.get());
  // The module's own paths, absolute: each thread its work directory.
  const auto request = [&](int thread, bool of_texts) {
    const std::string dir = home_.dir().Sub("thread" + std::to_string(thread));
    std::string statement = Statement(dir + "/load/shared", of_texts);
    statement.insert(statement.find(" AT "), (of_texts ? ", TEMPPATH=" : " SET TEMPPATH=") +
                                                 dir + "/work");
    host::TextCodec codec;
    std::string bytes;
    EXPECT_TRUE(codec.Utf8ToGb18030(statement, &bytes));
    return StatementRequest(bytes);
  };
  for (int round = 0; round < 4; ++round) {
    int32_t codes[2] = {1, 1};
    std::string errors[2];
    host::HostReport reports[2];
    std::vector<std::thread> threads;
    for (int i = 0; i < 2; ++i) {
      threads.emplace_back([&, i] {
        codes[i] = module.Execute(request(i, i == 1));
        errors[i] = host->last_error();
        reports[i] = host->TakeReport();
      });
    }
    for (std::thread& thread : threads) thread.join();
    const int expected_rows[2] = {kTermRows, kTextRows};
    int succeeded = 0;
    for (int i = 0; i < 2; ++i) {
      if (codes[i] == 0) {
        ++succeeded;
        ASSERT_EQ(reports[i].tables.size(), 1u);
        EXPECT_EQ(reports[i].tables[0].rows, expected_rows[i]);
      } else {
        EXPECT_EQ(codes[i], VOCS_E_TABLE_NOT_CREATED);
        EXPECT_NE(errors[i].find("is being written by another statement of this process"),
                  std::string::npos)
            << errors[i];
        EXPECT_TRUE(reports[i].tables.empty());
      }
    }
    EXPECT_GE(succeeded, 1);
    const std::string rows = QueryDb(home_.db(), "SELECT count(*), sum(词频) FROM shared");
    EXPECT_TRUE(rows == std::to_string(kTermRows) + "|" + std::to_string(kTermRows) ||
                rows == std::to_string(kTextRows) + "|" + std::to_string(kRecords * 8))
        << rows;
  }
}

TEST_F(ConcurrentRunsTest, AnImportIntoATableARunIsWritingIsRefused) {
  // A run (here a host of this process) has begun to build "res".
  std::string error;
  std::unique_ptr<host::EmbeddedHost> host = host::EmbeddedHost::Open(home_.db(), &error);
  ASSERT_NE(host, nullptr) << error;
  ResultHandle handle{-1, 0, 0};
  host->runStatement("CREATE TABLE res PATH '/p/res' (a CHAR(8))", 1, &handle);
  ASSERT_GT(handle.id, 0) << host->last_error();
  host->closeResult(handle);
  home_.dir().Write("res.tsv", "a\nx\n");
  const RunResult result = home_.Vocs({"import", "--db", home_.db(), "--table", "res", "--append",
                                       home_.dir().Sub("res.tsv")});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_NE(result.err.find("the table \"res\" is being written by another run or import"),
            std::string::npos)
      << result.err;
  host.reset();  // the run ends without finishing: nothing of it stays
  EXPECT_EQ(Leftovers(), "");
  EXPECT_EQ(home_.Vocs({"import", "--db", home_.db(), "--table", "res", home_.dir().Sub("res.tsv")})
                .exit_code,
            0);
}

TEST_F(ConcurrentRunsTest, ProgressAndTheEstimateAppearOnATerminalOnly) {
  // One record of 1500 distinct terms: 1,124,250 pairs.
  std::string record;
  for (int i = 0; i < 1500; ++i) record += (i ? ";" : "") + std::string("p") + std::to_string(10000 + i);
  home_.dir().Write("long.tsv", "body\n" + record + "\n");
  ASSERT_EQ(home_.Vocs({"import", "--db", home_.db(), "--table", "long",
                        home_.dir().Sub("long.tsv")})
                .exit_code,
            0);
  const std::string pairs =
      "STAT ASSOCIATEDFREQ AT body(SEGASCOL, \";\") TO FILE=pairs.txt WHERE SELECT body FROM long";
  const RunResult dry = home_.Vocs({"run", "--db", home_.db(), "--dry-run", pairs});
  ASSERT_EQ(dry.exit_code, 0) << dry.err;
  EXPECT_EQ(dry.err.rfind("vocs: estimate: about 1.1 million pair occurrences in 1 record; the "
                          "work files may take up to ",
                          0),
            0u)
      << dry.err;
  EXPECT_EQ(dry.out, "statement 1: would write file " + home_.work() + "/pairs.txt\n");
  EXPECT_FALSE(fs::exists(home_.work() + "/pairs.txt"));

  // Without a terminal nothing but the result line.
  const RunResult quiet = home_.Vocs({"run", "--db", home_.db(), Statement("w", false)});
  ASSERT_EQ(quiet.exit_code, 0) << quiet.err;
  EXPECT_EQ(quiet.err, "");
  // On a terminal: the estimate, and progress lines that are redrawn.
  const RunResult shown = testing::RunOnTerminal(
      home_.vocs(), {"run", "--db", home_.db(), Statement("w", false), pairs}, home_.work());
  ASSERT_EQ(shown.exit_code, 0) << shown.err;
  EXPECT_NE(shown.err.find("vocs: estimate: about 1.1 million pair occurrences"),
            std::string::npos)
      << shown.err;
  EXPECT_NE(shown.err.find("\r\x1B[K"), std::string::npos) << shown.err;
  EXPECT_NE(shown.err.find(" · "), std::string::npos) << shown.err;
  EXPECT_NE(shown.out.find("statement 2: 1124250 rows in file " + home_.work() + "/pairs.txt"),
            std::string::npos)
      << shown.out;
}

}  // namespace
}  // namespace vocs::cli
