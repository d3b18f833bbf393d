#include "recording_file.h"

#include <cmath>

#include <wx/datetime.h>
#include <wx/ffile.h>
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/mstream.h>
#include <wx/txtstrm.h>

#include "common/interaction.h"
#include "resource_table.h"
#include "safe_file.h"
#include "save_journal.h"
#include "string_output_stream.h"
#include "value_text.h"

recording_io_t* recording_io = nullptr;

namespace {

// Without the probe's filters the RF signal is shown through its magnitude,
// compressed like the envelope: the dynamic range, offset and gamma apply.
void unfiltered_rf_display(const cip_t& frame, long /*frame_number*/)
{
    if (!frame.has_samples())
        return;
    const long vectors = frame.width(), samples = frame.height();
    // Pending values: while a recording is read its own settings are not yet in place.
    const double mult = res ? std::max<double>(1.0, static_cast<double>(res->RES_RF_LOG_MULT->pending())) : 60.0;
    const double offset = res ? static_cast<double>(res->RES_RF_LOG_OFFSET->pending()) : 20.0;
    const float gamma = res ? static_cast<float>(res->RES_RF_LOG_GAMMA->pending()) : 1.0f;
    const std::int16_t* in = frame.signed_samples();
    std::uint8_t* out = frame.pixels();
    for (long v = 0; v < vectors; ++v)
        for (long s = 0; s < samples; ++s) {
            const double x = in[v * samples + s];
            const double p = x * x;
            double value = 0.0;
            if (p > 0.0) {
                const double ratio = (10.0 * std::log10(p) - offset) / mult;
                value = ratio > 0.0 ? 255.0 * std::pow(static_cast<float>(ratio), gamma) : 0.0;
            }
            out[s * vectors + v] = value > 255.0 ? 255 : value < 1.0 ? 1 : static_cast<std::uint8_t>(value);
        }
}

// Whole-file read with encoding detection (UTF-8 or UTF-16/32 with a byte
// order mark, anything else read as Latin-1 rather than refused).
bool read_text_lines(const wxString& path, std::vector<wxString>* lines)
{
    wxFFile file(path, "rb");
    if (!file.IsOpened())
        return false;
    wxString text;
    if (!file.ReadAll(&text, wxConvAuto(wxFONTENCODING_ISO8859_1)))
        return false;
    // Split by hand: a line may hold any character, NUL included.
    lines->clear();
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.length(); ++i)
        if (i == text.length() || text[i] == '\n') {
            lines->push_back(text.substr(start, i - start));
            start = i + 1;
        }
    return true;
}

}  // namespace

recording_io_t::recording_io_t() : rf_display_(unfiltered_rf_display)
{
    register_procedures();
}

recording_io_t::~recording_io_t()
{
    unregister_procedures();
}

wxString recording_io_t::recording_directory() const
{
    if (reading())
        return reading_dir_;
    const wxString dir = res ? res->RES_ASCII_FILENAME->value().GetPath() : wxString();
    return dir.empty() ? wxString(".") : dir;
}

long recording_io_t::frame_count()
{
    return bufp ? bufp->frames() : 0;
}

wxString recording_io_t::image_file_name_for(const wxString& recording_path)
{
    const wxFileName name(recording_path);
    if (name.GetExt().Lower() == "ks")
        return name.GetName() + ".kvi";
    return name.GetFullName() + "i";
}

std::uint64_t recording_io_t::frame_bytes() const
{
    const auto size = static_cast<std::uint64_t>(std::max<std::int64_t>(0, res->RES_FRAME_SIZE->pending()));
    return res->RES_BUF_RF->pending() ? 2 * size : size;
}

// ---------------------------------------------------------------- procedures

