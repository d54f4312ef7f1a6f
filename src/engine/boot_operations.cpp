// Boot-mode operations: work done by the chip's boot program itself (status,
// erase, protect, SUM, read) and the password frame and steps.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>

#include "app/messages.h"
#include "app/numbers.h"
#include "app/password_rules.h"
#include "boot_commands.h"
#include "link.h"
#include "objfile/object_image.h"
#include "wcp_session.h"

namespace ostrand {

namespace {

std::vector<uint8_t> passwordBytes(const std::string& text, bool hex) {
    std::vector<uint8_t> bytes;
    if (!hex) return std::vector<uint8_t>(text.begin(), text.end());
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        int hi = hexDigitValue(text[i]), lo = hexDigitValue(text[i + 1]);
        bytes.push_back(static_cast<uint8_t>((hi < 0 ? 0 : hi) * 16 + (lo < 0 ? 0 : lo)));
    }
    return bytes;
}

bool singleBootMode(int32_t mode) {
    return mode == kModeSBootPw || mode == kModeSBoot;
}

}  // namespace

BootCommands::BootCommands(EngineState& s) : EngineLayer(s) {}

// The engine keeps no setup: the front end clears the setting it came from.
void BootCommands::passwordErased() {
    if (hooks_.passwordErased) hooks_.passwordErased();
}

