// cmake --install into a fresh prefix: the installed vocs runs for a user who
// cannot write to the prefix, and C programs find the library through
// pkg-config and through CMake's find_package.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli_test_util.h"

namespace vocs::cli {
namespace {

using testing::QueryDb;
using testing::RunResult;

namespace fs = std::filesystem;

// Runs a shell command line; its exit code and output (standard error
// included).
RunResult Shell(const std::string& command_line) {
  return testing::RunProgram("/bin/sh", {"-c", command_line + " 2>&1"}, "/");
}

std::string Quote(const std::string& text) { return "'" + text + "'"; }

// Every path below `directory`, relative and sorted.
std::vector<std::string> Tree(const std::string& directory) {
  std::vector<std::string> paths;
  for (const auto& entry : fs::recursive_directory_iterator(directory)) {
    paths.push_back(fs::relative(entry.path(), directory).string());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

constexpr const char* kCProgram = R"(#include <stdio.h>
#include <vocs/vocs.h>
int main(void) {
  char path[300];
  VOCS_SetTempPath("/tmp/vocs-c-program");
  VOCS_GetTempPath(path, (int32_t)sizeof path);
  printf("%s|%s\n", path, vocs_error_message(VOCS_E_PARSE));
  return 0;
}
)";

class InstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Others must reach the prefix to run what is in it.
    chmod(dir_.path().c_str(), 0755);
    prefix_ = dir_.path() + "/prefix";
    const RunResult install =
        Shell("cmake --install " + Quote(VOCS_BUILD_DIR) + " --prefix " + Quote(prefix_));
    ASSERT_EQ(install.exit_code, 0) << install.out;
  }

  testing::TempDir dir_;
  std::string prefix_;
};

TEST_F(InstallTest, TheInstalledCommandRunsForAUserWhoCannotWriteThePrefix) {
  for (const char* file : {"bin/vocs", "lib/libvocs.so", "include/vocs/vocs.h",
                           "include/vocs/host_interface.h", "lib/pkgconfig/vocs.pc",
                           "lib/cmake/vocs/vocsConfig.cmake", "share/doc/vocs/statements.md"}) {
    EXPECT_TRUE(fs::exists(prefix_ + "/" + file)) << file;
  }
  const std::vector<std::string> installed = Tree(prefix_);

  // The user: nobody when we are root (the prefix stays root's), else
  // ourselves with the prefix made read-only.
  std::string as_user;
  if (geteuid() == 0) {
    if (Shell("setpriv --help").exit_code != 0) GTEST_SKIP() << "running as root without setpriv";
    as_user = "setpriv --reuid=nobody --regid=nogroup --clear-groups ";
  } else {
    ASSERT_EQ(Shell("chmod -R a-w " + Quote(prefix_)).exit_code, 0);
  }
  const std::string work = dir_.path() + "/user";
  fs::create_directories(work + "/诗集");
  std::ofstream(work + "/诗集/春晓.txt") << "春眠不觉晓，处处闻啼鸟。夜来风雨声，花落知多少。";
  std::ofstream(work + "/docs.tsv") << "id\ttitle\tbody\n1\t春晓\t春眠;啼鸟;春眠\n";
  if (geteuid() == 0) {
    ASSERT_EQ(Shell("chown -R nobody:nogroup " + Quote(work)).exit_code, 0);
  }
  const std::string vocs = prefix_ + "/bin/vocs";
  const auto run = [&](const std::string& arguments) {
    return Shell("cd " + Quote(work) + " && HOME=/nonexistent " + as_user + Quote(vocs) + " " +
                 arguments);
  };
  RunResult result = run("import --table docs docs.tsv");
  ASSERT_EQ(result.exit_code, 0) << result.out;
  result = run(
      "run 'STAT WORDFREQ AT body(SEGASCOL, \";\") TO TABLE=词表 WHERE SELECT * FROM docs WHERE "
      "id=1' 'STAT ASSOCIATEDFREQ FROM 诗集 TO FILE=共现.txt'");
  ASSERT_EQ(result.exit_code, 0) << result.out;
  EXPECT_NE(result.out.find("statement 1: 2 rows in table 词表 of " + work + "/vocs.db"),
            std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("rows in file " + work + "/共现.txt"), std::string::npos) << result.out;
  EXPECT_EQ(QueryDb(work + "/vocs.db", "SELECT 词条名称, 词频 FROM 词表 ORDER BY 词频"),
            "啼鸟|1;春眠|2");
  result = run("show 共现.txt");
  EXPECT_EQ(result.exit_code, 0) << result.out;
  if (geteuid() == 0) {  // the files are the user's, not root's
    struct stat st;
    ASSERT_EQ(stat((work + "/vocs.db").c_str(), &st), 0);
    EXPECT_NE(st.st_uid, 0u);
  }
  // Nothing was written into the prefix.
  EXPECT_EQ(Tree(prefix_), installed);
  if (geteuid() != 0) Shell("chmod -R u+w " + Quote(prefix_));
}

TEST_F(InstallTest, ACProgramFindsTheLibraryThroughPkgConfigAndCMake) {
  const std::string source = dir_.path() + "/use_vocs.c";
  std::ofstream(source) << kCProgram;
  const std::string pkg_config = "PKG_CONFIG_PATH=" + Quote(prefix_ + "/lib/pkgconfig") + " ";
  RunResult result = Shell(pkg_config + "pkg-config --modversion vocs");
  ASSERT_EQ(result.exit_code, 0) << result.out;
  const std::string program = dir_.path() + "/use_vocs";
  const std::string flags = VOCS_CONSUMER_FLAGS;
  result = Shell(Quote(VOCS_C_COMPILER) + " -std=c11 -Wall -Wextra -Werror " + flags + " " +
                 Quote(source) + " -o " + Quote(program) + " $(" + pkg_config +
                 "pkg-config --cflags --libs vocs) -Wl,-rpath," + Quote(prefix_ + "/lib"));
  ASSERT_EQ(result.exit_code, 0) << result.out;
  result = Shell(Quote(program));
  EXPECT_EQ(result.out, "/tmp/vocs-c-program/|the statement does not parse\n");

  // The same program built by a CMake project.
  const std::string project = dir_.path() + "/project";
  fs::create_directories(project);
  fs::copy_file(source, project + "/use_vocs.c");
  std::ofstream(project + "/CMakeLists.txt")
      << "cmake_minimum_required(VERSION 3.20)\nproject(use_vocs C)\n"
         "find_package(vocs 0.1 REQUIRED)\nadd_executable(use_vocs use_vocs.c)\n"
         "target_link_libraries(use_vocs PRIVATE vocs::vocs)\n";
  result = Shell("cmake -S " + Quote(project) + " -B " + Quote(project + "/build") +
                 " -DCMAKE_PREFIX_PATH=" + Quote(prefix_) + " -DCMAKE_C_COMPILER=" +
                 Quote(VOCS_C_COMPILER) + " -DCMAKE_C_FLAGS=" + Quote(flags) +
                 " -DCMAKE_EXE_LINKER_FLAGS=" + Quote(flags) + " >/dev/null && cmake --build " +
                 Quote(project + "/build") + " >/dev/null && " +
                 Quote(project + "/build/use_vocs"));
  EXPECT_EQ(result.exit_code, 0) << result.out;
  EXPECT_EQ(result.out, "/tmp/vocs-c-program/|the statement does not parse\n");
}

}  // namespace
}  // namespace vocs::cli
