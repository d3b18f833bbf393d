// The steps under the segmentation: where an outline crosses between two
// pixels, the ridge responses of ridge mode, and the pruning of spurs that
// ridge following leaves in a 3D region.
#include <gtest/gtest.h>

#include "grassfire_support.h"
#include "segmentation/grassfire_state.h"

namespace {

using namespace grass_test;

// The vertex lies where grey, interpolated linearly from the burnt pixel's
// a to its neighbour's b, crosses the window's edge (half a level outside
// it), for both senses of the window; fixed offsets where a is not in the
// window or b is.
TEST(GrassfireSteps, CrossingIsWhereTheGreyCrossesTheWindowEdge)
{
    const grey_window window{100, 200, false};
    for (int a = 100; a <= 200; ++a)
        for (int b = 0; b <= 255; b += 3) {
            const double t = 0.5 - window.interp(a, b);  // fraction of the way from a to b
            if (b < 100)
                EXPECT_NEAR(a + t * (b - a), 99.5, 1e-9) << a << " " << b;
            else if (b > 200)
                EXPECT_NEAR(a + t * (b - a), 200.5, 1e-9) << a << " " << b;
            else
                EXPECT_DOUBLE_EQ(t, 0.75);
            EXPECT_GT(t, 0.0);
            EXPECT_LT(t, 1.0);
        }
    EXPECT_DOUBLE_EQ(window.interp(99, 0), 0.25);
    EXPECT_DOUBLE_EQ(window.interp(201, 0), 0.25);

    const grey_window outer{200, 50, false};  // selects below 50 and above 200
    for (int a : {0, 20, 49, 201, 230, 255})
        for (int b = 50; b <= 200; b += 5) {
            const double t = 0.5 - outer.interp(a, b);
            EXPECT_NEAR(a + t * (b - a), a < 50 ? 49.5 : 200.5, 1e-9) << a << " " << b;
        }
    EXPECT_DOUBLE_EQ(outer.interp(20, 10), -0.25);
    EXPECT_DOUBLE_EQ(outer.interp(100, 150), 0.25);
    const grey_window doppler{100, 200, true};
    EXPECT_DOUBLE_EQ(doppler.interp(150, 10), 0.0);
}

// Which way the selection lies in grey decides whether a ridge is bright or
// dark; windows starting at 0 or 255 count as dark.
TEST(GrassfireSteps, GreaterTellsWhichWayTheSelectionLies)
{
    EXPECT_TRUE((grey_window{100, 200}.greater(50)));
    EXPECT_TRUE((grey_window{100, 200}.greater(250)));
    EXPECT_FALSE((grey_window{0, 60}.greater(100)));
    EXPECT_FALSE((grey_window{255, 255}.greater(100)));
    EXPECT_FALSE((grey_window{200, 50}.greater(100)));  // nearer the dark band
    EXPECT_TRUE((grey_window{200, 50}.greater(150)));   // nearer the bright band
}

struct one_frame {
    image_t im;
    grassfire_settings settings;
    grassfire_classes classes;
    std::unique_ptr<grassfire_state> state;

