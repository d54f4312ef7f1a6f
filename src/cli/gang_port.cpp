#include "gang_port.h"

#include <chrono>

#include "port_advice.h"
#include "serial/serial_port.h"

namespace ostrand::cli {

void GangOperator::present(const ShownMessage& message) {
    shown.push_back(message);
    console_.message(index_, message.text);
}

PortRun::PortRun(size_t index, const GangSettings& gang, PortJob job, GangConsole& console)
    : index_(index),
      gang_(gang),
      job_(std::move(job)),
      options_(gang.overrides),
      console_(console),
      op_(session_, console, index) {
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
    doc.takeInstanceLock = false;  // the gang holds it for all its ports
    std::error_code ec;
    if (!job_.setup.empty()) doc.setupFile = std::filesystem::absolute(job_.setup, ec);
    // Ports of different devices would otherwise write one expansion file.
    doc.image.expansionFolder = gang_.home / "tmp" / ("gang" + std::to_string(index_ + 1));

    int refused = kExitOk;
    takeRunOptions(doc, options_, gang_.object, op_, refused);
    // Loading (and its .abs conversion in the shared tmp folder) is one port at a time.
    std::unique_lock loading(*gang_.loading, std::defer_lock);
    doc.setupRead = [&, read = doc.setupRead] {
        loading.lock();
        const bool ok = read();
        console_.setDevice(index_, doc.settings.inForce.device);
        return ok;
    };
    doc.objectLoaded = [&, loaded = doc.objectLoaded] {
        const bool ok = loaded();
        loading.unlock();  // before the connection, which takes its time
        return ok;
    };
    console_.stepStarted(index_, "connecting");
    const int32_t up = doc.startUp(gang_.object);
    if (loading.owns_lock()) loading.unlock();
    doc.setupRead = nullptr;
    doc.objectLoaded = nullptr;
    outcome.badUsage = refused == kExitUsage;
    if (up == 0) return fail("Setup", firstMessage);
    ready_ = doc.image.loaded();
    if (!doc.connected && session_.ConnectStatus != kConnected) {
        if (!ready_) {
            console_.message(index_, "no valid setup and object file (see 'ostrand-cli check')");
            return fail("Setup", firstMessage);
        }
        if (!doc.engine.port().isOpen()) {
            // The engine has shown 10001; say what the operator can do about it.
            const std::string advice =
                portFailureAdvice(doc.engine.port().lastErrno(), doc.settings.inForce.comPort);
            if (!advice.empty()) console_.message(index_, advice);
        } else {
            op_.showMessage(10000, 3, 12100, "Boot Program");
        }
        return fail("Connection", firstMessage);
    }
    if (passwordLogFailed(options_.passwords, op_.shown)) return fail("Passwords", firstMessage);
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
    if (!doc.autoProgrammer.reconnect()) {
        if (op_.shown.size() == firstMessage) op_.showMessage(10000, 3, 12100, "Boot Program");
        return fail("Connection", firstMessage);
    }
    doc.autoProgrammer.autoRunDone = false;
    pass();
}

void PortRun::pass() {
    AutoProgrammer& autoProg = doc_->autoProgrammer;
    auto stepStart = std::chrono::steady_clock::now();
    autoProg.stepStarted = [&](AutoStep step) {
        stepStart = std::chrono::steady_clock::now();
        console_.stepStarted(index_, kAutoStepNames[step]);
    };
    autoProg.stepDone = [&](AutoStep step, int32_t result) {
        const double secs =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - stepStart).count();
        const char* text = result == kStepOk ? "OK" : result == kStepFailed ? "NG" : "---";
        const int64_t bytes =
            step == kProgramming && result == kStepOk ? autoProg.progressCount() : 0;
        console_.stepDone(index_, kAutoStepNames[step], text, secs, bytes);
    };
    // The gang shows one summary for all ports instead of result windows.
    autoProg.resultWindow = nullptr;
    // With the command line's object the engine asks for the run itself.
    if (!doc_->runPendingCommandLineRun()) autoProg.unattendedRun(true);
    autoProg.stepStarted = nullptr;
    autoProg.stepDone = nullptr;
}

}  // namespace ostrand::cli
