#include "v4l2_seam.h"

#include <cerrno>
#include <sys/mman.h>

#include <libv4l2.h>

namespace {

class libv4l2_seam_t final : public v4l2_seam_t {
public:
    int open_device(const std::string& path, int flags) override { return ::v4l2_open(path.c_str(), flags); }
    int close_device(int fd) override { return ::v4l2_close(fd); }
    int ioctl_device(int fd, unsigned long request, void* arg) override { return ::v4l2_ioctl(fd, request, arg); }
    void* map(std::size_t length, int fd, std::int64_t offset) override
    {
        return ::v4l2_mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, offset);
    }
    int unmap(void* start, std::size_t length) override { return ::v4l2_munmap(start, length); }
};

libv4l2_seam_t real_seam;
v4l2_seam_t* installed = nullptr;

}  // namespace

v4l2_seam_t& v4l2_seam()
{
    return installed ? *installed : real_seam;
}

void set_v4l2_seam(v4l2_seam_t* seam)
{
    installed = seam;
}

int xioctl(v4l2_seam_t& seam, int fd, unsigned long request, void* arg)
{
    int r;
    do
        r = seam.ioctl_device(fd, request, arg);
    while (r == -1 && errno == EINTR);
    return r;
}
