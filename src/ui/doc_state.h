// What the main window needs to know of the program's state, read in one
// place, and the pane texts; the enabling rules are the document's
// (commandEnabled). Everything but readDocState() is a pure function.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "document/command_table.h"

namespace ostrand {
class DocumentCore;
}

namespace ostrand::ui {

// The command table's state and the pane sources.
struct DocState : CommandState {
    std::string device;
    std::string port;
    std::string rate;
    std::string objectFile;
    bool addressOption = false;
    uint64_t addressAreaBytes = 0;  // both address areas of the setup
};

DocState readDocState(DocumentCore& core);

// The text a status pane shows (the object pane before shortening).
std::string paneText(int pane, const DocState& s);

// A path shortened the way a recent-file list does: leading folders give way
// to "..." after the root, one at a time, until `fits` accepts the text; the
// file name alone is the last resort.
std::string shortenPath(const std::string& path,
                        const std::function<bool(const std::string&)>& fits);

}  // namespace ostrand::ui
