#!/usr/bin/python3
"""The peer of the shape-model benchmark: one iteration of VTK's
vtkIterativeClosestPointTransform (similarity, every point a landmark).

Reads the file the benchmark wrote: "points N" then N lines "x y z" (the
target points, moved onto the model), "vertices V" then V lines, "triangles T"
then T lines "a b c" (the model surface). Times REPEATS (the second argument)
single-iteration updates and prints "icp1 SECONDS MEAN_DISTANCE", the mean
time of one iteration and the mean distance VTK reports after it.
Exits 77 when python3 has no VTK.
"""
import sys
import time

try:
    import vtk
except ImportError:
    sys.exit(77)


def read(path):
    with open(path) as f:
        words = f.read().split()
    at = 0

    def block(name, width, kind):
        nonlocal at
        assert words[at] == name
        n = int(words[at + 1])
        at += 2
        values = [kind(w) for w in words[at:at + n * width]]
        at += n * width
        return [values[i * width:(i + 1) * width] for i in range(n)]

    return block('points', 3, float), block('vertices', 3, float), block('triangles', 3, int)


def main():
    points, vertices, triangles = read(sys.argv[1])
    repeats = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    source_points = vtk.vtkPoints()
    for p in points:
        source_points.InsertNextPoint(*p)
    source = vtk.vtkPolyData()
    source.SetPoints(source_points)
    model_points = vtk.vtkPoints()
    for v in vertices:
        model_points.InsertNextPoint(*v)
    cells = vtk.vtkCellArray()
    for t in triangles:
        cells.InsertNextCell(3)
        for i in t:
            cells.InsertCellPoint(i)
    model = vtk.vtkPolyData()
    model.SetPoints(model_points)
    model.SetPolys(cells)
    seconds = 0.0
    distance = 0.0
    for _ in range(repeats):
        icp = vtk.vtkIterativeClosestPointTransform()
        icp.SetSource(source)
        icp.SetTarget(model)
        icp.GetLandmarkTransform().SetModeToSimilarity()
        icp.SetMaximumNumberOfIterations(1)
        icp.SetMaximumNumberOfLandmarks(len(points))
        icp.StartByMatchingCentroidsOff()
        icp.CheckMeanDistanceOn()
        icp.SetMeanDistanceModeToRMS()
        start = time.perf_counter()
        icp.Modified()
        icp.Update()
        seconds += time.perf_counter() - start
        distance = icp.GetMeanDistance()
    print('icp1 %.6f %.6f' % (seconds / repeats, distance))


if __name__ == '__main__':
    main()
