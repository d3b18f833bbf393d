// Template files (.kst): the settings of a kind of examination without data,
// and the lines that templates write as words or numbers.
#include <algorithm>
#include <vector>

#include <wx/ffile.h>
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/txtstrm.h>

#include "common/interaction.h"
#include "recording_file.h"
#include "resource_table.h"
#include "safe_file.h"
#include "string_output_stream.h"
#include "value_text.h"

namespace {


// Image source kinds as template words; kind 2 is a V4L2 device, 3 the RF
// digitiser, 13 the simulated images.
struct source_word_t {
    int kind;
    const char* word;
};
constexpr source_word_t source_words[] = {
    {0, "DIRECT_SHOW"},     {1, "TELEMED"},         {2, "V4L2"},         {3, "GAGE_RF"},
    {4, "TERASON"},         {5, "TERASON_RF"},      {6, "ULTRASONIX"},   {7, "ULTRASONIXP"},
    {8, "ULTRASONIX_RF"},   {9, "ULTRASONIXP_RF"},  {10, "ULTRASONIXT_RF"}, {11, "ULAOP"},
    {13, "SIMULATED"},      {14, "SIMULATED"}};  // 14: simulated images replaying RF frames

const char* const detect_words[] = {"AUTO", "FASTRAK", "PATRIOT", "FLOCK", "MINI", "LASER", "POLARIS", "OPTITRACK",
                                    "STAR", "OPENIGTLINK"};
constexpr int detect_word_count = sizeof detect_words / sizeof detect_words[0];

bool write_line(wxTextOutputStream& out, const wxString& line)
{
    out.WriteString(line + "\n");
    return out.GetOutputStream().IsOk();
}

}  // namespace

bool recording_io_t::try_read_template_file(const wxString& path)
{
    // A template sets the frame size and kind: with frames held they would no
    // longer match their own recording, which then could not be saved.
    if (frame_count() > 0) {
        wxLogError("You cannot load a template unless the recording buffer is empty");
        return false;
    }
    if (!begin_read(path, false)) {
        wxLogError("Error opening template file for reading in.\n");
        return false;
    }
    if (!read_lines(path, RES_FLAG_TEMPLATE_HEADER, RES_FLAG_TEMPLATE_BODY,
                    "try_read_template_file: Failed when reading %s", false)) {
        // Nothing of a failed template is kept: every setting stays as it was.
        stage_.reset();
        base_res_t::set_postpone_writes(false);
        base_res_t::cancel_all_pending_changes();
        return false;
    }
    if (stage_->have_comments)
        res->RES_COMMENT->write_no_changeprocs(std::make_shared<std::vector<wxString>>(std::move(stage_->comments)));
    stage_.reset();
    res->RES_TEMPLATE_FILENAME->write_no_changeprocs(wxFileName(path));
    base_res_t::set_postpone_writes(false);
    base_res_t::make_pending_writes_happen();
    base_res_t::clear_needs_save(RES_MASK_TEMPLATE);
    base_res_t::cancel_kept_values();
    if (res->RES_POS_REC->value())
        interaction().inform("Warning", calibration_summary());
    update_resource_version(RES_MASK_TEMPLATE);
    return true;
}

bool recording_io_t::try_write_template_file(const wxString& path)
{
    safe_file_t file(path);
    if (!file.ok()) {
        wxLogError("Error opening template file for writing.\n");
        return false;
    }
    string_output_stream text;
    if (!base_res_t::write_out_to_file(text, RES_FLAG_TEMPLATE_HEADER)) {
        wxLogError("Error writing template file header.\n");
        return false;
    }
    if (!base_res_t::write_out_to_file(text, RES_FLAG_TEMPLATE_BODY)) {
        wxLogError("Error writing template file body.\n");
        return false;
    }
    if (!file.write(text.bytes.data(), text.bytes.size()) || !file.commit()) {
        wxLogError("Error writing template file body.\n");
        return false;
    }
    res->RES_TEMPLATE_FILENAME->write(wxFileName(path));
    base_res_t::cancel_kept_values();
    return true;
}

wxString recording_io_t::calibration_summary()
{
    wxString text;
    auto dated = [&text](const wxString& date, const char* what) {
        if (date.empty())
            text << " There is currently no valid " << what << " calibration.\n\n";
        else
            text << " The current " << what << " calibration was performed on " << date;
    };
    dated(res->RES_ISOCENTRE_CAL_DATE->value(), "isocentre");
    dated(res->RES_POINTER_CAL_DATE->value(), "pointer");
    dated(res->RES_POINTCAL_CAL_DATE->value(), "Marchbank pointer");
    if (res->RES_CAL_DATE->value().empty()) {
        text << " There is currently no valid ultrasound probe calibration.";
    } else {
        char depth[64];
        std::snprintf(depth, sizeof depth, "%5.2f cm\n\n", res->RES_CAL_DEPTH->value());
        text << " The current ultrasound probe calibration was performed on " << res->RES_CAL_DATE->value()
             << "\nand is valid for:\n\n - ultrasound probe " << res->RES_CAL_PROBE->value() << "\n - depth setting "
             << depth
             << " The ultrasound probe, depth setting, pan and zoom settings, and\norientation must be identical to "
                "that used during the calibration\nprocess for this calibration to be valid.";
    }
    return text;
}

