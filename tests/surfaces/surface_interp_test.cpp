// Surfaces built from outlines on placed frames, against the demo ellipsoid's
// analytic sections and volume, and on inputs that could break the grid.
#include <chrono>
#include <cmath>
#include <map>
#include <numbers>
#include <utility>

#include <gtest/gtest.h>

#include "common/interaction.h"
#include "demo/phantom.h"
#include "support/log_capture.h"
#include "surfaces/surface_interp.h"
#include "surfaces/surface_progress.h"
#include "support/outline_shapes.h"
#include "ellipsoid_outlines.h"

namespace {

using namespace surface_test;

surface_settings_t at(int resolution, bool cover = false)
{
    surface_settings_t s;
    s.resolution = resolution;
    s.cover = cover;
    return s;
}

void expect_sound(const surface_interp& s)
{
    ASSERT_FALSE(s.get_seq().empty());
    for (const surface_sequence_t& seq : s.get_seq()) {
        EXPECT_FALSE(seq.mesh.triangles.empty());
        EXPECT_TRUE(closed_manifold(seq.mesh));
    }
    EXPECT_GT(s.volume, 0.0);
    EXPECT_TRUE(std::isfinite(s.centre.x + s.centre.y + s.centre.z));
}

// The shape the outlines came from: volume within 1 %, centred on the
// ellipsoid, closed and facing out, on parallel and on fanned planes.
TEST(SurfaceInterp, EllipsoidOnParallelAndFanPlanes)
{
    const ellipsoid_shape e = demo_phantom().ellipsoids.at(0);
    const double truth = volume(e);
    for (const auto& planes : {parallel_planes(e, 25), fan_planes(e, 25)}) {
        outlined_t o = outline_ellipsoid(e, planes);
        const auto s = surface_interp::build(o.object, 0, o.placements, at(medium));
        ASSERT_TRUE(s);
        expect_sound(*s);
        EXPECT_NEAR(s->volume, truth, 0.01 * truth);
        EXPECT_FALSE(s->self_intersecting);
        EXPECT_NEAR(s->centre.x, e.centre.x, 0.02);
        EXPECT_NEAR(s->centre.y, e.centre.y, 0.02);
        EXPECT_NEAR(s->centre.z, e.centre.z, 0.02);
        // Normals point away from the middle almost everywhere on a convex shape.
        const surface_mesh_t& mesh = s->get_seq().front().mesh;
        std::size_t outward = 0;
        for (const surface_point_t& p : mesh.points) {
            const vertex3d d{p.position.x - e.centre.x, p.position.y - e.centre.y, p.position.z - e.centre.z};
            outward += d.x * p.normal.x + d.y * p.normal.y + d.z * p.normal.z > 0.0 ? 1 : 0;
        }
        EXPECT_GT(outward, mesh.points.size() * 99 / 100);
        // Every outline is met: points on outline planes exist.
        EXPECT_TRUE(std::any_of(mesh.points.begin(), mesh.points.end(),
                                [](const surface_point_t& p) { return p.kind == SURF_POINT_ON_OUTLINE_PLANE; }));
    }
}

// RMS of how far the points lie off the ellipsoid, in its own radial measure.
double rms_off_ellipsoid(const surface_interp& s, const ellipsoid_shape& e)
{
    matrix16d to_shape = e.frame();
    to_shape.invert();
    double sum = 0.0;
    std::size_t n = 0;
    for (const surface_sequence_t& seq : s.get_seq())
        for (const surface_point_t& p : seq.mesh.points) {
            const vertex3d q = to_shape * p.position;
            const double r = std::sqrt(q.x * q.x / (e.semi[0] * e.semi[0]) + q.y * q.y / (e.semi[1] * e.semi[1]) +
                                       q.z * q.z / (e.semi[2] * e.semi[2]));
            sum += (r - 1.0) * (r - 1.0);
            ++n;
        }
    return std::sqrt(sum / double(n));
}

// Smoothing takes off the grid's facets without shrinking the shape; the
// older smoothing shrinks it; strength 0 leaves the triangulation as it is.
TEST(SurfaceInterp, SmoothingTypesAndStrengths)
{
    const ellipsoid_shape e = demo_phantom().ellipsoids.at(0);
    outlined_t o = outline_ellipsoid(e, parallel_planes(e, 25));
    const auto plain = surface_interp::build(o.object, 0, o.placements, at(medium));
    surface_settings_t standard = at(medium), older = at(medium), none_older = at(medium);
    standard.smooth_strength = 2;
    older.smooth_strength = 3;
    older.smooth_type = 1;
    none_older.smooth_type = 1;
    const auto smooth = surface_interp::build(o.object, 0, o.placements, standard);
    const auto shrunk = surface_interp::build(o.object, 0, o.placements, older);
    const auto unchanged = surface_interp::build(o.object, 0, o.placements, none_older);
    ASSERT_TRUE(plain && smooth && shrunk && unchanged);
    expect_sound(*smooth);
    expect_sound(*shrunk);
    EXPECT_LT(rms_off_ellipsoid(*smooth, e), rms_off_ellipsoid(*plain, e));
    EXPECT_NEAR(smooth->volume, volume(e), 0.015 * volume(e));
    EXPECT_LT(shrunk->volume, plain->volume);
    ASSERT_EQ(unchanged->get_seq().front().mesh.points.size(), plain->get_seq().front().mesh.points.size());
    for (std::size_t i = 0; i < plain->get_seq().front().mesh.points.size(); ++i)
        ASSERT_EQ(unchanged->get_seq().front().mesh.points[i].position,
                  plain->get_seq().front().mesh.points[i].position);
}

// Frames recorded in the other direction describe the same shape: the same
// volume, never a negative one.
TEST(SurfaceInterp, ReversedFrameOrderGivesTheSameSurface)
{
    const ellipsoid_shape e = demo_phantom().ellipsoids.at(0);
    for (const auto& planes : {parallel_planes(e, 25), fan_planes(e, 25)}) {
        outlined_t forward = outline_ellipsoid(e, planes), backward = outline_ellipsoid(e, planes, true);
        const auto a = surface_interp::build(forward.object, 0, forward.placements, at(medium));
        const auto b = surface_interp::build(backward.object, 0, backward.placements, at(medium));
        ASSERT_TRUE(a && b);
        expect_sound(*b);
        EXPECT_NEAR(b->volume, a->volume, 0.003 * a->volume);
    }
}

// A mirrored calibration (image x turned round, so the frames are left-handed)
// puts the same sections in the same places: the same closed, outward
// surface, never a negative volume.
TEST(SurfaceInterp, MirroredCalibrationGivesTheSameSurface)
{
    const ellipsoid_shape e = demo_phantom().ellipsoids.at(0);
    for (auto planes : {parallel_planes(e, 25), fan_planes(e, 25)}) {
        const outlined_t plain = outline_ellipsoid(e, planes);
        // The image's x runs the other way from its far edge, 6 cm along.
        for (matrix16d& m : planes)
            for (int r = 0; r < 3; ++r) {
                m[12 + r] += 6.0 * m[r];
                m[r] = -m[r];
            }
        outlined_t mirrored = outline_ellipsoid(e, planes);
        const auto a = surface_interp::build(plain.object, 0, plain.placements, at(medium));
        const auto b = surface_interp::build(mirrored.object, 0, mirrored.placements, at(medium));
        ASSERT_TRUE(a && b);
        expect_sound(*b);
        EXPECT_NEAR(b->volume, a->volume, 0.01 * a->volume);
        EXPECT_NEAR(b->centre.x, a->centre.x, 0.02);
        EXPECT_NEAR(b->centre.y, a->centre.y, 0.02);
        EXPECT_NEAR(b->centre.z, a->centre.z, 0.02);
    }
}

// A thousand outlined planes, a few hundredths of a millimetre apart: finite,
// closed, and the ellipsoid's volume.
TEST(SurfaceInterp, AThousandPlanes)
{
    const ellipsoid_shape e = demo_phantom().ellipsoids.at(0);
    outlined_t o;
    const std::vector<matrix16d> planes = parallel_planes(e, 1000);
    o.placements.sx = sx;
    o.placements.sy = sy;
    for (std::size_t i = 0; i < planes.size(); ++i) {
        o.placements.frames.push_back(placed(planes[i]));
        const ellipse2d cut = section(e, planes[i]);
        if (cut.exists && cut.b > 0.0)
            o.object.insert(static_cast<std::int32_t>(i), outline(cut, 48));
    }
    ASSERT_GT(o.object.sets.size(), 800u);
    const auto s = surface_interp::build(o.object, 0, o.placements, at(10));
    ASSERT_TRUE(s);
    expect_sound(*s);
    EXPECT_NEAR(s->volume, volume(e), 0.03 * volume(e));
}

// Both ways of closing the ends give a closed surface; closing at the end
// outlines encloses less than reaching beyond them.
TEST(SurfaceInterp, EndsClosedWithAndWithoutCover)
{
    const ellipsoid_shape e = demo_phantom().ellipsoids.at(0);
    outlined_t o = outline_ellipsoid(e, parallel_planes(e, 12));
    const auto open_ends = surface_interp::build(o.object, 0, o.placements, at(medium));
    const auto covered = surface_interp::build(o.object, 0, o.placements, at(medium, true));
    ASSERT_TRUE(open_ends && covered);
    expect_sound(*open_ends);
    expect_sound(*covered);
    EXPECT_LT(covered->volume, open_ends->volume);
    EXPECT_NEAR(covered->volume, volume(e), 0.06 * volume(e));
    EXPECT_NEAR(open_ends->volume, volume(e), 0.04 * volume(e));
}

// A prism between two equal rectangles: the sides are straight, so only the
// ends depend on the closing. Covered ends sit on the outlines themselves.
TEST(SurfaceInterp, PrismBetweenTwoRectangles)
{
    outlined_t o;
    o.placements.sx = 0.1;
    o.placements.sy = 0.1;
    for (int i = 0; i < 2; ++i) {
        matrix16d m;
        m.forward(0.0, 0.0, 0.5 * i);
        o.placements.frames.push_back(placed(m));
        o.object.insert(i, rectangle(10, 10, 20, 10));  // 2 cm by 1 cm
    }
    const auto covered = surface_interp::build(o.object, 0, o.placements, at(1, true));
    ASSERT_TRUE(covered);
    expect_sound(*covered);
    EXPECT_NEAR(covered->volume, 2.0 * 0.5, 0.03);
    EXPECT_NEAR(covered->centre.z, 0.25, 0.01);
    const auto open_ends = surface_interp::build(o.object, 0, o.placements, at(1));
    ASSERT_TRUE(open_ends);
    // Half a spacing beyond each end, less the rounding of the end edges.
    EXPECT_GT(open_ends->volume, 1.9);
    EXPECT_LT(open_ends->volume, 2.0 + 0.01);
}

// A round tube leaning across the planes: each outline is the last one moved
// sideways by more than its radius. Following the moving centre keeps every
// cross-section whole, so the volume is the area times the height
// (Cavalieri), where blending the two misaligned discs would pinch it.
TEST(SurfaceInterp, LeaningTubeFollowsItsCentre)
{
    outlined_t o;
    o.placements.sx = o.placements.sy = 0.01;
    const double r = 30.0, shift = 40.0;
    for (int i = 0; i < 4; ++i) {
        matrix16d m;
        m.forward(0.0, 0.0, 0.5 * i);
        o.placements.frames.push_back(placed(m));
        contour c;
        for (int k = 0; k < 360; ++k) {
            const double t = 2.0 * std::numbers::pi * k / 360;
            c.points.push_back({100.0 + shift * i + r * std::cos(t), 100.0 + r * std::sin(t)});
        }
        o.object.insert(i, c);
    }
    const auto s = surface_interp::build(o.object, 0, o.placements, at(medium, true));
    ASSERT_TRUE(s);
    expect_sound(*s);
    const double truth = std::numbers::pi * 0.3 * 0.3 * 1.5;
    EXPECT_NEAR(s->volume, truth, 0.03 * truth);
    EXPECT_FALSE(s->self_intersecting);
}

// A sweep that turns back over itself makes a surface that passes through
// itself: the user is warned, once. A plain sweep gives no warning.
TEST(SurfaceInterp, SweepTurningBackIsWarnedOf)
{
    outlined_t o;
    o.placements.sx = o.placements.sy = 0.1;
    const double z[4] = {0.0, 0.5, 0.25, 0.75};
    for (int i = 0; i < 4; ++i) {
        matrix16d m;
        m.forward(0.0, 0.0, z[i]);
        o.placements.frames.push_back(placed(m));
        o.object.insert(i, rectangle(10, 10, 20, 10));
    }
    log_capture log;
    const auto back = surface_interp::build(o.object, 0, o.placements, at(2));
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->self_intersecting);
    EXPECT_EQ(log.count(wxLOG_Warning), 1u);
    o.placements.frames[2].image_to_world.forward(0.0, 0.0, 0.6);
    log.clear();
    const auto straight = surface_interp::build(o.object, 0, o.placements, at(2));
    ASSERT_TRUE(straight);
    EXPECT_FALSE(straight->self_intersecting);
    EXPECT_EQ(log.count(wxLOG_Warning), 0u);
}

