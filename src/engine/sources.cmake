# Sources of src/engine, appended to vocs_core.
list(APPEND VOCS_CORE_SOURCES ${CMAKE_CURRENT_LIST_DIR}/spilling_task.cc)
