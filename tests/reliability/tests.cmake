# Reliability tests: the whole-job fault loop and the concurrency stress
# test, which run the module's internal library together with the embedded
# host on real database files. Included from tests/CMakeLists.txt when the
# host is built.
file(GLOB VOCS_RELIABILITY_TEST_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_SOURCE_DIR}/reliability/*_test.cc)
add_executable(reliability_tests ${VOCS_RELIABILITY_TEST_SOURCES}
  # The models the results are checked against.
  ${CMAKE_CURRENT_SOURCE_DIR}/freq/frequency_test_helper.cc
  ${CMAKE_CURRENT_SOURCE_DIR}/cooc/cooc_test_helper.cc)
target_include_directories(reliability_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(reliability_tests PRIVATE vocs_host_test_support GTest::gtest_main)
vocs_warnings(reliability_tests)
gtest_discover_tests(reliability_tests
  WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
  DISCOVERY_TIMEOUT 60)