// No surface from outlines on one frame, or on frames each alone in its sweep.
TEST(SurfaceInterp, NoSurfaceWithoutTwoPlanesInOneSweep)
{
    outlined_t o;
    for (int i = 0; i < 3; ++i) {
        matrix16d m;
        m.forward(0.0, 0.0, 0.5 * i);
        o.placements.frames.push_back(placed(m, i));
    }
    o.object.insert(0, rectangle(10, 10, 20, 10));
    EXPECT_FALSE(surface_interp::build(o.object, 0, o.placements, at(medium)));
    o.object.insert(1, rectangle(10, 10, 20, 10));
    o.object.insert(2, rectangle(10, 10, 20, 10));
    EXPECT_FALSE(surface_interp::build(o.object, 0, o.placements, at(medium)));
    // Unusable scales or resolution are refused, not divided by.
    o.placements.frames[1].sweep = 0;
    o.placements.sx = 0.0;
    EXPECT_FALSE(surface_interp::build(o.object, 0, o.placements, at(medium)));
    o.placements.sx = 0.01;
    EXPECT_FALSE(surface_interp::build(o.object, 0, o.placements, at(0)));
    EXPECT_TRUE(surface_interp::build(o.object, 0, o.placements, at(medium)));
}

// Frames on one plane are not interpolated across: the later one is left out
// with a warning naming both, and the surface is as if it were not there.
TEST(SurfaceInterp, CoincidentPlanesLeaveTheLaterFrameOut)
{
    outlined_t o;
    o.placements.sx = o.placements.sy = 0.1;
    const double z[4] = {0.0, 0.5, 0.5, 1.0};
    for (int i = 0; i < 4; ++i) {
        matrix16d m;
        m.forward(0.0, 0.0, z[i]);
        o.placements.frames.push_back(placed(m));
    }
    o.object.insert(0, rectangle(10, 10, 20, 10));
    o.object.insert(1, rectangle(10, 10, 20, 10));
    o.object.insert(2, rectangle(12, 12, 5, 5));
    o.object.insert(3, rectangle(10, 10, 20, 10));
    log_capture log;
    const auto s = surface_interp::build(o.object, 0, o.placements, at(2, true));
    ASSERT_TRUE(s);
    expect_sound(*s);
    EXPECT_TRUE(log.contains("frames 1 and 2", wxLOG_Warning));
    EXPECT_NEAR(s->volume, 2.0 * 1.0, 0.05);  // frame 2's small square ignored
}

