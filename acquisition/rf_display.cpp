#include "rf_display.h"

#include <algorithm>
#include <limits>

#include <wx/log.h>

#include "common/dynabuf.h"
#include "common/interaction.h"
#include "ks_video_capture.h"
#include "resources/resource_table.h"

rf_display_service_t* rf_display_service = nullptr;

namespace {

long clamp_long(std::int64_t v)
{
    return static_cast<long>(std::clamp<std::int64_t>(v, std::numeric_limits<long>::min(), std::numeric_limits<long>::max()));
}

}  // namespace

bool rf_display_service_t::signature_t::operator==(const signature_t& o) const
{
    const auto& a = settings;
    const auto& b = o.settings;
    return folders == o.folders && probe_name == o.probe_name && probe_number == o.probe_number && freq == o.freq &&
           filter == o.filter && a.display == b.display && a.log_mult == b.log_mult && a.log_offset == b.log_offset &&
           a.log_gamma == b.log_gamma && a.persist == b.persist && a.frames_in_vol == b.frames_in_vol;
}

rf_display_service_t::rf_display_service_t(const wxString& settings_directory)
    : settings_directory_(settings_directory),
      previous_(recording_io->rf_display_function()),
      changed_(std::make_unique<pmf_functor<rf_display_service_t>>(this, &rf_display_service_t::RfDisplayChanged))
{
    recording_io->set_rf_display([this](const cip_t& frame, long frame_number) { show_frame(frame, frame_number); });
    for (base_res_t* r : std::initializer_list<base_res_t*>{
             res->RES_RF_DISPLAY, res->RES_RF_LOG_MULT, res->RES_RF_LOG_OFFSET, res->RES_RF_LOG_GAMMA,
             res->RES_RF_FILTER, res->RES_RF_PERSIST, res->RES_RF_PROBE, res->RES_RF_PROBE_NAME, res->RES_RF_FREQ,
             res->RES_FRAMES_IN_VOL, res->RES_RF_NEW_PROBE})
        r->add_proc(changed_.get());
    viable_ = std::make_unique<pmf_functor<rf_display_service_t>>(this, &rf_display_service_t::RfScopeViableChanged);
    for (base_res_t* r : std::initializer_list<base_res_t*>{res->RES_BUF_RF, res->RES_BUF_FRAMES, res->RES_VID_CARD,
                                                             res->RES_VID_CARD_LIST})
        r->add_proc(viable_.get());
    RfScopeViableChanged();
    rf_display_service = this;
}

void rf_display_service_t::RfScopeViableChanged()
{
    const auto& list = res->RES_VID_CARD_LIST->value();
    const auto card = res->RES_VID_CARD->value();
    const bool rf_source = list && card >= 0 && static_cast<std::size_t>(card) < list->size() &&
                           rf_source_kind((*list)[static_cast<std::size_t>(card)].kind);
    const bool viable = (res->RES_BUF_RF->value() && res->RES_BUF_FRAMES->value() > 0) || rf_source;
    if (res->RES_RFSCOPE_VIABLE->value() != viable)
        res->RES_RFSCOPE_VIABLE->write(viable);
}

rf_display_service_t::~rf_display_service_t()
{
    if (rf_display_service == this)
        rf_display_service = nullptr;
    if (recording_io)
        recording_io->set_rf_display(previous_);
}

std::vector<wxString> rf_display_service_t::probe_folders() const
{
    std::vector<wxString> folders{recording_io->recording_directory(), settings_directory_};
    for (const wxString& f : remembered_folders_)
        if (std::find(folders.begin(), folders.end(), f) == folders.end())
            folders.push_back(f);
    return folders;
}

void rf_display_service_t::remember_probe_folder(const wxString& folder)
{
    if (!folder.empty() && std::find(remembered_folders_.begin(), remembered_folders_.end(), folder) == remembered_folders_.end())
        remembered_folders_.push_back(folder);
}

std::vector<probe_entry_t> rf_display_service_t::probes() const
{
    return list_probes(probe_folders());
}

rf_display_service_t::signature_t rf_display_service_t::current_signature() const
{
    // Pending values: while a recording is read, its settings are not yet in place.
    signature_t s;
    for (const wxString& f : probe_folders())
        s.folders << f << '\n';
    s.probe_name = res->RES_RF_PROBE_NAME->pending();
    s.probe_number = clamp_long(res->RES_RF_PROBE->pending());
    s.freq = clamp_long(res->RES_RF_FREQ->pending());
    s.filter = clamp_long(res->RES_RF_FILTER->pending());
    s.settings.display = clamp_long(res->RES_RF_DISPLAY->pending());
    s.settings.log_mult = static_cast<double>(res->RES_RF_LOG_MULT->pending());
    s.settings.log_offset = static_cast<double>(res->RES_RF_LOG_OFFSET->pending());
    s.settings.log_gamma = res->RES_RF_LOG_GAMMA->pending();
    s.settings.persist = clamp_long(res->RES_RF_PERSIST->pending());
    s.settings.frames_in_vol = clamp_long(res->RES_FRAMES_IN_VOL->pending());
    return s;
}

