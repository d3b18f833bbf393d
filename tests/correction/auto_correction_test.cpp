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

}  // namespace
