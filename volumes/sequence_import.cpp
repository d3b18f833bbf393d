#include "sequence_import.h"

#include <algorithm>
#include <cmath>

#include <wx/filename.h>
#include <wx/log.h>

#include "common/dynabuf.h"
#include "common/matrix16d.h"
#include "common/interaction.h"
#include "resources/probe_calibration.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"
#include "volumes/meta_header.h"
#include "volumes/sequence_file.h"
#include "volumes/slice_pose.h"

namespace {

// Frames without a time stamp follow the one before by this (25 a second).
constexpr std::uint64_t default_frame_step = 400000;

// Recording files keep calibration values to six decimals: the residual is
// of the values as they will be read back.
double as_kept(double v)
{
    return std::round(v * 1e6) / 1e6 + 0.0;  // no -0
}

bool status_ok(const std::string& status)
{
    return status.empty() || lower_case(status) == "ok";
}

// A transform field of the frame: false with the reason when it is there,
// marked OK, and not a rigid transform; *found false when absent or not OK.
bool frame_transform(const sequence_header_t& h, long k, const std::string& from, const std::string& to, matrix16d* cm,
                     bool* found, wxString* why)
{
    const std::string name = lower_case(from + "To" + to + "Transform");
    const std::string& text = h.frame_field(k, name);
    *found = !text.empty() && status_ok(h.frame_field(k, name + "status"));
    if (!*found)
        return true;
    row_major16_t m;
    wxString reason;
    if (!parse_matrix16(text, &m, &reason) || !rigid_cm_from_row_major_mm(m, cm, &reason)) {
        *why = wxString::Format("frame %ld's %sTo%sTransform is marked OK but is not usable: ", k, from, to) + reason;
        return false;
    }
    return true;
}

// The probe's pose in frame k, or an empty record.
bool frame_pose(const sequence_header_t& h, long k, const sequence_import_options_t& o, counted_array_ptr<float>* pose,
                wxString* why)
{
    matrix16d probe_pose;
    bool found = false;
    if (o.reference.empty()) {
        if (!frame_transform(h, k, o.probe, "Tracker", &probe_pose, &found, why))
            return false;
    } else {
        // The file's own ProbeToReference, else through the tracker.
        if (!frame_transform(h, k, o.probe, o.reference, &probe_pose, &found, why))
            return false;
        if (!found && !h.frame_field(k, lower_case(o.probe + "To" + o.reference + "Transform")).empty()) {
            *pose = {};  // given, but not OK
            return true;
        }
        if (!found) {
            matrix16d probe_to_tracker, reference_to_tracker;
            bool probe_found = false, reference_found = false;
            if (!frame_transform(h, k, o.probe, "Tracker", &probe_to_tracker, &probe_found, why) ||
                !frame_transform(h, k, o.reference, "Tracker", &reference_to_tracker, &reference_found, why))
                return false;
            found = probe_found && reference_found;
            if (found) {
                reference_to_tracker.invert();
                probe_pose = reference_to_tracker * probe_to_tracker;
            }
        }
    }
    if (!found) {
        *pose = {};
        return true;
    }
    std::array<double, 6> p{};
    probe_pose.decompose(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5]);
    *pose = pose_record(p);
    return true;
}

// Whether any frame names the transform at all: a misspelt tool name is an
// error, not a recording without poses.
bool names_transform(const sequence_header_t& h, const std::string& from, const std::string& to)
{
    const std::string name = lower_case(from + "To" + to + "Transform");
    for (const auto& fields : h.frame_fields)
        if (fields.count(name))
            return true;
    return false;
}

wxString transform_names(const sequence_header_t& h)
{
    std::vector<std::string> names;
    for (const auto& fields : h.frame_fields)
        for (const auto& [key, value] : fields)
            if (key.size() > 9 && key.compare(key.size() - 9, 9, "transform") == 0 &&
                std::find(names.begin(), names.end(), key) == names.end())
                names.push_back(key);
    wxString out;
    for (const std::string& n : names)
        out += (out.empty() ? "" : ", ") + wxString(n);
    return out.empty() ? wxString("none") : out;
}

