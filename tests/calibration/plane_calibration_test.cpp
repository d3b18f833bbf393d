// Plane-phantom calibration from synthetic floor lines: known calibrations
// recovered from noisy end points over several baths, the scale lines, and
// the solves that must fail without producing a calibration.
#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include "calibration/line_detection.h"
#include "calibration/plane_calibration.h"
#include "common/vertex_math.h"
#include "demo/water_bath.h"

namespace {

// The accepted floor lines of `count` poses, end points at the image's first
// and last columns with `noise_px` of noise on every coordinate.
std::vector<frame_status_t> floor_lines(const water_bath_t& bath, int count, double noise_px, std::uint64_t seed)
{
    std::mt19937_64 rng(seed + 1000);
    std::normal_distribution<double> noise(0.0, noise_px);
    std::vector<frame_status_t> lines;
    const double right = double(bath.probe.width - 1);
    for (const auto& pose : water_bath_poses(bath, count, seed)) {
        frame_status_t l;
        l.decision = 1;
        l.position = pose;
        l.x1 = float(0.0 + noise(rng));
        l.x2 = float(right + noise(rng));
        l.y1 = float(floor_row(bath, pose.data(), 0.0) + noise(rng));
        l.y2 = float(floor_row(bath, pose.data(), right) + noise(rng));
        lines.push_back(l);
    }
    return lines;
}

// The angle (degrees) of the rotation between two calibrations.
double turn_between(const std::array<double, 6>& a, const plane_solve::trial_t& b)
{
    matrix16d ma;
    ma.forward(a[0], a[1], a[2], a[3], a[4], a[5]);
    return turn_between_degrees(ma, b.calibration_matrix());
}

double translation_error_mm(const std::array<double, 6>& a, const plane_solve::trial_t& b)
{
    return 10.0 * std::hypot(a[0] - b.tx, a[1] - b.ty, a[2] - b.tz);
}

TEST(PlaneCalibration, RecoversKnownCalibrationsFromNoisyLines)
{
    for (std::uint64_t seed : {1u, 2u, 3u, 4u, 5u}) {
        const water_bath_t bath = make_water_bath(seed, 14.0 + 4.0 * double(seed));
        plane_solve s;
        ASSERT_TRUE(s.run_plane_solve(floor_lines(bath, 120, 0.3, seed), bath.probe.sx, bath.probe.sy, bath.celsius,
                                      bath.probe.width, seed))
            << s.message3;
        const plane_solve::trial_t& t = *s.best_trial();
        EXPECT_LT(translation_error_mm(bath.probe.calibration, t), 0.2) << "seed " << seed;
        EXPECT_LT(turn_between(bath.probe.calibration, t), 0.1) << "seed " << seed;
        // The plane, up to the sign of its equation.
        const double sign = t.a * bath.normal.x + t.b * bath.normal.y + t.c * bath.normal.z > 0 ? 1.0 : -1.0;
        EXPECT_NEAR(sign * t.a, bath.normal.x, 1e-3);
        EXPECT_NEAR(sign * t.c, bath.normal.z, 1e-3);
        EXPECT_NEAR(sign * t.d, bath.d, 0.02);
        EXPECT_NEAR(t.rms, 0.3 * bath.probe.sy, 0.5 * 0.3 * bath.probe.sy) << "seed " << seed;
        EXPECT_EQ(s.message1, "Calibrated with 120 frames.");
        EXPECT_EQ(s.message3, wxString::Format("RMS error = %f cm", t.rms));
        EXPECT_GE(t.elevation, -90.0);
        EXPECT_LE(t.elevation, 90.0);
    }
}

TEST(PlaneCalibration, TheSameSeedGivesTheSameTrials)
{
    const water_bath_t bath = make_water_bath(7);
    const std::vector<frame_status_t> lines = floor_lines(bath, 40, 0.3, 7);
    plane_solve a, b;
    ASSERT_TRUE(a.run_plane_solve(lines, bath.probe.sx, bath.probe.sy, bath.celsius, bath.probe.width, 99));
    ASSERT_TRUE(b.run_plane_solve(lines, bath.probe.sx, bath.probe.sy, bath.celsius, bath.probe.width, 99));
    EXPECT_EQ(a.best, b.best);
    for (int i = 0; i < plane_solve::trial_count; ++i)
        EXPECT_EQ(a.trials[std::size_t(i)].rms, b.trials[std::size_t(i)].rms);
}

// Lines that cannot determine a calibration give "Failed to converge." and
// no best trial: too few, identical, or from a probe that never turns.
TEST(PlaneCalibration, UndeterminedLinesDoNotCalibrate)
{
    const water_bath_t bath = make_water_bath(3);
    std::vector<frame_status_t> lines = floor_lines(bath, 40, 0.3, 3);
    const auto solve = [&](const std::vector<frame_status_t>& l) {
        plane_solve s;
        const bool ok = s.run_plane_solve(l, bath.probe.sx, bath.probe.sy, bath.celsius, bath.probe.width, 5);
        EXPECT_EQ(ok, s.solved);
        EXPECT_EQ(ok, s.best_trial() != nullptr);
        for (const auto& t : s.trials)
            EXPECT_TRUE(std::isfinite(t.rms));
        return s;
    };
    plane_solve none = solve({});
    EXPECT_FALSE(none.solved);
    EXPECT_EQ(none.message3, "Failed to converge.");
    EXPECT_EQ(none.message1, "Calibrated with 0 frames.");
    EXPECT_FALSE(solve({lines.begin(), lines.begin() + 4}).solved);
    EXPECT_TRUE(solve({lines.begin(), lines.begin() + 12}).solved);

    EXPECT_FALSE(solve(std::vector<frame_status_t>(20, lines[0])).solved);

    // The same turn every time, only moved about.
    std::vector<frame_status_t> sliding = lines;
    for (frame_status_t& l : sliding) {
        for (int i = 3; i < 6; ++i)
            l.position[std::size_t(i)] = lines[0].position[std::size_t(i)];
        l.y1 = lines[0].y1;
        l.y2 = lines[0].y2;
    }
    EXPECT_FALSE(solve(sliding).solved);

    // Scales that are no scales, and a line with a broken pose left out.
    plane_solve s;
    EXPECT_FALSE(s.run_plane_solve(lines, 0.0, bath.probe.sy, bath.celsius, bath.probe.width, 5));
    EXPECT_FALSE(s.run_plane_solve(lines, NAN, bath.probe.sy, bath.celsius, bath.probe.width, 5));
    lines[5].position[4] = NAN;
    EXPECT_TRUE(s.run_plane_solve(lines, bath.probe.sx, bath.probe.sy, bath.celsius, bath.probe.width, 5));
    EXPECT_EQ(s.message1, "Calibrated with 39 frames.");
}

TEST(ScaleLines, RecoverTheScalesFromNoisyEnds)
{
    for (std::uint64_t seed : {1u, 2u, 3u, 4u, 5u}) {
        const water_bath_t bath = make_water_bath(seed);
        std::mt19937_64 rng(seed);
        std::normal_distribution<double> noise(0.0, 0.3);
        scale_lines_t lines{bath.scale_line_ends, bath.scale_length1_cm, bath.scale_length2_cm};
        for (double& e : lines.ends)
            e += noise(rng);
        double sx = 0, sy = 0;
        wxString error;
        ASSERT_TRUE(solve_scale_lines(lines, &sx, &sy, &error)) << error;
        EXPECT_NEAR(sx, bath.probe.sx, 0.002 * bath.probe.sx) << "seed " << seed;
        EXPECT_NEAR(sy, bath.probe.sy, 0.002 * bath.probe.sy) << "seed " << seed;
    }
}

TEST(ScaleLines, RefuseLinesThatCannotGiveScales)
{
    double sx = 0, sy = 0;
    wxString error;
    const auto refuses = [&](const scale_lines_t& l, const char* text) {
        EXPECT_FALSE(solve_scale_lines(l, &sx, &sy, &error));
        EXPECT_EQ(error, text);
    };
    scale_lines_t unset;
    refuses(unset, "Step 3 must be completed before solving for spatial calibration.");
    scale_lines_t half{{10, 10, 200, 10, -1, -1, -1, -1}, 5, 5};
    refuses(half, "Step 3 must be completed before solving for spatial calibration.");
    refuses({{10, 10, 10, 10, 100, 20, 100, 300}, 5, 5},
            "Some of the line end points are coincident: please repeat step 3.");
    // Exactly 60 degrees apart (normalised dot product 0.5) is too close.
    refuses({{0, 0, 200, 0, 0, 0, 100, 100 * std::sqrt(3.0)}, 5, 5},
            "The lines are not sufficiently orthogonal: please repeat step 3.");
    // Just over 60 degrees is enough.
    EXPECT_TRUE(solve_scale_lines({{0, 0, 200, 0, 0, 0, 99, 100 * std::sqrt(3.0)}, 2, 2}, &sx, &sy, &error));
    // A line mostly across said to be 8 cm long and one mostly down said to
    // be 1 mm: no real scales fit both.
    refuses({{0, 100, 100, 150, 300, 0, 310, 400}, 8, 0.1},
            "The scale lines do not agree with their lengths: please check the lengths and repeat step 3.");
}

TEST(PlaneCalibration, AnglesWrapIntoOneTurn)
{
    EXPECT_NEAR(clamp_angle(3 * M_PI / 2), -M_PI / 2, 1e-12);
    EXPECT_NEAR(clamp_angle(-7 * M_PI / 2), M_PI / 2, 1e-12);
    EXPECT_NEAR(clamp_angle(0.25), 0.25, 1e-15);
    EXPECT_TRUE(std::isnan(clamp_angle(NAN)));
}

}  // namespace

