// The path rules in the native style of POSIX systems: "/" separates, and a
// name is absolute when it begins with "/".
#include <gtest/gtest.h>

#include <string>

#include "platform/paths.h"
#include "support/fault_injection_env.h"

namespace vocs {
namespace {

TEST(NativePathsTest, RelativeNamesGoBelowTheProgramDirectory) {
  FaultInjectionEnv env;
  ScopedEnvForTesting scoped(&env);
  env.SetExecutablePath("/srv/bin/server");
  std::string out;
  ASSERT_GT(ResolveDirectoryPath("temp", &out), 0u);
  EXPECT_EQ(out, "/srv/bin/temp/");
  ASSERT_GT(ResolveDirectoryPath("/abs/dir", &out), 0u);
  EXPECT_EQ(out, "/abs/dir/");
  std::string program;
  ASSERT_TRUE(ProgramDirectory(&program));
  EXPECT_EQ(program, "/srv/bin/");
  EXPECT_EQ(HostTableDirectoryName(), "LOCAL_HS_DB/");
}

}  // namespace
}  // namespace vocs
