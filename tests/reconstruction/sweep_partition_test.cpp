// Sweep partitioning: two overlapping sweeps of flat frames, each painting its
// own value, so the sweep that supplied any reslice pixel can be read off it.
#include <algorithm>
#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "common/dynabuf.h"
#include "reconstruction/reslice_sweeps.h"
#include "resources/recording_data.h"
#include "resources/resource_table.h"
#include "support/log_capture.h"
#include "support/session_fixture.h"
#include "synthetic_sweep.h"

namespace {

constexpr std::uint8_t value_a = 60, value_b = 180;
constexpr double scale = 0.02;  // 100 x 50 pixels: 2 cm across (x), 1 cm deep (y)
constexpr double divide = 1.525;  // A spans z 0..2 and B z 1.05..2.95: the overlap's middle

// Sweep A: frames z = 0, 0.1 .. 2.0; sweep B: z = 1.05, 1.15 .. 2.95, so in
// z 1..2 the nearest frame alternates between the sweeps.
reslice_source two_sweeps()
{
    reslice_source src = source_of(scale);
    for (int k = 0; k <= 20; ++k)
        src.frames.push_back(flat_frame(filled_image(100, 50, value_a), 0.0, 0.0, 0.1 * k));
    for (int k = 0; k < 20; ++k)
        src.frames.push_back(flat_frame(filled_image(100, 50, value_b), 0.0, 0.0, 1.05 + 0.1 * k));
    assign_sweeps(&src, {0, 21});
    src.sweep_view.partitioning = true;
    return src;
}

// The plane x = 1 across every frame: reslice x runs along -z, y along y.
reslice_settings along_sweeps()
{
    reslice_settings s = plane_at({1.0, 0.0, 0.0}, {1.0, 0.5, 1.5}, 170, false, 0.05);  // z -0.2 .. 3.2
    s.height = 60;                                                                        // y -0.1 .. 1.1
    return s;
}

struct tally {
    long a_in_b = 0, b_in_a = 0;  // pixels painted by the sweep that does not own them
    long a = 0, b = 0, empty_inside = 0;
};

// Counts pixels away from the dividing plane (one pixel either side is left out).
tally count(const reslice_internals& r)
{
    tally t;
    for (long y = 0; y < r.height(); ++y)
        for (long x = 0; x < r.width(); ++x) {
            const vertex3d p = r.reslice_to_world(x, y, 0.0);
            const std::uint8_t v = r.pixel(x, y);
            t.a += v == value_a;
            t.b += v == value_b;
            if (std::fabs(p.z - divide) < scale)
                continue;
            if (p.z > divide && v == value_a)
                ++t.a_in_b;
            if (p.z < divide && v == value_b)
                ++t.b_in_a;
            if (p.y > 0.02 && p.y < 0.98 && p.z > 0.02 && p.z < 2.98 && v == 0)
                ++t.empty_inside;
        }
    return t;
}

tally build(const reslice_source& src, const reslice_settings& s = along_sweeps())
{
    return count(built(src, s));
}

// Catches partitions that do not split the shared ground in the middle of the
// overlap, or that trim a sweep's outer edge: the frames seen along the depth
// axis are known rectangles.
TEST(SweepPartition, PartitionsSplitTheOverlapInTheMiddle)
{
    const reslice_source src = two_sweeps();
    ASSERT_EQ(src.sweeps.size(), 2u);
    // z range of each partition: the sweeps' own, grown by the margin except where they meet.
    constexpr double m = sweep_partition_margin;
    const double expected[2][2] = {{-m, divide}, {divide, 2.95 + m}};
    for (std::size_t s = 0; s < 2; ++s) {
        const std::vector<vertex3d>& poly = src.sweeps[s].polygon;
        EXPECT_NEAR(std::fabs(src.sweeps[s].normal.y), 1.0, 1e-12) << "prisms run along the depth axis";
        ASSERT_GE(poly.size(), 4u);
        const auto by_z = [](const vertex3d& a, const vertex3d& b) { return a.z < b.z; };
        const auto by_x = [](const vertex3d& a, const vertex3d& b) { return a.x < b.x; };
        const auto [zlo, zhi] = std::minmax_element(poly.begin(), poly.end(), by_z);
        const auto [xlo, xhi] = std::minmax_element(poly.begin(), poly.end(), by_x);
        EXPECT_NEAR(zlo->z, expected[s][0], 1e-9) << s;
        EXPECT_NEAR(zhi->z, expected[s][1], 1e-9) << s;
        EXPECT_NEAR(xlo->x, -m, 1e-9) << s;
        EXPECT_NEAR(xhi->x, 2.0 + m, 1e-9) << s;
    }
}

// Catches frames painting outside their own sweep's region: without
// partitioning both sweeps show in the overlap; with it neither strays, and
// the shared ground is still fully covered. RES_SWEEP_ADJUSTMENT must take
// effect: partitions grown to 200 % overlap again.
TEST(SweepPartition, PixelsComeOnlyFromTheSweepOwningThem)
{
    reslice_source src = two_sweeps();
    src.sweep_view.partitioning = false;
    const tally mixed = build(src);
    ASSERT_GT(mixed.a_in_b, 100) << "the test needs interleaved sweeps to mean anything";
    ASSERT_GT(mixed.b_in_a, 100);

    src.sweep_view.partitioning = true;
    const tally parted = build(src);
    EXPECT_EQ(parted.a_in_b, 0);
    EXPECT_EQ(parted.b_in_a, 0);
    EXPECT_EQ(parted.empty_inside, 0);
    EXPECT_GT(parted.a, 1000);
    EXPECT_GT(parted.b, 1000);

    // Linear mode and thick slabs clip each plane the same way.
    reslice_settings thick = along_sweeps();
    thick.linear = true;
    thick.slice_half_thickness = 0.1;
    const tally thick_parted = build(src, thick);
    EXPECT_EQ(thick_parted.a_in_b, 0);
    EXPECT_EQ(thick_parted.b_in_a, 0);

    src.sweep_view.adjustment = 200;
    const tally grown = build(src);
    EXPECT_GT(grown.a_in_b, 100);
    EXPECT_GT(grown.b_in_a, 100);
}

// Catches the shown sweep being ignored or other sweeps leaking in; a sweep
// number beyond the last shows the last sweep.
TEST(SweepPartition, SingleSweepDisplayShowsOnlyThatSweep)
{
    reslice_source src = two_sweeps();
    src.sweep_view.single_sweep = true;
    for (const long shown : {0L, 1L, 7L}) {
        src.sweep_view.shown = shown;
        const tally t = build(src);
        const bool b_shown = shown != 0;
        EXPECT_EQ(b_shown ? t.a : t.b, 0) << shown;
        EXPECT_GT(b_shown ? t.b : t.a, 1000) << shown;
    }
}

// Catches snapping onto a frame that could not have painted the point: near
// the divide a sweep A frame is nearer, but the point is in B's region.
TEST(SweepPartition, SnapLandmarkStaysInTheOwningSweep)
{
    reslice_source src = two_sweeps();
    reslice_internals r;
    r.set_pixel_size(scale);
    r.set_settings(along_sweeps());
    const vertex3d near_a = r.world_to_reslice({1.0, 0.5, 1.59});  // A frame at 1.6, B frame at 1.55
    for (const bool parted : {false, true}) {
        src.sweep_view.partitioning = parted;
        vertex2d point{near_a.x, near_a.y};
        const landmark_snap snap = r.snap_landmark(src, point);
        ASSERT_TRUE(snap.snapped);
        EXPECT_EQ(src.frames[snap.frame].sweep, parted ? 1 : 0);
        EXPECT_NEAR(snap.world.z, parted ? 1.55 : 1.6, 1e-9);
    }
}

// Catches NaN or unbounded cuts from degenerate partitions, and the prism
// running along the plane (its sides parallel to the plane are wholly in or out).
TEST(SweepPartition, DegeneratePartitionsCutNothing)
{
    const reslice_plane plane(along_sweeps(), scale);
    const sweep_partition square{{{0, 0, 0}, {2, 0, 0}, {2, 0, 2}, {0, 0, 2}}, {0, 1, 0}};
    EXPECT_FALSE(partition_section(plane, 0.0, square, 100).empty());
    EXPECT_TRUE(partition_section(plane, 5.0, square, 100).empty()) << "plane x = 6 misses the prism";

    // The plane z = 1 runs along the prism: it keeps the band x 0..2, any height.
    const reslice_plane band_plane(plane_at({0.0, 0.0, 1.0}, {1.0, 0.0, 1.0}, 200, true, 0.0), scale);  // x, y -1 .. 3
    const std::vector<vertex2d> band = partition_section(band_plane, 0.0, square, 100);
    ASSERT_FALSE(band.empty());
    for (const vertex2d& v : band) {
        const vertex3d w = band_plane.reslice_to_world(v.x, v.y, 0.0);
        EXPECT_GT(w.x, -1e-9);
        EXPECT_LT(w.x, 2.0 + 1e-9);
    }
    EXPECT_TRUE(partition_section(band_plane, 5.0, square, 100).empty()) << "plane z = 6 is beside the prism";

    const sweep_partition two_points{{{0, 0, 0}, {2, 0, 0}}, {0, 1, 0}};
    const sweep_partition on_a_line{{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}, {0, 1, 0}};
    const sweep_partition no_normal{square.polygon, {0, 0, 0}};
    const sweep_partition nan_vertex{{{0, 0, 0}, {2, 0, NAN}, {2, 0, 2}}, {0, 1, 0}};
    for (const sweep_partition& p : {two_points, on_a_line, no_normal, nan_vertex})
        EXPECT_TRUE(partition_section(plane, 0.0, p, 100).empty());
    // Absurd adjustments are held to 1 .. 1000 %, never a zero or negative scale.
    EXPECT_FALSE(partition_section(plane, 0.0, square, -50).empty());
    EXPECT_FALSE(partition_section(plane, 0.0, square, 1L << 40).empty());
}

// Catches a clip that leaves the wrong part: a 4 x 4 square clipped by a
// triangle over half of it is that triangle (area 8); a clip with no area
// leaves nothing.
TEST(SweepPartition, ClipKeepsTheInsidePart)
{
    const std::vector<vertex2d> square{{0, 0}, {4, 0}, {4, 4}, {0, 4}};
    for (const bool clockwise : {false, true}) {
        std::vector<vertex2d> triangle{{-1, -1}, {5, 5}, {-1, 5}};
        if (clockwise)
            std::reverse(triangle.begin(), triangle.end());
        std::vector<vertex2d> poly = square;
        ASSERT_TRUE(clip_intersection_to_poly(poly, triangle));
        EXPECT_NEAR(polygon_area(poly), 8.0, 1e-12) << clockwise;
        for (const vertex2d& v : poly)
            EXPECT_GE(v.y, v.x - 1e-12);
    }
    std::vector<vertex2d> poly = square;
    ASSERT_TRUE(clip_intersection_to_poly(poly, {{0, 0}, {1, 1}, {2, 2}}));
    EXPECT_TRUE(poly.empty());
}

// Catches runaway clipped outlines: partitions of 150 vertices would need more
// than 98 per frame; the build says so once and leaves those frames out.
TEST(SweepPartition, TooManyClippedVerticesAreReportedOnce)
{
    reslice_source src = two_sweeps();
    for (sweep_partition& p : src.sweeps) {
        p.polygon.clear();
        for (int i = 0; i < 150; ++i) {
            const double t = 2.0 * std::numbers::pi * i / 150;
            p.polygon.push_back({1.0 + 0.3 * std::cos(t), 0.0, 1.5 + 0.3 * std::sin(t)});
        }
    }
    // The plane y = 0.5 lies across the prisms, so their cuts are the 150-gons
    // themselves, and every frame's slab outline holds the circles whole.
    const reslice_settings s = plane_at({0.0, 1.0, 0.0}, {1.0, 0.5, 1.5}, 100, false, 5.0, {0.0, 0.0, 1.0});
    log_capture log;
    const reslice_internals r = built(src, s);
    EXPECT_EQ(log.count(wxLOG_Error), 1u);
    EXPECT_TRUE(log.contains("Too many points in reslice clipped polygon - must be using a very large number of sweeps"));
    for (const std::uint8_t v : r.image())
        ASSERT_EQ(v, 0);
}

// Catches hostile sweep boundaries (negative, repeated, unsorted, absurd)
// making empty sweeps without end or misgrouping frames.
TEST(SweepPartition, HostileBoundariesGroupFramesSanely)
{
    reslice_source src = source_of(scale);
    for (int k = 0; k < 6; ++k)
        src.frames.push_back(flat_frame(filled_image(10, 10, 9), 0.0, 0.0, 0.1 * k));
    assign_sweeps(&src, {1000000000000L, 3, -5, 3, 5});
    ASSERT_EQ(src.sweeps.size(), 3u);
    const long expected[6] = {0, 0, 0, 1, 1, 2};
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(src.frames[k].sweep, expected[k]) << k;
    for (const sweep_partition& p : src.sweeps)
        for (const vertex3d& v : p.polygon)
            EXPECT_TRUE(finite(v));
    assign_sweeps(&src, {});
    EXPECT_EQ(src.sweeps.size(), 1u);
    EXPECT_FALSE(partitioning_active(src));
}

// Catches the session wiring losing a frame's recording number or sweep, or
// the display settings: the GUI only sets resources.
class SweepSession : public SessionTest {
protected:
    // Six frames stepping 1 mm along z; those `posed` refuses have no position.
    template <typename pred_t>
    static void append_frames(pred_t posed)
    {
        for (int k = 0; k < 6; ++k) {
            counted_array_ptr<float> pose;
            if (posed(k)) {
                pose = counted_array_ptr<float>(6);
                for (std::size_t i = 0; i < 6; ++i)
                    pose[i] = i == 2 ? 0.1f * k : 0.0f;
            }
            bufp->append(filled_image(10, 10, 9), pose, 0);
        }
    }
};

TEST_F(SweepSession, SourceCarriesSweepsAndTheirSettings)
{
    append_frames([](int k) { return k != 2; });  // frame 2 has no position and is left out
    auto sweeps = std::make_shared<multi_sweeps>();
    sweeps->first_frames = {0, 3};
    res->RES_SWEEPS->write(sweeps);
    res->RES_USE_PARTITIONING->write(true);
    res->RES_SWEEP_ADJUSTMENT->write(120);
    res->RES_USE_SINGLE_SWEEP->write(true);
    res->RES_SWEEP_DISP_NUMBER->write(1);

    const reslice_source src = source_from_session();
    ASSERT_EQ(src.frames.size(), 5u);
    const long numbers[5] = {0, 1, 3, 4, 5}, sweep_of[5] = {0, 0, 1, 1, 1};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(src.frames[i].number, numbers[i]);
        EXPECT_EQ(src.frames[i].sweep, sweep_of[i]);
    }
    EXPECT_EQ(src.sweeps.size(), 2u);
    EXPECT_TRUE(partitioning_active(src));
    EXPECT_EQ(src.sweep_view.adjustment, 120);
    EXPECT_TRUE(src.sweep_view.single_sweep);
    EXPECT_EQ(src.sweep_view.shown, 1);
}

// Catches the Reslice page's sweep slider counting a sweep that starts among
// trailing frames without a pose, which the reslice never shows.
TEST_F(SweepSession, SweepCountStopsAtTheLastPlacedFrame)
{
    append_frames([](int k) { return k < 4; });
    auto sweeps = std::make_shared<multi_sweeps>();
    sweeps->first_frames = {5, 0, 2, 2, -4};
    res->RES_SWEEPS->write(sweeps);
    EXPECT_EQ(sweep_count_from_session(), 2);
    EXPECT_EQ(source_from_session().sweeps.size(), 2u);
    sweeps = std::make_shared<multi_sweeps>(*sweeps);
    sweeps->first_frames.push_back(3);
    res->RES_SWEEPS->write(sweeps);
    EXPECT_EQ(sweep_count_from_session(), 3);
    EXPECT_EQ(source_from_session().sweeps.size(), 3u);
}

}  // namespace
