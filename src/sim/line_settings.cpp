// Kept apart from every file that includes <termios.h>: the kernel's
// termios2 (arbitrary rates) clashes with the C library's definitions.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdint>

namespace ostrand::sim {

bool readLineSettings(int fd, uint32_t& rate, int& stopBits) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) return false;
    rate = t.c_ospeed;
    stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
    return true;
}

}  // namespace ostrand::sim
