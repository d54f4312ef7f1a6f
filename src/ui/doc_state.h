// What the main window needs to know of the program's state, read in one
// place, and the rules that turn it into enabled commands and pane texts.
// Everything but readDocState() is a pure function of DocState.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace ostrand {
class DocumentCore;
}

namespace ostrand::ui {

struct DocState {
    int32_t connectStatus = 0;
    int32_t mode = 0;          // ProgrammingMode
    int32_t bootType = 0;      // of the selected device; 0: none selected
    int32_t protectState = 0;  // ProtectState
    bool wcpLoaded = false;    // any write control program in the chip
    bool objectLoaded = false;
    bool setupNamesDevice = false;
    // Pane sources.
    std::string device;
    std::string port;
    std::string rate;
    std::string objectFile;
    bool addressOption = false;
    uint64_t addressAreaBytes = 0;  // both address areas of the setup
};

DocState readDocState(DocumentCore& core);

// Whether a command may run now (the menu, toolbar and key rule).
bool commandEnabled(int command, const DocState& s);

// "Erase/&Program" for the boot types that erase before programming.
std::string programMenuText(int32_t bootType);

// The text a status pane shows (the object pane before shortening).
std::string paneText(int pane, const DocState& s);

// A path shortened the way a recent-file list does: leading folders give way
// to "..." after the root, one at a time, until `fits` accepts the text; the
// file name alone is the last resort.
std::string shortenPath(const std::string& path,
                        const std::function<bool(const std::string&)>& fits);

}  // namespace ostrand::ui
