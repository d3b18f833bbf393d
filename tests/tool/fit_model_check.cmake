# kestrane-tool fit-model on a made demo model and instance (and its mirror
# image with --flip): exit 0, the printed angle and scale those of the
# truth file within 0.5 degree and 0.5%, the last RMS near the 0.1 mm noise,
# the fitted surface saved; without --flip the mirror image cannot be fitted
# as closely.
file(REMOVE_RECURSE ${WORK})
foreach(kind plain mirrored)
  set(make_options)
  set(fit_options)
  if(kind STREQUAL "mirrored")
    set(make_options --mirrored)
    set(fit_options --flip)
  endif()
  execute_process(COMMAND ${TOOL} make-model-demo ${WORK}/${kind} ${make_options} RESULT_VARIABLE rc
    OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "make-model-demo failed (${rc}): ${err}")
  endif()
  execute_process(COMMAND ${TOOL} fit-model ${WORK}/${kind}/shape_model.ssm ${WORK}/${kind}/shape_instance.ply
    --modes 6 --range 10 --out ${WORK}/${kind}/fitted.ply ${fit_options} --quiet
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "fit-model failed (${rc}):\n${out}\n${err}")
  endif()
  if(NOT out MATCHES "angle ([0-9.]+) deg" OR CMAKE_MATCH_1 LESS 29.5 OR CMAKE_MATCH_1 GREATER 30.5)
    message(FATAL_ERROR "angle not 30 degrees:\n${out}")
  endif()
  if(NOT out MATCHES "scale ([0-9.]+)" OR CMAKE_MATCH_1 LESS 1.194 OR CMAKE_MATCH_1 GREATER 1.206)
    message(FATAL_ERROR "scale not 1.2:\n${out}")
  endif()
  if(NOT out MATCHES "iteration 20: [0-9]+ pairs, RMS [0-9.]+ mm -> ([0-9.]+) mm" OR CMAKE_MATCH_1 GREATER 0.15)
    message(FATAL_ERROR "no 20th iteration close to the noise:\n${out}")
  endif()
  if(kind STREQUAL "mirrored" AND NOT out MATCHES "\\(mirrored\\)")
    message(FATAL_ERROR "the fit is not mirrored:\n${out}")
  endif()
  if(NOT EXISTS ${WORK}/${kind}/fitted.ply)
    message(FATAL_ERROR "no fitted surface saved")
  endif()
endforeach()
execute_process(COMMAND ${TOOL} fit-model ${WORK}/mirrored/shape_model.ssm ${WORK}/mirrored/shape_instance.ply
  --modes 6 --quiet RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT out MATCHES "iteration 20: [0-9]+ pairs, RMS [0-9.]+ mm -> ([0-9.]+) mm" OR CMAKE_MATCH_1 LESS 0.3)
  message(FATAL_ERROR "a mirror image fitted without --flip:\n${out}")
endif()
