#!/usr/bin/python3
"""The peer of the surface benchmark: VTK's surface from parallel contours.

Reads the contours the benchmark wrote (one block per object), builds each
object's surface with vtkVoxelContoursToSurfaceFilter REPEATS times (the
second argument, default 1) and prints, per object, "NAME SECONDS PEAK_KB
VOLUME_ML": the filter's mean time, how far its first run raised this
process's peak memory, and the volume vtkMassProperties finds.
Exits 77 when python3 has no VTK.
"""
import sys
import time

try:
    import vtk
except ImportError:
    sys.exit(77)


def peak_kb():
    with open('/proc/self/status') as status:
        for line in status:
            if line.startswith('VmHWM:'):
                return int(line.split()[1])
    return 0


def objects(path):
    name, spacing, contours = None, None, []
    with open(path) as f:
        for line in f:
            fields = line.split()
            if not fields:
                continue
            if fields[0] == 'object':
                name, contours = fields[1], []
            elif fields[0] == 'spacing':
                spacing = (float(fields[1]), float(fields[2]))
            elif fields[0] == 'contour':
                z = float(fields[1])
                xy = [float(v) for v in fields[2:]]
                contours.append((z, list(zip(xy[0::2], xy[1::2]))))
            elif fields[0] == 'end':
                yield name, spacing, contours


def build(spacing, contours, repeats):
    points = vtk.vtkPoints()
    polys = vtk.vtkCellArray()
    # The filter wants the contours in order of increasing z.
    for z, ring in sorted(contours, key=lambda c: c[0]):
        ids = []
        for x, y in ring:
            ids.append(points.InsertNextPoint(x, y, z))
        polys.InsertNextCell(len(ids))
        for i in ids:
            polys.InsertCellPoint(i)
    data = vtk.vtkPolyData()
    data.SetPoints(points)
    data.SetPolys(polys)
    seconds, raised = 0.0, 0
    for run in range(repeats):
        surface = vtk.vtkVoxelContoursToSurfaceFilter()
        surface.SetInputData(data)
        surface.SetSpacing(spacing[0], spacing[0], spacing[1])
        before = peak_kb()
        start = time.perf_counter()
        surface.Update()
        seconds += time.perf_counter() - start
        if run == 0:
            raised = peak_kb() - before
    seconds /= repeats
    # The filter builds the volume in slabs and leaves points unmerged and a
    # few small gaps where they meet: merged and filled, the surface is closed
    # (the fill adds no measurable volume), and turned consistently outward.
    merged = vtk.vtkCleanPolyData()
    merged.SetInputConnection(surface.GetOutputPort())
    filled = vtk.vtkFillHolesFilter()
    filled.SetInputConnection(merged.GetOutputPort())
    filled.SetHoleSize(1e9)
    triangles = vtk.vtkTriangleFilter()
    triangles.SetInputConnection(filled.GetOutputPort())
    triangles.PassLinesOff()
    triangles.PassVertsOff()
    outward = vtk.vtkPolyDataNormals()
    outward.SetInputConnection(triangles.GetOutputPort())
    outward.ConsistencyOn()
    outward.AutoOrientNormalsOn()
    outward.SplittingOff()
    mass = vtk.vtkMassProperties()
    mass.SetInputConnection(outward.GetOutputPort())
    mass.Update()
    edges = vtk.vtkFeatureEdges()
    edges.SetInputConnection(outward.GetOutputPort())
    edges.BoundaryEdgesOn()
    edges.NonManifoldEdgesOn()
    edges.FeatureEdgesOff()
    edges.ManifoldEdgesOff()
    edges.Update()
    if edges.GetOutput().GetNumberOfCells() != 0:
        print('open surface: the volume is not meaningful', file=sys.stderr)
    return seconds, raised, mass.GetVolume()


def main():
    repeats = int(sys.argv[2]) if len(sys.argv) > 2 else 1
    for name, spacing, contours in objects(sys.argv[1]):
        seconds, raised, volume = build(spacing, contours, max(1, repeats))
        print('%s %.6f %d %.6f' % (name, seconds, raised, volume))


if __name__ == '__main__':
    main()
