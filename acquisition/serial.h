// A serial line seen as a byte stream cut into records, either of a fixed
// length or ending in a terminator byte. It knows nothing of the devices on
// the line; reads never block unless the caller asks to wait.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include <termios.h>

#include <wx/string.h>

class serial_t {
public:
    static constexpr std::size_t buffer_size = 8192;

    serial_t() = default;
    ~serial_t() { close_port(); }
    serial_t(const serial_t&) = delete;
    serial_t& operator=(const serial_t&) = delete;

    bool open_port(const wxString& name);  // empty name opens /dev/null
    void close_port();
    bool is_open() const { return open_; }

    // parity: 0 none, 1 odd, 2 even; stop_bits and flow: 0 or non-zero. Besides
    // the usual B-constant speeds, 28800 bps is set through termios2.
    bool set_params(long speed, int data_bits, int parity, int stop_bits, int flow);
    // The line settings set_params applies; false for a speed without a B-constant.
    static bool line_settings(long speed, int data_bits, int parity, int stop_bits, int flow, termios* out);
    // Drops unread input and starts a new record of this shape.
    void set_record_length(std::size_t length, unsigned char terminator = 0);
    bool send_break() const;
    bool pwrite(const void* bytes, std::size_t n) const;

    // Length of a completed record, or 0. timeout is in 100 ns ticks.
    std::size_t pread(bool wait, std::uint64_t timeout);

    // The record the last pread returned; valid until the next pread.
    std::span<const unsigned char> record() const { return {buf_.data(), delivered_}; }
    std::size_t record_length() const { return record_length_; }
    unsigned char terminator() const { return terminator_; }
    std::size_t held() const { return held_ - delivered_; }  // bytes waiting, not yet a record

private:
    class fd_t {
    public:
        fd_t() = default;
        explicit fd_t(int fd) : fd_(fd) {}
        ~fd_t() { reset(); }
        fd_t(const fd_t&) = delete;
        fd_t& operator=(const fd_t&) = delete;
        fd_t(fd_t&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
        fd_t& operator=(fd_t&& o) noexcept;
        int get() const { return fd_; }
        void reset();

    private:
        int fd_ = -1;
    };

    enum class read_outcome { data, none, ended, failed };
    read_outcome read_some();
    std::size_t complete_length() const;
    std::size_t deliver(std::size_t n);
    void compact();
    void flush_queues() const;

    fd_t read_fd_;
    fd_t write_fd_;
    bool open_ = false;

    std::array<unsigned char, buffer_size> buf_{};
    std::size_t held_ = 0;       // bytes in buf_, the delivered record included
    std::size_t delivered_ = 0;  // front bytes already returned as a record
    std::size_t record_length_ = buffer_size;
    unsigned char terminator_ = 0;
    std::uint64_t last_arrival_ = 0;  // 100 ns ticks
};