void recording_io_t::register_procedures()
{
    using namespace std::placeholders;
    auto bind = [this](bool (recording_io_t::*f)(const wxString&)) {
        return [this, f](const wxString& v) { return (this->*f)(v); };
    };
    auto bind_out = [this](bool (recording_io_t::*f)(wxTextOutputStream&)) {
        return [this, f](wxTextOutputStream& o) { return (this->*f)(o); };
    };
    auto track = [this](base_res_t* r, seen_t which) {
        r->set_parse_proc([this, r, which](const wxString& v) {
            seen_[which] = true;
            return r->parse_value_no_changeprocs(v);
        });
    };
    track(res->RES_BUF_FRAMES, SEEN_FRAMES);
    track(res->RES_BUF_WIDTH, SEEN_WIDTH);
    track(res->RES_BUF_HEIGHT, SEEN_HEIGHT);
    track(res->RES_BUF_RF, SEEN_RF);
    track(res->RES_BUF_DICOM, SEEN_DICOM);
    track(res->RES_RF_SAMPLES, SEEN_SAMPLES);
    track(res->RES_RF_VECTORS, SEEN_VECTORS);
    track(res->RES_POS_REC, SEEN_POS_REC);

    res->RES_END_HEADER->set_parse_proc(bind(&recording_io_t::parse_end_header));
    res->RES_COMMENT->set_parse_proc(bind(&recording_io_t::parse_comment));
    res->RES_COMMENT->set_write_out_proc(bind_out(&recording_io_t::write_out_comment));
    res->IM->set_parse_proc(bind(&recording_io_t::parse_image_dat));
    res->IM->set_write_out_proc(bind_out(&recording_io_t::write_out_image_dat));
    res->LOAD->set_parse_proc(bind(&recording_io_t::parse_load_dat));
    res->LOAD->set_write_out_proc(bind_out(&recording_io_t::write_out_load_dat));
    res->SWEEPS->set_parse_proc(bind(&recording_io_t::parse_sweep_dat));
    res->SWEEPS->set_write_out_proc(bind_out(&recording_io_t::write_out_sweep_dat));
    res->LANDMARK->set_parse_proc(bind(&recording_io_t::parse_landmark_dat));
    res->LANDMARK->set_write_out_proc(bind_out(&recording_io_t::write_out_landmark_dat));
    res->FIDUCIAL->set_parse_proc(bind(&recording_io_t::parse_fiducial_dat));
    res->FIDUCIAL->set_write_out_proc(bind_out(&recording_io_t::write_out_fiducial_dat));
    res->OBJECT->set_parse_proc(bind(&recording_io_t::parse_object_dat));
    res->OBJECT->set_write_out_proc(bind_out(&recording_io_t::write_out_object_dat));
    res->CONT->set_parse_proc(bind(&recording_io_t::parse_contour_dat));
    res->CONT->set_write_out_proc(bind_out(&recording_io_t::write_out_contour_dat));
    res->CURVE->set_parse_proc(bind(&recording_io_t::parse_curve_dat));
    res->CURVE->set_write_out_proc(bind_out(&recording_io_t::write_out_curve_dat));
    res->RES_DICOM_FRAME_LIST->set_parse_proc(bind(&recording_io_t::parse_dicom_frame_list));
    res->RES_DICOM_FRAME_LIST->set_write_out_proc(bind_out(&recording_io_t::write_out_dicom_frame_list));
    res->RES_RF_DISPLAY->set_parse_proc(bind(&recording_io_t::parse_rf_display));
    res->RES_RF_DISPLAY->set_write_out_proc(bind_out(&recording_io_t::write_out_rf_display));
    res->RES_BIN_IM_FILENAME->set_parse_proc(bind(&recording_io_t::parse_bin_im_filename));
    res->RES_BIN_IM_FILENAME->set_write_out_proc(bind_out(&recording_io_t::write_out_bin_im_filename));
    res->RES_VID_CARD->set_parse_proc(bind(&recording_io_t::parse_vid_card));
    res->RES_VID_CARD->set_write_out_proc(bind_out(&recording_io_t::write_out_vid_card));
    res->RES_POS_DETECT->set_parse_proc(bind(&recording_io_t::parse_pos_detect));
    res->RES_POS_DETECT->set_write_out_proc(bind_out(&recording_io_t::write_out_pos_detect));
    res->RES_VIDEO_STANDARD->set_parse_proc(bind(&recording_io_t::parse_video_standard));
    res->RES_VIDEO_STANDARD->set_write_out_proc(bind_out(&recording_io_t::write_out_video_standard));
    res->RES_POLARIS_PORT->set_parse_proc([this](const wxString& v) { return parse_polaris_port(v, false); });
    res->RES_POLARIS_PORT->set_write_out_proc(
        [this](wxTextOutputStream& o) { return write_out_polaris_port(o, false); });
    res->RES_POLARIS_POINTER->set_parse_proc([this](const wxString& v) { return parse_polaris_port(v, true); });
    res->RES_POLARIS_POINTER->set_write_out_proc(
        [this](wxTextOutputStream& o) { return write_out_polaris_port(o, true); });
}

