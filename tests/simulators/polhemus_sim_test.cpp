// Polhemus simulators driven through a real pty by serial_t, their records
// read by the host's own decoders.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "sim_host.h"
#include "simulators/sim_factory.h"

namespace {

const sim_pose_t pose_a{{-12.5f, 40.25f, 7.125f, -170.5f, 33.0f, 0.75f}};

sim_options_t fixed_a()
{
    sim_options_t o;
    o.trajectory = fixed_pose(pose_a);
    return o;
}

// Catches a status record of the wrong size or header, modes that are not
// tracked, and a binary record whose floats are misplaced or in the wrong units.
TEST(simulators_fastrak, StatusThenModesThenBinaryCentimetrePose)
{
    pty_link_t link(make_device_sim("fastrak", fixed_a()));
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
    EXPECT_EQ(text.substr(0, 3), "01 ");
    EXPECT_NE(text.find("-170.50"), std::string::npos) << text;

    const std::string rec = host.ask("fuP", 29);
    float pose[6];
    ASSERT_TRUE(decode_fastrak_record(as_record(rec), pose));
    EXPECT_EQ(rec.substr(0, 3), "01 ");
    EXPECT_EQ(rec.substr(27), "\r\n");
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(pose[i], pose_a.v[i]) << i;
    EXPECT_EQ(sent_poses(link).size(), 2u) << "the text pose and this one";

    EXPECT_EQ(std::strtol(host.ask("S", 55).substr(3, 3).c_str(), nullptr, 16) & 0x3, 0x3);
    ASSERT_TRUE(decode_fastrak_record(as_record(host.ask("UP", 29)), pose));
    EXPECT_FLOAT_EQ(pose[0], pose_a.v[0] / 2.54f) << "inches";
    EXPECT_FLOAT_EQ(pose[3], pose_a.v[3]);
}

// Catches a wrong identification text, a binary record of the wrong layout,
// and units that do not follow U0/U1, for both models.
TEST(simulators_liberty, IdentificationAndBinaryRecordForBothModels)
{
    for (const std::string kind : {"liberty", "patriot"}) {
        SCOPED_TRACE(kind);
        pty_link_t link(make_device_sim(kind, fixed_a()));
        link.start();
        sim_host_t host(link);
        ASSERT_TRUE(host.ok());

        const std::string id = host.ask("\rF0\r\x16\r", 8192, 100);
        EXPECT_NE(id.find(kind == "patriot" ? "Polhemus Patriot" : "Polhemus Liberty"), std::string::npos) << id;
        EXPECT_TRUE(id.ends_with("\r\n"));

        float pose[6];
        ASSERT_TRUE(decode_liberty_record(as_record(host.ask("F1\rP", 34)), pose));
        EXPECT_FLOAT_EQ(pose[0], pose_a.v[0] / 2.54f) << "inches";

        const std::string rec = host.ask("U1\rP", 34);
        ASSERT_TRUE(decode_liberty_record(as_record(rec), pose));
        EXPECT_EQ(rec.substr(0, 3), kind == "patriot" ? std::string("PA\x01", 3) : std::string("LY\x01", 3));
        EXPECT_EQ(rec[4], 0);
        EXPECT_EQ(rec.substr(32), "\r\n");
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(pose[i], pose_a.v[i]) << i;
    }
}

}  // namespace
