#include "dicom_loader.h"

#include <chrono>
#include <cmath>
#include <map>
#include <set>

#include <wx/filename.h>
#include <wx/log.h>

#include "common/interaction.h"
#include "volumes/dicom_series.h"
#include "volumes/dicomdir.h"
#include "volumes/qct_file.h"
#include "volumes/sequence_file.h"
#include "volumes/sequence_import.h"
#include "volumes/slice_recording.h"
#include "volumes/volume_files.h"

namespace {

// A progress dialog shown at most every tenth of a second: often enough that
// Cancel answers at once, rarely enough not to slow the load.
class load_progress_t {
public:
    load_progress_t(const wxString& caption, const wxString& message, int maximum)
    {
        interaction().progress_begin(caption, message, maximum);
    }
    ~load_progress_t() { interaction().progress_end(); }
    load_progress_t(const load_progress_t&) = delete;
    load_progress_t& operator=(const load_progress_t&) = delete;

    // Both false once the user has cancelled.
    bool update(int value, const wxString& message) { return !due() || interaction().progress_update(value, message); }
    bool pulse(const wxString& message) { return !due() || interaction().progress_pulse(message); }

private:
    bool due()
    {
        const auto now = std::chrono::steady_clock::now();
        if (now - last_ < std::chrono::milliseconds(100))
            return false;
        last_ = now;
        return true;
    }

    std::chrono::steady_clock::time_point last_{};
};

const char* no_image_data =
    "Failed to read image data from DICOM file.\nThese DICOM files do not contain image data,\nor are in a format not "
    "understood by Kestrane.\n";

// The data files below a folder, grouped (only those of `only` when given);
// nothing when cancelled.
std::vector<dicom_series_t> search_folder(const wxString& folder, long* skipped, bool* cancelled, bool* no_files,
                                          const std::set<wxString>* only = nullptr)
{
    std::vector<wxString> files;
    {
        load_progress_t progress("Directory search", "Currently searching directory for data files", 0);
        files = find_data_files(folder, [&] {
            *cancelled = *cancelled || !progress.pulse("Currently searching directory for data files");
            return !*cancelled;
        });
        if (*cancelled)
            return {};
    }
    *no_files = files.empty();
    // The folders the files lie in, for the progress text.
    std::map<wxString, long> folders;
    for (const wxString& f : files)
        folders.emplace(wxFileName(f).GetPath(), 0);
    long n = 0;
    for (auto& [path, index] : folders)
        index = ++n;
    load_progress_t progress("Directory search", "Currently searching directory for data files", int(files.size()));
    std::vector<dicom_series_t> series = group_dicom_series(
        files, skipped,
        [&](std::size_t done, std::size_t total, std::size_t series) {
            const long dir = done < total ? folders[wxFileName(files[done]).GetPath()] : long(folders.size());
            return progress.update(int(done),
                                   wxString::Format("Searching directory %ld of %ld, %ld files, found %ld series", dir,
                                                    long(folders.size()), long(done), long(series)));
        },
        cancelled, only);
    if (*cancelled || only)
        return series;
    // Ordinary images after the DICOM series; they were counted as skipped.
    for (dicom_series_t& images : group_image_files(files)) {
        std::set<wxString> paths;
        for (const dicom_slice_t& slice : images.slices)
            paths.insert(slice.path);
        *skipped -= long(paths.size());
        series.push_back(std::move(images));
    }
    return series;
}

bool read_frames(const dicom_series_t& series, slice_stack_t* stack, bool* cancelled)
{
    load_progress_t progress("File Open", "Currently loading frame 0 of 0.", int(series.slices.size()));
    wxString why;
    const bool ok = read_series_frames(
        series, stack, &why,
        [&](std::size_t done, std::size_t total) {
            return progress.update(
                int(done), wxString::Format("Currently loading frame %ld of %ld.", long(done + 1), long(total)));
        },
        cancelled);
    if (!ok && !*cancelled)
        wxLogError("%s\n%s", no_image_data, why);
    return ok;
}

}  // namespace

wxString dicom_recording_name(const wxString& folder, std::size_t series_number, std::size_t series_count)
{
    wxString name = wxFileName::DirName(folder).GetDirs().empty() ? wxString("dicom")
                                                                  : wxFileName::DirName(folder).GetDirs().Last();
    if (series_count > 1)
        name += wxString::Format("_series%zu", series_number);
    return wxFileName(folder, name + ".ks").GetFullPath();
}

