// The bytes a slide puts on the wire for every command, read back from the
// far end of a pty, and the reply decoder.
#include <cmath>
#include <limits>
#include <string>
#include <thread>
#include <utility>

#include <gtest/gtest.h>

#include "devices/zaber_linear_slide.h"
#include "devices/zaber_protocol.h"
#include "support/log_capture.h"
#include "simulators/pty_link.h"
#include "simulators/zaber_sim.h"
#include "support/wait_until.h"
#include "zaber_rig.h"

namespace {

// The Zaber simulator, keeping every byte the host wrote.
class recording_sim_t : public zaber_sim_t {
public:
    explicit recording_sim_t(const zaber_sim_options_t& o) : zaber_sim_t(o) {}
    void receive(std::span<const unsigned char> bytes, const sim_line_t& line, double now,
                 std::vector<std::vector<unsigned char>>& out) override
    {
        heard.insert(heard.end(), bytes.begin(), bytes.end());
        zaber_sim_t::receive(bytes, line, now, out);
    }
    std::vector<unsigned char> heard;
};

using bytes_t = std::vector<unsigned char>;

class ZaberWire : public ::testing::Test {
protected:
    void SetUp() override
    {
        zaber_sim_options_t o;
        o.speed_mm_s = 400.0;
        link = std::make_unique<pty_link_t>(std::make_unique<recording_sim_t>(o));
        ASSERT_TRUE(link->ok());
        link->start();
        ASSERT_TRUE(port.open_port(link->port_path()));
        ASSERT_TRUE(port.set_params(9600, 8, 0, 0, 0));
    }
    // What the host wrote since the last call, once at least n bytes have come.
    bytes_t heard(std::size_t n = 0)
    {
        const auto size = [this] {
            return link->with_sim([](device_sim_t& s) { return static_cast<recording_sim_t&>(s).heard.size(); });
        };
        if (n == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(30));  // a wrong byte would arrive by now
        else
            wait_until([&] { return size() >= n; }, std::chrono::seconds(3));
        return link->with_sim([](device_sim_t& s) {
            auto& r = static_cast<recording_sim_t&>(s);
            return std::exchange(r.heard, {});
        });
    }
    std::unique_ptr<pty_link_t> link;
    serial_t port;
};

// Catches a wrong byte order, sign or command number, rounding other than
// half away from zero, and values beyond 32 bits or not finite reaching the wire.
TEST_F(ZaberWire, EveryCommandAsSixLittleEndianBytes)
{
    zaberLinearSlide slide(2, port, fast_timing());
    ASSERT_TRUE(slide.initialise());
    EXPECT_EQ(heard(), (bytes_t{2, 53, 37, 0, 0, 0, 2, 60, 0, 0, 0, 0}));
    EXPECT_DOUBLE_EQ(slide.microsteps_per_cm(), 64 * 10 * 200 / 6.35);

    slide.moveToPosition(1.0);  // 20157.48 microsteps -> 20157 = 0x4EBD
    bytes_t wire = heard();
    ASSERT_GE(wire.size(), 12u);
    EXPECT_EQ(bytes_t(wire.begin(), wire.begin() + 6), (bytes_t{2, 20, 0xBD, 0x4E, 0, 0}));
    EXPECT_EQ(bytes_t(wire.begin() + 6, wire.begin() + 12), (bytes_t{2, 54, 0, 0, 0, 0}));
    EXPECT_EQ(bytes_t(wire.end() - 6, wire.end()), (bytes_t{2, 60, 0, 0, 0, 0}));

    struct case_t {
        int command;
        double data;
        bytes_t bytes;  // empty: refused before the wire
    };
    const case_t cases[] = {
        {21, 2.5, {2, 21, 3, 0, 0, 0}},
        {21, -2.5, {2, 21, 0xFD, 0xFF, 0xFF, 0xFF}},
        {21, -0.4, {2, 21, 0, 0, 0, 0}},
        {20, 2147483647.0, {2, 20, 0xFF, 0xFF, 0xFF, 0x7F}},
        {20, -2147483648.0, {2, 20, 0, 0, 0, 0x80}},
        {20, -20157.0, {2, 20, 0x43, 0xB1, 0xFF, 0xFF}},
        {23, 0, {2, 23, 0, 0, 0, 0}},
        {1, 0, {2, 1, 0, 0, 0, 0}},
        {20, 2147483647.5, {}},
        {20, -2147483649.0, {}},
        {21, std::nan(""), {}},
        {21, std::numeric_limits<double>::infinity(), {}},
        {20, -std::numeric_limits<double>::infinity(), {}},
    };
    for (const case_t& c : cases) {
        SCOPED_TRACE(c.data);
        log_capture log;
        const bool sent = slide.sendCmd(c.command, c.data);
        EXPECT_EQ(sent, !c.bytes.empty());
        EXPECT_EQ(heard(c.bytes.size()), c.bytes);
        if (c.bytes.empty()) {
            EXPECT_TRUE(log.contains(std::isfinite(c.data) ? "magnitude of command value is too large"
                                                           : "command value is not a finite number",
                                     wxLOG_Error));
        }
        slide.waitForMovement();
        heard();
    }
    // A move too far for 32 bits fails without a byte sent and keeps the target where the stage is.
    slide.moveToPosition(1.0e6);
    const bytes_t after = heard();
    EXPECT_EQ(bytes_t(after.begin(), after.begin() + 2), (bytes_t{2, 60})) << "only the position is read";
    EXPECT_EQ(slide.target(), static_cast<double>(slide.last_position()));
}

// Catches a decoder that reads past a short record or mis-signs the data.
TEST(ZaberProtocol, DecodesOnlySixByteRecords)
{
    const bytes_t r = {3, 255, 20, 0, 0, 0};
    const auto reply = zaber::decode(r);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->device, 3);
    EXPECT_EQ(reply->command, 255);
    EXPECT_EQ(reply->data, 20);
    const bytes_t negative = {1, 60, 0xFE, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(zaber::decode(negative)->data, -2);
    EXPECT_FALSE(zaber::decode(std::span(r).first(5)));
    EXPECT_FALSE(zaber::decode(bytes_t(7, 0)));
}

// Catches a resolution of 0 (positions divided by zero) or beyond 256 accepted.
TEST_F(ZaberWire, AResolutionOutsideOneTo256FailsTheSlide)
{
    for (const int resolution : {0, 257, -3}) {
        link->with_sim([&](device_sim_t& s) {
            zaber_sim_options_t o;
            o.resolution = resolution;
            static_cast<zaber_sim_t&>(s).set_options(o);
        });
        zaberLinearSlide slide(1, port, fast_timing());
        log_capture log;
        EXPECT_FALSE(slide.initialise()) << resolution;
        EXPECT_FALSE(slide.ok());
        EXPECT_TRUE(log.contains("outside 1 to 256", wxLOG_Error));
        EXPECT_TRUE(std::isfinite(slide.home()));
        heard();
        EXPECT_EQ(slide.step(1.0), 0.0);
        EXPECT_TRUE(heard().empty()) << "a slide that is not ok sends nothing";
    }
}

}  // namespace
