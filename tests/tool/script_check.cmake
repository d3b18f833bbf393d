# kestrane-tool run over a folder of two recordings (one named in capitals)
# beside a stray image data file and text: the listing, a run writing its
# table (rows in file-number order, a tag with a comma quoted) and log, the
# command line's folder, range and results folder, and a failing script
# ending non-zero with its line named.
file(REMOVE_RECURSE ${WORK})
foreach(demo a b)
  execute_process(COMMAND ${TOOL} make-demo ${WORK}/${demo} --frames 5 --size 64x48 OUTPUT_QUIET RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "make-demo failed")
  endif()
endforeach()
file(MAKE_DIRECTORY ${WORK}/data ${WORK}/other ${WORK}/results)
foreach(pair "a;one.ks" "b;TWO.KS")
  list(GET pair 0 demo)
  list(GET pair 1 name)
  string(REGEX REPLACE "\\.[kK][sS]$" ".kvi" kvi ${name})
  file(READ ${WORK}/${demo}/kestrane_demo.ks text)
  string(REPLACE "RES_BIN_IM_FILENAME kestrane_demo.kvi" "RES_BIN_IM_FILENAME ${kvi}" text "${text}")
  file(WRITE ${WORK}/data/${name} "${text}")
  file(COPY_FILE ${WORK}/${demo}/kestrane_demo.kvi ${WORK}/data/${kvi})
endforeach()
file(WRITE ${WORK}/data/notes.txt "not a recording\n")
file(WRITE ${WORK}/run.txt "script_name table   # results name\nwrite_header RES_BUF_FRAMES RES_XSCALE\nopen data\n"
  "param RES_XSCALE 0.02\nwrite \"first, with a comma\"\n")

execute_process(COMMAND ${TOOL} run ${WORK}/run.txt --list OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "# results ${WORK}/data/table.txt\n1\t${WORK}/data/TWO.KS\n2\t${WORK}/data/one.ks\n")
  message(FATAL_ERROR "the list is not the folder's recordings in byte order (${rc}):\n${out}${err}")
