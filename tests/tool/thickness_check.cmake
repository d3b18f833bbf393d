# kestrane-tool thickness on a made CT volume (NRRD) of a flat cortex 2.5 mm
# thick under a 2 mm blur, with a PLY surface on the bone's face: every point
# measured close to the truth, the result files written one value a point,
# and a second run refused unless it may overwrite them.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND /usr/bin/python3 -c "
import math, struct, sys
nx, ny, nz, d = 100, 60, 30, 0.5          # voxels and their size (mm)
sigma = 2.0 / 2.3548200450309493 / d       # the blur in voxels
phi = lambda z: 0.5 * math.erfc(-z / math.sqrt(2))
row = [round(1600 * phi((x - 40) / sigma) + (200 - 1600) * phi((x - 45) / sigma)) for x in range(nx)]
data = b''.join(struct.pack('<h', v) for v in row) * (ny * nz)
head = ('NRRD0004\\ntype: short\\ndimension: 3\\nspace: left-posterior-superior\\nsizes: %d %d %d\\n'
        'space directions: (%g,0,0) (0,%g,0) (0,0,%g)\\nspace origin: (0,0,0)\\nendian: little\\nencoding: raw\\n\\n'
        % (nx, ny, nz, d, d, d))
open(sys.argv[1] + '/ct.nrrd', 'wb').write(head.encode() + data)
pts = [(2.0, 0.5 + 0.2 * i, 0.3 + 0.2 * j) for i in range(8) for j in range(5)]
tri = [(a, a + 1, a + 5) for a in range(0, 30)]
ply = ['ply', 'format ascii 1.0', 'element vertex %d' % len(pts), 'property float x', 'property float y',
       'property float z', 'property float nx', 'property float ny', 'property float nz',
       'element face %d' % len(tri), 'property list uchar int vertex_indices', 'end_header']
ply += ['%g %g %g -1 0 0' % p for p in pts] + ['3 %d %d %d' % t for t in tri]
open(sys.argv[1] + '/femur.ply', 'w').write('\\n'.join(ply) + '\\n')
inner = ['ply', 'format ascii 1.0', 'element vertex 4', 'property float x', 'property float y', 'property float z',
         'element face 2', 'property list uchar int vertex_indices', 'end_header',
         '2.25 0 0', '2.25 3 0', '2.25 3 3', '2.25 0 3', '3 0 1 2', '3 0 2 3']
open(sys.argv[1] + '/inner.ply', 'w').write('\\n'.join(inner) + '\\n')
" ${WORK} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "could not make the volume and surface")
endif()
execute_process(COMMAND ${TOOL} thickness ${WORK}/ct.nrrd ${WORK}/femur.ply ${WORK}/out --gauss 2 --cortex 1600 --threads 2
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "points      40, 40 measured" OR NOT out MATCHES "thickness   2\\.(4[6-9]|5[0-4])[0-9] mm mean")
  message(FATAL_ERROR "thickness failed (${rc}):\n${out}${err}")
endif()
file(SIZE ${WORK}/out/femur_thick_dat size)
if(NOT size EQUAL 320 OR NOT EXISTS ${WORK}/out/femur_tissue_dat)
  message(FATAL_ERROR "the result files are not one value a point (${size} bytes)")
endif()
execute_process(COMMAND ${TOOL} thickness ${WORK}/ct.nrrd ${WORK}/femur.ply ${WORK}/out --technique HRTC
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 2 OR NOT err MATCHES "--overwrite")
  message(FATAL_ERROR "existing results were not protected (${rc}):\n${out}${err}")
endif()
execute_process(COMMAND ${TOOL} thickness ${WORK}/ct.nrrd ${WORK}/femur.ply ${WORK}/out --overwrite
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "40 measured")
  message(FATAL_ERROR "the overwriting run failed (${rc}):\n${out}${err}")
endif()
# Asked to estimate the density from the surface itself: a 2.5 mm cortex under a 2 mm blur is nowhere
# thick enough to tell, which is said, and the mapping goes on as configured.
execute_process(COMMAND ${TOOL} thickness ${WORK}/ct.nrrd ${WORK}/femur.ply ${WORK}/estimated --estimate-density
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "Cortical density estimation failed\\.\n" OR NOT out MATCHES "40 measured")
  message(FATAL_ERROR "the estimated-density run failed (${rc}):\n${out}${err}")
endif()
# The distance to a second surface 2.5 mm inside, instead of fitting.
execute_process(COMMAND ${TOOL} thickness ${WORK}/ct.nrrd ${WORK}/femur.ply ${WORK}/between --alternate ${WORK}/inner.ply
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "40 measured" OR NOT out MATCHES "thickness   2\\.500 mm mean" OR out MATCHES "density")
  message(FATAL_ERROR "the distance to the alternate surface failed (${rc}):\n${out}${err}")
