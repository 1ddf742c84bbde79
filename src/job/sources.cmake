# Sources of src/job, appended to vocs_core.
list(APPEND VOCS_CORE_SOURCES ${CMAKE_CURRENT_LIST_DIR}/stat_job.cc)
