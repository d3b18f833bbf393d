#include "dicom_series.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <tuple>

#include <wx/filename.h>

#include "common/vertex_math.h"
#include "volumes/slice_recording.h"

namespace {

bool read_file(const wxString& path, std::vector<std::uint8_t>* bytes)
{
    std::ifstream in(static_cast<const char*>(path.fn_str()), std::ios::binary);
    if (!in)
        return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// Where a slice lies along its normal (mm).
double location_of(const dicom_image_t& im, long frame)
{
    const auto pose = dicom_slice_pose(im, frame);
    matrix16d m;
    m.forward(pose[0], pose[1], pose[2], pose[3], pose[4], pose[5]);
    return 10.0 * dot(column(m, 3), column(m, 2));
}

}  // namespace

wxString dicom_series_t::description(int number) const
{
    const wxString file = slices.empty() ? wxString() : wxFileName(slices.front().path).GetFullName();
    if (slices.size() == 1)
        return wxString::Format("%d: DICOM image '%s', size %ld x %ld.", number, file, columns, rows);
    return wxString::Format("%d: DICOM series of %ld frames, file '%s', size %ld x %ld.", number, long(slices.size()),
                            file, columns, rows);
}

std::vector<wxString> find_data_files(const wxString& dir)
{
    namespace fs = std::filesystem;
    std::vector<wxString> files;
    std::error_code ec;
    for (fs::recursive_directory_iterator
             it(static_cast<const char*>(dir.fn_str()), fs::directory_options::skip_permission_denied, ec),
         end;
         !ec && it != end; it.increment(ec)) {
        std::error_code kind;
        if (it->is_regular_file(kind))
            files.push_back(wxString(it->path().string()));
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<dicom_series_t> group_dicom_series(const std::vector<wxString>& files, long* skipped)
{
    *skipped = 0;
    std::map<std::tuple<std::string, long, long, double, double>, dicom_series_t> groups;
    std::vector<std::tuple<std::string, long, long, double, double>> order;
    for (const wxString& path : files) {
        std::vector<std::uint8_t> bytes;
        dicom_dataset_t ds;
        dicom_image_t im;
        wxString why;
        if (!read_file(path, &bytes) || !parse_dicom(bytes, &ds, &why) || !read_dicom_image(ds, &im, &why)) {
            ++*skipped;
            continue;
        }
        const auto key = std::make_tuple(im.series_uid, im.rows, im.columns, im.row_spacing_mm, im.column_spacing_mm);
        auto [it, added] = groups.try_emplace(key);
        if (added) {
            order.push_back(key);
            it->second.uid = im.series_uid;
            it->second.rows = im.rows;
            it->second.columns = im.columns;
            it->second.row_spacing_mm = im.row_spacing_mm;
            it->second.column_spacing_mm = im.column_spacing_mm;
        }
        for (long f = 0; f < im.frames; ++f)
            it->second.slices.push_back({path, im, f, location_of(im, f)});
    }
    std::vector<dicom_series_t> out;
    for (const auto& key : order) {
        dicom_series_t s = std::move(groups[key]);
        std::stable_sort(s.slices.begin(), s.slices.end(), [](const dicom_slice_t& a, const dicom_slice_t& b) {
            return a.location != b.location ? a.location < b.location : a.image.content_time < b.image.content_time;
        });
        out.push_back(std::move(s));
    }
    return out;
}

bool import_dicom_series(const dicom_series_t& series, const std::optional<dicom_window_t>& window, wxString* why)
{
    if (series.slices.empty()) {
        *why = "the series has no slices";
        return false;
    }
    const dicom_image_t& first = series.slices.front().image;
    dicom_window_t w = window.value_or(
        dicom_window_t{first.window_centre.value_or(1024.0), first.window_width.value_or(2048.0), 1.0, 0.0, {}});
    w.slope = first.slope;
    w.offset = first.intercept;
    // Everything is read before the recording held is let go.
    std::vector<cip_t> images;
    std::vector<counted_array_ptr<float>> poses;
    wxString open_path;
    std::vector<std::uint8_t> bytes;
    dicom_dataset_t ds;
    for (const dicom_slice_t& slice : series.slices) {
        if (slice.path != open_path) {
            if (!read_file(slice.path, &bytes) || !parse_dicom(bytes, &ds, why)) {
                *why = slice.path + ": " + (why->empty() ? wxString("cannot be read") : *why);
                return false;
            }
            open_path = slice.path;
        }
        std::vector<std::uint16_t> values;
        if (!decode_frame(ds, slice.image, slice.frame, &values, why)) {
            *why = slice.path + ": " + *why;
            return false;
        }
        cip_t image = cip_t::make_8bit(series.columns, series.rows);
        if (image.empty()) {
            *why = "Error: unable to allocate space for image data";
            return false;
        }
        dicom_window_t own = w;
        own.padding = slice.image.padding;
        window_dicom(values, {image.pixels(), image.pixel_count()}, own);
        images.push_back(image);
        const auto p = dicom_slice_pose(slice.image, slice.frame);
        counted_array_ptr<float> pose(6);
        for (std::size_t i = 0; i < 6; ++i)
            pose[i] = float(p[i]);
        poses.push_back(pose);
    }
    // Pixel Spacing's first value is the spacing between rows: the height of a pixel.
    make_slice_recording(series.columns, series.rows, series.column_spacing_mm, series.row_spacing_mm, images, poses);
    return true;
}
