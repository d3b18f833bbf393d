#include "simulators/polhemus_sim.h"

#include <bit>
#include <cstdio>
#include <cstring>

namespace {

constexpr float cm_per_inch = 2.54f;

void put_float_le(std::vector<unsigned char>& out, float f)
{
    const auto u = std::bit_cast<std::uint32_t>(f);
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<unsigned char>(u >> (8 * i)));
}

void put_text(std::vector<unsigned char>& out, const char* text)
{
    out.insert(out.end(), text, text + std::strlen(text));
}

// The pose in the units the device is set to.
sim_pose_t in_units(sim_pose_t p, bool metric)
{
    if (!metric)
        for (int i = 0; i < 3; ++i)
            p.v[i] /= cm_per_inch;
    return p;
}

void put_ascii_fields(std::vector<unsigned char>& out, const sim_pose_t& p, const char* format)
{
    for (const float v : p.v) {
        char field[32];
        std::snprintf(field, sizeof field, format, static_cast<double>(v));
        put_text(out, field);
    }
    put_text(out, "\r\n");
}

}  // namespace

void fastrak_sim_t::receive(std::span<const unsigned char> bytes, const sim_line_t&, double now,
                            std::vector<std::vector<unsigned char>>& out)
{
    for (const unsigned char b : bytes) {
        switch (b) {
        case 'c': continuous_ = false; break;
        case 'C': continuous_ = true; break;
        case 'f': binary_ = true; break;
        case 'F': binary_ = false; break;
        case 'u': metric_ = true; break;
        case 'U': metric_ = false; break;
        case 'S': out.push_back(status_record()); break;
        case 'P':
            if (!options_.tool_missing)
                out.push_back(pose_record(now));
            break;
        default: break;  // other commands and stray bytes change nothing here
        }
    }
}

std::vector<unsigned char> fastrak_sim_t::status_record() const
{
    const unsigned flags = (binary_ ? 1u : 0u) | (metric_ ? 2u : 0u) | 4u | (continuous_ ? 8u : 0u);
    char text[64];
    std::snprintf(text, sizeof text, "21S%03X000  3.00 3.0.2%-32s\r\n", flags, "Polhemus FASTRAK simulator");
    std::vector<unsigned char> r;
    put_text(r, text);
    return r;
}

std::vector<unsigned char> fastrak_sim_t::pose_record(double now)
{
    const sim_pose_t measured = sim_sensor_pose(options_, now, 0);
    log_sent(now, 0, measured);
    const sim_pose_t p = in_units(measured, metric_);
    std::vector<unsigned char> r;
    put_text(r, "01 ");
    if (binary_) {
        for (const float v : p.v)
            put_float_le(r, v);
        put_text(r, "\r\n");
    } else {
        put_ascii_fields(r, p, "%7.2f");
    }
    return r;
}

void liberty_sim_t::receive(std::span<const unsigned char> bytes, const sim_line_t&, double now,
                            std::vector<std::vector<unsigned char>>& out)
{
    constexpr std::size_t longest_line = 128;
    for (const unsigned char b : bytes) {
        if (b == 'P' && line_.empty()) {
            // "P" acts at once; it needs no CR.
            if (!options_.tool_missing)
                out.push_back(pose_record(now));
        } else if (b == '\r') {
            run_line(out);
            line_.clear();
        } else if (b != '\n') {
            line_.push_back(b);
            if (line_.size() > longest_line)
                line_.clear();  // garbage, not a command
        }
    }
}

void liberty_sim_t::run_line(std::vector<std::vector<unsigned char>>& out)
{
    const std::string line(line_.begin(), line_.end());
    if (line == "F0")
        binary_ = false;
    else if (line == "F1")
        binary_ = true;
    else if (line == "U0")
        metric_ = false;
    else if (line == "U1")
        metric_ = true;
    else if (line == "\x16") {
        std::vector<unsigned char> r;
        put_text(r, patriot_ ? "Polhemus Patriot 2/2 System\r\n" : "Polhemus Liberty 240/8 System\r\n");
        put_text(r, "Firmware version 1.0.15\r\nIO CPU version 1.0.10\r\n");
        out.push_back(std::move(r));
    }
}

std::vector<unsigned char> liberty_sim_t::pose_record(double now)
{
    const sim_pose_t measured = sim_sensor_pose(options_, now, 0);
    log_sent(now, 0, measured);
    const sim_pose_t p = in_units(measured, metric_);
    std::vector<unsigned char> r;
    if (binary_) {
        const unsigned char header[8] = {
            static_cast<unsigned char>(patriot_ ? 'P' : 'L'), static_cast<unsigned char>(patriot_ ? 'A' : 'Y'),
            1, 'P', 0, 0, 26, 0};  // station, command, error, reserved, payload size (LE)
        r.assign(header, header + 8);
        for (const float v : p.v)
            put_float_le(r, v);
        put_text(r, "\r\n");
    } else {
        put_text(r, "  1 ");
        put_ascii_fields(r, p, "%9.3f");
    }
    return r;
}
