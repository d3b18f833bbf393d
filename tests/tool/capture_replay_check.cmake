# A replay of the demo recording through the simulated image source records
# the frames asked for, at the recording's own frame rate, without positions.
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND ${TOOL} capture simulated --replay ${INPUT} --frames 8 ${WORK}/replayed
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "^8 frames recorded\n")
  message(FATAL_ERROR "capture failed (${rc}): ${out}${err}")
endif()
execute_process(COMMAND ${TOOL} info ${WORK}/replayed.ks OUTPUT_VARIABLE info RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT info MATCHES "frames      8\n" OR NOT info MATCHES "positions   no\n"
   OR NOT info MATCHES "25\\.0 frames per second")
  message(FATAL_ERROR "the replayed recording is not what was captured:\n${info}")
endif()
