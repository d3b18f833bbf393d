// Correction of a sweep's recorded positions, and optionally of the axial
// compression caused by probe pressure, from the images themselves.
//
// Consecutive frames are correlated to measure the in-plane motion between
// them; the frames are chained by it, and the chain is then bent smoothly back
// onto the recorded trajectory, so that the images decide the quick in-plane
// motion and the sensor the slow one (a slow drift of the sensor stays).
//
// Choices made here:
// - In-plane motion (chaining): with Wp the previous frame's corrected image
//   to world matrix, the current frame's corrected matrix is Wp * In * Out.
//   Out is the recorded relative motion (previous to current image plane,
//   through the calibration) with its in-plane part taken out, so the
//   elevational motion and the tilts stay as recorded. In is
//   T(pivot + shift) * Rz(angle) * T(-pivot), pivot being the image centre
//   column at the row where the lateral shift is measured; the shift and
//   angle come from the images, each one falling back to the recorded
//   value when its correlation has no result. The angle is the slope of the
//   robust line through the band shifts.
// - The bending motion, at degree d, works in each frame's own image plane
//   (the out-of-plane motion stays as recorded): a lateral and an axial
//   shift, each a polynomial of degree d in t, and a turn about the image
//   centre, a cubic in t (the turn from the images drifts most), so 2 (d + 1)
//   + 4 parameters: 12 at degree 3, 14 at degree 4. The residuals are the
//   offsets of the four image corners from their recorded places.
// - calc_displacement: the largest distance any image corner moves between
//   the recorded pose and the corrected one, over all frames.
// - Pressure: see adjust_pressure() and squash() below.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include <wx/string.h>

#include "common/cip.h"
#include "common/counted_array_ptr.h"
#include "common/matrix16d.h"

// One frame of a run.
struct corr_t {
    std::int64_t frame = -1;
    cip_t image;               // 8-bit grey as shown
    cip_t source;              // the frame as held (RF or DICOM samples kept)
    matrix16d recorded;        // image plane (cm) to world, as recorded
    matrix16d corrected;       // the same, corrected
    float correction[6] = {};  // x y z az el roll of recorded^-1 * corrected, for display
    // With pressure correction: per row, the axial displacement (rows) from
    // the previous frame's row to this frame's (row y here shows what row
    // y + row_shift[y] showed there); then, after adjust_pressure, the
    // compression of this frame relative to the least compressed one (rows:
    // row y shows what the uncompressed frame has at y + row_shift[y]).
    std::vector<float> row_shift;
    float axial_shift = 0.0f;  // whole-frame axial shift from the previous frame; after adjust_pressure the
                               // compression at depth (rows)
};

// The score of a band or of the axial search at each of the 51 shifts.
inline constexpr int correlation_shifts = 51;
inline constexpr int correlation_reach = 25;
inline constexpr int correlation_bands = 20;
// The smallest frame the correlation loops can work on.
inline constexpr long correlation_min_width = 2 * correlation_reach + 2;
inline constexpr long correlation_min_height = 2 * correlation_reach + 2;
inline constexpr double no_score = -1e31;

// Sub-pixel peak of n scores: 0 when any score is exactly 0 (no result), or
// when the first maximum is at either end.
double find_peak_value(const double* values, int n, double* peak_height = nullptr);

// The peak the correlation uses: a perfect match (score exactly -1, every
// pixel pair equal) at the middle shift is the peak itself; otherwise find_peak_value.
double correlation_peak(const double* values, int n);

// Straight line through band peaks that agree (within 0.5 pixel); bands
// without a result are NaN. false with fewer than 2 inliers.
struct robust_line_t {
    double a = 0.0, b = 0.0;
    int inliers = 0;
};
bool fit_robust_line(std::span<const double> peaks, robust_line_t* out);

// Scores of reference against current over the shifts searched outwards
// from 0; the rest are no_score. Lateral: rows [row0, row1) of the band.
// masked: pixel pairs with a 0 are skipped; a shift with no pairs scores 0.
void lateral_scores(const std::uint8_t* ref, const std::uint8_t* cur, long width, long row0, long row1, bool masked,
                    double* scores);
// Axial over columns [col0, col1) and reference rows [row0, row1), where
// reference row r faces current row r + shift.
void axial_scores(const std::uint8_t* ref, const std::uint8_t* cur, long width, long col0, long col1, long row0,
                  long row1, bool masked, double* scores);

// Test seam: while set, the trajectory fit's allocations fail.
void set_correction_allocation_failure(bool fail);

class image_correlation {
public:
    // Reads the calibration, scales and masking in force. With progress a
    // progress dialog is shown through interaction(), sized for `frames`.
    image_correlation(bool progress, bool pressure, long frames = 0);
    ~image_correlation();
    image_correlation(const image_correlation&) = delete;
    image_correlation& operator=(const image_correlation&) = delete;

    bool valid() const { return valid_; }
    bool pressure() const { return pressure_; }

    // Appends frame `frame` of the frame buffer and correlates it with the one before.
    bool add(long frame);
    // Fits the trajectory; the largest data movements (mm) by the position
    // and pressure corrections. false (run invalid) when nothing could be fitted.
    bool optimise(double* max_a, double* max_b);
    // Writes the corrected poses (and images) into the frame buffer, if the
    // recording still holds the frames this run saw; false otherwise.
    bool apply();

    // Whether every frame of the run is still in the frame buffer as it was.
    bool matches_recording() const;

    // The pressure display's " Apply correction": applies the correction and
    // keeps what it replaced, so that hide() (" Remove correction") can put it
    // back. hide() is false, dropping what was kept, when the recording no
    // longer holds what show() wrote.
    bool show();
    bool hide();
    bool shown() const { return shown_; }

    counted_array_ptr<float> corrected_pos(long frame) const;
    cip_t corrected_frame(long frame, const cip_t& image) const;
    long find(long frame) const;

    const std::vector<corr_t>& records() const { return optimised_ ? result_ : list_; }
    long degree() const { return degree_; }
    const matrix16d& calibration() const { return cal_; }

private:
    bool correlate(corr_t& prev, corr_t& cur);
    void row_profile(const corr_t& prev, corr_t& cur);
    bool adjust_positions(double* max_a);
    void adjust_pressure(double* max_b);
    void interpolate_pressure(long reference);
    cip_t squash(const corr_t& r, const cip_t& image) const;
    void invalidate() { valid_ = false; }
    void end_progress();

    bool valid_ = true, pressure_ = false, masked_ = false, progress_ = false, optimised_ = false;
    long frames_hint_ = 0, degree_ = 0;
    double sx_ = 0.01, sy_ = 0.01;
    matrix16d cal_, cal_inverse_;
    std::vector<corr_t> list_, result_;
    // What show() replaced: the records as they were and the settings it changed.
    bool shown_ = false;
    std::vector<corr_t> kept_;
    std::vector<counted_array_ptr<float>> kept_poses_;  // exactly as they were held
    bool kept_corrected_pos_ = false, kept_corrected_pressure_ = false;
    matrix16d adjust_a_, adjust_b_;  // accumulated corrections
};

// A headless run over frames [first, last] of the frame buffer: add,
// optimise; the run (valid or not) for the caller to apply or discard.
std::shared_ptr<image_correlation> correct_frames(long first, long last, bool pressure, bool progress, double* max_a,
                                                  double* max_b);
