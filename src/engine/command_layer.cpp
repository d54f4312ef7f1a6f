// The command layer: command buffer, frames, replies and the reply check.
#include <algorithm>
#include <chrono>
#include <thread>

#include "flash_engine.h"

namespace ostrand {

void CFlashEngine::setCommand(uint8_t code) {
    commandBuffer_[0] = code;
    commandBuffer_[1] = 0;
}

int32_t CFlashEngine::sendCommand(int twoStopBitsFirst, int lastByteApart) {
    return sendFrame(&commandBuffer_[0], 1, twoStopBitsFirst, lastByteApart);
}

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
int32_t CFlashEngine::sendFrame(const uint8_t* bytes, uint32_t count, int twoStopBitsFirst,
                                int lastByteApart) {
    if (pumpDue()) pumpOneMessage();
    const bool split = (session_.ComDelayFlags.load() & session_.LinkPhase.load()) != 0;
    return port_->write(bytes, count, split ? twoStopBitsFirst : 0, split ? lastByteApart : 0) ? 1
                                                                                               : 0;
}

int32_t CFlashEngine::readReply(uint8_t& byte, uint32_t timeoutMs) {
    // A long wait (a chunk being programmed, an erase) is cut into slices,
    // with the window serviced between them.
    constexpr uint32_t kSliceMs = 20;
    using Clock = std::chrono::steady_clock;
    auto since = [](Clock::time_point t) {
        return static_cast<uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
    };
    if (!hooks_.serviceWindow) return port_->readByte(&byte, timeoutMs) ? 1 : 0;
    const auto start = Clock::now();
    for (;;) {
        if (pumpDue()) pumpOneMessage();
        const uint32_t elapsed = since(start);
        const uint32_t slice = std::min(kSliceMs, timeoutMs - std::min(elapsed, timeoutMs));
        const auto sliceStart = Clock::now();
        if (port_->readByte(&byte, slice)) return 1;
        if (elapsed + slice >= timeoutMs) return 0;
        // Back before its time: the port failed, there is nothing to wait for.
        if (since(sliceStart) + 2 < slice) return 0;
    }
}

void CFlashEngine::pumpOneMessage() {
    lastPump = std::chrono::steady_clock::now();
    op_.pump();
}

void CFlashEngine::pauseServiced(uint32_t ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            std::chrono::milliseconds(10), end - std::chrono::steady_clock::now()));
        pumpOneMessage();
    }
}

void CFlashEngine::reportTimeout(ReplyKind kind, int32_t place, int32_t hint) {
    op_.showMessage(10002, place, hint, detailOf(kind));
}

int32_t CFlashEngine::checkReply(ReplyKind kind, int32_t column, uint8_t byte) {
    const ReplyVerdict v = classifyReply(kind, dev_.bootType, column, byte);
    const char* detail = detailOf(kind);
    switch (v.kind) {
        case ReplyVerdict::Echo:
            return 1;
        case ReplyVerdict::IllegalWrite:
            // Programming wants to hear of it; Data Write fails silently.
            if (session_.ReportIllegalWrite == 1) op_.showMessage(10016, 0, 0, detail);
            return 0;
        case ReplyVerdict::Message:
            op_.showMessage(v.code, 0, v.hint, detail);
            return 0;
        case ReplyVerdict::CommandError:
            op_.showCommandError(commandBuffer_[0], detail);
            return 0;
    }
    return 0;
}

// The echo of what was just sent, within the echo time-out, and its check.
int32_t CFlashEngine::awaitEcho(ReplyKind kind, int32_t column, int32_t place) {
    uint8_t reply = 0;
    if (!readReply(reply, timeouts_.echo)) {
        reportTimeout(kind, place);
        return 0;
    }
    return checkReply(kind, column, reply);
}

int32_t CFlashEngine::commandExchange(ReplyKind kind, int32_t column, uint8_t code, int32_t place) {
    setCommand(code);
    if (!sendCommand(0, 0)) return 0;
    return awaitEcho(kind, column, place);
}

int32_t CFlashEngine::headerExchange(ReplyKind kind, int32_t column, uint32_t address,
                                     uint32_t count, int32_t place) {
    uint8_t header[8];
    buildHeader(header, address, count);
    if (!sendFrame(header, 7, 1, 1)) return 0;
    return awaitEcho(kind, column, place);
}

int32_t CFlashEngine::dataExchange(ReplyKind kind, int32_t column, const uint8_t* data,
                                   uint32_t count, int32_t place) {
    if (count > 0 && !sendFrame(data, count, 1, 0)) return 0;
    const uint8_t check = checksum8(data, static_cast<int32_t>(count));
    if (!sendFrame(&check, 1, 0, 1)) return 0;
    return awaitEcho(kind, column, place);
}

int32_t CFlashEngine::readCompletion(ReplyKind kind, int32_t column, uint32_t timeoutMs,
                                     int32_t place, int32_t eccPlace) {
    uint8_t reply = 0;
    if (!readReply(reply, timeoutMs)) {
        reportTimeout(kind, place);
        return 0;
    }
    if (eccPlace != 0 && reply == 0x58) {
        op_.showMessage(10010, eccPlace, 0, detailOf(kind));
        return 0;
    }
    return checkReply(kind, column, reply);
}

}  // namespace ostrand
