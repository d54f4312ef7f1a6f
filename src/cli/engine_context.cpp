#include "engine_context.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>

#include "app/file_io.h"

namespace ostrand::cli {

namespace {

std::atomic<int32_t>* abortWord = nullptr;

void onInterrupt(int) {
    // Ctrl-C (or SIGTERM) asks the running operation to stop between blocks;
    // a second one also cuts short the step under way.
    if (cancelRequested() && abortWord) abortWord->store(1);
    requestCancel();
}

}  // namespace

const char* const kCommonUsage =
    "  --home DIR     program folder with Ostrand.def (default: the program's folder)\n"
    "  --setup FILE   setup file (default: DIR/Ostrand.ini when it exists)\n"
    "  --port PATH    serial port, replaces the setup's COMPort\n"
    "  --device NAME  device of the definition file, replaces the setup's device\n"
    "  --rate RATE    data rate, replaces the setup's DataRate\n"
    "  --yes          answer the chip's questions (erase a protected chip) with yes;\n"
    "                 without it, and with no terminal to ask on, a protected chip\n"
    "                 is left as it is and the command fails\n"
    "  --json         print a machine-readable result on stdout\n" OSTRAND_PASSWORD_USAGE
    "\nNumbered messages go to stderr; on a terminal a progress bar shows the bytes done,\n"
    "the rate and the time left. Exit status: 0 success, 1 failure, 2 usage.\n";

// ---------------------------------------------------------------- operator

void CliOperator::present(const ShownMessage& message) {
    ConsoleOperator::present(message);
    shown.push_back(message);
}

// ---------------------------------------------------------------- options

bool takeCommonOptions(Args& args, CommonOptions& o) {
    o.haveHome = args.take("--home", o.home);
    o.haveSetup = args.take("--setup", o.setup);
    o.havePort = args.take("--port", o.port);
    o.haveDevice = args.take("--device", o.device);
    o.haveRate = args.take("--rate", o.rate);
    o.json = args.flag("--json");
    o.yes = args.flag("--yes");
    return !args.error() && takePasswordOptions(args, o.passwords);
}

const Command& commandNamed(const std::string& name) {
    for (const auto& c : commands())
        if (c.name == name) return c;
    return commands().front();
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// ---------------------------------------------------------------- context

EngineContext::EngineContext(const CommonOptions& options)
    : op(session, options.yes), options_(options) {
    abortWord = &session.AbortRequested;
    clearCancel();
    struct sigaction sa {};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);  // a cancel too: the operation cleans up behind it
}

EngineContext::~EngineContext() {
    ops.reset();
    if (engine) engine->disconnect();
    engine.reset();
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    abortWord = nullptr;
}

int applyRunOverrides(const CommonOptions& o, SetupValues& v, DeviceDatabase& devices,
                      Operator& op) {
    if (o.haveDevice) v.device = o.device;
    if (o.havePort) v.comPort = o.port;
    if (o.haveRate) v.dataRate = o.rate;
    if (v.device.empty() || devices.select(v.device) < 0) {
        op.showMessage(10114, 0, 12105, v.device);
        return kExitFailed;
    }
    if (v.dataRate.empty()) v.dataRate = "9600";
    if (int r = applyDevicePassword(o.passwords, *devices.selected(), v, op); r != kExitOk)
        return r;
    // The setup's own rule: a clock-entry device runs at its fixed rate.
    applyFixedClock(devices.selected()->bootType, v);
    if (v.clockFlag == 1 && devices.clockEntryAvailable() == 1) devices.fixedRateTextOf(v.dataRate);
    return kExitOk;
}

int EngineContext::open(bool needObject, const std::string& objectFile) {
    std::error_code ec;
    std::filesystem::path home =
        options_.haveHome ? std::filesystem::path(options_.home) : programFolder();
    home = std::filesystem::absolute(home, ec);
    settings.initialise(home);
    if (devices.load(home / "Ostrand.def") != 0) return kExitFailed;
    int loaded = 1;
    if (options_.haveSetup) {
        settings.firstLoad = false;
        loaded = settings.loadSetupFile(options_.setup);
    } else if (std::filesystem::exists(home / "Ostrand.ini", ec)) {
        loaded = settings.loadSetupFile(home / "Ostrand.ini");
    }
    // A setup that fails on a key the options replace still gives the rest.
    if (loaded != 0 && options_.haveSetup && !(options_.havePort || options_.haveDevice))
        return kExitFailed;

    SetupValues& v = settings.inForce;
    if (!objectFile.empty()) v.openFile = objectFile;
    if (int r = applyRunOverrides(options_, v, devices, op); r != kExitOk) return r;
    if (v.comPort.empty()) {
        std::fprintf(stderr, "ostrand-cli: no port: give --port or a setup file\n");
        return kExitUsage;
    }
    devices.applyProgrammingMode();
    passwords.takeSetup(v);
    passwords.loadPasswordLog(home / "history.log");
    applyBlankObjectPassword(options_.passwords, *devices.selected(), passwords);

    image = std::make_unique<ObjectImage>(session, op, devices, v, home);
    // The object password is the object's: it needs the object.
    if (needObject || options_.passwords.haveObject) {
        if (v.openFile.empty()) {
            std::fprintf(stderr, "ostrand-cli: no object file: give FILE or a setup file\n");
            return kExitUsage;
        }
        if (!image->load(false) || !image->loaded()) return kExitFailed;
        const int r = applyObjectPassword(options_.passwords, passwords, *image, v, op,
                                          [this] { return image->load(false) == 1; });
        if (r != kExitOk) return r;
    }

    engine = std::make_unique<CFlashEngine>(session, op, devices, settings, passwords,
                                            image->loaded() ? image.get() : nullptr);
    EngineHooks hooks;
    hooks.startupErasePrompt = false;  // erasing is the erase command's business
    hooks.closeMainWindow = [this] {
        // The operator would rather leave than erase the protected chip.
        if (!leaving_) op.showMessage(10022);
        leaving_ = true;
    };
    std::mutex m;
    std::condition_variable cv;
    int linkEvent = 0;  // 1 up, 2 timed out
    hooks.linkUp = [&] {
        std::lock_guard lock(m);
        linkEvent = 1;
        cv.notify_all();
    };
    hooks.linkTimeout = [&] {
        std::lock_guard lock(m);
        linkEvent = 2;
        cv.notify_all();
    };
    engine->setHooks(hooks);
    int32_t r = engine->connect(1);
    if (r == 2) {
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return linkEvent != 0; });
        const int event = linkEvent;
        lock.unlock();
        if (event == 1) r = engine->afterLinkUp();
    }
    hooks.linkUp = nullptr;
    hooks.linkTimeout = nullptr;
    engine->setHooks(std::move(hooks));
    if (r != 1) return kExitFailed;
    if (passwordLogFailed(options_.passwords, op.shown)) return kExitFailed;
    ops = std::make_unique<FlashOperations>(*engine, *image);
    return kExitOk;
}

