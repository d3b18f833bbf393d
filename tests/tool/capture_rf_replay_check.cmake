# A replay of the RF demo records RF frames, whole, with their samples, and
# the recording made names the probe that displays them.
execute_process(COMMAND ${TOOL} capture simulated --replay ${INPUT} --frames 4 ${OUTPUT}
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "^4 frames recorded\n")
  message(FATAL_ERROR "capture failed (${rc}): ${out}${err}")
endif()
execute_process(COMMAND ${TOOL} info ${OUTPUT}.ks OUTPUT_VARIABLE info ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT info MATCHES "frames      4\n" OR NOT info MATCHES "RF, 128 vectors of 1024 samples\n"
   OR NOT info MATCHES "RF display  envelope, probe 'Demo linear RF probe'")
  message(FATAL_ERROR "the recording made is not the RF frames replayed:\n${info}${err}")
endif()
