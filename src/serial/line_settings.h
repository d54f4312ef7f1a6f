// Line settings through the kernel's termios2 interface, which carries the
// rate as a plain number and so also takes rates that have no B-constant
// (31250, 62500, 76800, 128000). Kept apart from <termios.h>, whose struct
// termios clashes with the kernel's.
#pragma once

#include <cstdint>

namespace ostrand {

// What a terminal is set to. Read on a pseudo-terminal's master side, it
// reports what the program on the other side put on the terminal.
struct LineSettings {
    uint32_t baud = 0;  // output rate, bit/s
    int dataBits = 8;
    int stopBits = 1;
    bool parity = false;
};

bool readLineSettings(int fd, LineSettings& out);

namespace detail {

// The words of a termios struct without its type, so that both worlds can
// share them.
struct TermiosWords {
    uint32_t iflag = 0;
    uint32_t oflag = 0;
    uint32_t cflag = 0;
    uint32_t lflag = 0;
    uint8_t line = 0;
    uint8_t cc[32] = {};
};

// Gives the settings to the terminal at any rate, input rate equal to output
// rate. With drain, earlier output leaves the line first.
bool applyWithRate(int fd, const TermiosWords& words, uint32_t baud, bool drain);

}  // namespace detail
}  // namespace ostrand
