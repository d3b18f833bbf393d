"""Voxel volumes from kestrane-tool export-voxels, read by other programs'
readers: VTK's NRRD, MetaImage and NIfTI readers, nibabel, and teem's unu.

Each must see the voxel values Kestrane wrote (the 8-bit ones of the same
export as a .ks recording, whose image file is the raw slices; for a DICOM CT,
its Hounsfield units where the slices were), the spacing, and voxel (0, 0, 0)
and the far corner at the world positions (mm) the tool reports. Those are
LPS: NRRD says so, MetaImage is LPS by ITK's convention, and NIfTI's affine
(RAS) must give them with x and y negated. Exits 77 (skipped) when VTK or
nibabel is missing.

Usage: volume_files_check.py TOOL WORK_DIR
"""
import os
import re
import shutil
import subprocess
import sys

try:
    import numpy as np
    import nibabel
    from vtkmodules.util.numpy_support import vtk_to_numpy
    # The plain readers: vtk's package-wide import swaps in MPI ones that need a controller.
    from vtkmodules.vtkIOImage import vtkMetaImageReader, vtkNIFTIImageReader, vtkNrrdReader
except ImportError as e:
    print("python3 vtk, nibabel or numpy is missing (%s): skipped" % e)
    sys.exit(77)

tool, work = sys.argv[1], sys.argv[2]
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
failures = []
UNU = shutil.which("teem-unu") or shutil.which("unu")


def expect(what, ok):
    if not ok:
        failures.append(what)


def run(*args, status=0):
    done = subprocess.run([tool, *args], capture_output=True, text=True)
    if done.returncode != status:
        sys.exit("kestrane-tool %s gave %d, not %d:\n%s%s" % (" ".join(args), done.returncode, status, done.stdout,
                                                             done.stderr))
    return done.stdout + done.stderr


def export(recording, out, *options):
    """The layout and corner positions (LPS mm) the tool reports."""
    text = run("export-voxels", recording, out, *options)
    m = re.search(r": (\d+) slices of (\d+) x (\d+) voxels\nvoxel \(0, 0, 0\) at \((\S+), (\S+), (\S+)\) mm, "
                  r"voxel \((\d+), (\d+), (\d+)\) at \((\S+), (\S+), (\S+)\) mm", text)
    if not m:
        sys.exit("unexpected export report: %r" % text)
    n, w, h = int(m.group(1)), int(m.group(2)), int(m.group(3))
    first = np.array([float(m.group(i)) for i in (4, 5, 6)])
    last = np.array([float(m.group(i)) for i in (10, 11, 12)])
    expect("%s: far corner index" % out, (int(m.group(7)), int(m.group(8)), int(m.group(9))) == (w - 1, h - 1, n - 1))
    return (w, h, n), first, last


def vtk_read(reader_type, path):
    reader = reader_type()
    reader.SetFileName(path)
    reader.Update()
    image = reader.GetOutput()
    scalars = image.GetPointData().GetScalars()
    if scalars is None:
        failures.append("VTK read no voxels from " + path)
        return reader, image, None
    return reader, image, vtk_to_numpy(scalars).reshape(image.GetDimensions()[::-1])


def header_axes(path, key, scaled):
    """The three axis vectors a NRRD or MetaImage header gives (unit when `scaled` is false)."""
    with open(path, "rb") as f:
        head = f.read(4096).split(b"\n\n")[0].decode("latin-1")
    line = next(l for l in head.splitlines() if l.startswith(key))
    numbers = [float(v) for v in re.findall(r"[-+0-9.eE]+", line.split(key, 1)[1])]
    return np.array(numbers).reshape(3, 3), head


def check_geometry(name, size, first, last, origin, spacing, axes, want_spacing):
    """Voxel (0, 0, 0) and the far corner from a reader's origin, spacing and axes (rows), LPS mm."""
    far = origin + sum((size[a] - 1) * spacing[a] * axes[a] for a in range(3))
    expect("%s: voxel (0,0,0) at %s, Kestrane says %s" % (name, origin, first), np.allclose(origin, first, atol=2e-4))
    expect("%s: far corner at %s, Kestrane says %s" % (name, far, last), np.allclose(far, last, atol=2e-3))
    expect("%s: spacing %s, want %s" % (name, spacing, want_spacing), np.allclose(spacing, want_spacing, atol=1e-5))


