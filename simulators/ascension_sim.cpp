#include "simulators/ascension_sim.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int max_units = 14;  // addresses a Fast Bird Bus can carry

}  // namespace

ascension_sim_t::ascension_sim_t(ascension_model_t model, sim_options_t options)
    : model_(model), options_(std::move(options))
{
    const int fitted_default = model_ == ascension_model_t::trakstar ? 4 : 1;
    sensors_ = options_.sensors > 0 ? std::min(options_.sensors, 10) : fitted_default;
    full_scale_ = options_.full_scale_inches == 72 ? 72 : 36;
}

wxString ascension_sim_t::name() const
{
    switch (model_) {
    case ascension_model_t::flock: return "Ascension Flock of Birds";
    case ascension_model_t::mini: return "Ascension MiniBird";
    case ascension_model_t::laser: return "Ascension LaserBird";
    case ascension_model_t::trakstar: return "Ascension trakSTAR";
    }
    return "Ascension";
}

void ascension_sim_t::put_word(std::vector<unsigned char>& out, double counts)
{
    // Only the top 14 bits travel, so round to a multiple of 4 within int16.
    const double c = std::isfinite(counts) ? counts : 0.0;
    const long q = std::clamp(std::lround(std::clamp(c, -40000.0, 40000.0) / 4.0) * 4, -32768L, 32764L);
    const auto w = static_cast<std::int16_t>(q);
    out.push_back(static_cast<unsigned char>((w >> 2) & 0x7F));
    out.push_back(static_cast<unsigned char>((w >> 9) & 0x7F));
}

std::size_t ascension_sim_t::command_length() const
{
    if (command_.empty())
        return 1;
    switch (command_[0]) {
    case 'O': return 2;
    case 'P':
        if (command_.size() < 2)
            return 2;
        switch (command_[1]) {
        case '2':
        case '#': return 3;
        default: return 4;
        }
    default: return 1;
    }
}

void ascension_sim_t::receive(std::span<const unsigned char> bytes, const sim_line_t&, double now,
                              std::vector<std::vector<unsigned char>>& out)
{
    for (const unsigned char b : bytes) {
        if (command_.empty() && (b & 0xF0) == 0xF0) {
            address_ = b & 0x0F;
            continue;
        }
        command_.push_back(b);
        if (command_.size() >= command_length()) {
            execute(now, out);
            command_.clear();
            address_ = 0;
        }
    }
}

void ascension_sim_t::execute(double now, std::vector<std::vector<unsigned char>>& out)
{
    switch (command_[0]) {
    case 'O': examine(command_[1], out); break;
    case 'P': change(command_[1], std::span(command_).subspan(2)); break;
    case 'B': {
        if (options_.tool_missing)
            break;
        std::vector<unsigned char> r;
        if (group_ && address_ == 0) {
            for (int unit = 1; unit <= units_; ++unit) {
                if (!fitted(unit - 1))
                    break;
                put_unit(r, now, unit);
                r.push_back(static_cast<unsigned char>(unit));
            }
        } else {
            const int unit = address_ > 0 ? address_ : 1;
            if (fitted(unit - 1))
                put_unit(r, now, unit);
        }
        out.push_back(std::move(r));
        break;
    }
    default: break;  // output modes, run, sleep, auto-configuration: nothing to answer
    }
}

void ascension_sim_t::examine(unsigned char parameter, std::vector<std::vector<unsigned char>>& out) const
{
    std::vector<unsigned char> r;
    switch (parameter) {
    case 0x00:
        // Master, initialised, running, position/angle output, point mode.
        r = {0x08, 0xD0};
        break;
    case 0x03: r = {static_cast<unsigned char>(full_scale_ == 72 ? 1 : 0), 0}; break;
    case 0x0A: r = {0}; break;
    case 0x0F: {
        const char* model = "6DFOB     ";
        switch (model_) {
        case ascension_model_t::flock: model = "6DFOB     "; break;
        case ascension_model_t::mini: model = "6DMB      "; break;
        case ascension_model_t::laser: model = "LaserBird "; break;
        case ascension_model_t::trakstar: model = "6DBOB     "; break;
        }
        r.assign(model, model + 10);
        break;
    }
    case '$':
        for (int s = 0; s < 10; ++s)
            r.push_back(static_cast<unsigned char>((fitted(s) ? 0x01 : 0) | (powered(s) ? 0x80 : 0)));
        break;
    default: r = {0, 0}; break;
    }
    out.push_back(std::move(r));
}

void ascension_sim_t::change(unsigned char parameter, std::span<const unsigned char> data)
{
    switch (parameter) {
    case 0x03: full_scale_ = data[0] == 1 ? 72 : 36; break;
    case '2':
        if (data[0] >= 1 && data[0] <= max_units)
            units_ = data[0];
        break;
    case '#': group_ = data[0] != 0; break;
    default: break;
    }
}

void ascension_sim_t::put_unit(std::vector<unsigned char>& out, double now, int unit)
{
    const std::size_t first = out.size();
    const int sensor = unit - 1;
    if (powered(sensor)) {
        const sim_pose_t p = sim_sensor_pose(options_, now, sensor);
        log_sent(now, sensor, p);
        const double counts_per_cm = 32767.0 / (static_cast<double>(full_scale_) * 2.54);
        for (int i = 0; i < 3; ++i)
            put_word(out, p.v[i] * counts_per_cm);
        for (int i = 3; i < 6; ++i)
            put_word(out, p.v[i] / degrees_per_count);
    } else {
        out.insert(out.end(), 12, 0);
    }
    out[first] |= 0x80;
}
