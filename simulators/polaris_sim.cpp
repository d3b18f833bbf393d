#include "simulators/polaris_sim.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "common/hex_digit.h"

namespace {

constexpr char port_letters[] = "123ABC";
constexpr int ports = 6;
constexpr std::size_t max_line = 1024;  // longer lines are noise and are dropped
constexpr std::size_t rom_piece = 64;
constexpr std::size_t max_commands = 4096;

std::uint16_t crc16(const std::string& text)
{
    std::uint16_t crc = 0;
    for (const char c : text) {
        crc ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

std::vector<unsigned char> framed(const std::string& body, bool spoil_crc)
{
    std::uint16_t crc = crc16(body);
    if (spoil_crc)
        crc ^= 0x5A5A;
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04X", static_cast<unsigned>(crc));
    std::vector<unsigned char> out(body.begin(), body.end());
    out.insert(out.end(), digits, digits + 4);
    out.push_back('\r');
    return out;
}

std::string hex(unsigned long value, int digits)
{
    char s[24];
    std::snprintf(s, sizeof s, "%0*lX", digits, value);
    return s;
}

std::optional<unsigned long> parse_hex(const std::string& s, std::size_t at, std::size_t n)
{
    if (at > s.size() || s.size() - at < n)
        return std::nullopt;
    unsigned long v = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const int d = hex_digit_value(s[at + i]);
        if (d < 0)
            return std::nullopt;
        v = v * 16 + static_cast<unsigned long>(d);
    }
    return v;
}

std::string signed_field(double value, double scale, int digits)
{
    const double limit = std::pow(10.0, digits) - 1.0;
    const long v = std::lround(std::clamp(value * scale, -limit, limit));
    char s[24];
    std::snprintf(s, sizeof s, "%c%0*ld", v < 0 ? '-' : '+', digits, std::labs(v));
    return s;
}

int port_of_letter(char c)
{
    for (int p = 0; p < ports; ++p)
        if (port_letters[p] == c)
            return p;
    return -1;
}

const long speeds[] = {9600, 14400, 19200, 38400, 57600, 115200, 921600, 1228739};

}  // namespace

polaris_sim_t::polaris_sim_t(sim_options_t options, bool newer) : options_(std::move(options)), newer_(newer)
{
    reset();
}

long polaris_sim_t::device_speed() const
{
    return speed_;
}

wxString polaris_sim_t::name() const
{
    return newer_ ? "NDI Polaris (newer command set)" : "NDI Polaris (original command set)";
}

std::vector<unsigned char> polaris_sim_t::rom_image(int port)
{
    // Not a whole number of pieces, so that the host must pad the last one.
    std::vector<unsigned char> rom(150);
    for (std::size_t i = 0; i < rom.size(); ++i)
        rom[i] = static_cast<unsigned char>((i * 7 + static_cast<std::size_t>(port) * 31 + 1) & 0xFF);
    return rom;
}

void polaris_sim_t::reset()
{
    speed_ = 9600;
    initialised_ = tracking_ = false;
    selected_volume_ = 0;
    line_.clear();
    handles_.clear();
    diagnostic_ = illuminated_frame_ = background_frame_ = false;
    snapped_.reset();
    start_x_ = 0;
    end_x_ = -1;  // the last column
    stride_ = 1;
    colour_depth_ = 8;
    sample_option_ = 0;
    shutter_time_ = 100;
    ports_ = {};
    for (int p = 0; p < ports; ++p) {
        ports_[static_cast<std::size_t>(p)].port = p;
        ports_[static_cast<std::size_t>(p)].passive = p >= 3;
    }
}

void polaris_sim_t::receive(std::span<const unsigned char> bytes, const sim_line_t& line, double now,
                            std::vector<std::vector<unsigned char>>& out)
{
    if (line.speed == 300 && speed_ != 300) {
        // Everything at this speed is a break to the tracker; a zero byte is the reset.
        if (std::find(bytes.begin(), bytes.end(), 0) != bytes.end()) {
            reset();
            out.push_back(framed("RESET", false));
        }
        return;
    }
    for (const unsigned char b : bytes) {
        if (b == '\r') {
            commands_.push_back(line_);
            if (commands_.size() > max_commands)
                commands_.pop_front();
            const std::string reply = execute(line_, now);
            line_.clear();
            if (reply.empty())
                continue;
            const bool pose_reply = reply.size() > 7 && (commands_.back().starts_with("TX") ||
                                                         commands_.back().starts_with("GX"));
            const bool spoil = pose_reply && conditions_.bad_crc > 0;
            if (spoil)
                --conditions_.bad_crc;
            out.push_back(framed(reply, spoil));
            if (commands_.back().starts_with("COMM") && reply == "OKAY")
                speed_ = speeds[commands_.back()[5] - '0'];
        } else if (line_.size() < max_line) {
            line_ += static_cast<char>(b);
        }
    }
}

polaris_sim_t::handle_t* polaris_sim_t::find_handle(const std::string& text)
{
    if (newer_) {
        const auto h = parse_hex(text, 0, 2);
        if (!h)
            return nullptr;
        const auto it = handles_.find(static_cast<int>(*h));
        return it == handles_.end() ? nullptr : &it->second;
    }
    const int p = text.empty() ? -1 : port_of_letter(text[0]);
    return p < 0 ? nullptr : &ports_[static_cast<std::size_t>(p)];
}

bool polaris_sim_t::rom_matches(const std::vector<unsigned char>& rom, int port) const
{
    const std::vector<unsigned char> image = rom_image(port);
    const std::size_t padded = (image.size() + rom_piece - 1) / rom_piece * rom_piece;
    if (rom.size() != padded)
        return false;
    return std::equal(image.begin(), image.end(), rom.begin()) &&
           std::all_of(rom.begin() + static_cast<std::ptrdiff_t>(image.size()), rom.end(),
                       [](unsigned char b) { return b == 0; });
}

std::string polaris_sim_t::set_speed(const std::string& args)
{
    if (args.size() != 5 || args[0] < '0' || args[0] > '7' || args.substr(1) != "0000")
        return "ERROR23";
    if (!newer_ && args[0] > '5')
        return "ERROR23";
    return "OKAY";  // the switch follows the reply
}

std::string polaris_sim_t::execute(const std::string& command, double now)
{
    const std::size_t space = command.find(' ');
    const std::string name = command.substr(0, space);
    const std::string args = space == std::string::npos ? std::string() : command.substr(space + 1);
    const bool newer_only = name == "TX" || name == "GET" || name == "SET" || name == "PHRQ" || name == "PHSR" ||
                            name == "PHINF" || name == "VSNAP" || name == "VGET";
    const bool older_only = name == "GX" || name == "PVCLR" || name == "PSTAT";
    if ((newer_only && !newer_) || (older_only && newer_))
        return "ERROR01";

    if (name == "INIT") {
        if (!conditions_.init_error.empty())
            return conditions_.init_error;
        initialised_ = true;
        if (newer_)
            for (int p = 0; p < 3; ++p)
                if (!handles_.count(0x0A + p))
                    handles_[0x0A + p] = handle_t{p, false, false, false, {}};
        return "OKAY";
    }
    if (name == "TX" || name == "GX") {
        if (!tracking_ || args.empty())
            return "ERROR0C";
        if (!conditions_.tracking_error.empty())
            return conditions_.tracking_error;
        const auto option = parse_hex(args, 0, 4);
        if (!option || args.size() != 4)
            return "ERROR23";
        if (name == "TX")
            return *option == 0x0801 ? tracking_reply_tx(now) : "ERROR23";
        return (*option & ~0x8001ul) == 0 && (*option & 1) ? tracking_reply_gx(static_cast<unsigned>(*option), now)
                                                            : "ERROR23";
    }
    if (name == "GET") {
        if (args == "Info.Status.New Alerts")
            return "Info.Status.New Alerts=" + std::to_string(conditions_.new_alerts.value_or(0));
        if (args.empty())
            return "Param.Tracking.Selected Volume=" + std::to_string(selected_volume_);
        return get_parameter(args);
    }
    if (name == "SET") {
        constexpr std::string_view key = "Param.Tracking.Selected Volume=";
        if (!args.starts_with(key))
            return set_parameter(args);
        selected_volume_ = std::atoi(args.c_str() + key.size());
        return "OKAY";
    }
    if (name == "DSTART") {
        if (!initialised_)
            return "ERROR10";
        if (tracking_)
            return "ERROR0C";
        diagnostic_ = true;
        snapped_.reset();
        return "OKAY";
    }
    if (name == "DSTOP") {
        diagnostic_ = false;
        return "OKAY";
    }
    if (name == "VSNAP") {
        if (!diagnostic_)
            return "ERROR0C";
        if (illuminated_frame_ && background_frame_)
            return "ERROR23";
        snapped_ = illuminated_frame_ ? ir_illuminated : background_frame_ ? ir_background : ir_tracking;
        return "OKAY";
    }
    if (name == "VGET")
        return video_rows(args);
    if (name == "VSEL") {
        selected_volume_ = std::atoi(args.c_str());
        return "OKAY";
    }
    if (name == "DFLT" || name == "SAVE") {
        if (name == "DFLT" && conditions_.restorable) {
            conditions_.init_error.clear();
            conditions_.new_alerts.reset();
        }
        return "OKAY";
    }
    if (name == "COMM")
        return set_speed(args);
    if (name == "TSTART") {
        if (!initialised_)
            return "ERROR10";
        if (diagnostic_)
            return "ERROR0C";
        tracking_ = true;
        return "OKAY";
    }
    if (name == "TSTOP") {
        tracking_ = false;
        return "OKAY";
    }
    if (name == "PHRQ") {
        if (args.size() != 14)
            return "ERROR07";
        if (args[9] == '1' && args.substr(10) == "****") {
            int h = 1;
            while (handles_.count(h))
                ++h;
            handles_[h] = handle_t{-1, true, false, false, {}};
            return hex(static_cast<unsigned long>(h), 2);
        }
        const int p = args[11] - '1';
        if (args[10] != '0' || p < 0 || p > 2)
            return "ERROR2F";
        return hex(static_cast<unsigned long>(0x0A + p), 2);
    }
    if (name == "PHSR") {
        std::string r = hex(handles_.size(), 2);
        for (const auto& [h, state] : handles_)
            r += hex(static_cast<unsigned long>(h), 2) + (state.enabled ? "031" : "001");
        return r;
    }
    if (name == "PHINF") {
        handle_t* h = find_handle(args);
        const auto option = parse_hex(args, 2, 4);
        if (!h || !option || args.size() != 6)
            return "ERROR08";
        const int status = port_status(h->port, h->initialised, h->enabled);
        const std::string location =
            std::string("00000000") + "0" + (h->passive ? "1" : "0") +
            (h->passive ? std::string("00") : hex(static_cast<unsigned long>(h->port + 1), 2)) + "00";
        if (*option == 0x0020)
            return location;
        if (*option == 0x002F)
            return tool_information(h->port, status) + location;
        return "ERROR23";
    }
    if (name == "PVWR") {
        const std::size_t id = newer_ ? 2 : 1;
        handle_t* h = find_handle(args);
        const auto address = parse_hex(args, id, 4);
        if (!h || !address || args.size() != id + 4 + 2 * rom_piece || *address % rom_piece != 0)
            return "ERROR07";
        std::vector<unsigned char> piece;
        for (std::size_t i = 0; i < rom_piece; ++i) {
            const auto b = parse_hex(args, id + 4 + 2 * i, 2);
            if (!b)
                return "ERROR07";
            piece.push_back(static_cast<unsigned char>(*b));
        }
        if (h->rom.size() < *address + rom_piece)
            h->rom.resize(*address + rom_piece);
        std::copy(piece.begin(), piece.end(), h->rom.begin() + static_cast<std::ptrdiff_t>(*address));
        return "OKAY";
    }
    if (name == "PVCLR") {
        const int p = args.empty() ? -1 : port_of_letter(args[0]);
        if (p < 0 || p > 2)
            return "ERROR07";
        ports_[static_cast<std::size_t>(p)].rom.clear();
        return "OKAY";
    }
    if (name == "PINIT" || name == "PENA") {
        handle_t* h = find_handle(args);
        if (!h)
            return newer_ ? "ERROR08" : "ERROR07";
        if (h->passive) {
            // A passive tool is whatever its definition describes.
            h->port = -1;
            for (int p = 3; p < ports; ++p)
                if (rom_matches(h->rom, p))
                    h->port = p;
            if (!newer_ && h->port < 0)
                return "ERROR0D";
        }
        if (name == "PINIT") {
            if (!initialised_)
                return "ERROR10";
            h->initialised = true;
            const int p = h->port;
            return p >= 0 && !conditions_.pinit_reply[static_cast<std::size_t>(p)].empty()
                       ? conditions_.pinit_reply[static_cast<std::size_t>(p)]
                       : "OKAY";
        }
        const char priority = args.empty() ? 0 : args.back();
        if (!h->initialised)
            return "ERROR0E";
        if (priority != 'S' && priority != 'D' && priority != 'B')
            return "ERROR09";
        h->enabled = true;
        const int p = h->port;
        return p >= 0 && !conditions_.pena_reply[static_cast<std::size_t>(p)].empty()
                   ? conditions_.pena_reply[static_cast<std::size_t>(p)]
                   : "OKAY";
    }
    if (name == "SFLIST") {
        if (args == "00")
            return newer_ ? "00000007" : "00000003";
        if (args == "03")
            return conditions_.volumes;
        return "ERROR23";
    }
    if (name == "SSTAT")
        return args == "0007" ? "000000" : "ERROR23";
    if (name == "PSTAT") {
        if (args != "800F")
            return "ERROR23";
        std::string r;
        for (int p = 0; p < ports; ++p) {
            const handle_t& h = ports_[static_cast<std::size_t>(p)];
            const bool occupied = p < 3 || rom_matches(h.rom, p);
            r += occupied ? tool_information(p, port_status(p, h.initialised, h.enabled)) : "UNOCCUPIED";
            r += '\n';
        }
        return r;
    }
    if (name == "IRINIT")
        return "OKAY";
    if (name == "IRCHK")
        return "0";
    return "ERROR01";
}

int polaris_sim_t::port_status(int port, bool initialised, bool enabled) const
{
    if (port < 0)
        return 0;
    const auto p = static_cast<std::size_t>(port);
    int s = 0x01 | (initialised ? 0x10 : 0) | (enabled ? 0x20 : 0) | conditions_.port_bits[p];
    if (options_.out_of_volume)
        s |= 0x40;
    return s & ~conditions_.port_clear[p];
}

int polaris_sim_t::system_status() const
{
    int s = conditions_.system_status & 0xFF;
    if (newer_ && conditions_.temperature)
        s |= 0x0200;
    if (newer_ && conditions_.new_alerts)
        s |= 0x0100;
    return s;
}

std::string polaris_sim_t::transformation(int port, double now)
{
    const sim_pose_t pose = sim_sensor_pose(options_, now, port);
    log_sent(now, port, pose);
    constexpr double to_radians = 3.141592653589793 / 180.0;
    const double a = pose.v[3] * to_radians / 2, e = pose.v[4] * to_radians / 2, r = pose.v[5] * to_radians / 2;
    const double ca = std::cos(a), sa = std::sin(a), ce = std::cos(e), se = std::sin(e), cr = std::cos(r),
                 sr = std::sin(r);
    // Rz(azimuth)·Ry(elevation)·Rx(roll) as a quaternion, scalar part kept non-negative.
    double q[4] = {ca * ce * cr + sa * se * sr, ca * ce * sr - sa * se * cr, ca * se * cr + sa * ce * sr,
                   sa * ce * cr - ca * se * sr};
    if (q[0] < 0)
        for (double& v : q)
            v = -v;
    std::string t;
    for (const double v : q)
        t += signed_field(v, 10000.0, 5);
    for (int i = 0; i < 3; ++i)
        t += signed_field(pose.v[i], 1000.0, 6);  // cm to hundredths of a mm
    t += "+00120";                                  // RMS error
    return t;
}

std::string polaris_sim_t::tracking_reply_tx(double now)
{
    ++frame_;
    std::string r;
    int listed = 0;
    for (const auto& [h, state] : handles_) {
        if (!state.enabled)
            continue;
        ++listed;
        r += hex(static_cast<unsigned long>(h), 2);
        const int p = state.port;
        const std::string tail =
            hex(static_cast<unsigned long>(port_status(p, state.initialised, state.enabled)), 8) +
            hex(static_cast<unsigned long>(frame_), 8) + "\n";
        if (p >= 0 && conditions_.disabled[static_cast<std::size_t>(p)])
            r += "DISABLED\n";
        else if (p < 0 || options_.tool_missing || conditions_.missing[static_cast<std::size_t>(p)])
            r += "MISSING" + tail;
        else
            r += transformation(p, now) + tail;
    }
    return hex(static_cast<unsigned long>(listed), 2) + r + hex(static_cast<unsigned long>(system_status()), 4);
}

std::string polaris_sim_t::tracking_reply_gx(unsigned option, double now)
{
    ++frame_;
    std::string r;
    const int blocks = (option & 0x8000) ? 2 : 1;
    for (int b = 0; b < blocks; ++b) {
        std::string status;
        for (int p = 3 * b; p < 3 * b + 3; ++p) {
            const handle_t& h = ports_[static_cast<std::size_t>(p)];
            const bool seen = !h.passive || rom_matches(h.rom, p);
            if (!h.enabled || conditions_.disabled[static_cast<std::size_t>(p)])
                r += "DISABLED\n";
            else if (!seen || options_.tool_missing || conditions_.missing[static_cast<std::size_t>(p)])
                r += "MISSING\n";
            else
                r += transformation(p, now) + "\n";
            status += hex(static_cast<unsigned long>(port_status(p, h.initialised, h.enabled) & 0xFF), 2);
        }
        r += status + hex(static_cast<unsigned long>(system_status() & 0xFF), 2) + "\n";
    }
    return r;
}

std::string polaris_sim_t::tool_information(int port, int status) const
{
    // Tool type, manufacturer, revision, serial number, port status; marker
    // and cable tests; part number; switches and LEDs.
    char serial[16];
    std::snprintf(serial, sizeof serial, "%08X", 0x3A00u + static_cast<unsigned>(std::max(port, 0)));
    return std::string(port >= 3 ? "01000001" : "02120001") + "NDI         " + "003" + serial +
           hex(static_cast<unsigned long>(status & 0xFF), 2) + "00000000" + "00" + "8700339             " + "00";
}

std::string polaris_sim_t::get_parameter(const std::string& args) const
{
    const std::pair<const char*, int> values[] = {{"Cmd.VGet.Threshold.Trigger", conditions_.ir_trigger},
                                                  {"Cmd.VGet.Threshold.Background", conditions_.ir_background},
                                                  {"Cmd.VGet.Sensor.Width", conditions_.sensor_width},
                                                  {"Cmd.VGet.Sensor.Height", conditions_.sensor_height}};
    for (const auto& [key, value] : values)
        if (args == key)
            return args + "=" + std::to_string(value);
    return "ERROR34";
}

std::string polaris_sim_t::set_parameter(const std::string& args)
{
    const std::size_t eq = args.find('=');
    if (eq == std::string::npos)
        return "ERROR34";
    const std::string key = args.substr(0, eq);
    const std::string text = args.substr(eq + 1);
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    const bool number = !text.empty() && *end == 0;
    const int last_column = conditions_.sensor_width - 1;
    struct setting_t {
        const char* key;
        long low, high;
        int* target;
    };
    int illuminated = illuminated_frame_, background = background_frame_;
    const setting_t settings[] = {{"Cmd.VGet.Threshold.Shutter Time", 1, 10000, &shutter_time_},
                                  {"Cmd.VGet.Start X", 0, last_column, &start_x_},
                                  {"Cmd.VGet.End X", 0, last_column, &end_x_},
                                  {"Cmd.VGet.Stride", 1, std::max(1, conditions_.sensor_width), &stride_},
                                  {"Cmd.VGet.Color Depth", 8, 8, &colour_depth_},
                                  {"Cmd.VGet.Sample Option", 0, 2, &sample_option_},
                                  {"Cmd.VSnap.Illuminated Frame", 0, 1, &illuminated},
                                  {"Cmd.VSnap.Background Frame", 0, 1, &background}};
    for (const setting_t& s : settings) {
        if (key != s.key)
            continue;
        if (!number)
            return "ERROR35";
        if (value < s.low || value > s.high)
            return "ERROR36";
        *s.target = static_cast<int>(value);
        illuminated_frame_ = illuminated != 0;
        background_frame_ = background != 0;
        return "OKAY";
    }
    return "ERROR34";
}

int polaris_sim_t::ir_pixel(int sensor, ir_frame_t frame, int x, int y, int width, int height)
{
    const double radius = std::max(2.0, width / 24.0);
    const auto inside = [&](double cx, double cy) {
        const double dx = x - cx * width, dy = y - cy * height;
        return dx * dx + dy * dy <= radius * radius;
    };
    const double shift = sensor == 1 ? 0.1 : 0.0;
    const bool marker = inside(0.3 - shift, 0.5) || inside(0.6 - shift, 0.3);
    const bool stray = inside(0.85, 0.7);
    const int ambient = 20 + (3 * x + 5 * y) % 21;
    switch (frame) {
    case ir_tracking: return marker ? 230 : 0;
    case ir_illuminated: return marker ? 230 : stray ? 110 : ambient;
    case ir_background: return stray ? 110 : ambient;
    }
    return 0;
}

std::string polaris_sim_t::video_rows(const std::string& args) const
{
    if (!diagnostic_ || !snapped_)
        return "ERROR0C";
    const auto first = parse_hex(args, 0, 4);
    const auto sensor = parse_hex(args, 4, 2);
    const auto count = parse_hex(args, 6, 2);
    if (args.size() != 8 || !first || !sensor || !count || *sensor > 1)
        return "ERROR23";
    if (conditions_.vget_reply)
        return *conditions_.vget_reply;
    const int width = conditions_.sensor_width, height = conditions_.sensor_height;
    const int last = end_x_ < 0 ? width - 1 : std::min(end_x_, width - 1);
    if (start_x_ > last)
        return "ERROR23";
    const auto pixel = [&](int x, int y) {
        return ir_pixel(static_cast<int>(*sensor), *snapped_, x, y, width, height);
    };
    std::string r;
    for (unsigned long k = 0; k < *count; ++k) {
        const long y = static_cast<long>(*first) + static_cast<long>(k) * stride_;
        if (y >= height)
            break;
        for (int x = start_x_; x <= last; x += stride_) {
            int value = pixel(x, static_cast<int>(y));
            if (sample_option_ != 0) {
                int sum = 0, n = 0, brightest = 0;
                for (int by = static_cast<int>(y); by < std::min<long>(y + stride_, height); ++by)
                    for (int bx = x; bx < std::min(x + stride_, last + 1); ++bx) {
                        const int v = pixel(bx, by);
                        sum += v;
                        ++n;
                        brightest = std::max(brightest, v);
                    }
                value = sample_option_ == 1 ? sum / n : brightest;
            }
            r += hex(static_cast<unsigned long>(value), 2);
        }
        r += '\n';
    }
    return r;
}