bool try_read_other_file(const wxString& path)
{
    if (is_sequence_file(path))
        return load_sequence_file(path);
    if (is_volume_file(path))
        return load_volume_file(path);
    if (wxFileName::FileExists(path) && looks_like_qct(path))
        return load_qct_file(path);
    return load_dicom_files(path);
}

bool load_qct_file(const wxString& path)
{
    slice_stack_t stack;
    long ignored = 0;
    wxString scan, why;
    if (!read_qct(path, &stack, &ignored, &scan, &why)) {
        wxLogError("Cannot load '%s': %s", path, why);
        return false;
    }
    wxFileName name(path);
    name.SetExt("ks");
    make_dicom_recording(stack, name.GetFullPath());
    wxString report = wxString::Format("Loaded %ld frames of data with size %ld x %ld.\n", long(stack.images.size()),
                                       stack.columns, stack.rows);
    if (ignored > 0)
        report += wxString::Format(
            "Ignored a further %ld frames in a different series, or with different sizes or scales.\n", ignored);
    wxLogMessage("%s%s", report, scan);
    return true;
}

bool search_dicom(const wxString& path, dicom_search_t* found)
{
    *found = {};
    bool folder_given = wxFileName::DirExists(path);
    if (!folder_given && !wxFileName::FileExists(path)) {
        wxLogError("Cannot open '%s': there is no such file or folder.", path);
        return false;
    }
    found->folder = folder_given ? wxFileName::DirName(path).GetPath() : wxFileName(path).GetPath();
    // A DICOMDIR: the files its records name, offered as from a folder.
    std::optional<std::set<wxString>> listed;
    if (!folder_given && is_dicomdir(path)) {
        std::vector<wxString> files;
        long left_out = 0;
        wxString why;
        if (!read_dicomdir(path, &files, &left_out, &why)) {
            wxLogError("Cannot read the DICOMDIR '%s': %s", path, why);
            return false;
        }
        if (left_out > 0)
            wxLogWarning("%ld files named in the DICOMDIR are missing or lie outside its folder: they are left out.",
                         left_out);
        listed.emplace();
        for (const wxString& f : files)
            listed->insert(f);  // spelled as the folder search spells it
        folder_given = true;
    }
    bool cancelled = false, no_files = false;
    found->series = search_folder(found->folder, &found->skipped, &cancelled, &no_files, listed ? &*listed : nullptr);
    if (cancelled)
        return false;
    if (no_files) {
        wxLogError("There are no data files in this directory.");
        return false;
    }
    if (found->series.empty()) {
        wxLogError("%s", no_image_data);
        return false;
    }
    if (folder_given)
        return true;
    const wxString picked = wxFileName(path).GetFullPath();
    for (std::size_t i = 0; i < found->series.size() && !found->file_series; ++i)
        for (const dicom_slice_t& s : found->series[i].slices)
            if (wxFileName(s.path).GetFullPath() == picked) {
                found->file_series = i;
                break;
            }
    if (!found->file_series) {
        wxLogError("%s", no_image_data);
        return false;
    }
    return true;
}

bool load_dicom_series(dicom_search_t& found, std::size_t chosen)
{
    if (chosen >= found.series.size())
        return false;
    dicom_series_t& s = found.series[chosen];
    if (!slices_in_location_order(s.slices) &&
        interaction().ask("Sort DICOM frames",
                          "The file names of these DICOM files are not in the same\norder as their locations.\n\nSort "
                          "frames according to location (and content time)?",
                          question_t::yes_no, answer_t::yes) == answer_t::yes)
        sort_by_location(&s.slices);
    slice_stack_t stack;
    bool cancelled = false;
    if (!read_frames(s, &stack, &cancelled))
        return false;
    make_dicom_recording(stack, dicom_recording_name(found.folder, chosen + 1, found.series.size()));
    long ignored = 0;
    for (std::size_t i = 0; i < found.series.size(); ++i)
        if (i != chosen)
            ignored += long(found.series[i].slices.size());
    wxString report =
        wxString::Format("Loaded %ld frames of data with size %ld x %ld.\n", long(s.slices.size()), s.columns, s.rows);
    if (ignored > 0) {
        report += wxString::Format(
            "Ignored a further %ld frames in a different series, or with different sizes or scales.\n", ignored);
        interaction().inform("Load data series", report);
    } else {
        wxLogStatus("%s", report.Trim());
    }
    for (const wxString& w : s.slices.front().image.warnings)
        wxLogWarning("%s", w);
    return true;
}

