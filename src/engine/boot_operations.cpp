// Boot-mode operations: work done by the chip's boot program itself (status,
// erase, protect, SUM, read, single-boot programming) and the password frame.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/numbers.h"
#include "flash_engine.h"
#include "objfile/object_image.h"

namespace ostrand {

namespace {

constexpr int32_t kFormErase = 0;
constexpr int32_t kFormProgram = 1;
constexpr int32_t kFormPassword = 2;

std::vector<uint8_t> passwordBytes(const std::string& text, bool hex) {
    std::vector<uint8_t> bytes;
    if (!hex) return std::vector<uint8_t>(text.begin(), text.end());
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        int hi = hexDigitValue(text[i]), lo = hexDigitValue(text[i + 1]);
        bytes.push_back(static_cast<uint8_t>((hi < 0 ? 0 : hi) * 16 + (lo < 0 ? 0 : lo)));
    }
    return bytes;
}

// What a programming transfer carries: the extent of its data and whether
// the records ascend without overlapping.
struct ObjectExtent {
    uint32_t low = 0xFFFFFFFFu, high = 0, bytes = 0;
    bool ascending = true;
    uint32_t span() const { return bytes ? high - low + 1 : 0; }
};

ObjectExtent objectExtent(const std::filesystem::path& path) {
    ObjectExtent e;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    std::vector<uint8_t> r;
    uint32_t segment = 0, next = 0;
    while (in && std::getline(in, line)) {
        if (!hexRecordBytes(line, r)) continue;
        if (r[3] == 0x02 && r[0] == 2) segment = (uint32_t{r[4]} << 8 | r[5]) * 16;
        if (r[3] != 0x00 || r[0] == 0) continue;
        const uint32_t at = segment + (uint32_t{r[1]} << 8 | r[2]);
        if (e.bytes && at < next) e.ascending = false;
        next = at + r[0];
        e.low = std::min(e.low, at);
        e.high = std::max(e.high, next - 1);
        e.bytes += r[0];
    }
    if (!e.bytes) e.low = 0;
    return e;
}

bool singleBootMode(int32_t mode) {
    return mode == kModeSBootPw || mode == kModeSBoot;
}

}  // namespace

int32_t CFlashEngine::readBytes(uint8_t* out, int32_t n, uint32_t timeoutMs, int32_t firstPlace,
                                bool placePerByte) {
    for (int32_t i = 0; i < n; ++i) {
        if (!readReply(out[i], timeoutMs)) {
            reportTimeout(BootKind, placePerByte ? firstPlace + i : firstPlace);
            return 0;
        }
        pumpOneMessage();
    }
    return 1;
}

int32_t CFlashEngine::beginBootCommand(int32_t column, int32_t resyncPlace, int32_t echoPlace) {
    session_.LinkPhase = kLinkBootProgram;
    // The password types are matched at their working rate: no resync step.
    if (!PasswordBootTypes(bootType) && !resyncBeforeCommand(column, resyncPlace)) return 0;
    return commandExchange(BootKind, column, bootCommand(bootType, column), echoPlace);
}

bool CFlashEngine::devicePasswordSet() const {
    return passwords_.devicePasswordOption != 0;
}

CFlashEngine::PasswordChoice CFlashEngine::choosePassword() const {
    PasswordChoice c;
    if (flashBlank == 1) {
        c.bytes.assign(blankPasswordLength(bootType), 0xFF);
        c.numAdd = passwordStart;
        c.cmpAdd = passwordEnd;
    } else if (session_.ChipRewritten == 0) {
        if (bootTypeRow(bootType).passwordRecord && passwords_.devicePasswordOption == 1) {
            const std::string fixed = "QUINTAVE";
            c.bytes.assign(fixed.begin(), fixed.end());
            c.numAdd = passwordEnd - 8;
            c.cmpAdd = passwordEnd - 7;
        } else {
            c.bytes = passwordBytes(passwords_.devicePassword, passwords_.devicePasswordType == 1);
            c.numAdd = passwords_.deviceNumAdd;
            c.cmpAdd = passwords_.deviceCmpAdd;
        }
    } else {
        c.bytes = passwordBytes(passwords_.objectPassword, passwords_.objectPasswordType == 1);
        c.numAdd = passwords_.objectNumAdd;
        c.cmpAdd = passwords_.objectCmpAdd;
    }
    return c;
}

