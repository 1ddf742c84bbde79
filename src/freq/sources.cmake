# Sources of src/freq, appended to vocs_core.
list(APPEND VOCS_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/stat_task.cc
  ${CMAKE_CURRENT_LIST_DIR}/text_primitives.cc)
