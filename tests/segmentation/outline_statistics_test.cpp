// The Draw page's texts: formats, placeholders for what cannot be measured,
// and the mean data value inside outlines.
#include <cmath>

#include <gtest/gtest.h>

#include "segmentation/outline_statistics.h"
#include "support/outline_shapes.h"

namespace {

frame_placements parallel_frames(int n, double spacing)
{
    frame_placements p;
    p.sx = 0.01;
    p.sy = 0.02;
    for (int i = 0; i < n; ++i) {
        frame_placement f;
        f.image_to_world.forward(1.0, 2.0, spacing * i);
        f.usable = true;
        p.frames.push_back(f);
    }
    return p;
}

bool shows_number_trouble(const wxString& s)
{
    const wxString lower = s.Lower();
    return lower.Contains("nan") || lower.Contains("inf");
}

TEST(OutlineStatistics, TextsOfAMeasuredObject)
{
    contour_object o;
    o.insert(0, rectangle(10, 20, 40, 10));
    o.insert(1, rectangle(10, 20, 40, 10));
    const outline_statistics s = measure_outlines(o, 0, parallel_frames(2, 0.5), {}, {});
    // 400 square pixels of 0.1 x 0.2 mm.
    EXPECT_EQ(s.area, "Area: 8.000 sq mm");
    // 2 x 40 px across at 0.1 mm and 2 x 10 px down at 0.2 mm.
    EXPECT_EQ(s.perimeter, "Perimeter: 12.000 mm");
    EXPECT_EQ(s.centre, "Centre: (13.0, 25.0, 0.0) mm");
    EXPECT_EQ(s.volume, "Volume: 0.040 ml");
    EXPECT_DOUBLE_EQ(o.volume, 0.04);
    EXPECT_TRUE(s.data.empty());
    // A surface gives the volume and the centre.
    const outline_statistics with_surface =
        measure_outlines(o, 0, parallel_frames(2, 0.5), {}, {}, surface_summary_t{1.25, {0.5, -0.25, 2.0}});
    EXPECT_EQ(with_surface.volume, "Volume: 1.250 ml");
    EXPECT_EQ(with_surface.centre, "Centre: (5.0, -2.5, 20.0) mm");
    EXPECT_EQ(with_surface.area, "Area: 8.000 sq mm");
}

TEST(OutlineStatistics, PlaceholdersNeverZerosOrNaN)
{
    // Nothing on this frame, one frame only, a click's one-point outline,
    // a frame without a pose, scales not above zero, coordinates too large.
    contour_object o;
    contour dot;
    dot.points = {{4, 4}};
    o.sets.resize(1);
    o.sets[0].frame = 2;
    o.sets[0].contours = {dot};
    frame_placements frames = parallel_frames(3, 0.5);
    outline_statistics s = measure_outlines(o, 1, frames, {}, {});
    EXPECT_EQ(s.area, "Area: ---.--- sq mm");
    EXPECT_EQ(s.perimeter, "Perimeter: ---.--- mm");
    EXPECT_EQ(s.centre, "Centre: (---.-, ---.-, ---.-) mm");
    EXPECT_EQ(s.volume, "Volume: ---.--- ml");
    s = measure_outlines(o, 2, frames, {}, {});
    EXPECT_EQ(s.area, "Area: ---.--- sq mm");
    EXPECT_EQ(s.centre, "Centre: (---.-, ---.-, ---.-) mm");

    contour_object unposed;
    unposed.insert(0, rectangle(0, 0, 10, 10));
    unposed.insert(1, rectangle(0, 0, 10, 10));
    frames.frames[0].usable = false;
    s = measure_outlines(unposed, 0, frames, {}, {});
    EXPECT_EQ(s.area, "Area: 2.000 sq mm");  // the area needs no pose
    EXPECT_EQ(s.centre, "Centre: (---.-, ---.-, ---.-) mm");
    EXPECT_EQ(s.volume, "Volume: ---.--- ml");
    frames.frames[0].usable = true;
    frames.sx = 0.0;
    s = measure_outlines(unposed, 0, frames, {}, {});
    EXPECT_EQ(s.area, "Area: ---.--- sq mm");
    EXPECT_EQ(s.perimeter, "Perimeter: ---.--- mm");
    EXPECT_EQ(s.volume, "Volume: ---.--- ml");

    contour_object huge;
    huge.insert(0, rectangle(-1e300, -1e300, 1e300, 1e300));
    huge.insert(1, rectangle(0, 0, 1e300, 1e300));
    s = measure_outlines(huge, 0, parallel_frames(2, 1.0), {}, {});
    for (const wxString& t : {s.area, s.perimeter, s.centre, s.volume, s.data})
        EXPECT_FALSE(shows_number_trouble(t)) << t;
}

TEST(OutlineStatistics, MeanDataValueInsideTheOutlines)
{
    cip_t frame = cip_t::make_8bit(20, 10);
    ASSERT_FALSE(frame.empty());
    for (long y = 0; y < 10; ++y)
        for (long x = 0; x < 20; ++x)
            frame.pixels()[y * 20 + x] = static_cast<std::uint8_t>(x);
    contour_set inside;
    inside.contours = {rectangle(1.5, 1.5, 4, 4)};  // pixels 2..5 by 2..5
    double mean = 0.0;
    ASSERT_TRUE(value_inside_region(inside, frame, false, &mean));
    EXPECT_DOUBLE_EQ(mean, 3.5);
    // Partly off the frame: only the pixels on it count.
    contour_set edge;
    edge.contours = {rectangle(16.5, -3.5, 10, 6)};  // columns 17..19 on the frame, rows 0..2
    ASSERT_TRUE(value_inside_region(edge, frame, false, &mean));
    EXPECT_DOUBLE_EQ(mean, 18.0);
    contour_set outside;
    outside.contours = {rectangle(100, 100, 4, 4)};
    EXPECT_FALSE(value_inside_region(outside, frame, false, &mean));
    EXPECT_FALSE(value_inside_region(inside, cip_t{}, false, &mean));
    EXPECT_FALSE(value_inside_region(inside, frame, true, &mean));  // no samples held

    cip_t ct = cip_t::make_16bit(20, 10);
    for (std::size_t i = 0; i < 200; ++i)
        ct.samples()[i] = 1100;
    contour_object o;
    o.insert(0, rectangle(1.5, 1.5, 4, 4));
    data_meaning meaning;
    meaning.kind = data_meaning::ct;
    meaning.hu_offset = -1024.0;
    EXPECT_EQ(measure_outlines(o, 0, parallel_frames(1, 1.0), ct, meaning).data,
              "Average data value is 76 HU within this object");
    meaning.bone_density = true;
    meaning.density_scale = 0.5;
    meaning.density_offset = 10.0;
    EXPECT_EQ(measure_outlines(o, 0, parallel_frames(1, 1.0), ct, meaning).data,
              "Average data value is 76 HU, 48 mg/cm^3 within this object");
    EXPECT_EQ(measure_outlines(o, 0, parallel_frames(1, 1.0), frame, {}).data,
              "Average data value is 3.5000 within this object");
    meaning.kind = data_meaning::strain;
    EXPECT_EQ(measure_outlines(o, 0, parallel_frames(1, 1.0), frame, meaning).data,
              "Strain unknown within this object");
}

}  // namespace