int32_t CFlashEngine::sendPasswordFrame(int32_t column) {
    const PasswordChoice pw = choosePassword();
    std::vector<uint8_t> frame;
    if (!BootTypesC(bootType)) {
        const int width = static_cast<int>(bootTypeRow(bootType).addressWidth);
        for (uint32_t a : {pw.numAdd, pw.cmpAdd})
            for (int i = width - 1; i >= 0; --i)
                frame.push_back(static_cast<uint8_t>(a >> (8 * i)));
    }
    bool addressOnly = false;
    if (FastReplyBootTypes(bootType) && flashCache.valid && !flashCache.data.empty()) {
        const auto& d = flashCache.data;
        addressOnly = std::all_of(d.begin(), d.end(), [](uint8_t b) { return b == 0xFF; }) ||
                      std::all_of(d.begin(), d.end(), [](uint8_t b) { return b == 0x00; });
    }
    if (FastReplyBootTypes(bootType) && !flashCache.valid &&
        singleBootMode(session_.ProgrammingMode) && pw.bytes.size() == 255 &&
        std::all_of(pw.bytes.begin(), pw.bytes.end(), [](uint8_t b) { return b == 0xFF; }))
        // Single boot cannot read the vectors: the blank-chip password stands
        // for a chip without a program, which takes the address part only.
        addressOnly = true;
    if (!addressOnly && BootTypesI(bootType) && flashBlank == 1) {
        addressOnly = true;
        flashBlank = 0;
    }
    if (!addressOnly && bootTypeRow(bootType).blockCommands &&
        (column == kColErase || (column == kColRamTransfer && bt11EraseFree == 1)))
        addressOnly = true;
    if (!addressOnly) {
        frame.insert(frame.end(), pw.bytes.begin(), pw.bytes.end());
        if (PasswordBootTypes(bootType))
            frame.push_back(checksum8(pw.bytes.data(), static_cast<int32_t>(pw.bytes.size())));
    }
    if (!frame.empty() && !sendFrame(frame.data(), static_cast<uint32_t>(frame.size()), 1, 1))
        return 0;
    if (bootTypeRow(bootType).adapterClock) {
        uint8_t reply = 0;
        if (readReply(reply, timeouts.bt3Password)) {
            if (reply == 0x71) {
                op_.showMessage(10018, 0, 0, "Boot Program");
                return 0;
            }
            if (!checkReply(BootKind, kColRamTransfer, reply)) return 0;
        }
    }
    return 1;
}

int32_t CFlashEngine::readStatus(std::vector<uint8_t>* buffer) {
    if (bootCommand(bootType, kColStatus) == 0) return 1;
    session_.LastMessageCode = 0;
    waitCursor(true);
    const bool short_ = BootTypesI(bootType);
    const uint32_t t = devices_.bootWaitMs();
    bool ok = false;
    std::vector<uint8_t> status;
    int32_t done = 0;
    if (beginBootCommand(kColStatus, 621, short_ ? 622 : 621)) {
        if (short_) {
            uint8_t head[2];
            if (readBytes(head, 1, t, 623, false) && readBytes(head + 1, 1, t, 624, false)) {
                status.resize(head[1]);
                uint8_t check = 0;
                if (readBytes(status.data(), head[1], t, 625, true) &&
                    readBytes(&check, 1, t, 625 + head[1], false)) {
                    done = 1;
                    ok = check == checksum8(status.data(), head[1]);
                }
            }
        } else {
            const int32_t total = 40 + 2 + static_cast<int32_t>(bootTypeRow(bootType).statusTail);
            std::vector<uint8_t> all(total);
            uint8_t check = 0;
            if (readBytes(all.data(), total, t, 622, true) &&
                readBytes(&check, 1, t, 622 + total, false)) {
                done = 1;
                ok = check == checksum8(all.data(), total);
                status.assign(all.begin() + 40, all.begin() + 42);
            }
        }
    }
    waitCursor(false);
    if (!done) {
        resyncNeeded = 1;
        return 0;
    }
    resyncNeeded = 0;
    statusBytes = status;
    if (buffer) *buffer = status;
    return ok ? 1 : 0;
}

