// The Polaris reply protocol without a line: CRC, texts, field readers, the
// quaternion conversion and the two tracking-reply layouts.
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

checked_t ok_with(const char* body)
{
    return {polaris_reply_check_t::ok, body};
}

// Quaternion and translation fields of a transformation entry, then the RMS error.
const std::string identity_at_1_m05_20 = "+10000+00000+00000+00000+001000-000500+020000+00120";

std::string tx_transform(const std::string& handle, const std::string& status)
{
    return handle + identity_at_1_m05_20 + status + "00000017\n";
}

TEST(PolarisReply, CrcIsTheTrackersOwn)
{
    EXPECT_EQ(polaris_crc16("123456789"), 0xBB3D);
    EXPECT_EQ(polaris_crc16("OKAY"), 0xA896);
    EXPECT_EQ(polaris_crc16("RESET"), 0xBE6F);
    EXPECT_EQ(polaris_frame_reply("OKAY"), "OKAYA896\r");

    EXPECT_EQ(check("OKAYA896\r"), ok_with("OKAY"));
    EXPECT_EQ(check("OKAYa896\r"), ok_with("OKAY")) << "hex digits in any case";
    EXPECT_EQ(check("OKAYA897\r").first, polaris_reply_check_t::bad_crc);
    EXPECT_EQ(check("OKAXA896\r").first, polaris_reply_check_t::bad_crc);
    EXPECT_EQ(check("OKAYA8G6\r").first, polaris_reply_check_t::bad_crc);
    EXPECT_EQ(check("A89\r").first, polaris_reply_check_t::bad_crc);
    EXPECT_EQ(check("\r").first, polaris_reply_check_t::bad_crc);
    EXPECT_EQ(check("OKAYA896").first, polaris_reply_check_t::unterminated);
    EXPECT_EQ(check("").first, polaris_reply_check_t::unterminated);
}

TEST(PolarisReply, ErrorMessagesNameCommandReplyAndCode)
{
    EXPECT_EQ(polaris_error_message("ERROR0C", "TX"),
              "Polaris error: TX returned ERROR0C (Command is invalid while in the current mode)");
    EXPECT_EQ(polaris_error_message("ERROR01", "GX"), "Polaris error: GX returned ERROR01 (Invalid command)");
    EXPECT_EQ(polaris_error_message("ERROR0d", "PINIT"),
              "Polaris error: PINIT returned ERROR0d (No tool plugged into selected port)");
    EXPECT_EQ(polaris_error_message("ERROR15", "INIT"),
              "Polaris error: INIT returned ERROR15 (Failure to initialize the POLARIS)");
    EXPECT_EQ(polaris_error_message("ERRORF6", "PVWR"),
              "Polaris error: PVWR returned ERRORF6 (Failure to read Flash EEPROM)");
    // Codes without a text, outside the table or not hex.
    EXPECT_EQ(polaris_error_message("ERROR26", "TX"), "Polaris error: TX returned ERROR26 ()");
    EXPECT_EQ(polaris_error_message("ERRORA3", "TX"), "Polaris error: TX returned ERRORA3 ()");
    EXPECT_EQ(polaris_error_message("ERROR00", "TX"), "Polaris error: TX returned ERROR00 (Error out of range)");
    EXPECT_EQ(polaris_error_message("ERRORF7", "TX"), "Polaris error: TX returned ERRORF7 (Error out of range)");
    EXPECT_EQ(polaris_error_message("ERRORZ1", "TX"), "Polaris error: TX returned ERRORZ1 (Error out of range)");
    EXPECT_EQ(polaris_error_message("ERROR", "TX"), "Polaris error: TX returned ERROR (Error out of range)");
    // Anything else is a communication fault; control bytes are shown, not sent to the log raw.
    EXPECT_EQ(polaris_error_message("OKAY", "TX"), "Comm error: TX returned OKAY");
    EXPECT_EQ(polaris_error_message(std::string_view("\x01Z", 2), "INIT"), "Comm error: INIT returned \\x01Z");

    EXPECT_STREQ(polaris_error_table[0x04], "Invalid CRC calculated for command");
    EXPECT_STREQ(polaris_error_table[0x2E], "Incompatible firmware versions");
    EXPECT_STREQ(polaris_error_table[0xF1], "Too much environmental infrared");
    for (int code : {0x27, 0x3A, 0x3D, 0x3F, 0x42, 0xA1, 0xF0, 0xF2, 0xF3})
        EXPECT_STREQ(polaris_error_table[static_cast<std::size_t>(code)], "") << code;
}

