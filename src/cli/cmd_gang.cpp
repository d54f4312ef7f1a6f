#include <signal.h>
#include <unistd.h>
#include <algorithm>

#include <atomic>
#include <cstdio>
#include <set>
#include <thread>

#include "app/file_io.h"
#include "app/profile.h"
#include "command.h"
#include "document/document.h"
#include "gang_port.h"

namespace ostrand::cli {
namespace {

int run(std::vector<std::string>& argv);

const Command kCommand{
    "gang", "auto programming on several ports at once",
    "usage: ostrand-cli gang [--home DIR] [--setup FILE]... [--port PATH]... [STEPS...]\n"
    "                        [--repeat] [--json] [OPTIONS] [OBJECT]\n\n"
    "Runs the auto-programming steps unattended on several chips at once, one\n"
    "engine per port, with the steps, rules and messages of 'auto'.\n"
    "Each --setup FILE is one port with its own device, object and passwords; its\n"
    "port is the setup's COMPort. Each --port PATH is one port that shares one\n"
    "setup (the one --setup FILE, or Ostrand.ini in the program folder; with\n"
    "--device, none). OBJECT replaces the setups' object file.\n"
    "The steps are the setups' own unless any of these is given:\n"
    "--erase --blank --program --verify --compare --protect.\n"
    "A port that fails never stops the others; each of its message lines starts\n"
    "with the port. On a terminal each port keeps one line with its device, step,\n"
    "bytes and rate; otherwise one line per port and step. Then a summary: port,\n"
    "device, result, the failed step with its message, the SUMs and the time.\n"
    "  --repeat       after each pass, ask once to replace every chip, then run\n"
    "                 again on every port (asked on a terminal only)\n"
    "  --json         one JSON document on stdout with a list of the ports and\n"
    "                 passes; the step lines and the summary go to stderr\n"
    "  --record FILE  append one line of JSON per chip to FILE, every port to the\n"
    "                 same file (docs/run-records.md)\n"
    "  --device NAME  device of the definition file, for every port\n"
    "  --rate RATE    data rate, for every port\n"
    "  --yes          answer the chips' questions (erase a protected chip) with yes\n"
    "The password options below apply to every port.\n" OSTRAND_PASSWORD_USAGE
    "\nCtrl-C stops every port between blocks; a second one cuts the steps short.\n"
    "Exit status: 0 every port passed, 1 a port failed, 2 bad usage.\n",
    run};
const Registrar kRegistered{kCommand};

std::atomic<int> interrupts{0};

void onInterrupt(int) {
    interrupts.fetch_add(1);
    requestCancel();
}

// The port a setup file names, to label its lines before it is read.
std::string setupPort(const std::string& setup) {
    auto file = ProfileFile::load(setup);
    std::string port = file ? file->getString("Ostrand", "COMPort", "") : std::string();
    return port.empty() ? std::filesystem::path(setup).filename().string() : port;
}

std::string sumText(const PortOutcome& o, uint16_t sum) {
    if (o.record.result[kVerify] == kStepNotRun) return "-";
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", sum);
    return text;
}

std::string firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

void printSummary(FILE* out, const std::vector<std::unique_ptr<PortRun>>& runs) {
    // The port column fits the longest port, so that long paths keep the table straight.
    int width = 16;
    for (const auto& r : runs) width = std::max(width, static_cast<int>(r->label().size()));
    std::fprintf(out, "%-*s %-10s %-6s %-16s %-8s %-10s %8s  %s\n", width, "Port", "Device",
                 "Result", "Failed step", "SUM File", "SUM Memory", "Time", "Message");
    for (const auto& r : runs) {
        const PortOutcome& o = r->outcome;
        const char* result = o.passed ? (o.nothingRan ? "--" : "OK") : "NG";
        std::fprintf(out, "%-*s %-10s %-6s %-16s %-8s %-10s %6.1f s  %s\n", width,
                     r->label().c_str(), o.device.c_str(), result,
                     o.passed ? "-" : o.failedStep.c_str(), sumText(o, o.record.fileSum).c_str(),
                     sumText(o, o.record.memorySum).c_str(), o.seconds,
                     o.haveFailure ? firstLine(o.failure.text).c_str() : "");
    }
    std::fflush(out);
}

std::string portJson(const PortRun& r, int pass) {
    const PortOutcome& o = r.outcome;
    std::string out =
        "{\"port\": " + jsonString(r.label()) + ", \"pass\": " + std::to_string(pass) +
        ", \"device\": " + jsonString(o.device) + ", \"ok\": " + (o.passed ? "true" : "false") +
        ", \"failedStep\": " + (o.passed ? std::string("null") : jsonString(o.failedStep)) +
        ", \"steps\": {";
    for (int s = 0; s < kAutoSteps; ++s) {
        const int32_t v = o.record.result[s];
        out += std::string(s ? ", " : "") + jsonString(kAutoStepNames[s]) + ": " +
               jsonString(v == kStepOk       ? "OK"
                          : v == kStepFailed ? "NG"
                                             : "---");
    }
    char tail[96];
    std::snprintf(tail, sizeof tail, "}, \"fileSum\": %u, \"memorySum\": %u, \"seconds\": %.3f",
                  o.record.fileSum, o.record.memorySum, o.seconds);
    out += tail;
    return out + ", \"messages\": " + jsonMessages(o.messages) + "}";
}

// One pass on every port at once; returns when every port has finished.
void runPass(std::vector<std::unique_ptr<PortRun>>& runs, bool first) {
    std::atomic<size_t> running{runs.size()};
    std::vector<std::thread> threads;
    for (auto& r : runs)
        threads.emplace_back([&r, &running, first] {
            r->run(first);
            running.fetch_sub(1);
        });
    bool aborted = false;
    while (running.load() > 0) {
        if (!aborted && interrupts.load() >= 2) {
            aborted = true;
            for (auto& r : runs) r->abort();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    for (auto& t : threads) t.join();
}

int run(std::vector<std::string>& argv) {
    Args args(argv);
    std::string home, value;
    const bool hasHome = args.take("--home", home);
    std::vector<std::string> setups, ports;
    while (args.take("--setup", value)) setups.push_back(value);
    while (args.take("--port", value)) ports.push_back(value);
    static const char* kFlags[kAutoSteps] = {"--erase",  "--blank",   "--program",
                                             "--verify", "--compare", "--protect"};
    GangSettings gang;
    for (int s = 0; s < kAutoSteps; ++s) gang.anyChosen |= gang.chosen[s] = args.flag(kFlags[s]);
    const bool repeat = args.flag("--repeat");
    const bool json = args.flag("--json");
    std::string record;
    if (args.take("--record", record) && !RunRecorder::usable(record))
        return usageError(kCommand, "cannot write the run record " + record);
    CommonOptions& o = gang.overrides;
    o.haveDevice = args.take("--device", o.device);
    o.haveRate = args.take("--rate", o.rate);
    const bool yes = args.flag("--yes");
    if (!args.error()) takePasswordOptions(args, o.passwords);
    if (args.error()) return usageError(kCommand, args.errorText());
    if (std::string bad = args.unknownOption(); !bad.empty())
        return usageError(kCommand, "unknown option " + bad);
    if (args.rest().size() > 1) return usageError(kCommand, "one object file at most");
    if (setups.empty() && ports.empty())
        return usageError(kCommand, "no port: give --port PATH or --setup FILE");
    if (setups.size() > 1 && !ports.empty())
        return usageError(kCommand, "the ports of --port share one setup: give one --setup");

    std::vector<PortJob> jobs;
    if (ports.empty()) {
        for (const auto& s : setups) jobs.push_back({s, ""});
    } else {
        for (const auto& p : ports) jobs.push_back({setups.empty() ? "" : setups[0], p});
    }
    std::vector<std::string> labels;
    std::set<std::string> seen;
    for (const auto& j : jobs) {
        labels.push_back(j.port.empty() ? setupPort(j.setup) : j.port);
        if (!seen.insert(labels.back()).second)
            return usageError(kCommand, "port " + labels.back() + " given twice");
    }

    std::error_code ec;
    gang.home =
        std::filesystem::absolute(hasHome ? std::filesystem::path(home) : programFolder(), ec)
            .lexically_normal();
    if (!args.rest().empty()) gang.object = std::filesystem::absolute(args.rest()[0], ec).string();
    if (!record.empty()) gang.record = std::filesystem::absolute(record, ec);
    std::mutex loading;
    gang.loading = &loading;

    // The gang is one program: it takes the instance lock once for all its
    // ports.
    auto def = ProfileFile::load(gang.home / "Ostrand.def");
    const bool multi = def && def->getInt("COMMON", "Multi_On", 0) == 1;
    FileLock instance;
    const std::filesystem::path lock = gang.home / "Ostrand.lock";
    if (def && !instance.acquire(lock, true, multi) && !multi) {
        std::fprintf(stderr, "ostrand-cli gang: %s\n",
                     instanceRefusal(gang.home, lock, instance.failure()).c_str());
        if (json)
            std::printf(
                "{\"command\": \"gang\", \"ok\": false, \"exitStatus\": %d, "
                "\"ports\": []}\n",
                kExitFailed);
        return kExitFailed;
    }

    FILE* report = json ? stderr : stdout;
    GangConsole console(isatty(2) != 0, yes, report);
    std::vector<std::unique_ptr<PortRun>> runs;
    for (size_t i = 0; i < jobs.size(); ++i)
        runs.push_back(
            std::make_unique<PortRun>(console.addPort(labels[i]), gang, jobs[i], console));

    interrupts = 0;
    clearCancel();
    struct sigaction sa {};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    bool anyFailed = false, badUsage = false;
    std::string portsJson;  // every port of every pass: one document at the end
    for (int pass = 1;; ++pass) {
        runPass(runs, pass == 1);
        console.stop();
        printSummary(report, runs);
        for (const auto& r : runs) {
            anyFailed |= !r->outcome.passed;
            badUsage |= r->outcome.badUsage;
            if (json) portsJson += (portsJson.empty() ? "" : ", ") + portJson(*r, pass);
        }
        if (!repeat || badUsage || cancelRequested() || !console.askEveryone(12005)) break;
        console.resume();
    }
    for (auto& r : runs) r->close();
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    for (const auto& r : runs) {
        if (!r->recordLost()) continue;
        std::fprintf(stderr, "ostrand-cli gang: cannot append the run record to %s\n",
                     gang.record.c_str());
        anyFailed = true;
        break;
    }
    const int status = badUsage ? kExitUsage : anyFailed ? kExitFailed : kExitOk;
    if (json) {
        std::printf("{\"command\": \"gang\", \"ok\": %s, \"exitStatus\": %d, \"ports\": [%s]}\n",
                    status == kExitOk ? "true" : "false", status, portsJson.c_str());
        std::fflush(stdout);
    }
    return status;
}

}  // namespace
}  // namespace ostrand::cli
