#include "simulators/pty_link.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include "acquisition/serial_termios2.h"

namespace {

double mono_seconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct speed_entry_t {
    speed_t code;
    long bps;
};

constexpr speed_entry_t line_speeds[] = {
    {B300, 300},       {B1200, 1200},     {B2400, 2400},       {B4800, 4800},     {B9600, 9600},
    {B19200, 19200},   {B38400, 38400},   {B57600, 57600},     {B115200, 115200}, {B230400, 230400},
    {B460800, 460800}, {B921600, 921600},
};

long bps_of(speed_t code)
{
    for (const speed_entry_t& e : line_speeds)
        if (e.code == code)
            return e.bps;
    return 0;
}

// Hosts drive converters that remap 19200 to 1.2 Mbaud with the 19200 code.
long host_code_speed(long device_speed)
{
    return device_speed == 1228739 ? 19200 : device_speed;
}

bool line_fits(const sim_line_t& line, long device_speed)
{
    return line.speed != 0 && line.speed == host_code_speed(device_speed) && line.eight_n_one && !line.flow_control;
}

void set_cloexec(int fd)
{
    const int flags = ::fcntl(fd, F_GETFD);
    if (flags >= 0)
        ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
}

}  // namespace

bool pty_link_t::speed_supported(long bps)
{
    if (bps == 1228739 || bps == 28800)
        return true;
    return std::any_of(std::begin(line_speeds), std::end(line_speeds),
                       [bps](const speed_entry_t& e) { return e.bps == bps; });
}

pty_link_t::pty_link_t(std::unique_ptr<device_sim_t> sim, sim_faults_t faults)
    : sim_(std::move(sim)), faults_(faults), start_(mono_seconds())
{
    if (!sim_)
        return;
    int m = -1;
    int s = -1;
    if (::openpty(&m, &s, nullptr, nullptr, nullptr) != 0)
        return;
    char name[128] = {};
    if (::ttyname_r(s, name, sizeof name) != 0) {
        ::close(m);
        ::close(s);
        return;
    }
    set_cloexec(m);
    set_cloexec(s);
    // Replies are dropped rather than block when nobody reads the port.
    const int flags = ::fcntl(m, F_GETFL);
    if (flags >= 0)
        ::fcntl(m, F_SETFL, flags | O_NONBLOCK);

    // A fresh pty is cooked; a serial port the host has not configured yet is raw at 9600.
    termios t{};
    if (::tcgetattr(s, &t) == 0) {
        ::cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        ::cfsetispeed(&t, B9600);
        ::cfsetospeed(&t, B9600);
        ::tcsetattr(s, TCSANOW, &t);
    }
    master_ = m;
    slave_ = s;
    path_ = name;
}

pty_link_t::~pty_link_t()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (master_ >= 0)
        ::close(master_);
    if (slave_ >= 0)
        ::close(slave_);
}

void pty_link_t::start()
{
    if (!ok() || thread_.joinable())
        return;
    thread_ = std::thread([this] { run(); });
}

void pty_link_t::run()
{
    if (!ok())
        return;
    while (!stop_)
        pump_once(20);
}

void pty_link_t::set_faults(const sim_faults_t& faults)
{
    std::lock_guard lock(mutex_);
    faults_ = faults;
    replies_ = 0;
}

double pty_link_t::now() const
{
    return mono_seconds() - start_;
}

sim_line_t pty_link_t::line_now() const
{
    // On Linux the master reports the slave's settings, which are the host's.
    sim_line_t line;
    termios t{};
    if (::tcgetattr(master_, &t) != 0) {
        line.speed = 0;
        return line;
    }
    // termios2 tells speeds without a B-constant too (28800 set with BOTHER).
    line.speed = serial_termios2::output_speed(master_);
    if (line.speed == 0)
        line.speed = bps_of(::cfgetospeed(&t));
    line.eight_n_one = (t.c_cflag & CSIZE) == CS8 && (t.c_cflag & (PARENB | CSTOPB)) == 0;
    line.flow_control = (t.c_cflag & CRTSCTS) != 0;
    return line;
}

void pty_link_t::pump_once(int wait_ms)
{
    int timeout = wait_ms;
    if (!pending_.empty()) {
        const double left = pending_.front().due - now();
        timeout = std::clamp(static_cast<int>(std::ceil(left * 1000.0)), 0, wait_ms);
    }
    {
        std::lock_guard lock(mutex_);
        const double left = sim_->next_event() - now();
        if (left < static_cast<double>(timeout) / 1000.0)
            timeout = std::clamp(static_cast<int>(std::ceil(left * 1000.0)), 0, timeout);
    }
    pollfd p{master_, POLLIN, 0};
    const int r = ::poll(&p, 1, timeout);
    if (r > 0 && (p.revents & POLLIN) != 0) {
        unsigned char buf[4096];
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n > 0) {
            const sim_line_t line = line_now();
            std::vector<std::vector<unsigned char>> out;
            std::lock_guard lock(mutex_);
            const bool fits = line_fits(line, sim_->device_speed());
            if (!fits)
                ++mismatches_;  // a real device would see framing garbage
            if (fits || sim_->hears_mismatched(line)) {
                sim_->receive({buf, static_cast<std::size_t>(n)}, line, now(), out);
                for (std::vector<unsigned char>& reply : out)
                    send(std::move(reply));
            }
        }
    } else if (r > 0) {
        // Hang-up or error without data: wait instead of spinning on poll.
        std::this_thread::sleep_for(std::chrono::milliseconds(wait_ms));
    }
    {
        std::vector<std::vector<unsigned char>> out;
        std::lock_guard lock(mutex_);
        sim_->advance(now(), out);
        for (std::vector<unsigned char>& reply : out)
            send(std::move(reply));
    }
    write_due();
}

void pty_link_t::send(std::vector<unsigned char> reply)
{
    if (reply.empty())
        return;
    ++replies_;
    if (faults_.drop_every > 0 && replies_ % faults_.drop_every == 0)
        return;
    if (faults_.corrupt_every > 0 && replies_ % faults_.corrupt_every == 0)
        reply[reply.size() / 2] ^= 0xFF;

    // Replies queue behind each other, as on a real line.
    double due = std::max(now() + std::max(faults_.latency, 0.0), busy_until_);
    const std::size_t piece = faults_.fragment > 0 ? faults_.fragment : reply.size();
    const double gap = std::max(faults_.fragment_gap, 0.0);
    for (std::size_t at = 0; at < reply.size(); at += piece) {
        const std::size_t len = std::min(piece, reply.size() - at);
        const auto first = reply.begin() + static_cast<std::ptrdiff_t>(at);
        pending_.push_back({due, std::vector<unsigned char>(first, first + static_cast<std::ptrdiff_t>(len))});
        busy_until_ = due;
        due += gap;
    }
}

void pty_link_t::write_due()
{
    while (!pending_.empty() && pending_.front().due <= now()) {
        const std::vector<unsigned char>& bytes = pending_.front().bytes;
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t w = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (w > 0)
                done += static_cast<std::size_t>(w);
            else if (w < 0 && errno == EINTR)
                continue;
            else
                break;  // the host is not reading: the rest is lost, as on a wire
        }
        pending_.pop_front();
    }
}
