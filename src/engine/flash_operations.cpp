// The operator's flash operations over the WCP commands and the boot-mode
// operations. Work on the whole flash goes out in the WCPs' whole-flash form
// (docs/protocol.md 4.3): the chip knows its own areas and SUM area, and
// refuses an explicit range that leaves one flash area.
#include "engine/flash_operations.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/file_io.h"
#include "objfile/object_image.h"

namespace ostrand {

namespace {

constexpr uint32_t kPiece = 0x2000;  // read pieces
// The whole-flash form: this address with this count (blank check, SUM) or
// this size (block erase, whose header carries size / 2 = 0xFFFF).
constexpr uint32_t kWholeFlash = 0xFFFFFFFF;
constexpr uint32_t kWholeCount = 0xFFFF;
constexpr uint32_t kWholeEraseSize = 0x1FFFF;

std::string formatted(const char* format, uint32_t a, uint32_t b = 0, uint32_t c = 0) {
    char text[160];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

}  // namespace

std::vector<WriteChunk> planWrites(const std::vector<AddressRange>& ranges, uint32_t unit,
                                   uint32_t maxChunk, bool alignStarts) {
    std::vector<WriteChunk> plan;
    if (unit == 0) unit = 1;
    if (maxChunk == 0) maxChunk = unit;
    for (const AddressRange& r : ranges) {
        if (r.end < r.start) continue;
        uint64_t start = alignStarts ? r.start - r.start % unit : r.start;
        const uint64_t end = r.end;
        while (start <= end) {
            const uint64_t rest = end + 1 - start;
            uint64_t n = maxChunk;
            if (rest <= maxChunk) n = (rest + unit - 1) / unit * unit;
            plan.push_back({static_cast<uint32_t>(start), static_cast<uint32_t>(n)});
            start += n;
        }
    }
    return plan;
}

FlashOperations::FlashOperations(CFlashEngine& engine, const ObjectImage& image)
    : engine_(engine), image_(image), session_(engine.session()), op_(engine.op()) {}

bool FlashOperations::wcpMode() const {
    return engine_.wcpModeLatched();
}

void FlashOperations::enableCommands(bool on) {
    if (engine_.hooks().enableCommands) engine_.hooks().enableCommands(on);
}

bool FlashOperations::imageByte(uint32_t address, uint8_t& byte) const {
    uint8_t two[2];
    if (!image_.readImage(two, address, 1)) return false;
    byte = two[0];
    return true;
}

int32_t FlashOperations::wholeFlashSum(uint16_t& sum) {
    return engine_.wcpSum(kWholeFlash, kWholeCount, sum);
}

int32_t FlashOperations::eraseChip(bool showProgress) {
    engine_.latchProgrammingMode();
    if (showProgress) op_.progressOpen(messageTextOrFallback(11300), 0, false, false, true);
    int32_t result = 0;
    if (wcpMode()) {
        if (engine_.fillFlashCache()) {
            if (engine_.hooks().waitCursor) engine_.hooks().waitCursor(true);
            result = engine_.wcpBlockErase(kWholeFlash, kWholeEraseSize);
            if (engine_.hooks().waitCursor) engine_.hooks().waitCursor(false);
            // The whole-flash erase takes the read protection with it.
            if (result == 1) session_.ProtectState = 0;
        }
    } else {
        const bool statusFirst = BootTypesI(engine_.device().bootType);
        if (!statusFirst || engine_.postConnectStatus()) {
            result = engine_.chipErase(0xF0);
            engine_.recoverAfterTimeout(result);
        }
    }
    if (showProgress) op_.progressClose();
    if (result != 1) return 0;
    engine_.noteChipErased();
    if (showProgress) op_.showMessage(11002);
    return 1;
}

int32_t FlashOperations::eraseBlock(uint32_t start, uint32_t size, uint32_t pieceSize) {
    engine_.latchProgrammingMode();
    op_.progressOpen(messageTextOrFallback(11301), 0, false, false, true);
    int32_t result = engine_.fillFlashCache();
    if (result && wcpMode()) {
        // The header counts words in 16 bits: a large block goes in pieces.
        const uint32_t piece = pieceSize ? pieceSize : size;
        for (uint64_t at = start, end = uint64_t{start} + size; result && at < end; at += piece)
            result =
                engine_.wcpBlockErase(static_cast<uint32_t>(at),
                                      static_cast<uint32_t>(std::min<uint64_t>(piece, end - at)));
    } else if (result && bootTypeRow(engine_.device().bootType).blockCommands) {
        // A reconnection after a time-out does not make the erase succeed.
        result = engine_.protectCheckBeforeWcp();
        if (result) {
            result = engine_.chipErase(eraseSelector(start));
            engine_.recoverAfterTimeout(result);
        }
    } else if (result) {
        // The other boot programs erase whole chips only.
        op_.showMessage(11018, 0, 12101);
        result = 0;
    }
    op_.progressClose();
    if (result != 1) return 0;
    // A block over the whole password area leaves a chip without a password:
    // it needs no erase without password any more, and a chip that ran a WCP
    // was not protected.
    const int32_t bt = engine_.device().bootType;
    if (PasswordBootTypes(bt) && start <= engine_.device().passwordStart &&
        uint64_t{start} + size - 1 >= engine_.device().passwordEnd) {
        engine_.settings().inForce.eraseWithoutPassword = 0;
        engine_.passwords().eraseWithoutPassword = 0;
        session_.ProtectState = 0;
    }
    op_.showMessage(11003);
    return 1;
}

int32_t FlashOperations::blankCheck(bool showProgress) {
    engine_.latchProgrammingMode();
    if (showProgress) op_.progressOpen(messageTextOrFallback(11304), 0, false, false, true);
    int32_t blank = 0;
    int32_t ok = engine_.fillFlashCache();
    if (ok && wcpMode()) {
        ok = engine_.wcpBlankCheck(kWholeFlash, kWholeCount, blank);
    } else if (ok && bootTypeRow(engine_.device().bootType).blockCommands) {
        uint16_t sum = 0;
        ok = engine_.bootSum(0, 0, sum);
        engine_.recoverAfterTimeout(ok);
        const uint32_t bytes = engine_.device().sumEnd + 1 - engine_.device().sumStart;
        blank = sum == static_cast<uint16_t>(bytes * 0xFFu) ? 1 : 0;
    } else if (ok) {
        // The other boot programs have no blank check.
        op_.showMessage(10009, 0, 0, "Boot Program");
        ok = 0;
    }
    if (showProgress) op_.progressClose();
    if (!ok) return 0;
    engine_.noteBlankCheck(blank == 1);
    if (showProgress) op_.showMessage(blank ? 11017 : 11016);
    return blank;
}

int32_t FlashOperations::verifySum(bool showProgress, uint16_t& deviceSum) {
    engine_.latchProgrammingMode();
    deviceSum = 0;
    const uint16_t fileSum = image_.fileSum();
    if (showProgress) op_.progressOpen(messageTextOrFallback(11303), 0, false, false, true);
    bool viaWcp = wcpMode();
    if (bootTypeRow(engine_.device().bootType).wcpViaWriteOnly && !engine_.anyWcpLoaded())
        viaWcp = false;
    int32_t ok = 0;
    if (viaWcp) {
        ok = engine_.fillFlashCache() && wholeFlashSum(deviceSum);
    } else {
        ok = engine_.bootSum(engine_.device().sumStart,
                             engine_.device().sumEnd + 1 - engine_.device().sumStart, deviceSum);
        engine_.recoverAfterTimeout(ok);
    }
    if (showProgress) op_.progressClose();
    if (!ok) return -1;
    const int32_t result = deviceSum == fileSum ? 0 : 1;
    if (showProgress) {
        // The message names the mode, whichever path the SUM took.
        const int32_t codes[2][2] = {{11010, 11011}, {11012, 11013}};
        op_.showMessage(codes[wcpMode() ? 1 : 0][result]);
    }
    return result;
}

int32_t FlashOperations::readFlash(uint32_t start, uint8_t* buffer, uint32_t count) {
    engine_.latchProgrammingMode();
    if (engine_.fillFlashCache() && engine_.readThroughMode(start, buffer, count)) return 1;
    op_.showMessage(11001);
    return 0;
}

int32_t FlashOperations::programRanges(bool alignStarts, bool ownProgress) {
    if (!engine_.fillFlashCache()) return 0;
    const uint32_t unit = engine_.alignmentUnit();
    const auto plan =
        planWrites(image_.rangesToProgram(), unit,
                   static_cast<uint32_t>(std::max(engine_.device().maxChunk, 1)), alignStarts);
    uint64_t total = 0;
    for (const WriteChunk& c : plan) total += c.length;
    if (ownProgress)
        op_.progressOpen(messageTextOrFallback(11306), static_cast<int32_t>(total), true, true,
                         true);
    session_.ReportIllegalWrite = 1;
    std::vector<uint8_t> bytes;
    int32_t result = 1;
    uint64_t written = 0;
    for (const WriteChunk& c : plan) {
        if (op_.progressAborted()) {
            // Stopped between blocks: the operator learns what the chip holds now.
            op_.progressSetText(messageTextOrFallback(11312));
            op_.showMessage(11312);
            op_.showMessage(11005, 0, 0,
                            written ? "The chip is partly written: erase it and program it again."
                                    : "Nothing was written: program the chip again.");
            result = 0;
            break;
        }
        bytes.assign(c.length + 1, 0xFF);
        if (!image_.readImage(bytes, c.address, c.length)) {
            op_.showMessage(
                10203, 0, 0,
                formatted("E521 : Program file data read error. Address = 0x%lx", c.address));
            result = 0;
            break;
        }
        if (!engine_.wcpWrite(c.address, bytes.data(), c.length)) {
            result = 0;
            break;
        }
        written += c.length;
        op_.progressStep(static_cast<int32_t>(c.length));
        engine_.pumpOneMessage();
    }
    if (result && bootTypeRow(engine_.device().bootType).sumAfterProgram) {
        uint16_t sum = 0;
        result = wholeFlashSum(sum);
    }
    const int32_t bt = engine_.device().bootType;
    // The boot type with its own ReadProtect setting protects elsewhere.
    if (result && engine_.settings().inForce.readProtectFor(bt) == 1 && ProtectTypes(bt) &&
        !bootTypeRow(bt).ownReadProtect)
        result = engine_.wcpReadProtect();
    if (ownProgress) op_.progressClose();
    return result;
}

int32_t FlashOperations::finishProgramming() {
    const int32_t bt = engine_.device().bootType;
    PasswordSet& passwords = engine_.passwords();
    if (!bootTypeRow(bt).noPassword && engine_.settings().inForce.passLogSave == 1) {
        const ObjectPassword& pw = image_.objectPassword();
        if (!pw.present) {
            op_.showMessage(10127, 0, 12111);
        } else {
            std::string device;
            engine_.devices().selectedDeviceName(device);
            passwords.rememberPassword({image_.fileSum(), pw.numAdd, pw.cmpAdd, pw.text, device});
            // The chip is written, but its password would be known nowhere.
            if (!passwords.savePasswordLog(engine_.settings().programFolder / "history.log")) {
                session_.ChipRewritten = 1;
                return 0;
            }
        }
    }
    session_.ChipRewritten = 1;
    return 1;
}

int32_t FlashOperations::programDevice() {
    // An object the boot program cannot take is refused before the erase.
    engine_.latchProgrammingMode();
    if (!wcpMode() && !engine_.singleBootObjectFits(image_.expansionPath())) return 0;
    if (EraseFirstTypes(engine_.device().bootType) && !eraseChip(false)) return 0;
    enableCommands(false);
    engine_.latchProgrammingMode();
    int32_t result = 0;
    if (wcpMode()) {
        result = programRanges(!bootTypeRow(engine_.device().bootType).pageMerge, true);
    } else {
        op_.progressOpen(messageTextOrFallback(11306), 0, false, false, true);
        result = engine_.programSingleBoot(image_.expansionPath());
        // A reconnection after a time-out does not make the programming succeed.
        engine_.recoverAfterTimeout(result);
        op_.progressClose();
    }
    enableCommands(true);
    if (result != 1 || !finishProgramming()) return 0;
    op_.showMessage(11006);
    return 1;
}

int32_t FlashOperations::programForAuto() {
    engine_.latchProgrammingMode();
    int32_t result = 0;
    if (wcpMode()) {
        result = programRanges(!BootTypesH(engine_.device().bootType), false);
    } else {
        result = engine_.programSingleBoot(image_.expansionPath());
        engine_.recoverAfterTimeout(result);
    }
    if (result == 1) result = finishProgramming();
    return result;
}

int32_t FlashOperations::saveMemoryFile(const std::filesystem::path& file,
                                        std::optional<AddressRange> range) {
    engine_.latchProgrammingMode();
    std::vector<AddressRange> ranges;
    if (range) {
        ranges.push_back(*range);
    } else {
        for (const auto& [first, last] : engine_.flashAreas()) ranges.push_back({first, last});
    }
    const int32_t bt = engine_.device().bootType;
    const int32_t size = engine_.settings().inForce.memSizeEmulat;
    if (bootTypeRow(bt).memorySizes && size == 96)
        for (AddressRange& r : ranges) r.end = std::min<uint32_t>(r.end, 0x1FFFF);
    uint64_t total = 0;
    for (const AddressRange& r : ranges)
        if (r.end >= r.start) total += uint64_t{r.end} - r.start + 1;
    op_.progressOpen(messageTextOrFallback(11307), static_cast<int32_t>(total / 16), true, true,
                     true);
    auto finish = [&](int32_t code, int32_t place, int32_t hint) {
        op_.progressClose();
        if (code) op_.showMessage(code, place, hint);
        return code == 11024 ? 1 : 0;
    };
    if (!engine_.fillFlashCache()) return finish(0, 0, 0);
    AtomicFileWriter out;
    if (!out.open(file)) return finish(10210, 124, 12137);
    const bool segments = !BootTypesG(bt, size);
    SegmentState state;
    uint64_t done = 0;
    for (const AddressRange& r : ranges) {
        for (uint64_t a = r.start; a <= r.end; a += kPiece) {
            // A cancel stops between blocks, says so, and leaves no partial file.
            if (op_.progressAborted()) {
                op_.progressSetText(messageTextOrFallback(11312));
                return finish(11312, 0, 0);
            }
            const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kPiece, r.end + 1 - a));
            std::fill(readBuffer_.begin(), readBuffer_.end(), 0);
            if (!engine_.readThroughMode(static_cast<uint32_t>(a), readBuffer_.data(), n))
                return finish(op_.progressAborted() ? 11312 : 11001, 0, 0);
            const std::string lines =
                memoryFileRecords(static_cast<uint32_t>(a), readBuffer_.data(), n, segments, state);
            if (!out.write(lines)) return finish(10210, 122, 12109);
            done += n;
            op_.progressSetPos(static_cast<int32_t>(done / 16));
        }
    }
    op_.progressSetText(messageTextOrFallback(11310));
    if (!out.write(kHexEndRecord) || !out.commit()) return finish(10210, 123, 12109);
    return finish(11024, 0, 0);
}

