# Sources of src/api, appended to vocs_core.
list(APPEND VOCS_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/statistics_runs.cc
  ${CMAKE_CURRENT_LIST_DIR}/export_calls.cc
  ${CMAKE_CURRENT_LIST_DIR}/exports.cc)
list(APPEND VOCS_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/packed_request.cc
  ${CMAKE_CURRENT_LIST_DIR}/plug_module.cc)
list(APPEND VOCS_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/shard_runs.cc)
