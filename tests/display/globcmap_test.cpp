// The program's colour map on the resource table: which map each setting
// installs, when a rebuild is announced, zooming and rendering resolutions.
#include <memory>
#include <vector>

#include <gtest/gtest.h>
#include <wx/filefn.h>
#include <wx/filename.h>

#include "display/globcmap.h"
#include "resources/core_session.h"
#include "support/session_fixture.h"

namespace {

struct redraw_counter_t {
    int calls = 0;
    void run() { ++calls; }
};

class GlobCmap : public SessionTest {
protected:
    std::unique_ptr<globcmap_t> cmap;
    redraw_counter_t views;
    pmf_functor<redraw_counter_t> redraw{&views, &redraw_counter_t::run};

    void SetUp() override
    {
        SessionTest::SetUp();
        cmap = std::make_unique<globcmap_t>();
        res->RES_CMAP_CHANGED->read(&redraw);
    }
    void TearDown() override
    {
        cmap.reset();
        SessionTest::TearDown();
    }
    bool magenta(int i) const
    {
        return cmap->index_to_red(i) == 1.0f && cmap->index_to_green(i) == 0.0f && cmap->index_to_blue(i) == 1.0f;
    }
};

// Start-up shows plain grey; loading Doppler data swaps the map and redraws
// every view once, in the same pass.
TEST_F(GlobCmap, DopplerFlagInstallsDopplerMapAndRedraws)
{
    EXPECT_FLOAT_EQ(cmap->index_to_red(255), 255.0f / 256.0f);
    const long before = res->RES_CMAP_CHANGED->value();
    res->RES_BUF_DOPPLER->write(true);
    EXPECT_TRUE(cmap->doppler());
    EXPECT_FLOAT_EQ(cmap->index_to_blue(128), 34292 / 65535.0f);
    EXPECT_EQ(res->RES_CMAP_CHANGED->value(), before + 1);
    EXPECT_EQ(views.calls, 1);
}

// Thresholds of a map that is not showing are remembered without a redraw,
// and used once highlighting is switched on.
TEST_F(GlobCmap, HiddenThresholdsAreKeptForLater)
{
    res->RES_CMAP_GREY_LO->write(100);
    res->RES_CMAP_GREY_HI->write(120);
    EXPECT_EQ(views.calls, 0);
    EXPECT_FALSE(magenta(110));
    res->RES_CMAP_BINARY->write(true);
    EXPECT_EQ(views.calls, 1);
    EXPECT_TRUE(magenta(110));
    EXPECT_FALSE(magenta(121));
    res->RES_CMAP_GREY_HI->write(130);  // now showing: redrawn at once
    EXPECT_EQ(views.calls, 2);
    EXPECT_TRUE(magenta(125));
}

// Flow thresholds count from their band's first code.
TEST_F(GlobCmap, FlowThresholdsAreOffsetIntoTheirBands)
{
    res->RES_BUF_DOPPLER->write_no_changeprocs(true);
    res->RES_CMAP_BINARY->write_no_changeprocs(true);
    res->RES_CMAP_RED_LO->write_no_changeprocs(10);
    res->RES_CMAP_RED_HI->write_no_changeprocs(20);
    res->RES_CMAP_BLUE_LO->write_no_changeprocs(5);
    res->RES_CMAP_BLUE_HI->write_no_changeprocs(6);
    base_res_t::make_pending_writes_happen();
    EXPECT_EQ(views.calls, 1);  // one rebuild for the whole batch
    EXPECT_TRUE(magenta(202));
    EXPECT_TRUE(magenta(212));
    EXPECT_FALSE(magenta(213));
    EXPECT_TRUE(magenta(133));
    EXPECT_FALSE(magenta(135));
}

// The strain display installs the chosen strain map and follows its settings;
// leaving it brings back the map of the flags.
TEST_F(GlobCmap, StrainDisplayFollowsItsSettings)
{
    res->RES_RF_STRAIN_CMAP->write(4);
    res->RES_RF_DISPLAY->write(3);
    EXPECT_TRUE(cmap->strain());
    EXPECT_FLOAT_EQ(cmap->index_to_red(80), 1.0f);  // red fade, top code white
    EXPECT_FLOAT_EQ(cmap->index_to_green(220), 19660 / 65535.0f);
    const int calls = views.calls;
    res->RES_RF_STRAIN_CMAP_INVERT->write(true);
    EXPECT_FLOAT_EQ(cmap->index_to_red(1), 1.0f);
    res->RES_RF_STRAIN_CMAP->write(99);  // anything unknown is grey
    EXPECT_FLOAT_EQ(cmap->index_to_green(1), 1.0f);
    EXPECT_EQ(views.calls, calls + 2);
    res->RES_RF_DISPLAY->write(1);
    EXPECT_FALSE(cmap->strain());
    EXPECT_FLOAT_EQ(cmap->index_to_red(255), 255.0f / 256.0f);
}

// Zooming takes the background and pixel display settings from the resources.
TEST_F(GlobCmap, ZoomUsesDisplaySettings)
{
    res->RES_BACKGROUND->write("#5a0b0c");
    res->RES_DISPLAY_PIXELS->write(true);
    const std::uint8_t src[4] = {10, 200, 30, 40};
    std::vector<std::uint8_t> dst(8 * 4 * 3);
    ASSERT_TRUE(cmap->interp_to_rgb(src, 2, 2, dst.data(), 8, 4, -1.0, 0.0, 3.0, 3.0, false, true));
    EXPECT_EQ(dst[0], 90);  // left of the image: background
    EXPECT_EQ(dst[2], 12);
    for (int i = 3; i < 6; ++i)
        EXPECT_EQ(dst[static_cast<std::size_t>(i) * 3], 10);  // blocks of whole source pixels
    for (int i = 6; i < 8; ++i)
        EXPECT_EQ(dst[static_cast<std::size_t>(i) * 3], 200);
}

// Catches a hex reader that misreads either case, accepts a non-digit or a
// non-ASCII character, or leaves a half-parsed colour behind.
TEST(BackgroundColour, HexTextOrGrey)
{
    const struct {
        const char* text;
        bool ok;
        std::array<std::uint8_t, 3> rgb;
    } cases[] = {{" #A0b0Cf ", true, {160, 176, 207}}, {"#12345g", false, {50, 50, 50}},
                 {"#1234567", false, {50, 50, 50}},
                 {"#\xef\xbc\x91\xef\xbc\x92\xef\xbc\x93" "456", false, {50, 50, 50}}};  // full-width digits
    for (const auto& c : cases) {
        std::array<std::uint8_t, 3> rgb{1, 2, 3};
        EXPECT_EQ(parse_background_colour(wxString::FromUTF8(c.text), rgb), c.ok) << c.text;
        EXPECT_EQ(rgb, c.rgb) << c.text;
    }
}

// Dynamic resolutions come from the reslice windows; an override applies to all views.
TEST_F(GlobCmap, RenderingResolutions)
{
    int rx = 0, ry = 0, mx = 0, my = 0;
    cmap->get_reslice_resolutions(rx, ry);
    EXPECT_EQ(rx + ry, 2);  // full resolution at start
    cmap->set_reslice_load_source([] { return std::vector<reslice_load_t>{{true, 1000, 1000, 0.02}}; });
    cmap->set_dynamic_resolutions();  // 20 units
    cmap->get_manifold_resolutions(mx, my);
    EXPECT_EQ(mx, 2);
    EXPECT_EQ(my, 2);
    EXPECT_FALSE(cmap->override_dynamic_resolutions(1, 1));
    EXPECT_TRUE(cmap->override_dynamic_resolutions(3, 0));  // 0 would divide by zero: 1
    cmap->get_reslice_resolutions(rx, ry);
    EXPECT_EQ(rx, 3);
    EXPECT_EQ(ry, 1);
}

}  // namespace
