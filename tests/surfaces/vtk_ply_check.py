"""Reads the PLY that sample_surface_writer writes with VTK's PLY reader and
checks what another program sees: the point and triangle counts, normals,
colours and the sphere's extent. Exits 77 (skipped) when VTK is missing.

Usage: vtk_ply_check.py WRITER SCRATCH_DIR
"""
import os
import subprocess
import sys

try:
    import vtk
except ImportError:
    print("python3 vtk is not installed (package python3-vtk9): skipped")
    sys.exit(77)

writer, scratch = sys.argv[1], sys.argv[2]
os.makedirs(scratch, exist_ok=True)
path = os.path.join(scratch, "sphere.ply")
subprocess.run([writer, path], check=True)

reader = vtk.vtkPLYReader()
reader.SetFileName(path)
reader.Update()
mesh = reader.GetOutput()
failures = []


def expect(what, ok):
    if not ok:
        failures.append(what)


expect("66 points, got %d" % mesh.GetNumberOfPoints(), mesh.GetNumberOfPoints() == 66)
expect("128 triangles, got %d" % mesh.GetNumberOfPolys(), mesh.GetNumberOfPolys() == 128)
normals = mesh.GetPointData().GetNormals()
expect("normals per point", normals is not None and normals.GetNumberOfTuples() == 66)
colours = mesh.GetPointData().GetScalars()
expect("colours per point", colours is not None and colours.GetNumberOfTuples() == 66)
if colours is not None and colours.GetNumberOfTuples() > 0:
    expect("colour (200, 100, 50)", tuple(colours.GetTuple(0))[:3] == (200.0, 100.0, 50.0))
bounds = mesh.GetBounds()
want = (-1.0, 3.0, 0.0, 4.0, 1.0, 5.0)
expect("bounds %s, want %s" % (bounds, want), all(abs(a - b) < 1e-6 for a, b in zip(bounds, want)))
if failures:
    print("VTK reads the PLY differently: " + "; ".join(failures))
    sys.exit(1)
print("VTK reads the PLY: 66 points, 128 triangles, normals and colours")