void CFlashEngine::interpretStatus() {
    if (statusBytes.empty()) return;
    const uint8_t s = statusBytes[0];
    if (BootTypesI(bootType)) {
        flashBlank = (s & 0x01) == 0 ? 1 : 0;
        session_.ProtectState = (s >> 1) & 1;
        if (bootTypeRow(bootType).blockCommands) bt11EraseFree = (s & 0x08) == 0 ? 1 : 0;
    } else if (bootTypeRow(bootType).protectStatus) {
        session_.ProtectState =
            (statusBytes.size() >= 2 && statusBytes[0] == 0x03 && statusBytes[1] == 0x00) ? 0 : 1;
    }
}

int32_t CFlashEngine::postConnectStatus() {
    statusBytes.clear();
    if (!readStatus()) {
        recoverAfterTimeout(0);
        return 0;
    }
    interpretStatus();
    return 1;
}

int32_t CFlashEngine::chipErase(uint8_t selector) {
    session_.LastMessageCode = 0;
    if (!BootTypesI(bootType) && !PasswordBootTypes(bootType))
        return singleBootTransfer(kFormErase, nullptr);
    const uint32_t t = devices_.eraseWaitMs();
    waitCursor(true);
    int32_t result = 0;
    uint8_t two[2] = {0, 0};
    if (BootTypesI(bootType)) {
        if (beginBootCommand(kColErase, 611, 612) && sendPasswordFrame(kColErase) &&
            sendFrame(&selector, 1, 0, 0) && readBytes(two, 2, t, 613, true)) {
            const uint16_t value = static_cast<uint16_t>(two[0] << 8 | two[1]);
            const uint16_t blank = static_cast<uint16_t>((sumEnd + 1u - sumStart) * 0xFFu);
            if (value == blank)
                result = 1;
            else if (bootTypeRow(bootType).blockCommands)
                op_.showMessage(10008, 0, 0, "Boot Program");
        }
    } else if (beginBootCommand(kColErase, 611, 611) &&
               commandExchange(BootKind, kColErase2, bootCommand(bootType, kColErase2), 612) &&
               readBytes(two, 2, t, 613, true)) {
        if (two[0] == 0x4F && two[1] == 0x5D)
            result = 1;
        else
            op_.showMessage(11018, 0, 0, "Boot Program");
    }
    waitCursor(false);
    if (!result) {
        resyncNeeded = 1;
        return 0;
    }
    resyncNeeded = 0;
    // A block erase leaves the rest of the chip as it was.
    if (selector != kEraseWholeChip) return 1;
    session_.ChipErased = 1;
    flashBlank = 1;
    session_.ProtectState = 0;
    return 1;
}

int32_t CFlashEngine::protectChip(bool showProgress, bool showResult) {
    if (showProgress) {
        if (hooks.enableCommands) hooks.enableCommands(false);
        op_.progressOpen(messageTextOrFallback(11313), 0, false, false, true);
    }
    int32_t result = 1;
    const int32_t mode = session_.ProgrammingMode;
    if (singleBootMode(mode)) {
        if (!postConnectStatus()) {
            result = 0;
        } else if (flashBlank == 1 || bootCommand(bootType, kColProtect) == 0) {
            // A blank chip is not protected, and some boot programs cannot.
            op_.showMessage(11026);
            result = 0;
        } else {
            session_.LastMessageCode = 0;
            result = 0;
            if (beginBootCommand(kColProtect, 631, 632) && sendPasswordFrame(kColProtect)) {
                uint8_t reply = 0;
                if (!readReply(reply, devices_.bootWaitMs()))
                    reportTimeout(BootKind, 633);
                else if (bootTypeRow(bootType).adapterClock && reply == 0x71)
                    op_.showMessage(10018, 0, 0, "Boot Program");
                else
                    result = checkReply(BootKind, kColProtect, reply);
            }
            if (result == 1) {
                resyncNeeded = 0;
                session_.ProtectState = 1;
            } else {
                resyncNeeded = 1;
            }
            // A reconnection after a time-out does not make the protect succeed.
            recoverAfterTimeout(result);
        }
    }
    if (showProgress) op_.progressClose();
    if (showResult && result == 1) op_.showMessage(11027);
    if (showProgress && hooks.enableCommands) hooks.enableCommands(true);
    return result;
}

