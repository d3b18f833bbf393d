// serial_t against a pseudo-terminal: the test holds the master side and plays
// the device, serial_t opens the slave path.
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "acquisition/serial.h"
#include "acquisition/serial_termios2.h"
#include "support/log_capture.h"
#include "support/wait_until.h"

namespace {

using namespace std::chrono_literals;
using steady = std::chrono::steady_clock;

constexpr std::uint64_t ticks_per_ms = 10000;

class pty_device : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[256] = {};
        ASSERT_EQ(::openpty(&master_, &slave_, name, nullptr, nullptr), 0);
        path_ = name;
        ASSERT_TRUE(port_.open_port(name));
        ASSERT_TRUE(port_.set_params(38400, 8, 0, 0, 0));  // as the tracker drivers set it
    }
    void TearDown() override
    {
        port_.close_port();
        if (master_ >= 0)
            ::close(master_);
        if (slave_ >= 0)
            ::close(slave_);
    }

    // The device answers.
    void device_write(const std::string& s) const
    {
        std::size_t done = 0;
        while (done < s.size()) {
            const ssize_t n = ::write(master_, s.data() + done, s.size() - done);
            ASSERT_GT(n, 0);
            done += static_cast<std::size_t>(n);
        }
    }

    // What reached the device, waiting up to limit for n bytes.
    std::string device_read(std::size_t n, std::chrono::milliseconds limit = 2000ms) const
    {
        std::string got;
        const auto end = steady::now() + limit;
        while (got.size() < n && steady::now() < end) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            char buf[512];
            const ssize_t r = ::read(master_, buf, std::min(sizeof buf, n - got.size()));
            if (r > 0)
                got.append(buf, static_cast<std::size_t>(r));
        }
        return got;
    }

    // Bytes the device sent that serial_t has not read yet.
    int unread() const
    {
        int n = 0;
        EXPECT_EQ(::ioctl(slave_, FIONREAD, &n), 0);
        return n;
    }

    std::string record() const
    {
        const auto r = port_.record();
        return {r.begin(), r.end()};
    }

    termios slave_settings() const
    {
        termios t{};
        EXPECT_EQ(::tcgetattr(slave_, &t), 0);
        return t;
    }

    int master_ = -1;
    int slave_ = -1;
    serial_t port_;
    std::string path_;
};

// Catches a wrong speed table or a line left in cooked mode (echo, CR/LF mapping, blocking reads).
TEST_F(pty_device, TrackerSettingsGiveRaw8N1WithoutFlowControl)
{
    termios t = slave_settings();
    EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B38400));
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B38400));
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);

    // Two stop bits and hardware flow reach the line; the 1.2 Mbaud converter speed uses the 19200 code.
    ASSERT_TRUE(port_.set_params(921600, 8, 0, 1, 1));
    t = slave_settings();
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B921600));
    EXPECT_EQ(t.c_cflag & (CSTOPB | CRTSCTS), static_cast<tcflag_t>(CSTOPB | CRTSCTS));
    ASSERT_TRUE(port_.set_params(1228739, 8, 0, 0, 0));
    t = slave_settings();
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B19200));

    // An unsupported speed fails and leaves the port closed.
    log_capture log;
    EXPECT_FALSE(port_.set_params(14400, 8, 0, 0, 0));
    EXPECT_TRUE(log.contains("serial: invalid serial speed"));
    EXPECT_FALSE(port_.is_open());
    EXPECT_FALSE(port_.pwrite("x", 1));
}

// Catches 28800 bps (the swept-probe motor's speed, which has no B-constant)
// being refused, set as another speed, or left behind when the line is set
// to an ordinary speed again; other odd speeds stay refused.
TEST_F(pty_device, TwentyEightThousandEightHundredIsSetThroughTermios2)
{
    ASSERT_TRUE(port_.set_params(28800, 8, 0, 0, 0));
    EXPECT_EQ(serial_termios2::output_speed(slave_), 28800);
    EXPECT_EQ(serial_termios2::output_speed(master_), 28800) << "the far end of the line sees it too";
    termios t = slave_settings();
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);

    ASSERT_TRUE(port_.set_params(38400, 8, 0, 0, 0));
    EXPECT_EQ(serial_termios2::output_speed(slave_), 38400);
    t = slave_settings();
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B38400));

    for (const long odd : {28799L, 28801L, 14400L, 0L, -28800L}) {
        ASSERT_TRUE(port_.open_port(path_)) << odd;
        log_capture log;
        EXPECT_FALSE(port_.set_params(odd, 8, 0, 0, 0)) << odd;
        EXPECT_TRUE(log.contains("serial: invalid serial speed")) << odd;
        EXPECT_FALSE(port_.is_open()) << odd;
    }
    termios unused{};
    EXPECT_FALSE(serial_t::line_settings(28800, 8, 0, 0, 0, &unused)) << "termios cannot hold it";
}

// Catches parity or data-bit arguments being ignored (ptys refuse parity, so checked before applying).
TEST(serial_line_settings, SevenBitsOddParityAndEvenParityAreProgrammed)
{
    termios t{};
    ASSERT_TRUE(serial_t::line_settings(9600, 7, 1, 1, 1, &t));
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS7));
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD), static_cast<tcflag_t>(PARENB | PARODD));
    ASSERT_TRUE(serial_t::line_settings(115200, 8, 2, 0, 0, &t));  // even parity: PARODD clear
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | PARODD), static_cast<tcflag_t>(CS8 | PARENB));
}

