// A ring (torus) outlined across its axis, where every outline has a hole,
// and along it, where one outline splits into two, must come out as one
// closed surface with one handle, enclosing the ring's volume.
#include <cmath>
#include <numbers>
#include <numeric>

#include <gtest/gtest.h>

#include "ellipsoid_outlines.h"
#include "common/vertex_math.h"
#include "segmentation/overlap.h"
#include "surfaces/surface_interp.h"

namespace {

using surface_test::closed_manifold;

constexpr double pi = std::numbers::pi;
constexpr double major = 0.8, minor = 0.3;  // cm
constexpr double pixel = 0.01;
constexpr double offset = 1.5;  // frames start 1.5 cm before the ring's centre on both axes

double ring_volume() { return 2.0 * pi * pi * major * minor * minor; }

contour circle(double cx, double cy, double radius, int n = 120)
{
    contour c;
    for (int i = 0; i < n; ++i) {
        const double t = 2.0 * pi * i / n;
        c.points.push_back({(cx + radius * std::cos(t) + offset) / pixel, (cy + radius * std::sin(t) + offset) / pixel});
    }
    return c;
}

// A frame whose pixel (u, v) lies at origin + u pixel ex + v pixel ey (ex, ey unit).
frame_placement frame_at(const vertex3d& origin, const vertex3d& ex, const vertex3d& ey)
{
    const vertex3d n = cross(ex, ey);
    matrix16d m;
    const vertex3d axes[3] = {ex, ey, n};
    for (int c = 0; c < 3; ++c) {
        m[4 * c] = axes[c].x;
        m[4 * c + 1] = axes[c].y;
        m[4 * c + 2] = axes[c].z;
    }
    m[12] = origin.x;
    m[13] = origin.y;
    m[14] = origin.z;
    return placed(m);
}

// Points, triangles and pieces of all sequences' meshes: the Euler
// characteristic of a closed mesh is V - F / 2, and 2 - 2g for one piece of genus g.
struct topology_t {
    long euler = 0;
    std::size_t pieces = 0;
};

topology_t topology(const surface_interp& s)
{
    topology_t t;
    for (const surface_sequence_t& seq : s.get_seq()) {
        const surface_mesh_t& m = seq.mesh;
        t.euler += long(m.points.size()) - long(m.triangles.size()) / 2;
        std::vector<std::size_t> parent(m.points.size());
        std::iota(parent.begin(), parent.end(), std::size_t{0});
        const auto root = [&](std::size_t i) {
            while (parent[i] != i)
                i = parent[i] = parent[parent[i]];
            return i;
        };
        std::vector<bool> used(m.points.size(), false);
        for (const surface_triangle_t& tri : m.triangles)
            for (int k = 0; k < 3; ++k) {
                used[tri.points[k]] = true;
                parent[root(tri.points[k])] = root(tri.points[(k + 1) % 3]);
            }
        for (std::size_t i = 0; i < m.points.size(); ++i)
            t.pieces += used[i] && root(i) == i;
        // Points no triangle uses would make the count meaningless.
        EXPECT_TRUE(std::all_of(used.begin(), used.end(), [](bool u) { return u; }));
    }
    return t;
}

void expect_ring(const contour_object& object, const frame_placements& placements)
{
    surface_settings_t settings;
    settings.resolution = 4;
    const auto s = surface_interp::build(object, 0, placements, settings);
    ASSERT_TRUE(s);
    for (const surface_sequence_t& seq : s->get_seq())
        EXPECT_TRUE(closed_manifold(seq.mesh));
    const topology_t t = topology(*s);
    EXPECT_EQ(t.pieces, 1u);
    EXPECT_EQ(t.euler, 0) << "genus " << (2 - t.euler) / 2.0;
    EXPECT_NEAR(s->volume, ring_volume(), 0.03 * ring_volume());
}

TEST(SurfaceTopology, RingOutlinedAcrossItsAxisHasOneHandle)
{
    frame_placements placements;
    placements.sx = placements.sy = pixel;
    contour_object ring;
    const int planes = 15;
    for (int k = 0; k < planes; ++k) {
        const double z = -minor + 2.0 * minor * (k + 0.5) / planes;
        placements.frames.push_back(frame_at({-offset, -offset, z}, {1, 0, 0}, {0, 1, 0}));
        const double a = std::sqrt(minor * minor - z * z);
        ring.insert(k, circle(0.0, 0.0, major + a));
        ring.insert(k, circle(0.0, 0.0, major - a));  // the hole
    }
    expect_ring(ring, placements);
}

TEST(SurfaceTopology, RingOutlinedAlongItsAxisSplitsAndJoins)
{
    frame_placements placements;
    placements.sx = placements.sy = pixel;
    contour_object ring;
    const int planes = 25, discs_n = 90;
    for (int k = 0; k < planes; ++k) {
        const double c = -(major + minor) + 2.0 * (major + minor) * (k + 0.5) / planes;
        // The plane x = c, its pixels along y and z.
        placements.frames.push_back(frame_at({c, -offset, -offset}, {0, 1, 0}, {0, 0, 1}));
        // The section is the union of the discs where the plane cuts the balls
        // strung along the ring's centre line; discs inside others are dropped
        // (of two equal ones, the later).
        struct disc_t {
            double y, radius;
        };
        std::vector<disc_t> discs;
        for (int i = 0; i < discs_n; ++i) {
            const double phi = 2.0 * pi * i / discs_n;
            const double d = c - major * std::cos(phi);
            if (std::fabs(d) < minor && std::sqrt(minor * minor - d * d) > 3 * pixel)
                discs.push_back({major * std::sin(phi), std::sqrt(minor * minor - d * d)});
        }
        contour_set set;
        set.frame = k;
        for (const disc_t& a : discs) {
            const bool inside_another = std::any_of(discs.begin(), discs.end(), [&](const disc_t& b) {
                const double reach = std::fabs(a.y - b.y) + a.radius;
                return reach < b.radius || (reach == b.radius && &b < &a);
            });
            if (!inside_another)
                set.contours.push_back(circle(a.y, 0.0, a.radius));
        }
        if (set.contours.empty())
            continue;
        make_non_overlapping(set, 0, set.contours.size() - 1);
        for (contour& c2 : set.contours)
            ring.insert(k, std::move(c2));
    }
    // Planes through the middle cut the ring twice, those near its rim once.
    std::size_t split = 0, whole = 0;
    for (const contour_set& s : ring.sets)
        (s.contours.size() == 2 ? split : whole) += 1;
    EXPECT_GT(split, 8u);
    EXPECT_GT(whole, 6u);
    expect_ring(ring, placements);
}

// Discs on neighbouring planes that lie farther apart than their radii are
// not taken for one shape moving: each is closed off on its own. With
// "Prioritise objects" they are joined into one leaning cylinder; holes
// likewise with "Prioritise holes".
TEST(SurfaceTopology, PrioritisingJoinsRegionsThatMovedFar)
{
    frame_placements placements;
    placements.sx = placements.sy = pixel;
    const double radius = 0.2, shift = 0.5, gap = 0.1;
    contour_object discs, holes;
    for (int k = 0; k < 2; ++k) {
        placements.frames.push_back(frame_at({-offset, -offset, gap * k}, {1, 0, 0}, {0, 1, 0}));
        discs.insert(k, circle(shift * k, 0.0, radius));
        holes.insert(k, circle(0.25, 0.0, 0.8));  // a plate with a hole that moves
        holes.insert(k, circle(shift * k, 0.0, radius));
    }
    const auto built = [&](const contour_object& o, int connect) {
        surface_settings_t settings;
        settings.resolution = 4;
        settings.connect = connect;
        auto s = surface_interp::build(o, 0, placements, settings);
        EXPECT_TRUE(s);
        return s;
    };
    const auto apart = built(discs, 0), joined = built(discs, 1), holes_first = built(discs, 2);
    ASSERT_TRUE(apart && joined && holes_first);
    EXPECT_EQ(topology(*apart).pieces, 2u);
    EXPECT_EQ(topology(*joined).pieces, 1u);
    EXPECT_EQ(topology(*holes_first).pieces, 2u);  // prioritising holes leaves discs apart
    EXPECT_GT(joined->volume, 1.3 * apart->volume);

    // The plate's hole: a tunnel through it only when holes are prioritised.
    const auto closed_hole = built(holes, 0), tunnel = built(holes, 2);
    ASSERT_TRUE(closed_hole && tunnel);
    EXPECT_EQ(topology(*tunnel).euler, 0) << "one handle: the tunnel";
    EXPECT_LT(tunnel->volume, closed_hole->volume);
}

}  // namespace
