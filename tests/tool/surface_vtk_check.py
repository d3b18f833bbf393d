"""End to end through the tool, checked by VTK: a demo whose frames are label
images, the ellipsoid segmented on every frame, its surface built and saved
as PLY and VRML 2.0. VTK must read the same points and triangles, find no
boundary or non-manifold edge, and measure the volume we print within 1e-4;
the volume must be within 4% of the true ellipsoid's (the segmented outlines
lie a quarter pixel inside the label edge). Exits 77 (skipped) without VTK.

Usage: surface_vtk_check.py TOOL WORK_DIR
"""
import os
import re
import shutil
import subprocess
import sys

try:
    import vtk
except ImportError:
    print("python3 vtk is not installed (package python3-vtk9): skipped")
    sys.exit(77)

tool, work = sys.argv[1], sys.argv[2]
shutil.rmtree(work, ignore_errors=True)


def run(*args):
    done = subprocess.run([tool, *args], capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"kestrane-tool {' '.join(args)} failed ({done.returncode}):\n{done.stdout}{done.stderr}")
    return done.stdout


recording = os.path.join(work, "kestrane_demo.ks")
run("make-demo", work, "--frames", "120", "--size", "320x240", "--labels")
run("segment", recording, "--window", "2:2", "--object", "1")
failures = []
for name, extra in (("organ.ply", []), ("organ.wrl", ["--vrml2"])):
    printed = run("surface", recording, os.path.join(work, name), *extra)
    m = re.match(r"1\tObject 1\t([0-9.]+) ml\t([0-9.]+) sq mm\tcentre \(.*\) mm\t(\d+) points\t(\d+) triangles\t(.*)\n",
                 printed)
    if not m:
        sys.exit(f"unexpected report: {printed!r}")
    ml, points, triangles, path = float(m.group(1)), int(m.group(3)), int(m.group(4)), m.group(5)
    if name.endswith(".ply"):
        reader = vtk.vtkPLYReader()
        reader.SetFileName(path)
        reader.Update()
        mesh = reader.GetOutput()
    else:
        importer = vtk.vtkVRMLImporter()
        importer.SetFileName(path)
        importer.Update()
        actors = importer.GetRenderer().GetActors()
        actors.InitTraversal()
        mesh = actors.GetNextActor().GetMapper().GetInput()
    triangulate = vtk.vtkTriangleFilter()
    triangulate.SetInputData(mesh)
    triangulate.Update()
    mesh = triangulate.GetOutput()
    if mesh.GetNumberOfPoints() != points or mesh.GetNumberOfCells() != triangles:
        failures.append(f"{name}: VTK reads {mesh.GetNumberOfPoints()} points and {mesh.GetNumberOfCells()} "
                        f"triangles, we wrote {points} and {triangles}")
    # Points of different sequences are never shared, but within one surface
    # every edge must have two triangles: merge coincident points first.
    clean = vtk.vtkCleanPolyData()
    clean.SetInputData(mesh)
    clean.SetTolerance(0.0)
    clean.Update()
    edges = vtk.vtkFeatureEdges()
    edges.SetInputData(clean.GetOutput())
    edges.BoundaryEdgesOn()
    edges.NonManifoldEdgesOn()
    edges.FeatureEdgesOff()
    edges.ManifoldEdgesOff()
    edges.Update()
    if edges.GetOutput().GetNumberOfCells() != 0:
        failures.append(f"{name}: {edges.GetOutput().GetNumberOfCells()} boundary or non-manifold edges")
    mass = vtk.vtkMassProperties()
    mass.SetInputData(clean.GetOutput())
    mass.Update()
    if abs(mass.GetVolume() - ml) > 1e-4 * ml + 5e-4:  # we print three decimals
        failures.append(f"{name}: VTK measures {mass.GetVolume():.5f} ml, we print {ml:.3f} ml")
    truth = 4.0 / 3.0 * 3.141592653589793 * 1.0 * 0.6 * 0.5
    with open(os.path.join(work, "kestrane_demo_truth.txt")) as f:
        for line in f:
            if line.startswith("ellipsoid "):
                truth = float(line.split()[11])
                break
    if abs(ml - truth) > 0.04 * truth:
        failures.append(f"{name}: surface volume {ml:.3f} ml, truth {truth:.3f} ml")
    print(f"{name}: {points} points, {triangles} triangles, {ml:.3f} ml (VTK {mass.GetVolume():.4f}, "
          f"truth {truth:.3f})")
if failures:
    sys.exit("\n".join(failures))
