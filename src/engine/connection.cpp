// The boot connection: matching the boot program, rate change,
// resynchronisation, recovery, disconnection and the reconnect worker.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "boot_commands.h"
#include "com_thread.h"
#include "command_channel.h"
#include "link.h"
#include "objfile/object_image.h"
#include "wcp_session.h"

namespace ostrand {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t kHintAdapter = 12100;
constexpr int32_t kHintRateChange = 12143;
// How long a hang-up keeps the port closed.
constexpr int kHangUpMs = 250;

}  // namespace

Link::Link(EngineState& s) : EngineLayer(s) {}

Link::~Link() {
    shutDown();
}

void Link::clearWcpLoaded() {
    for (int32_t& f : chip_.wcpLoaded) f = 0;
    rate_.divisorSent = false;
    session_.LinkPhase = kLinkBootProgram;
}

void Link::shutDown() {
    if (worker_) {
        session_.AbortRequested = 1;
        worker_.reset();  // posts UM_QUIT and joins
    }
    if (port_->isOpen()) disconnect();
}

void Link::stopWorker() {
    // Never two threads on the port: a running worker stops first.
    if (worker_) {
        session_.AbortRequested = 1;
        worker_->waitIdle();
    }
    session_.AbortRequested = 0;
}

int32_t Link::connect(int32_t showErrors) {
    stopWorker();
    link_.matched = 0;
    session_.ChipRewritten = 0;
    session_.DeviceIdentified = 0;
    chip_.flashBlank = 0;
    if (session_.SingleBootFlagsReset.exchange(0) != 0) session_.ChipErased = 0;

    if (!loadDeviceParameters()) return -1;
    if (const DeviceDefinition* d = devices_.selected()) rate_.replyDelay = d->recTimeOutMs;
    clearWcpLoaded();
    latchProgrammingMode();
    if (!prepareDataRate()) return -1;
    const std::string port = settings_.inForce.comPort;
    chooseInitialRate();

    if (!port_->isOpen()) {
        if (!port_->open(port, rate_.initial.bps())) {
            op_.showMessage(10001, 3, 0, port_->openFailureDetail());
            return -1;
        }
        link_.portOpen = 1;
    } else if (link_.state == 3 && !setPortRate(rate_.initial)) {
        return -1;
    }

    if (link_.state == 3) {
        if (session_.CommandLineRun == 1 && hooks_.mainWindowExists && !hooks_.mainWindowExists())
            return startReconnectWorker() ? 2 : -1;
        const int32_t r = matchBootProgram(showErrors);
        if (r == 1) return 1;  // the post-connect steps ran inside
        if (r == -1) return -1;
        if (showErrors == 1) op_.showMessage(10000, 3, kHintAdapter, "Boot Program");
        return startReconnectWorker() ? 2 : -1;
    }
    return afterLinkUp() == 1 ? 1 : -1;
}

int32_t Link::connectAndWait(int32_t showErrors) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(devices_.accessWaitMs());
    stopWorker();  // the hooks change below: nobody may be calling them
    std::mutex m;
    std::condition_variable cv;
    bool up = false;
    const EngineHooks kept = hooks_;
    hooks_.linkUp = [&] {
        std::lock_guard lock(m);
        up = true;
        cv.notify_all();
    };
    hooks_.linkTimeout = nullptr;
    // This call is the wait: the worker does not wait for a window too.
    hooks_.mainWindowExists = nullptr;
    int32_t r = connect(showErrors);
    if (r == 2) {
        {
            std::unique_lock lock(m);
            cv.wait_until(lock, deadline, [&] { return up; });
        }
        stopWorker();
        r = link_.state == 2 ? afterLinkUp() : 0;
    }
    hooks_ = kept;
    // A window keeps looking for the chip, and says when it comes.
    if (r != 1 && link_.state == 3 && link_.portOpen == 1 && kept.linkUp) startReconnectWorker();
    return r == 1 ? 1 : 0;
}

int32_t Link::afterLinkUp() {
    if (!anyWcpLoaded()) {
        if (!boot_->postConnectStatus()) return -1;
        boot_->runPasswordSteps();
    }
    // The command line's run starts once the connection has returned.
    if (session_.CommandLineRun == 0 && hooks_.startupErasePrompt) boot_->startupErasePrompt();
    return 1;
}

bool Link::scanMatchReply(const uint8_t* bytes, uint32_t n) const {
    const uint8_t match = matchingByte(dev_.bootType);
    if (n == 0) return false;
    if (!bootTypeRow(dev_.bootType).identBeforeAnswer) return bytes[n - 1] == match;
    // Its boot program may put an identification (61 xx xx) before its answer.
    uint32_t i = 0;
    while (i < n) {
        if (i == n - 1) return bytes[i] == match;
        const uint8_t b = bytes[i];
        if (b == 0x61 || b == 0xF4 || b == 0xF6) {
            if (n - i < 3) return false;
            i += 3;
            continue;
        }
        ++i;
    }
    return false;
}

