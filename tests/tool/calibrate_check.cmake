# make-calib-demo and calibrate end to end: the calibration it suggests comes
# within 1 mm and half a degree of the truth, --write saves it into the
# recording (read back by a second run, which then needs no scale lines), and
# a recording without a floor fails without touching its file.
file(REMOVE_RECURSE ${WORK})
execute_process(COMMAND ${TOOL} make-calib-demo ${WORK} --frames 40 --seed 2 --temperature 30
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "Try: kestrane-tool calibrate ([^\n]*)")
  message(FATAL_ERROR "make-calib-demo failed (${rc}): ${out}${err}")
endif()
separate_arguments(suggested UNIX_COMMAND "${CMAKE_MATCH_1}")

execute_process(COMMAND ${TOOL} calibrate ${suggested} --seed 5
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "error +translation ([0-9.]+) mm, rotation ([0-9.]+) degrees")
  message(FATAL_ERROR "calibrate failed (${rc}): ${out}${err}")
endif()
if(CMAKE_MATCH_1 GREATER 1.0 OR CMAKE_MATCH_2 GREATER 0.5)
  message(FATAL_ERROR "calibration too far from the truth: ${CMAKE_MATCH_1} mm, ${CMAKE_MATCH_2} degrees\n${out}")
endif()
if(NOT out MATCHES "lines +40 accepted of 40 posed frames" OR NOT out MATCHES "Calibrated with 40 frames.")
  message(FATAL_ERROR "not every frame's floor was used:\n${out}")
endif()
file(READ ${WORK}/kestrane_calib_demo.ks before)
if(before MATCHES "RES_CAL_DATE [A-Za-z]")
  message(FATAL_ERROR "calibrate wrote without --write")
endif()

execute_process(COMMAND ${TOOL} calibrate ${suggested} --seed 5 --write
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "calibration +([-0-9.]+) ([-0-9.]+) ([-0-9.]+) cm" OR NOT out MATCHES "saved")
  message(FATAL_ERROR "calibrate --write failed (${rc}): ${out}${err}")
endif()
set(x ${CMAKE_MATCH_1})
string(REGEX MATCH "scales +([0-9.]+) x ([0-9.]+)" _ "${out}")
set(scales "${CMAKE_MATCH_1} x ${CMAKE_MATCH_2}")
file(READ ${WORK}/kestrane_calib_demo.ks after)
if(NOT after MATCHES "RES_CAL_DATE [A-Za-z]+, [0-9]+ [A-Za-z]+ [0-9]+\n" OR NOT after MATCHES "RES_XTRANS ([-0-9.e]+)")
  message(FATAL_ERROR "no calibration in the saved recording:\n${after}")
endif()
# The saved value, in full, begins with the printed one's digits (both rounded alike or not at all).
string(REGEX MATCH "RES_XTRANS ([-0-9.e]+)" _ "${after}")
if(NOT CMAKE_MATCH_1 MATCHES "^${x}")
  message(FATAL_ERROR "RES_XTRANS ${CMAKE_MATCH_1} is not the printed ${x}")
endif()

# The saved scales serve a second run without scale lines.
execute_process(COMMAND ${TOOL} calibrate ${WORK}/kestrane_calib_demo.ks --temperature 30 --seed 5
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "scales +${scales} cm per pixel\n")
  message(FATAL_ERROR "second calibrate did not use the saved scales ${scales} (${rc}): ${out}${err}")
endif()

# No floor in these frames: nothing solved, nothing written.
execute_process(COMMAND ${TOOL} make-demo ${WORK}/plain --frames 12 --size 160x120 OUTPUT_QUIET RESULT_VARIABLE rc)
file(SHA256 ${WORK}/plain/kestrane_demo.ks hash_before)
execute_process(COMMAND ${TOOL} calibrate ${WORK}/plain/kestrane_demo.ks --write --seed 1
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
file(SHA256 ${WORK}/plain/kestrane_demo.ks hash_after)
if(NOT rc EQUAL 1 OR NOT err MATCHES "Nothing was saved" OR NOT hash_before STREQUAL hash_after)
  message(FATAL_ERROR "a failed calibration (${rc}) must leave the recording alone: ${out}${err}")
endif()
