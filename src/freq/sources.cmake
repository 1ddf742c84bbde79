# Sources of src/freq, appended to vocs_core.
list(APPEND VOCS_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/term_table.cc
  ${CMAKE_CURRENT_LIST_DIR}/term_line.cc
  ${CMAKE_CURRENT_LIST_DIR}/term_run.cc
  ${CMAKE_CURRENT_LIST_DIR}/frequency_task.cc)
