// The operator's commands as numbers, and the rules of the command table as
// pure functions of the program's state: when a command is enabled, and
// which preamble it runs before its operation (the password precondition P,
// the chip's readiness R, the object file it needs).
#pragma once

#include <cstdint>
#include <string>

#include "app/password_rules.h"

namespace ostrand {

// Command numbers of the main window: menu items, toolbar buttons and keys.
enum CommandId : int {
    kCmdOpenSetup = 57601,
    kCmdOpenObject = 32798,
    kCmdSaveAs = 57604,
    kCmdReconnect = 32807,
    kCmdExit = 57665,
    kCmdChipErase = 32772,
    kCmdBlockErase = 32773,
    kCmdProgram = 32797,
    kCmdMemoryDump = 32774,
    kCmdDataRead = 32775,
    kCmdDataWrite = 32776,
    kCmdVerify = 32777,
    kCmdCompare = 32778,
    kCmdBlankCheck = 32779,
    kCmdProtect = 32818,
    kCmdSetupInfo = 32796,
    kCmdSetupInfo2 = 32810,
    kCmdAutoProgramming = 32793,
    kCmdUnattendedAuto = 32816,
    kCmdSetupFile = 32785,
    kCmdSetupDevice = 32794,
    kCmdSetupObject = 32784,
    kCmdSetupCommunication = 32786,
    kCmdPassword = 32787,
    kCmdOption = 32809,
    kCmdSaveSetupAs = 32788,
    kCmdHelp = 32795,
    kCmdWebHelp = 32790,
    kCmdVersion = 32817,
    kCmdSingleBoot = 32792,
};

// What the rules of the command table look at.
struct CommandState {
    int32_t connectStatus = 0;
    int32_t mode = 0;          // ProgrammingMode
    int32_t bootType = 0;      // of the selected device; 0: none selected
    int32_t protectState = 0;  // ProtectState
    bool wcpLoaded = false;    // any write control program in the chip
    bool objectLoaded = false;
    bool setupNamesDevice = false;
    // The password state.
    bool chipRewritten = false;
    bool devicePassword = false;  // a device password is set
    bool objectPassword = false;  // an object-file password is set
    bool protectOption = false;   // the setup's Protect option for this device
};

// Whether a command may run now (the menu, toolbar and key rule).
bool commandEnabled(int command, const CommandState& s);

// The Auto Programming windows' boxes in the mode in force: blank check and
// file compare greyed where single boot has no block commands, Protect only
// where the boot program protects by itself, and the boxes that Programming
// carries along on a WCP device written through its write WCP alone.
struct AutoBoxRules {
    bool blockStepsOff = false;
    bool protectAvailable = false;
    bool linkedOptions = false;
    bool eraseFirst = false;  // programming erases first: All Erase follows it
};
AutoBoxRules autoBoxRules(int32_t bootType, int32_t mode, bool wcpLoaded);

// "Erase/&Program" for the boot types that erase before programming.
std::string programMenuText(int32_t bootType);

// How a command's preamble treats the passwords.
enum class PasswordRule : uint8_t {
    None,         // no password precondition
    Always,       // P
    UnlessMode4,  // P, skipped in S-Boot
    Verify,       // P, skipped in S-Boot and, for most password chips, in S-Boot-PW
    Auto,         // auto programming: P in WCP-All, both passwords in WCP-Div and S-Boot-PW
};

struct CommandRow {
    int command = 0;
    PasswordRule password = PasswordRule::None;
    bool ready = false;        // R: the engine identifies the chip first
    bool needsObject = false;  // works with the object file
    bool needsDevice = false;  // needs a device selected
};

// The command's row of the table; a row of no rules for the others.
const CommandRow& commandRow(int command);

// P: the password precondition. Passes for chips without passwords; a chip
// rewritten in this connection (outside WCP-All) needs the object-file
// password, any other the device password.
RuleVerdict passwordPrecondition(const CommandState& s);

// The password part of a command's preamble, with the command's own rules
// (the rules that skip P by mode, Program's protect rule, auto programming's
// two passwords).
RuleVerdict passwordVerdict(int command, const CommandState& s);

}  // namespace ostrand