void recording_io_t::unregister_procedures()
{
    if (!res)
        return;
    for (base_res_t* r : std::initializer_list<base_res_t*>{
             res->RES_BUF_FRAMES, res->RES_BUF_WIDTH, res->RES_BUF_HEIGHT, res->RES_BUF_RF, res->RES_BUF_DICOM,
             res->RES_RF_SAMPLES, res->RES_RF_VECTORS, res->RES_POS_REC, res->RES_END_HEADER, res->RES_COMMENT,
             res->IM, res->LOAD, res->SWEEPS, res->LANDMARK, res->FIDUCIAL, res->OBJECT, res->CONT, res->CURVE,
             res->RES_DICOM_FRAME_LIST, res->RES_RF_DISPLAY, res->RES_BIN_IM_FILENAME, res->RES_VID_CARD,
             res->RES_POS_DETECT, res->RES_VIDEO_STANDARD, res->RES_POLARIS_PORT, res->RES_POLARIS_POINTER}) {
        r->set_parse_proc(nullptr);
        r->set_write_out_proc(nullptr);
    }
}

// ---------------------------------------------------------------- per-recording state

void recording_io_t::set_default_resources()
{
    for (bool_res_t* r : {res->RES_BUF_DOPPLER, res->RES_BUF_RF, res->RES_BUF_DICOM, res->RES_POS_MANUAL,
                          res->RES_RF_DUAL_DISPLAY, res->RES_CORRECTED_POS, res->RES_CORRECTED_PRESSURE})
        r->write_no_changeprocs(false);
    res->RES_RF_DISPLAY->write_no_changeprocs(1);
    res->RES_FRAMES_IN_VOL->write_no_changeprocs(1);
    for (long_res_t* r : {res->RES_MASKED_DATA, res->RES_FLAP_PAIREDSCAN, res->RES_RF_SELECT_SAMPLE,
                          res->RES_RF_SELECT_SAMPLES, res->RES_RF_SELECT_VECTOR, res->RES_RF_SELECT_VECTORS})
        r->write_no_changeprocs(0);
    res->RES_DICOM_BMD_SCALE->write_no_changeprocs(1.0);
    res->RES_DICOM_BMD_OFFSET->write_no_changeprocs(0.0);
    res->RES_RF_PROBE_NAME->write_no_changeprocs("");
    res->RES_DICOM_BMD_PHANTOM->write_no_changeprocs("No");
    res->RES_VERSION->write_no_changeprocs("3.6");
}

