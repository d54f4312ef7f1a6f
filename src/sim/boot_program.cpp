// The chip's ROM boot program: matching, passwords, record transfers and its commands.
#include "sim/chip.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "sim/chip_tables.h"

namespace ostrand::sim {

void SimChip::bootByte(uint8_t b) {
    // A resynchronisation is one matching byte and its answer: a second one
    // straight after is no command of the boot program.
    const bool again = justMatched_, repeated = repeatedMatch_ && b == matchByte_;
    justMatched_ = false;
    repeatedMatch_ = repeated;
    if (b == matchByte_ && again) refuse("a second matching byte");
    if (repeated && !needY_) {
        // A host that did not see the answer to its matching attempt in time
        // tries again: answered until it sends a command.
        reply("match", b);
        return;
    }
    if (needY_) {
        // BootType 11 takes nothing but "y" (and the matching byte) first.
        if (b == 0x79) {
            needY_ = false;
            reply("match", 0x79);
        } else if (b == matchByte_) {
            reply("match", b);
        }
        return;
    }
    if (b == matchByte_) {
        // These boot programs are matched at their working rate and take no
        // rate code: the byte between commands is a new matching, which the
        // host runs before each WCP. Straight after a matching it is refused
        // above.
        if (ownRate(bt_) && !fixedPasswordType(bt_)) {
            // The rate code of these boot programs: the next byte's rate is taken.
            reply("rate", b);
            autoRate_ = true;
        } else {
            reply("match", b);
            justMatched_ = true;
        }
        return;
    }
    if (bt_ == 11 && b == 0x79) {
        reply("match", b);
        return;
    }
    if (bt_ == 4 && b == 0xFF) {
        reply("rate", b);
        return;
    }
    if (bt_ == 3 && b == 0xA0) {
        reply("rate", b);
        const uint8_t code = in();
        const uint32_t rate = rateOfCode(3, code, matchedRate_);
        if (rate == 0) {
            out({0x62});
            return;
        }
        reply("rate", code);
        listenRate_ = rate;
        if (log_) log_->event("rate", std::to_string(rate));
        return;
    }
    if (const uint32_t rate = rateOfCode(bt_, b); rate != 0 && bt_ != 3) {
        reply("rate", b);
        listenRate_ = rate;
        if (log_) log_->event("rate", std::to_string(rate));
        return;
    }
    int column = -1;
    for (int c = 0; c < 10; ++c)
        if (kCommands[bt_][c] != 0 && kCommands[bt_][c] == b) {
            column = c;
            break;
        }
    switch (column) {
        case 0:
            bt_ == 12 ? program12(b) : program(b);
            break;
        case 1:
            ramTransfer(b);
            break;
        case 2:
            bootSum(b);
            break;
        case 3:
            status(b);
            break;
        case 4:
            erase(b);
            break;
        case 5:
            protect(b);
            break;
        case 7:
            bootRead(b);
            break;
        case 8:
        case 9:
            identify(b);
            break;
        default:
            commandError(b);
            break;
    }
}

bool SimChip::vectorBlank() const {
    const uint32_t offset = dev_.singleChipFlashStart - dev_.singleBootFlashStart;
    const uint32_t start = dev_.vectorAreaStart - offset, end = dev_.vectorAreaEnd - offset;
    bool allFF = true, all00 = true;
    for (uint64_t a = start; a <= end; ++a) {
        const uint8_t v = flash_.read(static_cast<uint32_t>(a));
        allFF = allFF && v == 0xFF;
        all00 = all00 && v == 0x00;
    }
    return allFF || all00;
}

bool SimChip::passwordAreaBlank() const {
    return flash_.isBlank(dev_.passwordAreaStart,
                          dev_.passwordAreaEnd - dev_.passwordAreaStart + 1);
}

bool SimChip::freePassword(PasswordUse use) {
    const int width = (bt_ == 2 || bt_ == 5) ? 2 : 3;
    const uint32_t countAddress = inBE(width);
    const uint32_t compareAddress = inBE(width);
    // An open chip (no program, a blank flash, or a BootType 4 chip holding
    // no password) checks no password.
    bool open = false;
    if (among(bt_, {2, 5, 6, 9}) && vectorBlank()) open = true;
    if (among(bt_, {5, 6, 9, 11}) && flash_.isBlank()) open = true;
    if (bt_ == 4 && !bt4HoldsPassword()) open = true;
    const bool ok = !faults_.refusesPasswords();
    const uint32_t n = flash_.read(countAddress);
    if (bt_ == 11 &&
        (use == PasswordUse::Erase || (use == PasswordUse::Ram && passwordAreaBlank())))
        return ok;
    if (open) {
        // An open chip takes the password bytes when they come, and what
        // follows the frame (records, the erase selector) when they do not.
        // A host that cannot read the chip first does not know it is open.
        std::optional<uint8_t> next;
        if (use == PasswordUse::Program || use == PasswordUse::Ram || use == PasswordUse::Erase) {
            next = in();
        } else {
            // Nothing of the host's follows a protect or read frame at once.
            try {
                next = in(kPasswordGapMs);
            } catch (const FrameCut&) {
                return ok;
            }
        }
        bool password = n != 0;
        if (use == PasswordUse::Program || use == PasswordUse::Ram)
            password = password && *next != 0x3A;
        else if (use == PasswordUse::Erase)
            password = password && *next != 0xF0;
        else
            password = password && *next == flash_.read(compareAddress);
        if (!password) {
            pushedBack_ = next;
            return ok;
        }
        for (uint32_t i = 1; i < n; ++i) in();
        return ok;
    }
    bool same = true;
    for (uint32_t i = 0; i < n; ++i)
        if (in() != flash_.read(compareAddress + i)) same = false;
    return ok && same;
}

int SimChip::fixedPassword() {
    uint8_t bytes[12];
    bool same = true;
    for (int i = 0; i < 12; ++i) {
        bytes[i] = in();
        if (bytes[i] != flash_.read(dev_.passwordAreaStart + static_cast<uint32_t>(i)))
            same = false;
    }
    const uint8_t sumByte = in();
    if (sumByte != twosComplementSum(bytes, 12)) return 0x08;
    if (!same || faults_.refusesPasswords()) return 0x01;
    return 0;
}

bool SimChip::bt4HoldsPassword() const {
    return flash_.read(dev_.passwordAreaEnd - 8) != 0xFF;
}

bool SimChip::bt4PasswordRecord(const std::vector<uint8_t>& data) const {
    if (faults_.refusesPasswords()) return false;
    if (!bt4HoldsPassword()) return true;
    if (data.size() < 6) return false;
    const uint32_t c = (uint32_t{data[0]} << 16) | (uint32_t{data[1]} << 8) | data[2];
    const uint32_t p = (uint32_t{data[3]} << 16) | (uint32_t{data[4]} << 8) | data[5];
    const uint32_t n = flash_.read(c);
    if (data.size() - 6 != n) return false;
    for (uint32_t i = 0; i < n; ++i)
        if (data[6 + i] != flash_.read(p + i)) return false;
    return true;
}

SimChip::Transfer SimChip::readRecords(bool allowPasswordRecord) {
    Transfer t;
    uint32_t base = 0;
    uint32_t total = 0;
    bool first = true;
    for (;;) {
        if (in() != 0x3A) refuse("record does not start with ':'");
        uint8_t head[4];
        for (uint8_t& h : head) h = in();
        std::vector<uint8_t> data(head[0]);
        uint8_t check = static_cast<uint8_t>(head[0] + head[1] + head[2] + head[3]);
        for (uint8_t& d : data) {
            d = in();
            check = static_cast<uint8_t>(check + d);
        }
        check = static_cast<uint8_t>(check + in());
        if (check != 0) refuse("record checksum");
        const uint8_t type = head[3];
        const uint32_t offset = (uint32_t{head[1]} << 8) | head[2];
        if (type == 0x01) return t;
        if (type == 0x02 && data.size() == 2) {
            base = ((uint32_t{data[0]} << 8) | data[1]) << 4;
        } else if (type == 0x00) {
            total += static_cast<uint32_t>(data.size());
            if (total > kMaxTransfer) refuse("transfer too large");
            for (uint8_t d : data) t.sum = static_cast<uint16_t>(t.sum + d);
            t.records.push_back({base + offset, std::move(data)});
        } else if (type == 0x10 && first && allowPasswordRecord) {
            t.hasPasswordRecord = true;
            t.passwordRecord = std::move(data);
        } else {
            refuse("record type " + hex2(type));
        }
        first = false;
    }
}

void SimChip::loadRam(const Transfer& t) {
    for (const Record& r : t.records)
        for (size_t i = 0; i < r.data.size(); ++i) {
            const uint64_t a = uint64_t{r.address} + i;
            if (a < dev_.singleBootRamStart || a > dev_.singleBootRamEnd)
                refuse("record outside RAM at " + hex2(static_cast<uint32_t>(a)));
            ram_[a - dev_.singleBootRamStart] = r.data[i];
        }
}

void SimChip::programFlash(const Transfer& t) {
    for (const Record& r : t.records)
        flash_.program(r.address, r.data.data(), static_cast<uint32_t>(r.data.size()));
    if (!t.records.empty()) flashChanged();
}

void SimChip::replyTransferEnd(uint8_t command, uint16_t dataSum) {
    replySum(command, static_cast<uint16_t>(~dataSum));
}

void SimChip::replySum(uint8_t command, uint16_t sum) {
    reply(FaultSet::stepOf(command, "done"), static_cast<uint8_t>(sum >> 8));
    out({static_cast<uint8_t>(sum & 0xFF)});
}

void SimChip::startWcp() {
    // The tag: "OWCP", kind, boot type at the lowest address loaded.
    size_t low = 0;
    while (low < ram_.size() && ram_[low] == 0xFF) ++low;
    int kind = -1;
    if (low + 6 <= ram_.size() && ram_[low] == 'O' && ram_[low + 1] == 'W' &&
        ram_[low + 2] == 'C' && ram_[low + 3] == 'P' && ram_[low + 4] <= 6 && ram_[low + 5] == bt_)
        kind = ram_[low + 4];
    wcpKind_ = kind;
    inWcp_ = true;
    // Counted from before the answer goes out, so that a host that waits
    // its full time after the answer is always heard.
    wcpReadyAt_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(startUpMs(bt_));
    if (log_)
        log_->event("wcp", kind < 0 ? "untagged program: no answer"
                                    : "running kind " + std::to_string(kind));
}

void SimChip::wcpStartUp() {
    line_.deafUntil(wcpReadyAt_);
}

void SimChip::announceWcp() {
    // BootTypes 4 and 12: the WCP starts after the line reset, at 9600.
    line_.pause(50);
    listenRate_ = 9600;
    if (wcpKind_ >= 0) out({0x5A});
}

void SimChip::program(uint8_t cmd) {
    reply(FaultSet::stepOf(cmd), cmd);
    const std::string headerStep = FaultSet::stepOf(cmd, "header");
    if (bt_ == 8 || bt_ == 10) {
        if (const int r = fixedPassword()) {
            out({static_cast<uint8_t>(cmd | r)});
            refuse("password");
        }
        reply(headerStep, cmd);
        uint32_t address = 0, count = 0;
        if (!header(static_cast<uint8_t>(cmd | 0x08), address, count)) refuse("header checksum");
        if (count == 0 || count > 1024) {
            out({static_cast<uint8_t>(cmd | 0x04)});
            refuse("object larger than 1024 bytes");
        }
        reply(FaultSet::stepOf(cmd, "data"), cmd);
        std::vector<uint8_t> data(count);
        uint8_t s = 0;
        for (uint8_t& d : data) {
            d = in();
            s = static_cast<uint8_t>(s + d);
        }
        if (in() != static_cast<uint8_t>(~s)) {
            out({static_cast<uint8_t>(cmd | 0x08)});
            refuse("data checksum");
        }
        const bool ok = flash_.program(address, data.data(), count);
        flashChanged();
        reply(FaultSet::stepOf(cmd, "done"), ok ? cmd : static_cast<uint8_t>(cmd | 0x04));
        return;
    }
    if (among(bt_, {1, 2, 3, 4})) reply(headerStep, 0xC1);
    if (among(bt_, {2, 5, 6, 9, 11}) && !freePassword(PasswordUse::Program)) refuse("password");
    Transfer t = readRecords(bt_ == 4);
    bool eraseFirst = among(bt_, {1, 2, 3, 4});
    if (bt_ == 4 && t.hasPasswordRecord) {
        if (!bt4PasswordRecord(t.passwordRecord)) refuse("password record");
        bt4Open_ = true;
        // The password and the end record alone only open the chip.
        if (t.records.empty()) eraseFirst = false;
    }
    if (eraseFirst) {
        flash_.eraseAll();
        protected_ = false;
        flashChanged();
    }
    programFlash(t);
    replyTransferEnd(cmd, t.sum);
}

void SimChip::program12(uint8_t cmd) {
    // 30 serves both the RAM transfer and programming: the records decide.
    // The ready byte cannot tell them apart: a chip of the single-boot
    // variant answers C1, one that runs WCPs its command.
    reply(FaultSet::stepOf(cmd), cmd);
    reply(FaultSet::stepOf(cmd, "header"), dev_.useWcp == 0 ? uint8_t{0xC1} : cmd);
    Transfer t = readRecords(false);
    bool toRam = !t.records.empty();
    for (const Record& r : t.records)
        if (r.address < dev_.singleBootRamStart ||
            uint64_t{r.address} + r.data.size() - 1 > dev_.singleBootRamEnd)
            toRam = false;
    if (toRam) {
        loadRam(t);
        startWcp();
        replyTransferEnd(cmd, t.sum);
        announceWcp();
        return;
    }
    flash_.eraseAll();
    flashChanged();
    programFlash(t);
    replyTransferEnd(cmd, t.sum);
}

void SimChip::ramTransfer(uint8_t cmd) {
    if (protected_ && among(bt_, {5, 7, 8, 9, 11})) {
        out({0x44});
        return;
    }
    reply(FaultSet::stepOf(cmd), cmd);
    if (fixedPasswordType(bt_)) {
        if (const int r = fixedPassword()) {
            out({static_cast<uint8_t>(cmd | r)});
            refuse("password");
        }
        reply(FaultSet::stepOf(cmd, "header"), cmd);
        uint32_t address = 0, count = 0;
        if (!header(static_cast<uint8_t>(cmd | 0x08), address, count)) refuse("header checksum");
        if (count == 0 || address < dev_.singleBootRamStart ||
            uint64_t{address} + count - 1 > dev_.singleBootRamEnd) {
            out({static_cast<uint8_t>(cmd | 0x08)});
            refuse("WCP outside RAM");
        }
        reply(FaultSet::stepOf(cmd, "data"), cmd);
        uint8_t s = 0;
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t d = in();
            ram_[address - dev_.singleBootRamStart + i] = d;
            s = static_cast<uint8_t>(s + d);
        }
        if (in() != static_cast<uint8_t>(~s)) {
            out({static_cast<uint8_t>(cmd | 0x08)});
            refuse("WCP checksum");
        }
        startWcp();
        reply(FaultSet::stepOf(cmd, "done"), cmd);
        wcpStartUp();
        return;
    }
    if (bt_ == 3) {
        bool same = true;
        for (uint32_t i = 0; i < 4; ++i)
            if (in() != flash_.read(dev_.passwordAreaStart + i)) same = false;
        if (!same || faults_.refusesPasswords()) {
            reply(FaultSet::stepOf(cmd, "header"), 0x71);
            refuse("password");
        }
    } else if (!freePassword(PasswordUse::Ram)) {
        refuse("password");
    } else if (bt_ == 4 && bt4HoldsPassword() && !bt4Open_) {
        refuse("chip not opened by its password record");
    }
    Transfer t = readRecords(false);
    loadRam(t);
    startWcp();
    replyTransferEnd(cmd, t.sum);
    if (bt_ == 4)
        announceWcp();
    else
        wcpStartUp();
}

