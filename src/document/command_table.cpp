#include "document/command_table.h"

#include <algorithm>
#include <array>

#include "app/boot_types.h"
#include "app/session.h"

namespace ostrand {

namespace {

constexpr int32_t kHintPassword = 12134;

constexpr CommandRow kRows[] = {
    {kCmdSaveAs, PasswordRule::Always, true, false},
    {kCmdChipErase, PasswordRule::UnlessMode4, true, false},
    {kCmdBlockErase, PasswordRule::Always, true, false},
    {kCmdProgram, PasswordRule::UnlessMode4, true, true},
    {kCmdMemoryDump, PasswordRule::Always, true, false},
    {kCmdDataRead, PasswordRule::Always, true, false},
    {kCmdDataWrite, PasswordRule::Always, true, false},
    {kCmdVerify, PasswordRule::Verify, true, true},
    {kCmdCompare, PasswordRule::Always, true, true},
    {kCmdBlankCheck, PasswordRule::Always, true, false},
    {kCmdProtect, PasswordRule::UnlessMode4, true, false},
    {kCmdAutoProgramming, PasswordRule::Auto, true, true},
    // The unattended run checks the passwords only.
    {kCmdUnattendedAuto, PasswordRule::Auto, false, true},
    {kCmdPassword, PasswordRule::None, false, false, true},
};

// Verify in S-Boot-PW needs no password on these.
constexpr std::array<int32_t, 8> kVerifyFreeInSBootPw = {2, 5, 6, 7, 8, 9, 10, 11};

bool modeWcp(const CommandState& s) {
    return s.mode == 1 || s.mode == 2;
}
bool modeSingleBoot(const CommandState& s) {
    return s.mode == 3 || s.mode == 4;
}
// Through a WCP: in a WCP mode, and with the WCP in the chip where it only
// comes with an erase or a programming.
bool wcpReady(const CommandState& s) {
    return modeWcp(s) && (!bootTypeRow(s.bootType).wcpViaWriteOnly || s.wcpLoaded);
}
// The rule of Save As, Memory Dump, Data Read: a chip whose commands run in
// single boot cannot be read while protected; the others are read through a WCP.
bool readable(const CommandState& s) {
    if (bootTypeRow(s.bootType).singleBootCommands) return modeSingleBoot(s) && s.protectState != 1;
    return wcpReady(s);
}
bool programmable(const CommandState& s) {
    const BootTypeRow& row = bootTypeRow(s.bootType);
    if (row.singleBootCommands && !modeSingleBoot(s)) return false;
    if (row.wcpProgramOnly && !modeWcp(s)) return false;
    return s.objectLoaded;
}

}  // namespace

const CommandRow& commandRow(int command) {
    static const CommandRow none{};
    for (const CommandRow& r : kRows)
        if (r.command == command) return r;
    return none;
}

bool commandEnabled(int command, const CommandState& s) {
    const bool connected = s.connectStatus == 1;
    const int32_t bt = s.bootType;
    const BootTypeRow& row = bootTypeRow(bt);
    switch (command) {
        case kCmdOpenSetup:
        case kCmdOpenObject:
        case kCmdSetupFile:
        case kCmdSetupDevice:
        case kCmdSetupObject:
        case kCmdSetupCommunication:
            return !connected;
        case kCmdSaveAs:
        case kCmdMemoryDump:
        case kCmdDataRead:
            return connected && readable(s);
        case kCmdReconnect:
            // Also the way back when the link is down.
            return connected || s.setupNamesDevice;
        case kCmdChipErase:
        case kCmdVerify:
            if (command == kCmdVerify && !s.objectLoaded) return false;
            return connected && (!row.singleBootCommands || modeSingleBoot(s));
        case kCmdBlockErase:
            if (!connected) return false;
            if (row.singleBootCommands) return modeSingleBoot(s) && s.protectState != 1;
            return !row.noBlockErase && wcpReady(s);
        case kCmdProgram:
        case kCmdAutoProgramming:
        case kCmdUnattendedAuto:
            return connected && programmable(s);
        case kCmdDataWrite:
            if (EraseFirstTypes(bt) || !connected) return false;
            return wcpReady(s);
        case kCmdCompare:
            return connected && s.objectLoaded && readable(s);
        case kCmdBlankCheck:
            if (!connected) return false;
            if (row.singleBootCommands) return modeSingleBoot(s);
            return wcpReady(s);
        case kCmdProtect:
            return connected && row.singleBootCommands && modeSingleBoot(s);
        case kCmdSetupInfo:
        case kCmdSetupInfo2:
            return s.setupNamesDevice;
        case kCmdPassword:
            return !row.noPassword && (row.singleBootCommands || s.mode != 4);
        case kCmdOption:
            return row.optionCommand;
        default:  // Exit, Save As Setup File, Help, web help, Version, single boot
            return true;
    }
}

std::string programMenuText(int32_t bootType) {
    return EraseFirstTypes(bootType) ? "Erase/&Program" : "&Program";
}

RuleVerdict passwordPrecondition(const CommandState& s) {
    if (bootTypeRow(s.bootType).noPassword) return {};
    if (s.chipRewritten && s.mode != 2)
        return s.objectPassword ? RuleVerdict{} : RuleVerdict{10516, 0, kHintPassword};
    return s.devicePassword ? RuleVerdict{} : RuleVerdict{10515, 0, kHintPassword};
}

RuleVerdict passwordVerdict(int command, const CommandState& s) {
    const CommandRow& row = commandRow(command);
    switch (row.password) {
        case PasswordRule::None:
            return {};
        case PasswordRule::Always:
            return passwordPrecondition(s);
        case PasswordRule::UnlessMode4:
            if (s.mode == 4) return {};
            if (RuleVerdict v = passwordPrecondition(s); !v.passed()) return v;
            // A protecting programming in S-Boot-PW writes the object's password.
            if (command == kCmdProgram && s.mode == 3 && !s.chipRewritten && s.protectOption &&
                bootTypeRow(s.bootType).protectNeedsObjectPassword && !s.objectPassword)
                return {10516, 0, kHintPassword};
            return {};
        case PasswordRule::Verify:
            if (s.mode == 4) return {};
            if (s.mode == 3 && std::find(kVerifyFreeInSBootPw.begin(), kVerifyFreeInSBootPw.end(),
                                         s.bootType) != kVerifyFreeInSBootPw.end())
                return {};
            return passwordPrecondition(s);
        case PasswordRule::Auto:
            if (bootTypeRow(s.bootType).noPassword) return {};
            if (s.mode == 2) return passwordPrecondition(s);
            if ((s.mode == 1 || s.mode == 3) && (!s.devicePassword || !s.objectPassword))
                return {10511, 0, 12145};
            return {};
    }
    return {};
}

AutoBoxRules autoBoxRules(int32_t bootType, int32_t mode, bool wcpLoaded) {
    const BootTypeRow& row = bootTypeRow(bootType);
    const bool singleBoot = mode == kModeSBootPw || mode == kModeSBoot;
    AutoBoxRules r;
    r.blockStepsOff = singleBoot && !row.blockCommands;
    r.protectAvailable = singleBoot && row.ownReadProtect;
    r.linkedOptions =
        row.wcpViaWriteOnly && (mode == kModeWcpDiv || mode == kModeWcpAll) && !wcpLoaded;
    r.eraseFirst = EraseFirstTypes(bootType);
    return r;
}

}  // namespace ostrand