int32_t Link::secondExchange() {
    const uint8_t y = 0x79;
    if (!port_->writeByte(&y, 0, 0)) return 0;
    std::vector<uint8_t> reply;
    if (!collectReply(reply, [&] { return reply.back() == 0x79; })) return 0;
    return !reply.empty() && reply.back() == 0x79 ? 1 : 0;
}

bool Link::attemptMatch() {
    session_.LinkPhase = kLinkBootProgram;
    port_->discardInput();  // bytes from before this attempt are no answer to it
    const uint8_t match = matchingByte(dev_.bootType);
    if (!port_->writeByte(&match, 0, 0)) return false;
    std::vector<uint8_t> reply;
    if (!collectReply(reply, [&] { return scanMatchReply(reply.data(), uint32_t(reply.size())); }))
        return false;
    if (!scanMatchReply(reply.data(), uint32_t(reply.size()))) return false;
    if (bootTypeRow(dev_.bootType).secondExchange) return secondExchange() == 1;
    return true;
}

// Reads what the boot program answers within the reply delay. The answer is
// judged on its last byte, so once `complete` holds and the line has stayed
// quiet for a few character times nothing can change the verdict: stop
// there instead of sitting out the whole wait on every matching.
bool Link::collectReply(std::vector<uint8_t>& reply, const std::function<bool()>& complete) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(rate_.replyDelay);
    const uint32_t rate = std::max<uint32_t>(port_->currentBaud(), 300);
    const uint32_t settleMs = std::max<uint32_t>(3, 3 * 11 * 1000 / rate + 1);
    for (;;) {
        if (session_.AbortRequested != 0) return false;
        const auto now = Clock::now();
        if (now >= deadline) break;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        const bool settled = !reply.empty() && complete();
        uint32_t wait = static_cast<uint32_t>(left.count());
        if (settled) wait = std::min(wait, settleMs);
        uint8_t b = 0;
        pumpOneMessage();
        if (port_->readByte(&b, std::min<uint32_t>(wait, hooks_.serviceWindow ? 20 : 50))) {
            reply.push_back(b);
            uint8_t more[4096];
            uint32_t n = sizeof more;
            if (port_->readAvailable(more, n)) reply.insert(reply.end(), more, more + n);
            if (reply.size() > 4096) reply.erase(reply.begin(), reply.end() - 4096);
        } else if (settled && wait == settleMs) {
            return true;
        }
    }
    return true;
}

int32_t Link::matchBootProgram(int32_t withRetry, bool runPostSteps) {
    session_.ConnectStatus = kConnecting;
    const auto start = Clock::now();
    const auto limit = std::chrono::milliseconds(devices_.accessWaitMs());
    if (withRetry == 1) waitCursor(true);
    bool ok = false;
    for (;;) {
        if (LineResetBootTypes(dev_.bootType)) {
            resetTarget(0);
            sleepMs(15);
        }
        ok = attemptMatch();
        if (ok || withRetry != 1 || session_.AbortRequested != 0) break;
        if (Clock::now() - start >= limit) break;
    }
    if (withRetry == 1) waitCursor(false);
    if (!ok) {
        link_.state = 3;
        if (withRetry == 1 && modemLinesMissing_ && !modemLineNoticeShown_) {
            modemLineNoticeShown_ = true;
            op_.showMessage(12153);
        }
        return 0;
    }
    link_.state = 2;
    link_.resyncNeeded = 0;
    // The password types are matched at their working rate: no rate step.
    link_.rateSwitched = PasswordBootTypes(dev_.bootType) ? 1 : 0;
    session_.ConnectStatus = kConnected;
    link_.matched = 1;
    if (bootTypeRow(dev_.bootType).oneTransfer &&
        (session_.ProgrammingMode == kModeSBootPw || session_.ProgrammingMode == kModeSBoot))
        session_.ChipErased = 0;
    if (!runPostSteps) return 1;
    return afterLinkUp();
}

