// ostrand-cli connect: opens the port, matches the chip's boot program and
// tells the mode and what the chip said about itself.
#include <cstdio>
#include <string>
#include <vector>

#include "engine_context.h"
#include "port_advice.h"

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
    std::printf("device: %s (BootType %d)\n", d->deviceName.c_str(), d->bootType);
    std::printf("port: %s\n", ctx.doc.settings.inForce.comPort.c_str());
    std::printf("mode: %s\n", mode >= 1 && mode <= 4
                                  ? std::string(messageTextOrFallback(13009 + mode)).c_str()
                                  : "none");
    std::printf("rate: %s (matched at %s)\n", engine.dataRate().c_str(),
                engine.initialRate().c_str());
    if (engine.statusBytes().empty()) {
        std::printf("status: none (the boot program has no status command)\n");
    } else {
        std::printf("status:");
        for (uint8_t b : engine.statusBytes()) std::printf(" %02X", b);
        std::printf(" (%s%s)\n",
                    bootTypeRow(d->bootType).protectStatus ? ""
                    : engine.flashBlank()                  ? "blank, "
                                                           : "not blank, ",
                    ctx.session.ProtectState ? "protected" : "not protected");
    }
    std::printf("%s\n", std::string(messageTextOrFallback(13020)).c_str());
    return kExitOk;
}

// A port that would not open: say what the operator can do about it.
void advise(EngineContext& ctx, int opened) {
    if (opened != kExitOk && ctx.started.stage == StartupStage::NotConnected &&
        !ctx.doc.engine.port().isOpen())
        explainPortFailure(ctx.doc.engine.port(), ctx.doc.settings.inForce.comPort);
}

int runConnect(std::vector<std::string>& argv) {
    return runFlashCommand(argv, {.name = "connect", .opened = advise, .body = connect});
}

}  // namespace

}  // namespace ostrand::cli
