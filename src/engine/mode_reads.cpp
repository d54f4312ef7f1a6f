// Reads through the latched programming mode (the resident WCP or the boot
// program): filling the flash cache, and the read-modify helpers behind
// writes of a few bytes.
#include <cstring>

#include "flash_engine.h"

namespace ostrand {

int32_t CFlashEngine::readThroughMode(uint32_t address, uint8_t* buffer, uint32_t count) {
    if (wcpModeLatched()) return wcpRead(address, buffer, count);
    const int32_t r = bootRead(address, buffer, count);
    // A reconnection after a time-out does not make the read succeed.
    recoverAfterTimeout(r);
    return r == 1 ? 1 : 0;
}

int32_t CFlashEngine::fillFlashCache() {
    if (!FastReplyBootTypes(dev_.bootType) || flashCache_.valid() || flashCache_.empty()) return 1;
    // Their boot programs cannot read: in single boot the cache stays unknown.
    if (!wcpModeLatched()) return 1;
    std::vector<uint8_t> bytes(flashCache_.length(), 0xFF);
    if (!readThroughMode(flashCache_.start(), bytes.data(), flashCache_.length())) return 0;
    flashCache_.take(std::move(bytes));
    return 1;
}

int32_t CFlashEngine::overlayWithFlash(uint32_t address, const uint8_t* newBytes, uint32_t newCount,
                                       uint32_t regionStart, uint8_t* region,
                                       uint32_t regionCount) {
    std::vector<uint8_t> flash(regionCount, 0xFF);
    if (!readThroughMode(regionStart, flash.data(), regionCount)) return 2;
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

int32_t CFlashEngine::mergePage(uint32_t address, const uint8_t* newBytes, uint32_t newCount,
                                uint32_t pageStart, uint8_t* page, uint32_t pageLength) {
    if (pageLength == 0) return 0;
    if (!readThroughMode(pageStart, page, pageLength)) return 2;
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

}  // namespace ostrand
