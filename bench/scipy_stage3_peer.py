#!/usr/bin/python3
"""The plane calibration's third stage solved by scipy.optimize.least_squares,
as a peer for calibration_bench: the same residuals and analytic Jacobian from
the same start. Input file: 'scales SX SY', 'start' with nine values, then one
'line X1 Y1K X2 Y2K R00 R01 R02 R10 R11 R12 R20 R21 R22 TX TY TZ' per line.
Prints 'METHOD SECONDS_PER_RUN RMS' for lm and trf."""
import sys
import time

import numpy as np
from scipy.optimize import least_squares


def rotation(a, e, r):
    ca, sa, ce, se, cr, sr = np.cos(a), np.sin(a), np.cos(e), np.sin(e), np.cos(r), np.sin(r)
    rz = np.array([[ca, -sa, 0], [sa, ca, 0], [0, 0, 1]])
    drz = np.array([[-sa, -ca, 0], [ca, -sa, 0], [0, 0, 0]])
    ry = np.array([[ce, 0, se], [0, 1, 0], [-se, 0, ce]])
    dry = np.array([[-se, 0, ce], [0, 0, 0], [-ce, 0, -se]])
    rx = np.array([[1, 0, 0], [0, cr, -sr], [0, sr, cr]])
    drx = np.array([[0, 0, 0], [0, -sr, -cr], [0, cr, -sr]])
    return rz @ ry @ rx, drz @ ry @ rx, rz @ dry @ rx, rz @ ry @ drx


def main():
    path, repeats = sys.argv[1], int(sys.argv[2])
    lines, start, sx, sy = [], None, 0.0, 0.0
    with open(path) as f:
        for row in f:
            w = row.split()
            if w[0] == "scales":
                sx, sy = float(w[1]), float(w[2])
            elif w[0] == "start":
                start = np.array([float(v) for v in w[1:]])
            elif w[0] == "line":
                lines.append([float(v) for v in w[1:]])
    data = np.array(lines)
    # Both end points of every line, in order: first, then second.
    p = np.zeros((2 * len(data), 3))
    p[0::2, 0], p[0::2, 1] = sx * data[:, 0], sy * data[:, 1]
    p[1::2, 0], p[1::2, 1] = sx * data[:, 2], sy * data[:, 3]
    rot = np.repeat(data[:, 4:13].reshape(-1, 3, 3), 2, axis=0)
    trans = np.repeat(data[:, 13:16], 2, axis=0)

    def parts(x):
        ca, sa, cb, sb = np.cos(x[1]), np.sin(x[1]), np.cos(x[2]), np.sin(x[2])
        n = np.array([-sa, ca * sb, ca * cb])
        rc, da, de, dr = rotation(x[6], x[7], x[8])
        sensor = p @ rc.T + x[3:6]
        world = np.einsum("kij,kj->ki", rot, sensor) + trans
        return n, (ca, sa, cb, sb), (rc, da, de, dr), world

    def fun(x):
        n, _, _, world = parts(x)
        return world @ n + x[0]

    def jac(x):
        n, (ca, sa, cb, sb), (_, da, de, dr), world = parts(x)
        w = np.einsum("kji,j->ki", rot, n)  # R_i^T n
        j = np.empty((len(p), 9))
        j[:, 0] = 1.0
        j[:, 1] = world @ np.array([-ca, -sa * sb, -sa * cb])
        j[:, 2] = world @ np.array([0.0, ca * cb, -ca * sb])
        j[:, 3:6] = w
        j[:, 6] = np.einsum("ki,ki->k", w, p @ da.T)
        j[:, 7] = np.einsum("ki,ki->k", w, p @ de.T)
        j[:, 8] = np.einsum("ki,ki->k", w, p @ dr.T)
        return j

    tol = np.sqrt(np.finfo(float).eps)
    for method in ("lm", "trf"):
        t0 = time.perf_counter()
        for _ in range(repeats):
            r = least_squares(fun, start, jac=jac, method=method, ftol=tol, xtol=tol, gtol=1e-15)
        seconds = (time.perf_counter() - t0) / repeats
        print(method, seconds, np.sqrt(np.mean(r.fun ** 2)), flush=True)


main()
