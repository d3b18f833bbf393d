// The Polaris optical tracker's serial protocol as pure functions over reply
// text: CRC, error and alert texts, field readers, the pose conversion and the
// decoders of the two generations of tracking reply. Nothing here touches a
// line; every reader stays within the text it is given.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include <wx/string.h>

#include "acquisition/sensor_volume.h"
#include "acquisition/tracker_driver.h"

// Port letters by port index: 0-2 active, 3-5 passive.
inline constexpr char polaris_port[] = "123ABC";
inline constexpr int polaris_port_count = 6;

// Ends the messages of faults that stop tracking.
inline constexpr const char* polaris_restart_advice =
    "\n\nRe-start Kestrane, or re-probe for the position sensor,\n"
    "then re-start acquisition once the problem has been fixed.";

// Texts of the tracker's error codes 0x00-0xF6; empty where the code has none.
inline constexpr int polaris_error_count = 0xF7;
extern const std::array<const char*, polaris_error_count> polaris_error_table;

// ------------------------------------------------------------------ replies

// The tracker's CRC-16 (reflected 0x8005, initial value 0).
std::uint16_t polaris_crc16(std::string_view text);

enum class polaris_reply_check_t { ok, unterminated, bad_crc };
// Splits a CR-terminated record into its text and checks the four hex CRC
// digits before the CR. body is set whenever the record is terminated.
polaris_reply_check_t polaris_check_reply(std::span<const unsigned char> record, std::string_view* body);
// A reply text followed by its CRC and CR, as the tracker sends it.
std::string polaris_frame_reply(std::string_view body);

// "Polaris error: ..." for an ERROR reply, "Comm error: ..." for anything else.
wxString polaris_error_message(std::string_view reply, std::string_view command);

// -------------------------------------------------------------------- alerts

inline constexpr int polaris_alert_count = 12;
// The alert line for a polling alert state (0-11); gx_option completes state 4.
alert_line_t polaris_alert_line(int state, std::string_view gx_option);
// The first tracker alert of "Info.Status.New Alerts" while polling; empty when none is known.
wxString polaris_new_alert_message(std::uint32_t alerts);

// What an INIT failure's alert word asks for.
struct polaris_init_alert_t {
    wxString message;
    bool restore_defaults = false;  // non-fatal: restore parameters and initialise again
};
polaris_init_alert_t polaris_init_alert(std::uint32_t alerts);
// The value of "Info.Status.New Alerts=<decimal>"; nothing when malformed.
std::optional<std::uint32_t> parse_polaris_new_alerts(std::string_view reply);

// ------------------------------------------------------------- field readers

// A sign followed by decimal digits, as an integer value accumulated in single
// precision. Nothing for a missing sign, a non-digit or an empty field.
std::optional<float> read_polaris_signed(std::string_view field);
// Reads exactly n hex digits; nothing on any other character or a short field.
std::optional<unsigned long> read_polaris_hex(std::string_view text, std::size_t at, std::size_t n);
// A 7-character volume parameter: sign and six digits, two of them decimals (mm).
bool parse_polaris_vol_number(std::string_view text, double& value);

// Azimuth, elevation and roll (degrees) of a unit quaternion's rotation under
// the pose convention.
void polaris_quaternion_angles(float q0, float qx, float qy, float qz, float (&angles)[3]);
// A transformation entry's first 45 characters: quaternion and translation (mm)
// to x, y, z in cm and angles in degrees.
bool decode_polaris_transform(std::string_view entry, float (&pose)[6]);

// ------------------------------------------------------------ configuration

// Port indices of a tool code: probe and reference (-1 when none).
struct polaris_tool_ports_t {
    int probe = -1;
    int reference = -1;
};
// Nothing for a code the tracker cannot serve.
std::optional<polaris_tool_ports_t> polaris_tool_ports(int tool);
// The pointer's port index, -1 for none; nothing for an unusable code.
std::optional<int> polaris_pointer_port(int pointer);

// Appends "port %c", " wrt port %c", ", pointer on port %c" with (active) or (passive).
void append_polaris_tool_string(wxString& text, int probe_port, int reference_port, int pointer_port);

// The tracker's line-speed code; -1 for a speed it has no code for.
int polaris_speed_code(long speed);
// Trackers with parameter commands refuse 19200 bps and know the fast codes.
bool polaris_speed_accepted(int code, bool has_parameters);
wxString polaris_speed_refusal(long speed, bool has_parameters);

// The characterised volumes of "SFLIST 03".
struct polaris_volume_choice_t {
    int selected = 0;          // volume number to activate, 0 for none
    sensor_volume_t volume;    // shape parameters of the last volume of a known shape
};
polaris_volume_choice_t parse_polaris_volumes(std::string_view reply);

// ----------------------------------------------------------- tracking replies

struct polaris_entry_t {
    bool located = false;     // the entry lies wholly within the reply
    char kind = 0;            // 'M' missing, 'D' disabled, 'T' transformation
    std::size_t offset = 0;   // start of the entry in the reply
    std::size_t status_offset = 0;
    int port_status = -1;     // low byte of the port status; -1 when unreadable
    bool pose_ok = false;     // a transformation that read cleanly
    float pose[6] = {};
};

// The entries asked for, in the order asked (probe, reference, pointer).
struct polaris_frame_t {
    bool complete = false;    // the layout was followed to the system status
    int system_status = -1;   // 16-bit system status; -1 when unreadable
    std::array<polaris_entry_t, 3> entries;
};

// Newer command set, "TX 0801": keys are port handles (-1 unused).
polaris_frame_t decode_polaris_tx(std::string_view reply, const std::array<int, 3>& handles);
// Older command set, "GX" with option 0001 or 8001: keys are port indices (-1 unused).
polaris_frame_t decode_polaris_gx(std::string_view reply, unsigned option, const std::array<int, 3>& ports);
