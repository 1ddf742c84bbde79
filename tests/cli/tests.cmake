# Tests of the vocs command: its readers and helpers directly, and the built
# command end to end (a copy of vocs and libvocs.so in a scratch directory,
# real database files). Included from tests/CMakeLists.txt when the host is
# built.
# A program that uses the installed library is built by the compiler of the
# library, and, in the checking builds, with its sanitizer runtimes.
set(VOCS_CONSUMER_FLAGS "")
if(VOCS_SANITIZE)
  set(VOCS_CONSUMER_FLAGS "-fsanitize=${VOCS_SANITIZE}")
  if(CMAKE_C_COMPILER_ID MATCHES "Clang")
    # The library is C++: its checks need the C++ part of the runtimes, and
    # that part the C++ library.
    string(APPEND VOCS_CONSUMER_FLAGS " -fsanitize-link-c++-runtime -lstdc++")
  endif()
endif()
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
  VOCS_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
  VOCS_C_COMPILER="${CMAKE_C_COMPILER}"
  VOCS_CONSUMER_FLAGS="${VOCS_CONSUMER_FLAGS}")
add_dependencies(cli_tests vocs_cli vocs)
vocs_warnings(cli_tests)
gtest_discover_tests(cli_tests
  WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
  DISCOVERY_TIMEOUT 60)