int32_t Link::resetTarget(int32_t phase) {
    if (!LineResetBootTypes(dev_.bootType)) return 1;
    auto wait1 = [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
    auto line = [&](bool rts, int32_t on) {
        if (rts ? port_->setRts(on) : port_->setDtr(on)) return true;
        if (!port_->noModemLines()) return false;
        // No lines to move (a pseudo-terminal): the target resets by other
        // means or not at all. Go on; a chip that then does not answer is
        // told why it may not have been reset.
        modemLinesMissing_ = true;
        return true;
    };
    if (bootTypeRow(dev_.bootType).resetSetsMode) {
        if (!line(false, phase != 1 ? 1 : 0) || !line(true, 0)) return 0;
        wait1();
        if (!line(false, phase == 1 ? 1 : 0)) return 0;
        wait1();
        return line(true, 1) ? 1 : 0;
    }
    if (!line(true, 0) || !line(false, phase == 0 ? 1 : 0)) return 0;
    wait1();
    return line(true, 1) ? 1 : 0;
}

int32_t Link::setPortRate(DataRate rate) {
    if (port_->setBaudRate(rate.bps())) return 1;
    op_.showMessage(10011, 39, kHintRateChange);
    return 0;
}

int32_t Link::changeDataRate(int32_t column) {
    session_.LastMessageCode = 0;
    if (bootTypeRow(dev_.bootType).adapterClock) {
        if (!sendCode(0xA0)) return 0;
        uint8_t reply = 0;
        if (!readReply(reply, timeouts_.echo)) {
            reportTimeout(BootKind, 382);
            return 0;
        }
        if (reply != 0xA0 && !checkReply(BootKind, column, reply)) return 0;
    }
    uint8_t reply = 0;
    // A boot program that runs at 9600 only: its FF step leaves the rate as
    // it is (its WCP changes the rate later).
    const uint32_t target = (bootTypeRow(dev_.bootType).bootAt9600 ? kRate9600 : rate_.data).bps();
    const int r =
        channel_->switchRate(rate_.code, target, !bootTypeRow(dev_.bootType).adapterClock, reply);
    switch (r) {
        case 0:
            return 1;
        case 1:
            reportTimeout(BootKind, 38);
            return 0;
        case 2:
            op_.showMessage(10011, 39, kHintRateChange, "Boot Program");
            return 0;
        default:
            checkReply(BootKind, column, reply);
            return 0;
    }
}

int32_t Link::readMatchReply(int32_t column, int32_t place, uint32_t timeoutMs) {
    const uint8_t match = matchingByte(dev_.bootType);
    auto timedOut = [&] {
        reportTimeout(BootKind, place);
        return 0;
    };
    uint8_t b = 0;
    if (!readReply(b, timeoutMs)) return timedOut();
    // Identification bytes may come before the answer.
    while (bootTypeRow(dev_.bootType).identBeforeAnswer && (b == 0x61 || b == 0xF4 || b == 0xF6)) {
        uint8_t skip[2];
        if (!readReply(skip[0], timeouts_.echo) || !readReply(skip[1], timeouts_.echo) ||
            !readReply(b, timeouts_.echo))
            return timedOut();
    }
    if (b == match) return 1;
    checkReply(BootKind, column, b);
    return 0;
}

int32_t Link::resyncBeforeCommand(int32_t column, int32_t place) {
    if (link_.resyncNeeded == 1 || link_.matched == 0) {
        const DataRate rate = bootTypeRow(dev_.bootType).adapterClock ? rate_.initial : kRate9600;
        if (!setPortRate(rate)) return 0;
        if (!rematch(column, place)) return 0;
        link_.rateSwitched = 0;
    }
    if (link_.rateSwitched == 0) {
        if (!changeDataRate(column)) {
            recoverAfterTimeout(0);
            return 0;
        }
        link_.rateSwitched = 1;
    }
    return 1;
}

// One matching byte and one answer within the echo time-out. A chip still
// listening at the data rate hears a line error and starts over: that is a
// time-out, and the reconnection that follows matches it again.
int32_t Link::rematch(int32_t column, int32_t place) {
    port_->discardInput();
    const uint8_t match = matchingByte(dev_.bootType);
    if (!port_->writeByte(&match, 0, 0)) return 0;
    if (!readMatchReply(column, place, timeouts_.echo)) return 0;
    if (bootTypeRow(dev_.bootType).secondExchange && !secondExchange()) {
        reportTimeout(BootKind, place);
        return 0;
    }
    link_.matched = 1;
    link_.resyncNeeded = 0;
    return 1;
}

int32_t Link::recoverAfterTimeout(int32_t result) {
    // Tied to message 10002: only a time-out of the target makes the engine reconnect.
    if (result == 0 && session_.LastMessageCode == 10002 && !recovering_) {
        recovering_ = true;
        session_.ProgrammingMode = kModeNone;
        disconnect();
        session_.ConnectStatus = kDisconnected;
        devices_.applyProgrammingMode();
        session_.ConnectStatus = kConnecting;
        const int32_t r = connect(0);
        session_.ConnectStatus = connectStatusFor(r);
        recovering_ = false;
        session_.LastMessageCode = 0;
        return r;
    }
    session_.LastMessageCode = 0;
    return result;
}

void Link::disconnect() {
    session_.AbortRequested = 1;
    if (worker_) worker_->waitIdle();
    port_->close();
    link_.portOpen = 0;
    link_.state = 3;
    session_.LinkPhase = kLinkBootProgram;
    if (hooks_.disconnected) hooks_.disconnected();
    boot_->forgetPasswordSteps();
}

void Link::hangUp() {
    disconnect();
    std::this_thread::sleep_for(std::chrono::milliseconds(kHangUpMs));
}

bool Link::reconnecting() const {
    return worker_ && worker_->busy();
}

int32_t Link::startReconnectWorker() {
    try {
        if (!worker_) worker_ = std::make_unique<CComThread>(*this);
    } catch (const std::exception&) {
        op_.showMessage(10999, 3, 12103);
        return 0;
    }
    worker_->restartTimer();
    session_.AbortRequested = 0;
    worker_->post(CComThread::UM_TRY_CONNECT);
    return 1;
}

}  // namespace ostrand
