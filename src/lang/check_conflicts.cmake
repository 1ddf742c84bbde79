# Compares the conflict counts in a bison report with the expected ones.
# Called with -DREPORT=<grammar.output> -DEXPECTED_SR=<n> -DEXPECTED_RR=<n>
# -DSTAMP=<file>; writes STAMP when the counts match, else fails.
file(STRINGS ${REPORT} lines REGEX "^State [0-9]+ conflicts:")
set(sr 0)
set(rr 0)
foreach(line IN LISTS lines)
  if(line MATCHES "([0-9]+) shift/reduce")
    math(EXPR sr "${sr} + ${CMAKE_MATCH_1}")
  endif()
  if(line MATCHES "([0-9]+) reduce/reduce")
    math(EXPR rr "${rr} + ${CMAKE_MATCH_1}")
  endif()
endforeach()
if(NOT sr EQUAL EXPECTED_SR OR NOT rr EQUAL EXPECTED_RR)
  message(FATAL_ERROR "grammar conflicts: ${sr} shift/reduce and ${rr} reduce/reduce found, "
    "${EXPECTED_SR} and ${EXPECTED_RR} expected (see ${REPORT})")
endif()
file(WRITE ${STAMP} "${sr} shift/reduce, ${rr} reduce/reduce\n")