TEST(PolarisAlerts, LineTextsAndColours)
{
    const alert_line_t ok = polaris_alert_line(11, "0801");
    EXPECT_EQ(ok.text, "Polaris tool OK");
    EXPECT_EQ(ok.colour, 0);
    const alert_line_t gx = polaris_alert_line(4, "8001");
    EXPECT_EQ(gx.text, "Kestrane can't interpret GX format 8001");
    EXPECT_EQ(gx.colour, 2);
    EXPECT_EQ(polaris_alert_line(5, "").colour, 1);
    EXPECT_EQ(polaris_alert_line(0, "").text, "Polaris system communication sync error");
    EXPECT_EQ(polaris_alert_line(12, "").text, " ");
    EXPECT_EQ(polaris_alert_line(-1, "").colour, 0);
}

TEST(PolarisAlerts, NewAlertWordsPickTheFirstMatchingMessage)
{
    const std::string advice =
        "\n\nRe-start Kestrane, or re-probe for the position sensor,\nthen re-start acquisition once the problem has "
        "been fixed.";
    // Voltage outranks every later entry.
    EXPECT_EQ(polaris_new_alert_message(0x4 | 0x8 | (1u << 22)),
              "Polaris input voltage is outside operating range.\nThere may be a problem with the power supply." +
                  advice);
    EXPECT_EQ(polaris_new_alert_message(0x2000000), "There has been a Polaris hardware failure." + advice);
    EXPECT_EQ(polaris_new_alert_message(0x80 | (1u << 20)),
              "Polaris temperature is outside functional range." + advice);
    EXPECT_EQ(polaris_new_alert_message(1u << 20), "Polaris battery is low or not connected." + advice);
    EXPECT_EQ(polaris_new_alert_message(1u << 21),
              "Polaris seems to have been bumped.\nThis may invalidate the isocentre calibration.\n\n"
              "Check the position of the Polaris and re-calibrate\nthe room isocentre before re-starting acquisition.");
    EXPECT_EQ(polaris_new_alert_message(1u << 22), "There has been a Polaris cable fault." + advice);
    EXPECT_EQ(polaris_new_alert_message(0x1), "");

    EXPECT_FALSE(polaris_init_alert(0x1 | (1u << 24)).restore_defaults);
    EXPECT_EQ(polaris_init_alert(0x2).message,
              "There has been a Polaris sensor parameter fault.\nPlease contact NDI for advice.");
    EXPECT_EQ(polaris_init_alert(1u << 23).message, "The Polaris firmware is incompatible.\nPlease update the firmware.");
    EXPECT_TRUE(polaris_init_alert(1u << 24).restore_defaults);
    EXPECT_EQ(polaris_init_alert(0x4).message,
              "Polaris initialisation was not successful, but the Alert parameter was not understood.\n"
              "Please contact NDI for advice.");

    EXPECT_EQ(parse_polaris_new_alerts("Info.Status.New Alerts=16777216"), 1u << 24);
    EXPECT_EQ(parse_polaris_new_alerts("Info.Status.New Alerts=010\n"), 10u) << "decimal, never octal";
    EXPECT_EQ(parse_polaris_new_alerts("Info.Status.New Alerts=4294967295"), 0xFFFFFFFFu);
    EXPECT_FALSE(parse_polaris_new_alerts("Info.Status.New Alerts=4294967296"));
    EXPECT_FALSE(parse_polaris_new_alerts("Info.Status.New Alerts=0x10"));
    EXPECT_FALSE(parse_polaris_new_alerts("Info.Status.New Alerts="));
    EXPECT_FALSE(parse_polaris_new_alerts("Info.Status.Alerts=1"));
}

