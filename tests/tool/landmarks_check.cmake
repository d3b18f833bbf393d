# kestrane-tool landmarks on a copy of the demo with one landmark of each kind
# written as LANDMARK and FIDUCIAL lines: the exact CSV, the header only once
# when a second export appends, and ".csv" added to a bare output name.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(COPY ${DEMO}/kestrane_demo.kvi DESTINATION ${WORK})
file(READ ${DEMO}/kestrane_demo.ks recording)
# Pixels of 2 mm by 1 mm, whatever size the demo was made at.
string(REGEX REPLACE "RES_XSCALE [0-9.]+" "RES_XSCALE 0.2" recording "${recording}")
string(REGEX REPLACE "RES_YSCALE [0-9.]+" "RES_YSCALE 0.1" recording "${recording}")
string(APPEND recording
  "LANDMARK 1.5 -2.25 3.125 Apex\n"
  "LANDMARK 2D 3 10 20 0 Landmark 1\n"
  "LANDMARK SURF 2 0.1 0.2 0.3 0 0 1 Surface 1\n"
  "LANDMARK 0 1 2 T12 Spinous Process\n"
  "LANDMARK 0 0 0 Spine Central Upper\n"
  "LANDMARK 1 1 1 tip \"A\", left\n"
  "FIDUCIAL 1 2 3 Fiducial 1\n")
file(WRITE ${WORK}/marked.ks "${recording}")
set(header "File, Landmark, Type, Surface, Frame, x (mm), y (mm), z (mm)\n")
set(lines
  "marked.ks, Apex, 3D, , , 15.0000, -22.5000, 31.2500\n"
  "marked.ks, Landmark 1, 2D, , 3, 20.0000, 20.0000, \n"
  "marked.ks, Surface 1, Surface, Object 2, , 1.0000, 2.0000, 3.0000\n"
  "marked.ks, T12 Spinous Process, Spine, T12, , 0.0000, 10.0000, 20.0000\n"
  "marked.ks, Spine Central Upper, Spine, , , 0.0000, 0.0000, 0.0000\n"
  "marked.ks, \"tip \"\"A\"\", left\", 3D, , , 10.0000, 10.0000, 10.0000\n"
  "marked.ks, Fiducial 1, Fiducial, , , 10.0000, 20.0000, 30.0000\n")
string(JOIN "" lines ${lines})

execute_process(COMMAND ${TOOL} landmarks ${WORK}/marked.ks ${WORK}/marks
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "7 landmarks exported to .*/marks.csv")
  message(FATAL_ERROR "landmarks failed (${rc}): ${out}${err}")
endif()
file(READ ${WORK}/marks.csv written)
if(NOT written STREQUAL "${header}${lines}")
  message(FATAL_ERROR "unexpected export:\n${written}\nexpected:\n${header}${lines}")
endif()

execute_process(COMMAND ${TOOL} landmarks ${WORK}/marked.ks ${WORK}/marks.csv
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "7 landmarks appended to")
  message(FATAL_ERROR "second export failed (${rc}): ${out}${err}")
endif()
file(READ ${WORK}/marks.csv written)
if(NOT written STREQUAL "${header}${lines}${lines}")
  message(FATAL_ERROR "the append did not keep the old lines below one header:\n${written}")
endif()
file(GLOB left_over ${WORK}/marks.csv.tmp-*)
if(left_over)
  message(FATAL_ERROR "temporary files left behind: ${left_over}")
endif()
