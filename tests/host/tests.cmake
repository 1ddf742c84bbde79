# Tests of the embedded host: its slots against real database files, its
# statement parser, the tagged-record reader, the codec and the segmenter.
# Included from tests/CMakeLists.txt when the host is built.
file(GLOB VOCS_HOST_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/host/*_test.cc)
add_executable(host_tests ${VOCS_HOST_TEST_SOURCES})
target_include_directories(host_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(host_tests PRIVATE vocs_host GTest::gtest GTest::gtest_main)
vocs_warnings(host_tests)
gtest_discover_tests(host_tests
  WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
  DISCOVERY_TIMEOUT 60)