std::optional<sampling_rate_t> rf_display_service_t::rate_in_use(const probe_t& probe, long freq_index)
{
    std::optional<sampling_rate_t> wanted;
    if (probe.rate(sampling_rate_t::external).has_filters() && freq_index == probe.ext_freq_index)
        wanted = sampling_rate_t::external;
    else if (freq_index >= 0 && freq_index < 3)
        wanted = static_cast<sampling_rate_t>(freq_index);
    if (wanted && probe.rate(*wanted).has_filters())
        return wanted;
    for (std::size_t r = 0; r < sampling_rate_count; ++r)
        if (probe.rates[r].has_filters())
            return static_cast<sampling_rate_t>(r);
    return std::nullopt;
}

bool rf_display_service_t::resolve(const signature_t& sig, bool again)
{
    // Only what chooses the probe matters here; display settings do not.
    const bool same = resolved_for_ && resolved_for_->folders == sig.folders &&
                      resolved_for_->probe_name == sig.probe_name && resolved_for_->probe_number == sig.probe_number;
    if (same && !again)
        return probe_.has_value();
    resolved_for_ = sig;
    probe_.reset();
    probe_t probe;
    const std::vector<wxString> folders = probe_folders();
    if (find_probe(folders, sig.probe_name, sig.probe_number, &probe) != probe_choice_t::found)
        return false;
    if (!probe.has_any_filters()) {
        wxLogWarning("No frequencies defined in RF probe definition file %s", probe.file);
        return false;
    }
    const sampling_rate_t rate = *rate_in_use(probe, sig.freq);
    if (sig.freq != static_cast<long>(rate) && !(rate == sampling_rate_t::external && sig.freq == probe.ext_freq_index))
        wxLogDebug("Probe '%s' has no filters for RES_RF_FREQ %ld; its %s filters are used.", probe.name, sig.freq,
                   sampling_rate_name(rate));
    probe_ = std::move(probe);
    return true;
}

bool rf_display_service_t::taps(const signature_t& sig, rf_utility::taps_t* out) const
{
    if (!probe_)
        return false;
    const std::optional<sampling_rate_t> rate = rate_in_use(*probe_, sig.freq);
    if (!rate)
        return false;
    const probe_rate_t& r = probe_->rate(*rate);
    // RES_RF_FILTER counts bands from 1; one outside the probe's bands shows the nearest.
    const long band = std::clamp<long>(sig.filter, 1, probe_->filters) - 1;
    const auto first = static_cast<std::size_t>(band) * static_cast<std::size_t>(r.filter_length);
    out->real = r.real_filter.data() + first;
    out->imag = r.imag_filter.data() + first;
    out->length = r.filter_length;
    out->half = r.filter_half;
    return true;
}

bool rf_display_service_t::display_taps(rf_utility::taps_t* out)
{
    const signature_t sig = current_signature();
    resolve(sig, false);
    return taps(sig, out);
}

const probe_t* rf_display_service_t::recording_probe()
{
    resolve(current_signature(), false);
    return probe_ ? &*probe_ : nullptr;
}

void rf_display_service_t::note_shown(const signature_t& sig, long frame_number)
{
    if (frame_number == 0) {
        shown_ = sig;
        shown_run_ = 1;
    } else if (shown_ && *shown_ == sig && frame_number == shown_run_) {
        ++shown_run_;
    } else {
        shown_.reset();
    }
}

wxString rf_display_service_t::recording_key() const
{
    return recording_io->recording_directory() + '\n' + res->RES_BIN_IM_FILENAME->pending();
}

void rf_display_service_t::show_frame(const cip_t& frame, long frame_number)
{
    // A recording read from its start looks for its probe files afresh: they may have changed on disk.
    show(frame, frame_number, frame_number == 0);
}

void rf_display_service_t::show(const cip_t& frame, long frame_number, bool fresh_probe)
{
    if (!frame.has_samples())
        return;
    signature_t sig = current_signature();
    // A new recording, or a recording shown again from its start, starts afresh.
    const wxString recording = recording_key();
    if (frame_number == 0 || recording != recording_id_) {
        persistence_.reset();
        recording_id_ = recording;
    }
    resolve(sig, fresh_probe);
    rf_utility::taps_t t;
    if (!taps(sig, &t)) {
        previous_(frame, frame_number);
        note_shown(sig, frame_number);
        return;
    }
    const rf_utility::frame_view_t view{frame.signed_samples(), frame.width(), frame.height()};
    const rf_utility::window_t whole{0, 0, frame.width(), frame.height()};
    std::optional<wxLogNull> quiet;
    if (refused_)
        quiet.emplace();
    refused_ = !rf_utility::filter_rf(view, whole, t, sig.settings, &persistence_, frame_number, frame.pixels());
    note_shown(sig, frame_number);
}