int32_t BootCommands::readBytes(uint8_t* out, int32_t n, uint32_t timeoutMs, int32_t firstPlace,
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

int32_t BootCommands::beginBootCommand(int32_t column, int32_t resyncPlace, int32_t echoPlace) {
    session_.LinkPhase = kLinkBootProgram;
    // The password types are matched at their working rate: no resync step.
    if (!PasswordBootTypes(dev_.bootType) && !linkLayer_->resyncBeforeCommand(column, resyncPlace))
        return 0;
    return commandExchange(BootKind, column, bootCommand(dev_.bootType, column), echoPlace) ? 1 : 0;
}

bool BootCommands::devicePasswordSet() const {
    return passwords_.devicePasswordOption != 0;
}

BootCommands::PasswordChoice BootCommands::choosePassword() const {
    PasswordChoice c;
    if (chip_.flashBlank == 1) {
        c.bytes.assign(blankPasswordLength(dev_.bootType), 0xFF);
        c.numAdd = dev_.passwordStart;
        c.cmpAdd = dev_.passwordEnd;
    } else if (session_.ChipRewritten == 0) {
        if (bootTypeRow(dev_.bootType).passwordRecord && passwords_.devicePasswordOption == 1) {
            const std::string fixed = "QUINTAVE";
            c.bytes.assign(fixed.begin(), fixed.end());
            c.numAdd = dev_.passwordEnd - 8;
            c.cmpAdd = dev_.passwordEnd - 7;
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

int32_t BootCommands::sendPasswordFrame(int32_t column) {
    const PasswordChoice pw = choosePassword();
    std::vector<uint8_t> frame;
    if (!BootTypesC(dev_.bootType)) {
        const int width = static_cast<int>(bootTypeRow(dev_.bootType).addressWidth);
        for (uint32_t a : {pw.numAdd, pw.cmpAdd})
            for (int i = width - 1; i >= 0; --i)
                frame.push_back(static_cast<uint8_t>(a >> (8 * i)));
    }
    bool addressOnly = false;
    if (FastReplyBootTypes(dev_.bootType) && flashCache_.valid())
        addressOnly = flashCache_.allBytes(0xFF) || flashCache_.allBytes(0x00);
    if (FastReplyBootTypes(dev_.bootType) && !flashCache_.valid() &&
        singleBootMode(session_.ProgrammingMode) && pw.bytes.size() == 255 &&
        std::all_of(pw.bytes.begin(), pw.bytes.end(), [](uint8_t b) { return b == 0xFF; }))
        // Single boot cannot read the vectors: the blank-chip password stands
        // for a chip without a program, which takes the address part only.
        addressOnly = true;
    if (!addressOnly && BootTypesI(dev_.bootType) && chip_.flashBlank == 1) {
        addressOnly = true;
        chip_.flashBlank = 0;
    }
    if (!addressOnly && bootTypeRow(dev_.bootType).blockCommands &&
        (column == kColErase || (column == kColRamTransfer && chip_.bt11EraseFree == 1)))
        addressOnly = true;
    if (!addressOnly) {
        frame.insert(frame.end(), pw.bytes.begin(), pw.bytes.end());
        if (PasswordBootTypes(dev_.bootType))
            frame.push_back(checksum8(pw.bytes.data(), static_cast<int32_t>(pw.bytes.size())));
    }
    if (!frame.empty() && !sendFrame(frame.data(), static_cast<uint32_t>(frame.size()), 1, 1))
        return 0;
    if (bootTypeRow(dev_.bootType).adapterClock) {
        uint8_t reply = 0;
        if (readReply(reply, timeouts_.bt3Password)) {
            if (reply == 0x71) {
                op_.showMessage(10018, 0, 0, "Boot Program");
                return 0;
            }
            if (!checkReply(BootKind, kColRamTransfer, reply)) return 0;
        }
    }
    return 1;
}

int32_t BootCommands::readStatus(std::vector<uint8_t>* buffer) {
    if (bootCommand(dev_.bootType, kColStatus) == 0) return 1;
    session_.LastMessageCode = 0;
    waitCursor(true);
    const bool short_ = BootTypesI(dev_.bootType);
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
            const int32_t total =
                40 + 2 + static_cast<int32_t>(bootTypeRow(dev_.bootType).statusTail);
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
        link_.resyncNeeded = 1;
        return 0;
    }
    link_.resyncNeeded = 0;
    chip_.statusBytes = status;
    if (buffer) *buffer = status;
    return ok ? 1 : 0;
}

void BootCommands::interpretStatus() {
    if (chip_.statusBytes.empty()) return;
    const uint8_t s = chip_.statusBytes[0];
    if (BootTypesI(dev_.bootType)) {
        chip_.flashBlank = (s & 0x01) == 0 ? 1 : 0;
        session_.ProtectState = (s >> 1) & 1;
        if (bootTypeRow(dev_.bootType).blockCommands) chip_.bt11EraseFree = (s & 0x08) == 0 ? 1 : 0;
    } else if (bootTypeRow(dev_.bootType).protectStatus) {
        session_.ProtectState = (chip_.statusBytes.size() >= 2 && chip_.statusBytes[0] == 0x03 &&
                                 chip_.statusBytes[1] == 0x00)
                                    ? 0
                                    : 1;
    }
}

int32_t BootCommands::postConnectStatus() {
    chip_.statusBytes.clear();
    if (!readStatus()) {
        linkLayer_->recoverAfterTimeout(0);
        return 0;
    }
    interpretStatus();
    return 1;
}

int32_t BootCommands::chipErase(uint8_t selector) {
    session_.LastMessageCode = 0;
    if (!BootTypesI(dev_.bootType) && !PasswordBootTypes(dev_.bootType))
        return singleBootTransfer(kFormErase, nullptr);
    const uint32_t t = devices_.eraseWaitMs();
    waitCursor(true);
    int32_t result = 0;
    uint8_t two[2] = {0, 0};
    if (BootTypesI(dev_.bootType)) {
        if (beginBootCommand(kColErase, 611, 612) && sendPasswordFrame(kColErase) &&
            sendFrame(&selector, 1, 0, 0) && readBytes(two, 2, t, 613, true)) {
            const uint16_t value = static_cast<uint16_t>(two[0] << 8 | two[1]);
            const uint16_t blank =
                static_cast<uint16_t>((dev_.sumEnd + 1u - dev_.sumStart) * 0xFFu);
            if (value == blank)
                result = 1;
            else if (bootTypeRow(dev_.bootType).blockCommands)
                op_.showMessage(10008, 0, 0, "Boot Program");
        }
    } else if (beginBootCommand(kColErase, 611, 611) &&
               commandExchange(BootKind, kColErase2, bootCommand(dev_.bootType, kColErase2), 612) &&
               readBytes(two, 2, t, 613, true)) {
        if (two[0] == 0x4F && two[1] == 0x5D)
            result = 1;
        else
            op_.showMessage(11018, 0, 0, "Boot Program");
    }
    waitCursor(false);
    if (!result) {
        link_.resyncNeeded = 1;
        return 0;
    }
    link_.resyncNeeded = 0;
    // A block erase leaves the rest of the chip as it was.
    if (selector != kEraseWholeChip) return 1;
    session_.ChipErased = 1;
    chip_.flashBlank = 1;
    session_.ProtectState = 0;
    return 1;
}

int32_t BootCommands::protectChip(bool showProgress, bool showResult) {
    if (showProgress) {
        if (hooks_.enableCommands) hooks_.enableCommands(false);
        op_.progressOpen(messageTextOrFallback(11313), 0, false, false, true);
    }
    int32_t result = 1;
    const int32_t mode = session_.ProgrammingMode;
    if (singleBootMode(mode)) {
        if (!postConnectStatus()) {
            result = 0;
        } else if (chip_.flashBlank == 1 || bootCommand(dev_.bootType, kColProtect) == 0) {
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
                else if (bootTypeRow(dev_.bootType).adapterClock && reply == 0x71)
                    op_.showMessage(10018, 0, 0, "Boot Program");
                else
                    result = checkReply(BootKind, kColProtect, reply) ? 1 : 0;
            }
            if (result == 1) {
                link_.resyncNeeded = 0;
                session_.ProtectState = 1;
            } else {
                link_.resyncNeeded = 1;
            }
            // A reconnection after a time-out does not make the protect succeed.
            linkLayer_->recoverAfterTimeout(result);
        }
    }
    if (showProgress) op_.progressClose();
    if (showResult && result == 1) op_.showMessage(11027);
    if (showProgress && hooks_.enableCommands) hooks_.enableCommands(true);
    return result;
}

int32_t BootCommands::protectCheckBeforeWcp() {
    session_.eraseRefused = 0;
    if (!postConnectStatus()) return 0;
    const bool bt8Ask = bootTypeRow(dev_.bootType).protectReplies &&
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
                if (hooks_.closeMainWindow) hooks_.closeMainWindow();
                return 0;
            }
        }
    }
    if (!chipErase(0xF0)) {
        linkLayer_->recoverAfterTimeout(0);
        return 0;
    }
    if (ProtectTypes(dev_.bootType)) session_.ProtectState = 0;
    return 1;
}

