// The Ascension family (Flock of Birds, MiniBird, LaserBird, trakSTAR): one
// binary command set, told apart by the model string. Sensor n answers as
// bird unit n + 1.
//
// Commands understood: 'O' p (examine value: 0x00 status word, 0x03 full
// scale, 0x0A error code, 0x0F model string, '$' ten sensor status bytes with
// bit 7 for powered and bit 0 for fitted; others answer two zero bytes),
// 'P' p data (change value: 0x03 full scale (2 bytes), '2' N units (1 byte),
// '#' group mode (1 byte); others take 2 data bytes and are ignored),
// 0xF0 + address before a command to aim it at one unit, 'B' (point), and
// the mode commands ('Y', 'F', 'G', ...) which are accepted silently.
//
// A record is six words x, y, z, azimuth, elevation, roll, each sent low
// byte then high byte: L = (c >> 2) & 0x7F, H = (c >> 9) & 0x7F for the
// signed 16-bit count c, with bit 7 of the unit's first byte set (phasing).
// Positions are c = x / 2.54 * 32767 / full scale (inches), angles
// c = degrees / 0.005493026520584735, both saturating. In group mode every
// configured unit sends its 12 bytes and its address byte, in order; an
// unpowered sensor sends zeros, and a unit beyond the fitted sensors sends
// nothing (the host sees a short record).
//
// tool_missing leaves 'B' unanswered; out_of_volume drives the positions
// into saturation.
#pragma once

#include <cstdint>
#include <utility>

#include "simulators/device_sim.h"
#include "simulators/sim_options.h"

enum class ascension_model_t { flock, mini, laser, trakstar };

class ascension_sim_t : public device_sim_t {
public:
    ascension_sim_t(ascension_model_t model, sim_options_t options);

    void receive(std::span<const unsigned char> bytes, const sim_line_t& line, double now,
                 std::vector<std::vector<unsigned char>>& out) override;
    long device_speed() const override { return options_.speed; }
    wxString name() const override;

    static constexpr double degrees_per_count = 0.005493026520584735;
    // The two bytes of one word, phasing bit clear.
    static void put_word(std::vector<unsigned char>& out, double counts);

private:
    void execute(double now, std::vector<std::vector<unsigned char>>& out);
    void examine(unsigned char parameter, std::vector<std::vector<unsigned char>>& out) const;
    void change(unsigned char parameter, std::span<const unsigned char> data);
    void put_unit(std::vector<unsigned char>& out, double now, int unit);
    std::size_t command_length() const;
    bool fitted(int sensor) const { return sensor >= 0 && sensor < sensors_; }
    bool powered(int sensor) const { return fitted(sensor) && sensor < 32 && ((options_.powered >> sensor) & 1u) != 0; }

    ascension_model_t model_;
    sim_options_t options_;
    int sensors_;
    int full_scale_;       // inches
    int units_ = 1;        // units configured with 'P' '2' N
    bool group_ = false;
    int address_ = 0;      // unit named by an address prefix for the next command; 0 none
    std::vector<unsigned char> command_;  // the command being received
};
