#!/usr/bin/python3
"""Scores kestrane-tool thickness runs on the synthetic bone of make_cortex.py.

  check_thickness.py TRUTH_DIR [--estimated LABEL OUT_DIR STDOUT]... [--given LABEL OUT_DIR STDOUT]...
                     [--refit LABEL PROFILES.jsonl]... [--known-miss ID]... [--report-only]

--estimated: a run with --estimate-density; scored on the thick points
  (thickness bias and SD, share with a result) and on the estimate it printed
  (density within 5 % of the truth, in- and out-of-plane FWHM within 0.1 mm).
--given: a run with the density and blur given (--cortex, --gauss, --rect);
  scored on the thin points.
Every run is also scored on where it finds the outer edge: on the vertices,
whatever the thickness, unless the volume and the surface are misplaced.
--refit: the profiles a run dumped (--dump-profiles), refitted with scipy's
  least_squares (trf, bounds for the solver's barriers, from the dumped start,
  with the dumped weights): the share of fits agreeing in thickness (0.01 mm)
  and levels (5 HU), and whether the tool's cost is ever worse than scipy's.

Each target has an ID, LABEL.NAME, shown in the table. The exit status is 1
when a target is missed, unless --report-only, or unless the target is named
with --known-miss (which fails instead when that target is met, so that the
list is kept to what is really missed).
"""
import argparse
import csv
import json
import math
import os
import re
import sys

import numpy as np
from scipy.optimize import least_squares
from scipy.special import ndtr

UNKNOWN = 1e10
SQRT2PI = math.sqrt(2.0 * math.pi)
LEVELS = ("a", "b", "c")

THICK_BIAS, THICK_SD = 0.05, 0.3      # mm
THIN_BIAS, THIN_SD = 0.15, 0.3        # mm
RESULTS = 0.95                        # share of the scored points with a result
DENSITY_SHARE = 0.05                  # of the true density
FWHM_TOLERANCE = 0.1                  # mm
AGREE_MM, AGREE_HU, AGREE_SHARE = 0.01, 5.0, 0.99
COST_SLACK = 1e-6                     # relative
# Enough for all but a few fits of thin cortices with everything free, whose
# density and thickness trade off along a flat valley (counted as unconverged).
SCIPY_EVALUATIONS = 400
PLACEMENT = 0.1                       # mm, the outer edge's mean offset from the vertices


class Table:
    def __init__(self):
        self.rows = []

    def add(self, target_id, what, value, text="", met=None):
        """A row; met is None for figures without a target."""
        self.rows.append((target_id, what, value, text, None if met is None else bool(met)))

    def show(self, known):
        print("%-28s %-42s %12s  %-16s %s" % ("target", "measure", "value", "target", "status"))
        print("-" * 112)
        for target_id, what, value, text, met in self.rows:
            status = "" if met is None else "met" if met else "MISSED"
            if met is not None and target_id in known:
                status = "met (listed as missed!)" if met else "MISSED (known)"
            print("%-28s %-42s %12s  %-16s %s" % (target_id if met is not None else "", what, value, text, status))


def fmt(v, digits=3):
    return "n/a" if v is None or not np.isfinite(v) else "%.*f" % (digits, v)


def read_truth(folder):
    with open(os.path.join(folder, "bone_truth.csv")) as f:
        rows = list(csv.DictReader(f))
    with open(os.path.join(folder, "phantom.json")) as f:
        phantom = json.load(f)
    truth = {
        "thickness": np.array([float(r["thickness_mm"]) for r in rows]),
        "density": np.array([float(r["density_hu"]) for r in rows]),
        "class": np.array([r["class"] for r in rows]),
    }
    if list(map(int, (r["index"] for r in rows))) != list(range(len(rows))):
        sys.exit("check_thickness: %s/bone_truth.csv is not one row a vertex in order" % folder)
    return truth, phantom


def read_results(folder, name, count):
    path = os.path.join(folder, "%s_%s" % ("bone", name))
    v = np.fromfile(path, dtype="<f8")
    if v.size != count:
        sys.exit("check_thickness: %s holds %d values for %d points" % (path, v.size, count))
    return v