// Inputs at the edge of sense give a finite surface or a logged refusal.
TEST(SurfaceInterp, DegenerateOutlinesGiveFiniteResults)
{
    frame_placements placements;
    placements.sx = placements.sy = 0.01;
    for (int i = 0; i < 3; ++i) {
        matrix16d m;
        m.forward(0.0, 0.0, 0.1 * i);
        placements.frames.push_back(placed(m));
    }
    const auto check = [&](const contour_object& object) {
        const auto s = surface_interp::build(object, 0, placements, at(medium));
        if (s) {
            expect_sound(*s);
            EXPECT_TRUE(std::isfinite(s->volume));
        }
    };
    contour_object tiny;  // smaller than a pixel
    for (int f = 0; f < 3; ++f)
        tiny.insert(f, rectangle(50.2, 50.2, 0.3, 0.3));
    check(tiny);
    contour_object bow_tie;  // crosses itself
    for (int f = 0; f < 3; ++f) {
        contour c;
        c.points = {{0, 0}, {40, 40}, {40, 0}, {0, 40}};
        bow_tie.insert(f, c);
    }
    check(bow_tie);
    contour_object mixed;  // an outline, then nothing measurable, then a line
    mixed.insert(0, rectangle(10, 10, 30, 30));
    mixed.insert(1, rectangle(10, 10, 0, 30));
    mixed.insert(2, rectangle(10, 10, 30, 30));
    check(mixed);

    // Perpendicular frames whose planes cross through the outlines.
    frame_placements crossed;
    crossed.sx = crossed.sy = 0.01;
    matrix16d flat, upright;
    upright.forward(0.0, 0.0, 0.0, 0.0, 90.0, 0.0);
    crossed.frames = {placed(flat), placed(upright)};
    contour_object cross_object;
    cross_object.insert(0, rectangle(-20, -20, 40, 40));
    cross_object.insert(1, rectangle(-20, -20, 40, 40));
    // Folded node lines make a surface that passes through itself, but it
    // is still closed and finite.
    cross_object.name = "Crossed";
    log_capture log;
    const auto s = surface_interp::build(cross_object, 0, crossed, at(medium));
    ASSERT_TRUE(s);
    EXPECT_TRUE(s->self_intersecting);
    EXPECT_EQ(log.count(wxLOG_Warning), 1u);
    EXPECT_TRUE(log.contains(" The interpolated surface for Crossed contains self-intersecting regions.", wxLOG_Warning));
    for (const surface_sequence_t& seq : s->get_seq())
        EXPECT_TRUE(closed_manifold(seq.mesh));
    EXPECT_TRUE(std::isfinite(s->volume));
}

