#!/usr/bin/python3
"""A synthetic bone with a known cortex, for scoring kestrane-tool thickness.

The bone is a capsule (a cylinder with hemispherical ends, its axis oblique to
the scanner's axes) of outer radius R. Along every radial line from the axis
the cortex runs from R inwards by T, where T is a smooth function of the outer
surface point (0.3 to 4 mm), so the thickness along each outer normal is T
exactly. Cortex 1600 HU, inside 200 HU, outside 0 HU.

The CT is made as a scanner would: the exact shape, blurred by a Gaussian
PSF (FWHM 1.2 mm in-plane, 1.5 mm across slices), point-sampled at voxel
centres (0.7 x 0.7 x 1.0 mm), plus 30 HU Gaussian noise (fixed seed). The
blur is computed as a sum over a fine grid (0.1 mm) of the shape's values,
with each boundary spread linearly over one fine cell so that the sum is
accurate; that spread is a box of width 0.1 mm along the boundary normal, and
its variance is taken off the PSF's so that the total blur is the PSF.
--self-check renders a ball with the same machinery and compares it with the
ball's closed-form blurred profile.

Writes into OUT: ct/ (a signed 16-bit DICOM series, one file per slice),
bone.nrrd (the same voxels), bone.ply (the outer surface in cm with outward
unit normals), bone_truth.csv (per vertex: thickness along the normal,
density, thin/thick class) and phantom.json (the parameters).

Run with Debian's python3 (python3-numpy, python3-scipy, python3-pydicom).
"""
import argparse
import json
import math
import os
import sys
import time

import numpy as np
from scipy.special import ndtr

FWHM_PER_SIGMA = 2.0 * math.sqrt(2.0 * math.log(2.0))
CORTEX_HU, INSIDE_HU, OUTSIDE_HU = 1600.0, 200.0, 0.0
FWHM_IN, FWHM_OUT = 1.2, 1.5            # mm
SPACING = (0.7, 0.7, 1.0)               # mm: x (columns), y (rows), z (slices)
NOISE_HU, SEED = 30.0, 20240611
FINE = 0.1                              # mm, the fine grid of the blur sum
RADIUS, HALF_LENGTH = 12.0, 10.0        # mm
THIN_MM, THICK_MM = 0.3, 4.0
MARGIN = 9.0                            # mm of outside around the bone: the profiles reach 6.3 mm out
# Stored = (HU - INTERCEPT) / SLOPE, signed: both signs occur.
SLOPE, INTERCEPT = 2.0, 1000.0
# Where the bone lies in patient coordinates (mm), off the voxel grid's symmetry.
CENTRE = np.array([31.37, -42.61, 118.23])
AXIS = np.array([0.3, 1.0, 0.2]) / np.linalg.norm([0.3, 1.0, 0.2])
SIDE = np.cross(AXIS, [0.0, 0.0, 1.0])
SIDE /= np.linalg.norm(SIDE)
THIRD = np.cross(AXIS, SIDE)


def ramp(s):
    """A boundary at s = 0 spread linearly over one fine cell (inside: s > 0)."""
    return np.clip(s / FINE + 0.5, 0.0, 1.0)


def thickness_at(p):
    """The cortex thickness (mm) at outer surface points p (..., 3), bone-centred:
    thin at one end, thick at the other, with a smooth change between that also
    leans across the bone; along the cylinder every normal, from within the
    slices to across them, meets both."""
    u = p @ AXIS + 0.3 * (p @ SIDE)
    s = np.clip((u + 12.0) / 22.0, 0.0, 1.0)
    return THIN_MM + (THICK_MM - THIN_MM) * s * s * (3.0 - 2.0 * s)


def capsule_values(x, y, z):
    """HU of the unblurred bone at points (patient mm), boundaries spread over one fine cell."""
    p = np.stack(np.broadcast_arrays(x - CENTRE[0], y - CENTRE[1], z - CENTRE[2]), axis=-1)
    t = np.clip(p @ AXIS, -HALF_LENGTH, HALF_LENGTH)
    q = t[..., None] * AXIS
    radial = p - q
    d = np.linalg.norm(radial, axis=-1)
    direction = radial / np.maximum(d, 1e-12)[..., None]
    thick = thickness_at(q + RADIUS * direction)
    bone = ramp(RADIUS - d)
    inside = ramp(RADIUS - thick - d)
    return OUTSIDE_HU + (CORTEX_HU - OUTSIDE_HU) * bone + (INSIDE_HU - CORTEX_HU) * inside


def gauss_matrix(coarse, fine, sigma):
    """Weights of the fine points for each coarse point: the Gaussian times the fine cell."""
    z = (fine[None, :] - coarse[:, None]) / sigma
    return np.exp(-0.5 * z * z) * (FINE / (sigma * math.sqrt(2.0 * math.pi)))