void BootCommands::startupErasePrompt() {
    if (startupEraseDone_) return;
    if (settings_.inForce.eraseWithoutPassword != 1 || !BootTypesB(dev_.bootType)) return;
    startupEraseDone_ = true;
    if (hooks_.enableCommands) hooks_.enableCommands(false);
    if (op_.ask(12016)) {
        if (anyWcpLoaded()) {
            op_.showMessage(12151);
        } else {
            op_.progressOpen(messageTextOrFallback(11302), 0, false, false, true);
            const int32_t r = chipErase(0xF0);
            linkLayer_->recoverAfterTimeout(r);  // a reconnection does not make the erase succeed
            op_.progressClose();
            if (r == 1) {
                flashCache_.fillAll(0xFF);
                op_.showMessage(11002);
                session_.ProtectState = 0;
                passwordErased();
            }
        }
    }
    if (hooks_.enableCommands) hooks_.enableCommands(true);
}

int32_t BootCommands::identifyChip() {
    if (!bootTypeRow(dev_.bootType).blockCommands || !singleBootMode(session_.ProgrammingMode) ||
        session_.DeviceIdentified == 1)
        return 1;
    session_.LastMessageCode = 0;
    uint8_t id[3], ram[7];
    if (!beginBootCommand(kColIdent1, 1, 1) || !readBytes(id, 3, timeouts_.echo, 1, false)) {
        link_.resyncNeeded = 1;
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
    if (!commandExchange(BootKind, kColIdent2, bootCommand(dev_.bootType, kColIdent2), 1) ||
        !readBytes(ram, 7, timeouts_.echo, 1, false)) {
        link_.resyncNeeded = 1;
        return 0;
    }
    if (ram[6] != checksum8(ram, 6)) {
        op_.showMessage(10009, 1, 0, "Boot Program");
        return 0;
    }
    const uint32_t end = emulated == 60 ? 0xFFFFu : 0x1FFFFu;
    dev_.flashStart = dev_.passwordStart = dev_.sumStart = 0x1000;
    dev_.flashEnd = dev_.passwordEnd = dev_.sumEnd = end;
    dev_.ramStart = uint32_t{ram[0]} << 16 | uint32_t{ram[1]} << 8 | ram[2];
    dev_.ramEnd = uint32_t{ram[3]} << 16 | uint32_t{ram[4]} << 8 | ram[5];
    session_.DeviceIdentified = 1;
    return 1;
}

int32_t BootCommands::bootRead(uint32_t start, uint8_t* buffer, uint32_t count) {
    if (!bootTypeRow(dev_.bootType).blockCommands) return 0;
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
        link_.resyncNeeded = 1;
        return 0;
    }
    link_.resyncNeeded = 0;
    if (sum16(buffer, static_cast<int32_t>(count)) != (tail[0] << 8 | tail[1])) {
        // Data that does not add up must not pass as read.
        op_.showMessage(10008, 0, 0, "Boot Program");
        return 0;
    }
    return 1;
}

