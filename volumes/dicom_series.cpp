#include "dicom_series.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <tuple>

#include <wx/filename.h>

#include "common/parallel_items.h"
#include "common/vertex_math.h"
#include "volumes/file_bytes.h"
#include "volumes/image_files.h"
#include "volumes/slice_pose.h"
#include "volumes/slice_recording.h"

namespace {

// A quick look at a file's first bytes before parsing it: DICM after the
// preamble, or a data set without one that starts in group 0002 or 0008
// (either byte order). Large files of other kinds are not read in full.
bool may_be_dicom(std::span<const std::uint8_t> head)
{
    if (head.size() >= 132 && std::equal(head.begin() + 128, head.begin() + 132, "DICM"))
        return true;
    if (head.size() < 8)
        return false;
    const unsigned little = head[0] | unsigned(head[1]) << 8, big = unsigned(head[0]) << 8 | head[1];
    return little == 0x0002 || little == 0x0008 || big == 0x0002 || big == 0x0008;
}

// A file's data set without its pixels: its first bytes when the header
// lies within them (a slice's pixels are most of it), else all of it.
bool read_header(const wxString& path, std::vector<std::uint8_t>* bytes, dicom_dataset_t* ds, wxString* why)
{
    constexpr std::uint64_t prefix = 64 * 1024;
    std::uint64_t size = 0;
    if (!read_file_bytes(path, bytes, &size, prefix) || !may_be_dicom(*bytes))
        return false;
    if (size > bytes->size() && parse_dicom_header(*bytes, size, ds, why))
        return true;
    if (size > bytes->size() && !read_file_bytes(path, bytes))
        return false;
    return parse_dicom(*bytes, ds, why);
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
    if (images && slices.size() == 1)
        return wxString::Format("%d: image '%s', size %ld x %ld.", number, file, columns, rows);
    if (images)
        return wxString::Format("%d: Sequence of %ld images, file '%s', size %ld x %ld.", number, long(slices.size()),
                                file, columns, rows);
    if (slices.size() == 1)
        return wxString::Format("%d: DICOM image '%s', size %ld x %ld.", number, file, columns, rows);
    const std::string& modality = slices.front().image.modality;
    if (!modality.empty())
        return wxString::Format("%d: DICOM series of %ld frames, file '%s', size %ld x %ld (%s).", number,
                                long(slices.size()), file, columns, rows, wxString(modality));
    return wxString::Format("%d: DICOM series of %ld frames, file '%s', size %ld x %ld.", number, long(slices.size()),
                            file, columns, rows);
}

std::vector<wxString> find_data_files(const wxString& dir, const std::function<bool()>& keep_going)
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
        if (keep_going && !keep_going())
            return {};
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<dicom_series_t> group_dicom_series(const std::vector<wxString>& files, long* skipped,
                                               const series_progress_t& progress, bool* cancelled,
                                               const std::set<wxString>* only)
{
    *skipped = 0;
    if (cancelled)
        *cancelled = false;
    std::map<std::tuple<std::string, long, long, double, double>, dicom_series_t> groups;
    std::vector<std::tuple<std::string, long, long, double, double>> order;
    long source = 0;
    for (std::size_t n = 0; n < files.size(); ++n) {
        if (progress && !progress(n, files.size(), groups.size())) {
            if (cancelled)
                *cancelled = true;
            return {};
        }
        const wxString& path = files[n];
        std::vector<std::uint8_t> bytes;
        dicom_dataset_t ds;
        dicom_image_t im;
        wxString why;
        if (!read_header(path, &bytes, &ds, &why) || !read_dicom_image(ds, &im, &why)) {
            ++*skipped;
            continue;
        }
        if (only && !only->count(path)) {
            source += im.frames;
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
            it->second.slices.push_back({path, im, f, location_of(im, f), source++});
    }
    std::vector<dicom_series_t> out;
    for (const auto& key : order)
        out.push_back(std::move(groups[key]));
    return out;
}

std::vector<dicom_series_t> group_image_files(const std::vector<wxString>& files)
{
    std::map<std::pair<long, long>, dicom_series_t> groups;
    std::vector<std::pair<long, long>> order;
    for (const wxString& path : files) {
        image_shape_t shape;
        wxString why;
        if (!is_image_file(path) || !read_image_shape(path, &shape, &why))
            continue;
        const auto key = std::make_pair(shape.width, shape.height);
        auto [it, added] = groups.try_emplace(key);
        if (added) {
            order.push_back(key);
            it->second.images = true;
            it->second.columns = shape.width;
            it->second.rows = shape.height;
            it->second.row_spacing_mm = it->second.column_spacing_mm = 1.0;
        }
        dicom_image_t im;
        im.columns = shape.width;
        im.rows = shape.height;
        im.frames = shape.pages;
        im.signed_pixels = shape.is_signed;
        for (long page = 0; page < shape.pages; ++page) {
            const long k = long(it->second.slices.size());
            it->second.slices.push_back({path, im, page, double(k), 0});
        }
    }
    std::vector<dicom_series_t> out;
    for (const auto& key : order)
        out.push_back(std::move(groups[key]));
    return out;
}

namespace {

bool location_before(const dicom_slice_t& a, const dicom_slice_t& b)
{
    return a.location != b.location ? a.location < b.location : a.image.content_time < b.image.content_time;
}

}  // namespace

bool slices_in_location_order(const std::vector<dicom_slice_t>& slices)
{
    return std::is_sorted(slices.begin(), slices.end(), location_before);
}

void sort_by_location(std::vector<dicom_slice_t>* slices)
{
    std::stable_sort(slices->begin(), slices->end(), location_before);
}

namespace {

// Image files' pages, stacked 1 mm apart in the order given, pixels 1 mm wide.
bool read_image_frames(const dicom_series_t& series, slice_stack_t* stack, wxString* why,
                       const frame_progress_t& progress, bool* cancelled)
{
    slice_stack_t out;
    out.columns = series.columns;
    out.rows = series.rows;
    out.column_spacing_mm = out.row_spacing_mm = 1.0;
    if (series.slices.front().image.signed_pixels)
        out.intercept = -32768.0;
    std::vector<std::uint16_t> values;
    for (std::size_t n = 0; n < series.slices.size(); ++n) {
        if (progress && !progress(n, series.slices.size())) {
            if (cancelled)
                *cancelled = true;
            return false;
        }
        const dicom_slice_t& slice = series.slices[n];
        const image_shape_t shape{slice.image.columns, slice.image.rows, slice.image.frames, slice.image.signed_pixels};
        if (!read_image_page(slice.path, slice.frame, shape, &values, why)) {
            *why = slice.path + ": " + *why;
            return false;
        }
        cip_t image = cip_t::make_16bit(series.columns, series.rows);
        if (image.empty() || values.size() != image.pixel_count()) {
            *why = "Error: unable to allocate space for image data";
            return false;
        }
        std::copy(values.begin(), values.end(), image.samples());
        out.images.push_back(image);
        out.poses.push_back(pose_record(slice_pose({1, 0, 0}, {0, 1, 0}, {0, 0, 0.1 * double(n)})));
    }
    *stack = std::move(out);
    return true;
}

}  // namespace

bool read_series_frames(const dicom_series_t& series, slice_stack_t* stack, wxString* why,
                        const frame_progress_t& progress, bool* cancelled)
{
    if (cancelled)
        *cancelled = false;
    if (series.slices.empty()) {
        *why = "the series has no slices";
        return false;
    }
    if (series.images)
        return read_image_frames(series, stack, why, progress, cancelled);
    const dicom_image_t& first = series.slices.front().image;
    slice_stack_t out;
    out.columns = series.columns;
    out.rows = series.rows;
    out.column_spacing_mm = series.column_spacing_mm;
    out.row_spacing_mm = series.row_spacing_mm;
    out.slope = first.slope;
    out.intercept = first.intercept;
    out.window_centre = first.window_centre;
    out.window_width = first.window_width;
    out.data_set = {first.padding, first.window_presets};
    const std::size_t count = series.slices.size();
    out.images.resize(count);
    out.poses.resize(count);
    out.sources.resize(count);
    // Slices are independent: two workers, each into the slice's own place.
    struct open_file_t {
        wxString path;
        std::vector<std::uint8_t> bytes;
        dicom_dataset_t ds;
    };
    const int workers = std::min(2, parallel_workers(0));
    std::vector<open_file_t> open(static_cast<std::size_t>(workers));
    std::vector<std::pair<std::size_t, wxString>> failures(open.size(), {count, wxString()});
    bool user_stopped = false;
    run_items(
        count, workers,
        [&](int worker, std::size_t n) {
            open_file_t& f = open[std::size_t(worker)];
            const dicom_slice_t& slice = series.slices[n];
            wxString reason;
            auto fail = [&](const wxString& what) {
                failures[std::size_t(worker)] = {n, what};
                return false;
            };
            if (slice.path != f.path) {
                f.path.clear();
                if (!read_file_bytes(slice.path, &f.bytes) || !parse_dicom(f.bytes, &f.ds, &reason))
                    return fail(slice.path + ": " + (reason.empty() ? wxString("cannot be read") : reason));
                f.path = slice.path;
            }
            cip_t image = cip_t::make_16bit_for_overwrite(series.columns, series.rows);
            if (image.empty())
                return fail("Error: unable to allocate space for image data");
            if (!decode_frame(f.ds, slice.image, slice.frame, {image.samples(), image.pixel_count()}, &reason))
                return fail(slice.path + ": " + reason);
            out.images[n] = image;
            out.poses[n] = pose_record(dicom_slice_pose(slice.image, slice.frame));
            out.sources[n] = slice.source;
            return true;
        },
        [&](std::size_t done) {
            user_stopped = progress && !progress(done, count);
            return !user_stopped;
        });
    if (user_stopped) {
        if (cancelled)
            *cancelled = true;
        return false;
    }
    // The first failing slice in series order, whichever worker met it.
    const auto& failure = *std::min_element(failures.begin(), failures.end(),
                                            [](const auto& a, const auto& b) { return a.first < b.first; });
    if (failure.first < count) {
        *why = failure.second;
        return false;
    }
    *stack = std::move(out);
    return true;
}
