# An output name without an extension writes a recording under NAME.ks and
# NAME.kvi, not NAME and NAMEi, which the Open dialog never shows.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND ${TOOL} export-frames ${INPUT} 3 ${WORK}/one_frame RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "export-frames to a bare name failed (${rc}): ${err}")
endif()
file(GLOB written RELATIVE ${WORK} ${WORK}/*)
list(SORT written)
if(NOT written STREQUAL "one_frame.ks;one_frame.kvi")
  message(FATAL_ERROR "a bare name should give one_frame.ks and one_frame.kvi, not: ${written}")
endif()
