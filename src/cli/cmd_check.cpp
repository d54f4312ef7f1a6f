#include <cstdio>

#include "context.h"
#include "engine_context.h"

namespace ostrand::cli {
namespace {

int run(std::vector<std::string>& argv);

const Command kCommand{"check", "check the definition file and a setup file",
                       "usage: ostrand-cli check [--home DIR] [--setup FILE] [--json]\n\n"
                       "Loads Ostrand.def from the program folder and the setup file (FILE, or\n"
                       "Ostrand.ini in the program folder when it exists) exactly as the program\n"
                       "does, and prints every numbered message on stderr. --json prints\n"
                       "the result as one JSON document on stdout.\n"
                       "Exit status: 0 when both are valid, 1 otherwise, 2 for bad usage.\n",
                       run};
const Registrar kRegistered{kCommand};

// The checks; the text lines go to `out`, the facts into `json`.
int check(Context& ctx, bool loaded, bool hasSetup, const std::string& setup, FILE* out,
          std::string& json) {
    if (!loaded) return kExitFailed;
    const std::string def = (ctx.home / "Ostrand.def").string();
    std::fprintf(out, "definition file: %s (%zu devices)\n", def.c_str(),
                 ctx.devices().records().size());
    json += ", \"definitionFile\": " + jsonString(def) +
            ", \"devices\": " + std::to_string(ctx.devices().records().size());
    const int32_t result = ctx.parts->loadSetup(hasSetup ? setup : "");
    if (result == EngineSession::kNoSetupFile) {
        std::fprintf(out, "setup file: none\n");
        json += ", \"setupFile\": null";
        return kExitOk;
    }
    std::fprintf(out, "setup file: %s\n", ctx.settings().setupPath.c_str());
    json += ", \"setupFile\": " + jsonString(ctx.settings().setupPath.string());
    if (result != 0) return kExitFailed;
    const SetupValues& v = ctx.settings().inForce;
    std::fprintf(out, "device: %s, port: %s, rate: %s, object: %s\n", v.device.c_str(),
                 v.comPort.c_str(), v.dataRate.text(), v.openFile.c_str());
    json += ", \"device\": " + jsonString(v.device) + ", \"port\": " + jsonString(v.comPort) +
            ", \"rate\": " + jsonString(v.dataRate.text()) +
            ", \"object\": " + jsonString(v.openFile);
    return kExitOk;
}

int run(std::vector<std::string>& argv) {
    Args args(argv);
    Context ctx;
    std::string setup;
    const bool hasSetup = args.take("--setup", setup);
    const bool json = args.flag("--json");
    bool loaded = ctx.loadHome(args);
    if (args.error()) return usageError(kCommand, args.errorText());
    if (!args.rest().empty()) return usageError(kCommand, "unexpected '" + args.rest()[0] + "'");
    std::string facts;
    const int status = check(ctx, loaded, hasSetup, setup, json ? stderr : stdout, facts);
    if (json)
        std::printf(
            "{\"command\": \"check\", \"ok\": %s, \"exitStatus\": %d%s, \"messages\": %s}\n",
            status == kExitOk ? "true" : "false", status, facts.c_str(),
            jsonMessages(ctx.op.shown).c_str());
    return status;
}

}  // namespace
}  // namespace ostrand::cli
