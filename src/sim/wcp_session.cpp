// The WCPs the chip runs from RAM after a RAM transfer.
#include "sim/chip.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "sim/chip_tables.h"

namespace ostrand::sim {

void SimChip::wcpByte(uint8_t b) {
    if (wcpKind_ < 0) return;            // a program that does not talk
    if (b == 0x5A || b == 0x86) return;  // a host looking for the boot program
    static constexpr uint8_t kKinds[] = {0x50, 0x60, 0x40, 0x70, 0x20, 0x80};
    for (int kind = 0; kind < 6; ++kind) {
        if (b != kKinds[kind]) continue;
        if (wcpKind_ != 6 && wcpKind_ != kind) {
            out({0x63});
            return;
        }
        switch (kind) {
            case 0:
                wcpWrite(b);
                break;
            case 1:
                wcpRead(b);
                break;
            case 2:
                wcpBlockErase(b);
                break;
            case 3:
                wcpBlank(b);
                break;
            case 4:
                wcpSum(b);
                break;
            default:
                wcpReadProtect(b);
                break;
        }
        return;
    }
    if (b == 0xF0)
        wcpLeave(b);
    else if (b == 0xE0)
        wcpE0(b);
    else
        out({0x63});
}

bool SimChip::header(uint8_t errorCode, uint32_t& address, uint32_t& count) {
    uint8_t h[7];
    uint8_t s = 0;
    for (uint8_t& v : h) {
        v = in();
        s = static_cast<uint8_t>(s + v);
    }
    address = (uint32_t{h[0]} << 24) | (uint32_t{h[1]} << 16) | (uint32_t{h[2]} << 8) | h[3];
    count = (uint32_t{h[4]} << 8) | h[5];
    if (s == 0) return true;
    out({errorCode});
    return false;
}

void SimChip::wcpWrite(uint8_t cmd) {
    reply(FaultSet::stepOf(cmd), cmd);
    uint32_t address = 0, count = 0;
    if (!header(static_cast<uint8_t>(cmd | 0x01), address, count)) return;
    if (count == 0 || count > static_cast<uint32_t>(std::max(dev_.receiveBufferSize, 0)) ||
        !flash_.containsBlock(address, count)) {
        out({0x54});
        return;
    }
    reply(FaultSet::stepOf(cmd, "header"), cmd);
    std::vector<uint8_t> data(count);
    uint8_t s = 0;
    for (uint8_t& d : data) {
        d = in();
        s = static_cast<uint8_t>(s + d);
    }
    if (static_cast<uint8_t>(s + in()) != 0) {
        out({0x51});
        return;
    }
    reply(FaultSet::stepOf(cmd, "data"), cmd);
    if (faults_.takeEcc()) {
        if (log_) log_->event("fault", "ECC error on write");
        out({0x58});
        return;
    }
    const bool ok = flash_.program(address, data.data(), count);
    flashChanged();
    reply(FaultSet::stepOf(cmd, "done"), ok ? cmd : uint8_t{0x54});
}

namespace {

// The whole-flash form of a header: this address with this count.
constexpr uint32_t kWholeFlash = 0xFFFFFFFF;
constexpr uint32_t kWholeCount = 0xFFFF;
// Answers, instead of the header echo, to a range that does not lie inside
// one flash area (the command with 0x08: a communication error).
constexpr uint8_t kWcpReadRefused = 0x68;
constexpr uint8_t kWcpBlankRefused = 0x78;
constexpr uint8_t kWcpSumRefused = 0x28;

}  // namespace

void SimChip::wcpRead(uint8_t cmd) {
    reply(FaultSet::stepOf(cmd), cmd);
    uint32_t address = 0, count = 0;
    if (!header(static_cast<uint8_t>(cmd | 0x01), address, count)) return;
    if (count > 0x2000 || !flash_.containsBlock(address, count)) {
        out({kWcpReadRefused});
        return;
    }
    reply(FaultSet::stepOf(cmd, "header"), cmd);
    if (log_) log_->event("read", hex2(address) + " " + std::to_string(count));
    std::vector<uint8_t> data(count);
    for (uint32_t i = 0; i < count; ++i) data[i] = flash_.read(address + i);
    out(data);
    reply(FaultSet::stepOf(cmd, "done"), twosComplementSum(data.data(), data.size()));
}

void SimChip::wcpBlockErase(uint8_t cmd) {
    reply(FaultSet::stepOf(cmd), cmd);
    uint32_t address = 0, words = 0;
    if (!header(static_cast<uint8_t>(cmd | 0x01), address, words)) return;
    const bool whole = address == kWholeFlash && words == kWholeCount;
    if (!whole && !flash_.containsBlock(address, words * 2)) {
        out({0x48});
        return;
    }
    reply(FaultSet::stepOf(cmd, "header"), cmd);
    if (whole) {
        flash_.eraseAll();
        protected_ = false;
    } else {
        flash_.erase(address, words * 2);
    }
    flashChanged();
    reply(FaultSet::stepOf(cmd, "done"), cmd);
}

void SimChip::wcpBlank(uint8_t cmd) {
    reply(FaultSet::stepOf(cmd), cmd);
    uint32_t address = 0, count = 0;
    if (!header(static_cast<uint8_t>(cmd | 0x01), address, count)) return;
    const bool whole = address == kWholeFlash && count == kWholeCount;
    if (!whole && !flash_.containsBlock(address, count)) {
        out({kWcpBlankRefused});
        return;
    }
    reply(FaultSet::stepOf(cmd, "header"), cmd);
    const bool blank = whole ? flash_.isBlank() : flash_.isBlank(address, count);
    reply(FaultSet::stepOf(cmd, "done"), blank ? cmd : uint8_t{0x74});
}

void SimChip::wcpSum(uint8_t cmd) {
    reply(FaultSet::stepOf(cmd), cmd);
    uint32_t address = 0, count = 0;
    if (!header(static_cast<uint8_t>(cmd | 0x01), address, count)) return;
    const bool whole = address == kWholeFlash && count == kWholeCount;
    if (!whole && !flash_.containsBlock(address, count)) {
        out({kWcpSumRefused});
        return;
    }
    reply(FaultSet::stepOf(cmd, "header"), cmd);
    // The whole flash is the SUM area, bytes outside the flash counted as FF.
    const uint16_t s = whole ? flash_.sum(dev_.sumAreaStart, dev_.sumAreaEnd)
                             : flash_.sum(address, address + count - 1);
    const uint8_t hi = static_cast<uint8_t>(s >> 8), lo = static_cast<uint8_t>(s);
    reply(FaultSet::stepOf(cmd, "done"), hi);
    out({lo, static_cast<uint8_t>(0x100 - ((hi + lo) & 0xFF))});
}

void SimChip::wcpReadProtect(uint8_t cmd) {
    if (!among(bt_, {5, 7, 8, 9, 11})) {
        out({0x63});
        return;
    }
    reply(FaultSet::stepOf(cmd), cmd);
    uint32_t address = 0, count = 0;
    if (!header(static_cast<uint8_t>(cmd | 0x01), address, count)) return;
    reply(FaultSet::stepOf(cmd, "header"), cmd);
    protected_ = true;
    if (log_) log_->event("flash", "read-protected");
    reply(FaultSet::stepOf(cmd, "done"), cmd);
}

void SimChip::wcpLeave(uint8_t cmd) {
    reply(FaultSet::stepOf(cmd), cmd);
    if (bt_ == 4) reply(FaultSet::stepOf(cmd, "done"), cmd);
    throw Restart{"WCP left"};
}

void SimChip::wcpE0(uint8_t cmd) {
    if (bt_ == 4) {
        reply(FaultSet::stepOf(cmd), cmd);
        uint8_t f[4];
        uint8_t s = 0;
        for (uint8_t& v : f) {
            v = in();
            s = static_cast<uint8_t>(s + v);
        }
        if (s != 0) {
            out({0xE1});
            return;
        }
        reply(FaultSet::stepOf(cmd, "header"), cmd);
        const uint32_t reg = (uint32_t{f[0]} << 8) | f[1];
        uint32_t newRate = 0;
        if (reg == 0x0053) reg53_ = f[2];
        if (reg == 0x8000 && f[2] == 0x55) {
            switch (reg53_) {
                case 116:
                    newRate = 2400;
                    break;
                case 104:
                    newRate = 4800;
                    break;
                case 100:
                    newRate = 9600;
                    break;
                case 88:
                    newRate = 19200;
                    break;
                case 21:
                    newRate = 31250;
                    break;
                case 10:
                    newRate = 62500;
                    break;
                default:
                    break;
            }
        }
        reply(FaultSet::stepOf(cmd, "done"), cmd);
        if (newRate) {
            listenRate_ = newRate;
            if (log_) log_->event("rate", std::to_string(newRate));
        }
        return;
    }
    if (!fixedPasswordType(bt_) && bt_ != 12) {
        out({0x63});
        return;
    }
    reply(FaultSet::stepOf(cmd), cmd);
    uint32_t address = 0, value = 0;
    if (!header(0xE1, address, value)) return;
    reply(FaultSet::stepOf(cmd, "header"), cmd);
    const uint32_t rate = bt_ == 12 ? rateOfCode(12, static_cast<uint8_t>(value)) : 115200;
    if (rate == 0 || (bt_ == 12 && value > 0xFF)) {
        out({0xE2});
        return;
    }
    reply(FaultSet::stepOf(cmd, "done"), cmd);
    listenRate_ = rate;
    if (log_) log_->event("rate", std::to_string(rate));
}

}  // namespace ostrand::sim
