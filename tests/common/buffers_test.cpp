// Shared buffers and the frame buffer: frames are shared, never copied, and a
// bad index or size from a file must give an empty result, not a crash.
#include <limits>

#include <gtest/gtest.h>

#include "common/cip.h"
#include "common/dynabuf.h"
#include "common/pos_stat.h"
#include "support/log_capture.h"

namespace {

// Arrays and images are shared, not copied; RF images keep signed samples.
TEST(Cip, SharedEightAndSixteenBitImages)
{
    counted_array_ptr<float> a(6);
    counted_array_ptr<float> b = a;
    EXPECT_EQ(b.get(), a.get());
    b.reset();
    EXPECT_EQ(a.use_count(), 1);

    const cip_t g = cip_t::make_8bit(640, 480);
    ASSERT_EQ(g.pixel_count(), 640u * 480u);
    EXPECT_EQ(g.pixels()[640 * 480 - 1], 0) << "new images start black";
    const cip_t rf = cip_t::make_16bit(127, 1000);
    ASSERT_TRUE(rf.has_samples());
    rf.signed_samples()[5] = -300;
    EXPECT_EQ(rf.samples()[5], static_cast<std::uint16_t>(-300));
    const cip_t shared = rf;
    EXPECT_EQ(shared.samples(), rf.samples());
    EXPECT_EQ(rf.use_count(), 2);
}

// Sizes read from untrusted files: non-positive or overflowing give an empty image.
TEST(Cip, AbsurdSizesGiveEmptyImages)
{
    EXPECT_TRUE(cip_t::make_8bit(0, 10).empty());
    EXPECT_TRUE(cip_t::make_8bit(10, -1).empty());
    EXPECT_TRUE(cip_t::make_8bit(std::numeric_limits<long>::max(), 3).empty());
    EXPECT_TRUE(cip_t::make_16bit(1L << 40, 1L << 40).empty());
    EXPECT_EQ(cip_t().pixels(), nullptr);
}

class FrameBuffer : public ::testing::Test {
protected:
    dynabuf buf{500};
    void add_frames(int n)
    {
        for (int i = 0; i < n; ++i) {
            const cip_t im = cip_t::make_8bit(4, 2);
            im.pixels()[0] = static_cast<std::uint8_t>(i);
            const float pose[6] = {float(i), 0, 0, 0, 0, 0};
            buf.append(im, pos_stat_t::make(0, pose).pose, 1000u * static_cast<unsigned>(i));
        }
    }
};

TEST_F(FrameBuffer, OutOfRangeGivesEmptyReferences)
{
    log_capture log;  // each bad index is reported at debug level
    add_frames(3);
    EXPECT_TRUE(buf.imagecp(3).empty());
    EXPECT_TRUE(buf.imagecp(-1).empty());
    EXPECT_TRUE(buf.positioncp(7).empty());
    EXPECT_EQ(buf.timestamp(3), 0u);
    EXPECT_EQ(buf.imagecp(2).pixels()[0], 2);
}

// Thinning keeps the selected frames in order, with their poses and times
// together; clearing drops the buffer's references.
TEST_F(FrameBuffer, ThinKeepsFlaggedFramesAlignedAndClearDropsThem)
{
    add_frames(5);
    const cip_t third = buf.imagecp(3);
    ASSERT_TRUE(buf.thin({1, 0, 0, 1, 1}));
    ASSERT_EQ(buf.frames(), 3);
    EXPECT_EQ(buf.imagecp(1), third) << "the frame is shared, not copied";
    for (long i = 0; i < 3; ++i) {
        const int original = buf.imagecp(i).pixels()[0];
        EXPECT_EQ(buf.positioncp(i)[0], float(original));
        EXPECT_EQ(buf.timestamp(i), 1000u * static_cast<unsigned>(original));
    }
    EXPECT_FALSE(buf.thin({1, 0})) << "a flag list of the wrong length is refused";
    EXPECT_EQ(buf.frames(), 3);
    EXPECT_EQ(third.use_count(), 2);
    buf.clear();
    EXPECT_EQ(buf.frames(), 0);
    EXPECT_EQ(third.use_count(), 1);
}

}  // namespace
