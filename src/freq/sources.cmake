# Sources of src/freq, appended to vocs_core.
list(APPEND VOCS_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/stat_task.cc
  ${CMAKE_CURRENT_LIST_DIR}/text_primitives.cc
  ${CMAKE_CURRENT_LIST_DIR}/term_table.cc
  ${CMAKE_CURRENT_LIST_DIR}/frequency_spill.cc
  ${CMAKE_CURRENT_LIST_DIR}/spill_merger.cc
  ${CMAKE_CURRENT_LIST_DIR}/frequency_task.cc)