def read_estimate(stdout_path):
    """(density, density SD, modelled FWHM, in-plane FWHM, out-of-plane FWHM), or None when it failed."""
    with open(stdout_path) as f:
        text = f.read()
    m = re.search(r"Estimated real cortical density is (-?[\d.]+)\+/-(-?[\d.]+) HU \(background [^)]*\)\. \n"
                  r"Estimated FWHM blur is (-?[\d.]+) \(modelled\) or (-?[\d.]+) mm \(in\), (-?[\d.]+) mm \(out\)\.",
                  text)
    if m:
        return tuple(float(g) for g in m.groups())
    if "Cortical density estimation failed." not in text:
        sys.exit("check_thickness: %s has neither an estimate nor its failure: was --estimate-density given?"
                 % stdout_path)
    return None


def score_points(table, label, kind, truth, thickness, bias_limit, sd_limit, scored):
    """Bias and SD of the thickness error over the points of class `kind`:
    rows with targets when `scored`, figures only otherwise."""
    points = truth["class"] == kind
    has = points & (thickness < UNKNOWN) & np.isfinite(thickness)
    error = thickness[has] - truth["thickness"][points & has]
    share = has.sum() / max(points.sum(), 1)
    bias = float(np.mean(error)) if error.size else float("nan")
    sd = float(np.std(error, ddof=1)) if error.size > 1 else float("nan")
    what = "%s points (%d)" % (kind, points.sum())
    if scored:
        table.add(label + "." + kind + "_results", what + ": share with a result", fmt(share), ">= %.2f" % RESULTS,
                  share >= RESULTS)
        table.add(label + "." + kind + "_bias", what + ": bias (mm)", fmt(bias), "|x| < %.2f" % bias_limit,
                  bool(np.isfinite(bias) and abs(bias) < bias_limit))
        table.add(label + "." + kind + "_sd", what + ": SD (mm)", fmt(sd), "< %.2f" % sd_limit,
                  bool(np.isfinite(sd) and sd < sd_limit))
    else:
        table.add("", what + ": share, bias, SD", "%s %s %s" % (fmt(share, 2), fmt(bias), fmt(sd)))
    return error


def score_run(table, label, folder, stdout_path, truth, phantom, estimated):
    n = truth["thickness"].size
    thickness = read_results(folder, "thick_dat", n)
    density = read_results(folder, "density_dat", n)
    blur = read_results(folder, "blur_dat", n)
    table.add("", "== %s (%s)" % (label, "density and blur estimated" if estimated else "density and blur given"),
              "")
    score_points(table, label, "thick", truth, thickness, THICK_BIAS, THICK_SD, estimated)
    score_points(table, label, "thin", truth, thickness, THIN_BIAS, THIN_SD, not estimated)
    # The outer edge lies on every vertex: the fitted edge's mean offset tells
    # whether the volume and the surface were placed alike.
    surface = read_results(folder, "surface_dat", n)
    placed = (surface < UNKNOWN) & np.isfinite(surface)
    offset = float(np.mean(surface[placed])) if placed.any() else float("nan")
    table.add(label + ".surface", "outer edge from the vertex (mm, mean)", fmt(offset), "|x| < %.2f" % PLACEMENT,
              bool(np.isfinite(offset) and abs(offset) < PLACEMENT))
    thick = (truth["class"] == "thick") & (density < UNKNOWN)
    table.add("", "cortical density on thick points (HU, mean)", fmt(np.mean(density[thick]) if thick.any() else None, 0))
    fitted = (blur < UNKNOWN) & (thickness < UNKNOWN)
    table.add("", "fitted FWHM along the lines (mm, mean)", fmt(np.mean(blur[fitted]) if fitted.any() else None))
    if not estimated:
        return
    e = read_estimate(stdout_path)
    true_density = phantom["density_hu"]
    got = e[0] if e else None
    table.add(label + ".density", "estimated density (HU)" + ("" if e else ": estimation failed"), fmt(got, 0),
              "%.0f +/- %.0f%%" % (true_density, 100 * DENSITY_SHARE),
              got is not None and abs(got - true_density) <= DENSITY_SHARE * true_density)
    for key, index, truth_fwhm in (("fwhm_in", 3, phantom["fwhm_in_mm"]), ("fwhm_out", 4, phantom["fwhm_out_mm"])):
        got = e[index] if e else None
        table.add(label + "." + key, "estimated %s-plane FWHM (mm)" % key[5:], fmt(got, 2),
                  "%.1f +/- %.1f" % (truth_fwhm, FWHM_TOLERANCE),
                  got is not None and abs(got - truth_fwhm) <= FWHM_TOLERANCE + 1e-9)
    if e:
        table.add("", "estimated modelled FWHM (mm); density SD (HU)", "%s; %s" % (fmt(e[2], 2), fmt(e[1], 0)))


