// The 3D variant: a solid burnt through a stack gives each frame what the
// frame alone gives; progress can be followed and cancelled; a stack too
// large for memory falls back to the clicked frame; long stacks and
// one-voxel cracks.
#include <gtest/gtest.h>

#include "common/interaction.h"
#include "grassfire_support.h"
#include "support/log_capture.h"

namespace {

using namespace grass_test;

constexpr long lo = 128, hi = 255;

// Progress messages in order, cancelling at the n-th update when asked.
class recording_interaction_t : public headless_interaction_t {
public:
    long cancel_at = -1;
    long begun = 0, ended = 0;
    std::vector<wxString> messages;
    std::vector<wxString> informed;

    void progress_begin(const wxString&, const wxString&, int) override { ++begun; }
    bool progress_update(int, const wxString& message) override
    {
        messages.push_back(message);
        return cancel_at < 0 || static_cast<long>(messages.size()) < cancel_at;
    }
    void progress_end() override { ++ended; }
    void inform(const wxString&, const wxString& message) override { informed.push_back(message); }
    bool saw(const wxString& m) const { return std::find(messages.begin(), messages.end(), m) != messages.end(); }
};

class installed_t {
public:
    explicit installed_t(interaction_t* i) : previous_(set_interaction(i)) {}
    ~installed_t() { set_interaction(previous_); }

private:
    interaction_t* previous_;
};

// A ball through a stack of frames, with a ramp edge (slope 0: binary).
struct ball_stack {
    long side, frames;
    std::vector<image_t> images;
    ball_stack(long side_, long frames_, double radius, double slope) : side(side_), frames(frames_)
    {
        const double c = (side - 1) / 2.0, cz = (frames - 1) / 2.0;
        for (long z = 0; z < frames; ++z) {
            image_t im(side, side);
            for (long y = 0; y < side; ++y)
                for (long x = 0; x < side; ++x) {
                    const double d = std::sqrt((x - c) * (x - c) + (y - c) * (y - c) + (z - cz) * (z - cz));
                    im.at(x, y) = edge_grey(radius - d, slope);
                }
            images.push_back(std::move(im));
        }
    }
    std::vector<image_view> views() const
    {
        std::vector<image_view> v;
        for (const image_t& im : images)
            v.push_back(im.view());
        return v;
    }
};

// A ball burnt through the stack: each frame's outlines are exactly those a
// click on that frame alone gives, for every hole type, connected or not.
TEST(GrassfireStack, BallFramesMatchSingleFrameSegmentation)
{
    const ball_stack ball(48, 31, 13.0, 12.0);
    const grassfire_classes classes = classes_for(lo, hi);
    const long mid = ball.side / 2, centre = ball.frames / 2;
    for (long type : {0L, 2L})
        for (bool connected : {true, false}) {
            SCOPED_TRACE(testing::Message() << "type " << type << " connected " << connected);
            const grassfire_settings s = settings_for(lo, hi, type, connected);
            const long sx = connected ? mid : grassfire::no_seed;
            const auto sets = grassfire::segment3(ball.views(), sx, mid, centre, 10, s, classes);
            ASSERT_TRUE(sets);
            ASSERT_EQ(static_cast<long>(sets->size()), ball.frames);
            long with_outlines = 0;
            for (long z = 0; z < ball.frames; ++z) {
                const contour_set& got = (*sets)[static_cast<std::size_t>(z)];
                EXPECT_EQ(got.frame, z);
                const contour_set alone = grassfire::segment(ball.images[static_cast<std::size_t>(z)].view(),
                                                             connected ? mid : grassfire::no_seed, mid, 10, s, classes);
                ASSERT_EQ(got.contours.size(), alone.contours.size()) << "frame " << z;
                for (std::size_t i = 0; i < got.contours.size(); ++i)
                    EXPECT_EQ(got.contours[i].points, alone.contours[i].points) << "frame " << z;
                with_outlines += !got.contours.empty();
            }
            EXPECT_GE(with_outlines, 25);  // the ball reaches 25 frames
            EXPECT_EQ(grassfire::fmax - grassfire::fmin + 1, with_outlines);
            EXPECT_LT(grassfire::xmin, mid);
            EXPECT_GT(grassfire::xmax, mid);
        }
}

// Only the object the seed is in burns: a second ball elsewhere in the
// stack is left out when connected.
TEST(GrassfireStack, ConnectedLeavesOtherObjectsOut)
{
    ball_stack ball(40, 16, 6.0, 0.0);
    for (long z = 0; z < 16; ++z)
        for (long y = 30; y < 36; ++y)
            for (long x = 30; x < 36; ++x)
                ball.images[static_cast<std::size_t>(z)].at(x, y) = 255;
    const grassfire_classes classes = classes_for(lo, hi);
    const auto one = grassfire::segment3(ball.views(), 20, 20, 8, 0, settings_for(lo, hi, 2, true), classes);
    const auto all =
        grassfire::segment3(ball.views(), grassfire::no_seed, 0, 8, 0, settings_for(lo, hi, 2, false), classes);
    ASSERT_TRUE(one && all);
    EXPECT_EQ((*one)[8].contours.size(), 1u);
    EXPECT_EQ((*all)[8].contours.size(), 2u);
    EXPECT_EQ((*one)[0].contours.size(), 0u) << "the ball does not reach frame 0";
    EXPECT_EQ((*all)[0].contours.size(), 1u) << "the box runs through every frame";
}

// The progress texts in order, the log lines of the topological analysis,
// and a cancel at any point: nothing comes back and the record of the
// last run is untouched.
TEST(GrassfireStack, ProgressAndCancel)
{
    const ball_stack ball(32, 6, 5.0, 0.0);
    const grassfire_classes classes = classes_for(lo, hi);
    const grassfire_settings s = settings_for(lo, hi, 2, true);
    recording_interaction_t ui;
    installed_t use(&ui);
    log_capture log;
    ASSERT_TRUE(grassfire::segment3(ball.views(), 16, 16, 3, 4, s, classes));
    EXPECT_EQ(ui.begun, 1);
    EXPECT_EQ(ui.ended, 1);
    const std::vector<wxString> in_order{
        "Initialising object state",        "Thresholding data",    "Find extent of object",
        "Connected component analysis",     "Topological analysis", "2D segmentation: frame 1 of 6",
        "Extracting contours: frame 6 of 6"};
    auto at = ui.messages.begin();
    for (const wxString& m : in_order) {
        at = std::find(at, ui.messages.end(), m);
        EXPECT_NE(at, ui.messages.end()) << m;
    }
    EXPECT_FALSE(ui.saw("Removing redundant ridges"));
    for (const char* line :
         {"3D topological analysis: initial outside region", "3D topological analysis: re-labelling voxels",
          "3D topological analysis: 0.00 % voxels in concavities", "3D topological analysis:", "% voxels just outside",
          "Connected component analysis:", "% voxels in object"})
        EXPECT_TRUE(log.contains(line)) << line;

    grassfire_settings all = settings_for(lo, hi, 2, false);
    all.ridges = true;
    ui.messages.clear();
    ASSERT_TRUE(grassfire::segment3(ball.views(), grassfire::no_seed, 0, 3, 4, all, classes));
    EXPECT_TRUE(ui.saw("Performing connected component analysis on all data"));
    EXPECT_TRUE(ui.saw("Removing redundant ridges"));

    const long updates = static_cast<long>(ui.messages.size());
    ASSERT_GT(updates, 5);
    for (long cancel = 1; cancel <= updates; ++cancel) {
        grassfire::xmin = grassfire::xmax = grassfire::fmin = grassfire::fmax = -77;
        grassfire::jump_thresh = -77;
        ui.messages.clear();
        ui.cancel_at = cancel;
        ui.begun = ui.ended = 0;
        EXPECT_FALSE(grassfire::segment3(ball.views(), grassfire::no_seed, 0, 3, 4, all, classes)) << cancel;
        EXPECT_EQ(ui.begun, ui.ended);
        EXPECT_EQ(grassfire::xmin, -77);
        EXPECT_EQ(grassfire::fmax, -77);
        EXPECT_EQ(grassfire::jump_thresh, -77);
    }
}

// A long burn asks now and then whether to go on: cancelling in the middle
// of it gives nothing back.
TEST(GrassfireStack, CancelWhileBurning)
{
    const image_t full(256, 256, 255);
    const std::vector<image_view> stack(24, full.view());
    recording_interaction_t ui;
    installed_t use(&ui);
    const grassfire_settings s = settings_for(lo, hi, 2, true);
    ASSERT_TRUE(grassfire::segment3(stack, 5, 5, 0, 3, s, classes_for(lo, hi)));
    const auto burning = std::count(ui.messages.begin(), ui.messages.end(), wxString("Connected component analysis"));
    ASSERT_GE(burning, 2) << "the stage start and at least one question while burning";
    const auto first = std::find(ui.messages.begin(), ui.messages.end(), wxString("Connected component analysis"));
    ui.cancel_at = static_cast<long>(first - ui.messages.begin()) + 2;
    ui.messages.clear();
    EXPECT_FALSE(grassfire::segment3(stack, 5, 5, 0, 3, s, classes_for(lo, hi)));
    EXPECT_EQ(ui.messages.back(), "Connected component analysis");
    EXPECT_EQ(ui.begun, ui.ended);
}

// Past the memory limit the clicked frame is segmented in 2D, with the
// message that says so, exactly as a click on that frame alone.
TEST(GrassfireStack, TooLargeFallsBackToTheClickedFrame)
{
    const ball_stack ball(32, 8, 6.0, 0.0);
    const grassfire_classes classes = classes_for(lo, hi);
    grassfire_settings s = settings_for(lo, hi, 2, true);
    s.state_limit = 32 * 32 * 8 - 1;
    recording_interaction_t ui;
    installed_t use(&ui);
    const auto sets = grassfire::segment3(ball.views(), 16, 16, 4, 3, s, classes);
    ASSERT_TRUE(sets);
    ASSERT_EQ(ui.informed.size(), 1u);
    EXPECT_EQ(ui.informed[0],
              "Unable to allocate enough memory for 3D segmentation.\n - switching to 2D segmentation instead.\n\nYou "
              "could try increasing the frame gap.");
    for (long z = 0; z < 8; ++z)
        EXPECT_EQ((*sets)[static_cast<std::size_t>(z)].contours.empty(), z != 4) << z;
    const contour_set alone = grassfire::segment(ball.images[4].view(), 16, 16, 3, s, classes);
    ASSERT_EQ((*sets)[4].contours.size(), 1u);
    EXPECT_EQ((*sets)[4].contours[0].points, alone.contours[0].points);
    EXPECT_EQ((*sets)[4].frame, 4);

    // At the limit it runs in 3D.
    s.state_limit = 32 * 32 * 8;
    ui.informed.clear();
    const auto full = grassfire::segment3(ball.views(), 16, 16, 4, 3, s, classes);
    ASSERT_TRUE(full);
    EXPECT_TRUE(ui.informed.empty());
    EXPECT_FALSE((*full)[2].contours.empty());
}

// Seeds outside the stack, its frames or the selection give nothing; frames
// of another size than the clicked one count as blank.
TEST(GrassfireStack, SeedsAnywhereAndOddFrames)
{
    ball_stack ball(24, 6, 5.0, 0.0);
    const grassfire_classes classes = classes_for(lo, hi);
    const grassfire_settings on = settings_for(lo, hi, 2, true);
    auto outlines = [](const std::optional<std::vector<contour_set>>& sets) {
        long n = 0;
        for (const contour_set& s : *sets)
            n += static_cast<long>(s.contours.size());
        return n;
    };
    for (const auto& [x, y, z] : std::vector<std::tuple<long, long, long>>{
             {12, 12, -1}, {12, 12, 6}, {-1, 12, 3}, {12, 24, 3}, {0, 0, 3}, {grassfire::no_seed, 0, 3}}) {
        const auto sets = grassfire::segment3(ball.views(), x, y, z, 5, on, classes);
        ASSERT_TRUE(sets);
        EXPECT_EQ(outlines(sets), 0) << x << "," << y << "," << z;
    }
    EXPECT_TRUE(grassfire::segment3({}, 0, 0, 0, 5, on, classes)->empty());

    std::vector<image_view> views = ball.views();
    image_t small(10, 10, 255);
    views[1] = small.view();
    views[4] = image_view();
    const auto sets = grassfire::segment3(views, 12, 12, 2, 5, on, classes);
    ASSERT_TRUE(sets);
    EXPECT_TRUE((*sets)[1].contours.empty());
    EXPECT_FALSE((*sets)[2].contours.empty());
    EXPECT_FALSE((*sets)[3].contours.empty());
    EXPECT_TRUE((*sets)[4].contours.empty());
    // The click on a blank frame has nothing to start from.
    EXPECT_EQ(outlines(grassfire::segment3(views, 12, 12, 4, 5, on, classes)), 0);
}

// A stack longer than 32767 frames, which 16-bit fronts would wrap: a rod
// through every frame burns from a click near the end to the start.
TEST(GrassfireStack, StacksLongerThanSixteenBits)
{
    const long frames = 33000;
    image_t rod(4, 4, 0);
    rod.at(1, 1) = rod.at(2, 1) = rod.at(1, 2) = rod.at(2, 2) = 255;
    const std::vector<image_view> views(static_cast<std::size_t>(frames), rod.view());
    const auto sets =
        grassfire::segment3(views, 1, 1, frames - 10, 2, settings_for(lo, hi, 2, true), classes_for(lo, hi));
    ASSERT_TRUE(sets);
    for (long z : {0L, 1L, 32767L, 32768L, frames - 1}) {
        ASSERT_EQ((*sets)[static_cast<std::size_t>(z)].contours.size(), 1u) << z;
        EXPECT_DOUBLE_EQ(enclosed_area((*sets)[static_cast<std::size_t>(z)]), 3.5);
    }
    EXPECT_EQ(grassfire::fmin, 0);
    EXPECT_EQ(grassfire::fmax, frames - 1);
}

// The 3D re-labelling: a voxel missing from one frame of a solid rod, with
// the rod around it in its frame and in the frames on either side, is a
// crack and joins the object; a 2D click on that frame keeps it as a hole.
// A groove running through every frame is no crack and stays out.
TEST(GrassfireStack, OneVoxelCracksJoinTheObject)
{
    std::vector<image_t> images(5, image_t(20, 20, 0));
    for (image_t& im : images)
        for (long y = 5; y < 15; ++y)
            for (long x = 5; x < 15; ++x)
                im.at(x, y) = x == 10 && y >= 12 ? 0 : 255;  // the groove: three pixels deep from the bottom edge
    images[2].at(8, 8) = 0;
    std::vector<image_view> views;
    for (const image_t& im : images)
        views.push_back(im.view());
    const grassfire_settings s = settings_for(lo, hi, 0, false);
    const grassfire_classes classes = classes_for(lo, hi);
    log_capture log;
    const auto sets = grassfire::segment3(views, grassfire::no_seed, 0, 2, 0, s, classes);
    ASSERT_TRUE(sets);
    EXPECT_EQ((*sets)[2].contours.size(), 1u);
    EXPECT_TRUE(inside((*sets)[2], 8, 8));
    EXPECT_FALSE(inside((*sets)[2], 10, 13)) << "the groove";
    EXPECT_FALSE(log.contains("0.00 % voxels in concavities"));
    const contour_set alone = grassfire::segment(views[2], grassfire::no_seed, 0, 0, s, classes);
    EXPECT_EQ(alone.contours.size(), 2u);
    EXPECT_FALSE(inside(alone, 8, 8));
}

}  // namespace