TEST(PolarisFields, SignedDigitsAreDecimalAndStrict)
{
    EXPECT_EQ(read_polaris_signed("+01234"), 1234.0f);
    EXPECT_EQ(read_polaris_signed("-000500"), -500.0f);
    EXPECT_EQ(read_polaris_signed("+000010"), 10.0f) << "leading zeros do not make it octal";
    for (const char* bad : {"", "+", "012345", " 01234", "+01a34", "+0 234", "+0x123", "--1234", "+1234."})
        EXPECT_FALSE(read_polaris_signed(bad)) << bad;

    double v = 0;
    EXPECT_TRUE(parse_polaris_vol_number("+012345", v));
    EXPECT_DOUBLE_EQ(v, static_cast<double>(123.45f));
    EXPECT_TRUE(parse_polaris_vol_number("-000050", v));
    EXPECT_DOUBLE_EQ(v, -0.5);
    EXPECT_FALSE(parse_polaris_vol_number("+01234", v));
    EXPECT_FALSE(parse_polaris_vol_number("+01.345", v));
    EXPECT_FALSE(parse_polaris_vol_number("0012345", v));

    EXPECT_EQ(read_polaris_hex("x1fA", 1, 3), 0x1FAu);
    EXPECT_FALSE(read_polaris_hex("1G", 0, 2));
    EXPECT_FALSE(read_polaris_hex("12", 1, 2));
    EXPECT_FALSE(read_polaris_hex("12", 3, 1));
}

TEST(PolarisPose, IdentityQuaternionWithTranslation)
{
    float pose[6];
    ASSERT_TRUE(decode_polaris_transform(identity_at_1_m05_20, pose));
    EXPECT_FLOAT_EQ(pose[0], 1.0f);
    EXPECT_FLOAT_EQ(pose[1], -0.5f);
    EXPECT_FLOAT_EQ(pose[2], 20.0f);
    EXPECT_EQ(pose[3], 0.0f);
    EXPECT_EQ(pose[4], 0.0f);
    EXPECT_EQ(pose[5], 0.0f);

    std::string bad = identity_at_1_m05_20;
    bad[30] = 'x';
    EXPECT_FALSE(decode_polaris_transform(bad, pose));
    EXPECT_FALSE(decode_polaris_transform(identity_at_1_m05_20.substr(0, 44), pose));
}

// The rotation of a pose matrix as a unit quaternion (largest-component method).
void matrix_quaternion(const matrix16d& m, double (&q)[4])
{
    auto r = [&](int row, int col) { return m[4 * col + row]; };
    const double trace = r(0, 0) + r(1, 1) + r(2, 2);
    if (trace > 0) {
        const double s = 2.0 * std::sqrt(1.0 + trace);
        q[0] = s / 4;
        q[1] = (r(2, 1) - r(1, 2)) / s;
        q[2] = (r(0, 2) - r(2, 0)) / s;
        q[3] = (r(1, 0) - r(0, 1)) / s;
    } else if (r(0, 0) > r(1, 1) && r(0, 0) > r(2, 2)) {
        const double s = 2.0 * std::sqrt(1.0 + r(0, 0) - r(1, 1) - r(2, 2));
        q[0] = (r(2, 1) - r(1, 2)) / s;
        q[1] = s / 4;
        q[2] = (r(0, 1) + r(1, 0)) / s;
        q[3] = (r(0, 2) + r(2, 0)) / s;
    } else if (r(1, 1) > r(2, 2)) {
        const double s = 2.0 * std::sqrt(1.0 + r(1, 1) - r(0, 0) - r(2, 2));
        q[0] = (r(0, 2) - r(2, 0)) / s;
        q[1] = (r(0, 1) + r(1, 0)) / s;
        q[2] = s / 4;
        q[3] = (r(1, 2) + r(2, 1)) / s;
    } else {
        const double s = 2.0 * std::sqrt(1.0 + r(2, 2) - r(0, 0) - r(1, 1));
        q[0] = (r(1, 0) - r(0, 1)) / s;
        q[1] = (r(0, 2) + r(2, 0)) / s;
        q[2] = (r(1, 2) + r(2, 1)) / s;
        q[3] = s / 4;
    }
}

TEST(PolarisPose, QuaternionAnglesFollowThePoseConvention)
{
    const double cases[][3] = {{30, -20, 50}, {-170, 80, -120}, {95, 10, 179}, {0, -45, 0}};
    for (const auto& c : cases) {
        matrix16d m;
        m.forward(0, 0, 0, c[0], c[1], c[2]);
        double q[4];
        matrix_quaternion(m, q);
        float angles[3];
        polaris_quaternion_angles(static_cast<float>(q[0]), static_cast<float>(q[1]), static_cast<float>(q[2]),
                                  static_cast<float>(q[3]), angles);
        double x, y, z, az, el, roll;
        m.decompose(&x, &y, &z, &az, &el, &roll);
        EXPECT_NEAR(angles[0], az, 1e-3) << c[0];
        EXPECT_NEAR(angles[1], el, 1e-3) << c[1];
        EXPECT_NEAR(angles[2], roll, 1e-3) << c[2];
        // The sign of a quaternion does not change its rotation.
        float negated[3];
        polaris_quaternion_angles(-static_cast<float>(q[0]), -static_cast<float>(q[1]), -static_cast<float>(q[2]),
                                  -static_cast<float>(q[3]), negated);
        matrix16d a, b;
        a.forward(0, 0, 0, angles[0], angles[1], angles[2]);
        b.forward(0, 0, 0, negated[0], negated[1], negated[2]);
        for (int i = 0; i < 16; ++i)
            EXPECT_NEAR(a[i], b[i], 1e-5);
    }
}

