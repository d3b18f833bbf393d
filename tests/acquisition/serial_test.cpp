// serial_t against a pseudo-terminal: the test holds the master side and plays
// the device, serial_t opens the slave path.
#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include "acquisition/serial.h"
#include "support/log_capture.h"

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
        ASSERT_TRUE(port_.open_port(path_));
    }
    void TearDown() override
    {
        port_.close_port();
        if (master_ >= 0)
            ::close(master_);
        if (slave_ >= 0)
            ::close(slave_);
    }

    void open_raw(long speed = 38400) { ASSERT_TRUE(port_.set_params(speed, 8, 0, 0, 0)); }

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
    std::string path_;
    serial_t port_;
};

// Catches a wrong speed table or a line left in cooked mode (echo, CR/LF mapping, blocking reads).
TEST_F(pty_device, TrackerSettingsGiveRaw8N1WithoutFlowControl)
{
    open_raw(38400);
    const termios t = slave_settings();
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
}

// Catches parity, data-bit, stop-bit or flow arguments being ignored (ptys refuse parity, so checked before applying).
TEST(serial_line_settings, SevenBitsOddParityTwoStopsAndHardwareFlowAreProgrammed)
{
    termios t{};
    ASSERT_TRUE(serial_t::line_settings(9600, 7, 1, 1, 1, &t));
    EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B9600));
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS7));
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CSTOPB | CRTSCTS),
              static_cast<tcflag_t>(PARENB | PARODD | CSTOPB | CRTSCTS));
    ASSERT_TRUE(serial_t::line_settings(115200, 8, 2, 0, 0, &t));  // even parity: PARODD clear
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | PARODD), static_cast<tcflag_t>(CS8 | PARENB));
}

// Catches a speed missing from the table of supported line speeds.
TEST(serial_line_settings, EverySupportedSpeedIsAccepted)
{
    termios t{};
    for (const long speed : {300L, 1200L, 2400L, 4800L, 9600L, 19200L, 38400L, 57600L, 115200L, 921600L, 1228739L})
        EXPECT_TRUE(serial_t::line_settings(speed, 8, 0, 0, 0, &t)) << speed;
    EXPECT_FALSE(serial_t::line_settings(14400, 8, 0, 0, 0, &t));
}

// Catches two stop bits or hardware flow being dropped on the way to the line.
TEST_F(pty_device, TwoStopsAndHardwareFlowReachTheLine)
{
    ASSERT_TRUE(port_.set_params(921600, 8, 0, 1, 1));
    const termios t = slave_settings();
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B921600));
    EXPECT_EQ(t.c_cflag & (CSTOPB | CRTSCTS), static_cast<tcflag_t>(CSTOPB | CRTSCTS));
}

// Catches the 1.2 Mbaud converter speed being rejected or mapped to another code.
TEST_F(pty_device, ConverterSpeedUsesThe19200Code)
{
    ASSERT_TRUE(port_.set_params(1228739, 8, 0, 0, 0));
    const termios t = slave_settings();
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B19200));
}

// Catches an unsupported speed being accepted or leaving the port open.
TEST_F(pty_device, UnsupportedSpeedFailsAndClosesThePort)
{
    log_capture log;
    EXPECT_FALSE(port_.set_params(14400, 8, 0, 0, 0));
    EXPECT_TRUE(log.contains("serial: invalid serial speed"));
    EXPECT_FALSE(port_.is_open());
    EXPECT_FALSE(port_.pwrite("x", 1));
}

// Catches writes that are altered by output processing or cut short.
TEST_F(pty_device, WritesArriveByteExact)
{
    open_raw();
    const std::string sent("P\r\n\0\x11\x13\x7f\xff\x80 Y", 11);
    ASSERT_TRUE(port_.pwrite(sent.data(), sent.size()));
    EXPECT_EQ(device_read(sent.size()), sent);
}

// Catches input translation (CR to LF, stripping the eighth bit) on the way in.
TEST_F(pty_device, BinaryRecordOfFixedLengthComesThroughUnchanged)
{
    open_raw();
    port_.set_record_length(6);
    const std::string reply("\r\n\0\x11\xff\x80", 6);
    device_write(reply);
    ASSERT_EQ(port_.pread(true, 500 * ticks_per_ms), 6u);
    EXPECT_EQ(record(), reply);
}

// Catches a record of fixed length being returned before all its fragments arrived.
TEST_F(pty_device, LengthRecordIsAssembledFromDelayedFragments)
{
    open_raw();
    port_.set_record_length(9);
    std::thread device([this] {
        device_write("0");
        std::this_thread::sleep_for(30ms);
        device_write("1 ab");
        std::this_thread::sleep_for(30ms);
        device_write("cdef");
    });
    const std::size_t n = port_.pread(true, 500 * ticks_per_ms);
    device.join();
    ASSERT_EQ(n, 9u);
    EXPECT_EQ(record(), "01 abcdef");
}

// Catches a terminated record being cut at a fragment boundary.
TEST_F(pty_device, TerminatedRecordIsAssembledFromDelayedFragments)
{
    open_raw();
    port_.set_record_length(serial_t::buffer_size, '\r');
    std::thread device([this] {
        device_write("OKAY");
        std::this_thread::sleep_for(30ms);
        device_write("A3");
        std::this_thread::sleep_for(30ms);
        device_write("F2\r");
    });
    const std::size_t n = port_.pread(true, 500 * ticks_per_ms);
    device.join();
    ASSERT_EQ(n, 9u);
    EXPECT_EQ(record(), "OKAYA3F2\r");
}