int32_t FlashOperations::compareWithFile(bool showProgress, bool showResult,
                                         CompareDifference* difference) {
    engine_.latchProgrammingMode();
    const auto& ranges = image_.rangesToProgram();
    uint64_t total = 0;
    for (const AddressRange& r : ranges) total += uint64_t{r.end} - r.start + 1;
    if (showProgress)
        op_.progressOpen(messageTextOrFallback(11305), static_cast<int32_t>(total), true, true,
                         true);
    auto finish = [&](int32_t result) {
        if (showProgress) op_.progressClose();
        return result;
    };
    if (!engine_.fillFlashCache()) return finish(-1);
    for (const AddressRange& r : ranges) {
        for (uint64_t a = r.start; a <= r.end; a += kPiece) {
            const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kPiece, r.end + 1 - a));
            std::fill(readBuffer_.begin(), readBuffer_.end(), 0);
            if (!engine_.readThroughMode(static_cast<uint32_t>(a), readBuffer_.data(), n)) {
                op_.showMessage(
                    11001, 0, 0,
                    formatted("E522 : Memory data read error. Address = 0x%lx, Read size = %d",
                              static_cast<uint32_t>(a), n));
                return finish(-1);
            }
            for (uint32_t i = 0; i < n; ++i) {
                const uint32_t address = static_cast<uint32_t>(a + i);
                uint8_t fileByte = 0;
                if (!imageByte(address, fileByte)) {
                    op_.showMessage(
                        10203, 0, 0,
                        formatted("E521 : Program file data read error. Address = 0x%lx", address));
                    return finish(-1);
                }
                const bool skipped = inBootBlock(engine_.device().bootType, address);
                if (!skipped && fileByte != readBuffer_[i]) {
                    if (difference) *difference = {address, readBuffer_[i], fileByte};
                    if (showResult)
                        op_.showMessage(
                            11014, 0, 0,
                            formatted("R025 : Address = 0x%lx, Device = 0x%02x, File = 0x%02x",
                                      address, readBuffer_[i], fileByte));
                    return finish(1);
                }
                if (showProgress) op_.progressStep(1);
                engine_.pumpOneMessage();
            }
            if (showProgress && op_.progressAborted()) {
                op_.progressSetText(messageTextOrFallback(11312));
                return finish(-1);
            }
        }
    }
    if (showResult) op_.showMessage(11015);
    return finish(0);
}

