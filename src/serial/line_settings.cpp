// No <termios.h> here: <asm/termbits.h> defines its own struct termios.
#include "serial/line_settings.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cstring>

namespace ostrand {

bool readLineSettings(int fd, LineSettings& out) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) return false;
    out.baud = t.c_ospeed;
    switch (t.c_cflag & CSIZE) {
        case CS5:
            out.dataBits = 5;
            break;
        case CS6:
            out.dataBits = 6;
            break;
        case CS7:
            out.dataBits = 7;
            break;
        default:
            out.dataBits = 8;
            break;
    }
    out.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
    out.parity = (t.c_cflag & PARENB) != 0;
    return true;
}

namespace detail {

bool applyWithRate(int fd, const TermiosWords& words, uint32_t baud, bool drain) {
    struct termios2 t {};
    t.c_iflag = words.iflag;
    t.c_oflag = words.oflag;
    // CIBAUD left at zero: the input rate follows the output rate.
    t.c_cflag = (words.cflag & ~(CBAUD | CIBAUD)) | BOTHER;
    t.c_lflag = words.lflag;
    t.c_line = words.line;
    std::memcpy(t.c_cc, words.cc, std::min(sizeof t.c_cc, sizeof words.cc));
    t.c_ispeed = baud;
    t.c_ospeed = baud;
    return ioctl(fd, drain ? TCSETSW2 : TCSETS2, &t) == 0;
}

}  // namespace detail
}  // namespace ostrand
