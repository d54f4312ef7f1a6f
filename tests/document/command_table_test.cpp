// When the commands are enabled, by connection, boot type, mode, protection
// and the WCP in the chip; and the Program command's text.
#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "document/command_table.h"

using namespace ostrand;

namespace {

struct State {
    int32_t bootType = 1, mode = 1, connectStatus = 1;
    bool objectLoaded = true, wcpLoaded = false;
    int32_t protectState = 0;
    bool setupNamesDevice = true;
};

CommandState commandState(const State& t) {
    CommandState s;
    s.bootType = t.bootType;
    s.mode = t.mode;
    s.connectStatus = t.connectStatus;
    s.objectLoaded = t.objectLoaded;
    s.wcpLoaded = t.wcpLoaded;
    s.protectState = t.protectState;
    s.setupNamesDevice = t.setupNamesDevice;
    return s;
}

const std::vector<int> kSetupCommands = {kCmdOpenSetup,   kCmdOpenObject,  kCmdSetupFile,
                                         kCmdSetupDevice, kCmdSetupObject, kCmdSetupCommunication};
const std::vector<int> kEditCommands = {kCmdChipErase,  kCmdBlockErase, kCmdProgram, kCmdMemoryDump,
                                        kCmdDataRead,   kCmdDataWrite,  kCmdVerify,  kCmdCompare,
                                        kCmdBlankCheck, kCmdProtect};
// The commands that read or write through a WCP (or, on BootType 11, only
// while unprotected).
const std::vector<int> kWcpCommands = {kCmdSaveAs,     kCmdMemoryDump, kCmdDataRead,  kCmdDataWrite,
                                       kCmdBlockErase, kCmdCompare,    kCmdBlankCheck};

}  // namespace

TEST(CommandTable, EnablingRules) {
    struct Case {
        const char* what;
        State state;
        std::vector<int> commands;
        bool enabled;
    };
    const State accessing{.connectStatus = 2}, noObject{.objectLoaded = false};
    const State protected11{.bootType = 11, .mode = 3, .protectState = 1};
    const State mode4{.bootType = 11, .mode = 4};
    const State nothing{.connectStatus = 0, .setupNamesDevice = false};
    const std::vector<int> readers = {kCmdSaveAs,     kCmdMemoryDump, kCmdDataRead,
                                      kCmdBlockErase, kCmdCompare,    kCmdDataWrite};
    const Case cases[] = {
        // "Accessing..." counts as not connected; ReConnect is the way back.
        {"accessing: setup", accessing, kSetupCommands, true},
        {"accessing: edit", accessing, kEditCommands, false},
        {"accessing", accessing, {kCmdReconnect}, true},
        {"accessing", accessing, {kCmdAutoProgramming}, false},
        {"no setup device", nothing, {kCmdReconnect}, false},
        {"connected", {.setupNamesDevice = false}, {kCmdReconnect}, true},
        {"connected", {}, {kCmdOpenSetup}, false},
        // BootType 11 works in single boot only, and not on a protected chip.
        {"11 mode 1", {.bootType = 11, .mode = 1}, kEditCommands, false},
        {"11 mode 2", {.bootType = 11, .mode = 2}, kEditCommands, false},
        {"11 mode 2", {.bootType = 11, .mode = 2}, {kCmdAutoProgramming}, false},
        {"11 protected", protected11, readers, false},
        {"11 protected", protected11, {kCmdChipErase, kCmdProgram, kCmdVerify}, true},
        {"11 protected", protected11, {kCmdBlankCheck, kCmdProtect}, true},
        {"11 mode 4", mode4, {kCmdSaveAs, kCmdMemoryDump, kCmdDataRead, kCmdBlockErase}, true},
        {"11 mode 4", mode4, {kCmdCompare, kCmdPassword}, true},
        {"11 erases first", mode4, {kCmdDataWrite}, false},
        // BootType 12 reads and writes through a WCP that only programming loads.
        {"12 mode 1", {.bootType = 12, .mode = 1}, kWcpCommands, false},
        {"12 mode 2", {.bootType = 12, .mode = 2}, kWcpCommands, false},
        {"12 mode 2", {.bootType = 12, .mode = 2}, {kCmdProgram}, true},
        {"12", {.bootType = 12, .mode = 1}, {kCmdPassword}, false},
        {"12 with its WCP", {.bootType = 12, .mode = 1, .wcpLoaded = true}, kWcpCommands, true},
        {"12 with its WCP", {.bootType = 12, .mode = 2, .wcpLoaded = true}, kWcpCommands, true},
        // Type 7 programs through WCPs, 11 through single boot.
        {"7 mode 3", {.bootType = 7, .mode = 3}, {kCmdProgram}, false},
        {"7 mode 4", {.bootType = 7, .mode = 4}, {kCmdAutoProgramming}, false},
        {"7 mode 2", {.bootType = 7, .mode = 2}, {kCmdProgram}, true},
        {"no object", noObject, {kCmdProgram, kCmdVerify, kCmdCompare, kCmdAutoProgramming}, false},
        {"no object", noObject, {kCmdUnattendedAuto}, false},
        {"no object", noObject, {kCmdChipErase, kCmdBlankCheck}, true},
        {"3 has no block erase", {.bootType = 3}, {kCmdBlockErase}, false},
        {"mode 4", {.mode = 4}, {kCmdBlockErase, kCmdPassword}, false},
        {"5 erases first", {.bootType = 5}, {kCmdDataWrite}, false},
        {"1", {}, {kCmdDataWrite}, true},
        {"nothing", nothing, {kCmdSetupInfo}, false},
        {"nothing", nothing, {kCmdSaveSetupAs, kCmdSingleBoot}, true},
    };
    for (const Case& c : cases)
        for (int command : c.commands)
            EXPECT_EQ(commandEnabled(command, commandState(c.state)), c.enabled)
                << c.what << ": command " << command;
}

TEST(CommandTable, OptionCommandAndProgramText) {
    for (int32_t bt = 1; bt <= 12; ++bt) {
        const bool option =
            bt == 1 || bt == 3 || bt == 5 || bt == 7 || bt == 8 || bt == 9 || bt == 10;
        EXPECT_EQ(commandEnabled(kCmdOption, commandState({.bootType = bt})), option) << bt;
        EXPECT_EQ(programMenuText(bt), bt >= 5 && bt <= 11 ? "Erase/&Program" : "&Program") << bt;
    }
}
