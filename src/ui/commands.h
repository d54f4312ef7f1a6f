// The main window's status panes; its command numbers are the document's.
#pragma once

#include "document/command_table.h"

namespace ostrand::ui {

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