int32_t FlashOperations::compareStep(const CompareView& view, uint32_t& address, uint8_t& fileByte,
                                     uint8_t& flashByte, int32_t fromStart) {
    engine_.latchProgrammingMode();
    auto stop = [&](int32_t result) {
        if (result != 1) {
            stepAddress_ = 0;
            pieceLength_ = 0;
        }
        return result;
    };
    auto aborted = [&] { return view.aborted && view.aborted(); };
    if (!engine_.fillFlashCache()) return stop(-1);
    const auto& ranges = image_.rangesToProgram();
    if (fromStart == 1) {
        stepRange_ = 0;
        stepAddress_ = 0;
        pieceLength_ = 0;
        if (view.showText) view.showText(11311);
    } else if (stepAddress_ != 0) {
        ++stepAddress_;  // after the last difference
    }
    for (; stepRange_ < ranges.size(); ++stepRange_) {
        const AddressRange& r = ranges[stepRange_];
        uint64_t a = r.start;
        if (stepAddress_ != 0 && r.contains(stepAddress_)) a = stepAddress_;
        if (stepAddress_ != 0 && !r.contains(stepAddress_) && stepAddress_ > r.end) {
            stepAddress_ = 0;
            pieceLength_ = 0;
            continue;  // a Next past the end of this range goes on with the next one
        }
        while (a <= r.end) {
            const bool inPiece =
                pieceLength_ != 0 && a >= pieceStart_ && a < pieceStart_ + pieceLength_;
            if (!inPiece) {
                pieceStart_ = static_cast<uint32_t>(a);
                pieceLength_ = static_cast<uint32_t>(std::min<uint64_t>(kPiece, r.end + 1 - a));
                std::fill(readBuffer_.begin(), readBuffer_.end(), 0);
                if (!engine_.readThroughMode(pieceStart_, readBuffer_.data(), pieceLength_))
                    return stop(-1);
                if (aborted()) return stop(0);
                if (view.showText) view.showText(11305);
            }
            const uint64_t pieceEnd = uint64_t{pieceStart_} + pieceLength_;
            for (; a < pieceEnd; ++a) {
                const uint32_t at = static_cast<uint32_t>(a);
                uint8_t fb = 0;
                if (!imageByte(at, fb)) return stop(-1);
                if (view.step) view.step();
                const uint8_t db = readBuffer_[at - pieceStart_];
                const bool skipped = inBootBlock(engine_.device().bootType, at);
                if (!skipped && fb != db) {
                    stepAddress_ = at;
                    address = at;
                    fileByte = fb;
                    flashByte = db;
                    return 1;
                }
                engine_.pumpOneMessage();
                if (aborted()) return stop(0);
            }
        }
        stepAddress_ = 0;
    }
    return stop(0);
}

