// Write control programs: finding and checking a WCP file, the RAM transfer
// through the boot program in every BootType's form, the start of the WCP and
// its rate change, and which WCP is resident.
#include <chrono>
#include <string>
#include <thread>

#include "boot_commands.h"
#include "command_channel.h"
#include "link.h"
#include "objfile/hex_records.h"
#include "wcp_session.h"

namespace ostrand {

namespace {

struct WcpFile {
    const char* name;
    int32_t missingMessage;
    int32_t hint;
};

constexpr WcpFile kWcpFiles[7] = {
    {"wordwrite.wcp", 10309, 12114},  {"wordread.wcp", 10310, 12115},
    {"blockerase.wcp", 10312, 12117}, {"blank.wcp", 10311, 12116},
    {"sum.wcp", 10313, 12118},        {"readprotect.wcp", 10316, 12148},
    {"totalwcp.wcp", 10308, 12113},
};

constexpr int32_t kTotalWcp = 6;
constexpr uint32_t kStartWaitMs = 30000;
constexpr uint32_t kMatchReplyMs = 5000;

const WcpFile* wcpFileNamed(const std::filesystem::path& path) {
    const std::string name = path.filename().string();
    for (const WcpFile& f : kWcpFiles)
        if (name == f.name) return &f;
    return nullptr;
}

}  // namespace

WcpSession::WcpSession(EngineState& s) : EngineLayer(s) {}

std::filesystem::path WcpSession::wcpDeviceFolder() const {
    std::string device;
    devices_.selectedDeviceName(device);
    const std::filesystem::path base =
        wcpBaseFolder_.empty() ? settings_.programFolder : wcpBaseFolder_;
    return base / device;
}

std::filesystem::path WcpSession::wcpFilePath(int32_t index) const {
    return wcpDeviceFolder() / kWcpFiles[index].name;
}

int32_t WcpSession::loadWcp(int32_t index) {
    if (session_.ProgrammingMode == kModeWcpAll || chip_.modeSnapshot == kModeWcpAll)
        index = kTotalWcp;
    if (index < 0 || index > kTotalWcp) return 0;
    if (chip_.wcpLoaded[index] == 1) return 1;

    // A chip opened by a password record is opened before its first WCP.
    if (bootTypeRow(dev_.bootType).passwordRecord && session_.ChipRewritten == 0 &&
        boot_->devicePasswordSet() && !anyWcpLoaded()) {
        if (!boot_->bootPasswordForm()) {
            linkLayer_->recoverAfterTimeout(0);
            return 0;
        }
    }
    if (index != kTotalWcp) {
        // A leave that timed out leaves a chip that has started over.
        if (anyWcpLoaded() && !leaveWcp()) return wcpCommandFailed();
        link_.matched = 0;
        link_.rateSwitched = 0;
        linkLayer_->clearWcpLoaded();
        if (!linkLayer_->setPortRate(rate_.initial)) return 0;
        if (linkLayer_->matchBootProgram(1, false) != 1) {
            op_.showMessage(10000, 12, 12100, "Boot Program");
            linkLayer_->startReconnectWorker();
            return 0;
        }
    }
    if (ProtectTypes(dev_.bootType) && !boot_->protectCheckBeforeWcp()) return 0;

    std::error_code ec;
    if (!std::filesystem::is_directory(wcpDeviceFolder(), ec)) {
        op_.showMessage(10300, 12);
        return 0;
    }
    const std::filesystem::path path = wcpFilePath(index);
    if (!std::filesystem::exists(path, ec)) {
        op_.showMessage(kWcpFiles[index].missingMessage, 12, kWcpFiles[index].hint);
        return 0;
    }
    if (!checkWcpFile(path)) return 0;
    if (!transferWcp(path)) {
        linkLayer_->recoverAfterTimeout(0);
        return 0;
    }

    const BootTypeRow& row = bootTypeRow(dev_.bootType);
    switch (row.wcpStart) {
        case WcpStart::Settle:
            if (row.wcpSettleMs > 0) channel_->pauseServiced(row.wcpSettleMs);
            break;
        case WcpStart::LineResetChangeRate: {
            if (!linkLayer_->resetTarget(1)) return 0;
            if (waitWcpStart() == 2) return 0;
            const int32_t changed = wcpChangeRate();
            if (changed == 1 && rate_.data != kRate9600 && !linkLayer_->setPortRate(rate_.data))
                return 0;
            break;
        }
        case WcpStart::LineResetSetRateCode:
            if (!linkLayer_->resetTarget(1)) return 0;
            if (rate_.data != kRate9600 && !linkLayer_->setPortRate(kRate9600)) return 0;
            if (waitWcpStart() == 2) return 0;
            if (rate_.data != kRate9600 &&
                (!wcpSetRateCode() || !linkLayer_->setPortRate(rate_.data)))
                return 0;
            break;
    }

    if (index != kTotalWcp) link_.matched = 0;  // the boot program no longer answers
    for (int32_t& f : chip_.wcpLoaded) f = 0;
    chip_.wcpLoaded[index] = 1;
    if (!rate_.divisorSent && rate_.clockEntry) {
        if (!wcpSetDivisor()) return 0;
        rate_.divisorSent = true;
    }
    session_.LinkPhase = kLinkWcp;
    return 1;
}

int32_t WcpSession::leaveWcp() {
    session_.LastMessageCode = 0;
    if (!commandExchange(WcpKind, kWcpLeave, wcpCommand(kWcpLeave), 401)) return 0;
    if (bootTypeRow(dev_.bootType).leaveCompletion &&
        !readCompletion(WcpKind, kWcpLeave, timeouts_.completion, 402))
        return 0;
    // The boot program waits for its matching byte again.
    linkLayer_->clearWcpLoaded();
    link_.matched = 0;
    return 1;
}

int32_t WcpSession::checkWcpFile(const std::filesystem::path& path) {
    wcpSummary_ = WcpSummary{};
    HexFileReader in(path);
    if (!in.isOpen()) {
        op_.showMessage(10304, 152, 12107);
        return 0;
    }
    const BootTypeRow& row = bootTypeRow(dev_.bootType);
    const bool segmentsRefused =
        row.segmentRecord || (row.memorySizes && settings_.inForce.memSizeEmulat == 60);
    uint32_t segmentBase = 0;
    uint32_t lowest = 0xFFFFFFFFu, highest = 0, highestEnd = 0, dataBytes = 0;
    bool any = false;
    HexRecord r;
    bool wellFormed = false;
    while (in.next(r, wellFormed)) {
        if (!wellFormed) {
            op_.showMessage(10306, 15, 12107);
            return 0;
        }
        if (PasswordBootTypes(dev_.bootType)) dataBytes += r.count();
        if (r.count() == 0 && r.address() == 0 && r.type() == 0x01) break;  // the end record
        const bool segment = r.isSegment() && r.address() == 0 && r.data()[1] == 0x00;
        if (segment) {
            if ((r.data()[0] >> 4) != 0 && segmentsRefused) {
                op_.showMessage(10306, 152, 12107);
                return 0;
            }
        } else if (r.type() != 0x00) {
            op_.showMessage(10306, 15, 12107);
            return 0;
        }
        if (!r.sumOk()) {
            op_.showMessage(10303, 15, 12107);
            return 0;
        }
        if (segment) {
            segmentBase = r.segment() * 16;
            continue;
        }
        const uint32_t absolute = segmentBase + r.address();
        lowest = std::min(lowest, absolute);
        highest = std::max(highest, absolute);
        if (r.count() > 0) highestEnd = std::max(highestEnd, absolute + r.count() - 1);
        any = true;
    }
    if (in.failed()) {
        op_.showMessage(10304, 151, 12107);
        return 0;
    }
    // A record that starts inside RAM but runs past its end would make the
    // boot program refuse the transfer: check the last byte, not the start.
    if (!any || lowest < dev_.ramStart || std::max(highest, highestEnd) > dev_.ramEnd) {
        op_.showMessage(10305, 15, 12107);
        return 0;
    }
    wcpSummary_.lowest = lowest;
    wcpSummary_.highest = highest;
    wcpSummary_.dataBytes = dataBytes;
    return 1;
}

// Before a RAM transfer: match the boot program again after a failure or
// after a WCP was left.
int32_t WcpSession::wcpResync() {
    if (!(link_.resyncNeeded == 1 || (chip_.modeSnapshot == kModeWcpDiv && link_.matched == 0)))
        return 1;
    const BootTypeRow& row = bootTypeRow(dev_.bootType);
    if (!linkLayer_->setPortRate(row.adapterClock ? rate_.initial : kRate9600)) return 0;
    if (!linkLayer_->rematch(kColRamTransfer, 171)) return 0;
    link_.rateSwitched = row.resyncKeepsRate ? 1 : 0;
    return 1;
}

int32_t WcpSession::readTransferSum(uint32_t timeoutMs, int32_t firstPlace) {
    uint8_t b = 0;
    if (!readReply(b, timeoutMs)) {
        reportTimeout(BootKind, firstPlace, firstPlace == 173 ? 12140 : 0);
        return 0;
    }
    if (!readReply(b, timeoutMs)) {
        reportTimeout(BootKind, firstPlace + 1);
        return 0;
    }
    return 1;
}

int32_t WcpSession::transferWcp(const std::filesystem::path& path) {
    session_.LinkPhase = kLinkBootProgram;
    session_.LastMessageCode = 0;
    const uint32_t t = devices_.bootWaitMs();
    const uint8_t ramCommand = bootCommand(dev_.bootType, kColRamTransfer);
    auto fail = [&] {
        link_.resyncNeeded = 1;
        return 0;
    };

    if (PasswordBootTypes(dev_.bootType)) {
        // Matched directly at the working rate: no resync and no rate step.
        if (!commandExchange(BootKind, kColRamTransfer, ramCommand, 172)) return fail();
        if (!boot_->sendPasswordFrame(kColRamTransfer)) return fail();
        uint8_t reply = 0;
        if (!readReply(reply, kMatchReplyMs)) {
            reportTimeout(BootKind, 173, 12140);
            return fail();
        }
        if (reply == (ramCommand | 0x01)) {
            op_.showMessage(10018, 0, 0, "Boot Program");
            return fail();
        }
        if (!checkReply(BootKind, kColRamTransfer, reply)) return fail();
        if (!headerExchange(BootKind, kColRamTransfer, wcpSummary_.lowest, wcpSummary_.dataBytes,
                            174))
            return fail();
        if (!sendWcpRecords(path)) return fail();
        if (!readCompletion(BootKind, kColRamTransfer, t, 175)) return fail();
        link_.resyncNeeded = 0;
        return 1;
    }

    if (bootTypeRow(dev_.bootType).blockCommands) {
        if (!commandExchange(BootKind, kColRamTransfer, ramCommand, 171)) return fail();
        if (!boot_->sendPasswordFrame(kColRamTransfer) || !sendWcpRecords(path)) return fail();
        if (!readTransferSum(t, 173)) return fail();
        link_.resyncNeeded = 0;
        return 1;
    }

    return transferThroughBootProgram(path);
}

// The RAM transfer of BootTypes 1 to 6, 9 and 12: rematch, rate step, records.
int32_t WcpSession::transferThroughBootProgram(const std::filesystem::path& path) {
    const uint32_t t = devices_.bootWaitMs();
    const uint8_t ramCommand = bootCommand(dev_.bootType, kColRamTransfer);
    auto fail = [&] {
        link_.resyncNeeded = 1;
        return 0;
    };
    if (!wcpResync()) return fail();
    if (link_.rateSwitched == 0) {
        if (bootTypeRow(dev_.bootType).bootAt9600) {
            // Its boot program runs at 9600 only: FF is a plain command, and
            // its echo is FF, not the RAM transfer command.
            if (!sendCode(0xFF)) return fail();
            uint8_t reply = 0;
            if (!readReply(reply, timeouts_.echo)) {
                reportTimeout(BootKind, 172);
                return fail();
            }
            if (reply != 0xFF) {
                checkReply(BootKind, kColRamTransfer, reply);
                return fail();
            }
        } else if (!linkLayer_->changeDataRate(kColRamTransfer)) {
            link_.resyncNeeded = 1;
            linkLayer_->recoverAfterTimeout(0);
            return 0;
        }
        link_.rateSwitched = 1;
    }
    if (!commandExchange(BootKind, kColRamTransfer, ramCommand, 172)) return fail();

    if (bootTypeRow(dev_.bootType).readyByte) {
        uint8_t ready = 0;
        if (!readReply(ready, timeouts_.completion)) {
            reportTimeout(BootKind, 173);
            return fail();
        }
        if (!checkReply(BootKind, kColRamTransfer, ready)) return fail();
        if (!sendWcpRecords(path) || !readTransferSum(t, 174)) return fail();
        link_.resyncNeeded = 0;
        return 1;
    }
    if (!boot_->sendPasswordFrame(kColRamTransfer)) return fail();
    if (!sendWcpRecords(path)) return fail();
    if (bootTypeRow(dev_.bootType).adapterClock) {
        // These sum bytes are not looked at: wait, then take what came.
        channel_->pauseServiced(t);
        for (int i = 0; i < 3; ++i) {
            uint8_t b = 0;
            if (!readReply(b, 1)) break;
        }
    } else if (!readTransferSum(t, 173)) {
        return fail();
    }
    link_.resyncNeeded = 0;
    return 1;
}

int32_t WcpSession::sendWcpRecords(const std::filesystem::path& path) {
    HexFileReader in(path);
    if (!in.isOpen()) {
        std::error_code ec;
        if (std::filesystem::exists(path, ec)) {
            op_.showMessage(10304, 2612);
        } else if (const WcpFile* f = wcpFileNamed(path)) {
            op_.showMessage(f->missingMessage, 261, f->hint);
        } else {
            op_.showMessage(10301, 261);
        }
        return 0;
    }
    const bool dataOnly = PasswordBootTypes(dev_.bootType);
    std::vector<uint8_t> pending;
    bool havePending = false;
    const BootTypeRow& row = bootTypeRow(dev_.bootType);
    if (!dataOnly &&
        (row.segmentRecord || (row.memorySizes && settings_.inForce.memSizeEmulat != 60))) {
        pending = {0x3A, 0x02, 0x00, 0x00, 0x02, 0x00, 0x00, 0xFC};
        havePending = true;
    }
    uint8_t running = 0;
    HexRecord record;
    bool wellFormed = false;
    while (in.next(record, wellFormed)) {
        if (!wellFormed) continue;
        std::vector<uint8_t> piece;
        if (dataOnly) {
            piece.assign(record.data(), record.data() + record.count());
            for (uint8_t b : piece) running = static_cast<uint8_t>(running + b);
            if (piece.empty()) continue;
        } else {
            piece.resize(record.size + 1);
            piece[0] = 0x3A;  // the colon
            std::copy_n(record.bytes, record.size, piece.begin() + 1);
        }
        // Each piece waits for the next line so that the last can be marked.
        if (havePending && !sendFrame(pending.data(), static_cast<uint32_t>(pending.size()), 0, 0))
            return 0;
        pending = std::move(piece);
        havePending = true;
    }
    if (in.failed()) {
        op_.showMessage(10304, 2611, 12125);
        return 0;
    }
    if (dataOnly) {
        if (havePending && !sendFrame(pending.data(), static_cast<uint32_t>(pending.size()), 0, 0))
            return 0;
        pending = {static_cast<uint8_t>(~running)};
        havePending = true;
    }
    if (!havePending) return 1;
    return sendFrame(pending.data(), static_cast<uint32_t>(pending.size()), 0, 1);
}

int32_t WcpSession::waitWcpStart() {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(kStartWaitMs);
    while (Clock::now() < end) {
        uint8_t last = 0;
        if (!readReply(last, 20)) continue;
        uint8_t rest[256];
        uint32_t n = sizeof rest;
        if (port_->readAvailable(rest, n) && n > 0) last = rest[n - 1];
        if (last == 0x5A) return 0;
        if (last == 0x55) {
            op_.showMessage(10017);
            return 1;
        }
    }
    reportTimeout(WcpKind, 421);
    return 2;
}

int32_t WcpSession::wcpChangeRate() {
    struct Write {
        uint16_t reg;
        uint8_t value;
    };
    struct Row {
        uint32_t bps;
        Write writes[3];
    };
    static constexpr Row kRows[] = {
        {2400, {{0x0053, 116}, {0x0054, 15}, {0x8000, 0x55}}},
        {4800, {{0x0053, 104}, {0x0054, 14}, {0x8000, 0x55}}},
        {9600, {{0x0053, 100}, {0x0054, 15}, {0x8000, 0x55}}},
        {19200, {{0x0053, 88}, {0x0054, 14}, {0x8000, 0x55}}},
        {31250, {{0x0053, 21}, {0x8000, 0x55}, {0, 0}}},
        {62500, {{0x0053, 10}, {0x8000, 0x55}, {0, 0}}},
    };
    if (rate_.data == kRate9600) return 1;
    for (const Row& row : kRows) {
        if (rate_.data.bps() != row.bps) continue;
        for (const Write& w : row.writes) {
            if (w.reg == 0 && w.value == 0) break;
            if (!registerWrite(w.reg, w.value)) return 0;
        }
        channel_->pauseServiced(100);
        return 1;
    }
    return 0;
}

int32_t WcpSession::registerWrite(uint16_t address, uint8_t value) {
    if (!commandExchange(WcpKind, kWcpRegister, wcpCommand(kWcpRegister), 411)) return 0;
    uint8_t frame[4];
    buildRegisterFrame(frame, address, value);
    if (!sendFrame(frame, 4, 1, 1)) return 0;
    uint8_t reply = 0;
    if (!readReply(reply, timeouts_.echo)) {
        reportTimeout(WcpKind, 412);
        return 0;
    }
    if (!checkReply(WcpKind, kWcpRegister, reply)) return 0;
    return readCompletion(WcpKind, kWcpRegister, timeouts_.completion, 413, 41) ? 1 : 0;
}

int32_t WcpSession::wcpSetDivisor() {
    if (!PasswordBootTypes(dev_.bootType)) return 1;
    if (!commandExchange(WcpKind, kWcpDivisor, wcpCommand(kWcpDivisor), 651)) return 0;
    const uint32_t size = uint32_t{rate_.clockSelect} << 8 | uint32_t(rate_.divisorK & 0x0F) << 4 |
                          uint32_t(rate_.divisorN & 0x0F);
    if (!headerExchange(WcpKind, kWcpDivisor, 0, size, 652)) return 0;
    if (!readCompletion(WcpKind, kWcpDivisor, timeouts_.echo, 653)) return 0;
    channel_->pauseServiced(333);
    if (!linkLayer_->setPortRate(kRate115200)) return 0;
    rate_.data = kRate115200;
    if (hooks_.dataRateChanged) hooks_.dataRateChanged(rate_.data);
    return 1;
}

int32_t WcpSession::wcpSetRateCode() {
    if (!bootTypeRow(dev_.bootType).wcpRateCode) return 1;
    if (!commandExchange(WcpKind, kWcpRateCode, wcpCommand(kWcpRateCode), 661)) return 0;
    if (!headerExchange(WcpKind, kWcpRateCode, 0, rate_.code, 662)) return 0;
    return readCompletion(WcpKind, kWcpRateCode, timeouts_.echo, 663) ? 1 : 0;
}

}  // namespace ostrand