// Catches output processing, input translation (CR to LF, the eighth bit
// stripped) or a break disturbing the data after it.
TEST_F(pty_device, BytesPassUnchangedBothWays)
{
    const std::string sent("P\r\n\0\x11\x13\x7f\xff\x80 Y", 11);
    ASSERT_TRUE(port_.pwrite(sent.data(), sent.size()));
    EXPECT_EQ(device_read(sent.size()), sent);

    port_.set_record_length(6);
    const std::string reply("\r\n\0\x11\xff\x80", 6);
    device_write(reply);
    ASSERT_EQ(port_.pread(true, 500 * ticks_per_ms), 6u);
    EXPECT_EQ(record(), reply);

    EXPECT_TRUE(port_.send_break());
    ASSERT_TRUE(port_.pwrite("Z", 1));
    EXPECT_EQ(device_read(1), "Z");
}

// Catches a record being returned before all its fragments arrived, cut at
// a fragment boundary, or several records in one write merged or lost.
TEST_F(pty_device, RecordsOfLengthOrTerminatorAreAssembledAndSplit)
{
    const struct {
        std::size_t length;
        unsigned char terminator;
        std::vector<std::string> fragments, several;
    } cases[] = {{9, 0, {"0", "1 ab", "cdef"}, {"AAAA", "BBBB", "CCCC"}},
                 {serial_t::buffer_size, '\r', {"OKAY", "A3", "F2\r"}, {"one\r", "two two\r", "three\r"}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        port_.set_record_length(c.length, c.terminator);
        // Each fragment waits until serial_t has read what arrived before it, so that they mostly arrive apart.
        std::thread device([&] {
            for (std::size_t i = 0; i < c.fragments.size(); ++i) {
                if (i > 0)
                    wait_until([&] { return unread() == 0; });
                device_write(c.fragments[i]);
            }
        });
        const std::size_t n = port_.pread(true, 5000 * ticks_per_ms);
        device.join();
        EXPECT_EQ(record(), c.fragments[0] + c.fragments[1] + c.fragments[2]);
        EXPECT_EQ(n, 9u);

        port_.set_record_length(c.terminator ? c.length : 4, c.terminator);
        device_write(c.several[0] + c.several[1] + c.several[2]);
        for (const std::string& expected : c.several) {
            ASSERT_GT(port_.pread(true, 500 * ticks_per_ms), 0u);
            EXPECT_EQ(record(), expected);
        }
        EXPECT_EQ(port_.pread(false, 500 * ticks_per_ms), 0u);
    }
}

// Catches a waiting read that hangs, or invents data, when the device stays
// silent, and a partial reply lost or held forever once it falls silent.
TEST_F(pty_device, SilenceEndsAWaitingRead)
{
    port_.set_record_length(29);
    auto start = steady::now();
    EXPECT_EQ(port_.pread(true, 100 * ticks_per_ms), 0u);
    EXPECT_GE(steady::now() - start, 50ms);
    EXPECT_LT(steady::now() - start, 2s);
    EXPECT_TRUE(record().empty());

    device_write("0Y ");
    start = steady::now();
    ASSERT_EQ(port_.pread(true, 50 * ticks_per_ms), 3u);
    EXPECT_LT(steady::now() - start, 2s);
    EXPECT_EQ(record(), "0Y ");
}

// Catches non-waiting polls dropping the partial data they have already
// read, and stale input surviving set_record_length.
TEST_F(pty_device, PartialDataIsKeptButStaleInputDiscarded)
{
    port_.set_record_length(6);
    device_write("abc");
    EXPECT_TRUE(wait_until([&] { return port_.pread(false, 5000 * ticks_per_ms) != 0 || port_.held() == 3; }));
    EXPECT_EQ(port_.held(), 3u) << "no record yet";
    device_write("def");
    std::size_t n = 0;
    wait_until([&] { return (n = port_.pread(false, 5000 * ticks_per_ms)) != 0; });
    ASSERT_EQ(n, 6u);
    EXPECT_EQ(record(), "abcdef");

    device_write("stale bytes");
    ASSERT_TRUE(wait_until([&] { return unread() == 11; }));
    port_.set_record_length(5);
    device_write("fresh");
    ASSERT_EQ(port_.pread(true, 500 * ticks_per_ms), 5u);
    EXPECT_EQ(record(), "fresh");
}

// Catches garbage without a terminator overflowing the record buffer or stalling the reader.
TEST_F(pty_device, OverlongGarbageIsCutAtTheBufferSize)
{
    port_.set_record_length(serial_t::buffer_size, '\r');
    std::string garbage(20000, '\0');
    for (std::size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<char>(i % 251 == 13 ? 'x' : i % 251);  // never '\r'
    std::thread device([&] { device_write(garbage); });
    std::string received;
    std::size_t longest = 0;
    const auto end = steady::now() + 5s;
    while (received.size() < garbage.size() && steady::now() < end) {
        longest = std::max(longest, port_.pread(true, 200 * ticks_per_ms));
        received += record();
    }
    device.join();
    EXPECT_EQ(longest, serial_t::buffer_size);
    EXPECT_EQ(received, garbage);
}

// Catches a missing device reported as open, the empty name not falling
// back to /dev/null, and a closed port that still tries to write or break.
TEST(serial_port, MissingEmptyAndClosedPorts)
{
    log_capture log;
    serial_t port;
    EXPECT_FALSE(port.open_port("/dev/kestrane-no-such-tty"));
    EXPECT_TRUE(log.contains("Couldn't open /dev/kestrane-no-such-tty"));
    EXPECT_FALSE(port.is_open());
    EXPECT_FALSE(port.send_break());
    EXPECT_FALSE(port.pwrite("a", 1));
    EXPECT_EQ(port.pread(true, 10 * ticks_per_ms), 0u);

    ASSERT_TRUE(port.open_port(""));
    EXPECT_TRUE(port.is_open());
    EXPECT_EQ(port.pread(false, 10 * ticks_per_ms), 0u);
}

}  // namespace
