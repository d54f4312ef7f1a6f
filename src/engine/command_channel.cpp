// The command channel: frames, replies and the reply check.
#include <algorithm>
#include <chrono>
#include <thread>

#include "command_channel.h"

namespace ostrand {

CommandChannel::CommandChannel(Port& port, Session& session, Operator& op,
                               const DeviceParameters& device, const EngineTimeouts& timeouts,
                               const EngineHooks& hooks)
    : port_(port), session_(session), op_(op), dev_(device), timeouts_(timeouts), hooks_(hooks) {}

namespace {

// When the window was last serviced: short waits that follow each other
// add up, so every frame and reply services it once 10 ms have passed.
thread_local std::chrono::steady_clock::time_point lastPump;

bool pumpDue() {
    return std::chrono::steady_clock::now() - lastPump >= std::chrono::milliseconds(10);
}

}  // namespace

// The stop-bit split applies only where the device's delay flags name the
// program the host is talking to; elsewhere every byte goes with one.
bool CommandChannel::send(const uint8_t* bytes, uint32_t count, int twoStopBitsFirst,
                          int lastByteApart) {
    if (pumpDue()) pump();
    const bool split = (session_.ComDelayFlags.load() & session_.LinkPhase.load()) != 0;
    return port_.write(bytes, count, split ? twoStopBitsFirst : 0, split ? lastByteApart : 0);
}

bool CommandChannel::read(uint8_t& byte, uint32_t timeoutMs) {
    // A long wait (a chunk being programmed, an erase) is cut into slices,
    // with the window serviced between them.
    constexpr uint32_t kSliceMs = 20;
    using Clock = std::chrono::steady_clock;
    auto since = [](Clock::time_point t) {
        return static_cast<uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
    };
    if (!hooks_.serviceWindow) return port_.readByte(&byte, timeoutMs);
    const auto start = Clock::now();
    for (;;) {
        if (pumpDue()) pump();
        const uint32_t elapsed = since(start);
        const uint32_t slice = std::min(kSliceMs, timeoutMs - std::min(elapsed, timeoutMs));
        const auto sliceStart = Clock::now();
        if (port_.readByte(&byte, slice)) return true;
        if (elapsed + slice >= timeoutMs) return false;
        // Back before its time: the port failed, there is nothing to wait for.
        if (since(sliceStart) + 2 < slice) return false;
    }
}

void CommandChannel::pump() {
    lastPump = std::chrono::steady_clock::now();
    op_.pump();
}

void CommandChannel::pauseServiced(uint32_t ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            std::chrono::milliseconds(10), end - std::chrono::steady_clock::now()));
        pump();
    }
}

bool CommandChannel::sleep(uint32_t ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (session_.AbortRequested != 0) return false;
        auto left = end - std::chrono::steady_clock::now();
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(5)));
        pump();
    }
    return true;
}

void CommandChannel::reportTimeout(ReplyKind kind, int32_t place, int32_t hint) {
    op_.showMessage(10002, place, hint, detailOf(kind));
}

Reply CommandChannel::check(ReplyKind kind, int32_t column, uint8_t byte) {
    const ReplyVerdict v = classifyReply(kind, dev_.bootType, column, byte);
    const char* detail = detailOf(kind);
    switch (v.kind) {
        case ReplyVerdict::Echo:
            return {Reply::Ok};
        case ReplyVerdict::IllegalWrite:
            // Programming wants to hear of it; Data Write fails silently.
            if (session_.ReportIllegalWrite == 1) op_.showMessage(10016, 0, 0, detail);
            return {Reply::Refused};
        case ReplyVerdict::Message:
            op_.showMessage(v.code, 0, v.hint, detail);
            return {Reply::Refused};
        case ReplyVerdict::CommandError:
            op_.showCommandError(inProgress_, detail);
            return {Reply::Refused};
    }
    return {Reply::Refused};
}

// The echo of what was just sent, within the echo time-out, and its check.
Reply CommandChannel::awaitEcho(ReplyKind kind, int32_t column, int32_t place) {
    uint8_t reply = 0;
    if (!read(reply, timeouts_.echo)) {
        reportTimeout(kind, place);
        return {Reply::TimedOut};
    }
    return check(kind, column, reply);
}

Reply CommandChannel::command(ReplyKind kind, int32_t column, uint8_t code, int32_t place) {
    if (!sendCode(code)) return {Reply::PortFailed};
    return awaitEcho(kind, column, place);
}

int CommandChannel::switchRate(uint8_t code, uint32_t bps, bool checked, uint8_t& reply) {
    inProgress_ = code;
    return checked ? port_.switchBaudChecked(bps, &inProgress_, &reply, timeouts_.echo)
                   : port_.switchBaudUnchecked(bps, &inProgress_, &reply, timeouts_.echo);
}

bool CommandChannel::sendCode(uint8_t code) {
    inProgress_ = code;
    return send(&code, 1, 0, 0);
}

Reply CommandChannel::header(ReplyKind kind, int32_t column, uint32_t address, uint32_t count,
                             int32_t place) {
    uint8_t frame[8];
    buildHeader(frame, address, count);
    if (!send(frame, 7, 1, 1)) return {Reply::PortFailed};
    return awaitEcho(kind, column, place);
}

Reply CommandChannel::data(ReplyKind kind, int32_t column, const uint8_t* bytes, uint32_t count,
                           int32_t place) {
    if (count > 0 && !send(bytes, count, 1, 0)) return {Reply::PortFailed};
    const uint8_t sum = checksum8(bytes, static_cast<int32_t>(count));
    if (!send(&sum, 1, 0, 1)) return {Reply::PortFailed};
    return awaitEcho(kind, column, place);
}

Reply CommandChannel::completion(ReplyKind kind, int32_t column, uint32_t timeoutMs, int32_t place,
                                 int32_t eccPlace) {
    uint8_t reply = 0;
    if (!read(reply, timeoutMs)) {
        reportTimeout(kind, place);
        return {Reply::TimedOut};
    }
    if (eccPlace != 0 && reply == 0x58) {
        op_.showMessage(10010, eccPlace, 0, detailOf(kind));
        return {Reply::Refused};
    }
    return check(kind, column, reply);
}

}  // namespace ostrand