endif()
execute_process(COMMAND ${TOOL} run ${WORK}/run.txt OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
file(READ ${WORK}/data/table.txt table)
set(expected "File number,Full file name,Results file name,Current surface,RES_BUF_FRAMES,RES_XSCALE\n")
string(APPEND expected "1,${WORK}/data/TWO.KS,\"TWO_table_first, with a comma\",(none),5,0.020000\n")
string(APPEND expected "2,${WORK}/data/one.ks,\"one_table_first, with a comma\",(none),5,0.020000\n")
if(NOT rc EQUAL 0 OR NOT table STREQUAL expected OR NOT EXISTS ${WORK}/data/table.log
   OR NOT out MATCHES "Successfully completed script\\.")
  message(FATAL_ERROR "the run's table is not as expected (${rc}):\n${table}\n${out}${err}")
endif()

# The command line's folder and range: only file 2, numbered as in the whole list, results elsewhere.
file(COPY ${WORK}/data/one.ks ${WORK}/data/one.kvi ${WORK}/data/TWO.KS ${WORK}/data/TWO.kvi DESTINATION ${WORK}/other)
execute_process(COMMAND ${TOOL} run ${WORK}/run.txt ${WORK}/other --files 2 --results ${WORK}/results
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
file(READ ${WORK}/results/table.txt table)
if(NOT rc EQUAL 0 OR NOT table MATCHES "\n2,${WORK}/other/one.ks," OR table MATCHES "TWO")
  message(FATAL_ERROR "the command line's folder, range or results folder were not used (${rc}):\n${table}\n${out}${err}")
endif()

# A failing function: non-zero, its line named on standard error.
file(WRITE ${WORK}/bad.txt "open data\nfunc FILE_OPEN ${WORK}/missing.ks\n")
execute_process(COMMAND ${TOOL} run ${WORK}/bad.txt OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(rc EQUAL 0 OR NOT err MATCHES "In line 2 of Script\\. ERROR")
  message(FATAL_ERROR "a failing script did not fail (${rc}):\n${out}${err}")
endif()
execute_process(COMMAND ${TOOL} run ${WORK}/none.txt OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 1 OR NOT err MATCHES "cannot read the script")
  message(FATAL_ERROR "a missing script was not refused (${rc}):\n${out}${err}")
endif()

# The same run split by GNU parallel, one recording a task: the merged table is the serial one, byte
# for byte. A broken recording fails its task, named by its number, and the others' rows stay.
file(READ ${WORK}/data/table.txt serial)
file(REMOVE ${WORK}/data/table.txt)
execute_process(COMMAND ${CMAKE_COMMAND} -E env KESTRANE_TOOL=${TOOL} bash ${BATCH}/parallel.sh ${WORK}/run.txt ${WORK}/data -j 2
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
file(READ ${WORK}/data/table.txt split)
if(NOT rc EQUAL 0 OR NOT split STREQUAL serial)
  message(FATAL_ERROR "the parallel run's table differs from the serial one (${rc}):\n${split}\n${serial}\n${out}${err}")
endif()

# The parts as the Slurm array's tasks leave them (each task's in a folder of its own) merge alike.
foreach(n 1 2)
  file(MAKE_DIRECTORY ${WORK}/array/parts/${n})
  execute_process(COMMAND ${TOOL} run ${WORK}/run.txt ${WORK}/data --files ${n} --results ${WORK}/array/parts/${n}
    OUTPUT_QUIET ERROR_QUIET RESULT_VARIABLE rc)
  file(WRITE ${WORK}/array/parts/${n}.status "${rc}\n")
endforeach()
execute_process(COMMAND ${CMAKE_COMMAND} -E env KESTRANE_TOOL=${TOOL} bash ${BATCH}/merge.sh ${WORK}/array/table.txt
  ${WORK}/array 1 2 OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
file(READ ${WORK}/array/table.txt split)
if(NOT rc EQUAL 0 OR NOT split STREQUAL serial OR NOT EXISTS ${WORK}/array/table.log)
  message(FATAL_ERROR "the array's parts did not merge into the serial table (${rc}):\n${split}\n${out}${err}")
endif()
file(WRITE ${WORK}/data/broken.ks "RES_BUF_FRAMES banana\n")
execute_process(COMMAND ${CMAKE_COMMAND} -E env KESTRANE_TOOL=${TOOL} bash ${BATCH}/parallel.sh ${WORK}/run.txt ${WORK}/data -j 2
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
file(READ ${WORK}/data/table.txt split)
if(rc EQUAL 0 OR NOT err MATCHES "Failed file numbers: 2\n" OR NOT split MATCHES "TWO_table" OR NOT split MATCHES "one_table")
  message(FATAL_ERROR "a broken recording was not reported by its number (${rc}):\n${split}\n${out}${err}")
endif()

# One process running several tasks in turn (--each): the broken one fails alone, the next still runs.
execute_process(COMMAND ${TOOL} run ${WORK}/run.txt --files 1-3 --each ${WORK}/each
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
foreach(n 1 2 3)
  file(READ ${WORK}/each/${n}.status status${n})
endforeach()
if(rc EQUAL 0 OR NOT status1 STREQUAL "0\n" OR NOT status2 STREQUAL "1\n" OR NOT status3 STREQUAL "0\n"
   OR NOT EXISTS ${WORK}/each/3.txt OR NOT EXISTS ${WORK}/each/3.log)
  message(FATAL_ERROR "the tasks of one process were not kept apart (${rc}: ${status1}${status2}${status3}):\n${out}${err}")
endif()
file(READ ${WORK}/each/2.out why)
if(NOT why MATCHES "Failed opening file: ${WORK}/data/broken.ks")
  message(FATAL_ERROR "the broken task's messages do not say why:\n${why}")
endif()

# The processes of a batch start together and all make the parts folder: none may fail for finding it
# made by another between looking and making (eight at once, twenty times).
execute_process(COMMAND bash -c "fails=0; for round in $(seq 20); do rm -rf \"$1/race\"; pids=()
    for k in $(seq 8); do \"$0\" run \"$2\" --files 1 --each \"$1/race\" > /dev/null 2>&1 & pids+=($!); done
    for p in \"\${pids[@]}\"; do wait $p || fails=$((fails + 1)); done; done; echo $fails"
  ${TOOL} ${WORK} ${WORK}/run.txt OUTPUT_VARIABLE fails RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT fails STREQUAL "0\n")
  message(FATAL_ERROR "processes of a batch failed making their shared parts folder: ${fails}")
endif()

# Ended by SIGTERM (a batch system's time limit): it stops after the command in progress, writes the
# rows gathered so far, and exits non-zero.
file(REMOVE ${WORK}/data/broken.ks)
file(WRITE ${WORK}/slow.txt "script_name slow\nopen data one\nrepeat 1000000\nfunc FILE_SAVEAS ${WORK}/copy.ks\nwrite x\nend\n")
# Killed once it has saved a copy: its handlers are in place by then, whatever the build's speed.
file(REMOVE ${WORK}/copy.ks)
execute_process(COMMAND bash -c "\"$0\" run \"$1\" > /dev/null 2>&1 & pid=$!
  for i in $(seq 600); do [ -f \"$2\" ] && break; sleep 0.1; done; sleep 0.2; kill -TERM $pid; wait $pid"
  ${TOOL} ${WORK}/slow.txt ${WORK}/copy.ks RESULT_VARIABLE rc)
file(STRINGS ${WORK}/data/slow.txt rows)
list(LENGTH rows count)
if(NOT rc EQUAL 1 OR count LESS 2 OR NOT EXISTS ${WORK}/data/slow.log)
  message(FATAL_ERROR "a run ended by SIGTERM did not stop cleanly (${rc}, ${count} rows)")
endif()

# EXPORT_FRAMES and EXPORT_VOXELS write what export-frames and export-voxels write, byte for byte;
# TEMPLATE_OPEN while a recording is held fails at its line.
file(MAKE_DIRECTORY ${WORK}/direct)
# (Frames last: as in the program, the recording held becomes the frames exported.)
file(WRITE ${WORK}/exports.txt "script_name exports\nopen data one\nfunc EXPORT_VOXELS vox.ks 2\n"
  "func EXPORT_VOXELS rec.nrrd masked 3 0.5 slab=0.9 fill-holes=0.7 clip=4,6,50,36 threads=3\n"
  "func EXPORT_FRAMES 0:2 frames.ks\n")
execute_process(COMMAND ${TOOL} run ${WORK}/exports.txt OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
execute_process(COMMAND ${TOOL} export-frames ${WORK}/data/one.ks 0:2 ${WORK}/direct/frames.ks OUTPUT_QUIET)
execute_process(COMMAND ${TOOL} export-voxels ${WORK}/data/one.ks ${WORK}/direct/vox.ks --step 2 OUTPUT_QUIET)
execute_process(COMMAND ${TOOL} export-voxels ${WORK}/data/one.ks ${WORK}/direct/rec.nrrd --step 3 --spacing 0.5
  --slab 0.9 --fill-holes 0.7 --clip 4,6,50,36 --masked --threads 1 OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the export script failed (${rc}):\n${out}${err}")
endif()
foreach(f frames.ks frames.kvi vox.ks vox.kvi rec.nrrd)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/data/${f} ${WORK}/direct/${f} RESULT_VARIABLE same)
  if(NOT same EQUAL 0)
    message(FATAL_ERROR "the script's ${f} differs from the tool's")
  endif()
endforeach()
file(WRITE ${WORK}/template.txt "open data one\nfunc TEMPLATE_OPEN ${WORK}/a/kestrane_demo.kst\n")
execute_process(COMMAND ${TOOL} run ${WORK}/template.txt OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(rc EQUAL 0 OR NOT err MATCHES "In line 2 of Script\\. ERROR")
  message(FATAL_ERROR "a template loaded over a recording was not refused (${rc}):\n${out}${err}")
endif()
# An option the export does not know, or a value out of range, stops the script at its line.
foreach(bad "slab=0" "clip=1,2,3" "threads=0" "fill-holes=nan" "thick=2" "masked=1" "2 0.5 7")
  file(WRITE ${WORK}/badopt.txt "open data one\nfunc EXPORT_VOXELS bad.nrrd ${bad}\n")
  execute_process(COMMAND ${TOOL} run ${WORK}/badopt.txt OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(rc EQUAL 0 OR NOT err MATCHES "In line 2 of Script\\. ERROR" OR EXISTS ${WORK}/data/bad.nrrd)
    message(FATAL_ERROR "EXPORT_VOXELS ${bad} was not refused (${rc}):\n${out}${err}")
  endif()
endforeach()

# Surfaces built and saved over a loop of the objects with surfaces (one row each), brought back
# with IMPORT_SURFACE; a bad opacity stops the script at its line.
execute_process(COMMAND ${TOOL} make-demo ${WORK}/big --frames 40 --size 160x120 OUTPUT_QUIET)
file(WRITE ${WORK}/surf.txt "script_name surf\nwrite_header CURRENT_OBJECT\nopen big\nfunc SURFACE_RESOLUTION 2\n"
  "func SURFACE_ALL\nloop *\nfunc SAVE_CURRENT_SURFACE\nwrite s\nend\n")
execute_process(COMMAND ${TOOL} run ${WORK}/surf.txt OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
file(READ ${WORK}/big/surf.txt table)
if(NOT rc EQUAL 0 OR NOT table MATCHES "\n1,${WORK}/big/kestrane_demo.ks,kestrane_demo_surf_s,Ellipsoid,0\n1,[^\n]*,Vessel,1\n$"
   OR NOT EXISTS ${WORK}/big/kestrane_demo_Ellipsoid.ply)
  message(FATAL_ERROR "the surfaces' loop did not run (${rc}):\n${table}\n${out}${err}")
endif()
file(WRITE ${WORK}/import.txt "script_name imported\nopen big\nfunc CURRENT_OBJECT Ellipsoid\n"
  "func IMPORT_SURFACE kestrane_demo_Ellipsoid.ply\nloop Ell*\nwrite back\nend\nfunc OBJECT_OPACITY 0 1.5\n")
execute_process(COMMAND ${TOOL} run ${WORK}/import.txt OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(rc EQUAL 0 OR NOT err MATCHES "In line 8 of Script\\. ERROR" OR NOT out MATCHES "IMPORT_SURFACE completed|Function IMPORT_SURFACE completed")
  message(FATAL_ERROR "the imported surface or the bad opacity went wrong (${rc}):\n${out}${err}")
endif()

# The views headless: a turned reslice and the review's frame saved; SAVE_3D needs the window.
file(WRITE ${WORK}/views.txt "open big\nfunc ROTATE_RESLICE 30\nfunc MOVE_RESLICE 2\nfunc SAVE_RESLICE reslice.png\n"
  "func OFFSET_REVIEW 12\nfunc SAVE_REVIEW review.png\nfunc SAVE_ORTHO_LEFT left.jpeg\n")
execute_process(COMMAND ${TOOL} run ${WORK}/views.txt OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT EXISTS ${WORK}/big/reslice.png OR NOT EXISTS ${WORK}/big/review.png
   OR NOT EXISTS ${WORK}/big/left.jpeg)
  message(FATAL_ERROR "the views were not saved (${rc}):\n${out}${err}")
endif()
file(WRITE ${WORK}/view3d.txt "open big\nfunc SAVE_3D view.png\n")
execute_process(COMMAND ${TOOL} run ${WORK}/view3d.txt OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(rc EQUAL 0 OR NOT err MATCHES "In line 2 of Script\\. ERROR: Function SAVE_3D" OR EXISTS ${WORK}/big/view.png)
  message(FATAL_ERROR "SAVE_3D ran without the program's window (${rc}):\n${out}${err}")
endif()