// Catches several fixed-length records in one write being merged or the later ones lost.
TEST_F(pty_device, SeveralLengthRecordsInOneWriteComeOutOneByOne)
{
    open_raw();
    port_.set_record_length(4);
    device_write("AAAABBBBCCCC");
    for (const char* expected : {"AAAA", "BBBB", "CCCC"}) {
        ASSERT_EQ(port_.pread(true, 500 * ticks_per_ms), 4u);
        EXPECT_EQ(record(), expected);
    }
    EXPECT_EQ(port_.pread(false, 500 * ticks_per_ms), 0u);
}

// Catches several terminated records in one write being merged or the later ones lost.
TEST_F(pty_device, SeveralTerminatedRecordsInOneWriteComeOutOneByOne)
{
    open_raw();
    port_.set_record_length(serial_t::buffer_size, '\n');
    device_write("one\ntwo two\nthree\n");
    for (const char* expected : {"one\n", "two two\n", "three\n"}) {
        ASSERT_GT(port_.pread(true, 500 * ticks_per_ms), 0u);
        EXPECT_EQ(record(), expected);
    }
}

// Catches a waiting read that hangs, or invents data, when the device stays silent.
TEST_F(pty_device, SilentDeviceTimesOutWithNothing)
{
    open_raw();
    port_.set_record_length(10);
    const auto start = steady::now();
    EXPECT_EQ(port_.pread(true, 100 * ticks_per_ms), 0u);
    const auto waited = steady::now() - start;
    EXPECT_GE(waited, 50ms);
    EXPECT_LT(waited, 2s);
    EXPECT_TRUE(record().empty());
}

// Catches a partial reply being lost, or held forever, after the device falls silent.
TEST_F(pty_device, PartialReplyIsReturnedShortAfterSilence)
{
    open_raw();
    port_.set_record_length(29);
    device_write("0Y ");
    const auto start = steady::now();
    ASSERT_EQ(port_.pread(true, 50 * ticks_per_ms), 3u);
    EXPECT_LT(steady::now() - start, 2s);
    EXPECT_EQ(record(), "0Y ");
}

// Catches non-waiting polls dropping the partial data they have already read.
TEST_F(pty_device, NonWaitingPollsKeepPartialData)
{
    open_raw();
    port_.set_record_length(6);
    device_write("abc");
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(port_.pread(false, 5000 * ticks_per_ms), 0u);
    EXPECT_EQ(port_.held(), 3u);
    device_write("def");
    std::this_thread::sleep_for(30ms);
    ASSERT_EQ(port_.pread(false, 5000 * ticks_per_ms), 6u);
    EXPECT_EQ(record(), "abcdef");
}

// Catches stale input surviving set_record_length and corrupting the next reply.
TEST_F(pty_device, SetRecordLengthDiscardsStaleInput)
{
    open_raw();
    device_write("stale bytes");
    std::this_thread::sleep_for(50ms);
    port_.set_record_length(5);
    device_write("fresh");
    ASSERT_EQ(port_.pread(true, 500 * ticks_per_ms), 5u);
    EXPECT_EQ(record(), "fresh");
}

// Catches garbage without a terminator overflowing the 8192-byte record buffer or stalling the reader.
TEST_F(pty_device, OverlongGarbageIsCutAtTheBufferSize)
{
    open_raw();
    port_.set_record_length(serial_t::buffer_size, '\r');
    const std::size_t total = 20000;
    std::string garbage(total, '\0');
    for (std::size_t i = 0; i < total; ++i)
        garbage[i] = static_cast<char>(i % 251 == 13 ? 'x' : i % 251);  // never '\r'
    std::thread device([&] { device_write(garbage); });
    std::string received;
    std::size_t longest = 0;
    const auto end = steady::now() + 5s;
    while (received.size() < total && steady::now() < end) {
        const std::size_t n = port_.pread(true, 200 * ticks_per_ms);
        longest = std::max(longest, n);
        received += record();
    }
    device.join();
    EXPECT_EQ(longest, serial_t::buffer_size);
    EXPECT_EQ(received, garbage);
}

// Catches a missing device being reported as open, or with another message.
TEST(serial_port, MissingDeviceFailsWithMessage)
{
    log_capture log;
    serial_t port;
    EXPECT_FALSE(port.open_port("/dev/kestrane-no-such-tty"));
    EXPECT_TRUE(log.contains("Couldn't open /dev/kestrane-no-such-tty for reading"));
    EXPECT_FALSE(port.is_open());
}

// Catches the empty name not falling back to /dev/null.
TEST(serial_port, EmptyNameOpensDevNull)
{
    serial_t port;
    ASSERT_TRUE(port.open_port(""));
    EXPECT_TRUE(port.is_open());
    EXPECT_EQ(port.pread(false, 10 * ticks_per_ms), 0u);
}

// Catches break and write being attempted on a closed port.
TEST(serial_port, ClosedPortRefusesBreakAndWrite)
{
    serial_t port;
    EXPECT_FALSE(port.send_break());
    EXPECT_FALSE(port.pwrite("a", 1));
    EXPECT_EQ(port.pread(true, 10 * ticks_per_ms), 0u);
}

// Catches a break that fails on an open line or disturbs the data after it.
TEST_F(pty_device, BreakSucceedsAndLineStillCarriesData)
{
    open_raw();
    EXPECT_TRUE(port_.send_break());
    ASSERT_TRUE(port_.pwrite("Z", 1));
    EXPECT_EQ(device_read(1), "Z");
}

}  // namespace
