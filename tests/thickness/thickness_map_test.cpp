// Thickness over a surface and its result files: the same results whatever
// the number of threads, a cancel that keeps the results held, files that
// round-trip and are refused when missing, short or long, non-finite values
// read as "no result", and a save that cannot finish changing nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>

#include <wx/dir.h>
#include <wx/filename.h>

#include "support/log_capture.h"
#include "support/session_fixture.h"
#include "thickness/thickness_map.h"
#include "cortex_volume.h"

namespace {

// A cortex along x as in the point tests, 2.5 mm thick under a 2 mm blur.
slice_volume_t slab()
{
    return cortex_volume(100, 60, 30, 0.05, [](long) {
        cortex_t m;
        m.b = 1600;
        m.c = 200;
        m.outer = 40;
        m.inner = 45;
        m.sigma = 0.2 / fwhm_per_sigma / 0.05;
        return m;
    });
}

// Points on the bone's face (x = 2 cm), a few without a usable normal or place.
surface_mesh_t face()
{
    surface_mesh_t mesh;
    for (int i = 0; i < 40; ++i) {
        surface_point_t p;
        p.position = {2.0 + 0.01 * (i % 3), 0.5 + 0.05 * i, 0.4 + 0.05 * (i % 7)};
        p.normal = i == 5 ? vertex3d{0, 0, 0} : vertex3d{-1, 0.02 * (i % 4), 0};
        if (i == 9)
            p.position = {40, 40, 40};
        mesh.points.push_back(p);
    }
    return mesh;
}

class ThicknessMap : public SessionTest {};

TEST_F(ThicknessMap, ResultsDoNotDependOnThreadsAndCancelKeepsTheOld)
{
    const slice_volume_t v = slab();
    const surface_mesh_t mesh = face();
    thickness_config_t c;
    c.gauss_mm = 2.0;
    c.b = 1600;
    thickness_results_t one, two, seven;
    ASSERT_TRUE(map_thickness(v, mesh, c, 1, {}, &one));
    ASSERT_TRUE(map_thickness(v, mesh, c, 2, {}, &two));
    ASSERT_TRUE(map_thickness(v, mesh, c, 7, {}, &seven));
    for (int q = 0; q < thickness_results_t::count; ++q) {
        EXPECT_EQ(std::memcmp(one.values[q].data(), two.values[q].data(), 8 * one.points()), 0) << q;
        EXPECT_EQ(std::memcmp(one.values[q].data(), seven.values[q].data(), 8 * one.points()), 0) << q;
    }
    EXPECT_EQ(one.values[thickness_results_t::thick][5], thickness_unknown);  // no normal
    EXPECT_EQ(one.values[thickness_results_t::thick][9], thickness_unknown);  // outside the volume
    int measured = 0;
    for (double t : one.values[thickness_results_t::thick])
        if (t != thickness_unknown) {
            EXPECT_NEAR(t, 2.5, 0.1);
            ++measured;
        }
    EXPECT_EQ(measured, 38);

    // Cancelled after a few points: false, and the results held stay.
    int calls = 0;
    thickness_results_t held = one;
    EXPECT_FALSE(map_thickness(
        v, mesh, c, 2, [&](std::size_t, std::size_t) { return ++calls < 3; }, &held));
    EXPECT_EQ(held.values, one.values);
}

TEST_F(ThicknessMap, FilesRoundTripAndBadOnesAreRefused)
{
    thickness_results_t r;
    r.reset(5);
    for (int q = 0; q < thickness_results_t::count; ++q)
        for (std::size_t i = 0; i < 5; ++i)
            r.values[q][i] = i == 2 ? thickness_unknown : 0.25 * q - 1.5 * double(i);
    const wxString base = path("femur");
    ASSERT_TRUE(save_thickness(base, r));
    thickness_results_t back;
    ASSERT_TRUE(load_thickness(base, 5, &back));
    EXPECT_EQ(back.values, r.values);
    // Little-endian doubles, one a point, no header.
    std::ifstream in((base + "_blur_dat").ToStdString(), std::ios::binary | std::ios::ate);
    EXPECT_EQ(in.tellg(), 40);

    log_capture log;
    thickness_results_t kept = back;
    EXPECT_FALSE(load_thickness(base, 6, &kept));
    EXPECT_TRUE(log.contains("contain 5 values, whereas surface contains 6 values"));
    EXPECT_EQ(kept.values, back.values);
    wxRemoveFile(base + "_endo_err");
    EXPECT_FALSE(load_thickness(base, 5, &kept));
    EXPECT_TRUE(log.contains("Could not find binary thickness or error files"));

    // A non-finite value reads as no result.
    ASSERT_TRUE(save_thickness(base, r));
    {
        std::fstream f((base + "_density_dat").ToStdString(), std::ios::binary | std::ios::in | std::ios::out);
        const double nan = std::nan("");
        f.seekp(8);
        f.write(reinterpret_cast<const char*>(&nan), 8);
    }
    ASSERT_TRUE(load_thickness(base, 5, &back));
    EXPECT_EQ(back.values[thickness_results_t::density][1], thickness_unknown);

    // The ninth file cannot be written: nothing changes, not even the first eight.
    thickness_results_t other = r;
    other.values[thickness_results_t::thick][0] = 99.0;
    wxRemoveFile(base + thickness_file_suffixes[8]);
    wxFileName::Mkdir(base + thickness_file_suffixes[8]);
    EXPECT_FALSE(save_thickness(base, other));
    ASSERT_TRUE(wxFileName::DirExists(base + thickness_file_suffixes[8]));
    std::ifstream first((base + "_thick_dat").ToStdString(), std::ios::binary);
    double v = 0;
    first.read(reinterpret_cast<char*>(&v), 8);
    EXPECT_EQ(v, r.values[thickness_results_t::thick][0]);
    // No temporary files are left behind.
    wxArrayString left;
    wxDir::GetAllFiles(dir, &left, "*.tmp-*");
    EXPECT_TRUE(left.IsEmpty());
}

}  // namespace