int32_t CFlashEngine::protectCheckBeforeWcp() {
    session_.eraseRefused = 0;
    if (!postConnectStatus()) return 0;
    const bool bt8Ask = bootTypeRow(bootType).protectReplies &&
                        singleBootMode(session_.ProgrammingMode) && session_.ChipErased == 0;
    if (session_.ProtectState == 0 && !bt8Ask) return 1;
    if (session_.AutoRunPhase != 2) {
        const int32_t question = bt8Ask && session_.ProtectState == 0 ? 12016 : 12013;
        for (;;) {
            if (op_.ask(question)) break;
            if (session_.AutoRunPhase != 0) {
                session_.eraseRefused = 1;
                return 0;
            }
            if (op_.ask(12014)) {
                if (hooks.closeMainWindow) hooks.closeMainWindow();
                return 0;
            }
        }
    }
    if (!chipErase(0xF0)) {
        recoverAfterTimeout(0);
        return 0;
    }
    if (ProtectTypes(bootType)) session_.ProtectState = 0;
    return 1;
}

void CFlashEngine::startupErasePrompt() {
    if (startupEraseDone_) return;
    if (settings_.inForce.eraseWithoutPassword != 1 || !BootTypesB(bootType)) return;
    startupEraseDone_ = true;
    if (hooks.enableCommands) hooks.enableCommands(false);
    if (op_.ask(12016)) {
        if (anyWcpLoaded()) {
            op_.showMessage(12151);
        } else {
            op_.progressOpen(messageTextOrFallback(11302), 0, false, false, true);
            const int32_t r = chipErase(0xF0);
            recoverAfterTimeout(r);  // a reconnection does not make the erase succeed
            op_.progressClose();
            if (r == 1) {
                std::fill(flashCache.data.begin(), flashCache.data.end(), 0xFF);
                op_.showMessage(11002);
                session_.ProtectState = 0;
                settings_.inForce.eraseWithoutPassword = 0;
                passwords_.eraseWithoutPassword = 0;
            }
        }
    }
    if (hooks.enableCommands) hooks.enableCommands(true);
}

int32_t CFlashEngine::identifyChip() {
    if (!bootTypeRow(bootType).blockCommands || !singleBootMode(session_.ProgrammingMode) ||
        session_.DeviceIdentified == 1)
        return 1;
    session_.LastMessageCode = 0;
    uint8_t id[3], ram[7];
    if (!beginBootCommand(kColIdent1, 1, 1) || !readBytes(id, 3, timeouts.echo, 1, false)) {
        resyncNeeded = 1;
        return 0;
    }
    if (id[0] != 0x11 || id[2] != checksum8(id, 2) ||
        (id[1] != 60 && id[1] != 96 && id[1] != 124)) {
        op_.showMessage(10009, 1, 0, "Boot Program");
        return 0;
    }
    const int32_t emulated = settings_.inForce.memSizeEmulat;
    if (id[1] < emulated) {
        op_.showMessage(10117);
        return 0;
    }
    if (!commandExchange(BootKind, kColIdent2, bootCommand(bootType, kColIdent2), 1) ||
        !readBytes(ram, 7, timeouts.echo, 1, false)) {
        resyncNeeded = 1;
        return 0;
    }
    if (ram[6] != checksum8(ram, 6)) {
        op_.showMessage(10009, 1, 0, "Boot Program");
        return 0;
    }
    const uint32_t end = emulated == 60 ? 0xFFFFu : 0x1FFFFu;
    flashStart = passwordStart = sumStart = 0x1000;
    flashEnd = passwordEnd = sumEnd = end;
    ramStart = uint32_t{ram[0]} << 16 | uint32_t{ram[1]} << 8 | ram[2];
    ramEnd = uint32_t{ram[3]} << 16 | uint32_t{ram[4]} << 8 | ram[5];
    session_.DeviceIdentified = 1;
    return 1;
}