// Cancels at the n-th progress update and keeps the messages shown.
class cancelling_interaction : public headless_interaction_t {
public:
    explicit cancelling_interaction(int at) : at_(at) {}
    bool progress_update(int, const wxString& message) override
    {
        messages.push_back(message);
        return int(messages.size()) < at_;
    }
    std::vector<wxString> messages;

private:
    int at_;
};

// Progress names the object and the planes done; cancelling gives no
// surface at all, not a part of one, whenever it comes.
TEST(SurfaceInterp, ProgressAndCancelling)
{
    const ellipsoid_shape e = demo_phantom().ellipsoids.at(0);
    outlined_t o = outline_ellipsoid(e, parallel_planes(e, 25));
    // A clock that never moves: only the object and each plane are shown.
    const auto frozen = [] { return std::chrono::steady_clock::time_point{}; };
    cancelling_interaction patient(1000);
    interaction_t* previous = set_interaction(&patient);
    {
        surface_progress_t progress(outlined_frames(o.object), frozen);
        EXPECT_TRUE(surface_interp::build(o.object, 0, o.placements, at(medium), nullptr, &progress));
    }
    ASSERT_EQ(patient.messages.size(), 23u);  // the object, then each pair of the 23 outlined planes
    EXPECT_TRUE(patient.messages.front().StartsWith("Currently calculating surface of Object 0\nOn contour 0 of 23"));
    EXPECT_TRUE(patient.messages.back().Contains("On contour 22 of 23 ("));

    // A clock that moves a twentieth of a second a look: the dialog is also
    // updated while frames are prepared and layers filled, between planes.
    auto now = std::chrono::steady_clock::time_point{};
    const auto moving = [&now] { return now += std::chrono::milliseconds(50); };
    cancelling_interaction watched(100000);
    set_interaction(&watched);
    {
        surface_progress_t progress(outlined_frames(o.object), moving);
        EXPECT_TRUE(surface_interp::build(o.object, 0, o.placements, at(medium), nullptr, &progress));
    }
    EXPECT_GT(watched.messages.size(), patient.messages.size() + 20);

    // Cancelled while preparing the frames, or part way through: nothing.
    for (int at_update : {2, 5, 40}) {
        cancelling_interaction impatient(at_update);
        set_interaction(&impatient);
        surface_progress_t progress(outlined_frames(o.object), moving);
        EXPECT_FALSE(surface_interp::build(o.object, 0, o.placements, at(medium), nullptr, &progress));
        EXPECT_TRUE(progress.cancelled());
        EXPECT_EQ(impatient.messages.size(), std::size_t(at_update));
    }
    set_interaction(previous);
}