int32_t FlashOperations::writeData(uint32_t address, const uint8_t* bytes, uint32_t count) {
    engine_.latchProgrammingMode();
    const int32_t bt = engine_.device().bootType;
    if (EraseFirstTypes(bt) || count == 0) {
        op_.showMessage(11008);
        return 0;
    }
    if (!wcpMode()) {
        // The boot programs of these types erase the whole chip before they
        // program: a data write there would lose everything else.
        op_.showMessage(11008, 0, 0, "Boot Program");
        return 0;
    }
    if (!engine_.fillFlashCache()) return 0;
    uint32_t first = address, length = count;
    std::vector<uint8_t> region;
    if (bootTypeRow(bt).pageMerge && engine_.device().pageSize > 0) {
        const uint32_t page = static_cast<uint32_t>(engine_.device().pageSize);
        first = engine_.device().flashStart + (address - engine_.device().flashStart) / page * page;
        const uint64_t last = uint64_t{address} + count - 1;
        const uint64_t lastPage =
            engine_.device().flashStart + (last - engine_.device().flashStart) / page * page;
        length = static_cast<uint32_t>(lastPage + page - first);
        region.assign(length, 0xFF);
        const int32_t r = engine_.mergePage(address, bytes, count, first, region.data(), length);
        if (r == 2) return 0;
        if (r == 1 && zeroToOneWarned == 0) zeroToOneWarned = op_.notice(11021) ? 1 : 0;
    } else {
        const uint32_t unit = engine_.alignmentUnit();
        first = address - address % unit;
        const uint64_t end = uint64_t{address} + count;
        length = static_cast<uint32_t>((end - first + unit - 1) / unit * unit);
        region.assign(length, 0xFF);
        const int32_t r =
            engine_.overlayWithFlash(address, bytes, count, first, region.data(), length);
        if (r == 2) return 0;
        if (r == 1 && zeroToOneWarned == 0) zeroToOneWarned = op_.notice(11021) ? 1 : 0;
    }
    session_.ReportIllegalWrite = 0;
    if (!engine_.wcpWrite(first, region.data(), length)) {
        op_.showMessage(11008);
        return 0;
    }
    session_.ChipRewritten = 1;
    return 1;
}

}  // namespace ostrand
