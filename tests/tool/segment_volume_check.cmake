# End to end on a demo whose frames are its label images: segment the
# ellipsoid's label on every frame, then measure it; the volume must be within
# 3% of the true ellipsoid's in the ground-truth file, and the recording keeps
# its outlines.
file(REMOVE_RECURSE ${WORK})
execute_process(COMMAND ${TOOL} make-demo ${WORK} --frames 120 --size 320x240 --labels
  OUTPUT_VARIABLE made RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "make-demo --labels failed (${rc}): ${made}")
endif()
# Label 2 is the first ellipsoid.
execute_process(COMMAND ${TOOL} segment ${WORK}/kestrane_demo.ks --window 2:2 --object 3
  OUTPUT_VARIABLE segmented ERROR_VARIABLE errors RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT segmented MATCHES "frames outlined in object 3 \\(Object 3\\); saved")
  message(FATAL_ERROR "segment failed (${rc}): ${segmented}${errors}")
endif()
if(NOT segmented MATCHES "frame [0-9]+\t1 contours\t[0-9.]+ square pixels\t[0-9.]+ sq mm\n")
  message(FATAL_ERROR "segment printed no per-frame areas:\n${segmented}")
endif()
execute_process(COMMAND ${TOOL} volume ${WORK}/kestrane_demo.ks OUTPUT_VARIABLE measured RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT measured MATCHES "^3\tObject 3\t([0-9]+) frames\t1 sweeps\t([0-9.]+) ml\n$")
  message(FATAL_ERROR "volume failed (${rc}): ${measured}")
endif()
set(frames ${CMAKE_MATCH_1})
set(ml ${CMAKE_MATCH_2})
file(STRINGS ${WORK}/kestrane_demo_truth.txt truth REGEX "^ellipsoid ")
list(GET truth 0 first)
string(REPLACE " " ";" fields "${first}")
list(GET fields 11 true_ml)
# CMake has no floating point: compare in thousandths of a millilitre.
string(REGEX REPLACE "^([0-9]+)\\.([0-9][0-9][0-9]).*" "\\1\\2" got "${ml}")
execute_process(COMMAND /usr/bin/python3 -c "print(round(float('${true_ml}') * 1000))" OUTPUT_VARIABLE want
  OUTPUT_STRIP_TRAILING_WHITESPACE)
math(EXPR difference "${got} - ${want}")
if(difference LESS 0)
  math(EXPR difference "-${difference}")
endif()
math(EXPR allowed "${want} * 3 / 100")
if(difference GREATER allowed)
  message(FATAL_ERROR "segmented volume ${ml} ml on ${frames} frames, truth ${true_ml} ml: more than 3% apart")
endif()
message(STATUS "segmented ${ml} ml on ${frames} frames, truth ${true_ml} ml")
# A second run adds nothing: the same outlines are not inserted twice.
execute_process(COMMAND ${TOOL} segment ${WORK}/kestrane_demo.ks --window 2:2 --object 3
  OUTPUT_VARIABLE again RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT again MATCHES "No outlines found; the recording is unchanged.")
  message(FATAL_ERROR "a repeated segmentation changed the recording (${rc}): ${again}")
endif()
# Exported with its surface: the volume names the object and carries the
# surface's outlines on its slices; cropping needs a surface to crop to.
execute_process(COMMAND ${TOOL} export-voxels ${WORK}/kestrane_demo.ks ${WORK}/volume.ks --step 4 --crop 3
  OUTPUT_VARIABLE exported ERROR_VARIABLE errors RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "export-voxels --crop 3 failed (${rc}): ${exported}${errors}")
endif()
file(STRINGS ${WORK}/volume.ks objects REGEX "^OBJECT 3 1 [0-9]+ [0-9]+ [0-9]+ [0-9.]+ Object 3$")
file(STRINGS ${WORK}/volume.ks outlines REGEX "^CONT 3 [0-9]+ 1( [0-9.-]+ [0-9.-]+)+$")
list(LENGTH objects object_lines)
list(LENGTH outlines outline_lines)
if(NOT object_lines EQUAL 1 OR outline_lines LESS 5)
  message(FATAL_ERROR "the exported volume holds ${object_lines} OBJECT and ${outline_lines} CONT lines")
endif()
execute_process(COMMAND ${TOOL} volume ${WORK}/volume.ks OUTPUT_VARIABLE remeasured RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT remeasured MATCHES "^3\tObject 3\t")
  message(FATAL_ERROR "the exported volume's outlines cannot be measured (${rc}): ${remeasured}")
endif()
execute_process(COMMAND ${TOOL} export-voxels ${WORK}/kestrane_demo.ks ${WORK}/none.ks --crop 5
  ERROR_VARIABLE errors RESULT_VARIABLE rc)
if(NOT rc EQUAL 1 OR NOT errors MATCHES "object 5 has no surface to crop to")
  message(FATAL_ERROR "cropping to a missing surface was not refused (${rc}): ${errors}")
endif()