// Crossing outlines are repaired before use (and logged); repaired outlines
// need no landmark, and a closed surface results.
TEST(SurfaceInterp, CrossingOutlinesAreRepaired)
{
    frame_placements placements;
    placements.sx = placements.sy = 0.01;
    for (int i = 0; i < 3; ++i) {
        matrix16d m;
        m.forward(0.0, 0.0, 0.1 * i);
        placements.frames.push_back(placed(m));
    }
    contour_object eight;  // a figure of eight crossing itself at (100, 100)
    for (int f = 0; f < 3; ++f) {
        contour c;
        for (int k = 0; k < 200; ++k) {
            const double t = 2.0 * std::numbers::pi * (k + 0.25) / 200;
            // Lobes of unequal size, so that the outline encloses an area.
            c.points.push_back(
                {100.0 + 60.0 * std::sin(t), 100.0 + 30.0 * std::sin(2.0 * t) * (1.0 + 0.5 * std::sin(t))});
        }
        eight.insert(f, c);
    }
    landmarks problems;
    log_capture log;
    const auto s = surface_interp::build(eight, 0, placements, at(medium), &problems);
    ASSERT_TRUE(s);
    expect_sound(*s);
    EXPECT_TRUE(log.contains("Contour on frame 2 changed to remove self-intersections"));
    EXPECT_TRUE(problems.list.empty());

    contour_object overlapping;  // two squares overlapping on every frame
    for (int f = 0; f < 3; ++f) {
        overlapping.insert(f, rectangle(10, 10, 40, 40));
        overlapping.insert(f, rectangle(30, 30, 40, 40));
    }
    landmarks none;
    log.clear();
    const auto joined = surface_interp::build(overlapping, 0, placements, at(medium), &none);
    ASSERT_TRUE(joined);
    expect_sound(*joined);
    EXPECT_TRUE(log.contains("Contours on frame 0 changed to remove overlap"));
    EXPECT_TRUE(none.list.empty());
}