def check_all_readers(stem, recording, want, size, first, last, want_spacing, options, dtype):
    """Every type of file, read by every reader, against the values `want` (slices, rows, columns)."""
    for suffix, extra in ((".nrrd", []), ("_gz.nrrd", ["--gzip"]), (".mha", []), (".nii", []), (".nii.gz", [])):
        path = os.path.join(work, stem + suffix)
        got_size, got_first, got_last = export(recording, path, *options, *extra)
        expect("%s: layout %s, the .ks export had %s" % (path, got_size, size), got_size == size)
        expect("%s: corners differ from the .ks export's" % path,
               np.allclose(got_first, first) and np.allclose(got_last, last))
        if suffix.endswith(".nrrd") or suffix == ".mha":
            reader_type = vtkNrrdReader if suffix.endswith(".nrrd") else vtkMetaImageReader
            _, image, values = vtk_read(reader_type, path)
            if values is not None:
                expect("%s: VTK reads %s voxels" % (path, values.dtype), values.dtype == dtype)
                expect("%s: VTK reads other voxel values" % path, np.array_equal(values, want))
            spacing = np.array(image.GetSpacing())
            if suffix.endswith(".nrrd"):
                directions, head = header_axes(path, "space directions:", True)
                axes = directions / np.linalg.norm(directions, axis=1)[:, None]
                expect("%s: the NRRD space is not LPS" % path, "space: left-posterior-superior" in head)
            else:
                axes, head = header_axes(path, "TransformMatrix =", False)
            check_geometry(path + " (VTK)", size, first, last, np.array(image.GetOrigin()), spacing, axes,
                           want_spacing)
            if UNU and suffix.endswith(".nrrd"):
                # unu parses the whole file, data included; a bad header or short data fails here.
                done = subprocess.run([UNU, "minmax", path], capture_output=True, text=True)
                m = re.search(r"min: (\S+)\nmax: (\S+)", done.stdout)
                expect("%s: unu minmax says %r %r" % (path, done.stdout, done.stderr),
                       done.returncode == 0 and m and float(m.group(1)) == want.min() and
                       float(m.group(2)) == want.max())
        else:
            img = nibabel.load(path)
            values = np.asarray(img.dataobj).transpose(2, 1, 0)
            expect("%s: nibabel reads %s voxels" % (path, values.dtype), values.dtype == dtype)
            expect("%s: nibabel reads other voxel values" % path, np.array_equal(values, want))
            ras_to_lps = np.diag([-1.0, -1.0, 1.0])
            for which, affine in (("affine", img.affine), ("qform", img.get_qform()), ("sform", img.get_sform())):
                at = lambda ijk: ras_to_lps @ (affine @ np.append(np.array(ijk, float), 1.0))[:3]
                expect("%s: nibabel %s puts voxel (0,0,0) at LPS %s, Kestrane %s" % (path, which, at((0, 0, 0)), first),
                       np.allclose(at((0, 0, 0)), first, atol=2e-4))
                far = at(tuple(s - 1 for s in size))
                expect("%s: nibabel %s puts the far corner at LPS %s, Kestrane %s" % (path, which, far, last),
                       np.allclose(far, last, atol=2e-3))
            expect("%s: nibabel zooms %s" % (path, img.header.get_zooms()),
                   np.allclose(img.header.get_zooms(), want_spacing, atol=1e-5))
            _, image, values = vtk_read(vtkNIFTIImageReader, path)
            if values is not None:
                expect("%s: VTK's NIfTI reader reads other voxel values" % path, np.array_equal(values, want))
            expect("%s: VTK's NIfTI spacing" % path, np.allclose(image.GetSpacing(), want_spacing, atol=1e-5))


# Ultrasound: the demo sweep, whose frames are slightly turned, so every axis matters.
run("make-demo", work, "--frames", "20", "--size", "64x48")
demo = os.path.join(work, "kestrane_demo.ks")
for stem, options in (("step2", ["--step", "2", "--spacing", "1.5"]),  # three spacings, odd sizes
                      ("one", ["--spacing", "1000"])):  # a single slice
    size, first, last = export(demo, os.path.join(work, stem + ".ks"), *options)
    raw = np.fromfile(os.path.join(work, stem + ".kvi"), dtype=np.uint8).reshape(size[::-1])
    with open(demo) as f:
        pixel_mm = 10 * float(re.search(r"RES_XSCALE (\S+)", f.read()).group(1))
    step = 2 if stem == "step2" else 1
    want_spacing = (step * pixel_mm, step * pixel_mm, 1.5 if stem == "step2" else 1000.0)
    expect("%s: the demo must fill part of the volume" % stem, 0 < np.count_nonzero(raw) < raw.size)
    check_all_readers(stem, demo, raw, size, first, last, want_spacing, options, np.uint8)

# A CT: turned slices of 16-bit values linear in the voxel indices, so any
# interpolation between them is exact; read through its DICOM files.
ct_dir = os.path.join(work, "ct")
rows, columns, slices = 9, 11, 6
pixel = (0.8, 0.7)  # mm between rows, between columns
gap = 1.25
row_dir, column_dir = np.array([0.0, 0.8, 0.6]), np.array([1.0, 0.0, 0.0])  # IOP: along a row, down a column
normal = np.cross(row_dir, column_dir)
corner = np.array([12.5, -40.0, 7.25])
intercept = -1024.0


def stored(i, j, k):
    return 1000 + 7 * i + 11 * j + 13 * k


