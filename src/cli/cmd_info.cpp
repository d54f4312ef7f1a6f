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
#include "document/advice.h"
#include "engine/engine_session.h"
#include "engine_context.h"

namespace ostrand::cli {

namespace {

namespace fs = std::filesystem;

int runInfo(std::vector<std::string>& argv);

const Registrar kInfo{
    Command{"info", "load an object file for a device and show its ranges, SUM and password",
            "usage: ostrand-cli info FILE [--home DIR] [--device NAME] [--setup FILE] [--json]\n\n"
            "Loads FILE (.h16 .h20 .s16 .s24 .s32, or .abs through the converter) into the\n"
            "memory image of the device and prints the loaded address ranges, the file SUM,\n"
            "the number of bytes programming sends, the object expansion file and the\n"
            "object-file password when the file holds one.\n\n"
            "  --home DIR     program folder with Ostrand.def (default: the program's folder)\n"
            "  --device NAME  device of the definition file (default: the setup's device)\n"
            "  --setup FILE   setup file (default: DIR/Ostrand.ini when it exists)\n"
            "  --json         print the result as one JSON document on stdout\n\n"
            "Exit status: 0 loaded, 1 failed (numbered message on stderr), 2 usage.\n",
            runInfo}};

// What info found, printed as lines or as the --json result.
struct InfoFacts {
    std::string file, converted, device, expansion, password;
    std::vector<AddressRange> ranges;
    uint16_t sum = 0;
    uint32_t programBytes = 0;
    uint32_t passwordCount = 0, passwordStart = 0;  // 0: the password's own place
};

int load(std::vector<std::string>& argv, CliOperator& op, InfoFacts& facts);

void printFacts(const InfoFacts& f) {
    std::printf("file: %s\n", f.file.c_str());
    if (!f.converted.empty()) std::printf("converted: %s\n", f.converted.c_str());
    std::printf("device: %s\n", f.device.c_str());
    std::printf("loaded ranges:\n");
    for (const auto& r : f.ranges) std::printf("  0x%06X-0x%06X\n", r.start, r.end);
    std::printf("sum: 0x%04X\n", f.sum);
    std::printf("program bytes: %u\n", f.programBytes);
    std::printf("expansion file: %s\n", f.expansion.c_str());
    if (f.password.empty()) return;
    if (f.passwordStart == 0 && f.passwordCount == 0)
        std::printf("object password: %s\n", f.password.c_str());
    else
        std::printf("object password: %s (count at 0x%06X, start 0x%06X)\n", f.password.c_str(),
                    f.passwordCount, f.passwordStart);
}

std::string factsJson(const InfoFacts& f) {
    std::string ranges;
    for (const auto& r : f.ranges)
        ranges += (ranges.empty() ? "" : ", ") + std::string("{\"start\": ") +
                  std::to_string(r.start) + ", \"end\": " + std::to_string(r.end) + "}";
    return ", \"file\": " + jsonString(f.file) +
           ", \"converted\": " + (f.converted.empty() ? "null" : jsonString(f.converted)) +
           ", \"device\": " + jsonString(f.device) + ", \"ranges\": [" + ranges +
           "], \"fileSum\": " + std::to_string(f.sum) +
           ", \"programBytes\": " + std::to_string(f.programBytes) +
           ", \"expansionFile\": " + jsonString(f.expansion) +
           ", \"objectPassword\": " + (f.password.empty() ? "null" : jsonString(f.password));
}

int runInfo(std::vector<std::string>& argv) {
    Args probe(argv);
    const bool json = probe.flag("--json");
    Session session;
    CliOperator op(session, false);
    InfoFacts facts;
    const int status = load(argv, op, facts);
    if (!json) {
        if (status == kExitOk) printFacts(facts);
        return status;
    }
    if (status == kExitUsage) return status;
    std::printf("{\"command\": \"info\", \"ok\": %s, \"exitStatus\": %d%s, \"messages\": %s}\n",
                status == kExitOk ? "true" : "false", status,
                status == kExitOk ? factsJson(facts).c_str() : "", jsonMessages(op.shown).c_str());
    return status;
}

int load(std::vector<std::string>& argv, CliOperator& op, InfoFacts& facts) {
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

    EngineSession parts(op.session(), op, folder);
    op.advice = [&parts](const ShownMessage& m) { return adviceFor(m, adviceFacts(parts)); };
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
    if (haveDevice && !parts.applyOverrides({.device = device})) return kExitFailed;
    settings.inForce.openFile = file;

    ObjectImage& image = parts.image;
    if (image.load(false) != 1 || !image.loaded()) return kExitFailed;
    warnIfEndRecordMissing(image);

    devices.selectedDeviceName(facts.device);
    facts.file = image.path();
    if (image.readPath() != image.path()) facts.converted = image.readPath();
    facts.ranges.assign(image.loadedRanges().begin(), image.loadedRanges().end());
    facts.sum = image.fileSum();
    facts.programBytes = image.programByteCount();
    facts.expansion = image.expansionPath();
    if (image.objectPassword().present) {
        facts.password = image.objectPassword().text;
    } else if (const DeviceDefinition* dev = devices.selected();
               dev && dev->singleBootPassword == 1) {
        // No addresses set up: look for the password in the file itself.
        std::string text;
        if (parts.passwords.findObjectPassword(image.passwordView(), facts.passwordCount,
                                               facts.passwordStart, text))
            facts.password = text;
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
