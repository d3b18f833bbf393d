#include "frame_export.h"

#include <algorithm>
#include <limits>

#include <wx/filename.h>
#include <wx/image.h>
#include <wx/log.h>

#include "common/interaction.h"
#include "image_file.h"
#include "recording_file.h"
#include "resource_table.h"
#include "value_text.h"

namespace {

// Numbers of one range item: a leading "-" is a sign, later ones separate.
bool item_numbers(const wxString& item, std::vector<long long>* numbers)
{
    std::size_t p = 0;
    while (p < item.length()) {
        std::size_t start = p;
        if (item[p] == '-')
            ++p;
        while (p < item.length() && item[p] >= '0' && item[p] <= '9')
            ++p;
        std::int64_t value;
        if (!value_text::parse_long(item.substr(start, p - start), &value))
            return !numbers->empty();  // the first number must parse; later junk ends the item
        numbers->push_back(value);
        if (p < item.length() && (item[p] == '-' || item[p] == ':'))
            ++p;
        else
            break;
    }
    return !numbers->empty();
}

}  // namespace

std::vector<char> parse_frame_range(const wxString& text, long frames)
{
    std::vector<char> keep(static_cast<std::size_t>(std::max(0L, frames)), 0);
    if (frames <= 0)
        return keep;
    const long long last = frames - 1;
    wxString item;
    auto take_item = [&] {
        std::vector<long long> n;
        if (!item.empty() && item_numbers(item, &n)) {
            if (n.size() == 1) {
                if (n[0] >= 0 && n[0] <= last)
                    keep[static_cast<std::size_t>(n[0])] = 1;
            } else {
                const long long step = n.size() >= 3 ? std::max(1LL, n[1]) : 1;
                const long long first = std::max(0LL, n[0]);
                const long long end = std::min(last, n.size() >= 3 ? n[2] : n[1]);
                for (long long f = first; f <= end; f += step) {
                    keep[static_cast<std::size_t>(f)] = 1;
                    if (step > end - f)
                        break;  // the next step would pass the end (and could overflow)
                }
            }
        }
        item.clear();
    };
    for (const wxUniChar c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',' || c == ';')
            take_item();
        else
            item += c;
    }
    take_item();
    return keep;
}

wxString partial_volume_report(const std::vector<char>& keep, long frames_in_volume)
{
    if (frames_in_volume <= 1)
        return {};
    const long volumes = static_cast<long>(keep.size()) / frames_in_volume;
    std::vector<std::pair<long, long>> complete;  // first and last frame of each whole volume selected
    bool partial = false;
    for (long v = 0; v * frames_in_volume < static_cast<long>(keep.size()); ++v) {
        long selected = 0;
        const long first = v * frames_in_volume;
        const long end = std::min<long>(first + frames_in_volume, static_cast<long>(keep.size()));
        for (long f = first; f < end; ++f)
            selected += keep[static_cast<std::size_t>(f)] ? 1 : 0;
        if (selected == frames_in_volume && v < volumes)
            complete.emplace_back(first, end - 1);
        else if (selected > 0)
            partial = true;
    }
    if (!partial)
        return {};
    wxString report;
    if (complete.size() == 1)
        report = wxString::Format("Complete volume range is %d-%li.\n\n", static_cast<int>(complete[0].first),
                                  complete[0].second);
    else if (complete.size() == 2)
        report = wxString::Format("Complete volume ranges are %d-%li and %li-%li.\n\n",
                                  static_cast<int>(complete[0].first), complete[0].second, complete[1].first,
                                  complete[1].second);
    else if (!complete.empty()) {
        report = wxString::Format("Complete volume ranges are %d-%li", static_cast<int>(complete[0].first),
                                  complete[0].second);
        for (std::size_t k = 1; k < complete.size(); ++k)
            report << wxString::Format(", %li-%li", complete[k].first, complete[k].second);
        report << "\n\n";
    }
    return "Warning: the specified range of frames in inconsistent over volumes.\nThe data will be saved without "
           "volume information.\n" +
           report + "Select OK to continue with partial volumes";
}