bool rf_display_service_t::show_window(const rf_utility::frame_view_t& source, const cip_t& target, long frame_number)
{
    // A source refused for one frame is refused for the next ones too: the reason is said once.
    std::optional<wxLogNull> quiet;
    if (refused_)
        quiet.emplace();
    refused_ = !filter_window(source, target, frame_number);
    return !refused_;
}

bool rf_display_service_t::filter_window(const rf_utility::frame_view_t& source, const cip_t& target, long frame_number)
{
    const rf_utility::window_t window{clamp_long(res->RES_RF_VECTOR_OFFSET->value()),
                                      clamp_long(res->RES_RF_SAMPLE_OFFSET->value()),
                                      clamp_long(res->RES_RF_VECTORS->value()), clamp_long(res->RES_RF_SAMPLES->value())};
    if (!rf_utility::window_fits(source, window))
        return false;
    if (target.width() != window.vectors || target.height() != window.samples) {
        wxLogError("The RF image is %ld by %ld pixels, but RES_RF_VECTORS %ld by RES_RF_SAMPLES %ld are shown.",
                   target.width(), target.height(), window.vectors, window.samples);
        return false;
    }
    signature_t sig = current_signature();
    resolve(sig, false);
    rf_utility::taps_t t;
    if (!taps(sig, &t)) {
        wxLogError("Couldn't set up RF acquisition: no usable RF probe is selected.");
        return false;
    }
    return rf_utility::filter_rf(source, window, t, sig.settings, &persistence_, frame_number, target.pixels());
}

cip_t rf_display_service_t::companion(const cip_t& frame, long frame_number, bool live)
{
    // Held frames with samples may be DICOM slices: only RF recordings have a second display.
    if (!res->RES_RF_DUAL_DISPLAY->value() || !frame.has_samples() || (!live && !res->RES_BUF_RF->value()))
        return {};
    const signature_t sig = current_signature();
    const wxString recording = live ? wxString() : recording_key();
    if (companion_ && companion_->frame == frame && companion_->frame_number == frame_number &&
        companion_->live == live && companion_->recording == recording && companion_->sig == sig)
        return companion_->image;
    resolve(sig, false);
    rf_utility::taps_t t;
    if (!taps(sig, &t))
        return {};
    if (!companion_ || companion_->live != live || companion_->recording != recording)
        companion_persistence_.reset();
    companion_.reset();
    cip_t image = cip_t::make_8bit(frame.width(), frame.height());
    if (image.empty())
        return {};
    rf_utility::display_settings_t settings = sig.settings;
    settings.display = rf_utility::companion_display(settings.display);
    const rf_utility::frame_view_t view{frame.signed_samples(), frame.width(), frame.height()};
    const rf_utility::window_t whole{0, 0, frame.width(), frame.height()};
    {
        // Whatever refuses the companion refuses the frame itself, which has said why.
        wxLogNull quiet;
        if (!rf_utility::filter_rf(view, whole, t, settings, &companion_persistence_, frame_number, image.pixels()))
            return {};
    }
    companion_ = companion_t{frame, image, sig, recording, frame_number, live};
    return image;
}

void rf_display_service_t::refilter_all(bool fresh_probe)
{
    if (!bufp || !res->RES_BUF_RF->value())
        return;
    const long frames = bufp->frames();
    const bool progress = frames >= 64;  // a few frames take no time: no dialog flashing up
    if (progress)
        interaction().progress_begin("RF display", wxString::Format("Filtering frame 0 of %li.", frames),
                                     static_cast<int>(std::min<long>(frames, INT32_MAX)));
    for (long i = 0; i < frames; ++i) {
        show(bufp->imagecp(i), i, fresh_probe && i == 0);
        if (progress && (i & 15) == 0 &&
            !interaction().progress_update(static_cast<int>(std::min<long>(i, INT32_MAX)),
                                           wxString::Format("Filtering frame %li of %li.", i, frames))) {
            shown_.reset();  // the frames after i keep their old display
            break;
        }
    }
    if (progress)
        interaction().progress_end();
    res->RES_CMAP_CHANGED->write();  // the views hold copies of the old images
}

void rf_display_service_t::RfDisplayChanged()
{
    if (!bufp || !res->RES_BUF_RF->value() || bufp->frames() == 0)
        return;
    // A recording just read was shown with these very settings.
    const bool forced = res->RES_RF_NEW_PROBE->changed();
    if (!forced && shown_ && *shown_ == current_signature() && shown_run_ == bufp->frames())
        return;
    // Probe files are read again only when asked: a missing probe is not reported at every slider step.
    refilter_all(forced);
}