def render(values, lo, hi, axes, sigmas, extent=None):
    """The blurred field at the voxel centres `axes` (x, y, z coordinates, mm):
    the sum over the fine grid covering [lo, hi] (outside which values are 0)
    of values times the separable Gaussian of standard deviations sigmas.
    extent(z), when given, bounds the nonzero values in plane z more closely
    (x0, x1, y0, y1), which saves time."""
    fine = [np.arange(lo[i] - FINE, hi[i] + 1.5 * FINE, FINE) for i in range(3)]
    wx, wy, wz = (gauss_matrix(axes[i], fine[i], sigmas[i]) for i in range(3))
    planes = np.zeros((len(fine[2]), len(axes[1]), len(axes[0])))
    for k, z in enumerate(fine[2]):
        x0, x1, y0, y1 = extent(z) if extent else (lo[0], hi[0], lo[1], hi[1])
        cx = slice(*np.searchsorted(fine[0], [x0 - 2 * FINE, x1 + 2 * FINE]))
        cy = slice(*np.searchsorted(fine[1], [y0 - 2 * FINE, y1 + 2 * FINE]))
        if cx.start >= cx.stop or cy.start >= cy.stop:
            continue
        fx, fy = np.meshgrid(fine[0][cx], fine[1][cy])  # (y, x)
        v = values(fx, fy, z)
        planes[k] = wy[:, cy] @ (v @ wx[:, cx].T)
    return np.tensordot(wz, planes, axes=(1, 0))  # (z, y, x)


def capsule_extent(z):
    """Where the capsule meets plane z (patient mm): x0, x1, y0, y1 (empty if it does not)."""
    t = np.linspace(-HALF_LENGTH, HALF_LENGTH, 401)
    centres = CENTRE + t[:, None] * AXIS
    reach = RADIUS + FINE
    r2 = reach * reach - (z - centres[:, 2]) ** 2
    if not np.any(r2 > 0):
        return 0.0, -1.0, 0.0, -1.0
    r = np.sqrt(np.maximum(r2[r2 > 0], 0.0))
    c = centres[r2 > 0]
    # A little more than the discs: the sampled centres are 0.05 mm apart.
    return (c[:, 0] - r).min() - FINE, (c[:, 0] + r).max() + FINE, (c[:, 1] - r).min() - FINE, (c[:, 1] + r).max() + FINE


def psf_sigmas():
    """The render's Gaussian: the PSF less the fine-cell spread's variance."""
    spread = FINE * FINE / 12.0
    s_in, s_out = FWHM_IN / FWHM_PER_SIGMA, FWHM_OUT / FWHM_PER_SIGMA
    return (math.sqrt(s_in ** 2 - spread),) * 2 + (math.sqrt(s_out ** 2 - spread),)


def grid_axes():
    """Voxel centres (mm) covering the bone and MARGIN around it."""
    half = HALF_LENGTH * np.abs(AXIS) + RADIUS + MARGIN
    axes = []
    for i in range(3):
        n = int(math.ceil(2.0 * half[i] / SPACING[i])) + 1
        start = CENTRE[i] - 0.5 * (n - 1) * SPACING[i] + 0.173 * SPACING[i]
        axes.append(start + SPACING[i] * np.arange(n))
    return axes


def surface_mesh(rings, segments):
    """Vertices (bone-centred mm), outward unit normals and triangles of the
    capsule: `rings` rings of `segments` points, evenly spaced along a
    meridian, and the two poles."""
    cap = 0.5 * math.pi * RADIUS
    total = 2.0 * cap + 2.0 * HALF_LENGTH
    points, normals = [-(HALF_LENGTH + RADIUS) * AXIS], [-AXIS]
    for j in range(1, rings + 1):
        s = total * j / (rings + 1)
        if s < cap:  # the first end
            theta = s / RADIUS
            along, across, offset = -math.cos(theta), math.sin(theta), -HALF_LENGTH
        elif s <= cap + 2.0 * HALF_LENGTH:
            along, across, offset = 0.0, 1.0, s - cap - HALF_LENGTH
        else:
            psi = (s - cap - 2.0 * HALF_LENGTH) / RADIUS
            along, across, offset = math.sin(psi), math.cos(psi), HALF_LENGTH
        for m in range(segments):
            phi = 2.0 * math.pi * (m + 0.5 * (j % 2) + 0.137) / segments
            e = math.cos(phi) * SIDE + math.sin(phi) * THIRD
            n = along * AXIS + across * e
            points.append(offset * AXIS + RADIUS * n)
            normals.append(n)
    points.append((HALF_LENGTH + RADIUS) * AXIS)
    normals.append(AXIS)
    ring = lambda j, m: 1 + (j - 1) * segments + m % segments
    last = len(points) - 1
    faces = [(0, ring(1, m + 1), ring(1, m)) for m in range(segments)]
    for j in range(1, rings):
        for m in range(segments):
            a, b, c, d = ring(j, m), ring(j, m + 1), ring(j + 1, m), ring(j + 1, m + 1)
            faces += [(a, b, c), (b, d, c)]
    faces += [(ring(rings, m), ring(rings, m + 1), last) for m in range(segments)]
    normals = np.array(normals)
    return np.array(points), normals / np.linalg.norm(normals, axis=1)[:, None], faces