TEST(PolarisLayout, TxEntriesOfEveryKind)
{
    // Entries of 2+68, 2+24 and 2+9 characters, then the system status.
    const std::string tx = "03" + tx_transform("0A", "00000031") + "0B" + "MISSING000000B100000017\n" + "01" +
                           "DISABLED\n" + "0200";
    const polaris_frame_t f = decode_polaris_tx(tx, {0x0A, 0x0B, 0x01});
    ASSERT_TRUE(f.complete);
    EXPECT_EQ(f.system_status, 0x0200);

    const polaris_entry_t& t = f.entries[0];
    EXPECT_TRUE(t.located);
    EXPECT_EQ(t.kind, 'T');
    EXPECT_EQ(t.offset, 4u);
    EXPECT_EQ(t.port_status, 0x31);
    EXPECT_EQ(t.status_offset, 4u + 57u);
    ASSERT_TRUE(t.pose_ok);
    EXPECT_FLOAT_EQ(t.pose[2], 20.0f);

    const polaris_entry_t& m = f.entries[1];
    EXPECT_EQ(m.kind, 'M');
    EXPECT_EQ(m.offset, 74u);
    EXPECT_EQ(m.port_status, 0xB1);
    EXPECT_FALSE(m.pose_ok);

    const polaris_entry_t& d = f.entries[2];
    EXPECT_EQ(d.kind, 'D');
    EXPECT_EQ(d.offset, 100u);
    EXPECT_EQ(d.port_status, -1);

    // Unused keys and handles not in the reply are not located.
    const polaris_frame_t g = decode_polaris_tx(tx, {0x0C, -1, 0x0A});
    EXPECT_TRUE(g.complete);
    EXPECT_FALSE(g.entries[0].located);
    EXPECT_FALSE(g.entries[1].located);
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
    EXPECT_EQ(a.entries[0].kind, 'T');
    EXPECT_TRUE(a.entries[0].pose_ok);
    EXPECT_EQ(a.entries[0].port_status, 0x31);
    EXPECT_EQ(a.entries[1].kind, 'M');
    EXPECT_EQ(a.entries[1].offset, 52u);
    EXPECT_EQ(a.entries[1].port_status, 0xB1);
    EXPECT_EQ(a.entries[2].kind, 'D');
    EXPECT_EQ(a.entries[2].offset, 60u);

    // With option 8000 the block for ports A-C follows the first block's fixed part.
    const std::string both = active + "MISSING\n" + transform + "DISABLED\n" + "11F1000A\n";
    const polaris_frame_t b = decode_polaris_gx(both, 0x8001, {4, 3, 0});
    ASSERT_TRUE(b.complete);
    EXPECT_EQ(b.system_status & 0xFF, 0x04) << "the first block's system status counts";
    EXPECT_EQ(b.entries[0].kind, 'T');
    EXPECT_EQ(b.entries[0].offset, active.size() + 8);
    EXPECT_EQ(b.entries[0].port_status, 0xF1);
    EXPECT_EQ(b.entries[1].kind, 'M');
    EXPECT_EQ(b.entries[1].port_status, 0x11);
    EXPECT_EQ(b.entries[2].kind, 'T');

    // Passive ports are not there without option 8000; unknown options are refused.
    EXPECT_FALSE(decode_polaris_gx(active, 0x0001, {3, -1, -1}).entries[0].located);
    EXPECT_FALSE(decode_polaris_gx(active, 0x0002, {0, -1, -1}).complete);
    EXPECT_FALSE(decode_polaris_gx(active, 0x8000, {0, -1, -1}).complete);
    EXPECT_FALSE(decode_polaris_gx(active, 0x0101, {0, -1, -1}).complete);
    for (std::size_t n = 0; n < both.size(); ++n)
        EXPECT_FALSE(decode_polaris_gx(both.substr(0, n), 0x8001, {4, 3, 0}).complete) << n;
}

