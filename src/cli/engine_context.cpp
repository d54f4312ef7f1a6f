#include "engine_context.h"

#include "document/document.h"

#include <signal.h>

#include <atomic>
#include <cstdio>

#include "app/file_io.h"

namespace ostrand::cli {

namespace {

// The abort words of the sessions under way: a signal handler may only touch
// lock-free atomics, so they sit in a fixed table.
constexpr int kAbortSlots = 64;
std::atomic<std::atomic<int32_t>*> abortWords[kAbortSlots];
std::atomic<int> registeredContexts{0};

void onInterrupt(int) {
    // Ctrl-C (or SIGTERM) asks the running operations to stop between
    // blocks; a second one also cuts short the steps under way.
    if (cancelRequested())
        for (auto& slot : abortWords)
            if (std::atomic<int32_t>* word = slot.load()) word->store(1);
    requestCancel();
}

void registerAbortWord(std::atomic<int32_t>* word) {
    if (registeredContexts.fetch_add(1) == 0) {
        clearCancel();
        struct sigaction sa {};
        sa.sa_handler = onInterrupt;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGINT, &sa, nullptr);
        sigaction(SIGTERM, &sa, nullptr);  // a cancel too: the operation cleans up behind it
    }
    for (auto& slot : abortWords) {
        std::atomic<int32_t>* empty = nullptr;
        if (slot.compare_exchange_strong(empty, word)) return;
    }
}

void unregisterAbortWord(std::atomic<int32_t>* word) {
    for (auto& slot : abortWords) {
        std::atomic<int32_t>* mine = word;
        if (slot.compare_exchange_strong(mine, nullptr)) break;
    }
    if (registeredContexts.fetch_sub(1) == 1) {
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
    }
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

std::string jsonMessages(const std::vector<ShownMessage>& messages) {
    std::string out = "[";
    for (size_t i = 0; i < messages.size(); ++i) {
        const ShownMessage& s = messages[i];
        out += std::string(i ? ", " : "") + "{\"code\": " + std::to_string(s.code) +
               ", \"place\": " + std::to_string(s.place) + ", \"hint\": " + std::to_string(s.hint) +
               ", \"detail\": " + jsonString(s.detail) + ", \"text\": " + jsonString(s.text) + "}";
    }
    return out + "]";
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

std::filesystem::path homeFolder(const CommonOptions& o) {
    std::error_code ec;
    return std::filesystem::absolute(o.haveHome ? std::filesystem::path(o.home) : programFolder(),
                                     ec);
}

InterruptGuard::InterruptGuard(Session& session) : session_(session) {
    registerAbortWord(&session_.AbortRequested);
}

InterruptGuard::~InterruptGuard() {
    unregisterAbortWord(&session_.AbortRequested);
}

EngineContext::EngineContext(const CommonOptions& options)
    : op(session, options.yes), parts(session, op, homeFolder(options)), options_(options) {
    op.setProgressListener([this](const ProgressEvent& e) {
        if (e.total > 0) lastBar_ = e;
    });
}

EngineContext::~EngineContext() {
    parts.engine.disconnect();
}

int applyRunOverrides(const CommonOptions& o, EngineSession& parts) {
    RunOverrides run;
    if (o.haveDevice) run.device = o.device;
    if (o.havePort) run.port = o.port;
    if (o.haveRate) run.rate = o.rate;
    if (!parts.applyOverrides(run)) return kExitFailed;
    return applyDevicePassword(o.passwords, *parts.devices.selected(), parts.settings.inForce,
                               parts.op);
}

void takeRunOptions(DocumentCore& doc, const CommonOptions& options, const std::string& object,
                    Operator& op, int& refused) {
    EngineHooks hooks = doc.engine.hooks();
    hooks.startupErasePrompt = false;
    doc.engine.setHooks(std::move(hooks));
    // For this run only; nothing writes them back.
    refused = kExitOk;
    doc.setupFromOptions = options.havePort && options.haveDevice;
    doc.setupRead = [&doc, &options, &refused, object] {
        refused = applyRunOverrides(options, doc);
        SetupValues& v = doc.settings.inForce;
        if (v.openFile.empty()) v.openFile = object;  // no setup file read it
        return refused == kExitOk;
    };
    doc.objectLoaded = [&doc, &options, &op, &refused] {
        applyBlankObjectPassword(options.passwords, *doc.devices.selected(), doc.passwords);
        refused =
            applyObjectPassword(options.passwords, doc.passwords, doc.image, doc.settings.inForce,
                                op, [&doc] { return doc.loadObject(false) == 1; });
        return refused == kExitOk;
    };
}

int EngineContext::open(bool needObject, const std::string& objectFile) {
    if (!parts.loadDefinitions()) return kExitFailed;
    const int32_t loaded =
        parts.loadSetup(options_.haveSetup ? std::filesystem::path(options_.setup) : "");
    // A setup that fails on a key the options replace still gives the rest.
    if (loaded != 0 && options_.haveSetup && !(options_.havePort || options_.haveDevice))
        return kExitFailed;

    SetupValues& v = parts.settings.inForce;
    if (!objectFile.empty()) v.openFile = objectFile;
    if (int r = applyRunOverrides(options_, parts); r != kExitOk) return r;
    if (v.comPort.empty()) {
        std::fprintf(stderr, "ostrand-cli: no port: give --port or a setup file\n");
        return kExitUsage;
    }
    parts.takeSetup();
    parts.passwords.loadPasswordLog(parts.programFolder / "history.log");
    applyBlankObjectPassword(options_.passwords, *parts.devices.selected(), parts.passwords);

    // The object password is the object's: it needs the object.
    ObjectImage& image = parts.image;
    if (needObject || options_.passwords.haveObject) {
        if (v.openFile.empty()) {
            std::fprintf(stderr, "ostrand-cli: no object file: give FILE or a setup file\n");
            return kExitUsage;
        }
        if (!image.load(false) || !image.loaded()) return kExitFailed;
        const int r = applyObjectPassword(options_.passwords, parts.passwords, image, v, op,
                                          [&image] { return image.load(false) == 1; });
        if (r != kExitOk) return r;
    }

    CFlashEngine& engine = parts.engine;
    EngineHooks hooks = engine.hooks();
    hooks.startupErasePrompt = false;  // erasing is the erase command's business
    hooks.closeMainWindow = [this] {
        // The operator would rather leave than erase the protected chip.
        if (!leaving_) op.showMessage(10022);
        leaving_ = true;
    };
    engine.setHooks(std::move(hooks));
    connectTried_ = true;
    if (parts.connectAndWait(1) != 1) return kExitFailed;
    if (passwordLogFailed(options_.passwords, op.shown)) return kExitFailed;
    return kExitOk;
}

int EngineContext::finish(const std::string& command, int status) {
    if (leaving_ && status == kExitOk) status = kExitFailed;
    if (!options_.json) return status;
    std::string out = "{\"command\": " + jsonString(command) +
                      ", \"ok\": " + (status == kExitOk ? "true" : "false") +
                      ", \"exitStatus\": " + std::to_string(status);
    if (const DeviceDefinition* d = parts.devices.selected())
        out += ", \"device\": " + jsonString(d->deviceName) +
               ", \"bootType\": " + std::to_string(d->bootType) +
               ", \"mode\": " + std::to_string(session.ProgrammingMode.load());
    for (const auto& [key, value] : results) out += ", " + jsonString(key) + ": " + value;
    if (outcome)
        out += ", \"outcome\": {\"status\": " + std::to_string(outcome->status) +
               ", \"code\": " + std::to_string(outcome->code) +
               ", \"place\": " + std::to_string(outcome->place) +
               ", \"hint\": " + std::to_string(outcome->hint) +
               ", \"detail\": " + jsonString(outcome->detail) + "}";
    if (lastBar_)
        out += ", \"progress\": {\"operation\": " + jsonString(lastBar_->operation) +
               ", \"done\": " + std::to_string(lastBar_->done) +
               ", \"total\": " + std::to_string(lastBar_->total) + "}";
    out += ", \"messages\": " + jsonMessages(op.shown) + "}\n";
    std::fputs(out.c_str(), stdout);
    std::fflush(stdout);
    return status;
}

int runFlashCommand(std::vector<std::string>& argv, const FlashCommand& c) {
    Args args(argv);
    CommonOptions options;
    const Command& self = commandNamed(c.name);
    if (!takeCommonOptions(args, options)) return usageError(self, args.errorText());
    if (c.options) {
        if (std::string bad = c.options(args); !bad.empty()) return usageError(self, bad);
        if (args.error()) return usageError(self, args.errorText());
    }
    if (std::string unknown = args.unknownOption(); !unknown.empty())
        return usageError(self, "unknown option " + unknown);
    std::vector<std::string>& rest = args.rest();
    std::string file;
    if (c.operands) {
        if (std::string bad = c.operands(rest); !bad.empty()) return usageError(self, bad);
    } else if (c.fileOperand) {
        if (rest.size() > 1) return usageError(self, "takes at most one FILE");
        if (!rest.empty()) file = rest.front();
    } else if (!rest.empty()) {
        return usageError(self, "takes no arguments");
    }
    EngineContext ctx(options);
    const int opened = ctx.open(c.needObject, file);
    if (c.opened) c.opened(ctx, opened);
    if (opened != kExitOk) return ctx.finish(c.name, opened);
    return ctx.finish(c.name, c.body ? c.body(ctx) : kExitOk);
}

}  // namespace ostrand::cli
