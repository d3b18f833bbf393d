// RF probe definitions: one text file "probe*.cfg" per probe, its geometry
// and its quadrature filters for each digitiser sampling rate. Files are
// untrusted: the reader refuses anything it could not use safely, with a
// message naming the file, the line and the key.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include <wx/string.h>

// The digitiser sampling rates a probe may carry filters for, in the order
// of RES_RF_FREQ's indices; the external clock has an index of its own
// (PROBE_EXT_FREQ_INDEX).
enum class sampling_rate_t { mhz50, mhz100, mhz200, external };
inline constexpr std::size_t sampling_rate_count = 4;
const char* sampling_rate_name(sampling_rate_t rate);

// One rate's filters: `filters` bands of filter_length taps each, one band
// after the other, in 16.16 fixed point; tap filter_half lies on the output sample.
struct probe_rate_t {
    long start_offset = 0;
    std::vector<long> segment_offsets;
    long filter_length = 0;
    long filter_half = 0;
    std::vector<std::int32_t> real_filter, imag_filter;
    bool has_filters() const { return filter_length > 0 && !real_filter.empty(); }
};

struct probe_t {
    wxString file;  // where it was read from
    wxString name;
    // Geometry of the scan (curvilinear probes: radius, angle span, first angle).
    double radius = 0.0, angles = 0.0, start_angle = 0.0, vector_scale = 0.0;
    long vectors = 0, segments = 1;
    // Frequency bands (MHz), one value per filter band.
    long filters = 1, compounding_filter = 0;
    std::vector<double> centre_freq, bandwidth, baseband_freq;
    // Swept-probe motor.
    double motor_fov = 0.0, motor_radius = 0.0;
    long motor_steps = 0;
    // Point-spread function: psf_samples by psf_vectors values per part.
    double psf_depth = 0.0;
    long psf_samples = 0, psf_vectors = 0;
    std::vector<double> psf_real, psf_imag;
    std::array<probe_rate_t, sampling_rate_count> rates;
    // External sampling clock.
    double ext_freq = 0.0;
    long ext_freq_index = 3;
    std::vector<double> ext_centre_freq, ext_bandwidth, ext_baseband_freq;
    // Programmable research scanner.
    wxString ulaop_seq_name;
    long ulaop_seq_block = 0, ulaop_seq_item = 0;

    const probe_rate_t& rate(sampling_rate_t r) const { return rates[static_cast<std::size_t>(r)]; }
    probe_rate_t& rate(sampling_rate_t r) { return rates[static_cast<std::size_t>(r)]; }
    bool has_any_filters() const;
};

// Largest probe file read; real ones are a few kilobytes.
inline constexpr std::size_t max_probe_file_bytes = 4u << 20;

// Parses the text of a probe file; file names it in messages. False, with the
// reason logged, for a file that must not be used.
bool parse_probe_text(std::string_view text, const wxString& file, probe_t* probe);
bool read_probe_file(const wxString& path, probe_t* probe);

// The PROBE_NAME of a file without checking the rest (for listing probes);
// empty when the file cannot be read or names no probe.
wxString read_probe_name(const wxString& path);