// ---------------------------------------------------------------- words and numbers

bool recording_io_t::parse_vid_card(const wxString& v)
{
    const wxString word = wxString(v).Trim(true).Trim(false);
    std::vector<int> kinds;  // a word may stand for more than one kind
    for (const source_word_t& w : source_words)
        if (word == w.word)
            kinds.push_back(w.kind);
    if (kinds.empty()) {
        wxLogWarning("Unknown image source '%s' in template; using the first source found.", word);
        res->RES_VID_CARD->write_no_changeprocs(0);
        return true;
    }
    // Choose the first source of that kind among those found on this machine.
    long index = 0;
    if (const auto& list = res->RES_VID_CARD_LIST->value())
        for (std::size_t i = 0; i < list->size(); ++i)
            if (std::find(kinds.begin(), kinds.end(), (*list)[i].kind) != kinds.end()) {
                index = static_cast<long>(i);
                break;
            }
    res->RES_VID_CARD->write_no_changeprocs(index);
    return true;
}

bool recording_io_t::write_out_vid_card(wxTextOutputStream& out)
{
    int kind = 2;  // a V4L2 device unless a source of another kind is selected
    const auto& list = res->RES_VID_CARD_LIST->value();
    const auto index = res->RES_VID_CARD->value();
    if (list && index >= 0 && static_cast<std::size_t>(index) < list->size())
        kind = (*list)[static_cast<std::size_t>(index)].kind;
    const char* word = "V4L2";
    for (const source_word_t& w : source_words)
        if (w.kind == kind) {
            word = w.word;
            break;
        }
    return write_line(out, wxString("RES_VID_CARD ") + word);
}

bool recording_io_t::parse_pos_detect(const wxString& v)
{
    const wxString word = wxString(v).Trim(true).Trim(false);
    long value = -1;
    for (int k = 0; k < detect_word_count; ++k)
        if (word == detect_words[k])
            value = k;
    std::int64_t number;
    if (value < 0 && value_text::parse_long(word, &number) && number >= 0 && number < detect_word_count)
        value = static_cast<long>(number);
    if (value < 0) {
        wxLogWarning("No position source found to match template `%s'.\nReverting to auto-detection.", word);
        value = 0;
    }
    res->RES_POS_DETECT->write_no_changeprocs(static_cast<pos_detect_t>(value));
    return true;
}

bool recording_io_t::write_out_pos_detect(wxTextOutputStream& out)
{
    const int v = res->RES_POS_DETECT->value();
    return write_line(out, wxString("RES_POS_DETECT ") + detect_words[v >= 0 && v < detect_word_count ? v : 0]);
}

bool recording_io_t::parse_video_standard(const wxString& v)
{
    std::int64_t n;
    if (!value_text::parse_long(wxString(v).Trim(true), &n))
        return false;
    if (n < VIDEO_PAL || n > VIDEO_NTSC_43) {
        wxLogWarning("Unknown video standard %lld in template; using PAL.", static_cast<long long>(n));
        n = VIDEO_PAL;
    }
    res->RES_VIDEO_STANDARD->write_no_changeprocs(static_cast<video_standard_t>(n));
    return true;
}

bool recording_io_t::write_out_video_standard(wxTextOutputStream& out)
{
    return write_line(out, wxString::Format("RES_VIDEO_STANDARD %d", static_cast<int>(res->RES_VIDEO_STANDARD->value())));
}

bool recording_io_t::parse_polaris_port(const wxString& v, bool pointer)
{
    std::int64_t n;
    if (!value_text::parse_long(wxString(v).Trim(true), &n) || n < 0 || n > 16)
        return false;
    auto* r = pointer ? res->RES_POLARIS_POINTER : res->RES_POLARIS_PORT;
    r->write_no_changeprocs(static_cast<polaris_port_t>(n));
    return true;
}

bool recording_io_t::write_out_polaris_port(wxTextOutputStream& out, bool pointer)
{
    const auto* r = pointer ? res->RES_POLARIS_POINTER : res->RES_POLARIS_PORT;
    return write_line(out, wxString::Format("%s %d", wxString(r->name()), static_cast<int>(r->value())));
}
