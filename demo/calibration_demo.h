// The calibration demo: a recording of a probe swept over a water bath's
// floor (demo/water_bath.h), left uncalibrated, with a truth file beside it
// holding the calibration, scales, floor, temperature and two scale lines,
// so that anyone can try plane-phantom calibration and see how close it got.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include <wx/string.h>

#include "demo/water_bath.h"

inline constexpr const char* calibration_demo_name = "kestrane_calib_demo.ks";
inline constexpr const char* calibration_truth_name = "kestrane_calib_demo_truth.txt";
// make-calib-demo's bath unless told otherwise; the simulated live water bath is this one.
inline constexpr std::uint64_t calibration_demo_seed = 1;
inline constexpr double calibration_demo_celsius = 24.0;

struct calibration_truth_t {
    std::array<double, 6> calibration{};  // x, y, z (cm), azimuth, elevation, roll (degrees)
    double sx = 0, sy = 0;                // cm per pixel
    std::array<double, 4> plane{};        // a x + b y + c z + d = 0, (a, b, c) of unit length
    double celsius = 0;
    std::array<double, 8> scale_line_ends{};  // pixels: x1 y1 x2 y2 of each line
    double scale_length1_mm = 0, scale_length2_mm = 0;
};

calibration_truth_t truth_of(const water_bath_t& bath);

// The truth file: one "key values..." line each, '#' comments.
bool write_calibration_truth(const wxString& path, const calibration_truth_t& truth);
// False with the reason for text that is not a complete truth file (a key
// missing, repeated or unknown, a value missing or not a finite number).
bool parse_calibration_truth(const std::string& text, calibration_truth_t* truth, std::string* error);
bool read_calibration_truth(const wxString& path, calibration_truth_t* truth, std::string* error);

// Needs a core session. Replaces the recording in memory by the demo sweep of
// `frames` frames and writes it with its truth file into `dir`; false, with
// the reason logged, when something could not be written.
bool write_calibration_demo(const wxString& dir, std::uint64_t seed, double celsius, int frames);
