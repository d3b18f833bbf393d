// An RF recording of the demo phantom with the probe file that displays it:
// each vector is the echo of scatterers whose strength follows the tissue
// the B-scan demo shows there, carried by a Gaussian pulse at the probe's
// centre frequency. Lets anyone try the RF display, oscilloscope and replay
// without a digitiser, and lets tests check the display against the phantom.
#pragma once

#include <cstdint>
#include <string>

#include <wx/string.h>

#include "common/cip.h"
#include "demo/scene.h"

inline constexpr const char* demo_rf_recording_name = "kestrane_demo_rf.ks";
inline constexpr const char* demo_probe_file_name = "probe_demo.cfg";
inline constexpr const char* demo_rf_probe_name = "Demo linear RF probe";

struct rf_demo_setup {
    long vectors = 128, samples = 1024;
    double sampling_mhz = 50.0;  // RES_RF_FREQ 0
    double centre_mhz = 5.0;
    double pulse_sigma = 6.0;   // samples, of the pulse's Gaussian envelope
    double filter_sigma = 6.0;  // samples, of the quadrature filter's window
    long filter_length = 41;
    double amplitude_per_grey = 20.0;  // sample units of echo per grey level of the B-scan demo
};

// The phantom, the probe (vectors across, samples down, 6.4 x 4.8 cm) and the sweep.
demo_scene make_rf_demo_scene(int frames, const rf_demo_setup& setup = {});

// The mean echo amplitude at each pixel (vector across, sample down), before speckle.
std::vector<double> rf_echo_amplitude(const demo_scene& scene, std::size_t frame);

// Frame `frame` of the sweep: 16-bit samples, vector after vector; its
// display pixels are left for the RF display to fill. Empty past the end.
cip_t render_rf_frame(const demo_scene& scene, std::size_t frame, const rf_demo_setup& setup = {});

// The text of a probe file whose 50 MHz quadrature filter pair is centred on
// the pulse's frequency and passes a tone there with unit gain.
std::string demo_probe_text(const rf_demo_setup& setup = {});

// Writes probe_demo.cfg and kestrane_demo_rf.ks/.kvi into dir; needs a core
// session and replaces the recording in memory. False, with the reason
// logged, when a file could not be written.
bool write_demo_rf_recording(const wxString& dir, int frames = 20);
