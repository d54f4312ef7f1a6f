// The two flash targets: the resident WCP's commands, and the boot program's
// own commands. Work on the whole flash goes out in the WCPs' whole-flash
// form (docs/protocol.md 4.3): the chip knows its own areas and SUM area.
#include "flash_target.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "app/messages.h"
#include "engine/flash_engine.h"
#include "engine/flash_operations.h"
#include "objfile/object_image.h"

namespace ostrand {

namespace {

// The whole-flash form: this address with this count (blank check, SUM) or
// this size (block erase, whose header carries size / 2 = 0xFFFF).
constexpr uint32_t kWholeFlash = 0xFFFFFFFF;
constexpr uint32_t kWholeCount = 0xFFFF;
constexpr uint32_t kWholeEraseSize = 0x1FFFF;

}  // namespace

int32_t FlashTarget::overlayWithFlash(uint32_t address, const uint8_t* newBytes, uint32_t newCount,
                                      uint32_t regionStart, uint8_t* region, uint32_t regionCount) {
    std::vector<uint8_t> flash(regionCount, 0xFF);
    if (!read(regionStart, flash.data(), regionCount)) return 2;
    std::memcpy(region, flash.data(), regionCount);
    int32_t zeroToOne = 0;
    for (uint32_t i = 0; i < newCount; ++i) {
        const uint32_t at = address + i - regionStart;
        if (at >= regionCount) break;
        if ((newBytes[i] & ~flash[at]) != 0) zeroToOne = 1;
        region[at] = newBytes[i];
    }
    return zeroToOne;
}

int32_t FlashTarget::mergePage(uint32_t address, const uint8_t* newBytes, uint32_t newCount,
                               uint32_t pageStart, uint8_t* page, uint32_t pageLength) {
    if (pageLength == 0) return 0;
    if (!read(pageStart, page, pageLength)) return 2;
    // As overlayWithFlash: a bit the flash cannot take back is reported.
    int32_t zeroToOne = 0;
    for (uint32_t i = 0; i < newCount; ++i) {
        const uint64_t at = uint64_t{address} + i - pageStart;
        if (at >= pageLength) continue;
        if ((newBytes[i] & ~page[at]) != 0) zeroToOne = 1;
        page[at] = newBytes[i];
    }
    return zeroToOne;
}

// ---- through the WCP ----

int32_t WcpTarget::eraseChip() {
    if (!engine_.fillFlashCache()) return 0;
    const EngineHooks& hooks = engine_.hooks();
    if (hooks.waitCursor) hooks.waitCursor(true);
    const int32_t result = engine_.wcp().wcpBlockErase(kWholeFlash, kWholeEraseSize);
    if (hooks.waitCursor) hooks.waitCursor(false);
    // The whole-flash erase takes the read protection with it.
    if (result == 1) engine_.session().ProtectState = 0;
    return result;
}

int32_t WcpTarget::eraseBlock(uint32_t start, uint32_t size, uint32_t pieceSize) {
    // The header counts words in 16 bits: a large block goes in pieces.
    const uint32_t piece = pieceSize ? pieceSize : size;
    int32_t result = 1;
    for (uint64_t at = start, end = uint64_t{start} + size; result && at < end; at += piece)
        result = engine_.wcp().wcpBlockErase(
            static_cast<uint32_t>(at), static_cast<uint32_t>(std::min<uint64_t>(piece, end - at)));
    return result;
}

int32_t WcpTarget::blankCheck(int32_t& blank) {
    return engine_.wcp().wcpBlankCheck(kWholeFlash, kWholeCount, blank);
}

int32_t WcpTarget::sum(uint16_t& sum) {
    return engine_.fillFlashCache() && engine_.wcp().wcpSum(kWholeFlash, kWholeCount, sum);
}

int32_t WcpTarget::read(uint32_t address, uint8_t* buffer, uint32_t count) {
    return engine_.wcp().wcpRead(address, buffer, count);
}

int32_t WcpTarget::program(const ObjectImage& image, bool alignStarts, bool ownProgress) {
    if (!engine_.fillFlashCache()) return 0;
    Operator& op = engine_.op();
    Session& session = engine_.session();
    const DeviceParameters& dev = engine_.device();
    const auto plan = planWrites(image.rangesToProgram(), alignmentUnit(dev, engine_.devices()),
                                 static_cast<uint32_t>(std::max(dev.maxChunk, 1)), alignStarts);
    uint64_t total = 0;
    for (const WriteChunk& c : plan) total += c.length;
    if (ownProgress)
        op.progressOpen(messageTextOrFallback(11306), static_cast<int32_t>(total), true, true,
                        true);
    session.ReportIllegalWrite = 1;
    std::vector<uint8_t> bytes;
    int32_t result = 1;
    uint64_t written = 0;
    for (const WriteChunk& c : plan) {
        if (op.progressAborted()) {
            // Stopped between blocks: the operator learns what the chip holds now.
            op.progressSetText(messageTextOrFallback(11312));
            op.showMessage(11312);
            op.showMessage(11005, 0, 0,
                           written ? "The chip is partly written: erase it and program it again."
                                   : "Nothing was written: program the chip again.");
            result = 0;
            break;
        }
        bytes.assign(c.length + 1, 0xFF);
        if (!image.readImage(bytes, c.address, c.length)) {
            op.showMessage(10203, 0, 0, imageReadErrorDetail(c.address));
            result = 0;
            break;
        }
        if (!engine_.wcp().wcpWrite(c.address, bytes.data(), c.length)) {
            result = 0;
            break;
        }
        written += c.length;
        op.progressStep(static_cast<int32_t>(c.length));
        engine_.channel().pump();
    }
    if (result && bootTypeRow(dev.bootType).sumAfterProgram) {
        uint16_t s = 0;
        result = sum(s);
    }
    const int32_t bt = dev.bootType;
    // The boot type with its own ReadProtect setting protects elsewhere.
    if (result && engine_.settings().inForce.readProtectFor(bt) == 1 && ProtectTypes(bt) &&
        !bootTypeRow(bt).ownReadProtect)
        result = engine_.wcp().wcpReadProtect();
    if (ownProgress) op.progressClose();
    return result;
}

// ---- through the boot program ----
// A reconnection after a time-out does not make the command succeed.

int32_t BootTarget::eraseChip() {
    const bool statusFirst = BootTypesI(engine_.device().bootType);
    if (statusFirst && !engine_.boot().postConnectStatus()) return 0;
    const int32_t result = engine_.boot().chipErase(kEraseWholeChip);
    engine_.link().recoverAfterTimeout(result);
    return result;
}

int32_t BootTarget::eraseBlock(uint32_t start, uint32_t, uint32_t) {
    if (!bootTypeRow(engine_.device().bootType).blockCommands) {
        // The other boot programs erase whole chips only.
        engine_.op().showMessage(11018, 0, 12101);
        return 0;
    }
    int32_t result = engine_.boot().protectCheckBeforeWcp();
    if (result) {
        result = engine_.boot().chipErase(eraseSelector(start));
        engine_.link().recoverAfterTimeout(result);
    }
    return result;
}

int32_t BootTarget::blankCheck(int32_t& blank) {
    const DeviceParameters& dev = engine_.device();
    if (!bootTypeRow(dev.bootType).blockCommands) {
        // The other boot programs have no blank check.
        engine_.op().showMessage(10009, 0, 0, "Boot Program");
        return 0;
    }
    uint16_t sum = 0;
    const int32_t ok = engine_.boot().bootSum(0, 0, sum);
    engine_.link().recoverAfterTimeout(ok);
    const uint32_t bytes = dev.sumEnd + 1 - dev.sumStart;
    blank = sum == static_cast<uint16_t>(bytes * 0xFFu) ? 1 : 0;
    return ok;
}

int32_t BootTarget::sum(uint16_t& sum) {
    const DeviceParameters& dev = engine_.device();
    const int32_t ok = engine_.boot().bootSum(dev.sumStart, dev.sumEnd + 1 - dev.sumStart, sum);
    engine_.link().recoverAfterTimeout(ok);
    return ok;
}

int32_t BootTarget::read(uint32_t address, uint8_t* buffer, uint32_t count) {
    const int32_t r = engine_.boot().bootRead(address, buffer, count);
    engine_.link().recoverAfterTimeout(r);
    return r == 1 ? 1 : 0;
}

int32_t BootTarget::objectFits(const ObjectImage& image) {
    return engine_.boot().singleBootObjectFits(image.expansionPath());
}

int32_t BootTarget::program(const ObjectImage& image, bool, bool ownProgress) {
    Operator& op = engine_.op();
    if (ownProgress) op.progressOpen(messageTextOrFallback(11306), 0, false, false, true);
    const int32_t result = engine_.boot().programSingleBoot(image.expansionPath());
    engine_.link().recoverAfterTimeout(result);
    if (ownProgress) op.progressClose();
    return result;
}

}  // namespace ostrand
