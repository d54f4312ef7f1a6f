#include "document/run_record.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "app/device_database.h"
#include "app/file_io.h"
#include "app/json_text.h"
#include "app/messages.h"
#include "app/setup_settings.h"
#include "app/version.h"

namespace ostrand {
namespace {

using Steady = std::chrono::steady_clock;

double since(Steady::time_point t) {
    return std::chrono::duration<double>(Steady::now() - t).count();
}

std::string utcText(std::chrono::system_clock::time_point t) {
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
    const std::time_t secs = static_cast<std::time_t>(ms / 1000);
    std::tm tm{};
    gmtime_r(&secs, &tm);
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                  static_cast<int>(ms % 1000));
    return text;
}

std::string sumText(const std::optional<uint16_t>& sum) {
    if (!sum) return "null";
    char text[12];
    std::snprintf(text, sizeof text, "\"0x%04X\"", *sum);
    return text;
}

const char* resultName(int32_t r) {
    return r == kStepOk ? "OK" : r == kStepFailed ? "NG" : "not run";
}

std::string hostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

std::string seconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", s);
    return text;
}

}  // namespace

std::string runRecordLine(const RunRecord& r) {
    bool failed = false;
    for (const auto& s : r.steps) failed |= s.result == kStepFailed;
    std::string out =
        "{\"time\": " + jsonString(utcText(r.started)) + ", \"host\": " + jsonString(hostName()) +
        ", \"pid\": " + std::to_string(getpid()) + ", \"command\": " + jsonString(r.command) +
        ", \"port\": " + jsonString(r.port) + ", \"device\": " + jsonString(r.device) +
        ", \"object\": " + jsonString(r.object) + ", \"fileSum\": " + sumText(r.fileSum) +
        ", \"chipSum\": " + sumText(r.chipSum) + ", \"result\": " +
        jsonString(r.cancelled ? "cancelled"
                   : failed    ? "NG"
                               : "OK") +
        ", \"steps\": [";
    for (size_t i = 0; i < r.steps.size(); ++i) {
        const RunRecordStep& s = r.steps[i];
        const Outcome& o = s.outcome;
        out += std::string(i ? ", " : "") + "{\"step\": " + jsonString(s.name) +
               ", \"result\": " + jsonString(resultName(s.result)) +
               ", \"code\": " + std::to_string(o.code) +
               ", \"message\": " + jsonString(o.code ? messagePrefix(o.code) : "") +
               ", \"place\": " + std::to_string(o.place) + ", \"hint\": " + std::to_string(o.hint) +
               ", \"detail\": " + jsonString(o.detail) + ", \"seconds\": " + seconds(s.seconds) +
               "}";
    }
    out += "], \"seconds\": " + seconds(r.seconds) + ", \"version\": " +
           jsonString(r.program + " " + buildVersion() + " (" + kProgramVersion + ")") + "}";
    return out;
}

RunRecorder::RunRecorder(std::filesystem::path file, std::string program, std::string command,
                         Operator& op)
    : file_(std::move(file)), program_(std::move(program)), command_(std::move(command)), op_(op) {}

RunRecorder::~RunRecorder() = default;

bool RunRecorder::usable(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

RunRecord RunRecorder::fresh(const SetupSettings& settings) const {
    RunRecord r;
    r.program = program_;
    r.command = command_;
    r.port = settings.inForce.comPort;
    r.device = settings.inForce.device;
    r.object = settings.inForce.openFile;
    return r;
}

void RunRecorder::follow(AutoProgrammer& programmer, const SetupSettings& settings) {
    auto started = std::move(programmer.stepStarted);
    auto done = std::move(programmer.stepDone);
    auto finished = std::move(programmer.chipFinished);
    programmer.stepStarted = [this, &settings, started](AutoStep step) {
        if (current_.steps.empty()) {
            current_ = fresh(settings);
            chipStart_ = Steady::now();
        }
        stepStart_ = Steady::now();
        capture_ = std::make_unique<OutcomeCapture>(op_);
        if (started) started(step);
    };
    programmer.stepDone = [this, done](const AutoStepReport& report) {
        const AutoStep step = report.step;
        const int32_t result = report.result;
        RunRecordStep s;
        s.name = kAutoStepNames[step];
        s.result = result;
        s.seconds = since(stepStart_);
        if (capture_) s.outcome = capture_->finish(result == kStepOk ? 1 : 0);
        capture_.reset();
        current_.steps.push_back(std::move(s));
        if (done) done(report);
    };
    programmer.chipFinished = [this, &settings, &programmer, finished](const AutoRunRecord& rec) {
        if (current_.steps.empty()) {
            current_ = fresh(settings);
            chipStart_ = Steady::now();
        }
        current_.fileSum = programmer.imageSum();
        if (rec.memorySumRead) current_.chipSum = rec.memorySum;
        current_.cancelled = cancelRequested() || op_.session().AbortRequested.load() != 0;
        current_.seconds = since(chipStart_);
        write(current_);
        current_ = RunRecord{};
        if (finished) finished(rec);
    };
}

void RunRecorder::writeUnstarted(const SetupSettings& settings, const std::string& step,
                                 const Outcome& outcome) {
    writeStep(settings, step, false, outcome, 0, std::nullopt);
}

void RunRecorder::writeStep(const SetupSettings& settings, const std::string& step, bool passed,
                            const Outcome& outcome, double seconds,
                            std::optional<uint16_t> fileSum) {
    RunRecord r = fresh(settings);
    RunRecordStep s;
    s.name = step;
    s.result = passed ? kStepOk : kStepFailed;
    s.outcome = outcome;
    s.seconds = seconds;
    r.steps.push_back(s);
    r.fileSum = fileSum;
    r.seconds = seconds;
    r.cancelled = cancelRequested() || op_.session().AbortRequested.load() != 0;
    if (seconds > 0)
        r.started -= std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::duration<double>(seconds));
    write(r);
}

bool RunRecorder::write(const RunRecord& record) {
    ++written_;
    if (appendLineExclusive(file_, runRecordLine(record))) return true;
    failed_ = true;
    return false;
}

}  // namespace ostrand
