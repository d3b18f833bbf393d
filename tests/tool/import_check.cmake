# kestrane-tool import on a folder of small DICOM files in several encodings
# and sizes: the series are listed when none is chosen, the chosen one loads
# with the others counted as ignored, and a recording in the data's own
# folder keeps the DICOM frames (read from the files when opened); an
# Analyze volume imports too.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/data/nested)
file(COPY ${CORPUS}/explicit_le ${CORPUS}/explicit_be ${CORPUS}/rle16 DESTINATION ${WORK}/data)
file(COPY ${CORPUS}/implicit_le DESTINATION ${WORK}/data/nested)
execute_process(COMMAND ${TOOL} import ${WORK}/data ${WORK}/out.ks OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 2 OR NOT out MATCHES "1: DICOM series of 3 frames, file '.*', size 4 x 3 \\(CT\\)\\." OR NOT out MATCHES "2: DICOM image 'rle16', size 3 x 2\\.")
  message(FATAL_ERROR "the series were not listed (${rc}):\n${out}")
endif()
execute_process(COMMAND ${TOOL} import ${WORK}/data ${WORK}/out.ks --series 1 --window 0,400
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "Loaded 3 frames of data with size 4 x 3\\.\nIgnored a further 1 frames")
  message(FATAL_ERROR "import failed (${rc}):\n${out}${err}")
endif()
execute_process(COMMAND ${TOOL} info ${WORK}/out.ks OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "frames      3" OR NOT out MATCHES "pixel size  0.0600 x 0.0500 cm")
  message(FATAL_ERROR "the imported recording is not as expected:\n${out}")
endif()
execute_process(COMMAND ${TOOL} import ${WORK}/data ${WORK}/data/in_place.ks --series 1
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "DICOM frames" OR EXISTS ${WORK}/data/in_place.kvi)
  message(FATAL_ERROR "a recording in the data's folder did not keep its DICOM frames (${rc}): ${out}${err}")
endif()
execute_process(COMMAND ${TOOL} info ${WORK}/data/in_place.ks OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "frames      3")
  message(FATAL_ERROR "the DICOM recording did not open from its files (${rc}):\n${out}${err}")
endif()
# Moved away from its files it is refused, not opened with other frames.
file(MAKE_DIRECTORY ${WORK}/elsewhere)
file(RENAME ${WORK}/data/in_place.ks ${WORK}/elsewhere/in_place.ks)
execute_process(COMMAND ${TOOL} info ${WORK}/elsewhere/in_place.ks OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(rc EQUAL 0)
  message(FATAL_ERROR "a DICOM recording away from its files opened:\n${out}")
endif()

# An Analyze 7.5 volume (4 x 3 x 2, signed 16-bit, 0.5 x 0.8 x 2.5 mm) made into a recording.
execute_process(COMMAND /usr/bin/python3 -c "
import struct, sys
h = bytearray(348)
struct.pack_into('<i', h, 0, 348); struct.pack_into('<i', h, 32, 16384); h[38] = ord('r')
struct.pack_into('<8h', h, 40, 3, 4, 3, 2, 0, 0, 0, 0)
struct.pack_into('<hh', h, 70, 4, 16)
struct.pack_into('<4f', h, 76, 0, 0.5, 0.8, 2.5)
open(sys.argv[1] + '.hdr', 'wb').write(h)
open(sys.argv[1] + '.img', 'wb').write(b''.join(struct.pack('<h', -1000 + 150 * i) for i in range(24)))
" ${WORK}/volume RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "could not write the Analyze volume")
endif()
execute_process(COMMAND ${TOOL} import ${WORK}/volume.hdr ${WORK}/analyze.ks --raw OUTPUT_VARIABLE out ERROR_VARIABLE err
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "Loaded 2 frames of data with size 4 x 3\\.")
  message(FATAL_ERROR "the Analyze import failed (${rc}):\n${out}${err}")
endif()
execute_process(COMMAND ${TOOL} info ${WORK}/analyze.ks OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "frames      2" OR NOT out MATCHES "pixel size  0.0500 x 0.0800 cm")
  message(FATAL_ERROR "the recording from the Analyze volume is not as expected:\n${out}")
endif()

# info describes the folder's series and the volume without loading them as a recording.
execute_process(COMMAND ${TOOL} info ${WORK}/data OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "series      1: DICOM series of 3 frames" OR NOT out MATCHES "series      2: DICOM image 'rle16'")
  message(FATAL_ERROR "info on the folder:\n${out}")
endif()
execute_process(COMMAND ${TOOL} info ${WORK}/volume.hdr OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "Analyze 7.5 volume" OR NOT out MATCHES "size        4 x 3 x 2 voxels"
   OR NOT out MATCHES "spacing     0.5, 0.8, 2.5 mm")
  message(FATAL_ERROR "info on the Analyze volume:\n${out}")
endif()