namespace {

// The per-recording data a subset export changes, kept so a failed write can put them back.
struct recording_snapshot_t {
    dynabuf frames;
    std::shared_ptr<object_table> objects;
    std::shared_ptr<landmarks> marks;
    std::shared_ptr<multi_sweeps> sweeps;
    std::shared_ptr<std::vector<long>> dicom_sources;
    std::int64_t frames_in_volume;
    wxFileName ascii;
    wxString image_name;

    recording_snapshot_t()
    {
        for (long i = 0; i < bufp->frames(); ++i)
            frames.append(bufp->imagecp(i), bufp->positioncp(i), bufp->timestamp(i), bufp->load(i));
        objects = res->RES_OBJECT->value();
        marks = res->RES_LANDMARKS->value();
        sweeps = res->RES_SWEEPS->value();
        dicom_sources = res->RES_DICOM_FRAME_LIST->value();
        frames_in_volume = res->RES_FRAMES_IN_VOL->value();
        ascii = res->RES_ASCII_FILENAME->value();
        image_name = res->RES_BIN_IM_FILENAME->value();
    }
    void restore() const
    {
        bufp->clear();
        for (long i = 0; i < frames.frames(); ++i)
            bufp->append(frames.imagecp(i), frames.positioncp(i), frames.timestamp(i), frames.load(i));
        res->RES_OBJECT->write_no_changeprocs(objects);
        res->RES_LANDMARKS->write_no_changeprocs(marks);
        res->RES_SWEEPS->write_no_changeprocs(sweeps);
        res->RES_DICOM_FRAME_LIST->write_no_changeprocs(dicom_sources);
        res->RES_FRAMES_IN_VOL->write_no_changeprocs(frames_in_volume);
        res->RES_ASCII_FILENAME->write_no_changeprocs(ascii);
        res->RES_BIN_IM_FILENAME->write_no_changeprocs(image_name);
        res->RES_BUF_FRAMES->write_no_changeprocs(frames.frames());
        base_res_t::make_pending_writes_happen();
    }
};

// Renumbers everything that names a frame to the kept frames, dropping what lay on the others.
void keep_selected(const std::vector<char>& keep)
{
    std::vector<long> renumber(keep.size(), -1);
    long next = 0;
    for (std::size_t f = 0; f < keep.size(); ++f)
        if (keep[f])
            renumber[f] = next++;
    auto mapped = [&](long f) { return f >= 0 && static_cast<std::size_t>(f) < keep.size() ? renumber[f] : -1L; };

    auto objects = std::make_shared<object_table>(*res->RES_OBJECT->value());
    objects->keep_frames(keep);
    auto marks = std::make_shared<landmarks>();
    for (landmark_t m : res->RES_LANDMARKS->value()->list) {
        if (m.kind == LMARK_2D) {
            if (mapped(m.index) < 0)
                continue;
            m.index = static_cast<std::int32_t>(mapped(m.index));
        }
        marks->list.push_back(m);
    }
    // A sweep starts at its first kept frame.
    auto sweeps = std::make_shared<multi_sweeps>();
    const auto& old = res->RES_SWEEPS->value()->first_frames;
    for (std::size_t s = 0; s < old.size(); ++s) {
        const long end = s + 1 < old.size() ? old[s + 1] : static_cast<long>(keep.size());
        for (long f = std::max(0L, old[s]); f < end; ++f)
            if (mapped(f) >= 0) {
                if (sweeps->first_frames.empty() || sweeps->first_frames.back() != mapped(f))
                    sweeps->first_frames.push_back(mapped(f));
                break;
            }
    }
    // A DICOM recording's kept frames keep their sources.
    auto sources = std::make_shared<std::vector<long>>();
    const auto& listed = *res->RES_DICOM_FRAME_LIST->value();
    for (std::size_t f = 0; f < listed.size() && f < keep.size(); ++f)
        if (keep[f])
            sources->push_back(listed[f]);
    bufp->thin(keep);
    res->RES_DICOM_FRAME_LIST->write_no_changeprocs(sources);
    res->RES_OBJECT->write_no_changeprocs(objects);
    res->RES_LANDMARKS->write_no_changeprocs(marks);
    res->RES_SWEEPS->write_no_changeprocs(sweeps);
}

}  // namespace

