# Sources of src/lang, appended to vocs_core: the lexer, the parser facade and
# the parser that bison generates from grammar.y into the build tree.
find_package(BISON 3.0 REQUIRED)

# Bison can pin conflict counts with %expect only for shift/reduce conflicts
# of a deterministic parser (%expect-rr is for GLR parsers, and %expect alone
# demands zero reduce/reduce conflicts). The grammar's fragment alternatives
# are meant to conflict, so both counts are checked against bison's report
# instead; a grammar change that alters either one stops the build.
set(VOCS_LANG_EXPECTED_SR_CONFLICTS 0)
set(VOCS_LANG_EXPECTED_RR_CONFLICTS 6)

set(vocs_lang_out ${CMAKE_CURRENT_BINARY_DIR}/lang)
file(MAKE_DIRECTORY ${vocs_lang_out})
BISON_TARGET(vocs_grammar ${CMAKE_CURRENT_LIST_DIR}/grammar.y ${vocs_lang_out}/grammar.cc
  DEFINES_FILE ${vocs_lang_out}/grammar.h
  VERBOSE REPORT_FILE ${vocs_lang_out}/grammar.output
  COMPILE_FLAGS "-Wall -Wno-conflicts-rr -Wno-conflicts-sr -Werror")

add_custom_command(
  OUTPUT ${vocs_lang_out}/grammar_conflicts.stamp
  COMMAND ${CMAKE_COMMAND}
    -DREPORT=${vocs_lang_out}/grammar.output
    -DEXPECTED_SR=${VOCS_LANG_EXPECTED_SR_CONFLICTS}
    -DEXPECTED_RR=${VOCS_LANG_EXPECTED_RR_CONFLICTS}
    -DSTAMP=${vocs_lang_out}/grammar_conflicts.stamp
    -P ${CMAKE_CURRENT_LIST_DIR}/check_conflicts.cmake
  DEPENDS ${BISON_vocs_grammar_OUTPUTS} ${CMAKE_CURRENT_LIST_DIR}/check_conflicts.cmake
  COMMENT "Checking the conflict counts of grammar.y"
  VERBATIM)
# Compiling the parser waits for the check, so a changed count fails the build.
set_source_files_properties(${BISON_vocs_grammar_OUTPUT_SOURCE} PROPERTIES
  OBJECT_DEPENDS ${vocs_lang_out}/grammar_conflicts.stamp)

list(APPEND VOCS_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/lexer.cc
  ${CMAKE_CURRENT_LIST_DIR}/parser.cc
  ${BISON_vocs_grammar_OUTPUT_SOURCE}
  ${vocs_lang_out}/grammar_conflicts.stamp)
