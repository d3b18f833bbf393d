#include "dicom_info.h"

#include <set>
#include <vector>

#include <wx/filename.h>

#include "volumes/dicom_dataset.h"
#include "volumes/dicom_image.h"
#include "volumes/dicom_series.h"
#include "volumes/file_bytes.h"
#include "volumes/qct_file.h"
#include "volumes/slice_recording.h"
#include "volumes/volume_files.h"

namespace {

wxString syntax_name(const std::string& uid)
{
    static const std::pair<const char*, const char*> names[] = {
        {"1.2.840.10008.1.2", "implicit VR little endian"},
        {"1.2.840.10008.1.2.1", "explicit VR little endian"},
        {"1.2.840.10008.1.2.1.99", "deflated explicit VR little endian"},
        {"1.2.840.10008.1.2.2", "explicit VR big endian"},
        {"1.2.840.10008.1.2.5", "RLE lossless"},
        {"1.2.840.10008.1.2.4.50", "JPEG baseline"},
        {"1.2.840.10008.1.2.4.57", "JPEG lossless"},
        {"1.2.840.10008.1.2.4.70", "JPEG lossless, first-order prediction"},
        {"1.2.840.10008.1.2.4.80", "JPEG-LS lossless"},
        {"1.2.840.10008.1.2.4.90", "JPEG 2000 lossless"},
        {"1.2.840.10008.1.2.4.91", "JPEG 2000"},
    };
    if (uid.empty())
        return "none given (no meta group: guessed element by element)";
    for (const auto& [u, n] : names)
        if (uid == u)
            return wxString(n) + " (" + u + ")";
    return uid;
}

wxString list(const std::vector<double>& v)
{
    wxString s;
    for (std::size_t i = 0; i < v.size(); ++i)
        s << (i ? ", " : "") << wxString::Format("%g", v[i]);
    return s.empty() ? wxString("-") : s;
}

}  // namespace

bool describe_dicom_file(const wxString& path, wxString* text)
{
    std::vector<std::uint8_t> bytes;
    if (!read_file_bytes(path, &bytes)) {
        *text = "cannot open " + path;
        return false;
    }
    dicom_dataset_t ds;
    wxString why;
    if (!parse_dicom(bytes, &ds, &why)) {
        *text = path + " is not readable DICOM: " + why;
        return false;
    }
    dicom_image_t im;
    const bool image = read_dicom_image(ds, &im, &why);
    wxString out;
    out << "file        " << wxFileName(path).GetFullPath() << "\n";
    out << "data        DICOM, " << syntax_name(ds.transfer_syntax) << "\n";
    out << "modality    " << ds.text(dicom_tag(0x0008, 0x0060)).value_or("-") << "\n";
    out << "series      " << ds.text(dicom_tag(0x0020, 0x000E)).value_or("-") << ", number "
        << ds.text(dicom_tag(0x0020, 0x0011)).value_or("-") << "\n";
    if (!image) {
        out << "image       none: " << why << "\n";
        *text = out;
        return true;
    }
    out << wxString::Format("size        %ld x %ld pixels, %ld frame%s\n", im.columns, im.rows, im.frames,
                            im.frames == 1 ? "" : "s");
    out << wxString::Format("pixels      %ld bits (%ld stored, high bit %ld), %s, %s\n", im.bits_allocated,
                            im.bits_stored, im.high_bit, im.signed_pixels ? "signed" : "unsigned", im.photometric);
    out << "pixel data  "
        << (ds.encapsulated ? wxString::Format("encapsulated, %zu fragments", ds.fragments.size())
                            : wxString::Format("native, %zu bytes", ds.native_pixels.size()))
        << "\n";
    out << wxString::Format("spacing     %g mm between rows, %g mm between columns\n", im.row_spacing_mm,
                            im.column_spacing_mm);
    out << "thickness   " << list(ds.numbers(dicom_tag(0x0018, 0x0050))) << " mm; between slices "
        << list(ds.numbers(dicom_tag(0x0018, 0x0088))) << " mm\n";
    out << "position    " << list(ds.numbers(dicom_tag(0x0020, 0x0032))) << " mm\n";
    out << "orientation " << list(ds.numbers(dicom_tag(0x0020, 0x0037))) << "\n";
    out << "rescale     slope " << list(ds.numbers(dicom_tag(0x0028, 0x1053))) << ", intercept "
        << list(ds.numbers(dicom_tag(0x0028, 0x1052))) << "\n";
    out << "window      centre " << list(ds.numbers(dicom_tag(0x0028, 0x1050))) << ", width "
        << list(ds.numbers(dicom_tag(0x0028, 0x1051))) << "\n";
    for (const wxString& w : im.warnings)
        out << "warning     " << w << "\n";
    *text = out;
    return true;
}

