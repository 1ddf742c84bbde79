# Sources of src/platform, appended to vocs_core. The operating system's
# services come from the files of the platform being built for; no caller
# knows which.
list(APPEND VOCS_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/buffered_file.cc
  ${CMAKE_CURRENT_LIST_DIR}/env.cc
  ${CMAKE_CURRENT_LIST_DIR}/line_reader.cc
  ${CMAKE_CURRENT_LIST_DIR}/mbcs.cc
  ${CMAKE_CURRENT_LIST_DIR}/paths.cc
  ${CMAKE_CURRENT_LIST_DIR}/table_memory.cc)
if(WIN32)
  # Names pass to the "A" functions in the process's code page unchanged.
  list(APPEND VOCS_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/env_win32.cc
    ${CMAKE_CURRENT_LIST_DIR}/mutex_win32.cc
    ${CMAKE_CURRENT_LIST_DIR}/table_memory_win32.cc)
else()
  # The file system speaks UTF-8: names are converted on the way through.
  list(APPEND VOCS_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/env_posix.cc
    ${CMAKE_CURRENT_LIST_DIR}/mutex_posix.cc
    ${CMAKE_CURRENT_LIST_DIR}/path_codec.cc
    ${CMAKE_CURRENT_LIST_DIR}/table_memory_posix.cc)
endif()