TEST(PolarisConfiguration, ToolCodesToPorts)
{
    EXPECT_EQ(polaris_tool_ports(2)->probe, 1);
    EXPECT_EQ(polaris_tool_ports(2)->reference, -1);
    EXPECT_EQ(polaris_tool_ports(5)->probe, 0);
    EXPECT_EQ(polaris_tool_ports(5)->reference, 2);
    EXPECT_EQ(polaris_tool_ports(9)->probe, 2);
    EXPECT_EQ(polaris_tool_ports(9)->reference, 1);
    EXPECT_EQ(polaris_tool_ports(12)->probe, 5);
    EXPECT_FALSE(polaris_tool_ports(13));
    EXPECT_FALSE(polaris_tool_ports(-1));
    EXPECT_EQ(polaris_pointer_port(0), -1);
    EXPECT_EQ(polaris_pointer_port(3), 2);
    EXPECT_EQ(polaris_pointer_port(11), 4);
    EXPECT_FALSE(polaris_pointer_port(4));
    EXPECT_FALSE(polaris_pointer_port(16));

    wxString s;
    append_polaris_tool_string(s, 0, 1, 4);
    EXPECT_EQ(s, "port 1 (active) wrt port 2 (active), pointer on port 2 (passive)");
    wxString t = "Tracking ";
    append_polaris_tool_string(t, 5, -1, -1);
    EXPECT_EQ(t, "Tracking port 3 (passive)");
}

TEST(PolarisConfiguration, SpeedCodesAndRefusals)
{
    EXPECT_EQ(polaris_speed_code(9600), 0);
    EXPECT_EQ(polaris_speed_code(38400), 3);
    EXPECT_EQ(polaris_speed_code(1228739), 7);
    EXPECT_EQ(polaris_speed_code(4800), -1);

    EXPECT_FALSE(polaris_speed_accepted(2, true));
    EXPECT_TRUE(polaris_speed_accepted(2, false));
    EXPECT_TRUE(polaris_speed_accepted(6, true));
    EXPECT_TRUE(polaris_speed_accepted(7, true));
    EXPECT_FALSE(polaris_speed_accepted(6, false));
    EXPECT_TRUE(polaris_speed_accepted(5, false));
    EXPECT_FALSE(polaris_speed_accepted(-1, true));
    EXPECT_FALSE(polaris_speed_accepted(-1, false));

    EXPECT_EQ(polaris_speed_refusal(19200, true),
              "The selected serial speed (19200 bps) is not compatable with this Polaris system.\n"
              "Please try again with a speed in the range 9600 bps to 1228739 bps,\nbut NOT a speed of 19200 bps.");
    EXPECT_EQ(polaris_speed_refusal(921600, false),
              "The selected serial speed (921600 bps) is not compatable with this Polaris system.\n"
              "Please try again with a speed in the range 9600 bps to 115200 bps.");
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
    // Shape 0 is taken and the scan goes on; the last known shape describes the volume.
    polaris_volume_choice_t c = parse_polaris_volumes("3" + volume_record('0', 1000) + volume_record('9', 0) +
                                                      volume_record('7', -500));
    EXPECT_EQ(c.selected, 1);
    EXPECT_EQ(c.volume.shape_count, 10);
    EXPECT_DOUBLE_EQ(c.volume.shape[0], -5.0);

    // Shape 4 is taken and ends the scan.
    c = parse_polaris_volumes("3" + volume_record('0', 0) + volume_record('4', 250) + volume_record('0', 0));
    EXPECT_EQ(c.selected, 2);
    EXPECT_EQ(c.volume.shape_count, 1);
    EXPECT_DOUBLE_EQ(c.volume.shape[0], 2.5);

    // Shape 5 ends the scan and keeps the selection.
    c = parse_polaris_volumes("2" + volume_record('5', 100) + volume_record('0', 0));
    EXPECT_EQ(c.selected, 0);
    EXPECT_EQ(c.volume.shape_count, 10);

    // Records shorter than a whole description and counts beyond the text are passed over.
    c = parse_polaris_volumes("3" + volume_record('0', 0).substr(40) + volume_record('4', 100));
    EXPECT_EQ(c.selected, 2);
    EXPECT_EQ(parse_polaris_volumes("").selected, 0);
    EXPECT_EQ(parse_polaris_volumes("x").selected, 0);
}

}  // namespace