# The cortex model, positions in samples.
def phi_integral(z):
    return z * ndtr(z) + np.exp(-0.5 * z * z) / SQRT2PI


def step(x, edge, sigma, rect):
    if rect <= 1e-9:
        return ndtr((x - edge) / sigma)
    hi, lo = (x + 0.5 * rect - edge) / sigma, (x - 0.5 * rect - edge) / sigma
    return sigma / rect * (phi_integral(hi) - phi_integral(lo))


def model(x, p, rect, inner_edge, endo_layer):
    v = p["a"] + (p["b"] - p["a"]) * step(x, p["outer"], p["sigma"], rect)
    if inner_edge and endo_layer:
        half = 0.5 * (p["c"] - p["b"])
        v = v + half * step(x, p["inner"] - p["endo"], p["sigma"], rect) + half * step(x, p["inner"], p["sigma"], rect)
    elif inner_edge:
        v = v + (p["c"] - p["b"]) * step(x, p["inner"], p["sigma"], rect)
    return v


def jacobian(x, w, p, free, inner_edge, endo_layer):
    """d residual / d parameter without a box blur (the tool never sets one)."""
    s = p["sigma"]
    pdf = lambda e: np.exp(-0.5 * ((x - e) / s) ** 2) / (SQRT2PI * s)
    zpdf = lambda e: pdf(e) * (x - e) / s
    so, si = ndtr((x - p["outer"]) / s), ndtr((x - p["inner"]) / s)
    half = 0.5 * (p["c"] - p["b"])
    cols = []
    for name in free:
        if name == "sigma":
            d = -(p["b"] - p["a"]) * zpdf(p["outer"])
            if inner_edge and endo_layer:
                d = d - half * (zpdf(p["inner"] - p["endo"]) + zpdf(p["inner"]))
            elif inner_edge:
                d = d - (p["c"] - p["b"]) * zpdf(p["inner"])
        elif name == "outer":
            d = -(p["b"] - p["a"]) * pdf(p["outer"])
        elif name == "inner":
            d = -(half * (pdf(p["inner"] - p["endo"]) + pdf(p["inner"])) if endo_layer
                  else (p["c"] - p["b"]) * pdf(p["inner"]))
        elif name == "endo":
            d = half * pdf(p["inner"] - p["endo"])
        elif name == "a":
            d = 1.0 - so
        elif name == "b":
            if inner_edge and endo_layer:
                d = so - 0.5 * (ndtr((x - p["inner"] + p["endo"]) / s) + si)
            else:
                d = so - si if inner_edge else so
        elif name == "c":
            d = 0.5 * (ndtr((x - p["inner"] + p["endo"]) / s) + si) if endo_layer else si
        cols.append(w * d)
    return np.stack(cols, axis=1)


def bounds_of(name, n):
    last = n - 1.0
    return {"sigma": (1.0, 0.25 * last), "outer": (0.0, last), "inner": (0.0, last),
            "endo": (0.0, last)}.get(name, (-np.inf, np.inf))


def barrier(v):
    """The tool's barrier residual for a violation v (positive when out of order)."""
    e = 100.0 * v
    return 10.0 ** max(e, -300.0) if not e > 6.0 else 1e6 * (1.0 + math.log(10.0) * (e - 6.0))


def barrier_cost(d, p):
    """What the tool's barriers add to its objective at parameters p."""
    last = len(d["values"]) - 1.0
    b = [barrier(-p["outer"]), barrier(p["outer"] - last)]
    if d["inner_edge"]:
        b += [barrier(p["outer"] - p["inner"]), barrier(p["inner"] - last)]
    if "sigma" in d["free"]:
        b += [barrier(1.0 - p["sigma"]), barrier(p["sigma"] - 0.25 * last)]
    if "endo" in d["free"]:
        b += [barrier(-p["endo"]), barrier(p["endo"] - (p["inner"] - p["outer"]))]
    return sum(v * v for v in b)


