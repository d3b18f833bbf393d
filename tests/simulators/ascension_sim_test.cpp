// Ascension simulators through a real pty: model strings, and records decoded
// with the host's word formula.
#include <cmath>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "sim_host.h"
#include "simulators/sim_factory.h"

namespace {

// The host's decoding of one word from its low and high bytes.
int host_word(const std::string& r, std::size_t at)
{
    const auto lo = static_cast<unsigned char>(r.at(at));
    const auto hi = static_cast<unsigned char>(r.at(at + 1));
    return static_cast<std::int16_t>(((hi & 0x7F) << 9) | ((lo & 0x7F) << 2));
}

// Catches a model string the host would not accept for the kind, and a
// single-bird record of the wrong length or with misplaced phasing bits.
TEST(simulators_ascension, ModelStringsAndSingleBirdRecord)
{
    struct case_t {
        const char* kind;
        bool (*fits)(const std::string&);
    };
    const case_t cases[] = {
        {"flock", [](const std::string& m) { return m[2] == 'E' || m[2] == 'F'; }},
        {"mini", [](const std::string& m) { return m[2] == 'M'; }},
        {"laser", [](const std::string& m) { return m[0] == 'L' || m[1] == 'L'; }},
        {"trakstar", [](const std::string& m) { return m.starts_with("6DB"); }},
    };
    for (const case_t& c : cases) {
        SCOPED_TRACE(c.kind);
        pty_link_t link(make_device_sim(c.kind, {}));
        link.start();
        sim_host_t host(link);
        ASSERT_TRUE(host.ok());
        const std::string model = host.ask(std::string("O\x0F", 2), 10);
        ASSERT_EQ(model.size(), 10u);
        EXPECT_TRUE(model.starts_with("6D") || model.starts_with("La") || model.starts_with(" L")) << model;
        EXPECT_TRUE(c.fits(model)) << model;

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
    const float full_scale = scale[0] == 1 ? 72.0f : 36.0f;
    EXPECT_EQ(full_scale, 72.0f);

    const std::string setup = std::string("P2\x02Y\xF2YP#\x01", 9) + "F";
    const std::string rec = host.ask(setup + "B", 26);
    ASSERT_EQ(rec.size(), 26u);
    for (std::size_t i = 0; i < rec.size(); ++i)
        EXPECT_EQ((rec[i] & 0x80) != 0, i == 0 || i == 13) << i;
    EXPECT_EQ(rec[12], 1);
    EXPECT_EQ(rec[25], 2);

    const auto sent = sent_poses(link);
    ASSERT_EQ(sent.size(), 2u);
    const float position_step = 4 * full_scale / 32767.0f * 2.54f;
    const float angle_step = 4 * 0.005493026520584735f;
    for (int unit = 0; unit < 2; ++unit) {
        SCOPED_TRACE(unit);
        ASSERT_EQ(sent[static_cast<std::size_t>(unit)].unit, unit);
        const sim_pose_t& p = sent[static_cast<std::size_t>(unit)].pose;
        const std::size_t base = 13 * static_cast<std::size_t>(unit);
        for (std::size_t w = 0; w < 3; ++w)
            EXPECT_NEAR(host_word(rec, base + 2 * w) * (full_scale / 32767.0f) * 2.54f, p.v[w], position_step);
        for (std::size_t w = 3; w < 6; ++w)
            EXPECT_NEAR(host_word(rec, base + 2 * w) * 0.005493026520584735f, p.v[w], angle_step);
    }
    // Otherwise swapped units would pass unnoticed.
    EXPECT_GT(std::fabs(sent[1].pose.v[1] - sent[0].pose.v[1]), 1.0f);
}

}  // namespace
