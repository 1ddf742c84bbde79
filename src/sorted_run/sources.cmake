# Sources of src/sorted_run, appended to vocs_core.
list(APPEND VOCS_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/run_merger.cc
  ${CMAKE_CURRENT_LIST_DIR}/work_directory.cc)
list(APPEND VOCS_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/partial_file.cc)