int EngineContext::finish(const std::string& command, int status) {
    if (leaving_ && status == kExitOk) status = kExitFailed;
    if (!options_.json) return status;
    std::string out = "{\"command\": " + jsonString(command) +
                      ", \"ok\": " + (status == kExitOk ? "true" : "false") +
                      ", \"exitStatus\": " + std::to_string(status);
    if (const DeviceDefinition* d = devices.selected())
        out += ", \"device\": " + jsonString(d->deviceName) +
               ", \"bootType\": " + std::to_string(d->bootType) +
               ", \"mode\": " + std::to_string(session.ProgrammingMode.load());
    for (const auto& [key, value] : results) out += ", " + jsonString(key) + ": " + value;
    out += ", \"messages\": [";
    for (size_t i = 0; i < op.shown.size(); ++i) {
        const ShownMessage& s = op.shown[i];
        out += std::string(i ? ", " : "") + "{\"code\": " + std::to_string(s.code) +
               ", \"place\": " + std::to_string(s.place) + ", \"hint\": " + std::to_string(s.hint) +
               ", \"detail\": " + jsonString(s.detail) + ", \"text\": " + jsonString(s.text) + "}";
    }
    out += "]}\n";
    std::fputs(out.c_str(), stdout);
    std::fflush(stdout);
    return status;
}

bool takeFileCommandOptions(Args& args, const Command& self, CommonOptions& options,
                            std::string& file, int& status) {
    status = kExitOk;
    if (!takeCommonOptions(args, options))
        status = usageError(self, args.errorText());
    else if (std::string unknown = args.unknownOption(); !unknown.empty())
        status = usageError(self, "unknown option " + unknown);
    else if (args.rest().size() > 1)
        status = usageError(self, "takes at most one FILE");
    if (status != kExitOk) return false;
    file = args.rest().empty() ? std::string() : args.rest().front();
    return true;
}

}  // namespace ostrand::cli
