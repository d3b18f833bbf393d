# The demo is outlined exactly on every 10th frame: the surfaces built from
# those outlines must enclose the true shapes' volumes in the ground-truth
# file within 2 %, and planimetry must measure both.
file(REMOVE_RECURSE ${WORK})
execute_process(COMMAND ${TOOL} make-demo ${WORK} OUTPUT_VARIABLE made RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "make-demo failed (${rc}): ${made}")
endif()
execute_process(COMMAND ${TOOL} surface ${WORK}/kestrane_demo.ks ${WORK}/shape.ply
  OUTPUT_VARIABLE built ERROR_VARIABLE errors RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "surface failed (${rc}): ${built}${errors}")
endif()
execute_process(COMMAND ${TOOL} volume ${WORK}/kestrane_demo.ks OUTPUT_VARIABLE measured RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT measured MATCHES "^0\tEllipsoid\t[0-9]+ frames\t1 sweeps\t[0-9.]+ ml\n1\tVessel\t")
  message(FATAL_ERROR "volume failed (${rc}): ${measured}")
endif()
file(STRINGS ${WORK}/kestrane_demo_truth.txt shapes REGEX "^(ellipsoid|tube) ")
# CMake has no floating point: python compares.
execute_process(COMMAND /usr/bin/python3 -c "
import sys
shapes = [l.split() for l in sys.argv[1].split(';')]
truth = [float(s[11] if s[0] == 'ellipsoid' else s[9]) for s in shapes]
built = [float(l.split('\\t')[2].split()[0]) for l in sys.argv[2].strip().split('\\n')]
assert len(built) == len(truth), (built, truth)
for b, t in zip(built, truth):
    print('surface %.3f ml, truth %.3f ml, %+.2f %%' % (b, t, 100 * (b - t) / t))
    assert abs(b - t) <= 0.02 * t, 'more than 2 %% apart'
" "${shapes}" "${built}" OUTPUT_VARIABLE compared ERROR_VARIABLE failed RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the demo's surfaces miss its truth:\n${compared}${failed}\n${built}")
endif()
message(STATUS "${compared}")
# Coloured with the data along the normals: every surface finds some.
execute_process(COMMAND ${TOOL} surface ${WORK}/kestrane_demo.ks ${WORK}/coloured.ply --compound-depth 4
  --compounding avg OUTPUT_VARIABLE coloured ERROR_VARIABLE errors RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR errors MATCHES "no recorded data")
  message(FATAL_ERROR "colouring the demo's surfaces failed (${rc}): ${coloured}${errors}")
endif()
# The same mesh, so only the colours can make the files differ.
file(SHA256 ${WORK}/shape0.ply plain)
file(SHA256 ${WORK}/coloured0.ply data)
file(SIZE ${WORK}/shape0.ply plain_size)
file(SIZE ${WORK}/coloured0.ply data_size)
if(plain STREQUAL data OR NOT plain_size EQUAL data_size)
  message(FATAL_ERROR "the coloured surface is not the plain one with other colours")
endif()
file(REMOVE_RECURSE ${WORK})