def write_ply(path, points_cm, normals, faces):
    lines = ["ply", "format ascii 1.0", "comment synthetic capsule bone, cm, outward normals",
             "element vertex %d" % len(points_cm)]
    lines += ["property float %s" % k for k in ("x", "y", "z", "nx", "ny", "nz")]
    lines += ["element face %d" % len(faces), "property list uchar int vertex_indices", "end_header"]
    lines += ["%.7f %.7f %.7f %.7f %.7f %.7f" % (*p, *n) for p, n in zip(points_cm, normals)]
    lines += ["3 %d %d %d" % f for f in faces]
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def write_nrrd(path, hu, axes):
    nz, ny, nx = hu.shape
    head = ("NRRD0004\ntype: short\ndimension: 3\nspace: left-posterior-superior\nsizes: %d %d %d\n"
            "space directions: (%r,0,0) (0,%r,0) (0,0,%r)\nspace origin: (%r,%r,%r)\nendian: little\n"
            "encoding: raw\n\n" % (nx, ny, nz, *SPACING, *(float(a[0]) for a in axes)))
    with open(path, "wb") as f:
        f.write(head.encode() + hu.astype("<i2").tobytes())


def write_dicom(folder, stored, axes):
    import pydicom  # noqa: F401  (only the writer needs it)
    from pydicom.dataset import FileDataset, FileMetaDataset
    from pydicom.uid import ExplicitVRLittleEndian
    os.makedirs(folder, exist_ok=True)
    root = "1.2.826.0.1.3680043.8.498.7317"
    for k in range(stored.shape[0]):
        uid = "%s.2.%d" % (root, k + 1)
        meta = FileMetaDataset()
        meta.MediaStorageSOPClassUID = "1.2.840.10008.5.1.4.1.1.2"
        meta.MediaStorageSOPInstanceUID = uid
        meta.TransferSyntaxUID = ExplicitVRLittleEndian
        meta.ImplementationClassUID = root + ".9"
        ds = FileDataset(None, {}, file_meta=meta, preamble=b"\0" * 128)
        ds.is_little_endian = True
        ds.is_implicit_VR = False
        ds.SOPClassUID = meta.MediaStorageSOPClassUID
        ds.SOPInstanceUID = uid
        ds.StudyInstanceUID = root + ".1"
        ds.SeriesInstanceUID = root + ".2"
        ds.FrameOfReferenceUID = root + ".3"
        ds.Modality = "CT"
        ds.PatientName = "Phantom^Cortex"
        ds.PatientID = "KSCORTEX"
        ds.SeriesNumber = 1
        ds.InstanceNumber = k + 1
        ds.ImagePositionPatient = [float(axes[0][0]), float(axes[1][0]), float(axes[2][k])]
        ds.ImageOrientationPatient = [1, 0, 0, 0, 1, 0]
        ds.PixelSpacing = [SPACING[1], SPACING[0]]  # between rows, between columns
        ds.SliceThickness = SPACING[2]
        ds.RescaleSlope = SLOPE
        ds.RescaleIntercept = INTERCEPT
        ds.RescaleType = "HU"
        ds.SamplesPerPixel = 1
        ds.PhotometricInterpretation = "MONOCHROME2"
        ds.Rows, ds.Columns = stored.shape[1], stored.shape[2]
        ds.BitsAllocated, ds.BitsStored, ds.HighBit = 16, 16, 15
        ds.PixelRepresentation = 1
        ds.PixelData = stored[k].astype("<i2").tobytes()
        ds.save_as(os.path.join(folder, "ct_%03d.dcm" % k), write_like_original=False)