void recording_io_t::clear_static_resources()
{
    if (bufp)
        bufp->clear();
    const bool postponed = base_res_t::postpone_writes();
    base_res_t::set_postpone_writes(false);
    res->RES_BUF_FRAMES->write_no_changeprocs(0);
    res->RES_BUF_CURRENT_FRAME->write_no_changeprocs(0);
    res->RES_OBJECT->write_no_changeprocs(std::make_shared<object_table>());
    res->RES_CURVE->write_no_changeprocs(std::make_shared<curve_set>());
    res->RES_LANDMARKS->write_no_changeprocs(std::make_shared<landmarks>());
    res->RES_SWEEPS->write_no_changeprocs(std::make_shared<multi_sweeps>());
    res->RES_COMMENT->write_no_changeprocs(std::make_shared<std::vector<wxString>>());
    res->RES_DICOM_FRAME_LIST->write_no_changeprocs(std::make_shared<std::vector<long>>());
    for (auto* surface : res->RES_SURFACE)
        surface->write_no_changeprocs(nullptr);
    base_res_t::make_pending_writes_happen();
    base_res_t::set_postpone_writes(postponed);
    base_res_t::clear_needs_save(RES_MASK_RECORDING);
}

void recording_io_t::frames_changed()
{
    res->RES_BUF_FRAMES->write(frame_count());
    res->RES_BUF_FRAMES->set_needs_save(true);
    res->RES_BIN_IM_FILENAME->set_needs_save(true);
}

void recording_io_t::new_recording()
{
    base_res_t::restore_kept_values();
    res->RES_DISABLE_RECORDING->write_no_changeprocs(false);
    base_res_t::make_pending_writes_happen();
    clear_static_resources();
    const wxFileName current = res->RES_ASCII_FILENAME->value();
    const wxString dir = current.GetPath().empty() ? wxFileName::GetCwd() : current.GetPath();
    for (long i = 1;; ++i) {
        const wxString base = res->RES_FILENAME_STUB->value() + wxString::Format("_%li", i);
        const wxFileName ks(dir, base + ".ks"), kvi(dir, base + ".kvi");
        if (!ks.FileExists() && !kvi.FileExists()) {
            res->RES_ASCII_FILENAME->write(ks);
            res->RES_BIN_IM_FILENAME->write(kvi.GetFullName());
            break;
        }
    }
    base_res_t::clear_needs_save(RES_MASK_RECORDING);
}

// ---------------------------------------------------------------- reading

bool recording_io_t::read_lines(const wxString& path, unsigned long header_mask, unsigned long body_mask,
                                const char* failure_format, bool progress)
{
    std::vector<wxString> lines;
    if (!read_text_lines(path, &lines))
        return false;
    std::size_t i = 0;
    for (; i < lines.size() && !end_header_seen_; ++i)
        if (!base_res_t::parse_no_changeprocs(lines[i], header_mask)) {
            wxLogError(failure_format, lines[i].Left(200));
            return false;
        }
    if (!end_header_seen_) {
        wxLogError("The file %s ends before its RES_END_HEADER line: it is not a Kestrane file.\n", path);
        return false;
    }
    const wxDateTime start = wxDateTime::UNow();
    wxDateTime last_pulse = start;
    bool shown = false;
    for (; i < lines.size(); ++i) {
        if (!base_res_t::parse_no_changeprocs(lines[i], body_mask)) {
            wxLogError(failure_format, lines[i].Left(200));
            if (shown)
                interaction().progress_end();
            return false;
        }
        if (progress && (i & 255) == 0) {
            const wxDateTime now = wxDateTime::UNow();
            if (!shown && (now - start).GetMilliseconds() > 1001) {
                interaction().progress_begin("File Open", "Currently reading resources in file", 100);
                shown = true;
            }
            if (shown && (now - last_pulse).GetMilliseconds() > 101) {
                interaction().progress_pulse("Currently reading resources in file");
                last_pulse = now;
            }
        }
    }
    if (shown)
        interaction().progress_end();
    return true;
}

bool recording_io_t::begin_read(const wxString& path, bool recording)
{
    if (!wxFileName::FileExists(path) || !wxFFile(path, "rb").IsOpened())
        return false;
    stage_ = std::make_unique<recording_content_t>();
    reading_dir_ = wxFileName(path).GetPath();
    if (reading_dir_.empty())
        reading_dir_ = ".";
    std::fill(std::begin(seen_), std::end(seen_), false);
    end_header_seen_ = false;
    image_data_surplus_ = 0;
    base_res_t::set_postpone_writes(true);
    if (recording)
        base_res_t::restore_recording_values();
    set_default_resources();
    return true;
}

