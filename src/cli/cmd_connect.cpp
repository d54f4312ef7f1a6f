// ostrand-cli connect: opens the port, matches the chip's boot program and
// tells the mode and what the chip said about itself.
#include <cstdio>
#include <string>
#include <vector>

#include "engine_context.h"

namespace ostrand::cli {

namespace {

int runConnect(std::vector<std::string>& argv);

const Registrar kConnect{Command{
    "connect", "connect to the chip's boot program and show the mode and the chip's status",
    std::string("usage: ostrand-cli connect [OPTIONS]\n\n"
                "Opens the port, matches the boot program of the device (waiting up to the\n"
                "device's AccessWaitTime, then as long again for a late chip), switches to the\n"
                "data rate and prints the programming mode and the chip's status.\n\n") +
        kCommonUsage,
    runConnect}};

int connect(EngineContext& ctx) {
    const CFlashEngine& engine = ctx.doc.engine;
    const DeviceDefinition* d = ctx.doc.devices.selected();
    const int32_t mode = ctx.session.ProgrammingMode;
    const std::string modeText =
        mode >= 1 && mode <= 4 ? std::string(messageTextOrFallback(13009 + mode)) : "none";
    const bool blankKnown =
        !engine.state().chip.statusBytes.empty() && !bootTypeRow(d->bootType).protectStatus;
    const bool protectedChip = ctx.session.ProtectState != 0;
    if (ctx.options().json) {
        std::string status = "[";
        for (uint8_t b : engine.state().chip.statusBytes)
            status += (status.size() > 1 ? ", " : "") + std::to_string(b);
        ctx.results.emplace_back("port", jsonString(ctx.doc.settings.inForce.comPort));
        ctx.results.emplace_back("modeName", jsonString(modeText));
        ctx.results.emplace_back("rate", jsonString(engine.state().rate.data.text()));
        ctx.results.emplace_back("matchedAt", jsonString(engine.state().rate.initial.text()));
        ctx.results.emplace_back("status", status + "]");
        ctx.results.emplace_back("blank",
                                 blankKnown ? ((engine.state().chip.flashBlank == 1) ? "true" : "false") : "null");
        ctx.results.emplace_back("protected", protectedChip ? "true" : "false");
        return kExitOk;
    }
    std::printf("device: %s (BootType %d)\n", d->deviceName.c_str(), d->bootType);
    std::printf("port: %s\n", ctx.doc.settings.inForce.comPort.c_str());
    std::printf("mode: %s\n", modeText.c_str());
    std::printf("rate: %s (matched at %s)\n", engine.state().rate.data.text(),
                engine.state().rate.initial.text());
    if (engine.state().chip.statusBytes.empty()) {
        std::printf("status: none (the boot program has no status command)\n");
    } else {
        std::printf("status:");
        for (uint8_t b : engine.state().chip.statusBytes) std::printf(" %02X", b);
        std::printf(" (%s%s)\n",
                    !blankKnown           ? ""
                    : (engine.state().chip.flashBlank == 1) ? "blank, "
                                          : "not blank, ",
                    protectedChip ? "protected" : "not protected");
    }
    std::printf("%s\n", std::string(messageTextOrFallback(13020)).c_str());
    return kExitOk;
}

int runConnect(std::vector<std::string>& argv) {
    return runFlashCommand(argv, {.name = "connect", .body = connect});
}

}  // namespace

}  // namespace ostrand::cli
