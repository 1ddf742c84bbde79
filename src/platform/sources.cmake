# Sources of src/platform, appended to vocs_core.
list(APPEND VOCS_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/env.cc
  ${CMAKE_CURRENT_LIST_DIR}/env_posix.cc
  ${CMAKE_CURRENT_LIST_DIR}/line_reader.cc
  ${CMAKE_CURRENT_LIST_DIR}/mbcs.cc
  ${CMAKE_CURRENT_LIST_DIR}/path_codec.cc
  ${CMAKE_CURRENT_LIST_DIR}/paths.cc
  ${CMAKE_CURRENT_LIST_DIR}/table_memory.cc)
