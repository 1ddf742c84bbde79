# Tests of the vocs command: its readers and helpers directly, and the built
# command end to end (a copy of vocs and libvocs.so in a scratch directory,
# real database files). Included from tests/CMakeLists.txt when the host is
# built.
file(GLOB VOCS_CLI_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/cli/*_test.cc)
add_executable(cli_tests ${VOCS_CLI_TEST_SOURCES})
target_include_directories(cli_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
# zlib reads the browser test's screenshots.
find_package(ZLIB REQUIRED)
target_link_libraries(cli_tests PRIVATE vocs_cli_lib vocs_host GTest::gtest GTest::gtest_main util
  ZLIB::ZLIB)
target_compile_definitions(cli_tests PRIVATE
  VOCS_CLI_BINARY="$<TARGET_FILE:vocs_cli>"
  VOCS_MODULE_LIBRARY="$<TARGET_FILE:vocs>"
  VOCS_BUILD_DIR="${CMAKE_BINARY_DIR}"
  VOCS_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
add_dependencies(cli_tests vocs_cli vocs)
vocs_warnings(cli_tests)
gtest_discover_tests(cli_tests
  WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
  DISCOVERY_TIMEOUT 60)
