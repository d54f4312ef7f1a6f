// Command numbers of the main window: menu items, toolbar buttons and keys.
#pragma once

namespace ostrand::ui {

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

// Status bar panes, left to right.
enum PaneId : int {
    kPaneConnection = 13004,
    kPanePort = 13007,
    kPaneMode = 13005,
    kPaneDevice = 13000,
    kPaneObject = 13001,
    kPaneRate = 13002,
    kPaneProtect = 13006,
};

inline constexpr PaneId kPaneOrder[] = {kPaneConnection, kPanePort, kPaneMode,   kPaneDevice,
                                        kPaneObject,     kPaneRate, kPaneProtect};

}  // namespace ostrand::ui
