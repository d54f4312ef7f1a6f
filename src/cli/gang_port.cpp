#include "gang_port.h"

#include <chrono>

#include "document/advice.h"
#include "serial/serial_port.h"

namespace ostrand::cli {

void GangOperator::present(const ShownMessage& message) {
    shown.push_back(message);
    if (message.code == 12153 && !console_.firstOfRun(message.code)) return;
    console_.message(index_, message.text);
    if (advice)
        if (const std::string a = advice(message); !a.empty())
            console_.message(index_, "ostrand-cli: advice: " + a);
}

PortRun::PortRun(size_t index, const GangSettings& gang, PortJob job, GangConsole& console)
    : index_(index),
      gang_(gang),
      job_(std::move(job)),
      options_(gang.overrides),
      console_(console),
      op_(session_, console, index) {
    if (!gang.record.empty())
        recorder_ = std::make_unique<RunRecorder>(gang.record, "ostrand-cli", "gang", op_);
    if (!job_.port.empty()) {
        options_.havePort = true;
        options_.port = job_.port;
    }
}

PortRun::~PortRun() {
    close();
}

void PortRun::close() {
    if (doc_) doc_->shutDown();
}

void PortRun::run(bool first) {
    const auto started = std::chrono::steady_clock::now();
    const size_t firstMessage = op_.shown.size();
    const int recorded = recorder_ ? recorder_->written() : 0;
    outcome = PortOutcome{};
    if (first)
        start();
    else
        again();
    if (outcome.failedStep.empty()) {
        // As the auto command judges a run: every step passed, or none was
        // chosen and nothing went wrong.
        const AutoRunRecord& r = doc_->autoProgrammer.record;
        outcome.record = r;
        outcome.nothingRan = r.nothingRan();
        const int32_t status = session_.ExitStatus;
        outcome.passed = (status == 1 && !r.nothingRan()) || (r.nothingRan() && status != 0);
        if (!outcome.passed) {
            const char* step = "Passwords";  // the run's preamble refused
            for (int s = 0; s < kAutoSteps; ++s)
                if (r.result[s] == kStepFailed) step = kAutoStepNames[s];
            fail(step, firstMessage);
        }
    }
    outcome.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    outcome.messages.assign(op_.shown.begin() + static_cast<std::ptrdiff_t>(firstMessage),
                            op_.shown.end());
    if (outcome.device.empty() && doc_) doc_->devices.selectedDeviceName(outcome.device);
    // A chip that never reached its steps has its line too.
    if (recorder_ && doc_ && recorder_->written() == recorded && !outcome.passed) {
        Outcome why;
        if (outcome.haveFailure)
            why = {0, outcome.failure.code, outcome.failure.place, outcome.failure.hint,
                   outcome.failure.detail};
        recorder_->writeUnstarted(
            doc_->settings, outcome.failedStep == "Connection" ? "Connect" : outcome.failedStep,
            why);
    }
    console_.finished(
        index_, outcome.passed ? std::string("Result: OK") : "Result: NG at " + outcome.failedStep);
}

void PortRun::fail(const char* step, size_t firstMessage) {
    outcome.passed = false;
    outcome.failedStep = step;
    // The first error tells why; a step that fails without one has its
    // result message.
    for (size_t i = firstMessage; i < op_.shown.size(); ++i) {
        if (op_.shown[i].cls == MessageClass::Error) {
            outcome.failure = op_.shown[i];
            outcome.haveFailure = true;
            return;
        }
    }
    if (op_.shown.size() > firstMessage) {
        outcome.failure = op_.shown.back();
        outcome.haveFailure = true;
    }
}

void PortRun::start() {
    const size_t firstMessage = op_.shown.size();
    doc_ = std::make_unique<DocumentCore>(session_, op_, gang_.home);
    DocumentCore& doc = *doc_;
    op_.advice = [&doc](const ShownMessage& m) { return adviceFor(m, adviceFacts(doc)); };
    // Ports of different devices would otherwise write one expansion file.
    doc.image.expansionFolder = gang_.home / "tmp" / ("gang" + std::to_string(index_ + 1));

    CommonOptions options = options_;
    if (!job_.setup.empty()) {
        options.haveSetup = true;
        options.setup = job_.setup;
    }
    StartupRequest request = consoleRequest(options, true, gang_.object);
    request.takeInstanceLock = false;  // the gang holds it for all its ports
    // Loading (and its .abs conversion in the shared tmp folder) is one port at a time.
    request.loading = gang_.loading;
    console_.stepStarted(index_, "connecting");
    const StartupResult up = doc.startUp(request);
    console_.setDevice(index_, doc.settings.inForce.device);
    outcome.badUsage = up.malformed;
    ready_ = doc.image.loaded();
    if (up.stage == StartupStage::NoObject) {
        console_.message(index_, "no valid setup and object file (see 'ostrand-cli check')");
        return fail("Setup", firstMessage);
    }
    if (up.stage == StartupStage::Ended || up.stage == StartupStage::NoPort ||
        up.stage == StartupStage::SetupNeeded)
        return fail("Setup", firstMessage);
    if (up.stage == StartupStage::LogMissed) return fail("Passwords", firstMessage);
    if (up.stage == StartupStage::NotConnected) return fail("Connection", firstMessage);
    if (gang_.anyChosen) {
        SetupValues& v = doc.settings.inForce;
        v.allErase = gang_.chosen[kAllErase];
        v.blankCheck = gang_.chosen[kBlankCheck];
        v.programming = gang_.chosen[kProgramming];
        v.verify = gang_.chosen[kVerify];
        v.fileCompare = gang_.chosen[kFileCompare];
        v.readProtect = gang_.chosen[kProtect];
    }
    pass();
}

void PortRun::again() {
    const size_t firstMessage = op_.shown.size();
    if (!doc_ || !ready_) return fail("Setup", firstMessage);
    DocumentCore& doc = *doc_;
    // A new chip: connect as the continue loop of auto programming does.
    console_.stepStarted(index_, "connecting");
    if (!doc.autoProgrammer.reconnect()) return fail("Connection", firstMessage);
    doc.autoProgrammer.autoRunDone = false;
    pass();
}

void PortRun::pass() {
    AutoProgrammer& autoProg = doc_->autoProgrammer;
    autoProg.stepStarted = [&](AutoStep step) {
        console_.stepStarted(index_, kAutoStepNames[step]);
    };
    autoProg.stepDone = [&](const AutoStepReport& step) {
        const char* text = step.result == kStepOk       ? "OK"
                           : step.result == kStepFailed ? "NG"
                                                        : "---";
        console_.stepDone(index_, kAutoStepNames[step.step], text, step);
    };
    // The gang shows one summary for all ports instead of result windows.
    autoProg.resultWindow = nullptr;
    if (recorder_) recorder_->follow(autoProg, doc_->settings);
    doc_->unattendedAuto(true);
    autoProg.stepStarted = nullptr;
    autoProg.stepDone = nullptr;
    autoProg.chipFinished = nullptr;
}

}  // namespace ostrand::cli
