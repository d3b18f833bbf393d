// The Polaris reply protocol without a line: CRC, texts, field readers, the
// quaternion conversion and the two tracking-reply layouts.
#include <array>
#include <cmath>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "acquisition/polaris_protocol.h"
#include "common/matrix16d.h"

namespace {

using checked_t = std::pair<polaris_reply_check_t, std::string>;

// The verdict on a record and the text before its CRC.
checked_t check(const std::string& record)
{
    std::string_view body;
    const auto verdict =
        polaris_check_reply({reinterpret_cast<const unsigned char*>(record.data()), record.size()}, &body);
    return {verdict, std::string(body)};
}

// Quaternion and translation fields of a transformation entry, then the RMS error.
const std::string identity_at_1_m05_20 = "+10000+00000+00000+00000+001000-000500+020000+00120";

TEST(PolarisReply, CrcIsTheTrackersOwn)
{
    EXPECT_EQ(polaris_crc16("123456789"), 0xBB3D);
    EXPECT_EQ(polaris_frame_reply("OKAY"), "OKAYA896\r");
    const checked_t ok{polaris_reply_check_t::ok, "OKAY"};
    EXPECT_EQ(check("OKAYA896\r"), ok);
    EXPECT_EQ(check("OKAYa896\r"), ok) << "hex digits in any case";
    for (const char* bad : {"OKAYA897\r", "OKAXA896\r", "OKAYA8G6\r", "A89\r", "\r"})
        EXPECT_EQ(check(bad).first, polaris_reply_check_t::bad_crc) << bad;
    EXPECT_EQ(check("OKAYA896").first, polaris_reply_check_t::unterminated);
    EXPECT_EQ(check("").first, polaris_reply_check_t::unterminated);
}

TEST(PolarisReply, ErrorMessagesNameCommandReplyAndCode)
{
    EXPECT_EQ(polaris_error_message("ERROR01", "GX"), "Polaris error: GX returned ERROR01 (Invalid command)");
    EXPECT_EQ(polaris_error_message("ERROR26", "TX"), "Polaris error: TX returned ERROR26 ()") << "no text";
    // Outside the table, not hex, or too short.
    for (const char* reply : {"ERROR00", "ERRORF7", "ERRORZ1", "ERROR"})
        EXPECT_TRUE(polaris_error_message(reply, "TX").EndsWith(" (Error out of range)")) << reply;
    // Anything else is a communication fault; control bytes are shown, not sent to the log raw.
    EXPECT_EQ(polaris_error_message("OKAY", "TX"), "Comm error: TX returned OKAY");
    EXPECT_EQ(polaris_error_message(std::string_view("\x01Z", 2), "INIT"), "Comm error: INIT returned \\x01Z");
    // Alert lines outside the table are blank; only state 4 carries the request's option.
    EXPECT_EQ(polaris_alert_line(12, "").text, " ");
    EXPECT_EQ(polaris_alert_line(-1, "").colour, 0);
    EXPECT_TRUE(polaris_alert_line(4, "8001\x01").text.EndsWith(" 8001"));
}

TEST(PolarisAlerts, NewAlertWordsPickTheFirstMatchingMessage)
{
    const auto msg = [](std::uint32_t bits) { return polaris_new_alert_message(bits); };
    EXPECT_EQ(msg(0x4 | 0x8 | (1u << 22)), msg(0x4)) << "voltage outranks every later entry";
    EXPECT_EQ(msg(0x80 | (1u << 20)), msg(0x80));
    EXPECT_TRUE(msg(1u << 22).Contains("Re-start Kestrane"));
    EXPECT_FALSE(msg(1u << 21).Contains("Re-start Kestrane")) << "a bump needs recalibration instead";
    EXPECT_EQ(msg(0x1), "");

    EXPECT_FALSE(polaris_init_alert(0x1 | (1u << 24)).restore_defaults) << "a fatal fault outranks";
    EXPECT_TRUE(polaris_init_alert(1u << 24).restore_defaults);
    EXPECT_NE(polaris_init_alert(0x2).message, polaris_init_alert(0x4).message);

    EXPECT_EQ(parse_polaris_new_alerts("Info.Status.New Alerts=16777216"), 1u << 24);
    EXPECT_EQ(parse_polaris_new_alerts("Info.Status.New Alerts=010\n"), 10u) << "decimal, never octal";
    EXPECT_EQ(parse_polaris_new_alerts("Info.Status.New Alerts=4294967295"), 0xFFFFFFFFu);
    for (const char* bad : {"Info.Status.New Alerts=4294967296", "Info.Status.New Alerts=0x10",
                            "Info.Status.New Alerts=", "Info.Status.Alerts=1"})
        EXPECT_FALSE(parse_polaris_new_alerts(bad)) << bad;
}

TEST(PolarisFields, SignedDigitsAreDecimalAndStrict)
{
    EXPECT_EQ(read_polaris_signed("-000500"), -500.0f);
    EXPECT_EQ(read_polaris_signed("+000010"), 10.0f) << "leading zeros do not make it octal";
    for (const char* bad : {"", "+", "012345", " 01234", "+01a34", "+0 234", "+0x123", "--1234", "+1234."})
        EXPECT_FALSE(read_polaris_signed(bad)) << bad;

    double v = 0;
    EXPECT_TRUE(parse_polaris_vol_number("+012345", v));
    EXPECT_DOUBLE_EQ(v, static_cast<double>(123.45f));
    EXPECT_TRUE(parse_polaris_vol_number("-000050", v));
    EXPECT_DOUBLE_EQ(v, -0.5);
    for (const char* bad : {"+01234", "+01.345", "0012345"})
        EXPECT_FALSE(parse_polaris_vol_number(bad, v)) << bad;

    EXPECT_EQ(read_polaris_hex("x1fA", 1, 3), 0x1FAu);
    EXPECT_FALSE(read_polaris_hex("1G", 0, 2));
    EXPECT_FALSE(read_polaris_hex("12", 1, 2));
    EXPECT_FALSE(read_polaris_hex("12", 3, 1));
}

TEST(PolarisPose, TransformFieldsAndQuaternionAngles)
{
    float pose[6];
    ASSERT_TRUE(decode_polaris_transform(identity_at_1_m05_20, pose));
    const float want[6] = {1.0f, -0.5f, 20.0f, 0, 0, 0};
    for (int i = 0; i < 6; ++i)
        EXPECT_FLOAT_EQ(pose[i], want[i]) << i;
    std::string bad = identity_at_1_m05_20;
    bad[30] = 'x';
    EXPECT_FALSE(decode_polaris_transform(bad, pose));
    EXPECT_FALSE(decode_polaris_transform(identity_at_1_m05_20.substr(0, 44), pose));

    // Rz(az)·Ry(el)·Rx(roll) as a quaternion, either sign, must give back
    // angles whose matrix16d rotation is the one asked for.
    const double rad = 3.141592653589793 / 360.0;  // half angles
    for (const auto& c : {std::array{30.0, -20.0, 50.0}, std::array{-170.0, 80.0, -120.0},
                          std::array{95.0, 10.0, 179.0}, std::array{0.0, -45.0, 0.0}}) {
        const double ca = std::cos(c[0] * rad), sa = std::sin(c[0] * rad), ce = std::cos(c[1] * rad),
                     se = std::sin(c[1] * rad), cr = std::cos(c[2] * rad), sr = std::sin(c[2] * rad);
        const double q[4] = {ca * ce * cr + sa * se * sr, ca * ce * sr - sa * se * cr, ca * se * cr + sa * ce * sr,
                             sa * ce * cr - ca * se * sr};
        matrix16d want_m;
        want_m.forward(0, 0, 0, c[0], c[1], c[2]);
        for (const float sign : {1.0f, -1.0f}) {
            float angles[3];
            polaris_quaternion_angles(sign * static_cast<float>(q[0]), sign * static_cast<float>(q[1]),
                                      sign * static_cast<float>(q[2]), sign * static_cast<float>(q[3]), angles);
            matrix16d got;
            got.forward(0, 0, 0, angles[0], angles[1], angles[2]);
            for (int i = 0; i < 16; ++i)
                EXPECT_NEAR(got[i], want_m[i], 1e-5) << c[0] << " " << c[1] << " " << c[2] << " sign " << sign;
        }
    }
}

TEST(PolarisLayout, TxEntriesOfEveryKind)
{
    // Entries of 2+68, 2+24 and 2+9 characters, then the system status.
    const std::string tx = "030A" + identity_at_1_m05_20 + "0000003100000017\n" + "0BMISSING000000B100000017\n" +
                           "01DISABLED\n" + "0200";
    const polaris_frame_t f = decode_polaris_tx(tx, {0x0A, 0x0B, 0x01});
    ASSERT_TRUE(f.complete);
    EXPECT_EQ(f.system_status, 0x0200);
    const polaris_entry_t &t = f.entries[0], &m = f.entries[1], &d = f.entries[2];
    EXPECT_TRUE(t.located);
    EXPECT_EQ(t.kind, 'T');
    EXPECT_EQ(t.offset, 4u);
    EXPECT_EQ(t.port_status, 0x31);
    EXPECT_EQ(t.status_offset, 4u + 57u);
    ASSERT_TRUE(t.pose_ok);
    EXPECT_FLOAT_EQ(t.pose[2], 20.0f);
    EXPECT_EQ(std::pair(m.kind, m.offset), std::pair('M', std::size_t{74}));
    EXPECT_EQ(m.port_status, 0xB1);
    EXPECT_FALSE(m.pose_ok);
    EXPECT_EQ(std::pair(d.kind, d.offset), std::pair('D', std::size_t{100}));
    EXPECT_EQ(d.port_status, -1);

    // Unused keys and handles not in the reply are not located.
    const polaris_frame_t g = decode_polaris_tx(tx, {0x0C, -1, 0x0A});
    EXPECT_TRUE(g.complete);
    EXPECT_FALSE(g.entries[0].located || g.entries[1].located);
    EXPECT_TRUE(g.entries[2].located);

    // Every shortened reply stops inside the record.
    for (std::size_t n = 0; n < tx.size(); ++n)
        EXPECT_FALSE(decode_polaris_tx(tx.substr(0, n), {0x0A, 0x0B, 0x01}).complete) << n;
    // A count that promises more handles than there are.
    EXPECT_FALSE(decode_polaris_tx("04" + tx.substr(2), {0x0A, -1, -1}).complete);
    // A port status that is not hex is unreadable, not a number.
    std::string spoiled = tx;
    spoiled[4 + 57] = 'G';
    const polaris_frame_t s = decode_polaris_tx(spoiled, {0x0A, -1, -1});
    EXPECT_TRUE(s.complete);
    EXPECT_EQ(s.entries[0].port_status, -1);
}

TEST(PolarisLayout, GxBlocksForActiveAndPassivePorts)
{
    const std::string transform = identity_at_1_m05_20 + "\n";
    // Ports 1-3: transformation, missing, disabled; statuses 31 B1 00, system status 04.
    const std::string active = transform + "MISSING\n" + "DISABLED\n" + "31B10004\n";
    const polaris_frame_t a = decode_polaris_gx(active, 0x0001, {0, 1, 2});
    ASSERT_TRUE(a.complete);
    EXPECT_EQ(a.system_status & 0xFF, 0x04);
    EXPECT_TRUE(a.entries[0].kind == 'T' && a.entries[0].pose_ok);
    EXPECT_EQ(a.entries[0].port_status, 0x31);
    EXPECT_EQ(std::pair(a.entries[1].kind, a.entries[1].offset), std::pair('M', std::size_t{52}));
    EXPECT_EQ(a.entries[1].port_status, 0xB1);
    EXPECT_EQ(std::pair(a.entries[2].kind, a.entries[2].offset), std::pair('D', std::size_t{60}));

    // With option 8000 the block for ports A-C follows the first block's fixed part.
    const std::string both = active + "MISSING\n" + transform + "DISABLED\n" + "11F1000A\n";
    const polaris_frame_t b = decode_polaris_gx(both, 0x8001, {4, 3, 0});
    ASSERT_TRUE(b.complete);
    EXPECT_EQ(b.system_status & 0xFF, 0x04) << "the first block's system status counts";
    EXPECT_EQ(std::pair(b.entries[0].kind, b.entries[0].offset), std::pair('T', active.size() + 8));
    EXPECT_EQ(b.entries[0].port_status, 0xF1);
    EXPECT_EQ(b.entries[1].kind, 'M');
    EXPECT_EQ(b.entries[1].port_status, 0x11);
    EXPECT_EQ(b.entries[2].kind, 'T');

    // Passive ports are not there without option 8000; unknown options are refused.
    EXPECT_FALSE(decode_polaris_gx(active, 0x0001, {3, -1, -1}).entries[0].located);
    for (const unsigned option : {0x0002u, 0x8000u, 0x0101u})
        EXPECT_FALSE(decode_polaris_gx(active, option, {0, -1, -1}).complete) << option;
    for (std::size_t n = 0; n < both.size(); ++n)
        EXPECT_FALSE(decode_polaris_gx(both.substr(0, n), 0x8001, {4, 3, 0}).complete) << n;
}

TEST(PolarisConfiguration, ToolCodesSpeedsAndVolumes)
{
    // The edges of the tool and pointer codes.
    EXPECT_EQ(polaris_tool_ports(12)->probe, 5);
    EXPECT_FALSE(polaris_tool_ports(13));
    EXPECT_FALSE(polaris_tool_ports(-1));
    EXPECT_EQ(polaris_pointer_port(0), -1);
    EXPECT_EQ(polaris_pointer_port(3), 2);
    EXPECT_EQ(polaris_pointer_port(10), 3);
    EXPECT_FALSE(polaris_pointer_port(4));
    EXPECT_FALSE(polaris_pointer_port(16));
    wxString s = "Tracking ";
    append_polaris_tool_string(s, 0, 1, 4);
    EXPECT_EQ(s, "Tracking port 1 (active) wrt port 2 (active), pointer on port 2 (passive)");

    // Code 2 (19200) only without parameter commands, 6 and 7 only with them.
    EXPECT_EQ(polaris_speed_code(1228739), 7);
    EXPECT_EQ(polaris_speed_code(4800), -1);
    for (const bool params : {true, false}) {
        EXPECT_EQ(polaris_speed_accepted(2, params), !params);
        EXPECT_EQ(polaris_speed_accepted(6, params), params);
        EXPECT_EQ(polaris_speed_accepted(7, params), params);
        EXPECT_TRUE(polaris_speed_accepted(5, params));
        EXPECT_FALSE(polaris_speed_accepted(-1, params));
    }
}

std::string volume_record(char shape, int first_value)
{
    std::string r(1, shape);
    for (int i = 0; i < 10; ++i) {
        char field[16];
        std::snprintf(field, sizeof field, "%+07d", first_value + 100 * i);
        r += field;
    }
    return r + "00000\n";
}

TEST(PolarisConfiguration, VolumeListSelection)
{
    const std::string v0 = volume_record('0', 0);
    const struct {
        std::string reply;
        int selected, shape_count;
        double first;
    } cases[] = {
        // Shape 0 is taken and the scan goes on; the last known shape describes the volume.
        {"3" + volume_record('0', 1000) + volume_record('9', 0) + volume_record('7', -500), 1, 10, -5.0},
        {"3" + v0 + volume_record('4', 250) + v0, 2, 1, 2.5},    // shape 4 is taken and ends the scan
        {"2" + volume_record('5', 100) + v0, 0, 10, 1.0},        // shape 5 ends it, keeping the selection
        {"3" + v0.substr(40) + volume_record('4', 100), 2, 1, 1.0},  // a short record is passed over
    };
    for (const auto& c : cases) {
        const polaris_volume_choice_t got = parse_polaris_volumes(c.reply);
        EXPECT_EQ(got.selected, c.selected) << c.reply;
        EXPECT_EQ(got.volume.shape_count, c.shape_count) << c.reply;
        EXPECT_DOUBLE_EQ(got.volume.shape[0], c.first) << c.reply;
    }
    EXPECT_EQ(parse_polaris_volumes("").selected, 0);
    EXPECT_EQ(parse_polaris_volumes("x").selected, 0);
}

}  // namespace
