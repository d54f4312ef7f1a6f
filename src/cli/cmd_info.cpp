// ostrand-cli info: loads an object file for a device as the programmer would
// and tells what it holds.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/file_io.h"
#include "app/session.h"
#include "command.h"
#include "console_operator.h"
#include "engine/engine_session.h"

namespace ostrand::cli {

namespace {

namespace fs = std::filesystem;

int runInfo(std::vector<std::string>& argv);

const Registrar kInfo{
    Command{"info", "load an object file for a device and show its ranges, SUM and password",
            "usage: ostrand-cli info FILE [--home DIR] [--device NAME] [--setup FILE]\n\n"
            "Loads FILE (.h16 .h20 .s16 .s24 .s32, or .abs through the converter) into the\n"
            "memory image of the device and prints the loaded address ranges, the file SUM,\n"
            "the number of bytes programming sends, the object expansion file and the\n"
            "object-file password when the file holds one.\n\n"
            "  --home DIR     program folder with Ostrand.def (default: the program's folder)\n"
            "  --device NAME  device of the definition file (default: the setup's device)\n"
            "  --setup FILE   setup file (default: DIR/Ostrand.ini when it exists)\n\n"
            "Exit status: 0 loaded, 1 failed (numbered message on stderr), 2 usage.\n",
            runInfo}};

int runInfo(std::vector<std::string>& argv) {
    const Command& self = *[] {
        for (const auto& c : commands())
            if (c.name == "info") return &c;
        return &commands().front();
    }();
    Args args(argv);
    std::string home, device, setup;
    const bool haveHome = args.take("--home", home);
    const bool haveDevice = args.take("--device", device);
    const bool haveSetup = args.take("--setup", setup);
    if (args.error()) return usageError(self, args.errorText());
    if (std::string unknown = args.unknownOption(); !unknown.empty())
        return usageError(self, "unknown option " + unknown);
    if (args.rest().size() != 1) return usageError(self, "needs exactly one object file");

    std::error_code ec;
    const fs::path folder = haveHome ? fs::absolute(home, ec) : programFolder();
    const std::string file = fs::absolute(args.rest().front(), ec).lexically_normal().string();

    Session session;
    ConsoleOperator op(session);
    EngineSession parts(session, op, folder);
    DeviceDatabase& devices = parts.devices;
    SetupSettings& settings = parts.settings;
    if (!parts.loadDefinitions()) return kExitFailed;

    if (haveSetup || fs::exists(parts.defaultSetupPath(), ec)) {
        settings.firstLoad = false;
        // A setup that names a port this machine lacks still gives its
        // device and address options; only an unreadable one ends here.
        if (parts.loadSetup(haveSetup ? fs::path(setup) : fs::path()) != 0 && !haveDevice &&
            devices.selectedIndex() < 0)
            return kExitFailed;
    }
    if (haveDevice) {
        if (devices.select(device) < 0) {
            op.showMessage(10114, 0, 12105, device);
            return kExitFailed;
        }
        settings.inForce.device = device;
    }
    settings.inForce.openFile = file;

    ObjectImage& image = parts.image;
    if (image.load(false) != 1 || !image.loaded()) return kExitFailed;
    warnIfEndRecordMissing(image);

    std::string name;
    devices.selectedDeviceName(name);
    std::printf("file: %s\n", image.path().c_str());
    if (image.readPath() != image.path()) std::printf("converted: %s\n", image.readPath().c_str());
    std::printf("device: %s\n", name.c_str());
    std::printf("loaded ranges:\n");
    for (const auto& r : image.loadedRanges()) std::printf("  0x%06X-0x%06X\n", r.start, r.end);
    std::printf("sum: 0x%04X\n", image.fileSum());
    std::printf("program bytes: %u\n", image.programByteCount());
    std::printf("expansion file: %s\n", image.expansionPath().c_str());
    if (image.objectPassword().present) {
        std::printf("object password: %s\n", image.objectPassword().text.c_str());
    } else if (const DeviceDefinition* dev = devices.selected();
               dev && dev->singleBootPassword == 1) {
        // No addresses set up: look for the password in the file itself.
        uint32_t numAdd = 0, cmpAdd = 0;
        std::string text;
        if (parts.passwords.findObjectPassword(image.passwordView(), numAdd, cmpAdd, text))
            std::printf("object password: %s (count at 0x%06X, start 0x%06X)\n", text.c_str(),
                        numAdd, cmpAdd);
    }
    return kExitOk;
}

}  // namespace

void warnIfEndRecordMissing(const ObjectImage& image) {
    if (!image.loaded() || !image.endRecordMissing()) return;
    std::fprintf(stderr, "ostrand-cli: warning: %s has no end record; it may be cut short\n",
                 image.readPath().c_str());
}

}  // namespace ostrand::cli
