// The receiver's clock: server stamps are moved onto this program's clock by
// the smallest stamp-to-arrival gap, and a dropped connection to the same
// server must not move later messages against earlier ones (a recording
// would jump in time), while another clock answering after it is relearnt.
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "acquisition/igtl_receiver.h"
#include "acquisition/igtl_server.h"

namespace {

constexpr std::uint64_t second = 10000000;  // master-clock ticks

class IgtlReceiverClock : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start(0));
        receiver = std::make_unique<igtl_receiver_t>("localhost", server.port(), [now = now] { return now->load(); });
        receiver->want_poses("Probe");
    }

    // The local time given to a pose stamped `stamp` that arrives `gap` ticks
    // later by this program's clock; published again while nothing comes, as
    // a new connection may not yet be served (a message for nobody is not sent).
    std::uint64_t time_given(std::uint64_t stamp, std::uint64_t gap)
    {
        now->store(stamp + gap);
        for (int attempt = 0; attempt < 20; ++attempt) {
            server.publish(pack_igtl_transform("Probe", matrix16d(), stamp));
            for (int waited = 0; waited < 1000; waited += 2) {
                const auto poses = receiver->take_poses();
                if (!poses.empty())
                    return poses.back().time;
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        }
        ADD_FAILURE() << "the pose stamped " << stamp << " never came";
        return 0;
    }

    // A message with a broken CRC: the receiver drops the connection and makes it again.
    void break_connection()
    {
        const auto before = receiver->status().unreadable;
        auto spoilt = std::make_shared<std::vector<unsigned char>>(*pack_igtl_transform("Probe", matrix16d(), second));
        spoilt->back() ^= 0x40;
        server.publish(spoilt);
        for (int waited = 0; waited < 5000 && receiver->status().unreadable == before; waited += 2)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ASSERT_EQ(receiver->status().unreadable, before + 1);
    }

    igtl_server_t server;
    std::shared_ptr<std::atomic<std::uint64_t>> now = std::make_shared<std::atomic<std::uint64_t>>(0);
    std::unique_ptr<igtl_receiver_t> receiver;
};

TEST_F(IgtlReceiverClock, AReconnectionKeepsTheServersTimingAndAnotherClockIsRelearnt)
{
    // Learning: the smallest gap so far is the offset.
    EXPECT_EQ(time_given(100 * second, 5000), 100 * second + 5000);
    EXPECT_EQ(time_given(101 * second, 3000), 101 * second + 3000);
    EXPECT_EQ(time_given(102 * second, 4000), 102 * second + 3000);
    EXPECT_EQ(time_given(0, 0), 0u) << "an unstamped message is taken at its arrival";
    EXPECT_EQ(time_given(103 * second, 4000), 103 * second + 3000);

    // The same server after a drop: a slower first message keeps the offset.
    break_connection();
    EXPECT_EQ(time_given(104 * second, 6000), 104 * second + 3000);
    EXPECT_EQ(time_given(105 * second, 3500), 105 * second + 3000);
    EXPECT_GE(receiver->status().attempts, 2u);

    // After another drop a clock a second apart answers: learnt afresh,
    // though a second is no jump within one connection.
    break_connection();
    EXPECT_EQ(time_given(106 * second, second + 3000), 106 * second + second + 3000);
    EXPECT_EQ(time_given(107 * second, second + 2000), 107 * second + second + 2000);
    EXPECT_EQ(time_given(108 * second, second + 2500), 108 * second + second + 2000);

    // The server's clock set anew mid-connection: learnt afresh too.
    EXPECT_EQ(time_given(50 * second, 5 * second), 55 * second);
    EXPECT_EQ(time_given(51 * second, 5 * second + 500), 56 * second);
}

}  // namespace