bool recording_io_t::try_read_kestrane_file(const wxString& path)
{
    recover_interrupted_save(path, {image_file_name_for(path)});
    if (!begin_read(path, true)) {
        wxLogError("Error opening file for reading in.\n");
        return false;
    }
    bool ok = read_lines(path, RES_FLAG_RECORDING_HEADER, RES_FLAG_RECORDING_BODY, "Failed when reading %s", true);
    dicom_rescale_.reset();
    if (ok && res->RES_BUF_DICOM->pending() && pending_frames() > 0)
        ok = read_dicom_frames();
    if (ok) {
        const long frames = pending_frames();
        const bool with_pose = res->RES_POS_REC->pending();
        if (static_cast<long>(stage_->images.size()) != frames ||
            (with_pose && static_cast<long>(stage_->times.size()) != frames)) {
            wxLogError("Inconsistent frame count vs RES_BUF_FRAMES value when reading file.\n");
            ok = false;
        }
    }
    if (!ok) {
        fail_read();
        return false;
    }
    image_data_surplus_ = stage_->image_data_surplus;
    commit_content();
    res->RES_ASCII_FILENAME->write_no_changeprocs(wxFileName(path));
    res->RES_BUF_CURRENT_FRAME->write_no_changeprocs(0);
    if (pending_frames() > 0)
        res->RES_DISABLE_RECORDING->write_no_changeprocs(true);

    base_res_t::set_loading_file(true);
    base_res_t::set_postpone_writes(false);
    base_res_t::make_pending_writes_happen();
    base_res_t::set_loading_file(false);
    base_res_t::clear_needs_save(RES_MASK_RECORDING);
    stage_.reset();
    // Leftovers of an unfinished save beside an image data file of another name.
    recover_interrupted_save(path, {res->RES_BIN_IM_FILENAME->value()});
    wxLogStatus("%li frames recorded.", frame_count());
    update_resource_version();
    return true;
}

bool recording_io_t::read_dicom_frames()
{
    if (!dicom_reader_) {
        wxLogError("The frames of this recording come from DICOM files, which cannot be read here.\n");
        return false;
    }
    if (!res->RES_POS_REC->pending() || stage_->poses.size() != stage_->dicom_frames.size()) {
        wxLogError("This DICOM recording does not give a position and a DICOM frame for every frame.\n");
        return false;
    }
    wxString why;
    stage_->images.clear();
    std::pair<double, double> rescale{1.0, 0.0};
    if (!dicom_reader_(reading_dir_, stage_->dicom_frames, res->RES_BUF_WIDTH->pending(),
                       res->RES_BUF_HEIGHT->pending(), stage_->poses, &stage_->images, &rescale, &why)) {
        wxLogError("%s", why);
        return false;
    }
    dicom_rescale_ = rescale;
    return true;
}

void recording_io_t::commit_content()
{
    recording_content_t& c = *stage_;
    bufp->clear();
    const long frames = pending_frames();
    std::vector<load_record_t> loads(static_cast<std::size_t>(frames));
    for (const auto& [frame, record] : c.loads)
        loads[static_cast<std::size_t>(frame)] = record;
    for (long i = 0; i < frames; ++i) {
        const auto k = static_cast<std::size_t>(i);
        // Without positions there may be fewer time stamps than frames; never read past them.
        bufp->append(c.images[k], k < c.poses.size() ? c.poses[k] : counted_array_ptr<float>(),
                     k < c.times.size() ? c.times[k] : 0, loads[k]);
    }
    res->RES_OBJECT->write_no_changeprocs(c.objects ? c.objects : std::make_shared<object_table>());
    res->RES_CURVE->write_no_changeprocs(c.curves);
    res->RES_LANDMARKS->write_no_changeprocs(c.marks);
    res->RES_SWEEPS->write_no_changeprocs(c.sweeps);
    res->RES_COMMENT->write_no_changeprocs(std::make_shared<std::vector<wxString>>(std::move(c.comments)));
    res->RES_DICOM_FRAME_LIST->write_no_changeprocs(std::make_shared<std::vector<long>>(std::move(c.dicom_frames)));
}