int32_t CFlashEngine::bootRead(uint32_t start, uint8_t* buffer, uint32_t count) {
    if (!bootTypeRow(bootType).blockCommands) return 0;
    session_.LastMessageCode = 0;
    if (!postConnectStatus()) return 0;
    const uint32_t t = devices_.bootWaitMs();
    uint8_t frame[6] = {static_cast<uint8_t>(start >> 16), static_cast<uint8_t>(start >> 8),
                        static_cast<uint8_t>(start),       static_cast<uint8_t>(count >> 16),
                        static_cast<uint8_t>(count >> 8),  static_cast<uint8_t>(count)};
    uint8_t tail[2];
    if (!beginBootCommand(kColRead, 251, 251) || !sendPasswordFrame(kColRead) ||
        !sendFrame(frame, 6, 1, 1) ||
        !readBytes(buffer, static_cast<int32_t>(count), t, 252, false) ||
        !readBytes(tail, 2, t, 253, true)) {
        resyncNeeded = 1;
        return 0;
    }
    resyncNeeded = 0;
    if (sum16(buffer, static_cast<int32_t>(count)) != (tail[0] << 8 | tail[1])) {
        // Data that does not add up must not pass as read.
        op_.showMessage(10008, 0, 0, "Boot Program");
        return 0;
    }
    return 1;
}

int32_t CFlashEngine::bootSum(uint32_t, uint32_t, uint16_t& sum) {
    sum = 0;
    session_.LastMessageCode = 0;
    waitCursor(true);
    uint8_t b[3];
    const bool ok =
        beginBootCommand(kColSum, 181, 182) && readBytes(b, 3, devices_.bootWaitMs(), 183, true);
    waitCursor(false);
    if (!ok) {
        resyncNeeded = 1;
        return 0;
    }
    resyncNeeded = 0;
    if (b[2] != checksum8(b, 2)) {
        op_.showMessage(10008, 0, 0, "Boot Program");
        return 0;
    }
    sum = static_cast<uint16_t>(b[0] << 8 | b[1]);
    return 1;
}

int32_t CFlashEngine::sendObjectRecords(const std::filesystem::path& path, bool showProgress) {
    std::error_code ec;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (!std::filesystem::exists(path, ec))
            op_.showMessage(10400, 262);
        else
            op_.showMessage(10403, 2622);
        return 0;
    }
    const bool stream = PasswordBootTypes(bootType);
    std::vector<uint8_t> pending, record;
    bool havePending = false;
    uint8_t running = 0;
    // The stream fills the chip from the header's address on: a gap between
    // records goes as FF bytes, which leave the flash as it is.
    uint32_t segment = 0, next = 0;
    bool started = false;
    auto flush = [&](bool last) {
        if (!havePending) return 1;
        havePending = false;
        return sendFrame(pending.data(), static_cast<uint32_t>(pending.size()), 0, last ? 1 : 0);
    };
    const BootTypeRow& row = bootTypeRow(bootType);
    if (!stream &&
        (row.segmentRecord || (row.memorySizes && settings_.inForce.memSizeEmulat != 60))) {
        pending = {0x3A, 0x02, 0x00, 0x00, 0x02, 0x00, 0x00, 0xFC};
        havePending = true;
    }
    std::string line;
    while (std::getline(in, line)) {
        if (!hexRecordBytes(line, record)) continue;
        std::vector<uint8_t> piece;
        if (stream) {
            if (record[3] == 0x02 && record[0] == 2)
                segment = (uint32_t{record[4]} << 8 | record[5]) * 16;
            if (record[3] != 0x00 || record[0] == 0) continue;
            const uint32_t at = segment + (uint32_t{record[1]} << 8 | record[2]);
            if (started && at > next) piece.assign(at - next, 0xFF);
            started = true;
            next = at + record[0];
            piece.insert(piece.end(), record.begin() + 4, record.end() - 1);
            for (uint8_t b : piece) running = static_cast<uint8_t>(running + b);
        } else {
            piece.push_back(0x3A);
            piece.insert(piece.end(), record.begin(), record.end());
        }
        if (piece.empty()) continue;
        if (!flush(false)) return 0;
        pending = std::move(piece);
        havePending = true;
        if (showProgress) op_.progressStep(static_cast<int32_t>(record.size()) * 2 + 1 - 1);
        pumpOneMessage();
    }
    if (in.bad()) {
        op_.showMessage(10403, 2621, 12125);
        return 0;
    }
    if (stream) {
        if (!flush(false)) return 0;
        pending = {static_cast<uint8_t>(~running)};
        havePending = true;
    }
    return flush(true);
}

