// Polhemus simulators driven through a real pty by serial_t, checked against
// the poses they logged as sent.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "sim_host.h"
#include "simulators/sim_factory.h"

namespace {

sim_options_t fixed(const sim_pose_t& p)
{
    sim_options_t o;
    o.trajectory = fixed_pose(p);
    return o;
}

const sim_pose_t pose_a{{-12.5f, 40.25f, 7.125f, -170.5f, 33.0f, 0.75f}};

// Catches a status record of the wrong size or header, modes that are not
// tracked, and a binary record whose floats are misplaced or in the wrong units.
TEST(simulators_fastrak, StatusThenModesThenBinaryCentimetrePose)
{
    pty_link_t link(make_device_sim("fastrak", fixed(pose_a)));
    link.start();
    sim_host_t host(link);
    ASSERT_TRUE(host.ok());

    const std::string status = host.ask("cS", 55);
    ASSERT_EQ(status.size(), 55u);
    EXPECT_EQ(status.substr(0, 3), "21S");
    EXPECT_EQ(status.substr(53), "\r\n");
    EXPECT_EQ(std::strtol(status.substr(3, 3).c_str(), nullptr, 16) & 0xB, 0);  // ASCII, inches, not streaming

    // Before "fu" the pose comes as text, not as the 29-byte binary record.
    const std::string text = host.ask("P", 8192, 100);
    EXPECT_NE(text.size(), 29u);
    EXPECT_EQ(text.substr(0, 3), "01 ");
    EXPECT_NE(text.find("-170.50"), std::string::npos) << text;

    const std::string rec = host.ask("fuP", 29);
    ASSERT_EQ(rec.size(), 29u);
    EXPECT_EQ(rec.substr(0, 3), "01 ");
    EXPECT_EQ(rec.substr(27), "\r\n");
    const auto sent = sent_poses(link);
    ASSERT_EQ(sent.size(), 2u);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(le_float(rec, 3 + 4 * static_cast<std::size_t>(i)), sent.back().pose.v[i]) << i;

    EXPECT_EQ(std::strtol(host.ask("S", 55).substr(3, 3).c_str(), nullptr, 16) & 0x3, 0x3);
    const std::string inches = host.ask("UP", 29);
    ASSERT_EQ(inches.size(), 29u);
    EXPECT_FLOAT_EQ(le_float(inches, 3), pose_a.v[0] / 2.54f);
    EXPECT_FLOAT_EQ(le_float(inches, 15), pose_a.v[3]);
}

// Catches a wrong identification text, a binary record of the wrong layout,
// and units that do not follow U0/U1, for both models.
TEST(simulators_liberty, IdentificationAndBinaryRecordForBothModels)
{
    for (const char* kind : {"liberty", "patriot"}) {
        SCOPED_TRACE(kind);
        const bool patriot = std::string(kind) == "patriot";
        pty_link_t link(make_device_sim(kind, fixed(pose_a)));
        link.start();
        sim_host_t host(link);
        ASSERT_TRUE(host.ok());

        const std::string id = host.ask("\rF0\r\x16\r", 8192, 100);
        EXPECT_NE(id.find(patriot ? "Polhemus Patriot" : "Polhemus Liberty"), std::string::npos) << id;
        ASSERT_GE(id.size(), 2u);
        EXPECT_EQ(id.substr(id.size() - 2), "\r\n");

        const std::string inches = host.ask("F1\rP", 34);
        ASSERT_EQ(inches.size(), 34u);
        EXPECT_FLOAT_EQ(le_float(inches, 8), pose_a.v[0] / 2.54f);

        const std::string rec = host.ask("U1\rP", 34);
        ASSERT_EQ(rec.size(), 34u);
        EXPECT_EQ(rec.substr(0, 2), patriot ? "PA" : "LY");
        EXPECT_EQ(rec[2], 1);
        EXPECT_EQ(rec[3], 'P');
        EXPECT_EQ(rec[4], 0);
        EXPECT_EQ(rec.substr(32), "\r\n");
        const auto sent = sent_poses(link);
        ASSERT_FALSE(sent.empty());
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(le_float(rec, 8 + 4 * static_cast<std::size_t>(i)), sent.back().pose.v[i]) << i;
    }
}

}  // namespace
