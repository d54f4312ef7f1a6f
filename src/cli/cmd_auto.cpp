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

    std::error_code ec;
    if (!object.empty()) object = std::filesystem::absolute(object, ec).string();
    options.home = homeFolder(options).lexically_normal().string();
    options.haveHome = true;
    EngineContext ctx(options);
    InterruptScope interrupts(ctx.session);
    DocumentCore& doc = ctx.doc;
    Session& session = ctx.session;
    CliOperator& op = ctx.op;

    AutoProgrammer& autoProg = doc.autoProgrammer;
    autoProg.stepDone = [](const AutoStepReport& step) {
        std::printf("%-16s %-3s %6.1f s", (std::string(kAutoStepNames[step.step]) + ":").c_str(),
                    resultText(step.result), step.seconds);
        if (step.bytes > 0 && step.bytesPerSecond > 0)
            std::printf("  %lld bytes, %.0f bytes/s", static_cast<long long>(step.bytes),
                        step.bytesPerSecond);
        std::printf("\n");
        std::fflush(stdout);
    };
    autoProg.resultWindow = [&op](AutoResultWindow window, const AutoRunRecord&) {
        if (window == AutoResultWindow::Continue) return op.ask(12003) ? 6 : 7;
        return 1;
    };

    auto started = std::chrono::steady_clock::now();
    ctx.started = doc.startUp(consoleRequest(options, true, object));
    if (!ctx.started.connected()) {
        if (ctx.started.stage != StartupStage::NotConnected)
            return startupStatus(ctx.started, "auto");
        if (!doc.engine.port().isOpen())
            // The engine has shown 10001; say what the operator can do about it.
            explainPortFailure(doc.engine.port(), doc.settings.inForce.comPort);
        return kExitFailed;
    }
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
    doc.unattendedAuto(!repeat);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    const AutoRunRecord& r = autoProg.record;
    if (r.result[kVerify] != kStepNotRun)
        std::printf("SUM of File: 0x%04X  SUM of Memory: 0x%04X\n", r.fileSum, r.memorySum);
    int32_t exitStatus = doc.shutDown();
    bool passed = exitStatus == 1 && !r.nothingRan() && !doc.leaving();
    if (r.nothingRan())
        std::printf("Result: nothing to do (no step chosen) in %.1f s\n", seconds);
    else
        std::printf("Result: %s in %.1f s\n", passed ? "OK" : "NG", seconds);
    return passed || (r.nothingRan() && exitStatus != 0) ? kExitOk : kExitFailed;
}

}  // namespace
}  // namespace ostrand::cli
