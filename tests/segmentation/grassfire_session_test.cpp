// A click through the session: the settings and the threshold map come from
// the resource table and the program's colour map, the frames from the
// frame buffer, and outlines come back on the right recording frames.
#include <climits>
#include <memory>

#include <gtest/gtest.h>

#include "common/dynabuf.h"
#include "display/globcmap.h"
#include "grassfire_support.h"
#include "resources/resource_table.h"
#include "segmentation/grassfire_session.h"
#include "support/session_fixture.h"

namespace {

class GrassfireSession : public SessionTest {
protected:
    std::unique_ptr<globcmap_t> cmap;

    void SetUp() override
    {
        SessionTest::SetUp();
        cmap = std::make_unique<globcmap_t>();
        colourmap = cmap.get();
        res->RES_CMAP_GREY_LO->write(128);
        res->RES_CMAP_GREY_HI->write(255);
        res->RES_CMAP_GREY_ANTI->write(20);
        res->RES_CMAP_BINARY->write(true);
    }
    void TearDown() override
    {
        colourmap = nullptr;
        cmap.reset();
        SessionTest::TearDown();
    }
    // Frame i holds a square of side 4 + i at (5, 5), so each frame's
    // outline tells which frame it came from. Greys 225 and 30 put the
    // threshold crossing halfway between pixels.
    void add_frames(long n)
    {
        for (long i = 0; i < n; ++i) {
            cip_t im = cip_t::make_8bit(40, 40);
            std::fill_n(im.pixels(), im.pixel_count(), std::uint8_t{30});
            for (long y = 5; y < 9 + i; ++y)
                for (long x = 5; x < 9 + i; ++x)
                    im.pixels()[y * 40 + x] = 225;
            counted_array_ptr<float> pose(6);
            bufp->append(im, pose, static_cast<std::uint64_t>(i));
        }
    }
    static double side_of(const contour_set& s) { return std::sqrt(grass_test::enclosed_area(s) + 0.5); }
};

// Every setting the segmentation uses is read from its resource, and the
// classes follow the colour map that is shown.
TEST_F(GrassfireSession, SettingsAndClassesComeFromTheSession)
{
    res->RES_SEGMENT_TYPE->write(1);
    res->RES_SEGMENT_CONNECTED->write(true);
    res->RES_SEGMENT_RIDGES->write(true);
    res->RES_BUF_DOPPLER->write(false);
    grassfire_setup setup = grassfire_setup_from_session();
    EXPECT_EQ(setup.settings.hole_type, 1);
    EXPECT_TRUE(setup.settings.connected);
    EXPECT_TRUE(setup.settings.ridges);
    EXPECT_EQ(setup.settings.window.lo, 128);
    EXPECT_EQ(setup.settings.window.hi, 255);
    EXPECT_FALSE(setup.settings.window.doppler);
    EXPECT_TRUE(setup.classes.thresholded(128));
    EXPECT_FALSE(setup.classes.thresholded(127));
    EXPECT_TRUE(setup.classes.anti_thresholded(19));
    EXPECT_FALSE(setup.classes.anti_thresholded(20));

    // Highlighting off: the grey map selects nothing.
    res->RES_CMAP_BINARY->write(false);
    setup = grassfire_setup_from_session();
    for (int code = 0; code < 256; ++code)
        EXPECT_EQ(setup.classes.bits[static_cast<std::size_t>(code)], 0) << code;
    res->RES_BUF_DOPPLER->write(true);
    EXPECT_TRUE(grassfire_setup_from_session().settings.window.doppler);
}

// Frame gap below 1: the clicked frame alone, returned on its number.
TEST_F(GrassfireSession, ClickSegmentsTheClickedFrame)
{
    add_frames(4);
    res->RES_SEGMENT_FRAME->write(0);
    res->RES_SEGMENT_CONNECTED->write(true);
    const auto sets = segment_click_from_session(2, 6, 6, 10);
    ASSERT_TRUE(sets);
    ASSERT_EQ(sets->size(), 1u);
    EXPECT_EQ((*sets)[0].frame, 2);
    EXPECT_NEAR(side_of((*sets)[0]), 6.0, 1e-9);
    EXPECT_TRUE(segment_click_from_session(2, 30, 30, 10)->empty()) << "unselected pixel";
    EXPECT_TRUE(segment_click_from_session(4, 6, 6, 10)->empty()) << "no such frame";
    EXPECT_TRUE(segment_click_from_session(-1, 6, 6, 10)->empty());
}

// Frame gap G: the frames congruent to the clicked one modulo G, each
// outline on its own recording frame.
TEST_F(GrassfireSession, FrameGapSegmentsEveryGthFrame)
{
    add_frames(10);
    res->RES_SEGMENT_FRAME->write(3);
    res->RES_SEGMENT_CONNECTED->write(true);
    const auto sets = segment_click_from_session(7, 6, 6, 10);
    ASSERT_TRUE(sets);
    std::vector<long> frames;
    for (const contour_set& s : *sets) {
        frames.push_back(s.frame);
        EXPECT_NEAR(side_of(s), 4.0 + s.frame, 1e-9) << s.frame;
    }
    EXPECT_EQ(frames, (std::vector<long>{1, 4, 7}));

    // A gap past the recording leaves the clicked frame alone in the stack.
    res->RES_SEGMENT_FRAME->write(LONG_MAX);
    const auto alone = segment_click_from_session(7, 6, 6, 10);
    ASSERT_TRUE(alone);
    ASSERT_EQ(alone->size(), 1u);
    EXPECT_EQ((*alone)[0].frame, 7);
}

// Without a colour map nothing is selected, so nothing is segmented.
TEST_F(GrassfireSession, NoColourMapSelectsNothing)
{
    add_frames(2);
    colourmap = nullptr;
    EXPECT_TRUE(segment_click_from_session(0, 6, 6, 10)->empty());
}

}  // namespace
