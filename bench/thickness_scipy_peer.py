#!/usr/bin/python3
"""The cortex profile fit by scipy.optimize.least_squares, as a peer for
thickness_bench: the same model (levels a, b, c; outer and inner edges;
Gaussian sigma; steps blurred exactly through the error function), the same
start, every parameter free, one fit per profile. Input file: one line per
profile, 'use 0|1', 'start A B C OUTER INNER SIGMA' then 'values V0 V1 ...'.
Prints 'METHOD SECONDS_PER_FIT COST' for lm and trf: the time over all
profiles, COST the summed squared residuals over those marked 'use 1'."""
import sys
import time

import numpy as np
from scipy.optimize import least_squares
from scipy.special import erfc


def model(p, x):
    a, b, c, outer, inner, sigma = p
    phi = lambda z: 0.5 * erfc(-z / np.sqrt(2.0))
    return a + (b - a) * phi((x - outer) / sigma) + (c - b) * phi((x - inner) / sigma)


def main():
    profiles = []
    start = None
    use = True
    with open(sys.argv[1]) as f:
        for row in f:
            w = row.split()
            if w[0] == "use":
                use = w[1] == "1"
            elif w[0] == "start":
                start = np.array([float(v) for v in w[1:]])
            elif w[0] == "values":
                profiles.append((use, start, np.array([float(v) for v in w[1:]])))
    for method in ("lm", "trf"):
        cost = 0.0
        t0 = time.perf_counter()
        for use, p0, v in profiles:
            x = np.arange(len(v), dtype=float)
            if method == "trf":
                # The limits ours keeps by barriers: edges on the line, sigma from 1 sample to a quarter of it.
                last = len(v) - 1.0
                lo = [-np.inf, -np.inf, -np.inf, 0.0, 0.0, 1.0]
                hi = [np.inf, np.inf, np.inf, last, last, last / 4.0]
                start = np.clip(p0, np.array(lo) + 1e-9, np.array(hi) - 1e-9)
                r = least_squares(lambda p: model(p, x) - v, start, method=method, xtol=1e-8, ftol=1e-8,
                                  bounds=(lo, hi))
            else:
                r = least_squares(lambda p: model(p, x) - v, p0, method=method, xtol=1e-8, ftol=1e-8)
            if use:
                cost += float(np.sum(r.fun ** 2))
        seconds = (time.perf_counter() - t0) / len(profiles)
        print(method, seconds, cost)


main()
