// Drives a job against a host written in C as a plain table of function
// pointers: every call must reach the intended slot with the intended
// arguments, which pins the slot positions of HostInterface from outside C++.
#include <gtest/gtest.h>

#include <string>

#include "job/stat_job.h"
#include "support/c_host.h"
#include "support/recording_task.h"
#include "vocs/errors.h"

namespace vocs {
namespace {

TEST(CHostTest, JobCallsReachTheirSlotsWithTheirArguments) {
  CHost chost;
  CHost_Init(&chost);
  chost.column_count = 2;
  chost.columns[0] = "title";
  chost.columns[1] = "body";
  chost.row_count = 2;
  chost.values[0][0] = "t0";
  chost.values[0][1] = "b0";
  chost.values[1][0] = "t1";
  chost.values[1][1] = "b1";

  StatJob job;
  job.SetHost(reinterpret_cast<HostInterface*>(&chost));
  job.AddFieldSource("title", 0, nullptr);
  job.AddFieldSource("body", 2, nullptr);
  testing::RecordingTask task;
  job.SetCooccurrenceTask(&task);
  ASSERT_TRUE(job.Run("SELECT title, body FROM docs")) << job.error_code();

  EXPECT_EQ(std::string(chost.log),
            "runStatement(SELECT title, body FROM docs,0);"
            "resolveField(5,title,0);resolveField(5,body,0);"
            "readField(5,99,0,0,8191,0,0);readField(5,99,1,0,8191,0,0);convertText(b0);"
            "readField(5,99,0,1,8191,0,0);readField(5,99,1,1,8191,0,0);convertText(b1);"
            "closeResult(5,2,99);");
  // Every read offers the job's one read buffer, which has not grown here.
  EXPECT_EQ(chost.wrong_slot_calls, 0);
  // The body went through the C host's conversion (which upper-cases).
  EXPECT_EQ(task.contents, (std::vector<std::string>{"t0|B0", "t1|B1"}));
}

TEST(CHostTest, BufferTooSmallRoundTripsThroughTheCTable) {
  static const std::string long_value(9000, 'w');
  CHost chost;
  CHost_Init(&chost);
  chost.column_count = 1;
  chost.columns[0] = "v";
  chost.row_count = 1;
  chost.values[0][0] = long_value.c_str();

  StatJob job;
  job.SetHost(reinterpret_cast<HostInterface*>(&chost));
  job.AddFieldSource("v", 0, nullptr);
  testing::RecordingTask task;
  job.SetFrequencyTask(&task);
  ASSERT_TRUE(job.Run("SELECT v"));
  EXPECT_NE(std::string(chost.log).find("readField(5,99,0,0,8191,0,0);readField(5,99,0,0,10023,0,0);"),
            std::string::npos)
      << chost.log;
  EXPECT_EQ(task.contents.at(0), long_value);
  EXPECT_EQ(chost.wrong_slot_calls, 0);
}

}  // namespace
}  // namespace vocs
