#include "engine_context.h"

#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>

#include "app/file_io.h"
#include "document/advice.h"
#include "document/run_record.h"

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

}  // namespace

InterruptScope::InterruptScope(Session& session) : session_(session) {
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
        if (slot.compare_exchange_strong(empty, &session_.AbortRequested)) return;
    }
}

InterruptScope::~InterruptScope() {
    for (auto& slot : abortWords) {
        std::atomic<int32_t>* mine = &session_.AbortRequested;
        if (slot.compare_exchange_strong(mine, nullptr)) break;
    }
    if (registeredContexts.fetch_sub(1) == 1) {
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
    }
}

const char* const kRecordUsage =
    "  --record FILE  append one line of JSON for the chip to FILE: what was written\n"
    "                 where, each step with its result and message (docs/run-records.md)\n";

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

// ---------------------------------------------------------------- start-up

std::filesystem::path homeFolder(const CommonOptions& o) {
    std::error_code ec;
    return std::filesystem::absolute(o.haveHome ? std::filesystem::path(o.home) : programFolder(),
                                     ec);
}

StartupRequest consoleRequest(const CommonOptions& o, bool needObject,
                              const std::string& objectFile) {
    StartupRequest r;
    r.console = true;
    r.needObject = needObject;
    std::error_code ec;
    if (o.haveSetup) r.setupFile = std::filesystem::absolute(o.setup, ec);
    if (o.haveDevice) r.overrides.device = o.device;
    if (o.havePort) r.overrides.port = o.port;
    if (o.haveRate) r.overrides.rate = DataRate::parse(o.rate);
    r.passwords = o.passwords;
    r.objectFile = objectFile;
    return r;
}

int startupStatus(const StartupResult& r, const std::string& command) {
    switch (r.stage) {
        case StartupStage::Connected:
            return kExitOk;
        case StartupStage::NoPort:
            std::fprintf(stderr, "ostrand-cli %s: no port: give --port or a setup file\n",
                         command.c_str());
            return kExitUsage;
        case StartupStage::NoObject:
            std::fprintf(stderr, "ostrand-cli %s: give FILE or a setup file that names one\n",
                         command.c_str());
            return kExitUsage;
        case StartupStage::Ended:
            if (!r.refusal.empty())
                std::fprintf(stderr, "ostrand-cli %s: %s\n", command.c_str(), r.refusal.c_str());
            return r.malformed ? kExitUsage : kExitFailed;
        default:
            return r.malformed ? kExitUsage : kExitFailed;
    }
}

EngineContext::EngineContext(const CommonOptions& options)
    : op(session, options.yes), doc(session, op, homeFolder(options)), options_(options) {
    op.setProgressListener([this](const ProgressEvent& e) {
        if (e.total > 0) lastBar_ = e;
    });
    op.advice = [this](const ShownMessage& m) { return adviceFor(m, adviceFacts(doc)); };
}

EngineContext::~EngineContext() {
    doc.shutDown();
}

int EngineContext::finish(const std::string& command, int status) {
    if (doc.leaving() && status == kExitOk) status = kExitFailed;
    if (!options_.json) return status;
    std::string out = "{\"command\": " + jsonString(command) +
                      ", \"ok\": " + (status == kExitOk ? "true" : "false") +
                      ", \"exitStatus\": " + std::to_string(status);
    if (const DeviceDefinition* d = doc.devices.selected())
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
    if (lastBar_) {
        char rate[64];
        std::snprintf(rate, sizeof rate, ", \"elapsedMs\": %lld, \"rate\": %.1f",
                      static_cast<long long>(lastBar_->elapsedMs), lastBar_->rate);
        out += ", \"progress\": {\"operation\": " + jsonString(lastBar_->operation) + rate +
               ", \"done\": " + std::to_string(lastBar_->done) +
               ", \"total\": " + std::to_string(lastBar_->total) + "}";
    }
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
    std::string recordFile;
    if (!c.recordStep.empty() && args.take("--record", recordFile) &&
        !RunRecorder::usable(recordFile))
        return usageError(self, "cannot write the run record " + recordFile);
    if (args.error()) return usageError(self, args.errorText());
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
    ctx.recordStep = c.recordStep;
    InterruptScope interrupts(ctx.session);
    std::unique_ptr<RunRecorder> recorder;
    if (!recordFile.empty())
        recorder = std::make_unique<RunRecorder>(std::filesystem::absolute(recordFile),
                                                 "ostrand-cli", c.name, ctx.op);
    StartupRequest request = consoleRequest(options, c.needObject, file);
    // A single operation holds its port, not the program folder: runs on
    // other ports from the same folder go on side by side.
    request.takeInstanceLock = false;
    const Outcome up = captureOutcome(ctx.op, [&] {
        ctx.started = ctx.doc.startUp(request);
        return 0;
    });
    const int opened = startupStatus(ctx.started, c.name);
    if (c.opened) c.opened(ctx, opened);
    int status = opened;
    if (opened == kExitOk) {
        const auto started = std::chrono::steady_clock::now();
        status = c.body ? c.body(ctx) : kExitOk;
        if (recorder) {
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            std::optional<uint16_t> sum;
            if (c.needObject && ctx.doc.image.loaded()) sum = ctx.doc.image.fileSum();
            recorder->writeStep(ctx.doc.settings, ctx.recordStep, status == kExitOk,
                                ctx.outcome.value_or(Outcome{}), seconds, sum);
        }
    } else if (recorder && ctx.started.reachedChip()) {
        recorder->writeUnstarted(ctx.doc.settings, "Connect", up);
    }
    if (recorder && recorder->failed()) {
        std::fprintf(stderr, "ostrand-cli %s: cannot append the run record to %s\n", c.name.c_str(),
                     recorder->file().c_str());
        if (status == kExitOk) status = kExitFailed;
    }
    return ctx.finish(c.name, status);
}

}  // namespace ostrand::cli