namespace {

// From rendered B-scans of the bath's floor through the line detector, with
// the scales from the scale lines, to the calibration.
TEST(PlaneCalibration, EndToEndFromRenderedFloors)
{
    for (std::uint64_t seed : {11u, 12u, 13u, 14u, 15u}) {
        const water_bath_t bath = make_water_bath(seed, 12.0 + 3.0 * double(seed - 10));
        const line_detector_t detector(bath.probe.width, bath.probe.height, line_detection_settings_t{});
        ASSERT_TRUE(detector.usable());
        std::vector<frame_status_t> lines;
        for (const auto& pose : water_bath_poses(bath, 60, seed)) {
            const detected_line_t found = detector.detect(render_floor_bscan(bath, pose.data(), seed + lines.size()));
            if (!found.accepted)
                continue;
            lines.push_back({1, float(found.x1), float(found.x2), float(found.y1), float(found.y2), pose});
        }
        EXPECT_GE(lines.size(), 55u) << "seed " << seed;
        double sx = 0, sy = 0;
        wxString error;
        ASSERT_TRUE(
            solve_scale_lines({bath.scale_line_ends, bath.scale_length1_cm, bath.scale_length2_cm}, &sx, &sy, &error));
        plane_solve s;
        ASSERT_TRUE(s.run_plane_solve(lines, sx, sy, bath.celsius, bath.probe.width, seed)) << s.message3;
        EXPECT_LT(translation_error_mm(bath.probe.calibration, *s.best_trial()), 1.0) << "seed " << seed;
        EXPECT_LT(turn_between(bath.probe.calibration, *s.best_trial()), 0.5) << "seed " << seed;
        // Every line lies on the solved floor within a fraction of a millimetre.
        for (const auto& r : line_residuals(lines, s, s.best, bath.celsius)) {
            EXPECT_LT(std::fabs(r[0]), 0.05);
            EXPECT_LT(std::fabs(r[1]), 0.05);
        }
    }
}

}  // namespace
