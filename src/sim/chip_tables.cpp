// The chip's command and rate tables, kept apart from the engine's on purpose:
// the simulator plays the chip, and must not share the engine's mistakes.
#include <algorithm>
#include <cstdio>

#include "sim/chip.h"
#include "sim/chip_tables.h"

namespace ostrand::sim {

const std::array<uint32_t, 11> kRates = {2400,  4800,  9600,  19200,  31250, 38400,
                                         57600, 62500, 76800, 115200, 128000};

// Columns: program, RAM transfer, SUM, status, erase, protect, erase step 2,
// read, identification 1 and 2.
const uint8_t kCommands[13][10] = {
    {},
    {0x30, 0x60, 0x90, 0, 0, 0, 0, 0, 0, 0},
    {0x30, 0x60, 0x90, 0, 0, 0, 0, 0, 0, 0},
    {0x30, 0x60, 0x90, 0, 0, 0, 0, 0, 0, 0},
    {0x30, 0x60, 0x90, 0, 0, 0, 0, 0, 0, 0},
    {0x30, 0x60, 0x90, 0xC3, 0xF0, 0xFA, 0, 0, 0, 0},
    {0x30, 0x60, 0x90, 0xC3, 0xF0, 0, 0, 0, 0, 0},
    {0, 0x10, 0x20, 0x30, 0x40, 0, 0x54, 0, 0, 0},
    {0x50, 0x10, 0x20, 0x30, 0x40, 0x60, 0x54, 0, 0, 0},
    {0x30, 0x60, 0x90, 0xC3, 0xF0, 0xFA, 0, 0, 0, 0},
    {0x50, 0x10, 0x20, 0, 0x40, 0, 0x54, 0, 0, 0},
    {0x30, 0x60, 0x90, 0xC3, 0xF0, 0xFA, 0, 0x40, 0xD0, 0xC0},
    {0x30, 0x30, 0x90, 0, 0, 0, 0, 0, 0, 0},
};

const uint8_t kNoise[3] = {0xE7, 0x1C, 0x9B};

bool ownRate(int32_t bt) {
    return bt == 7 || bt == 8 || bt == 10 || bt == 11;
}
int startUpMs(int32_t bt) {
    if (bt == 2 || bt == 5) return 90;
    if (bt == 6 || bt == 9) return 180;
    if (bt == 7 || bt == 8 || bt == 10) return 300;
    return 0;
}
bool fixedPasswordType(int32_t bt) {
    return bt == 7 || bt == 8 || bt == 10;
}
bool among(int32_t bt, std::initializer_list<int32_t> set) {
    return std::find(set.begin(), set.end(), bt) != set.end();
}

bool matchRate(int32_t bt, uint32_t rate) {
    if (bt == 3) return rate == 2400 || rate == 4800 || rate == 9600;
    if (bt == 11)
        return rate >= 9600 && std::find(kRates.begin(), kRates.end(), rate) != kRates.end();
    if (ownRate(bt)) return std::find(kRates.begin(), kRates.end(), rate) != kRates.end();
    return rate == 9600;
}

uint8_t twosComplementSum(const uint8_t* data, size_t n) {
    uint8_t s = 0;
    for (size_t i = 0; i < n; ++i) s = static_cast<uint8_t>(s + data[i]);
    return static_cast<uint8_t>(0x100 - s);
}

std::string hex2(uint32_t v) {
    char t[12];
    std::snprintf(t, sizeof t, "%02X", v);
    return t;
}

uint8_t bootCommand(int32_t bootType, int column) {
    if (bootType < 1 || bootType > 12 || column < 0 || column > 9) return 0;
    return kCommands[bootType][column];
}

uint32_t rateOfCode(int32_t bootType, uint8_t code, uint32_t matchedRate) {
    if (among(bootType, {1, 2, 5, 6, 9, 12})) {
        switch (code) {
            case 0x28:
                return 9600;
            case 0x18:
                return 19200;
            case 0x0A:
                return 31250;
            case 0x07:
                return 38400;
            case 0x06:
                return 57600;
            case 0x05:
                return 62500;
            case 0x04:
                return 76800;
            default:
                return 0;
        }
    }
    if (bootType == 3) {
        // Rows by clock: code 0 is the fastest rate of the row.
        static const uint32_t row4[] = {19200, 9600, 4800, 2400};
        static const uint32_t row8[] = {38400, 19200, 9600, 4800, 2400};
        static const uint32_t rowOther[] = {76800, 38400, 19200, 9600, 4800, 2400};
        if (matchedRate == 2400) return code < 4 ? row4[code] : 0;
        if (matchedRate == 4800) return code < 5 ? row8[code] : 0;
        return code < 6 ? rowOther[code] : 0;
    }
    return 0;
}

}  // namespace ostrand::sim
