// WCP flash commands: write, read, block erase, blank check, SUM and read
// protect through the resident WCP.
#include <algorithm>
#include <cstring>

#include "boot_commands.h"
#include "link.h"
#include "wcp_session.h"

namespace ostrand {

namespace {

constexpr uint32_t kReadChunk = 0x2000;

}  // namespace

// A WCP command that timed out leaves a chip that has started over: the
// resident WCP is gone, so forget it and reconnect before anything else.
int32_t WcpSession::wcpCommandFailed() {
    // Tied to message 10002: a time-out means the chip dropped its WCP.
    if (session_.LastMessageCode == 10002) {
        linkLayer_->clearWcpLoaded();
        link_.matched = 0;
        link_.resyncNeeded = 1;
        linkLayer_->recoverAfterTimeout(0);
    }
    return 0;
}

int32_t WcpSession::wcpWrite(uint32_t address, const uint8_t* data, uint32_t count) {
    const uint32_t chunk = static_cast<uint32_t>(std::max(dev_.maxChunk, 1));
    uint32_t done = 0;
    while (done < count) {
        session_.LastMessageCode = 0;
        if (!loadWcp(kWcpWrite)) return 0;
        const uint32_t n = std::min(count - done, chunk);
        if (!commandExchange(WcpKind, kWcpWrite, wcpCommand(kWcpWrite), 191) ||
            !headerExchange(WcpKind, kWcpWrite, address + done, n, 192) ||
            !dataExchange(WcpKind, kWcpWrite, data + done, n, 193) ||
            !readCompletion(WcpKind, kWcpWrite, timeouts_.completion, 194, 19))
            return wcpCommandFailed();
        done += n;
    }
    flashCache_.update(address, data, count);
    chip_.flashBlank = 0;
    return 1;
}

int32_t WcpSession::wcpReadChunk(uint32_t address, uint32_t count, uint32_t keepFrom,
                                 uint32_t keepTo, uint8_t* buffer, uint32_t bufferStart) {
    if (!commandExchange(WcpKind, kWcpRead, wcpCommand(kWcpRead), 201) ||
        !headerExchange(WcpKind, kWcpRead, address, count, 202))
        return 0;
    uint8_t sum = 0;
    for (uint32_t i = 0; i < count; ++i) {
        pumpOneMessage();
        uint8_t b = 0;
        if (!readReply(b, timeouts_.readByte)) {
            // Bytes that never came must not pass as read.
            reportTimeout(WcpKind, 203);
            return 0;
        }
        sum = static_cast<uint8_t>(sum + b);
        const uint32_t a = address + i;
        if (a >= keepFrom && a <= keepTo) buffer[a - bufferStart] = b;
    }
    uint8_t check = 0;
    if (!readReply(check, timeouts_.readByte)) {
        reportTimeout(WcpKind, 204);
        return 0;
    }
    if (static_cast<uint8_t>(sum + check) != 0) {
        // Noise on the line: the bytes are not what the flash holds.
        op_.showMessage(10008, 0, 0, "WCP");
        return 0;
    }
    return 1;
}

int32_t WcpSession::wcpRead(uint32_t address, uint8_t* buffer, uint32_t count) {
    if (count == 0) return 1;
    const uint32_t keepFrom = address;
    const uint32_t keepTo = address + count - 1;
    uint32_t start = address;
    uint64_t total = count;
    if (PasswordBootTypes(dev_.bootType)) {
        const uint32_t unit = alignmentUnit(dev_, devices_);
        const uint32_t shift = start % unit;
        start -= shift;
        total += shift;
        total = (total + unit - 1) / unit * unit;
    }
    uint64_t done = 0;
    while (done < total) {
        session_.LastMessageCode = 0;
        if (!loadWcp(kWcpRead)) return 0;
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(total - done, kReadChunk));
        if (!wcpReadChunk(static_cast<uint32_t>(start + done), n, keepFrom, keepTo, buffer,
                          address))
            return wcpCommandFailed();
        done += n;
    }
    return 1;
}

