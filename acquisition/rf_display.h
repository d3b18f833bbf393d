// The display of RF data: rf_utility::filter_rf with the filters of the probe
// the recording names, installed as the recording reader's RF display. The
// frames held are filtered again when a display setting changes. The app and
// kestrane-tool keep one for the whole run, after the core session; RF pages
// and live RF sources reach it through `rf_display_service`. It also keeps
// RES_RFSCOPE_VIABLE: whether there are RF data to show.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include <wx/string.h>

#include "common/cip.h"
#include "common/functor.h"
#include "probe_library.h"
#include "resources/recording_file.h"
#include "rf_utility.h"

class rf_display_service_t {
public:
    // Needs the resource table and recording_io; takes over the RF display
    // until it is destroyed, when the previous display returns.
    explicit rf_display_service_t(const wxString& settings_directory);
    ~rf_display_service_t();
    rf_display_service_t(const rf_display_service_t&) = delete;
    rf_display_service_t& operator=(const rf_display_service_t&) = delete;

    // Folders searched for probe files: the recording's, then the settings
    // folder, then those of recordings replayed as live sources.
    std::vector<wxString> probe_folders() const;
    // A replayed recording's frames stay displayable after it is closed.
    void remember_probe_folder(const wxString& folder);
    // The available probes, numbered as RES_RF_PROBE counts them.
    std::vector<probe_entry_t> probes() const;
    // The probe the current recording names; null for none, or when it cannot be used.
    const probe_t* recording_probe();
    // The rate whose filters are used: RES_RF_FREQ 0, 1, 2 for 50, 100, 200 MHz,
    // PROBE_EXT_FREQ_INDEX for the external clock; if the probe has no filters
    // for it, the first rate it has filters for.
    static std::optional<sampling_rate_t> rate_in_use(const probe_t& probe, long freq_index);

    // An RF frame's samples into its own 8-bit image. Without a usable probe
    // the previous (unfiltered) display is used.
    void show_frame(const cip_t& frame, long frame_number);
    // A live source's whole frame: the part RES_RF_VECTOR_OFFSET,
    // RES_RF_SAMPLE_OFFSET, RES_RF_VECTORS, RES_RF_SAMPLES names goes into
    // target (RES_RF_VECTORS wide, RES_RF_SAMPLES high). False when it cannot,
    // with the reason logged for the first of a run of refused frames.
    bool show_window(const rf_utility::frame_view_t& source, const cip_t& target, long frame_number);
    // With RES_RF_DUAL_DISPLAY, the image drawn beside an RF frame, of the
    // frame's size: its samples through rf_utility::companion_display of
    // RES_RF_DISPLAY, with the display's probe, compression and persistence
    // (blending follows frame_number as for the frames themselves; live and
    // held frames are never blended together). Empty when dual display is off,
    // the frame has no samples, is held but not RF, or no probe filter can be
    // used. The last image is kept, so a view that draws the same frame again
    // costs nothing.
    cip_t companion(const cip_t& frame, long frame_number, bool live);
    // The quadrature filter the display uses now; false without a usable probe.
    bool display_taps(rf_utility::taps_t* out);
    // Every RF frame held, filtered again; fresh_probe reads the probe files again first.
    void refilter_all(bool fresh_probe = false);

private:
    // What a display depends on besides the samples; frames shown with an
    // equal one need no new filtering.
    struct signature_t {
        wxString folders, probe_name;
        long probe_number = -1, freq = 0, filter = 1;
        rf_utility::display_settings_t settings;
        bool operator==(const signature_t& o) const;
    };
    signature_t current_signature() const;
    void show(const cip_t& frame, long frame_number, bool fresh_probe);
    bool filter_window(const rf_utility::frame_view_t& source, const cip_t& target, long frame_number);
    bool resolve(const signature_t& sig, bool again);
    bool taps(const signature_t& sig, rf_utility::taps_t* out) const;
    void note_shown(const signature_t& sig, long frame_number);
    void RfDisplayChanged();
    void RfScopeViableChanged();  // RES_RFSCOPE_VIABLE: RF frames held, or an RF source chosen

    // The last companion image and what it was made from.
    struct companion_t {
        cip_t frame, image;
        signature_t sig;
        wxString recording;
        long frame_number = 0;
        bool live = false;
    };
    wxString recording_key() const;

    wxString settings_directory_;
    std::vector<wxString> remembered_folders_;
    recording_io_t::rf_display_t previous_;
    std::unique_ptr<pmf_functor<rf_display_service_t>> changed_;
    std::unique_ptr<pmf_functor<rf_display_service_t>> viable_;
    rf_utility::persistence_t persistence_;
    rf_utility::persistence_t companion_persistence_;
    std::optional<companion_t> companion_;
    std::optional<probe_t> probe_;  // set when the recording's probe is usable
    std::optional<signature_t> resolved_for_;
    std::optional<signature_t> shown_;
    long shown_run_ = 0;  // frames 0 .. shown_run_-1 were shown with shown_
    wxString recording_id_;
    bool refused_ = false;  // the last frame could not be filtered, and the user was told why
};

extern rf_display_service_t* rf_display_service;