bool describe_data_folder(const wxString& path, wxString* text)
{
    const std::vector<wxString> files = find_data_files(path);
    long skipped = 0;
    std::vector<dicom_series_t> series = group_dicom_series(files, &skipped);
    std::vector<dicom_series_t> images = group_image_files(files);
    for (const dicom_series_t& s : images) {
        std::set<wxString> paths;
        for (const dicom_slice_t& slice : s.slices)
            paths.insert(slice.path);
        skipped -= long(paths.size());
    }
    series.insert(series.end(), images.begin(), images.end());
    wxString out;
    out << "folder      " << wxFileName::DirName(path).GetFullPath() << "\n";
    out << wxString::Format("files       %zu, %ld of them neither DICOM images nor pictures\n", files.size(), skipped);
    for (std::size_t i = 0; i < series.size(); ++i) {
        const dicom_series_t& s = series[i];
        out << "series      " << s.description(int(i + 1)) << "\n";
        if (s.images)
            continue;
        const dicom_image_t& first = s.slices.front().image;
        out << wxString::Format(
            "            %g x %g mm pixels; slope %g, intercept %g to Hounsfield units (of values kept unsigned)\n",
            s.column_spacing_mm, s.row_spacing_mm, first.slope, first.intercept);
    }
    if (series.empty())
        out << "series      none\n";
    *text = out;
    return !series.empty();
}

bool describe_volume_file(const wxString& path, wxString* text)
{
    const wxString ext = wxFileName(path).GetExt().Lower();
    wxString out, why;
    out << "file        " << wxFileName(path).GetFullPath() << "\n";
    if (looks_like_qct(path)) {
        slice_stack_t stack;
        long ignored = 0;
        wxString scan;
        if (!read_qct(path, &stack, &ignored, &scan, &why)) {
            *text = path + " is not a readable QCT file: " + why;
            return false;
        }
        out << "data        QCT, " << scan << "\n";
        out << wxString::Format("size        %ld x %ld pixels, %zu slices (%ld of another size left out)\n",
                                stack.columns, stack.rows, stack.images.size(), ignored);
        out << wxString::Format("spacing     %g x %g mm pixels\n", stack.column_spacing_mm, stack.row_spacing_mm);
        *text = out;
        return true;
    }
    volume_t v;
    if (!read_volume_file(path, &v, &why)) {
        *text = path + " is not a readable volume: " + why;
        return false;
    }
    out << "data        "
        << (ext == "hdr"                     ? "Analyze 7.5"
            : ext == "nrrd" || ext == "nhdr" ? "NRRD"
                                             : "MetaImage")
        << " volume\n";
    out << wxString::Format("size        %ld x %ld x %ld voxels\n", v.width, v.height, v.depth);
    out << wxString::Format("spacing     %g, %g, %g mm\n", v.spacing_mm[0], v.spacing_mm[1], v.spacing_mm[2]);
    out << wxString::Format("origin      %g, %g, %g mm (patient frame, LPS)\n", v.origin_mm[0], v.origin_mm[1],
                            v.origin_mm[2]);
    out << wxString::Format("axes        (%g, %g, %g) (%g, %g, %g) (%g, %g, %g)\n", v.axes[0], v.axes[1], v.axes[2],
                            v.axes[3], v.axes[4], v.axes[5], v.axes[6], v.axes[7], v.axes[8]);
    out << wxString::Format("rescale     slope %g, intercept %g to Hounsfield units (of values kept unsigned)\n",
                            v.slope, v.intercept);
    for (const wxString& w : v.warnings)
        out << "warning     " << w << "\n";
    *text = out;
    return true;
}