void SimChip::bootSum(uint8_t cmd) {
    reply(FaultSet::stepOf(cmd), cmd);
    const uint16_t s = flash_.sum(dev_.sumAreaStart, dev_.sumAreaEnd);
    const uint8_t hi = static_cast<uint8_t>(s >> 8), lo = static_cast<uint8_t>(s);
    reply(FaultSet::stepOf(cmd, "done"), hi);
    out({lo, static_cast<uint8_t>(0x100 - ((hi + lo) & 0xFF))});
}

void SimChip::status(uint8_t cmd) {
    reply(FaultSet::stepOf(cmd), cmd);
    std::vector<uint8_t> rest;
    if (bt_ == 7 || bt_ == 8) {
        std::vector<uint8_t> body;
        std::string name = dev_.deviceName.substr(0, 16);
        name.resize(16, ' ');
        body.assign(name.begin(), name.end());
        for (uint32_t v : {dev_.singleBootFlashStart, dev_.singleBootFlashEnd,
                           dev_.singleBootRamStart, dev_.singleBootRamEnd})
            for (int shift = 24; shift >= 0; shift -= 8)
                body.push_back(static_cast<uint8_t>(v >> shift));
        body.resize(40, 0x00);
        body.push_back(0x03);
        body.push_back(protected_ ? 0x01 : 0x00);
        body.resize(body.size() + (bt_ == 7 ? 37 : 19), 0x00);
        body.push_back(twosComplementSum(body.data(), body.size()));
        reply(FaultSet::stepOf(cmd, "done"), body[0]);
        rest.assign(body.begin() + 1, body.end());
    } else {
        uint8_t s = 0;
        if (!flash_.isBlank()) s |= 0x01;
        if (protected_) s |= 0x02;
        if (bt_ == 11 && !passwordAreaBlank()) s |= 0x08;
        const uint8_t version = 0x10;
        reply(FaultSet::stepOf(cmd, "done"), 0x00);
        rest = {0x02, s, version, static_cast<uint8_t>(0x100 - ((s + version) & 0xFF))};
    }
    out(rest);
}

