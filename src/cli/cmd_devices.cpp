#include <cstdio>

#include "context.h"
#include "engine_context.h"

namespace ostrand::cli {
namespace {

const char* modeName(const DeviceDefinition& d) {
    if (d.useWcp == 1) return d.totalWcp == 1 ? "WCP-All" : "WCP-Div";
    return d.singleBootPassword == 1 ? "S-Boot-PW" : "S-Boot";
}

int run(std::vector<std::string>& argv);

const Command kCommand{"devices", "list the series and devices of the definition file",
                       "usage: ostrand-cli devices [--home DIR] [--json]\n\n"
                       "Lists every device type of Ostrand.def in the program folder (DIR, or\n"
                       "$OSTRAND_HOME, or the folder of the program) with its series, boot type,\n"
                       "programming mode and flash area; --json prints them as one JSON\n"
                       "document.\n",
                       run};
const Registrar kRegistered{kCommand};

int run(std::vector<std::string>& argv) {
    Args args(argv);
    Context ctx;
    const bool json = args.flag("--json");
    bool loaded = ctx.loadHome(args);
    if (args.error()) return usageError(kCommand, args.errorText());
    if (!args.rest().empty()) return usageError(kCommand, "unexpected '" + args.rest()[0] + "'");
    if (json) {
        std::string out =
            "{\"command\": \"devices\", \"ok\": " + std::string(loaded ? "true" : "false") +
            ", \"exitStatus\": " + std::to_string(loaded ? kExitOk : kExitFailed) +
            ", \"devices\": [";
        bool first = true;
        for (const auto& d : loaded ? ctx.devices().records() : std::vector<DeviceDefinition>{}) {
            char range[64];
            std::snprintf(range, sizeof range, "\"0x%06X-0x%06X\"", d.singleBootFlashStart,
                          d.singleBootFlashEnd);
            out += std::string(first ? "" : ", ") + "{\"series\": " + jsonString(d.seriesName) +
                   ", \"device\": " + jsonString(d.deviceName) +
                   ", \"bootType\": " + std::to_string(d.bootType) +
                   ", \"mode\": " + jsonString(modeName(d)) + ", \"flash\": " + range + "}";
            first = false;
        }
        std::printf("%s], \"messages\": %s}\n", out.c_str(), jsonMessages(ctx.op.shown).c_str());
        return loaded ? kExitOk : kExitFailed;
    }
    if (!loaded) return kExitFailed;
    std::printf("%-12s %-16s %4s  %-9s  %s\n", "SERIES", "DEVICE", "BOOT", "MODE", "FLASH");
    for (const auto& series : ctx.devices().seriesNames()) {
        for (const auto& d : ctx.devices().records()) {
            if (d.seriesName != series) continue;
            std::printf("%-12s %-16s %4d  %-9s  0x%06X-0x%06X", d.seriesName.c_str(),
                        d.deviceName.c_str(), d.bootType, modeName(d), d.singleBootFlashStart,
                        d.singleBootFlashEnd);
            if (d.flashSecondStart != 0 || d.flashSecondEnd != 0)
                std::printf(" + 0x%06X-0x%06X", d.flashSecondStart, d.flashSecondEnd);
            std::printf("\n");
        }
    }
    return kExitOk;
}

}  // namespace
}  // namespace ostrand::cli
