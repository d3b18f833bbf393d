# kestrane-tool export-sequence and import of the sequence: the demo's frames
# come back byte for byte through both forms; a typed matrix works as well
# as the header's own; a truncated sequence is refused with exit status 1,
# leaving no OUT.ks and an existing one (with its frames) as it was.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
foreach(form igs.mha nrrd)
  execute_process(COMMAND ${TOOL} export-sequence ${DEMO}/kestrane_demo.ks ${WORK}/seq.${form} --raw
    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR NOT out MATCHES "Wrote 20 frames \\(0 without a pose")
    message(FATAL_ERROR "export-sequence ${form} failed (${rc}):\n${out}${err}")
  endif()
  execute_process(COMMAND ${TOOL} import ${WORK}/seq.${form} ${WORK}/back.ks
    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR NOT out MATCHES "Loaded 20 frames of 64 x 48\\." OR NOT out MATCHES "to 0.0000 mm")
    message(FATAL_ERROR "import of ${form} failed (${rc}):\n${out}${err}")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${DEMO}/kestrane_demo.kvi ${WORK}/back.kvi RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the frames of ${form} did not come back byte for byte")
  endif()
endforeach()
execute_process(COMMAND ${TOOL} import ${WORK}/seq.nrrd ${WORK}/typed.ks
  --image-to-probe "0.2 0 0 10, 0 0.25 0 -5, 0 0 0.2 3, 0 0 0 1" OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "Probe calibration: 1.000000 -0.500000 0.300000 cm, 0.000000 0.000000 0.000000 degrees; pixels 0.020000 x 0.025000 cm")
  message(FATAL_ERROR "a typed image-to-probe matrix was not taken (${rc}):\n${out}${err}")
endif()
execute_process(COMMAND head -c 30000 ${WORK}/seq.igs.mha OUTPUT_FILE ${WORK}/cut.igs.mha)
foreach(target cut.ks back.ks)
  execute_process(COMMAND ${TOOL} import ${WORK}/cut.igs.mha ${WORK}/${target}
    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT rc EQUAL 1 OR NOT err MATCHES "cannot import .*cut.igs.mha: the file holds .* bytes of frames where 20 frames")
    message(FATAL_ERROR "a truncated sequence was not refused (${rc}):\n${out}${err}")
  endif()
endforeach()
file(GLOB left ${WORK}/cut.k* ${WORK}/*.tmp-*)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${DEMO}/kestrane_demo.kvi ${WORK}/back.kvi RESULT_VARIABLE rc)
if(left OR NOT rc EQUAL 0)
  message(FATAL_ERROR "a refused import left files or changed the recording already there: ${left}")
endif()