int32_t CFlashEngine::programSingleBoot(const std::filesystem::path& expansionFile) {
    return singleBootTransfer(kFormProgram, &expansionFile);
}

int32_t CFlashEngine::singleBootObjectFits(const std::filesystem::path& expansionFile) {
    if (!bootTypeRow(bootType).oneTransfer) return 1;
    const ObjectExtent e = objectExtent(expansionFile);
    if (!e.ascending) {
        op_.showMessage(10403, 2621, 12125);
        return 0;
    }
    if (e.span() > 1024) {
        op_.showMessage(10023);
        return 0;
    }
    return 1;
}

// A type-10 record: count address, compare address (three bytes each), password.
int32_t CFlashEngine::sendPasswordRecord(const PasswordChoice& pw) {
    std::vector<uint8_t> r = {static_cast<uint8_t>(6 + pw.bytes.size()), 0, 0, 0x10};
    for (uint32_t a : {pw.numAdd, pw.cmpAdd})
        for (int i = 2; i >= 0; --i) r.push_back(static_cast<uint8_t>(a >> (8 * i)));
    r.insert(r.end(), pw.bytes.begin(), pw.bytes.end());
    r.push_back(checksum8(r.data(), static_cast<int32_t>(r.size())));
    r.insert(r.begin(), 0x3A);
    return sendFrame(r.data(), static_cast<uint32_t>(r.size()), 0, 0);
}

int32_t CFlashEngine::bootPasswordForm() {
    if (!bootTypeRow(bootType).passwordRecord || flashBlank == 1) return 1;
    return singleBootTransfer(kFormPassword, nullptr);
}

