// Position correction measured against the truth of the correction demo.
#include <gtest/gtest.h>

#include "correction_fixture.h"

namespace {

TEST_F(CorrectionTest, JitteredSweepErrorAtLeastHalves)
{
    load(small());
    const double before = corner_rms(recorded_poses());
    double a = 0, b = 0;
    auto run = correct_frames(0, bufp->frames() - 1, false, false, &a, &b);
    ASSERT_TRUE(run->valid());
    ASSERT_TRUE(run->apply());
    const double after = corner_rms(held_poses());
    EXPECT_GT(a, 0.5);  // the data moved by about the jitter
    EXPECT_LT(after, 0.5 * before);
}

TEST_F(CorrectionTest, ExactSweepStaysExact)
{
    correction_demo_options o = small();
    o.jitter_mm = 0.0;
    o.jitter_deg = 0.0;
    load(o);
    double a = 0, b = 0;
    auto run = correct_frames(0, bufp->frames() - 1, false, false, &a, &b);
    ASSERT_TRUE(run->apply());
    const double after = corner_rms(held_poses());
    EXPECT_LT(after, 0.2);
}

}  // namespace
