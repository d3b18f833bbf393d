# --step K must mean what the export dialog's rows mean: every K-th pixel and
# slices K pixel widths apart. With S1 slices of W1 pixels at K = 1, K = 2
# gives floor((S1 - 1) / 2) + 1 slices of floor((W1 - 1) / 2) + 1 pixels.
# --nearest must change how voxels are filled, not the layout.
function(export_report options out_slices out_width)
  execute_process(COMMAND ${TOOL} export-voxels ${INPUT} ${WORK}/step.ks ${options}
    OUTPUT_VARIABLE text ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR NOT text MATCHES ": ([0-9]+) slices of ([0-9]+) x ([0-9]+) voxels")
    message(FATAL_ERROR "export-voxels ${options} failed (${rc}): ${text}${err}")
  endif()
  set(${out_slices} ${CMAKE_MATCH_1} PARENT_SCOPE)
  set(${out_width} ${CMAKE_MATCH_2} PARENT_SCOPE)
endfunction()

file(MAKE_DIRECTORY ${WORK})
export_report("--step;1" s1 w1)
file(READ ${WORK}/step.kvi linear_bytes HEX)
export_report("--step;1;--nearest" sn wn)
file(READ ${WORK}/step.kvi nearest_bytes HEX)
export_report("--step;2" s2 w2)
math(EXPR want_slices "(${s1} - 1) / 2 + 1")
math(EXPR want_width "(${w1} - 1) / 2 + 1")
if(NOT s2 EQUAL want_slices OR NOT w2 EQUAL want_width)
  message(FATAL_ERROR "--step 2 gave ${s2} slices of ${w2}; --step 1 gave ${s1} of ${w1}")
endif()
if(NOT sn EQUAL s1 OR NOT wn EQUAL w1)
  message(FATAL_ERROR "--nearest changed the layout: ${sn} slices of ${wn}, linear ${s1} of ${w1}")
endif()
if(linear_bytes STREQUAL nearest_bytes)
  message(FATAL_ERROR "--nearest wrote the same voxels as the linear export")
endif()
execute_process(COMMAND ${TOOL} export-voxels ${INPUT} ${WORK}/bad.ks --sharpest RESULT_VARIABLE rc
  ERROR_VARIABLE err)
if(NOT rc EQUAL 2 OR NOT err MATCHES "bad option '--sharpest'")
  message(FATAL_ERROR "an unknown option must be refused with usage (${rc}): ${err}")
endif()
