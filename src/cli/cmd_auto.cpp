#include <chrono>
#include <cstdio>

#include "app/file_io.h"
#include "command.h"
#include "document/document.h"
#include "engine_context.h"
#include "port_advice.h"

namespace ostrand::cli {
namespace {

int run(std::vector<std::string>& argv);

const Command kCommand{
    "auto", "auto programming: erase, blank check, program, verify, compare, protect",
    "usage: ostrand-cli auto [--home DIR] [--setup FILE] [STEPS...] [--repeat] [OPTIONS]\n"
    "                        [OBJECT]\n\n"
    "Runs the auto-programming steps unattended on the chip of the setup file\n"
    "(FILE, or Ostrand.ini in the program folder), programming OBJECT or the\n"
    "setup's object file. The steps are the setup's own unless any of these\n"
    "is given: --erase --blank --program --verify --compare --protect.\n"
    "With --device and --port no setup file is needed.\n"
    "One line per step, the SUMs, and the result with the time taken.\n"
    "  --repeat       after each chip, ask to replace it and run again\n"
    "  --port PATH    serial port, replaces the setup's COMPort\n"
    "  --device NAME  device of the definition file, replaces the setup's device\n"
    "  --rate RATE    data rate, replaces the setup's DataRate\n"
    "  --yes          answer the chip's questions (erase a protected chip) with "
    "yes\n" OSTRAND_PASSWORD_USAGE
    "\nExit status: 0 every step passed, 1 a step failed, 2 bad usage.\n",
    run};
const Registrar kRegistered{kCommand};

const char* resultText(int32_t r) {
    return r == kStepOk ? "OK" : r == kStepFailed ? "NG" : "---";
}

int run(std::vector<std::string>& argv) {
    Args args(argv);
    static const char* kFlags[kAutoSteps] = {"--erase",  "--blank",   "--program",
                                             "--verify", "--compare", "--protect"};
    AutoOptions chosen{};
    bool anyChosen = false;
    for (int s = 0; s < kAutoSteps; ++s) anyChosen |= chosen[s] = args.flag(kFlags[s]);
    bool repeat = args.flag("--repeat");
    CommonOptions options;
    if (!takeCommonOptions(args, options)) return usageError(kCommand, args.errorText());
    if (options.json) return usageError(kCommand, "unknown option --json");
    if (std::string bad = args.unknownOption(); !bad.empty())
        return usageError(kCommand, "unknown option " + bad);
    if (args.rest().size() > 1) return usageError(kCommand, "one object file at most");
    std::string object = args.rest().empty() ? std::string() : args.rest()[0];
    const PasswordOptions& pw = options.passwords;

    Session session;
    InterruptGuard interrupts(session);
    CliOperator op(session, options.yes);
    std::error_code ec;
    if (!object.empty()) object = std::filesystem::absolute(object, ec).string();
    DocumentCore doc(session, op, homeFolder(options).lexically_normal());
    if (options.haveSetup) doc.setupFile = std::filesystem::absolute(options.setup, ec);
    int refused = kExitOk;
    takeRunOptions(doc, options, object, op, refused);

    AutoProgrammer& autoProg = doc.autoProgrammer;
    auto stepStart = std::chrono::steady_clock::now();
    autoProg.stepStarted = [&stepStart](AutoStep) { stepStart = std::chrono::steady_clock::now(); };
    autoProg.stepDone = [&](AutoStep step, int32_t result) {
        double secs =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - stepStart).count();
        std::printf("%-16s %-3s %6.1f s", (std::string(kAutoStepNames[step]) + ":").c_str(),
                    resultText(result), secs);
        if (step == kProgramming && result == kStepOk && secs > 0) {
            int32_t bytes = autoProg.progressCount();
            std::printf("  %d bytes, %.0f bytes/s", bytes, bytes / secs);
        }
        std::printf("\n");
        std::fflush(stdout);
    };
    autoProg.resultWindow = [&op](AutoResultWindow window, const AutoRunRecord&) {
        if (window == AutoResultWindow::Continue) return op.ask(12003) ? 6 : 7;
        return 1;
    };

    auto started = std::chrono::steady_clock::now();
    if (doc.startUp(object) == 0) {
        if (!doc.startRefusal.empty())
            std::fprintf(stderr, "ostrand-cli auto: %s\n", doc.startRefusal.c_str());
        return refused != kExitOk ? refused : kExitFailed;
    }
    if (!doc.connected && session.ConnectStatus != kConnected) {
        if (!doc.image.loaded()) {
            std::fprintf(stderr,
                         "ostrand-cli auto: no valid setup and object file "
                         "(see 'ostrand-cli check')\n");
        } else if (!doc.engine.port().isOpen()) {
            // The engine has shown 10001; say what the operator can do about it.
            explainPortFailure(doc.engine.port(), doc.settings.inForce.comPort);
        } else {
            op.showMessage(10000, 3, 12100, "Boot Program");
        }
        return kExitFailed;
    }
    if (passwordLogFailed(pw, op.shown)) return kExitFailed;
    if (anyChosen) {
        SetupValues& v = doc.settings.inForce;
        v.allErase = chosen[kAllErase];
        v.blankCheck = chosen[kBlankCheck];
        v.programming = chosen[kProgramming];
        v.verify = chosen[kVerify];
        v.fileCompare = chosen[kFileCompare];
        v.readProtect = chosen[kProtect];
    }
    std::printf("device %s on %s at %s bps, mode %s\n", doc.settings.inForce.device.c_str(),
                doc.settings.inForce.comPort.c_str(), doc.settings.inForce.dataRate.c_str(),
                session.ProgrammingMode >= 1 && session.ProgrammingMode <= 4
                    ? std::string(messageTextOrFallback(13009 + session.ProgrammingMode)).c_str()
                    : "none");
    if (!doc.runPendingCommandLineRun()) autoProg.unattendedRun(!repeat);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    const AutoRunRecord& r = autoProg.record;
    if (r.result[kVerify] != kStepNotRun)
        std::printf("SUM of File: 0x%04X  SUM of Memory: 0x%04X\n", r.fileSum, r.memorySum);
    int32_t exitStatus = doc.shutDown();
    bool passed = exitStatus == 1 && !r.nothingRan();
    if (r.nothingRan())
        std::printf("Result: nothing to do (no step chosen) in %.1f s\n", seconds);
    else
        std::printf("Result: %s in %.1f s\n", passed ? "OK" : "NG", seconds);
    return passed || (r.nothingRan() && exitStatus != 0) ? kExitOk : kExitFailed;
}

}  // namespace
}  // namespace ostrand::cli