int32_t CFlashEngine::singleBootTransfer(int form, const std::filesystem::path* path) {
    session_.LastMessageCode = 0;
    if (bootCommand(bootType, kColProgram) == 0) return 0;  // BootType 7: WCPs only

    // The extent of a programming transfer, for the header of BootTypes 8 and 10.
    uint32_t low = 0, count = 0;
    if (form == kFormProgram) {
        if (!singleBootObjectFits(*path)) return 0;
        const ObjectExtent e = objectExtent(*path);
        low = e.low;
        count = e.span();
    }
    const uint32_t t = form == kFormErase ? devices_.eraseWaitMs() : devices_.bootWaitMs();
    waitCursor(true);
    // A boot program at 9600 only runs its FF step before every programming command.
    if (bootTypeRow(bootType).bootAt9600) rateSwitched = 0;
    int32_t ok = beginBootCommand(kColProgram, 161, 162);

    if (ok && bootTypeRow(bootType).oneTransfer) {
        uint8_t reply = 0;
        ok = sendPasswordFrame(kColProgram);
        if (ok && !readReply(reply, timeouts.echo)) {
            reportTimeout(BootKind, 163);
            ok = 0;
        } else if (ok && reply == (bootCommand(bootType, kColProgram) | 0x01)) {
            op_.showMessage(10018, 0, 0, "Boot Program");
            ok = 0;
        } else if (ok) {
            ok = checkReply(BootKind, kColProgram, reply);
        }
        ok = ok && headerExchange(BootKind, kColProgram, low, count, 164);
        ok = ok && sendObjectRecords(*path, false);
        ok = ok && readCompletion(BootKind, kColProgram, t, 165);
    } else if (ok) {
        // A boot program that does not erase first says it is ready (C1).
        if (!EraseFirstTypes(bootType)) {
            uint8_t reply = 0;
            if (!readReply(reply, timeouts.completion)) {
                reportTimeout(BootKind, 163);
                ok = 0;
            } else if (reply != 0xC1) {
                ok = checkReply(BootKind, kColProgram, reply);
            }
        }
        if (ok && bootTypeRow(bootType).programPassword) ok = sendPasswordFrame(kColProgram);
        if (ok) {
            // A chip opened by a password record of its own gets it in the
            // password form and before the records of a programming.
            // A blank chip holds no password and needs no record.
            if (bootTypeRow(bootType).passwordRecord && form != kFormErase && flashBlank == 0) {
                const PasswordChoice pw = choosePassword();
                if (form == kFormPassword || !pw.bytes.empty()) ok = sendPasswordRecord(pw);
            }
            if (ok && form == kFormProgram) {
                ok = sendObjectRecords(*path, false);
            } else if (ok) {
                const uint8_t end[6] = {0x3A, 0x00, 0x00, 0x00, 0x01, 0xFF};
                ok = sendFrame(end, 6, 0, 1);
            }
        }
        // The two completion bytes are the boot program's own; nothing to check.
        uint8_t two[2];
        if (ok && !readBytes(two, 2, t, 164, true)) ok = 0;
    }
    waitCursor(false);
    if (!ok) {
        resyncNeeded = 1;
        return 0;
    }
    resyncNeeded = 0;
    if (form == kFormErase) flashBlank = 1;
    if (form == kFormProgram) flashBlank = 0;
    return 1;
}

void CFlashEngine::blankPasswordAsDevicePassword() {
    passwords_.devicePassword.assign(blankPasswordLength(bootType) * 2, 'F');
    passwords_.devicePasswordType = 1;
    passwords_.deviceNumAdd = passwordStart;
    passwords_.deviceCmpAdd = passwordEnd;
}

int32_t CFlashEngine::runPasswordSteps() {
    if (passwordStepsDone_ || bootTypeRow(bootType).noPassword || anyWcpLoaded()) return 1;
    passwordStepsDone_ = true;
    int32_t result = 1;
    if (passwords_.devicePasswordOption == 3) {
        if (BootTypesI(bootType) && flashBlank == 1) {
            blankPasswordAsDevicePassword();
        } else if (std::error_code ec;
                   !std::filesystem::exists(settings_.programFolder / "history.log", ec)) {
            op_.showMessage(10139);
            result = 0;
        } else {
            uint16_t sum = 0;
            if (!bootSum(0, 0, sum)) return recoverAfterTimeout(0);
            std::string device;
            devices_.selectedDeviceName(device);
            const PasswordLogEntry* found = nullptr;
            for (const auto& e : passwords_.log)
                if (e.sum == sum && e.device == device) found = &e;
            if (!found) {
                op_.showMessage(10138);
                result = 0;
            } else {
                passwords_.devicePassword = found->password;
                passwords_.devicePasswordType = 1;
                passwords_.deviceNumAdd = found->numAdd;
                passwords_.deviceCmpAdd = found->cmpAdd;
            }
        }
    }
    // The status was read just before: a blank chip opens with FF bytes.
    if (BootTypesI(bootType) && !devicePasswordSet() && flashBlank == 1)
        blankPasswordAsDevicePassword();
    if (image_ && image_->loaded() && passwords_.objectPasswordOption != 0 &&
        !image_->objectPassword().present) {
        op_.showMessage(10127, 0, 12111);
        result = 0;
    }
    return result;
}

}  // namespace ostrand