int32_t WcpSession::wcpBlockErase(uint32_t address, uint32_t size) {
    session_.LastMessageCode = 0;
    if (!loadWcp(kWcpBlockErase)) return 0;
    if (!commandExchange(WcpKind, kWcpBlockErase, wcpCommand(kWcpBlockErase), 211))
        return wcpCommandFailed();
    uint8_t header[8];
    buildHeader(header, address, size / 2);
    if (!sendFrame(header, 7, 1, 1)) return 0;
    uint8_t reply = 0;
    if (!readReply(reply, timeouts_.echo)) {
        reportTimeout(WcpKind, 212);
        return wcpCommandFailed();
    }
    if (reply == 0x48) {
        op_.showMessage(10315, 21, 12110);
        return 0;
    }
    if (!checkReply(WcpKind, kWcpBlockErase, reply)) return 0;
    if (!readReply(reply, devices_.eraseWaitMs())) {
        reportTimeout(WcpKind, 213);
        return wcpCommandFailed();
    }
    if (reply == 0x48) {
        op_.showMessage(10010, 21, 0, "WCP");
        return 0;
    }
    if (!checkReply(WcpKind, kWcpBlockErase, reply)) return 0;
    flashCache_.fill(address, size, 0xFF);
    return 1;
}

int32_t WcpSession::wcpBlankCheck(uint32_t address, uint32_t count, int32_t& blank) {
    session_.LastMessageCode = 0;
    if (!loadWcp(kWcpBlank)) return 0;
    if (!commandExchange(WcpKind, kWcpBlank, wcpCommand(kWcpBlank), 221) ||
        !headerExchange(WcpKind, kWcpBlank, address, count, 222))
        return wcpCommandFailed();
    uint8_t reply = 0;
    if (!readReply(reply, timeouts_.completion)) {
        reportTimeout(WcpKind, 223);
        return wcpCommandFailed();
    }
    if (reply == 0x74) {
        blank = 0;
        return 1;
    }
    if (!checkReply(WcpKind, kWcpBlank, reply)) return 0;
    blank = 1;
    return 1;
}

int32_t WcpSession::wcpSum(uint32_t address, uint32_t count, uint16_t& sum) {
    sum = 0;
    session_.LastMessageCode = 0;
    if (!loadWcp(kWcpSum)) return 0;
    if (!commandExchange(WcpKind, kWcpSum, wcpCommand(kWcpSum), 241) ||
        !headerExchange(WcpKind, kWcpSum, address, count, 242))
        return wcpCommandFailed();
    uint8_t hi = 0, lo = 0, check = 0;
    if (!readReply(hi, timeouts_.completion)) {
        op_.showMessage(10002, 241, 0, "");
        return wcpCommandFailed();
    }
    if (!readReply(lo, timeouts_.completion)) {
        op_.showMessage(10002, 242, 0, "");
        return wcpCommandFailed();
    }
    if (!readReply(check, timeouts_.completion)) {
        reportTimeout(WcpKind, 245);
        return wcpCommandFailed();
    }
    sum = static_cast<uint16_t>(hi << 8 | lo);
    return 1;
}

int32_t WcpSession::wcpReadProtect() {
    if (!ProtectTypes(dev_.bootType)) return 1;
    const int rounds = static_cast<int>(bootTypeRow(dev_.bootType).protectRounds);
    for (int round = 0; round < rounds; ++round) {
        if (round == 1) sleepMs(120);
        session_.LastMessageCode = 0;
        if (!loadWcp(kWcpReadProtect)) return 0;
        if (!commandExchange(WcpKind, kWcpReadProtect, wcpCommand(kWcpReadProtect), 641) ||
            !headerExchange(WcpKind, kWcpReadProtect, 0xFFFFFFFFu, round == 0 ? 0xFFFF : 0, 642) ||
            !readCompletion(WcpKind, kWcpReadProtect, timeouts_.echo, 643))
            return wcpCommandFailed();
    }
    session_.ProtectState = 1;
    return 1;
}

}  // namespace ostrand
