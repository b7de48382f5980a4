// The kernel's free-speed interface lives in headers that clash with <termios.h>, so it gets a
// translation unit of its own.
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace ktcom {

bool SetCustomSpeed(int fd, unsigned baud) {
    struct termios2 tio {};
    if (::ioctl(fd, TCGETS2, &tio) != 0) {
        return false;
    }
    tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = baud;
    tio.c_ospeed = baud;
    return ::ioctl(fd, TCSETS2, &tio) == 0;
}

} // namespace ktcom
