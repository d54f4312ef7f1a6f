// ostrand-cli connect: opens the port, matches the chip's boot program and
// tells the mode and what the chip said about itself.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "app/password_set.h"
#include "context.h"
#include "engine/flash_engine.h"

namespace ostrand::cli {

namespace {

int runConnect(std::vector<std::string>& argv);

const Registrar kConnect{
    Command{"connect", "connect to the chip's boot program and show the mode and the chip's status",
            "usage: ostrand-cli connect [--home DIR] [--setup FILE] [--port PATH] [--device NAME]\n"
            "                           [--rate RATE]\n\n"
            "Opens the port, matches the boot program of the device (waiting up to the device's\n"
            "AccessWaitTime, then as long again for a late chip), switches to the data rate\n"
            "and prints the programming mode and the chip's status.\n\n"
            "  --home DIR     program folder with Ostrand.def (default: the program's folder)\n"
            "  --setup FILE   setup file (default: DIR/Ostrand.ini when it exists)\n"
            "  --port PATH    serial port, replaces the setup's COMPort\n"
            "  --device NAME  device of the definition file, replaces the setup's device\n"
            "  --rate RATE    data rate, replaces the setup's DataRate\n\n"
            "Exit status: 0 connected, 1 failed (numbered message on stderr), 2 usage.\n",
            runConnect}};

const Command& self() {
    for (const auto& c : commands())
        if (c.name == "connect") return c;
    return commands().front();
}

int runConnect(std::vector<std::string>& argv) {
    Args args(argv);
    Context ctx;
    std::string port, device, rate;
    const bool havePort = args.take("--port", port);
    const bool haveDevice = args.take("--device", device);
    const bool haveRate = args.take("--rate", rate);
    std::string setup;
    const bool haveSetup = args.take("--setup", setup);
    std::string home;
    const bool haveHome = args.take("--home", home);
    if (args.error()) return usageError(self(), args.errorText());
    if (std::string unknown = args.unknownOption(); !unknown.empty())
        return usageError(self(), "unknown option " + unknown);
    if (!args.rest().empty()) return usageError(self(), "takes no arguments");

    std::vector<std::string> homeArgs;
    if (haveHome) homeArgs = {"--home", home};
    Args homeReader(homeArgs);
    if (!ctx.loadHome(homeReader)) return kExitFailed;
    std::vector<std::string> setupArgs;
    if (haveSetup) setupArgs = {"--setup", setup};
    Args setupReader(setupArgs);
    // A setup that fails on a key the options replace still gives the rest.
    const int loaded = ctx.loadSetup(setupReader);
    if (loaded != 0 && haveSetup && !(havePort || haveDevice)) return kExitFailed;

    SetupValues& v = ctx.settings.inForce;
    if (haveDevice) v.device = device;
    if (havePort) v.comPort = port;
    if (haveRate) v.dataRate = rate;
    if (v.device.empty() || ctx.devices.select(v.device) < 0) {
        ctx.op.showMessage(10114, 0, 12105, v.device);
        return kExitFailed;
    }
    if (v.comPort.empty()) return usageError(self(), "no port: give --port or a setup file");
    if (v.dataRate.empty()) v.dataRate = "9600";
    // The setup forces a clock-entry device's fixed rate; keep that rule here.
    applyFixedClock(ctx.devices.selected()->bootType, v);
    if (v.clockFlag == 1 && ctx.devices.clockEntryAvailable() == 1)
        ctx.devices.fixedRateTextOf(v.dataRate);
    ctx.devices.applyProgrammingMode();

    PasswordSet passwords(ctx.session, ctx.op);
    passwords.takeSetup(v);
    CFlashEngine engine(ctx.session, ctx.op, ctx.devices, ctx.settings, passwords);
    engine.hooks.startupErasePrompt = false;  // erasing is the erase command's business

    std::mutex m;
    std::condition_variable cv;
    int linkEvent = 0;  // 1 up, 2 timed out
    engine.hooks.linkUp = [&] {
        std::lock_guard lock(m);
        linkEvent = 1;
        cv.notify_all();
    };
    engine.hooks.linkTimeout = [&] {
        std::lock_guard lock(m);
        linkEvent = 2;
        cv.notify_all();
    };

    int32_t r = engine.connect(1);
    if (r == 2) {
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return linkEvent != 0; });
        const int event = linkEvent;
        lock.unlock();
        if (event != 1) {
            engine.disconnect();
            return kExitFailed;
        }
        r = engine.afterLinkUp();
    }
    if (r != 1) {
        if (!engine.serialPort.isOpen())
            explainPortFailure(engine.serialPort, ctx.settings.inForce.comPort);
        return kExitFailed;
    }

    const DeviceDefinition* d = ctx.devices.selected();
    const int32_t mode = ctx.session.ProgrammingMode;
    std::printf("device: %s (BootType %d)\n", d->deviceName.c_str(), d->bootType);
    std::printf("port: %s\n", v.comPort.c_str());
    std::printf("mode: %s\n", mode >= 1 && mode <= 4
                                  ? std::string(messageTextOrFallback(13009 + mode)).c_str()
                                  : "none");
    std::printf("rate: %s (matched at %s)\n", engine.dataRate.c_str(), engine.initialRate.c_str());
    if (engine.statusBytes.empty()) {
        std::printf("status: none (the boot program has no status command)\n");
    } else {
        std::printf("status:");
        for (uint8_t b : engine.statusBytes) std::printf(" %02X", b);
        std::printf(" (%s%s)\n",
                    bootTypeRow(d->bootType).protectStatus ? ""
                    : engine.flashBlank                    ? "blank, "
                                                           : "not blank, ",
                    ctx.session.ProtectState ? "protected" : "not protected");
    }
    std::printf("%s\n", std::string(messageTextOrFallback(13020)).c_str());
    engine.disconnect();
    return kExitOk;
}

}  // namespace

}  // namespace ostrand::cli
