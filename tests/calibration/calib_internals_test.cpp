// The live side of calibration against the session's resources: floor lines
// in live frames make RES_CALIB_LINE_AVAIL and the latest status, the region
// clicks and their limits, settings changes resetting the region, the
// stylus tip with its world point, and a temporal calibration run fed
// through RES_POSITION_CAPTURE_EVENT that ends in RES_TEMP_CALIB.
#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "calibration/calib_internals.h"
#include "common/pos_stat.h"
#include "demo/water_bath.h"
#include "resources/resource_table.h"
#include "support/session_fixture.h"

namespace {

class CalibInternalsTest : public SessionTest {
protected:
    water_bath_t bath = make_water_bath(3);
    std::vector<std::array<float, 6>> poses = water_bath_poses(bath, 4, 3);

    void SetUp() override
    {
        SessionTest::SetUp();
        res->RES_BUF_WIDTH->write(bath.probe.width);
        res->RES_BUF_HEIGHT->write(bath.probe.height);
    }
    static counted_array_ptr<float> pose_of(const std::array<float, 6>& p)
    {
        counted_array_ptr<float> a(6);
        std::copy(p.begin(), p.end(), a.get());
        return a;
    }
};

TEST_F(CalibInternalsTest, FloorLinesInLiveFrames)
{
    calib_internals cal;
    const cip_t frame = render_floor_bscan(bath, poses[0].data(), 1);
    cal.display_line_detection(frame, pose_of(poses[0]), 100);
    EXPECT_TRUE(res->RES_CALIB_LINE_AVAIL->value());
    const frame_status_t& s = cal.latest_status();
    EXPECT_EQ(s.decision, 1);
    EXPECT_EQ(s.position, poses[0]);
    // Rows truncated, and the edge found on the last water row.
    EXPECT_NEAR(s.y1, floor_row(bath, poses[0].data(), s.x1), 2.0);
    EXPECT_NEAR(s.y2, floor_row(bath, poses[0].data(), s.x2), 2.0);
    EXPECT_TRUE(res->RES_CAL_MESSAGE_2->value().StartsWith("Consensus ")) << res->RES_CAL_MESSAGE_2->value();
    EXPECT_TRUE(res->RES_CAL_MESSAGE_2->value().EndsWith(": accept"));

    // A frame of another size is not looked at; one without a pose gives no line to accept.
    cal.display_line_detection(cip_t::make_8bit(320, 240), pose_of(poses[1]), 200);
    EXPECT_EQ(cal.latest_status().position, poses[0]);
    cal.display_line_detection(frame, {}, 300);
    EXPECT_FALSE(res->RES_CALIB_LINE_AVAIL->value());
    counted_array_ptr<float> broken = pose_of(poses[0]);
    broken[4] = NAN;
    cal.display_line_detection(frame, broken, 400);
    EXPECT_FALSE(res->RES_CALIB_LINE_AVAIL->value());
    for (float v : cal.latest_status().position)
        EXPECT_TRUE(std::isfinite(v));
}

TEST_F(CalibInternalsTest, RegionClicks)
{
    calib_internals cal;
    const cip_t frame = render_floor_bscan(bath, poses[0].data(), 1);
    cal.start_defining_roi();
    EXPECT_TRUE(res->RES_CALIB_DEFINING_ROI->value());
    EXPECT_EQ(res->RES_CAL_MESSAGE_1->value(), "Left mouse: define region.");
    EXPECT_EQ(res->RES_CAL_MESSAGE_2->value(), "Right mouse: last point.");
    // No line while the region is drawn.
    cal.display_line_detection(frame, pose_of(poses[0]), 100);
    EXPECT_FALSE(res->RES_CALIB_LINE_AVAIL->value());
    EXPECT_EQ(res->RES_CAL_MESSAGE_2->value(), "Invalid best fit line");

    // Two vertices and a right click do not close it.
    cal.click_roi(-50, 400, false);
    cal.click_roi(5000, 470, true);
    EXPECT_TRUE(cal.defining_roi());
    EXPECT_EQ(cal.roi_vertices()[0], (std::pair<long, long>{0, 400}));  // clamped into the image
    EXPECT_EQ(cal.roi_vertices()[1], (std::pair<long, long>{639, 470}));
    for (int i = 0; i < 20; ++i)
        cal.click_roi(20 * i, 10, false);
    EXPECT_EQ(cal.roi_vertices().size(), 19u);
    EXPECT_EQ(res->RES_CAL_MESSAGE_1->value(), "Now choose final point.");
    cal.click_roi(639, 0, true);
    EXPECT_FALSE(cal.defining_roi());
    EXPECT_EQ(cal.roi_vertices().size(), 20u);
    EXPECT_EQ(res->RES_CAL_MESSAGE_1->value(), "");

    // A new setting starts again from the whole image.
    res->RES_CAL_SIGMA->write(4.0);
    EXPECT_TRUE(cal.roi_vertices().empty());
    cal.display_line_detection(frame, pose_of(poses[0]), 200);
    EXPECT_TRUE(res->RES_CALIB_LINE_AVAIL->value());
    // Settings the detector refuses: no line, no crash.
    res->RES_CAL_STRIPES->write(0);
    cal.display_line_detection(frame, pose_of(poses[0]), 300);
    EXPECT_FALSE(res->RES_CALIB_LINE_AVAIL->value());
}

// The probe held still over the floor, then moved up and down; the position
// stream lags the images by 30 ms. The run ends with the lag in RES_TEMP_CALIB.
TEST_F(CalibInternalsTest, TemporalCalibrationThroughThePositionStream)
{
    calib_internals cal;
    EXPECT_FALSE(cal.start_temp_calib());
    EXPECT_EQ(res->RES_CAL_MESSAGE_1->value(), "Temporal calibration needs live images and a position source.");
    res->RES_TOGGLE_LIVE->write(true);
    res->RES_POSITION_SOURCE->write(SENSOR_FASTRAK);
    ASSERT_TRUE(cal.start_temp_calib());
    EXPECT_EQ(res->RES_CAL_MESSAGE_1->value(), "Hold probe still and upright");

    // A pose that shows the floor nearly level, mid-way down: moved 1.6 cm up
    // and down it stays in the image. Half a period (625 ms) lies outside the
    // lags searched, where a turned-over sine would match as well.
    std::array<float, 6> straight{};
    for (const auto& p : water_bath_poses(bath, 200, 9)) {
        const double left = floor_row(bath, p.data(), 0), right = floor_row(bath, p.data(), 639);
        if (std::fabs(left - right) < 10 && std::fabs(left - 240) < 30)
            straight = p;
    }
    ASSERT_NE(straight[0], 0.0f);
    const auto height = [](double s) {
        return s < 3.0 ? 0.0 : 1.6 * std::sin(2.0 * std::numbers::pi * 0.8 * (s - 3.0));
    };
    const std::uint64_t t0 = 17'000'000'000'000'000ULL, ms = 10'000;
    const double latency_ms = 30.0;
    double next_pos = 0, next_frame = 0;
    while (cal.temp_calib_running() && next_pos < 12000) {
        if (next_pos <= next_frame) {
            float p[6];
            std::copy(straight.begin(), straight.end(), p);
            p[2] += float(height((next_pos - latency_ms) / 1000.0));
            res->RES_POSITION_CAPTURE_EVENT->write(
                std::make_shared<pos_stat_t>(pos_stat_t::make(t0 + std::uint64_t(next_pos) * ms, p)));
            next_pos += 20;
        } else {
            // The image shows the probe where it really is at the frame's time.
            std::array<float, 6> where = straight;
            where[2] += float(height(next_frame / 1000.0));
            cal.display_line_detection(render_floor_bscan(bath, where.data(), std::uint64_t(next_frame)),
                                       pose_of(where), t0 + std::uint64_t(next_frame) * ms);
            next_frame += 40;
        }
    }
    EXPECT_FALSE(cal.temp_calib_running());
    EXPECT_TRUE(res->RES_CAL_MESSAGE_1->value().StartsWith("Temporal calibration ")) << res->RES_CAL_MESSAGE_1->value();
    EXPECT_NEAR(double(res->RES_TEMP_CALIB->value()), latency_ms, 2.0);
}

TEST_F(CalibInternalsTest, StylusTipWithItsWorldPoint)
{
    calib_internals cal;
    // A bright dot with a streak below it, as a stylus tip shows.
    cip_t frame = cip_t::make_8bit(640, 480);
    std::fill(frame.pixels(), frame.pixels() + frame.pixel_count(), 10);
    for (long y = 200; y < 300; ++y)
        for (long x = 318; x <= 322; ++x)
            frame.pixels()[y * 640 + x] = std::uint8_t(y == 200 ? 255 : 200 - (y - 200));
    cal.display_point_detection(frame, pose_of(poses[0]), {1, 2, 3});
    ASSERT_TRUE(cal.latest_point());
    EXPECT_TRUE(res->RES_CALIB_POINT_AVAIL->value());
    EXPECT_NEAR(cal.latest_point()->u, 320, 2);
    EXPECT_EQ(cal.latest_point()->tip.z, 3);
    // No tip in the world (the pointer is missing): nothing to accept.
    cal.display_point_detection(frame, pose_of(poses[0]), {NAN, 0, 0});
    EXPECT_FALSE(res->RES_CALIB_POINT_AVAIL->value());
    cal.start_defining_roi();
    cal.display_point_detection(frame, pose_of(poses[0]), {1, 2, 3});
    EXPECT_EQ(res->RES_CAL_MESSAGE_2->value(), "Invalid point");
}

}  // namespace
