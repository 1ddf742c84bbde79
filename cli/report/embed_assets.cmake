# Writes OUTPUT, a C++ source that holds each file of ASSETS ("name=path"
# entries) as a constant character array `name`, so that the command carries
# the report page's style and script in itself. Run with cmake -P.
#
# The texts go into raw string literals; a text holding the literal's
# delimiter, or a tag that would end its element in the page early, stops
# the build.
set(content "// Generated from cli/report by embed_assets.cmake; do not edit.\n")
string(APPEND content "namespace vocs::cli {\n")
foreach(entry IN LISTS ASSETS)
  string(REPLACE "=" ";" parts "${entry}")
  list(GET parts 0 name)
  list(GET parts 1 path)
  file(READ "${path}" text)
  string(FIND "${text}" ")vocs_asset\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${path} holds the delimiter )vocs_asset\"")
  endif()
  string(TOLOWER "${text}" lower)
  foreach(tag "</script" "</style")
    string(FIND "${lower}" "${tag}" clash)
    if(NOT clash EQUAL -1)
      message(FATAL_ERROR "${path} holds ${tag}, which would end its element in the page")
    endif()
  endforeach()
  string(APPEND content "extern const char ${name}[] = R\"vocs_asset(${text})vocs_asset\";\n")
endforeach()
string(APPEND content "}  // namespace vocs::cli\n")
file(WRITE "${OUTPUT}" "${content}")
