# Sources of src/cooc, appended to vocs_core.
list(APPEND VOCS_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/cooccurrence_task.cc
  ${CMAKE_CURRENT_LIST_DIR}/cooccurrence_delivery.cc
  ${CMAKE_CURRENT_LIST_DIR}/pair_count_table.cc
  ${CMAKE_CURRENT_LIST_DIR}/pair_line.cc
  ${CMAKE_CURRENT_LIST_DIR}/pair_run.cc
  ${CMAKE_CURRENT_LIST_DIR}/pair_values.cc
  ${CMAKE_CURRENT_LIST_DIR}/spill_sort.cc
  ${CMAKE_CURRENT_LIST_DIR}/term_id_table.cc)
