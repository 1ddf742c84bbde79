# Sources of src/output, appended to vocs_core.
list(APPEND VOCS_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/result_writer.cc
  ${CMAKE_CURRENT_LIST_DIR}/file_result_writer.cc
  ${CMAKE_CURRENT_LIST_DIR}/record_spill_file.cc
  ${CMAKE_CURRENT_LIST_DIR}/table_result_writer.cc)
