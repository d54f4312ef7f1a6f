#include "ui/doc_state.h"

#include <cstdio>

#include "app/boot_types.h"
#include "document/document.h"
#include "ui/commands.h"

namespace ostrand::ui {

DocState readDocState(DocumentCore& core) {
    DocState s;
    const Session& w = core.session;
    s.connectStatus = w.ConnectStatus;
    s.mode = w.ProgrammingMode;
    s.protectState = w.ProtectState;
    const int32_t bt = core.devices.bootType();
    s.bootType = bt > 0 ? bt : 0;
    s.wcpLoaded = core.engine.anyWcpLoaded();
    s.objectLoaded = core.image.loaded();
    const SetupValues& v = core.settings.inForce;
    s.setupNamesDevice = !v.device.empty();
    s.device = v.device;
    s.port = v.comPort;
    s.rate = v.dataRate;
    s.objectFile = v.openFile;
    s.addressOption = v.addressOption != 0;
    s.addressAreaBytes = (uint64_t{v.romArea1End} - v.romArea1Start + 1) +
                         (uint64_t{v.romArea2End} - v.romArea2Start + 1);
    return s;
}

namespace {

bool modeWcp(const DocState& s) {
    return s.mode == 1 || s.mode == 2;
}
bool modeSingleBoot(const DocState& s) {
    return s.mode == 3 || s.mode == 4;
}
// Through a WCP: in a WCP mode, and with the WCP in the chip where it only
// comes with an erase or a programming.
bool wcpReady(const DocState& s) {
    return modeWcp(s) && (!bootTypeRow(s.bootType).wcpViaWriteOnly || s.wcpLoaded);
}
// The rule of Save As, Memory Dump, Data Read: a chip whose commands run in
// single boot cannot be read while protected; the others are read through a WCP.
bool readable(const DocState& s) {
    if (bootTypeRow(s.bootType).singleBootCommands) return modeSingleBoot(s) && s.protectState != 1;
    return wcpReady(s);
}
bool programmable(const DocState& s) {
    const BootTypeRow& row = bootTypeRow(s.bootType);
    if (row.singleBootCommands && !modeSingleBoot(s)) return false;
    if (row.wcpProgramOnly && !modeWcp(s)) return false;
    return s.objectLoaded;
}

}  // namespace

bool commandEnabled(int command, const DocState& s) {
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
