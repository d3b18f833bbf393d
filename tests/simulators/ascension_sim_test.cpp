// Ascension simulators through a real pty: model strings, and records decoded
// by the host's own decoder.
#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "acquisition/ascension_driver.h"
#include "acquisition/tracker_records.h"
#include "sim_host.h"
#include "simulators/sim_factory.h"

namespace {

// Catches a model string the host would not accept for the kind, and a
// single-bird record of the wrong length or with misplaced phasing bits.
TEST(simulators_ascension, ModelStringsAndSingleBirdRecord)
{
    const std::pair<const char*, pos_detect_t> cases[] = {
        {"flock", POS_DETECT_FLOCK},
        {"mini", POS_DETECT_MINI},
        {"laser", POS_DETECT_LASER},
        {"trakstar", POS_DETECT_STAR},
    };
    for (const auto& [kind, detect] : cases) {
        SCOPED_TRACE(kind);
        pty_link_t link(make_device_sim(kind, {}));
        link.start();
        sim_host_t host(link);
        ASSERT_TRUE(host.ok());
        const std::string model = host.ask(std::string("O\x0F", 2), 10);
        ASSERT_EQ(model.size(), 10u);
        EXPECT_TRUE(ascension_model_matches(model, detect)) << model;

        const std::string rec = host.ask("YB", 12);
        ASSERT_EQ(rec.size(), 12u);
        for (std::size_t i = 0; i < rec.size(); ++i)
            EXPECT_EQ((rec[i] & 0x80) != 0, i == 0) << i;
    }
}

// Catches wrong sensor power flags, units out of order, a wrong address
// byte or phasing bit, and a word encoding the host formula does not undo.
TEST(simulators_ascension, GroupRecordDecodesToTheSentPoses)
{
    sim_options_t o;
    o.trajectory = fixed_pose({{-12.3f, 45.6f, -7.8f, -170.5f, 33.3f, -0.7f}});
    o.powered = 0b1011;  // sensor 2 of 4 is off
    o.full_scale_inches = 72;
    pty_link_t link(make_device_sim("trakstar", o));
    link.start();
    sim_host_t host(link);
    ASSERT_TRUE(host.ok());

    const std::string power = host.ask("O$", 10);
    ASSERT_EQ(power.size(), 10u);
    for (std::size_t s = 0; s < 10; ++s)
        EXPECT_EQ((power[s] & 0xC0) != 0, s == 0 || s == 1 || s == 3) << s;

    const std::string scale = host.ask(std::string("O\x03", 2), 2);
    ASSERT_EQ(scale.size(), 2u);
    ASSERT_EQ(scale[0], 1) << "72 inches full scale";

    const std::string setup = std::string("P2\x02Y\xF2YP#\x01", 9) + "F";
    const std::string rec = host.ask(setup + "B", 26);
    ASSERT_EQ(rec.size(), 26u);
    for (std::size_t i = 0; i < rec.size(); ++i)
        EXPECT_EQ((rec[i] & 0x80) != 0, i == 0 || i == 13) << i;
    EXPECT_EQ(rec[12], 1);
    EXPECT_EQ(rec[25], 2);

    const auto sent = sent_poses(link);
    ASSERT_EQ(sent.size(), 2u);
    const float position_step = 4 * 72.0f / 32767.0f * 2.54f, angle_step = 4 * 180.0f / 32768.0f;
    for (std::size_t unit = 0; unit < 2; ++unit) {
        SCOPED_TRACE(unit);
        ASSERT_EQ(sent[unit].unit, static_cast<int>(unit));
        float pose[6];
        ASSERT_TRUE(decode_ascension_bird(as_record(rec), unit, 72.0f, pose));
        for (int i = 0; i < 6; ++i)
            EXPECT_NEAR(pose[i], sent[unit].pose.v[i], i < 3 ? position_step : angle_step) << i;
    }
    // Otherwise swapped units would pass unnoticed.
    EXPECT_GT(std::fabs(sent[1].pose.v[1] - sent[0].pose.v[1]), 1.0f);
}

}  // namespace
