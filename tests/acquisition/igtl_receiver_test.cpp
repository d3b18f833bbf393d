// The receiver's clock: server stamps are moved onto this program's clock by
// the smallest stamp-to-arrival gap, learnt over a second (or 50 messages) of
// a server's clock with nothing passed on before, and fixed after, so that a
// frame and the pose sent with it get the same time. A dropped connection to
// the same server must not move later messages against earlier ones (a
// recording would jump in time), while another clock answering is relearnt.
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
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

    // Publishes a pose stamped `stamp` arriving `gap` ticks later by this
    // program's clock, again while the receiver has not read it, as a new
    // connection may not yet be served (a message for nobody is not sent).
    // The time it was given, or none while the clock is learnt.
    std::optional<std::uint64_t> time_given(std::uint64_t stamp, std::uint64_t gap)
    {
        now->store(stamp + gap);
        for (int attempt = 0; attempt < 20; ++attempt) {
            const auto skipped = receiver->status().skipped;
            server.publish(pack_igtl_transform("Probe", matrix16d(), stamp));
            for (int waited = 0; waited < 1000; waited += 2) {
                const auto poses = receiver->take_poses();
                if (!poses.empty())
                    return poses.back().time;
                if (receiver->status().skipped > skipped)
                    return std::nullopt;
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        }
        ADD_FAILURE() << "the pose stamped " << stamp << " never came";
        return std::nullopt;
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

TEST_F(IgtlReceiverClock, LearntOverASecondThenFixedAndKeptAcrossAReconnection)
{
    const std::uint64_t ms = second / 1000;
    // Learning: nothing is passed on within the first second of stamps...
    EXPECT_FALSE(time_given(100 * second, 5000));
    EXPECT_FALSE(time_given(100 * second + 300 * ms, 3000));
    EXPECT_FALSE(time_given(100 * second + 600 * ms, 4000));
    EXPECT_EQ(time_given(0, 0), 0u) << "an unstamped message is taken at its arrival";
    // ... which ends it, with the smallest gap, and the gap stays put after.
    EXPECT_EQ(time_given(101 * second + 500 * ms, 4000), 101 * second + 500 * ms + 3000);
    EXPECT_EQ(time_given(102 * second, 2000), 102 * second + 3000);
    EXPECT_EQ(receiver->status().skipped, 3u);

    // The same server after a drop: a slower first message keeps the offset.
    break_connection();
    EXPECT_EQ(time_given(103 * second, 6000), 103 * second + 3000);
    EXPECT_EQ(time_given(104 * second, 3500), 104 * second + 3000);
    EXPECT_GE(receiver->status().attempts, 2u);

    // After another drop a clock a second apart answers: learnt afresh,
    // though a second is no jump within one connection; fifty messages end
    // the learning however quickly they come.
    break_connection();
    for (int k = 0; k < 49; ++k)
        EXPECT_FALSE(time_given(105 * second + k * ms, second + 3000 - k)) << k;
    EXPECT_EQ(time_given(105 * second + 49 * ms, second + 5000), 105 * second + 49 * ms + second + 3000 - 48);

    // The server's clock set anew mid-connection: learnt afresh too.
    EXPECT_FALSE(time_given(50 * second, 5 * second));
    EXPECT_EQ(time_given(52 * second, 5 * second + 500), 57 * second);
}

}  // namespace
