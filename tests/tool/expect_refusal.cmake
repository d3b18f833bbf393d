# Runs TOOL with ARGS (a list) and passes only if it refuses for the stated
# reason: exit status EXIT and MESSAGE (a regular expression) on stderr. A
# crash, a success, or a refusal with another status or message fails.
execute_process(COMMAND ${TOOL} ${ARGS} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc STREQUAL "${EXIT}")
  message(FATAL_ERROR "expected exit status ${EXIT}, got '${rc}'\nstdout: ${out}\nstderr: ${err}")
endif()
if(NOT err MATCHES "${MESSAGE}")
  message(FATAL_ERROR "stderr does not match '${MESSAGE}':\n${err}")
endif()