int32_t BootCommands::bootSum(uint32_t, uint32_t, uint16_t& sum) {
    sum = 0;
    session_.LastMessageCode = 0;
    waitCursor(true);
    uint8_t b[3];
    const bool ok =
        beginBootCommand(kColSum, 181, 182) && readBytes(b, 3, devices_.bootWaitMs(), 183, true);
    waitCursor(false);
    if (!ok) {
        link_.resyncNeeded = 1;
        return 0;
    }
    link_.resyncNeeded = 0;
    if (b[2] != checksum8(b, 2)) {
        op_.showMessage(10008, 0, 0, "Boot Program");
        return 0;
    }
    sum = static_cast<uint16_t>(b[0] << 8 | b[1]);
    return 1;
}

void BootCommands::blankPasswordAsDevicePassword() {
    passwords_.devicePassword = blankPasswordText(dev_.bootType);
    passwords_.devicePasswordType = 1;
    passwords_.deviceNumAdd = dev_.passwordStart;
    passwords_.deviceCmpAdd = dev_.passwordEnd;
}

int32_t BootCommands::runPasswordSteps() {
    if (passwordStepsDone_ || bootTypeRow(dev_.bootType).noPassword || anyWcpLoaded()) return 1;
    passwordStepsDone_ = true;
    int32_t result = 1;
    if (passwords_.devicePasswordOption == 3) {
        if (BootTypesI(dev_.bootType) && chip_.flashBlank == 1) {
            blankPasswordAsDevicePassword();
        } else if (!passwordLogPresent(settings_.programFolder) || passwords_.logUnreadable()) {
            // A log that is there but could not be read is no log to look in.
            op_.showMessage(passwordLogVerdict(false, nullptr).code, 0, 0,
                            passwords_.logUnreadable()
                                ? (settings_.programFolder / "history.log").string()
                                : std::string());
            result = 0;
        } else {
            uint16_t sum = 0;
            if (!bootSum(0, 0, sum)) return linkLayer_->recoverAfterTimeout(0);
            std::string device;
            devices_.selectedDeviceName(device);
            const PasswordLogEntry* found = loggedPassword(passwords_.log, sum, device);
            // The log is a file from outside: its entry must obey the rules
            // of a typed password before the chip hears it. The place tells
            // the rule; the detail says it (its first line).
            RuleVerdict rule;
            if (found) rule = checkPasswordText(found->password, dev_.bootType, true, true);
            if (const RuleVerdict v = passwordLogVerdict(true, found); !v.passed()) {
                op_.showMessage(v.code, v.place, v.hint);
                result = 0;
            } else if (!rule.passed()) {
                const std::string_view why = messageTextOrFallback(rule.code);
                op_.showMessage(10138, rule.code - 10000, rule.hint,
                                std::string(why.substr(0, why.find('\n'))));
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
    if (BootTypesI(dev_.bootType) && !devicePasswordSet() && chip_.flashBlank == 1)
        blankPasswordAsDevicePassword();
    if (image_ && image_->loaded() && passwords_.objectPasswordOption != 0 &&
        !image_->objectPassword().present) {
        op_.showMessage(10127, 0, 12111);
        result = 0;
    }
    return result;
}

}  // namespace ostrand