def refit(d):
    """scipy's fit of one dumped profile: (its parameters, its cost, the tool's cost recomputed)."""
    values = np.array([np.nan if v is None else v for v in d["values"]], dtype=float)
    n = values.size
    w = np.array(d["weights"], dtype=float)
    used = (np.array(d["valid"]) > 0) & np.isfinite(values) & (w > 0)
    x, v, w = np.arange(n, dtype=float)[used], values[used], w[used]
    free, start, rect = d["free"], dict(d["start"]), d["rect"] or 0.0
    inner_edge, endo_layer = d["inner_edge"], d["endo_layer"]
    lo = np.array([bounds_of(k, n)[0] for k in free])
    hi = np.array([bounds_of(k, n)[1] for k in free])
    x0 = np.array([start[k] for k in free], dtype=float)
    span = np.where(np.isfinite(hi - lo), hi - lo, 1.0)
    x0 = np.clip(x0, lo + 1e-9 * span, hi - 1e-9 * span)

    def params(q):
        p = dict(start)
        p.update(zip(free, q))
        return p

    def residuals(q):
        return w * (model(x, params(q), rect, inner_edge, endo_layer) - v)

    jac = (lambda q: jacobian(x, w, params(q), free, inner_edge, endo_layer)) if rect <= 1e-9 else "3-point"
    r = least_squares(residuals, x0, jac=jac, bounds=(lo, hi), method="trf", x_scale="jac",
                      ftol=1e-14, xtol=1e-14, gtol=1e-14, max_nfev=SCIPY_EVALUATIONS)
    ours = d["fit"]
    our_cost = float(np.sum((w * (model(x, ours, rect, inner_edge, endo_layer) - v)) ** 2))
    return params(r.x), float(np.sum(r.fun ** 2)), our_cost, r.status > 0


def score_refit(table, label, path, detail):
    fits = [json.loads(line) for line in open(path) if line.strip()]
    ok = [d for d in fits if d["fit"]["ok"] and d["metal_side"] == 0]
    agree, worse, inconsistent = 0, [], []
    disagree, unconverged = [], 0
    causes = dict.fromkeys(("sigma at its lower bound", "equal cost (a flat valley)",
                            "worse, yet better with its barriers"), 0)
    for d in ok:
        p, cost, recomputed, converged = refit(d)
        unconverged += not converged
        f, step_mm = d["fit"], d["step_mm"]
        if d["inner_edge"]:
            gap = abs((f["inner"] - f["outer"]) - (p["inner"] - p["outer"])) * step_mm
        else:
            gap = abs(f["outer"] - p["outer"]) * step_mm
        levels = [k for k in LEVELS if k in d["free"]]
        level_gap = max([abs(f[k] - p[k]) for k in levels] or [0.0])
        if gap <= AGREE_MM and level_gap <= AGREE_HU:
            agree += 1
        else:
            disagree.append((gap, level_gap, d, p, cost))
            at_bound = "sigma" in d["free"] and (abs(f["sigma"] - 1.0) < 0.02 or p["sigma"] < 1.0 + 1e-6)
            flat = abs(f["cost"] - cost) <= COST_SLACK * cost
            causes["sigma at its lower bound"] += at_bound
            causes["equal cost (a flat valley)"] += flat and not at_bound
        if f["cost"] > cost * (1.0 + COST_SLACK):
            worse.append(((f["cost"] - cost) / cost, d, p, cost))
            # On its own objective, barriers included, the tool may still have done better.
            causes["worse, yet better with its barriers"] += (
                f["cost"] + barrier_cost(d, f) <= cost + barrier_cost(d, p))
        if abs(recomputed - f["cost"]) > 1e-9 * max(1.0, f["cost"]):
            inconsistent.append((d["point"], recomputed, f["cost"]))
    share = agree / max(len(ok), 1)
    table.add("", "== %s: %d profiles dumped, %d ok without metal, refitted" % (label, len(fits), len(ok)), "")
    # The model here must be the tool's for the comparison to mean anything.
    table.add(label + ".model", "dumped costs unlike their fits' (1e-9 rel.)", "%d" % len(inconsistent), "0",
              not inconsistent)
    table.add("", "scipy fits stopped at %d evaluations" % SCIPY_EVALUATIONS, "%d" % unconverged)
    table.add(label + ".agree", "share agreeing (%.2f mm, %.0f HU)" % (AGREE_MM, AGREE_HU), fmt(share, 4),
              ">= %.2f" % AGREE_SHARE, bool(ok) and share >= AGREE_SHARE)
    table.add(label + ".cost", "tool's cost worse than scipy's (%g rel.)" % COST_SLACK, "%d" % len(worse), "0",
              bool(ok) and not worse)
    if worse:
        table.add("", "worst relative excess of the tool's cost", "%.3g" % max(x[0] for x in worse))
    if disagree or worse:
        table.add("", "disagreeing: sigma at its lower bound; flat", "%d; %d" % (
            causes["sigma at its lower bound"], causes["equal cost (a flat valley)"]))
        table.add("", "worse, yet better on samples + barriers", "%d" % causes["worse, yet better with its barriers"])
    return lambda: print_refit_detail(label, disagree, worse, inconsistent, detail)


