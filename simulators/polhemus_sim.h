// Polhemus trackers as a host sees them on the serial line: the Fastrak with
// its single-letter commands, and the Liberty and Patriot with their
// CR-terminated command lines. Both answer only what the host asks.
//
// Fastrak records:
//   "S": 55 bytes: "21S", system flags as 3 hex digits (bit 0 binary, bit 1
//        centimetres, bit 2 compensation, bit 3 continuous), BITE "000",
//        firmware "  3.00", revision " 3.0.2", a 32-character system name,
//        CR LF.
//   "P", binary: 29 bytes: '0', station '1', ' ', six little-endian floats
//        x, y, z, azimuth, elevation, roll, CR LF.
//   "P", ASCII: 47 bytes: "01 ", six "%7.2f" fields, CR LF.
// Units are inches until "u" (centimetres); "U" returns to inches, "f"/"F"
// select binary/ASCII, "c"/"C" set the transmit mode (reported only: the
// simulator never streams).
//
// Liberty/Patriot records:
//   Ctrl-V CR: "Polhemus Liberty 240/8 System" (or "Polhemus Patriot 2/2
//        System"), then firmware lines, each ending CR LF.
//   "P", binary (after F1): 34 bytes: "LY" or "PA", station 1, 'P', error 0,
//        reserved 0, payload size 26 as a little-endian 16-bit word, six
//        little-endian floats, CR LF.
//   "P", ASCII (F0, the default): "  1 " and six "%9.3f" fields, CR LF.
// U0/U1 select inches/centimetres (inches at power-up); a bare CR does nothing.
//
// With tool_missing set, "P" goes unanswered; the other commands still work.
#pragma once

#include <utility>

#include "simulators/device_sim.h"
#include "simulators/sim_options.h"

class fastrak_sim_t : public device_sim_t {
public:
    explicit fastrak_sim_t(sim_options_t options) : options_(std::move(options)) {}

    void receive(std::span<const unsigned char> bytes, const sim_line_t& line, double now,
                 std::vector<std::vector<unsigned char>>& out) override;
    long device_speed() const override { return options_.speed; }
    wxString name() const override { return "Polhemus Fastrak"; }

private:
    std::vector<unsigned char> status_record() const;
    std::vector<unsigned char> pose_record(double now);

    sim_options_t options_;
    bool binary_ = false;
    bool metric_ = false;
    bool continuous_ = true;  // a Fastrak powers up streaming; hosts send "c" first
};

class liberty_sim_t : public device_sim_t {
public:
    liberty_sim_t(sim_options_t options, bool patriot) : options_(std::move(options)), patriot_(patriot) {}

    void receive(std::span<const unsigned char> bytes, const sim_line_t& line, double now,
                 std::vector<std::vector<unsigned char>>& out) override;
    long device_speed() const override { return options_.speed; }
    wxString name() const override { return patriot_ ? "Polhemus Patriot" : "Polhemus Liberty"; }

private:
    void run_line(std::vector<std::vector<unsigned char>>& out);
    std::vector<unsigned char> pose_record(double now);

    sim_options_t options_;
    bool patriot_;
    bool binary_ = false;
    bool metric_ = false;
    std::vector<unsigned char> line_;  // the command line being typed
};