void SimChip::erase(uint8_t cmd) {
    reply(FaultSet::stepOf(cmd), cmd);
    if (fixedPasswordType(bt_)) {
        const uint8_t next = in();
        const uint8_t step2 = kCommands[bt_][6];
        if (next != step2) {
            commandError(next);
            return;
        }
        reply(FaultSet::stepOf(step2), step2);
        flash_.eraseAll();
        protected_ = false;
        flashChanged();
        reply(FaultSet::stepOf(cmd, "done"), 0x4F);
        out({0x5D});
        return;
    }
    if (!freePassword(PasswordUse::Erase)) refuse("password");
    const uint8_t selector = in();
    uint16_t s = 0;
    if (selector == 0xF0) {
        flash_.eraseAll();
        protected_ = false;
        flashChanged();
        s = flash_.sum(dev_.sumAreaStart, dev_.sumAreaEnd);
    } else if (bt_ == 11 && flash_.containsBlock(uint32_t{selector} << 12, 0x1000)) {
        // A block: the 4 KiB block of that number. The answer is the SUM an
        // erased SumArea has, as after a whole erase.
        flash_.erase(uint32_t{selector} << 12, 0x1000);
        flashChanged();
        s = static_cast<uint16_t>((dev_.sumAreaEnd + 1 - dev_.sumAreaStart) * 0xFFu);
    } else {
        s = flash_.sum(dev_.sumAreaStart, dev_.sumAreaEnd);
    }
    replySum(cmd, s);
}