bool calibration_for(const sequence_header_t& h, const sequence_import_options_t& o, sequence_recording_t* out,
                     wxString* why)
{
    out->image_to_probe = o.image_to_probe;
    if (!o.have_image_to_probe) {
        // Our own export writes it into the header; some files give it on each frame.
        const std::string key = lower_case("ImageTo" + o.probe + "Transform");
        const auto field = h.fields.find(key);
        const std::string& text = field != h.fields.end() ? field->second : h.frame_field(0, key);
        if (text.empty()) {
            *why =
                "the file does not give the image-to-probe calibration: give it as a device-set XML file or 16 "
                "numbers";
            return false;
        }
        if (!parse_matrix16(text, &out->image_to_probe, why))
            return false;
    }
    probe_calibration_fit_t fit;
    if (!fit_probe_calibration(out->image_to_probe, &fit, why))
        return false;
    for (double& v : fit.pose)
        v = as_kept(v);
    fit.sx = as_kept(fit.sx);
    fit.sy = as_kept(fit.sy);
    if (!(fit.sx > 0.0) || !(fit.sy > 0.0)) {
        *why = "the image-to-probe matrix gives pixels too small to keep (under 0.000001 cm)";
        return false;
    }
    out->calibration = fit;
    out->residual_mm = calibration_residual_mm(out->image_to_probe, fit, h.width, h.height);
    return true;
}

}  // namespace

bool read_sequence_recording(const wxString& path, const sequence_import_options_t& o, sequence_recording_t* out,
                             wxString* why, const sequence_progress_t& progress)
{
    *out = {};
    sequence_header_t h;
    if (!read_sequence_header(path, &h, why))
        return false;
    out->width = h.width;
    out->height = h.height;
    if (!calibration_for(h, o, out, why))
        return false;
    if (!names_transform(h, o.probe, "Tracker") && (o.reference.empty() || !names_transform(h, o.probe, o.reference))) {
        *why = "no frame has a " + wxString(o.probe) + "ToTrackerTransform; the transforms given are " +
               transform_names(h);
        return false;
    }
    if (!o.reference.empty() && !names_transform(h, o.reference, "Tracker") &&
        !names_transform(h, o.probe, o.reference)) {
        *why = "no frame has a " + wxString(o.reference) + "ToTrackerTransform; the transforms given are " +
               transform_names(h);
        return false;
    }

    // Poses and times first: a bad transform is reported before the long read.
    std::vector<counted_array_ptr<float>> poses(std::size_t(h.frames));
    std::vector<std::uint64_t> times(std::size_t(h.frames));
    std::vector<char> keep(std::size_t(h.frames), 1);
    for (long k = 0; k < h.frames; ++k) {
        const std::size_t i = std::size_t(k);
        if (!frame_pose(h, k, o, &poses[i], why))
            return false;
        const std::string& time = h.frame_field(k, "timestamp");
        if (time.empty()) {
            times[i] = k > 0 ? times[i - 1] + default_frame_step : 0;
        } else if (!parse_sequence_time(time, &times[i])) {
            *why = wxString::Format("frame %ld's Timestamp '%s' is not a time in seconds from 0", k,
                                    wxString(time.substr(0, 40)));
            return false;
        }
        keep[i] = status_ok(h.frame_field(k, "imagestatus"));
    }

    out->frames.reserve(std::size_t(h.frames));
    const bool read = read_sequence_frames(
        h,
        [&](long k, const cip_t& image) {
            const std::size_t i = std::size_t(k);
            if (keep[i]) {
                out->frames.push_back(image);
                out->poses.push_back(poses[i]);
                out->times.push_back(times[i]);
                out->frames_without_pose += poses[i].empty() ? 1 : 0;
            } else {
                ++out->frames_left_out;
            }
            return !progress || progress(k + 1, h.frames);
        },
        why);
    if (!read) {
        out->frames.clear();
        return false;
    }
    if (out->frames.empty()) {
        *why = "every frame's ImageStatus is not OK: there is nothing to show";
        return false;
    }
    return true;
}

bool clip_sequence_to_content(sequence_recording_t* s, long* x0, long* y0)
{
    const long w = s->width, h = s->height;
    long left = w, right = -1, top = h, bottom = -1;
    for (const cip_t& f : s->frames) {
        if (f.empty() || f.width() != w || f.height() != h)
            return false;
        const std::uint8_t* p = f.pixels();
        for (long y = 0; y < h; ++y)
            for (long x = 0; x < w; ++x)
                if (p[y * w + x] != 0) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
    }
    if (right < 0 || (left == 0 && top == 0 && right == w - 1 && bottom == h - 1))
        return false;
    const long cw = right - left + 1, ch = bottom - top + 1;
    for (cip_t& f : s->frames) {
        cip_t cut = cip_t::make_8bit(cw, ch);
        for (long y = 0; y < ch; ++y)
            std::copy_n(f.pixels() + (y + top) * w + left, cw, cut.pixels() + y * cw);
        f = cut;
    }
    // The calibration's origin moves to the corner kept: pixel (u, v) of the cut frame is (u + left, v + top).
    auto& c = s->calibration;
    matrix16d m;
    m.forward(c.pose[0], c.pose[1], c.pose[2], c.pose[3], c.pose[4], c.pose[5]);
    const vertex3d origin = m * vertex3d{double(left) * c.sx, double(top) * c.sy, 0.0};
    c.pose[0] = origin.x;
    c.pose[1] = origin.y;
    c.pose[2] = origin.z;
    s->width = cw;
    s->height = ch;
    *x0 = left;
    *y0 = top;
    return true;
}

