# Fails when a file of the module includes a header from a layer above its
# own, from another folder of its own layer, or from outside the module.
#
#   cmake -DSOURCE_DIR=<dir> [-DLAYERS_FILE=<file>] -P check_layers.cmake
#
# SOURCE_DIR holds one folder per module folder; LAYERS_FILE (default
# SOURCE_DIR/layers.cmake) sets VOCS_LAYERS.
get_filename_component(SOURCE_DIR "${SOURCE_DIR}" ABSOLUTE)
if(NOT LAYERS_FILE)
  set(LAYERS_FILE ${SOURCE_DIR}/layers.cmake)
endif()
include(${LAYERS_FILE})

set(level 0)
foreach(layer IN LISTS VOCS_LAYERS)
  string(REPLACE "+" ";" folders "${layer}")
  foreach(folder IN LISTS folders)
    set(level_of_${folder} ${level})
  endforeach()
  math(EXPR level "${level} + 1")
endforeach()

file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR}
  ${SOURCE_DIR}/*.h ${SOURCE_DIR}/*.cc ${SOURCE_DIR}/*.c ${SOURCE_DIR}/*.y)
set(violations "")
set(checked 0)
foreach(file IN LISTS files)
  string(REGEX MATCH "^[^/]+" own "${file}")
  if(NOT DEFINED level_of_${own})
    string(APPEND violations "\n  ${file}: its folder is on no layer")
    continue()
  endif()
  file(STRINGS ${SOURCE_DIR}/${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" header "${line}")
    math(EXPR checked "${checked} + 1")
    string(REGEX MATCH "^[^/]+/" folder "${header}")
    string(REGEX REPLACE "/$" "" folder "${folder}")
    if(folder STREQUAL "vocs" OR folder STREQUAL own)
      continue()
    endif()
    if(folder STREQUAL "" OR NOT DEFINED level_of_${folder})
      string(APPEND violations "\n  ${file}: \"${header}\" is not a header of the module")
    elseif(level_of_${folder} EQUAL level_of_${own})
      string(APPEND violations "\n  ${file}: \"${header}\" belongs to ${folder}, beside ${own}")
    elseif(level_of_${folder} GREATER level_of_${own})
      string(APPEND violations "\n  ${file}: \"${header}\" belongs to ${folder}, above ${own}")
    endif()
  endforeach()
endforeach()

if(NOT violations STREQUAL "")
  message(FATAL_ERROR "includes against the layers of ${LAYERS_FILE}:${violations}")
endif()
message(STATUS "${checked} includes of ${SOURCE_DIR} follow the layers")
