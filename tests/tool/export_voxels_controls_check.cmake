# The reconstruction controls of export-voxels: the bytes never depend on
# --threads, with every control on; the border clipped away leaves fewer
# voxels with data than the whole frames; values out of range are refused
# with the reason, before anything is written.
file(MAKE_DIRECTORY ${WORK})
set(controls --step 2 --slab 2 --fill-holes 3 --masked)
foreach(n 1 2)
  execute_process(COMMAND ${TOOL} export-voxels ${INPUT} ${WORK}/threads${n}.nrrd ${controls} --threads ${n}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "export-voxels --threads ${n} failed (${rc}): ${out}${err}")
  endif()
endforeach()
file(SHA256 ${WORK}/threads1.nrrd one)
file(SHA256 ${WORK}/threads2.nrrd two)
if(NOT one STREQUAL two)
  message(FATAL_ERROR "--threads 1 and --threads 2 wrote different volumes")
endif()

# The slab must reach the output: a thicker one fills more voxels.
function(filled_voxels options out_count)
  execute_process(COMMAND ${TOOL} export-voxels ${INPUT} ${WORK}/count.ks ${options} RESULT_VARIABLE rc
    OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "export-voxels ${options} failed (${rc}): ${out}${err}")
  endif()
  file(READ ${WORK}/count.kvi bytes HEX)
  string(REGEX REPLACE "(..)" "\\1;" bytes "${bytes}")
  list(FILTER bytes EXCLUDE REGEX "^00$")
  list(LENGTH bytes count)
  set(${out_count} ${count} PARENT_SCOPE)
endfunction()
filled_voxels("--step;2;--slab;0.2" thin)
filled_voxels("--step;2;--slab;3" thick)
if(NOT thick GREATER thin)
  message(FATAL_ERROR "--slab 3 filled ${thick} voxels, --slab 0.2 ${thin}")
endif()

foreach(refusal
    "--slab;-1|--slab needs a half-thickness in mm above 0 \\(not '-1'\\)|2"
    "--fill-holes;nan|--fill-holes needs a distance in mm above 0 \\(not 'nan'\\)|2"
    "--threads;0|--threads needs a whole number from 1 to 64|2"
    "--clip;1,2,3|--clip needs X,Y,W,H|2"
    "--clip;60,0,10,10|the clip rectangle 60,0,10,10 reaches outside the 64 x 48 frames|1")
  string(REPLACE "|" ";" parts "${refusal}")
  list(GET parts 0 option)
  list(GET parts 1 value)
  list(GET parts 2 reason)
  list(GET parts 3 status)
  file(REMOVE ${WORK}/refused.nrrd)
  execute_process(COMMAND ${TOOL} export-voxels ${INPUT} ${WORK}/refused.nrrd ${option} ${value}
    RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_QUIET)
  if(NOT rc EQUAL status OR NOT err MATCHES "${reason}" OR EXISTS ${WORK}/refused.nrrd)
    message(FATAL_ERROR "${option} ${value}: expected status ${status} and '${reason}', got ${rc}: ${err}")
  endif()
endforeach()