void make_sequence_recording(const sequence_recording_t& s, const wxString& recording_path)
{
    recording_io->new_recording();
    res->RES_BUF_WIDTH->write(s.width);
    res->RES_BUF_HEIGHT->write(s.height);
    res->RES_FRAME_SIZE->write(s.width * s.height);
    res->RES_POS_REC->write(true);
    write_probe_calibration(s.calibration.pose, s.calibration.sx, s.calibration.sy);
    for (std::size_t i = 0; i < s.frames.size(); ++i)
        bufp->append(s.frames[i], s.poses[i], s.times[i]);
    recording_io->frames_changed();
    res->RES_ASCII_FILENAME->write(wxFileName(recording_path));
    res->RES_BIN_IM_FILENAME->write(recording_io_t::image_file_name_for(recording_path));
}

wxString sequence_recording_name(const wxString& sequence_path)
{
    wxFileName name(sequence_path);
    const wxString stem = name.GetName();
    const wxString inner = stem.AfterLast('.').Lower();
    if (stem.Contains(".") && (inner == "igs" || inner == "seq"))
        name.SetName(stem.BeforeLast('.'));
    name.SetExt("ks");
    return name.GetFullPath();
}

wxString sequence_import_summary(const sequence_recording_t& s)
{
    const auto& c = s.calibration;
    wxString text = wxString::Format("Loaded %zu frames of %ld x %ld", s.frames.size(), s.width, s.height);
    if (s.frames_without_pose > 0)
        text += wxString::Format(", %ld of them without a pose", s.frames_without_pose);
    if (s.frames_left_out > 0)
        text += wxString::Format("; left out %ld frames whose image is not OK", s.frames_left_out);
    text += wxString::Format(
        ".\nProbe calibration: %.6f %.6f %.6f cm, %.6f %.6f %.6f degrees; pixels %.6f x %.6f cm.\n"
        "The calibration fits the image-to-probe matrix to %.4f mm at the image's corners (shear %.6f mm a pixel).",
        c.pose[0], c.pose[1], c.pose[2], c.pose[3], c.pose[4], c.pose[5], c.sx, c.sy, s.residual_mm,
        std::fabs(c.shear_mm) < 5e-7 ? 0.0 : c.shear_mm);
    return text;
}

bool load_sequence_file(const wxString& path)
{
    const std::optional<int> source = interaction().ask_choice(
        "Open tracked sequence",
        "A sequence file does not give the image-to-probe calibration. Where should it come from?",
        {"A device-set XML file (Transform From=\"Image\" To=\"Probe\")",
         "Type the 16 numbers of the matrix (row by row, mm)", "The sequence file's own ImageToProbeTransform"});
    if (!source)
        return false;
    sequence_import_options_t options;
    wxString why;
    if (*source == 0) {
        const auto file =
            interaction().ask_file("Device set with the image-to-probe calibration",
                                   "XML files (*.xml)|*.xml|All files (*)|*", wxFileName(path).GetPath(), false);
        if (!file)
            return false;
        if (!read_image_to_probe_xml(file->path, options.probe, &options.image_to_probe, &why)) {
            wxLogError("Cannot load '%s': %s", path, why);
            return false;
        }
        options.have_image_to_probe = true;
    } else if (*source == 1) {
        const auto text = interaction().ask_text("Image-to-probe calibration",
                                                 "The 16 numbers of the image-to-probe matrix, row by row (mm):", "",
                                                 text_kind_t::line);
        if (!text)
            return false;
        if (!parse_matrix16(text->ToStdString(), &options.image_to_probe, &why)) {
            wxLogError("Cannot load '%s': %s", path, why);
            return false;
        }
        options.have_image_to_probe = true;
    }
    sequence_recording_t sequence;
    interaction().progress_begin("File Open", "Reading the sequence's frames.", 100);
    const bool read = read_sequence_recording(path, options, &sequence, &why, [](long done, long total) {
        return done % 16 != 0 ||
               interaction().progress_update(int(100 * done / total), "Reading the sequence's frames.");
    });
    interaction().progress_end();
    if (!read) {
        if (!why.empty())
            wxLogError("Cannot load '%s': %s", path, why);
        return false;
    }
    make_sequence_recording(sequence, sequence_recording_name(path));
    wxLogStatus("%s", sequence_import_summary(sequence));
    if (sequence.residual_mm > 0.1)
        wxLogWarning(
            "The image-to-probe matrix is not a rotation with pixel scales: the calibration is %.2f mm from it "
            "at the image's corners.",
            sequence.residual_mm);
    return true;
}
