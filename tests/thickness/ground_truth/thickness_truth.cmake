# kestrane-tool thickness against a synthetic bone whose cortex is known:
# make_cortex.py writes the CT (DICOM series and NRRD), the surface and the
# truth into WORK; the tool maps the thickness with the density and blur
# estimated from the surface (CBM v1 from the DICOM series, CBM v2 from the
# NRRD) and given (the same two), dumping the profiles; check_thickness.py
# scores every run and refits the dumped profiles with scipy.
# KNOWN_MISSES: targets the fitter does not meet yet; they are reported, and
# fail the test once they are met, so that the list stays true.
set(HERE ${CMAKE_CURRENT_LIST_DIR})
set(PYTHON /usr/bin/python3)
file(REMOVE_RECURSE ${WORK})
execute_process(COMMAND ${PYTHON} ${HERE}/make_cortex.py ${WORK} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "make_cortex.py failed (${rc})")
endif()

function(map label input technique)
  execute_process(COMMAND ${TOOL} thickness ${input} ${WORK}/bone.ply ${WORK}/${label} --technique ${technique}
    --threads 2 --dump-profiles ${ARGN}
    OUTPUT_FILE ${WORK}/${label}.txt ERROR_VARIABLE err RESULT_VARIABLE rc)
  file(READ ${WORK}/${label}.txt out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${label}: kestrane-tool thickness failed (${rc}):\n${out}${err}")
  endif()
  message("${label}: ${out}")
endfunction()
set(GIVEN --cortex 1600 --gauss 1.2 --rect 1.5)
map(cbm1-est ${WORK}/ct "CBM v1" --estimate-density)
map(cbm2-est ${WORK}/bone.nrrd "CBM v2" --estimate-density)
map(cbm1-given ${WORK}/ct "CBM v1" ${GIVEN})
map(cbm2-given ${WORK}/bone.nrrd "CBM v2" ${GIVEN})

set(args ${WORK})
foreach(label cbm1-est cbm2-est)
  list(APPEND args --estimated ${label} ${WORK}/${label} ${WORK}/${label}.txt)
endforeach()
foreach(label cbm1-given cbm2-given)
  list(APPEND args --given ${label} ${WORK}/${label} ${WORK}/${label}.txt)
endforeach()
foreach(label cbm1-est cbm1-given cbm2-given)
  list(APPEND args --refit ${label} ${WORK}/${label}/bone_profiles.jsonl)
endforeach()
foreach(id ${KNOWN_MISSES})
  list(APPEND args --known-miss ${id})
endforeach()
execute_process(COMMAND ${PYTHON} ${HERE}/check_thickness.py ${args} --detail 3 RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the thickness results miss their targets (${rc})")
endif()
