#include "ui/doc_state.h"

#include <cstdio>

#include "app/boot_types.h"
#include "document/document.h"
#include "ui/commands.h"

namespace ostrand::ui {

DocState readDocState(DocumentCore& core) {
    DocState s;
    static_cast<CommandState&>(s) = core.commandState();
    const SetupValues& v = core.settings.inForce;
    s.device = v.device;
    s.port = v.comPort;
    s.rate = v.dataRate.text();
    s.objectFile = v.openFile;
    s.addressOption = v.addressOption != 0;
    s.addressAreaBytes = (uint64_t{v.romArea1End} - v.romArea1Start + 1) +
                         (uint64_t{v.romArea2End} - v.romArea2Start + 1);
    return s;
}

std::string paneText(int pane, const DocState& s) {
    switch (pane) {
        case kPaneConnection:
            switch (s.connectStatus) {
                case 1:
                    return "Connected";
                case 2:
                    return "Accessing...";
                case 3:
                    return "Disconnecting...";
                default:
                    return "Disconnect";
            }
        case kPanePort:
            return s.port;
        case kPaneMode: {
            static const char* const kModes[] = {"", "WCP-Div", "WCP-All", "S-Boot-PW", "S-Boot"};
            return s.mode >= 1 && s.mode <= 4 ? kModes[s.mode] : "";
        }
        case kPaneDevice: {
            if (!s.addressOption) return s.device;
            char size[32];
            std::snprintf(size, sizeof size, " (%ldKB)",
                          static_cast<long>(s.addressAreaBytes / 1024));
            return s.device + size;
        }
        case kPaneObject:
            return s.objectFile;
        case kPaneRate:
            return s.rate;
        case kPaneProtect:
            if (!ProtectTypes(s.bootType)) return "";
            return s.protectState == 1 ? "Protect" : "No Protect";
        default:
            return "";
    }
}

std::string shortenPath(const std::string& path,
                        const std::function<bool(const std::string&)>& fits) {
    if (fits(path)) return path;
    const size_t lastSlash = path.rfind('/');
    // The root stays: "/" of an absolute path, nothing of a relative one.
    const size_t rootEnd = path.empty() || path[0] != '/' ? 0 : 1;
    if (lastSlash == std::string::npos || lastSlash < rootEnd + 1) return path;
    const std::string name = path.substr(lastSlash + 1);
    size_t cut = path.find('/', rootEnd);
    while (cut != std::string::npos && cut < lastSlash) {
        const std::string form = path.substr(0, rootEnd) + "..." + path.substr(cut);
        if (fits(form)) return form;
        cut = path.find('/', cut + 1);
    }
    const std::string last = path.substr(0, rootEnd) + ".../" + name;
    return fits(last) ? last : name;
}

}  // namespace ostrand::ui
