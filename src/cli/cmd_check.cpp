#include <cstdio>

#include "context.h"

namespace ostrand::cli {
namespace {

int run(std::vector<std::string>& argv);

const Command kCommand{"check", "check the definition file and a setup file",
                       "usage: ostrand-cli check [--home DIR] [--setup FILE]\n\n"
                       "Loads Ostrand.def from the program folder and the setup file (FILE, or\n"
                       "Ostrand.ini in the program folder when it exists) exactly as the program\n"
                       "does, and prints every numbered message on stderr.\n"
                       "Exit status: 0 when both are valid, 1 otherwise, 2 for bad usage.\n",
                       run};
const Registrar kRegistered{kCommand};

int run(std::vector<std::string>& argv) {
    Args args(argv);
    Context ctx;
    std::string setup;
    bool hasSetup = args.take("--setup", setup);
    bool loaded = ctx.loadHome(args);
    if (args.error()) return usageError(kCommand, args.errorText());
    if (!args.rest().empty()) return usageError(kCommand, "unexpected '" + args.rest()[0] + "'");
    if (!loaded) return kExitFailed;
    std::printf("definition file: %s (%zu devices)\n", (ctx.home / "Ostrand.def").c_str(),
                ctx.devices().records().size());
    const int32_t result = ctx.parts->loadSetup(hasSetup ? setup : "");
    if (result == EngineSession::kNoSetupFile) {
        std::printf("setup file: none\n");
        return kExitOk;
    }
    std::printf("setup file: %s\n", ctx.settings().setupPath.c_str());
    if (result != 0) return kExitFailed;
    const SetupValues& v = ctx.settings().inForce;
    std::printf("device: %s, port: %s, rate: %s, object: %s\n", v.device.c_str(), v.comPort.c_str(),
                v.dataRate.c_str(), v.openFile.c_str());
    return kExitOk;
}

}  // namespace
}  // namespace ostrand::cli
