#include "SerialSpeed.h"

#include <cerrno>

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace comm::serialspeed {

int setCustomSpeed(int fd, std::uint32_t baud)
{
    struct termios2 t2 {};
    if (ioctl(fd, TCGETS2, &t2) != 0)
        return errno;
    t2.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t2.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t2.c_ispeed = baud;
    t2.c_ospeed = baud;
    if (ioctl(fd, TCSETS2, &t2) != 0)
        return errno;
    return 0;
}

std::optional<std::uint32_t> currentSpeed(int fd)
{
    struct termios2 t2 {};
    if (ioctl(fd, TCGETS2, &t2) != 0)
        return std::nullopt;
    return t2.c_ospeed;
}

} // namespace comm::serialspeed