void recording_io_t::fail_read()
{
    stage_.reset();
    base_res_t::set_postpone_writes(false);
    base_res_t::cancel_all_pending_changes();
    clear_static_resources();
    // The file that failed must not stay the current one: a later Save would overwrite it.
    new_recording();
}

// ---------------------------------------------------------------- writing

namespace {

std::vector<base_res_t*> resources_needing_save(unsigned long mask)
{
    std::vector<base_res_t*> out;
    for (base_res_t* r = base_res_t::first_resource(); r; r = r->next_resource())
        if ((r->flags() & mask) && r->needs_save())
            out.push_back(r);
    return out;
}

}  // namespace

bool recording_io_t::try_write_kestrane_file(const wxString& path)
{
    const wxString dir = wxFileName(path).GetPath();
    const wxString kvi_path = wxFileName(dir, res->RES_BIN_IM_FILENAME->value()).GetFullPath();
    const bool dicom = res->RES_BUF_DICOM->value();
    if (dicom && res->RES_DICOM_FRAME_LIST->value()->size() != static_cast<std::size_t>(frame_count())) {
        wxLogError(
            "These frames were read from volume or image files, not from DICOM files that can be read again: save them "
            "as a \"Kestrane raw data file\" (8-bit frames through the current window).\n");
        return false;
    }
    const bool write_frames = !dicom && (res->RES_BIN_IM_FILENAME->needs_save() || !wxFileName::FileExists(kvi_path));
    const std::vector<base_res_t*> unsaved = resources_needing_save(RES_MASK_RECORDING);
    auto give_up = [&unsaved] {
        for (base_res_t* r : unsaved)
            r->set_needs_save(true);
        return false;
    };

    recover_interrupted_save(path, {res->RES_BIN_IM_FILENAME->value()});
    safe_file_t text_file(path);
    if (!text_file.ok()) {
        wxLogError("Error opening file for writing.\n");
        return false;
    }
    std::unique_ptr<safe_file_t> image_file;
    if (write_frames) {
        image_file = std::make_unique<safe_file_t>(kvi_path);
        if (!image_file->ok()) {
            wxLogError("Error opening data file for writing out.\n");
            return false;
        }
        if (!write_image_data(*image_file))
            return give_up();
    }

    string_output_stream text;
    if (!base_res_t::write_out_to_file(text, RES_FLAG_RECORDING_HEADER) ||
        !base_res_t::write_out_to_file(text, RES_FLAG_RECORDING_BODY)) {
        wxLogError("Error writing data file.\n");
        return give_up();
    }
    if (!text_file.write(text.bytes.data(), text.bytes.size()) || !text_file.finish() ||
        (image_file && !image_file->finish())) {
        wxLogError("Error writing data file.\n");
        return give_up();
    }
    // Both files are complete on disk; only now do they replace the old ones, as one step.
    std::vector<safe_file_t*> files;
    if (image_file)
        files.push_back(image_file.get());
    files.push_back(&text_file);
    if (!commit_together(files, path)) {
        wxLogError("Error writing data file.\n");
        return give_up();
    }
    base_res_t::clear_needs_save(RES_MASK_RECORDING);
    return true;
}

