// The one place the capture code reaches a Video4Linux2 device. The real seam
// goes through libv4l2 (which also converts formats the driver lacks); tests
// and the simulated sources put an in-memory device behind the same calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class v4l2_seam_t {
public:
    virtual ~v4l2_seam_t() = default;
    // As open(2), close(2), ioctl(2), mmap(2) and munmap(2); errors in errno.
    virtual int open_device(const std::string& path, int flags) = 0;
    virtual int close_device(int fd) = 0;
    virtual int ioctl_device(int fd, unsigned long request, void* arg) = 0;
    virtual void* map(std::size_t length, int fd, std::int64_t offset) = 0;
    virtual int unmap(void* start, std::size_t length) = 0;

    // Devices are this prefix followed by their number.
    std::string device_path(int number) const { return prefix_ + std::to_string(number); }
    void set_device_prefix(std::string prefix) { prefix_ = std::move(prefix); }

private:
    std::string prefix_ = "/dev/video";
};

// The seam in use: libv4l2 unless another was installed.
v4l2_seam_t& v4l2_seam();
// Installs a seam (not owned) for the rest of the run; null puts libv4l2 back.
void set_v4l2_seam(v4l2_seam_t* seam);

// Retries an ioctl interrupted by a signal, as every caller wants.
int xioctl(v4l2_seam_t& seam, int fd, unsigned long request, void* arg);