void SimChip::protect(uint8_t cmd) {
    reply(FaultSet::stepOf(cmd), cmd);
    if (fixedPasswordType(bt_)) {
        if (const int r = fixedPassword()) {
            out({static_cast<uint8_t>(cmd | r)});
            refuse("password");
        }
    } else if (!freePassword(PasswordUse::Protect)) {
        refuse("password");
    }
    protected_ = true;
    if (log_) log_->event("flash", "read-protected");
    reply(FaultSet::stepOf(cmd, "done"), cmd);
}

void SimChip::bootRead(uint8_t cmd) {
    reply(FaultSet::stepOf(cmd), cmd);
    if (!freePassword(PasswordUse::Read)) refuse("password");
    const uint32_t start = inBE(3);
    const uint32_t count = inBE(3);
    if (protected_) refuse("read of a protected chip");
    if (log_) log_->event("read", hex2(start) + " " + std::to_string(count));
    uint16_t s = 0;
    std::vector<uint8_t> chunk;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t v = flash_.read(start + i);
        s = static_cast<uint16_t>(s + v);
        chunk.push_back(v);
        if (chunk.size() == 256 || i + 1 == count) {
            out(chunk);
            chunk.clear();
        }
    }
    replySum(cmd, s);
}

void SimChip::identify(uint8_t cmd) {
    reply(FaultSet::stepOf(cmd), cmd);
    std::vector<uint8_t> body;
    if (cmd == 0xD0) {
        const uint32_t kib =
            (dev_.singleBootFlashEnd - dev_.singleBootFlashStart + 1 + 1023) / 1024;
        const uint8_t sizeClass = kib <= 60 ? 60 : kib <= 96 ? 96 : 124;
        body = {0x11, sizeClass};
    } else {
        for (uint32_t v : {dev_.singleBootRamStart, dev_.singleBootRamEnd})
            for (int shift = 16; shift >= 0; shift -= 8)
                body.push_back(static_cast<uint8_t>(v >> shift));
    }
    body.push_back(twosComplementSum(body.data(), body.size()));
    reply(FaultSet::stepOf(cmd, "done"), body[0]);
    out(std::vector<uint8_t>(body.begin() + 1, body.end()));
}

}  // namespace ostrand::sim
