#include "acquisition/serial.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <wx/log.h>

#include "acquisition/serial_termios2.h"
#include "common/timestamp.h"

namespace {

std::uint64_t now_ticks()
{
    // Differences only matter, so a private clock serves when no master clock exists yet.
    static const timestamp fallback;
    return master_clock ? master_clock->hundred_ns_time() : fallback.hundred_ns_time();
}

bool speed_code(long speed, speed_t* code)
{
    switch (speed) {
    case 300: *code = B300; return true;
    case 1200: *code = B1200; return true;
    case 2400: *code = B2400; return true;
    case 4800: *code = B4800; return true;
    case 9600: *code = B9600; return true;
    case 19200: *code = B19200; return true;
    case 38400: *code = B38400; return true;
    case 57600: *code = B57600; return true;
    case 115200: *code = B115200; return true;
    case 921600: *code = B921600; return true;
    // Converters that remap 19200 to 1.2 Mbaud are driven with the 19200 code.
    case 1228739: *code = B19200; return true;
    default: return false;
    }
}

// Speeds without a B-constant (the swept-probe motor talks at 28800): the line
// is set up at 38400 and then given its true speed through termios2.
bool is_custom_speed(long speed)
{
    return speed == 28800;
}

}  // namespace

serial_t::fd_t& serial_t::fd_t::operator=(fd_t&& o) noexcept
{
    if (this != &o) {
        reset();
        fd_ = o.fd_;
        o.fd_ = -1;
    }
    return *this;
}

