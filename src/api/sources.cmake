# Sources of src/api, appended to vocs_core.
list(APPEND VOCS_CORE_SOURCES ${CMAKE_CURRENT_LIST_DIR}/paths.cc)
