# Sources of src/text, appended to vocs_core.
list(APPEND VOCS_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/fixed_format.cc
  ${CMAKE_CURRENT_LIST_DIR}/text_primitives.cc)
