// The windowed program from start-up to its exit status.
#pragma once

namespace ostrand::ui {

// Start-up in its fixed order, the window, the unattended run of the command
// line, and shut-down. Returns the program's exit status.
int runOstrand(int argc, char** argv);

}  // namespace ostrand::ui
