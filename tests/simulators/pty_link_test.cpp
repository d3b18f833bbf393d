// The link between simulator and host: line checks and injected faults, seen
// from serial_t on the other end of a real pty.
#include <chrono>
#include <functional>
#include <numeric>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sim_host.h"
#include "simulators/sim_factory.h"

namespace {

using steady = std::chrono::steady_clock;

std::unique_ptr<device_sim_t> fastrak()
{
    sim_options_t o;
    o.trajectory = fixed_pose({{1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f}});
    return make_device_sim("fastrak", o);
}

// Catches a device that answers a host at the wrong speed or with flow
// control, and a link that stays deaf once the host corrects its line.
TEST(simulators_link, WrongHostLineGetsNoReplyAndIsCounted)
{
    pty_link_t link(fastrak());
    link.start();
    {
        sim_host_t slow(link, 9600);
        ASSERT_TRUE(slow.ok());
        EXPECT_EQ(slow.ask_expecting_silence("S", 55, 200), "");
    }
    const int after_speed = link.line_mismatches();
    EXPECT_GE(after_speed, 1);
    {
        sim_host_t flow(link, 38400, 1);
        ASSERT_TRUE(flow.ok());
        EXPECT_EQ(flow.ask_expecting_silence("S", 55, 200), "");
    }
    EXPECT_GT(link.line_mismatches(), after_speed);

    sim_host_t right(link);
    ASSERT_TRUE(right.ok());
    EXPECT_EQ(right.ask("S", 55).size(), 55u);
}

// Catches latency that is not applied, and replies that are not split into
// pieces of the stated size or lose bytes when split.
TEST(simulators_link, LatencyAndFragmentsAreAppliedToReplies)
{
    pty_link_t link(fastrak(), {.latency = 0.15, .fragment = 5, .fragment_gap = 0.1});
    link.start();
    sim_host_t host(link);
    ASSERT_TRUE(host.ok());

    // Short silence limits so that each piece comes back as a record of its own.
    serial_t& port = host.port();
    port.set_record_length(29);
    const auto asked = steady::now();
    ASSERT_TRUE(port.pwrite("fuP", 3));
    std::vector<std::string> pieces;
    std::string whole;
    std::chrono::duration<double> first_after{};
    while (whole.size() < 29 && steady::now() - asked < std::chrono::seconds(3)) {
        if (port.pread(true, 40 * sim_ticks_per_ms) == 0)
            continue;
        if (pieces.empty())
            first_after = steady::now() - asked;
        const auto r = port.record();
        pieces.emplace_back(r.begin(), r.end());
        whole += pieces.back();
    }
    EXPECT_GE(first_after.count(), 0.14);
    ASSERT_EQ(whole.size(), 29u);
    // A busy machine may merge pieces, never cut them elsewhere.
    EXPECT_GE(pieces.size(), 2u);
    for (std::size_t i = 0; i + 1 < pieces.size(); ++i)
        EXPECT_EQ(pieces[i].size() % 5, 0u) << i;
    float pose[6];
    ASSERT_TRUE(decode_fastrak_record(as_record(whole), pose));
    EXPECT_EQ(pose[5], 6.0f);
}

// Catches drops and corruption hitting the wrong replies, or corruption
// changing more than one byte.
TEST(simulators_link, DropAndCorruptHitEveryNthReply)
{
    pty_link_t link(fastrak());
    link.start();
    sim_host_t host(link);
    ASSERT_TRUE(host.ok());
    const std::string clean = host.ask("S", 55);
    ASSERT_EQ(clean.size(), 55u);

    link.set_faults({.drop_every = 3});
    for (int i = 1; i <= 6; ++i) {
        const bool dropped = i % 3 == 0;
        EXPECT_EQ(dropped ? host.ask_expecting_silence("S", 55, 150) : host.ask("S", 55), dropped ? "" : clean) << i;
    }

    link.set_faults({.corrupt_every = 2});
    for (int i = 1; i <= 4; ++i) {
        const std::string r = host.ask("S", 55);
        ASSERT_EQ(r.size(), 55u) << i;
        const int differing =
            std::inner_product(r.begin(), r.end(), clean.begin(), 0, std::plus<>(), std::not_equal_to<>());
        EXPECT_EQ(differing, i % 2 == 0 ? 1 : 0) << i;
    }
}

// Catches a missing tool that still reports poses, or that silences the
// device's other answers, for each protocol family.
TEST(simulators_link, MissingToolLeavesOnlyPoseRequestsUnanswered)
{
    struct case_t {
        const char* kind;
        std::string pose_request;
        std::size_t pose_length;
        std::string other;
        std::size_t other_length;
    };
    const case_t cases[] = {
        {"fastrak", "fuP", 29, "S", 55},
        {"liberty", "F1\rU1\rP", 34, "\x16\r", 0},
        {"flock", "YB", 12, std::string("O\x0F", 2), 10},
    };
    for (const case_t& c : cases) {
        SCOPED_TRACE(c.kind);
        sim_options_t o;
        o.tool_missing = true;
        pty_link_t link(make_device_sim(c.kind, o));
        link.start();
        sim_host_t host(link);
        ASSERT_TRUE(host.ok());
        EXPECT_EQ(host.ask_expecting_silence(c.pose_request, c.pose_length, 200), "");
        const std::string other = host.ask(c.other, c.other_length > 0 ? c.other_length : 8192, 100);
        if (c.other_length > 0)
            EXPECT_EQ(other.size(), c.other_length);
        else
            EXPECT_FALSE(other.empty());
        EXPECT_TRUE(sent_poses(link).empty());
    }
}

}  // namespace
