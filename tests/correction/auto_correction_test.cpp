// Correction during recording, and the pending correction's life.
#include <gtest/gtest.h>

#include "correction/auto_correction.h"
#include "correction_fixture.h"

namespace {

class AutoCorrection : public CorrectionTest {
protected:
    void SetUp() override
    {
        CorrectionTest::SetUp();
        load(small(150));
        res->RES_AUTO_CORRECT_POS->write(true);
        res->RES_POSITION_SOURCE->write(SENSOR_FASTRAK);
    }
    // Plays the recording back as if it were being recorded from frame 0.
    void record(auto_correction_t& a, long discard_at = -1)
    {
        const long n = bufp->frames();
        std::vector<cip_t> images;
        for (long i = 0; i < n; ++i)
            images.push_back(bufp->imagecp(i));
        bufp->clear();
        a.recording_started();
        for (long i = 0; i < n; ++i) {
            bufp->append(images[static_cast<std::size_t>(i)], demo.frames[static_cast<std::size_t>(i)].recorded_pose,
                         static_cast<std::uint64_t>(i));
            a.frame_recorded(i);
            if (i == discard_at)
                a.frames_discarded();
        }
        a.sweep_finished(0, n - 1);
        a.recording_stopped();
    }
};

TEST_F(AutoCorrection, EachFinishedSweepIsCorrected)
{
    const double before = corner_rms(recorded_poses());
    auto_correction_t a;
    record(a);
    EXPECT_EQ(a.sweeps_corrected(), 1);
    EXPECT_LT(corner_rms(held_poses()), 0.6 * before);
    EXPECT_TRUE(res->RES_CORRECTED_POS->value());
}

TEST_F(AutoCorrection, OffOrInterruptedChangesNothing)
{
    const double before = corner_rms(recorded_poses());
    auto_correction_t off;
    res->RES_AUTO_CORRECT_POS->write(false);
    record(off);
    EXPECT_EQ(off.sweeps_corrected(), 0);
    res->RES_AUTO_CORRECT_POS->write(true);
    auto_correction_t interrupted;
    record(interrupted, 70);  // frames renumbered mid-sweep: that sweep is not corrected
    EXPECT_EQ(interrupted.sweeps_corrected(), 0);
    EXPECT_DOUBLE_EQ(corner_rms(held_poses()), before);
}

TEST_F(AutoCorrection, PendingCorrectionIsDroppedWhenTheRecordingIsReplaced)
{
    double a = 0, b = 0;
    ASSERT_TRUE(make_pending_correction(0, bufp->frames() - 1, false, &a, &b)->valid());
    ASSERT_TRUE(res->RES_CORRELATION->value());
    const double before = corner_rms(held_poses());
    load(small(150));  // the same sweep again, as new frames
    EXPECT_FALSE(accept_pending_correction());
    EXPECT_FALSE(res->RES_CORRELATION->value());
    EXPECT_DOUBLE_EQ(corner_rms(held_poses()), before);
    ASSERT_TRUE(make_pending_correction(0, bufp->frames() - 1, false, &a, &b)->valid());
    EXPECT_TRUE(accept_pending_correction());
    EXPECT_LT(corner_rms(held_poses()), 0.6 * before);
    reject_pending_correction();
    EXPECT_FALSE(res->RES_CORRELATION->value());
}

// The pressure display's Apply and Remove: removing puts back exactly what was
// held; accepting a shown correction keeps it as shown (a second squash would
// compress the images again); rejecting a shown one takes it out; and a shown
// correction whose recording was replaced writes nothing into the new one.
TEST_F(AutoCorrection, ShownCorrectionsComeOutExactlyAndAreKeptOnceAccepted)
{
    load(small(120));
    EXPECT_EQ(pending_correction_text(), "No valid correction");
    std::vector<counted_array_ptr<float>> held = held_poses();
    std::vector<cip_t> images;
    for (long i = 0; i < bufp->frames(); ++i)
        images.push_back(bufp->imagecp(i));
    const auto same_as_held = [&] {
        for (long i = 0; i < bufp->frames(); ++i) {
            const auto pose = bufp->positioncp(i);
            if (!std::equal(pose.get(), pose.get() + 6, held[static_cast<std::size_t>(i)].get()) ||
                !(bufp->imagecp(i) == images[static_cast<std::size_t>(i)]))
                return false;
        }
        return true;
    };

    double a = 0, b = 0;
    const auto run = make_pending_correction(0, bufp->frames() - 1, true, &a, &b);
    ASSERT_TRUE(run->valid());
    EXPECT_EQ(pending_correction_text(), "Pressure correction available");
    ASSERT_TRUE(run->show());
    EXPECT_EQ(pending_correction_text(), "Pressure correction available and applied");
    EXPECT_FALSE(same_as_held());
    EXPECT_TRUE(res->RES_CORRECTED_PRESSURE->value());
    std::vector<cip_t> shown;
    for (long i = 0; i < bufp->frames(); ++i)
        shown.push_back(bufp->imagecp(i));
    ASSERT_TRUE(run->hide());
    EXPECT_TRUE(same_as_held()) << "Remove puts back the very poses and images";
    EXPECT_FALSE(res->RES_CORRECTED_PRESSURE->value());
    EXPECT_FALSE(res->RES_CORRECTED_POS->value());
    EXPECT_EQ(pending_correction_text(), "Pressure correction available");

    // Shown again, then accepted: the recording keeps what was shown, not a second squash of it.
    ASSERT_TRUE(run->show());
    ASSERT_TRUE(accept_pending_correction());
    EXPECT_EQ(pending_correction_text(), "No valid correction");
    for (long i = 0; i < bufp->frames(); ++i) {
        const cip_t now = bufp->imagecp(i);
        const cip_t& then = shown[static_cast<std::size_t>(i)];
        ASSERT_EQ(now.pixel_count(), then.pixel_count());
        EXPECT_TRUE(std::equal(now.pixels(), now.pixels() + now.pixel_count(), then.pixels())) << i;
    }

    // Rejecting a shown correction takes it out.
    held = held_poses();
    images.clear();
    for (long i = 0; i < bufp->frames(); ++i)
        images.push_back(bufp->imagecp(i));
    const auto second = make_pending_correction(0, bufp->frames() - 1, false, &a, &b);
    ASSERT_TRUE(second->valid() && second->show());
    reject_pending_correction();
    EXPECT_TRUE(same_as_held());
    EXPECT_FALSE(res->RES_CORRELATION->value());

    // Shown, then the recording replaced: Remove leaves the new frames alone.
    const auto third = make_pending_correction(0, bufp->frames() - 1, false, &a, &b);
    ASSERT_TRUE(third->valid() && third->show());
    load(small(120));
    held = held_poses();
    images.clear();
    for (long i = 0; i < bufp->frames(); ++i)
        images.push_back(bufp->imagecp(i));
    EXPECT_FALSE(third->hide());
    EXPECT_TRUE(same_as_held());
}

}  // namespace