// Non-finite numbers from a damaged file, in an outline or in a frame's
// position, give a finite surface or none, never a NaN volume.
TEST(SurfaceInterp, NonFiniteInputs)
{
    const double bad[] = {std::nan(""), HUGE_VAL, -HUGE_VAL, 1e300};
    for (double b : bad) {
        outlined_t o;
        o.placements.sx = o.placements.sy = 0.01;
        for (int i = 0; i < 3; ++i) {
            matrix16d m;
            m.forward(0.0, 0.0, 0.1 * i);
            o.placements.frames.push_back(placed(m));
            o.object.insert(i, rectangle(10, 10, 40, 40));
        }
        o.object.sets[1].contours[0].points[2].x = b;
        const auto damaged_outline = surface_interp::build(o.object, 0, o.placements, at(medium));
        if (damaged_outline) {
            expect_sound(*damaged_outline);
        }
        o.object.sets[1].contours[0].points[2].x = 50;
        o.placements.frames[1].image_to_world[12] = b;
        const auto damaged_frame = surface_interp::build(o.object, 0, o.placements, at(medium));
        if (damaged_frame) {
            expect_sound(*damaged_frame);
        }
        o.placements.frames[1].image_to_world[12] = 0.0;
        o.placements.frames[1].image_to_world[0] = b;
        const auto damaged_axis = surface_interp::build(o.object, 0, o.placements, at(medium));
        if (damaged_axis) {
            expect_sound(*damaged_axis);
        }
    }
}

// A grid too large to hold is refused with the message, not allocated, and
// the outlines are left as they were.
TEST(SurfaceInterp, OversizedGridIsRefused)
{
    outlined_t o;
    o.placements.sx = o.placements.sy = 0.01;
    for (int i = 0; i < 2; ++i) {
        matrix16d m;
        m.forward(0.0, 0.0, 0.1 * i);
        o.placements.frames.push_back(placed(m));
    }
    o.object.insert(0, rectangle(0, 0, 100, 100));
    o.object.insert(1, rectangle(9000, 9000, 100, 100));
    const contour_object before = o.object;
    log_capture log;
    EXPECT_FALSE(surface_interp::build(o.object, 0, o.placements, at(1)));
    EXPECT_TRUE(log.contains("Unable to allocate surface interpolation grid", wxLOG_Error));
    ASSERT_EQ(o.object.sets.size(), before.sets.size());
    EXPECT_EQ(o.object.sets[1].contours[0].points, before.sets[1].contours[0].points);
}

}  // namespace