bool load_dicom_files(const wxString& path)
{
    dicom_search_t found;
    if (!search_dicom(path, &found))
        return false;
    std::size_t chosen = found.file_series.value_or(0);
    if (!found.file_series && found.series.size() > 1) {
        std::vector<wxString> choices;
        for (std::size_t i = 0; i < found.series.size(); ++i)
            choices.push_back(found.series[i].description(int(i + 1)));
        const std::optional<int> pick =
            interaction().ask_choice("Load data series", "Which series do you want to load?", choices);
        if (!pick || *pick < 0 || std::size_t(*pick) >= found.series.size())
            return false;
        chosen = std::size_t(*pick);
    }
    const wxString name = dicom_recording_name(found.folder, chosen + 1, found.series.size());
    if (wxFileName::FileExists(name)) {
        wxLogError("This data has already been converted to Kestrane format. Please load '%s' instead.", name);
        return false;
    }
    return load_dicom_series(found, chosen);
}

bool load_volume_file(const wxString& path)
{
    volume_t volume;
    wxString why;
    const bool read = read_volume_file(path, &volume, &why);
    slice_stack_t stack;
    if (!read || !volume_slices(volume, &stack, &why)) {
        wxLogError("Cannot load '%s': %s", path, why);
        return false;
    }
    wxFileName name(path);
    name.SetExt("ks");
    make_dicom_recording(stack, name.GetFullPath());
    for (const wxString& w : volume.warnings)
        wxLogWarning("%s", w);
    wxLogStatus("Loaded %ld frames of data with size %ld x %ld.", volume.depth, volume.width, volume.height);
    return true;
}

bool reread_dicom_frames(const wxString& folder, const std::vector<long>& sources, long width, long height,
                         const std::vector<counted_array_ptr<float>>& poses, std::vector<cip_t>* frames,
                         dicom_data_set_t* data_set, std::pair<double, double>* rescale, wxString* why)
{
    if (sources.size() != poses.size()) {
        *why = wxString::Format("the recording lists %zu DICOM frames for %zu frames", sources.size(), poses.size());
        return false;
    }
    long skipped = 0;
    bool cancelled = false;
    const std::vector<dicom_series_t> found = group_dicom_series(find_data_files(folder), &skipped, {}, &cancelled);
    std::map<long, const dicom_slice_t*> by_source;
    for (const dicom_series_t& s : found)
        for (const dicom_slice_t& slice : s.slices)
            by_source[slice.source] = &slice;
    auto changed = [&](std::size_t frame, const char* what) {
        *why = wxString::Format(
            "The DICOM files in '%s' have changed since this recording was saved (frame %zu: %s).\n"
            "It is not loaded with other frames.",
            folder, frame, what);
        return false;
    };
    dicom_series_t picked;
    picked.columns = width;
    picked.rows = height;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const auto it = by_source.find(sources[i]);
        if (it == by_source.end())
            return changed(i, "its file is gone");
        const dicom_slice_t& slice = *it->second;
        if (slice.image.columns != width || slice.image.rows != height)
            return changed(i, "its size differs");
        if (i > 0 && slice.image.series_uid != picked.slices.front().image.series_uid)
            return changed(i, "it belongs to another series");
        picked.slices.push_back(slice);
    }
    if (!picked.slices.empty()) {
        picked.column_spacing_mm = picked.slices.front().image.column_spacing_mm;
        picked.row_spacing_mm = picked.slices.front().image.row_spacing_mm;
    }
    slice_stack_t stack;
    load_progress_t progress("File Open", "Currently loading frame 0 of 0.", int(sources.size()));
    if (!read_series_frames(picked, &stack, why, [&](std::size_t done, std::size_t total) {
            progress.update(int(done),
                            wxString::Format("Currently loading frame %ld of %ld.", long(done + 1), long(total)));
            return true;  // a recording is read whole or not at all
        }))
        return false;
    for (std::size_t i = 0; i < poses.size(); ++i) {
        if (!poses[i])
            return changed(i, "it has no pose");
        for (std::size_t k = 0; k < 6; ++k) {
            const double d = std::fabs(double(stack.poses[i][k]) - double(poses[i][k]));
            const bool angle = k >= 3;
            if (angle ? std::min(d, std::fabs(d - 360.0)) > 1e-2 : d > 1e-3)
                return changed(i, "it lies elsewhere");
        }
    }
    *frames = std::move(stack.images);
    *data_set = stack.data_set;
    *rescale = {stack.slope, stack.intercept};
    return true;
}