    one_frame(image_t image, long lo, long hi, long anti, long jump)
        : im(std::move(image)), settings(settings_for(lo, hi)), classes(classes_for(lo, hi, anti))
    {
        state = grassfire_state::create({im.view()}, im.w, im.h, jump, settings, classes);
        state->threshold(0, false);
    }
};

// A line three pixels wide of grey 90 on 40: its ridge direction and
// strength, none near the border or on a barrier, a bonus on selected
// pixels, and the sign flipped when the selection is dark.
TEST(GrassfireSteps, RidgeResponses)
{
    auto line_image = [](int dx, int dy) {
        image_t im(21, 21, 40);
        for (long k = -10; k <= 10; ++k)
            for (long o = -1; o <= 1; ++o) {
                // Widen across the line: along y for lines in x, along x otherwise.
                const long x = 10 + k * dx + (dy == 0 ? 0 : o), y = 10 + k * dy + (dy == 0 ? o : 0);
                if (x >= 0 && y >= 0 && x < 21 && y < 21)
                    im.at(x, y) = 90;
            }
        return im;
    };
    const one_frame across(line_image(1, 0), 128, 255, 20, 5);
    ridge_t r = grassfire::direction(*across.state, 10, 10, 0);
    EXPECT_EQ(r.dir, 0);
    EXPECT_EQ(r.response, 4 * 90 - 90 - 90 - 40 - 40);
    EXPECT_EQ(grassfire::direction(one_frame(line_image(0, 1), 128, 255, 20, 5).state.operator*(), 10, 10, 0).dir, 1);
    EXPECT_EQ(grassfire::direction(one_frame(line_image(1, 1), 128, 255, 20, 5).state.operator*(), 10, 10, 0).dir, 2);
    EXPECT_EQ(grassfire::direction(one_frame(line_image(1, -1), 128, 255, 20, 5).state.operator*(), 10, 10, 0).dir, 3);
    // Off the line it is no ridge.
    EXPECT_LT(grassfire::direction(*across.state, 10, 14, 0).response, ridge_t::ridge_level);
    for (const auto& [x, y] : std::vector<std::pair<long, long>>{{1, 10}, {10, 1}, {19, 10}, {10, 19}, {0, 0}})
        EXPECT_EQ(grassfire::direction(*across.state, x, y, 0).response, ridge_t::no_ridge) << x << "," << y;

    image_t marked = line_image(1, 0);
    marked.at(10, 10) = 5;    // a barrier
    marked.at(12, 10) = 200;  // selected
    const one_frame m(marked, 128, 255, 20, 5);
    EXPECT_EQ(grassfire::direction(*m.state, 10, 10, 0).response, ridge_t::no_ridge);
    EXPECT_GE(grassfire::direction(*m.state, 12, 10, 0).response, ridge_t::selected_bonus);

    // A dark selection follows dark lines: the bright one is none.
    const one_frame dark(line_image(1, 0), 0, 30, 0, 5);
    EXPECT_LT(grassfire::direction(*dark.state, 10, 10, 0).response, ridge_t::ridge_level);
    image_t valley = line_image(1, 0);
    for (std::uint8_t& p : valley.px)
        p = p == 90 ? 40 : 90;
    r = grassfire::direction(*one_frame(valley, 0, 30, 0, 5).state, 10, 10, 0);
    EXPECT_EQ(r.dir, 0);
    EXPECT_EQ(r.response, 100);
}

// Pruning: a spur of gap pixels hanging off a selected block goes, a pixel
// per pass up to the jump distance, down to the pixel that touches the
// block; a bridge of gap pixels between two blocks stays, and so do
// selected pixels.
TEST(GrassfireSteps, RemoveRidgesPrunesSpursOnly)
{
    for (const auto& [jump, pruned] : std::vector<std::pair<long, long>>{{10, 3}, {2, 2}, {0, 0}}) {
        SCOPED_TRACE(jump);
        image_t im(30, 12, 0);
        for (long y = 2; y < 8; ++y)
            for (long x = 2; x < 8; ++x)
                im.at(x, y) = im.at(x + 18, y) = 255;
        one_frame f(im, 128, 255, 0, jump);
        grassfire_state& s = *f.state;
        auto burn = [&](long x, long y) {
            std::uint8_t& c = s.plane(0)[y * 30 + x];
            c = static_cast<std::uint8_t>((c & ~grassfire_state::burn_mask) | grassfire_state::burnt);
            s.region.add(x, y, 0);
        };
        for (long y = 2; y < 8; ++y)
            for (long x = 2; x < 8; ++x) {
                burn(x, y);
                burn(x + 18, y);
            }
        for (long x = 8; x < 20; ++x)
            burn(x, 3);  // the bridge
        for (long y = 8; y < 12; ++y)
            burn(4, y);  // the spur, down to the bottom edge
        EXPECT_EQ(grassfire::remove_ridges3(s), pruned);
        for (long y = 8; y < 12; ++y)
            EXPECT_EQ(s.burn(4, y, 0) == grassfire_state::burnt, y < 8 + 4 - pruned) << y;
        for (long x = 8; x < 20; ++x)
            EXPECT_EQ(s.burn(x, 3, 0), grassfire_state::burnt) << x;
        EXPECT_EQ(s.burn(2, 2, 0), grassfire_state::burnt);
        for (long i = 0; i < 30 * 12; ++i)
            EXPECT_FALSE(s.plane(0)[i] & grassfire_state::mark);
    }
}

// 3D ridge mode on a stack of identical frames: every frame crosses the
// gap along the ridge as the frame alone does.
TEST(GrassfireSteps, RidgeModeThroughAStackMatchesEachFrame)
{
    image_t im(40, 30, 40);
    for (long x = 3; x < 37; ++x)
        for (long y = 14; y <= 16; ++y)
            im.at(x, y) = (x < 12 || x > 26) ? 200 : 90;
    std::vector<image_view> stack(5, im.view());
    grassfire_settings s = settings_for(128, 255, 0, true);
    s.ridges = true;
    const grassfire_classes classes = classes_for(128, 255);
    const contour_set alone = grassfire::segment(im.view(), 5, 15, 16, s, classes);
    ASSERT_EQ(alone.contours.size(), 1u);
    EXPECT_TRUE(inside(alone, 34, 15));
    const auto sets = grassfire::segment3(stack, 5, 15, 2, 16, s, classes);
    ASSERT_TRUE(sets);
    for (const contour_set& f : *sets) {
        ASSERT_EQ(f.contours.size(), 1u);
        EXPECT_EQ(f.contours[0].points, alone.contours[0].points);
    }
}

}  // namespace