endif()
# The outer and inner cortical surfaces, measured back against each other: the thickness again.
# Outlier analysis (on unless its distance is 0) finds none on a flat cortex.
execute_process(COMMAND ${TOOL} thickness ${WORK}/ct.nrrd ${WORK}/femur.ply ${WORK}/created --gauss 2 --cortex 1600 --create
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT EXISTS ${WORK}/created/femur_outer.ply OR NOT EXISTS ${WORK}/created/femur_inner.ply
   OR NOT EXISTS ${WORK}/created/femur_cortex.ply OR NOT EXISTS ${WORK}/created/femur_smoothed_thickness.ply
   OR NOT EXISTS ${WORK}/created/femur_gauss.ply OR NOT EXISTS ${WORK}/created/femur_soft_density.ply
   OR NOT out MATCHES "outliers    0 dropped")
  message(FATAL_ERROR "the cortical surfaces were not made (${rc}):\n${out}${err}")
endif()
execute_process(COMMAND ${TOOL} thickness ${WORK}/ct.nrrd ${WORK}/created/femur_outer.ply ${WORK}/back
  --alternate ${WORK}/created/femur_inner.ply OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "thickness   2\\.(4[89]|5[01])[0-9] mm mean")
  message(FATAL_ERROR "the cortical surfaces do not lie a thickness apart (${rc}):\n${out}${err}")
endif()
# Every fit's inputs and results as JSON lines, one a point; with blur and density given only the
# edges and the outer and inner levels are fitted. The template is read before the data; one that
# cannot be read stops the run before anything is written, as does an option it does not know.
file(WRITE ${WORK}/scales.kst "RES_BUF_WIDTH 100\nRES_BUF_HEIGHT 60\nRES_END_HEADER\nRES_XSCALE 0.05\n")
execute_process(COMMAND ${TOOL} thickness ${WORK}/ct.nrrd ${WORK}/femur.ply ${WORK}/dumped --template ${WORK}/scales.kst
  --gauss 2 --cortex 1600 --line 10 --dump-profiles OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
file(STRINGS ${WORK}/dumped/femur_profiles.jsonl lines)
list(LENGTH lines count)
list(GET lines 39 last)
if(NOT rc EQUAL 0 OR NOT count EQUAL 40 OR NOT last MATCHES "^{\"point\":39,\"step_mm\":0.25,\"surface_sample\":13,"
   OR NOT last MATCHES "\"free\":\\[\"outer\",\"inner\",\"a\",\"c\"\\]" OR NOT last MATCHES "\"ok\":true")
  message(FATAL_ERROR "the profiles were not dumped (${rc}, ${count} lines):\n${out}${err}\n${last}")
endif()
file(WRITE ${WORK}/bad.kst "RES_BUF_HEIGHT 480\nRES_END_HEADER\n")
execute_process(COMMAND ${TOOL} thickness ${WORK}/ct.nrrd ${WORK}/femur.ply ${WORK}/badtemplate --template ${WORK}/bad.kst
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 1 OR NOT err MATCHES "could not read the template" OR EXISTS ${WORK}/badtemplate/femur_thick_dat)
  message(FATAL_ERROR "a bad template was not refused (${rc}):\n${out}${err}")
endif()
foreach(bad "--width;17" "--line;-3" "--plots;svg" "--technique;CBM v9" "--frobnicate")
  execute_process(COMMAND ${TOOL} thickness ${WORK}/ct.nrrd ${WORK}/femur.ply ${WORK}/badoption ${bad}
    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT rc EQUAL 2 OR NOT err MATCHES "bad option" OR EXISTS ${WORK}/badoption)
    message(FATAL_ERROR "the option '${bad}' was not refused (${rc}):\n${out}${err}")
  endif()
endforeach()
# A point's profile plotted (data, fitted function, model steps) as PNG and CSV, with its text; the
# density estimate's plots even when it fails (its raw data).
execute_process(COMMAND ${TOOL} thickness ${WORK}/ct.nrrd ${WORK}/femur.ply ${WORK}/plots --gauss 2 --cortex 1600
  --profile 3 --plots png,csv --estimate-density OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "point 3     Thickness is 2\\.5[0-9] \\+/- 0\\.[0-9][0-9] mm"
   OR NOT EXISTS ${WORK}/plots/femur_profile3.png OR NOT EXISTS ${WORK}/plots/femur_density.png
   OR NOT EXISTS ${WORK}/plots/femur_density_distribution.csv)
  message(FATAL_ERROR "the plots were not written (${rc}):\n${out}${err}")
endif()
file(READ ${WORK}/plots/femur_profile3.csv csv)
file(READ ${WORK}/plots/femur_profile3.png png HEX LIMIT 8)
if(NOT csv MATCHES "^series,x,y\n" OR NOT csv MATCHES "\nData,-?[0-9]" OR NOT csv MATCHES "\nFitted function,"
   OR NOT csv MATCHES "\nModel steps," OR NOT png STREQUAL "89504e470d0a1a0a")
  message(FATAL_ERROR "the profile plot is not what was asked for:\n${csv}")
endif()
execute_process(COMMAND ${TOOL} thickness ${WORK}/ct.nrrd ${WORK}/femur.ply ${WORK}/plots --profile 40 --overwrite
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 1 OR NOT err MATCHES "no point 40")
  message(FATAL_ERROR "a point beyond the surface was not refused (${rc}):\n${out}${err}")
endif()