def write_ct():
    from pydicom.dataset import FileDataset, FileMetaDataset
    from pydicom.uid import ExplicitVRLittleEndian
    os.makedirs(ct_dir)
    root = "1.2.826.0.1.3680043.8.498.7318"
    jj, ii = np.mgrid[0:rows, 0:columns]
    for k in range(slices):
        meta = FileMetaDataset()
        meta.MediaStorageSOPClassUID = "1.2.840.10008.5.1.4.1.1.2"
        meta.MediaStorageSOPInstanceUID = "%s.2.%d" % (root, k + 1)
        meta.TransferSyntaxUID = ExplicitVRLittleEndian
        ds = FileDataset(None, {}, file_meta=meta, preamble=b"\0" * 128)
        ds.is_little_endian, ds.is_implicit_VR = True, False
        ds.SOPClassUID, ds.SOPInstanceUID = meta.MediaStorageSOPClassUID, meta.MediaStorageSOPInstanceUID
        ds.StudyInstanceUID, ds.SeriesInstanceUID, ds.FrameOfReferenceUID = root + ".1", root + ".2", root + ".3"
        ds.Modality, ds.PatientName, ds.PatientID, ds.SeriesNumber, ds.InstanceNumber = "CT", "Ramp", "KSRAMP", 1, k + 1
        ds.ImagePositionPatient = [float(v) for v in corner + k * gap * normal]
        ds.ImageOrientationPatient = [float(v) for v in (*row_dir, *column_dir)]
        ds.PixelSpacing = list(pixel)
        ds.SliceThickness = gap
        ds.RescaleSlope, ds.RescaleIntercept, ds.RescaleType = 1, intercept, "HU"
        ds.SamplesPerPixel, ds.PhotometricInterpretation = 1, "MONOCHROME2"
        ds.Rows, ds.Columns = rows, columns
        ds.BitsAllocated, ds.BitsStored, ds.HighBit, ds.PixelRepresentation = 16, 16, 15, 0
        ds.PixelData = stored(ii, jj, k).astype("<u2").tobytes()
        ds.save_as(os.path.join(ct_dir, "ct_%02d.dcm" % k), write_like_original=False)


try:
    write_ct()
except ImportError:
    print("python3 pydicom is missing: the CT part is skipped")
else:
    # A recording beside its DICOM files keeps their 16-bit values.
    ct = os.path.join(ct_dir, "ct.ks")
    run("import", ct_dir, ct)
    path = os.path.join(work, "ct.nii")
    size, first, last = export(ct, path, "--spacing", "0.5")
    img = nibabel.load(path)
    values = np.asarray(img.dataobj)
    expect("ct: nibabel reads %s voxels, not int16" % values.dtype, values.dtype == np.int16)
    # Each voxel's place in the CT's own grid (i along a row, j down a column, k across).
    w, h, n = size
    ii, jj, kk = np.meshgrid(np.arange(w), np.arange(h), np.arange(n), indexing="ij")
    ras = np.einsum("ab,bijk->aijk", img.affine[:3, :3], np.stack([ii, jj, kk]).astype(float))
    lps = (ras + img.affine[:3, 3][:, None, None, None]) * np.array([-1.0, -1.0, 1.0])[:, None, None, None]
    rel = lps - corner[:, None, None, None]
    gi = np.einsum("a,aijk->ijk", row_dir, rel) / pixel[1]
    gj = np.einsum("a,aijk->ijk", column_dir, rel) / pixel[0]
    gk = np.einsum("a,aijk->ijk", normal, rel) / gap
    expected = stored(gi, gj, gk) + intercept
    covered = values != values.min()
    expect("ct: the volume must hold the CT (%d of %d voxels)" % (covered.sum(), values.size),
           covered.sum() > values.size // 4)
    error = np.abs(values[covered] - expected[covered])
    expect("ct: Hounsfield units off by up to %.3f where the CT is" % error.max(), error.max() <= 0.5 + 1e-3)
    inside = (gi > -1e-3) & (gi < columns - 1 + 1e-3) & (gj > -1e-3) & (gj < rows - 1 + 1e-3) & \
             (gk > -1e-3) & (gk < slices - 1 + 1e-3)
    expect("ct: values where no slice is", not np.any(covered & ~inside))
    expect("ct: the empty voxels hold %d, not the lowest value %d" % (values.min(), stored(0, 0, 0) + intercept),
           values.min() == stored(0, 0, 0) + intercept)
    _, image, from_vtk = vtk_read(vtkNrrdReader, os.path.join(work, "ct.nrrd")) if export(
        ct, os.path.join(work, "ct.nrrd"), "--spacing", "0.5") else (None, None, None)
    if from_vtk is not None:
        expect("ct: VTK reads the NRRD as %s" % from_vtk.dtype, from_vtk.dtype == np.int16)
        expect("ct: the NRRD and NIfTI values differ", np.array_equal(from_vtk, values.transpose(2, 1, 0)))

if failures:
    print("Other programs read the volumes differently:\n  " + "\n  ".join(failures))
    sys.exit(1)
print("VTK, nibabel%s read the voxel volumes as Kestrane wrote them" % (" and unu" if UNU else ""))
