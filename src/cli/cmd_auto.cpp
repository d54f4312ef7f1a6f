#include <chrono>
#include <cstdio>

#include <memory>

#include "app/file_io.h"
#include "command.h"
#include "document/document.h"
#include "document/run_record.h"
#include "engine_context.h"

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
    "  --yes          answer the chip's questions (erase a protected chip) with yes\n"
    "  --record FILE  append one line of JSON per chip to FILE: what was programmed\n"
    "                 where, each step with its result and message (docs/run-records.md)\n"
    "  --json         one JSON document on stdout: the result with a list of the chips\n"
    "                 and their steps; the step lines go to stderr\n" OSTRAND_PASSWORD_USAGE
    "\nExit status: 0 every step passed, 1 a step failed, 2 bad usage.\n",
    run};
const Registrar kRegistered{kCommand};

const char* resultText(int32_t r) {
    return r == kStepOk ? "OK" : r == kStepFailed ? "NG" : "---";
}

// One chip of the --json result: its steps and SUMs.
std::string chipJson(const std::vector<AutoStepReport>& steps, const AutoRunRecord& r) {
    std::string out = "{\"result\": " +
                      jsonString(r.anyFailed()    ? "NG"
                                 : r.nothingRan() ? "none"
                                                  : "OK") +
                      ", \"steps\": [";
    for (size_t i = 0; i < steps.size(); ++i) {
        char numbers[96];
        std::snprintf(numbers, sizeof numbers, ", \"seconds\": %.3f, \"bytes\": %lld",
                      steps[i].seconds, static_cast<long long>(steps[i].bytes));
        out += std::string(i ? ", " : "") +
               "{\"step\": " + jsonString(kAutoStepNames[steps[i].step]) +
               ", \"result\": " + jsonString(resultText(steps[i].result)) + numbers + "}";
    }
    out += "]";
    if (r.result[kVerify] != kStepNotRun)
        out += ", \"fileSum\": " + std::to_string(r.fileSum) +
               ", \"memorySum\": " + std::to_string(r.memorySum);
    return out + "}";
}

int run(std::vector<std::string>& argv) {
    Args args(argv);
    static const char* kFlags[kAutoSteps] = {"--erase",  "--blank",   "--program",
                                             "--verify", "--compare", "--protect"};
    AutoOptions chosen{};
    bool anyChosen = false;
    for (int s = 0; s < kAutoSteps; ++s) anyChosen |= chosen[s] = args.flag(kFlags[s]);
    bool repeat = args.flag("--repeat");
    std::string recordFile;
    if (args.take("--record", recordFile) && !RunRecorder::usable(recordFile))
        return usageError(kCommand, "cannot write the run record " + recordFile);
    CommonOptions options;
    if (!takeCommonOptions(args, options)) return usageError(kCommand, args.errorText());
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
    // With --json the result is the only thing on stdout.
    FILE* out = options.json ? stderr : stdout;

    AutoProgrammer& autoProg = doc.autoProgrammer;
    std::vector<AutoStepReport> steps;
    std::string chips;
    autoProg.stepDone = [out, &steps](const AutoStepReport& step) {
        steps.push_back(step);
        std::fprintf(out, "%-16s %-3s %6.1f s",
                     (std::string(kAutoStepNames[step.step]) + ":").c_str(),
                     resultText(step.result), step.seconds);
        if (step.bytes > 0 && step.bytesPerSecond > 0)
            std::fprintf(out, "  %lld bytes, %.0f bytes/s", static_cast<long long>(step.bytes),
                         step.bytesPerSecond);
        std::fprintf(out, "\n");
        std::fflush(out);
    };
    autoProg.chipFinished = [&steps, &chips](const AutoRunRecord& r) {
        chips += (chips.empty() ? "" : ", ") + chipJson(steps, r);
        steps.clear();
    };
    autoProg.resultWindow = [&op](AutoResultWindow window, const AutoRunRecord&) {
        if (window == AutoResultWindow::Continue) return op.ask(12003) ? 6 : 7;
        return 1;
    };
    std::unique_ptr<RunRecorder> recorder;
    if (!recordFile.empty()) {
        recorder = std::make_unique<RunRecorder>(std::filesystem::absolute(recordFile),
                                                 "ostrand-cli", "auto", op);
        recorder->follow(autoProg, doc.settings);
    }
    // The result, the record's fate and the JSON document, however the run ends.
    auto finish = [&](int status) {
        if (recorder && recorder->failed()) {
            std::fprintf(stderr, "ostrand-cli auto: cannot append the run record to %s\n",
                         recorder->file().c_str());
            if (status == kExitOk) status = kExitFailed;
        }
        ctx.results.emplace_back("port", jsonString(doc.settings.inForce.comPort));
        ctx.results.emplace_back("chips", "[" + chips + "]");
        return ctx.finish("auto", status);
    };

    auto started = std::chrono::steady_clock::now();
    const Outcome up = captureOutcome(op, [&] {
        ctx.started = doc.startUp(consoleRequest(options, true, object));
        return 0;
    });
    if (!ctx.started.connected()) {
        if (recorder && ctx.started.reachedChip())
            recorder->writeUnstarted(doc.settings, "Connect", up);
        if (ctx.started.stage != StartupStage::NotConnected)
            return finish(startupStatus(ctx.started, "auto"));
        return finish(kExitFailed);
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
    std::fprintf(out, "device %s on %s at %s bps, mode %s\n", doc.settings.inForce.device.c_str(),
                 doc.settings.inForce.comPort.c_str(), doc.settings.inForce.dataRate.text(),
                 session.ProgrammingMode >= 1 && session.ProgrammingMode <= 4
                     ? std::string(messageTextOrFallback(13009 + session.ProgrammingMode)).c_str()
                     : "none");
    doc.unattendedAuto(!repeat);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    const AutoRunRecord& r = autoProg.record;
    if (r.result[kVerify] != kStepNotRun)
        std::fprintf(out, "SUM of File: 0x%04X  SUM of Memory: 0x%04X\n", r.fileSum, r.memorySum);
    int32_t exitStatus = doc.shutDown();
    bool passed = exitStatus == 1 && !r.nothingRan() && !doc.leaving();
    // A run its preamble refused ran no step either, but failed.
    if (r.nothingRan() && exitStatus != 0)
        std::fprintf(out, "Result: nothing to do (no step chosen) in %.1f s\n", seconds);
    else
        std::fprintf(out, "Result: %s in %.1f s\n", passed ? "OK" : "NG", seconds);
    std::fflush(out);
    return finish(passed || (r.nothingRan() && exitStatus != 0) ? kExitOk : kExitFailed);
}

}  // namespace
}  // namespace ostrand::cli