void serial_t::fd_t::reset()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool serial_t::open_port(const wxString& name)
{
    close_port();
    const wxString path = name.empty() ? wxString("/dev/null") : name;
    const wxCharBuffer cpath = path.fn_str();

    // O_NONBLOCK so that opening never waits for carrier; reads stay non-blocking.
    fd_t rd(::open(cpath.data(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (rd.get() < 0) {
        wxLogError("%s", "Couldn't open " + name + " for reading\n");
        return false;
    }
    fd_t wr(::open(cpath.data(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (wr.get() < 0) {
        wxLogError("%s", "Couldn't open " + name + " for writing\n");
        return false;
    }
    // Writes block so that a full output queue is not mistaken for a short write.
    const int flags = ::fcntl(wr.get(), F_GETFL);
    if (flags >= 0)
        ::fcntl(wr.get(), F_SETFL, flags & ~O_NONBLOCK);

    read_fd_ = std::move(rd);
    write_fd_ = std::move(wr);
    open_ = true;
    held_ = delivered_ = 0;
    flush_queues();
    return true;
}

void serial_t::close_port()
{
    read_fd_.reset();
    write_fd_.reset();
    open_ = false;
}

void serial_t::flush_queues() const
{
    // Not every device is a terminal (/dev/null); a failed flush is harmless.
    if (read_fd_.get() >= 0)
        ::tcflush(read_fd_.get(), TCIOFLUSH);
    if (write_fd_.get() >= 0)
        ::tcflush(write_fd_.get(), TCIOFLUSH);
}

bool serial_t::line_settings(long speed, int data_bits, int parity, int stop_bits, int flow, termios* out)
{
    speed_t code = B0;
    if (!speed_code(speed, &code))
        return false;
    termios tio{};
    tio.c_cflag = CLOCAL | CREAD | (data_bits == 8 ? CS8 : CS7);
    if (parity == 1)
        tio.c_cflag |= PARENB | PARODD;
    else if (parity == 2)
        tio.c_cflag |= PARENB;
    if (stop_bits != 0)
        tio.c_cflag |= CSTOPB;
    if (flow != 0)
        tio.c_cflag |= CRTSCTS;
    tio.c_iflag = 0;
    tio.c_oflag = 0;
    tio.c_lflag = 0;
    tio.c_cc[VMIN] = 0;  // reads never block
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, code);
    ::cfsetospeed(&tio, code);
    *out = tio;
    return true;
}

bool serial_t::set_params(long speed, int data_bits, int parity, int stop_bits, int flow)
{
    termios tio{};
    const bool custom = is_custom_speed(speed);
    if (!line_settings(custom ? 38400 : speed, data_bits, parity, stop_bits, flow, &tio)) {
        wxLogError("serial: invalid serial speed");
        close_port();
        return false;
    }
    if (!open_) {
        wxLogError("serial: set_params on a closed port");
        return false;
    }

    // Modem lines: ptys and some adapters have none, so a refusal is not fatal.
    const int dtr = TIOCM_DTR;
    const int rts = TIOCM_RTS;
    if (::ioctl(write_fd_.get(), TIOCMBIS, &dtr) != 0 || ::ioctl(write_fd_.get(), TIOCMBIC, &rts) != 0)
        wxLogDebug("serial: could not set DTR/RTS: %s", std::strerror(errno));

    if (::tcsetattr(read_fd_.get(), TCSAFLUSH, &tio) != 0 || ::tcsetattr(write_fd_.get(), TCSAFLUSH, &tio) != 0) {
        wxLogError("serial: could not configure the line: %s", std::strerror(errno));
        close_port();
        return false;
    }
    if (custom &&
        (!serial_termios2::set_speed(read_fd_.get(), speed) || !serial_termios2::set_speed(write_fd_.get(), speed))) {
        wxLogError("serial: could not set the line to %ld bps: %s", speed, std::strerror(errno));
        close_port();
        return false;
    }
    return true;
}

void serial_t::set_record_length(std::size_t length, unsigned char terminator)
{
    // Only stale input goes. Output has already left (pwrite drains), and on a
    // pseudo-terminal flushing it would drop bytes the far end has yet to read.
    if (read_fd_.get() >= 0)
        ::tcflush(read_fd_.get(), TCIFLUSH);
    held_ = delivered_ = 0;
    record_length_ = std::min(length, buffer_size);
    terminator_ = terminator;
}

bool serial_t::send_break() const
{
    return open_ && ::tcsendbreak(write_fd_.get(), 0) == 0;
}

bool serial_t::pwrite(const void* bytes, std::size_t n) const
{
    if (!open_)
        return false;
    ssize_t done;
    do {
        done = ::write(write_fd_.get(), bytes, n);
    } while (done < 0 && errno == EINTR);
    if (done < 0 || static_cast<std::size_t>(done) != n) {
        wxLogError("Write returned wrong number of bytes written in pwrite.");
        return false;
    }
    if (::tcdrain(write_fd_.get()) != 0) {
        wxLogError("tcdrain returned non-zero in pwrite.");
        return false;
    }
    return true;
}

void serial_t::compact()
{
    if (delivered_ == 0)
        return;
    std::memmove(buf_.data(), buf_.data() + delivered_, held_ - delivered_);
    held_ -= delivered_;
    delivered_ = 0;
}

serial_t::read_outcome serial_t::read_some()
{
    const std::size_t room = buffer_size - held_;
    if (room == 0)
        return read_outcome::none;
    ssize_t got;
    do {
        got = ::read(read_fd_.get(), buf_.data() + held_, room);
    } while (got < 0 && errno == EINTR);
    if (got > 0) {
        held_ += static_cast<std::size_t>(got);
        last_arrival_ = now_ticks();
        return read_outcome::data;
    }
    if (got == 0)
        return read_outcome::ended;  // readable yet empty: hung up, or not a terminal
    if (errno != EAGAIN && errno != EWOULDBLOCK)
        return read_outcome::failed;
    return read_outcome::none;
}

std::size_t serial_t::complete_length() const
{
    if (held_ == 0)
        return 0;
    if (terminator_ != 0) {
        const auto* end = buf_.data() + held_;
        const auto* t = std::find(buf_.data(), end, terminator_);
        if (t != end)
            return static_cast<std::size_t>(t - buf_.data()) + 1;
    } else if (record_length_ == 0) {
        return held_;
    } else if (held_ >= record_length_) {
        return record_length_;
    }
    // A full buffer ends the record so that garbage can never stall the reader.
    return held_ == buffer_size ? held_ : 0;
}

std::size_t serial_t::deliver(std::size_t n)
{
    delivered_ = n;
    return n;
}

std::size_t serial_t::pread(bool wait, std::uint64_t timeout)
{
    compact();
    if (!open_)
        return 0;
    const std::uint64_t wait_start = now_ticks();

    read_some();
    if (const std::size_t n = complete_length())
        return deliver(n);
    if (held_ > 0 && now_ticks() - last_arrival_ > timeout)
        return deliver(held_);  // a short record: the device fell silent
    if (!wait)
        return 0;

    for (;;) {
        const std::uint64_t base = held_ > 0 ? last_arrival_ : wait_start;
        const std::uint64_t deadline = base + timeout;
        const std::uint64_t now = now_ticks();
        if (now >= deadline)
            return deliver(held_);
        // poll() rather than select(): select cannot watch a descriptor past FD_SETSIZE.
        const std::uint64_t left_ms = (deadline - now + 9999u) / 10000u;
        pollfd p{read_fd_.get(), POLLIN, 0};
        const int r = ::poll(&p, 1, static_cast<int>(std::min<std::uint64_t>(left_ms, 60000u)));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            wxLogError("serial: error in read poll.");
            return deliver(held_);
        }
        if (r == 0)
            continue;  // the deadline test above ends the wait
        // Stop rather than spin on a descriptor that will never bring data.
        if (const read_outcome got = read_some(); got == read_outcome::ended || got == read_outcome::failed)
            return deliver(held_);
        if (const std::size_t n = complete_length())
            return deliver(n);
    }
}