def ball_self_check():
    """A ball rendered as the bone is, against its closed-form blurred profile
    (isotropic Gaussian): the render's error in HU over the contrast."""
    radius, contrast = 5.0, 1000.0
    sigma = FWHM_IN / FWHM_PER_SIGMA
    spread = FINE * FINE / 12.0
    centre = CENTRE
    axes = [centre[i] + SPACING[i] * (np.arange(-12, 13) + 0.31) for i in range(3)]

    def ball(x, y, z):
        d = np.sqrt((x - centre[0]) ** 2 + (y - centre[1]) ** 2 + (z - centre[2]) ** 2)
        return contrast * ramp(radius - d)

    s = math.sqrt(sigma ** 2 - spread)
    got = render(ball, centre - radius - FINE, centre + radius + FINE, axes, (s, s, s))
    z, y, x = np.meshgrid(axes[2], axes[1], axes[0], indexing="ij")
    rho = np.maximum(np.sqrt((x - centre[0]) ** 2 + (y - centre[1]) ** 2 + (z - centre[2]) ** 2), 1e-9)
    pdf = lambda u: np.exp(-0.5 * u * u) / math.sqrt(2.0 * math.pi)
    want = contrast * (ndtr((radius - rho) / sigma) - ndtr((-radius - rho) / sigma)
                       - sigma / rho * (pdf((radius - rho) / sigma) - pdf((radius + rho) / sigma)))
    error = np.max(np.abs(got - want))
    print("ball self-check: largest error %.4f HU of %.0f (%.2e)" % (error, contrast, error / contrast))
    # Left without the spread's variance taken off, the error would be 5.3e-4.
    return error / contrast < 4e-4


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("out", nargs="?", help="folder to write into")
    ap.add_argument("--rings", type=int, default=30, help="rings of surface vertices (default 30)")
    ap.add_argument("--segments", type=int, default=24, help="vertices a ring (default 24)")
    ap.add_argument("--spacing", help="voxel size X,Y,Z in mm instead of 0.7,0.7,1.0 (to study the sampling)")
    ap.add_argument("--noise", type=float, default=NOISE_HU, help="noise SD in HU (default 30)")
    ap.add_argument("--self-check", action="store_true", help="check the renderer against a blurred ball")
    args = ap.parse_args()
    if args.self_check:
        return 0 if ball_self_check() else 1
    if not args.out:
        ap.error("give the folder to write into")
    began = time.time()
    global SPACING
    if args.spacing:
        SPACING = tuple(float(v) for v in args.spacing.split(","))
    os.makedirs(args.out, exist_ok=True)
    axes = grid_axes()
    half = HALF_LENGTH * np.abs(AXIS) + RADIUS + 2 * FINE
    blurred = render(capsule_values, CENTRE - half, CENTRE + half, axes, psf_sigmas(), capsule_extent)
    rng = np.random.default_rng(SEED)
    noisy = blurred + rng.normal(0.0, args.noise, blurred.shape)
    stored = np.rint((noisy - INTERCEPT) / SLOPE).astype(np.int16)
    hu = (SLOPE * stored.astype(np.int32) + int(INTERCEPT)).astype(np.int16)  # what both files hold
    write_dicom(os.path.join(args.out, "ct"), stored, axes)
    write_nrrd(os.path.join(args.out, "bone.nrrd"), hu, axes)

    points, normals, faces = surface_mesh(args.rings, args.segments)
    write_ply(os.path.join(args.out, "bone.ply"), (points + CENTRE) / 10.0, normals, faces)
    truth = thickness_at(points)
    with open(os.path.join(args.out, "bone_truth.csv"), "w") as f:
        f.write("index,thickness_mm,density_hu,class,across_slices\n")
        for i, (t, n) in enumerate(zip(truth, normals)):
            kind = "thick" if t > 1.5 else "thin" if THIN_MM - 1e-9 <= t <= 1.2 else "between"
            f.write("%d,%.6f,%.1f,%s,%.6f\n" % (i, t, CORTEX_HU, kind, abs(n[2])))
    with open(os.path.join(args.out, "phantom.json"), "w") as f:
        json.dump({"density_hu": CORTEX_HU, "inside_hu": INSIDE_HU, "outside_hu": OUTSIDE_HU,
                   "fwhm_in_mm": FWHM_IN, "fwhm_out_mm": FWHM_OUT, "noise_hu": args.noise,
                   "spacing_mm": SPACING, "voxels": [len(a) for a in axes], "vertices": len(points),
                   "thin": int(np.sum((truth >= THIN_MM - 1e-9) & (truth <= 1.2))),
                   "thick": int(np.sum(truth > 1.5))}, f, indent=1)
    print("bone: %d vertices (%d thin, %d thick), %d x %d x %d voxels, %.1f s"
          % (len(points), np.sum(truth <= 1.2), np.sum(truth > 1.5), *(len(a) for a in axes), time.time() - began))
    return 0


if __name__ == "__main__":
    sys.exit(main())
