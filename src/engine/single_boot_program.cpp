// Single-boot programming: the boot program's own transfer of an object, its
// erase form and the BootType 4 password form.
#include <algorithm>
#include <string>

#include "boot_commands.h"
#include "link.h"
#include "objfile/hex_records.h"
#include "wcp_session.h"

namespace ostrand {

namespace {

// What a programming transfer carries: the extent of its data and whether
// the records ascend without overlapping.
struct ObjectExtent {
    uint32_t low = 0xFFFFFFFFu, high = 0, bytes = 0;
    bool ascending = true;
    uint32_t span() const { return bytes ? high - low + 1 : 0; }
};

ObjectExtent objectExtent(const std::filesystem::path& path) {
    ObjectExtent e;
    HexFileReader in(path);
    HexRecord r;
    bool wellFormed = false;
    uint32_t segment = 0, next = 0;
    while (in.next(r, wellFormed)) {
        if (!wellFormed) continue;
        if (r.isSegment()) segment = r.segment() * 16;
        if (r.type() != 0x00 || r.count() == 0) continue;
        const uint32_t at = segment + r.address();
        if (e.bytes && at < next) e.ascending = false;
        next = at + r.count();
        e.low = std::min(e.low, at);
        e.high = std::max(e.high, next - 1);
        e.bytes += r.count();
    }
    if (!e.bytes) e.low = 0;
    return e;
}

}  // namespace

int32_t BootCommands::sendObjectRecords(const std::filesystem::path& path, bool showProgress) {
    HexFileReader in(path);
    if (!in.isOpen()) {
        std::error_code ec;
        if (!std::filesystem::exists(path, ec))
            op_.showMessage(10400, 262);
        else
            op_.showMessage(10403, 2622);
        return 0;
    }
    const bool stream = PasswordBootTypes(dev_.bootType);
    std::vector<uint8_t> pending;
    bool havePending = false;
    uint8_t running = 0;
    // The stream fills the chip from the header's address on: a gap between
    // records goes as FF bytes, which leave the flash as it is.
    uint32_t segment = 0, next = 0;
    bool started = false;
    auto flush = [&](bool last) {
        if (!havePending) return true;
        havePending = false;
        return sendFrame(pending.data(), static_cast<uint32_t>(pending.size()), 0, last ? 1 : 0);
    };
    const BootTypeRow& row = bootTypeRow(dev_.bootType);
    if (!stream &&
        (row.segmentRecord || (row.memorySizes && settings_.inForce.memSizeEmulat != 60))) {
        pending = {0x3A, 0x02, 0x00, 0x00, 0x02, 0x00, 0x00, 0xFC};
        havePending = true;
    }
    HexRecord record;
    bool wellFormed = false;
    while (in.next(record, wellFormed)) {
        if (!wellFormed) continue;
        std::vector<uint8_t> piece;
        if (stream) {
            if (record.isSegment()) segment = record.segment() * 16;
            if (record.type() != 0x00 || record.count() == 0) continue;
            const uint32_t at = segment + record.address();
            if (started && at > next) piece.assign(at - next, 0xFF);
            started = true;
            next = at + record.count();
            piece.insert(piece.end(), record.data(), record.data() + record.count());
            for (uint8_t b : piece) running = static_cast<uint8_t>(running + b);
        } else {
            piece.resize(record.size + 1);
            piece[0] = 0x3A;  // the colon
            std::copy_n(record.bytes, record.size, piece.begin() + 1);
        }
        if (piece.empty()) continue;
        if (!flush(false)) return 0;
        pending = std::move(piece);
        havePending = true;
        if (showProgress) op_.progressStep(static_cast<int32_t>(record.size) * 2);
        pumpOneMessage();
    }
    if (in.failed()) {
        op_.showMessage(10403, 2621, 12125);
        return 0;
    }
    if (stream) {
        if (!flush(false)) return 0;
        pending = {static_cast<uint8_t>(~running)};
        havePending = true;
    }
    return flush(true);
}

int32_t BootCommands::programSingleBoot(const std::filesystem::path& expansionFile) {
    return singleBootTransfer(kFormProgram, &expansionFile);
}

int32_t BootCommands::singleBootObjectFits(const std::filesystem::path& expansionFile) {
    if (!bootTypeRow(dev_.bootType).oneTransfer) return 1;
    const ObjectExtent e = objectExtent(expansionFile);
    if (!e.ascending) {
        op_.showMessage(10403, 2621, 12125);
        return 0;
    }
    if (e.span() > 1024) {
        op_.showMessage(10023);
        return 0;
    }
    return 1;
}

// A type-10 record: count address, compare address (three bytes each), password.
int32_t BootCommands::sendPasswordRecord(const PasswordChoice& pw) {
    std::vector<uint8_t> r = {static_cast<uint8_t>(6 + pw.bytes.size()), 0, 0, 0x10};
    for (uint32_t a : {pw.numAdd, pw.cmpAdd})
        for (int i = 2; i >= 0; --i) r.push_back(static_cast<uint8_t>(a >> (8 * i)));
    r.insert(r.end(), pw.bytes.begin(), pw.bytes.end());
    r.push_back(checksum8(r.data(), static_cast<int32_t>(r.size())));
    r.insert(r.begin(), 0x3A);
    return sendFrame(r.data(), static_cast<uint32_t>(r.size()), 0, 0);
}

int32_t BootCommands::bootPasswordForm() {
    if (!bootTypeRow(dev_.bootType).passwordRecord || chip_.flashBlank == 1) return 1;
    return singleBootTransfer(kFormPassword, nullptr);
}

int32_t BootCommands::singleBootTransfer(int form, const std::filesystem::path* path) {
    session_.LastMessageCode = 0;
    if (bootCommand(dev_.bootType, kColProgram) == 0) return 0;  // BootType 7: WCPs only

    // The extent of a programming transfer, for the header of BootTypes 8 and 10.
    uint32_t low = 0, count = 0;
    if (form == kFormProgram) {
        if (!singleBootObjectFits(*path)) return 0;
        const ObjectExtent e = objectExtent(*path);
        low = e.low;
        count = e.span();
    }
    const uint32_t t = form == kFormErase ? devices_.eraseWaitMs() : devices_.bootWaitMs();
    waitCursor(true);
    // A boot program at 9600 only runs its FF step before every programming command.
    if (bootTypeRow(dev_.bootType).bootAt9600) link_.rateSwitched = 0;
    int32_t ok = beginBootCommand(kColProgram, 161, 162);

    if (ok && bootTypeRow(dev_.bootType).oneTransfer) {
        uint8_t reply = 0;
        ok = sendPasswordFrame(kColProgram);
        if (ok && !readReply(reply, timeouts_.echo)) {
            reportTimeout(BootKind, 163);
            ok = 0;
        } else if (ok && reply == (bootCommand(dev_.bootType, kColProgram) | 0x01)) {
            op_.showMessage(10018, 0, 0, "Boot Program");
            ok = 0;
        } else if (ok) {
            ok = checkReply(BootKind, kColProgram, reply) ? 1 : 0;
        }
        ok = ok && headerExchange(BootKind, kColProgram, low, count, 164);
        ok = ok && sendObjectRecords(*path, false);
        ok = ok && readCompletion(BootKind, kColProgram, t, 165);
    } else if (ok) {
        // A boot program that does not erase first says it is ready (C1).
        if (!EraseFirstTypes(dev_.bootType)) {
            uint8_t reply = 0;
            if (!readReply(reply, timeouts_.completion)) {
                reportTimeout(BootKind, 163);
                ok = 0;
            } else if (reply != 0xC1) {
                ok = checkReply(BootKind, kColProgram, reply) ? 1 : 0;
            }
        }
        if (ok && bootTypeRow(dev_.bootType).programPassword) ok = sendPasswordFrame(kColProgram);
        if (ok) {
            // A chip opened by a password record of its own gets it in the
            // password form and before the records of a programming.
            // A blank chip holds no password and needs no record.
            if (bootTypeRow(dev_.bootType).passwordRecord && form != kFormErase &&
                chip_.flashBlank == 0) {
                const PasswordChoice pw = choosePassword();
                if (form == kFormPassword || !pw.bytes.empty()) ok = sendPasswordRecord(pw);
            }
            if (ok && form == kFormProgram) {
                ok = sendObjectRecords(*path, false);
            } else if (ok) {
                const uint8_t end[6] = {0x3A, 0x00, 0x00, 0x00, 0x01, 0xFF};
                ok = sendFrame(end, 6, 0, 1);
            }
        }
        // The two completion bytes are the boot program's own; nothing to check.
        uint8_t two[2];
        if (ok && !readBytes(two, 2, t, 164, true)) ok = 0;
    }
    waitCursor(false);
    if (!ok) {
        link_.resyncNeeded = 1;
        return 0;
    }
    link_.resyncNeeded = 0;
    if (form == kFormErase) chip_.flashBlank = 1;
    if (form == kFormProgram) chip_.flashBlank = 0;
    return 1;
}

}  // namespace ostrand