def describe(d, p):
    f = d["fit"]
    names = d["free"]
    ours = " ".join("%s=%.4g" % (k, f[k]) for k in names)
    theirs = " ".join("%s=%.4g" % (k, p[k]) for k in names)
    return "tool: %s cost=%.6g | scipy: %s" % (ours, f["cost"], theirs)


def print_refit_detail(label, disagree, worse, inconsistent, count):
    """The largest disagreements, for finding out why (printed under the table)."""
    if inconsistent:
        print("%s: dumped cost unlike the recomputed one at points %s" % (label, [x[0] for x in inconsistent[:10]]))
    for gap, level_gap, d, p, cost in sorted(disagree, key=lambda x: -x[0])[:count]:
        print("%s disagree: point %d thickness gap %.4f mm, level gap %.2f HU, scipy cost %.6g, free %s\n  %s"
              % (label, d["point"], gap, level_gap, cost, ",".join(d["free"]), describe(d, p)))
    for excess, d, p, cost in sorted(worse, key=lambda x: -x[0])[:count]:
        print("%s worse: point %d cost %.6g vs scipy %.6g (+%.3g)\n  %s"
              % (label, d["point"], d["fit"]["cost"], cost, excess, describe(d, p)))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("truth", help="the folder make_cortex.py wrote")
    ap.add_argument("--estimated", nargs=3, action="append", default=[], metavar=("LABEL", "OUT_DIR", "STDOUT"))
    ap.add_argument("--given", nargs=3, action="append", default=[], metavar=("LABEL", "OUT_DIR", "STDOUT"))
    ap.add_argument("--refit", nargs=2, action="append", default=[], metavar=("LABEL", "PROFILES"))
    ap.add_argument("--known-miss", action="append", default=[], metavar="ID",
                    help="a target known to be missed: reported, and failing only once it is met")
    ap.add_argument("--detail", type=int, default=0, metavar="N", help="print the N worst refit cases")
    ap.add_argument("--report-only", action="store_true", help="exit 0 whatever is missed")
    args = ap.parse_args()

    truth, phantom = read_truth(args.truth)
    table = Table()
    for label, folder, stdout_path in args.estimated:
        score_run(table, label, folder, stdout_path, truth, phantom, True)
    for label, folder, stdout_path in args.given:
        score_run(table, label, folder, stdout_path, truth, phantom, False)
    details = [score_refit(table, label, path, args.detail) for label, path in args.refit]
    known = set(args.known_miss)
    table.show(known)
    if args.detail:
        print()
        for show in details:
            show()
        print()

    ids = {row[0] for row in table.rows if row[4] is not None}
    unknown = sorted(known - ids)
    missed = [row[0] for row in table.rows if row[4] is False and row[0] not in known]
    now_met = [row[0] for row in table.rows if row[4] is True and row[0] in known]
    if unknown:
        print("no such target: %s" % " ".join(unknown))
    if missed:
        print("MISSED: %s" % " ".join(missed))
    if now_met:
        print("met, though listed as missed (take them off the list): %s" % " ".join(now_met))
    scored = sum(1 for row in table.rows if row[4] is not None)
    print("%d targets: %d met, %d missed" % (scored, sum(1 for r in table.rows if r[4] is True),
                                             sum(1 for r in table.rows if r[4] is False)))
    if args.report_only:
        return 0
    return 1 if missed or now_met or unknown else 0


if __name__ == "__main__":
    sys.exit(main())