bool recording_io_t::recording_target_allowed(const wxString& path)
{
    const wxFileName target(path);
    const wxString refusal = "Kestrane will not save a recording as %s: ";
    if (target.GetExt().Lower() == "kvi") {
        wxLogError(refusal + ".kvi names belong to image data files. Choose a name ending in .ks.", path);
        return false;
    }
    const wxString name = target.GetFullName();
    if (name.EndsWith("i") && name.length() > 1) {
        const wxFileName owner(target.GetPath(), name.Left(name.length() - 1));
        if (owner.FileExists() && image_file_name_for(owner.GetFullPath()) == name) {
            wxLogError(refusal + "it is the image data file of the recording %s.", path, owner.GetFullPath());
            return false;
        }
    }
    if (!res)
        return true;
    const wxFileName open = res->RES_ASCII_FILENAME->value();
    if (bufp && bufp->frames() > 0 && !open.GetFullName().empty()) {
        const wxFileName open_image(open.GetPath(), res->RES_BIN_IM_FILENAME->value());
        if (target.SameAs(open_image)) {
            wxLogError(refusal + "it is the image data file of the open recording.", path);
            return false;
        }
        const wxFileName new_image(target.GetPath(), image_file_name_for(path));
        if (new_image.SameAs(open) && !target.SameAs(open)) {
            wxLogError(refusal + "its image data file would be written over the open recording %s.", path,
                       open.GetFullPath());
            return false;
        }
    }
    return true;
}

bool recording_io_t::save_as(const wxString& path, bool raw_8bit, bool confirmed)
{
    if (!recording_target_allowed(path))
        return false;
    const wxString image_name = image_file_name_for(path);
    const bool rf = res->RES_BUF_RF->value(), dicom = res->RES_BUF_DICOM->value();
    const wxString data_folder = res->RES_ASCII_FILENAME->value().GetPath();
    if (dicom && !raw_8bit &&
        !wxFileName::DirName(wxFileName(path).GetPath()).SameAs(wxFileName::DirName(data_folder))) {
        // Its frames are read again from the DICOM files beside it: elsewhere it could not find them.
        wxLogError(
            "A DICOM recording is saved in the folder of its DICOM files ('%s'), where its frames are read again "
            "when it is opened. To save it elsewhere choose \"Kestrane raw data file\" (8-bit frames through "
            "the current window).\n",
            data_folder);
        return false;
    }
    if (raw_8bit && (rf || dicom)) {
        // Converting is for good: ask first (unattended runs say no).
        const bool same_name = res->RES_ASCII_FILENAME->value() == wxFileName(path);
        wxString question;
        if (rf && same_name)
            question =
                "Saving RF data as a Kestrane raw data file with the same name\nwill permanently overwrite the "
                "original data. Do you want to continue?";
        else if (dicom && same_name)
            question =
                "Saving DICOM/Image data as a Kestrane raw data file with the same name\nwill permanently "
                "overwrite the original data. Do you want to continue?";
        else if (dicom)
            question =
                "Saving 16-bit Dicom/image data as a Kestrane raw data file will\nsave the new data as 8-bit "
                "using current windowing settings.\nDo you want to continue?";
        if (!question.empty() && !confirmed &&
            interaction().ask("Save file as", question, question_t::yes_no, answer_t::no) != answer_t::yes)
            return false;
        // The display frames become the data; RF frames are shown vectors across, samples down.
        if (rf) {
            res->RES_BUF_WIDTH->write_no_changeprocs(res->RES_RF_VECTORS->value());
            res->RES_BUF_HEIGHT->write_no_changeprocs(res->RES_RF_SAMPLES->value());
        }
        res->RES_FRAME_SIZE->write_no_changeprocs(res->RES_BUF_WIDTH->pending() * res->RES_BUF_HEIGHT->pending());
        res->RES_BUF_RF->write_no_changeprocs(false);
        res->RES_BUF_DICOM->write_no_changeprocs(false);
        base_res_t::make_pending_writes_happen();
    }
    const wxString old_image = res->RES_BIN_IM_FILENAME->value();
    const wxFileName old_path = res->RES_ASCII_FILENAME->value();
    res->RES_BIN_IM_FILENAME->write(image_name);
    // A new place always gets its own image data file, written from memory.
    if (!(old_path == wxFileName(path)) || old_image != image_name)
        res->RES_BIN_IM_FILENAME->set_needs_save(true);
    res->RES_ASCII_FILENAME->write(wxFileName(path));
    return try_write_kestrane_file(path);
}
