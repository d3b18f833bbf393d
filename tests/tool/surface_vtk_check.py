"""End to end through the tool, checked by VTK: a demo whose frames are label
images, the ellipsoid segmented on every frame, its surface built and saved
as PLY and VRML 2.0. VTK must read the same points and triangles, find no
boundary or non-manifold edge, and measure the volume we print within 1e-4;
the volume must be within 4% of the true ellipsoid's (the segmented outlines
lie a quarter pixel inside the label edge). STL and OBJ, in millimetres,
must hold the same points with outward normals. Exits 77 (skipped) without VTK.

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


# The same surface for other programs, in millimetres: VTK's STL and OBJ
# readers must find the PLY's points times ten; the STL facet normals and
# the OBJ vertex normals must point out of the object (the normal at its top
# points up, and the volume the winding encloses is positive).
def read_mesh(reader_type, path):
    reader = reader_type()
    reader.SetFileName(path)
    reader.Update()
    return reader.GetOutput()


def points_of(mesh):
    return [mesh.GetPoint(i) for i in range(mesh.GetNumberOfPoints())]


def signed_volume(mesh):
    total = 0.0
    for c in range(mesh.GetNumberOfCells()):
        a, b, d = (mesh.GetPoint(mesh.GetCell(c).GetPointId(k)) for k in range(3))
        total += (a[0] * (b[1] * d[2] - b[2] * d[1]) - a[1] * (b[0] * d[2] - b[2] * d[0]) +
                  a[2] * (b[0] * d[1] - b[1] * d[0])) / 6.0
    return total


ply = read_mesh(vtk.vtkPLYReader, os.path.join(work, "organ1.ply"))
ply_points = points_of(ply)
ml_printed = None
for name in ("organ.stl", "organ.obj"):
    printed = run("surface", recording, os.path.join(work, name))
    ml_printed = float(printed.split("\t")[2].split()[0])
    path = os.path.join(work, name.replace(".", "1."))
    mesh = read_mesh(vtk.vtkSTLReader if name.endswith(".stl") else vtk.vtkOBJReader, path)
    if name.endswith(".obj"):
        # The OBJ keeps the points in order, with their normals.
        got = points_of(mesh)
        if len(got) != len(ply_points) or any(abs(g - 10 * p) > 1e-3 for gp, pp in zip(got, ply_points)
                                              for g, p in zip(gp, pp)):
            failures.append(f"{name}: the points are not the PLY's in millimetres")
        normals = mesh.GetPointData().GetNormals()
        ply_normals = ply.GetPointData().GetNormals()
        if normals is None or normals.GetNumberOfTuples() != len(ply_points) or any(
                abs(a - b) > 1e-4 for i in range(len(ply_points))
                for a, b in zip(normals.GetTuple(i), ply_normals.GetTuple(i))):
            failures.append(f"{name}: the vertex normals are not the PLY's")
        top = max(range(len(got)), key=lambda i: got[i][2])
        if normals is not None and normals.GetTuple(top)[2] < 0.9:
            failures.append(f"{name}: the normal at the top is {normals.GetTuple(top)}, not up")
    else:
        # STL has no shared points: every PLY point must be found among the facets' corners.
        corners = set((round(x, 2), round(y, 2), round(z, 2)) for x, y, z in points_of(mesh))
        missing = sum((round(10 * x, 2), round(10 * y, 2), round(10 * z, 2)) not in corners for x, y, z in ply_points)
        if missing > len(ply_points) // 100:
            failures.append(f"{name}: {missing} of the PLY's points, in millimetres, are not facet corners")
        # The facet normals as written (VTK recomputes its own): outward, and the top facet faces up.
        import struct
        with open(path, "rb") as f:
            data = f.read()
        count = struct.unpack_from("<I", data, 80)[0]
        if len(data) != 84 + 50 * count or count != ply.GetNumberOfCells():
            failures.append(f"{name}: {count} facets in {len(data)} bytes, the PLY has {ply.GetNumberOfCells()}")
        centre = [sum(p[k] for p in ply_points) * 10 / len(ply_points) for k in range(3)]
        inward, top_z, top_normal = 0, -1e9, None
        for t in range(min(count, (len(data) - 84) // 50)):
            v = struct.unpack_from("<12f", data, 84 + 50 * t)
            n, a, b, c = v[0:3], v[3:6], v[6:9], v[9:12]
            mid = [(a[k] + b[k] + c[k]) / 3 for k in range(3)]
            if sum(n[k] * (mid[k] - centre[k]) for k in range(3)) <= 0:
                inward += 1
            if mid[2] > top_z:
                top_z, top_normal = mid[2], n
        # The segmented surface has a few tiny creases; a flipped mesh or normals that ignore the winding have many.
        if inward > count // 200:
            failures.append(f"{name}: {inward} of {count} facet normals point into the ellipsoid")
        if top_normal is None or top_normal[2] < 0.9:
            failures.append(f"{name}: the top facet's normal is {top_normal}, not up")
    volume = signed_volume(mesh)
    if abs(volume - 1000 * ml_printed) > 2e-3 * 1000 * ml_printed:
        failures.append(f"{name}: the winding encloses {volume:.1f} cubic mm, we print {ml_printed:.3f} ml")
    print(f"{name}: {mesh.GetNumberOfCells()} triangles enclosing {volume:.1f} cubic mm")
if failures:
    sys.exit("\n".join(failures))
