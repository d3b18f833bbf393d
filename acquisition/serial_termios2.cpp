#include "acquisition/serial_termios2.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace serial_termios2 {

bool set_speed(int fd, long bps)
{
    if (fd < 0 || bps <= 0)
        return false;
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return false;
    t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = static_cast<speed_t>(bps);
    t.c_ospeed = static_cast<speed_t>(bps);
    return ::ioctl(fd, TCSETS2, &t) == 0;
}

long output_speed(int fd)
{
    termios2 t{};
    if (fd < 0 || ::ioctl(fd, TCGETS2, &t) != 0)
        return 0;
    return static_cast<long>(t.c_ospeed);
}

}  // namespace serial_termios2