bool export_frames_to_recording(const std::vector<char>& keep, const wxString& path)
{
    if (static_cast<long>(keep.size()) != bufp->frames() || std::none_of(keep.begin(), keep.end(), [](char k) { return k; })) {
        wxLogError("No valid frames in specified range - nothing to save!");
        return false;
    }
    if (wxFileName::FileExists(path) &&
        interaction().ask("Export frames", "The file " + path + " exists already. Overwrite it?", question_t::yes_no,
                          answer_t::no) != answer_t::yes)
        return false;
    const recording_snapshot_t before;
    const bool whole_volumes = partial_volume_report(keep, res->RES_FRAMES_IN_VOL->value()).empty();
    keep_selected(keep);
    if (!whole_volumes)
        res->RES_FRAMES_IN_VOL->write_no_changeprocs(1);
    base_res_t::make_pending_writes_happen();
    recording_io->frames_changed();
    if (!recording_io->save_as(path)) {
        before.restore();
        return false;
    }
    wxLogStatus("%li frames recorded.", bufp->frames());
    return true;
}

bool export_volume_pair(long a, long b, const wxString& path)
{
    const long n = res->RES_FRAMES_IN_VOL->value();
    const long volumes = n > 0 ? bufp->frames() / n : 0;
    if (n <= 1 || a < 0 || b < 0 || a >= volumes || b >= volumes || a == b) {
        wxLogError("There is no such pair of volumes in this recording.");
        return false;
    }
    std::vector<char> keep(static_cast<std::size_t>(bufp->frames()), 0);
    for (long v : {a, b})
        for (long f = v * n; f < (v + 1) * n; ++f)
            keep[static_cast<std::size_t>(f)] = 1;
    return export_frames_to_recording(keep, path);
}

bool export_frames_to_images(const std::vector<char>& keep, const wxString& path, image_export_t type)
{
    const long selected = static_cast<long>(std::count(keep.begin(), keep.end(), 1));
    if (selected == 0 || static_cast<long>(keep.size()) != bufp->frames()) {
        wxLogError("No valid frames in specified range - nothing to save!");
        return false;
    }
    // The extension names the type; a name without one takes the chosen type's.
    const char* type_extension = type == image_export_t::bmp    ? "bmp"
                                 : type == image_export_t::png  ? "png"
                                 : type == image_export_t::jpeg ? "jpeg"
                                                                : "tiff";
    wxFileName chosen(path);
    if (!chosen.HasExt() || chosen.GetExt().empty())
        chosen.SetExt(type_extension);
    bool ok = true;
    interaction().progress_begin("Export frame", "", static_cast<int>(selected));
    int done = 0;
    for (long f = 0; f < bufp->frames() && ok; ++f) {
        if (!keep[static_cast<std::size_t>(f)])
            continue;
        wxString name = chosen.GetFullPath();
        if (selected > 1)
            name = wxFileName(chosen.GetPath(), chosen.GetName() + wxString::Format("%04li.", f) + chosen.GetExt())
                       .GetFullPath();
        if (!interaction().progress_update(done++, wxString::Format("Currently exporting frame %li to '%s'.", f, name)))
            break;
        const cip_t frame = bufp->imagecp(f);
        wxImage image(static_cast<int>(frame.width()), static_cast<int>(frame.height()), false);
        unsigned char* rgb = image.GetData();
        for (std::size_t p = 0; p < frame.pixel_count(); ++p)
            rgb[3 * p] = rgb[3 * p + 1] = rgb[3 * p + 2] = frame.pixels()[p];
        image.SetOption(wxIMAGE_OPTION_QUALITY, 95);  // read by JPEG only
        ok = save_image_file(image, name);
    }
    interaction().progress_end();
    return ok;
}
