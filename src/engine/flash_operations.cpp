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

std::string formatted(const char* format, uint32_t a, uint32_t b = 0, uint32_t c = 0) {
    char text[160];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

}  // namespace

std::string imageReadErrorDetail(uint32_t address) {
    return formatted("E521 : Program file data read error. Address = 0x%lx", address);
}

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

void FlashOperations::enableCommands(bool on) {
    if (engine_.hooks().enableCommands) engine_.hooks().enableCommands(on);
}

bool FlashOperations::imageByte(uint32_t address, uint8_t& byte) const {
    uint8_t two[2];
    if (!image_.readImage(two, address, 1)) return false;
    byte = two[0];
    return true;
}

int32_t FlashOperations::eraseChip(bool showProgress) {
    engine_.latchProgrammingMode();
    if (showProgress) op_.progressOpen(messageTextOrFallback(11300), 0, false, false, true);
    const int32_t result = engine_.target().eraseChip();
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
    if (result) result = engine_.target().eraseBlock(start, size, pieceSize);
    op_.progressClose();
    if (result != 1) return 0;
    // A block over the whole password area leaves a chip without a password:
    // it needs no erase without password any more, and a chip that ran a WCP
    // was not protected.
    const int32_t bt = engine_.device().bootType;
    if (PasswordBootTypes(bt) && start <= engine_.device().passwordStart &&
        uint64_t{start} + size - 1 >= engine_.device().passwordEnd) {
        if (engine_.hooks().passwordErased) engine_.hooks().passwordErased();
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
    if (ok) ok = engine_.target().blankCheck(blank);
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
    const bool viaWcp = engine_.target().viaWcp();
    // Its WCP runs for writes only: without one resident the boot program sums.
    FlashTarget& target = bootTypeRow(engine_.device().bootType).wcpViaWriteOnly &&
                                  !engine_.state().chip.anyWcpLoaded()
                              ? engine_.bootTarget()
                              : engine_.target();
    const int32_t ok = target.sum(deviceSum);
    if (showProgress) op_.progressClose();
    if (!ok) return -1;
    const int32_t result = deviceSum == fileSum ? 0 : 1;
    if (showProgress) {
        // The message names the mode, whichever path the SUM took.
        const int32_t codes[2][2] = {{11010, 11011}, {11012, 11013}};
        op_.showMessage(codes[viaWcp ? 1 : 0][result]);
    }
    return result;
}

int32_t FlashOperations::readFlash(uint32_t start, uint8_t* buffer, uint32_t count) {
    engine_.latchProgrammingMode();
    if (engine_.fillFlashCache() && engine_.target().read(start, buffer, count)) return 1;
    op_.showMessage(11001);
    return 0;
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
    if (!engine_.target().objectFits(image_)) return 0;
    if (EraseFirstTypes(engine_.device().bootType) && !eraseChip(false)) return 0;
    enableCommands(false);
    engine_.latchProgrammingMode();
    const int32_t result =
        engine_.target().program(image_, !bootTypeRow(engine_.device().bootType).pageMerge, true);
    enableCommands(true);
    if (result != 1 || !finishProgramming()) return 0;
    op_.showMessage(11006);
    return 1;
}

int32_t FlashOperations::programForAuto() {
    engine_.latchProgrammingMode();
    int32_t result =
        engine_.target().program(image_, !BootTypesH(engine_.device().bootType), false);
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
        for (const auto& [first, last] : flashAreas(engine_.device()))
            ranges.push_back({first, last});
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
            if (!engine_.target().read(static_cast<uint32_t>(a), readBuffer_.data(), n))
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
            if (!engine_.target().read(static_cast<uint32_t>(a), readBuffer_.data(), n)) {
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
                    op_.showMessage(10203, 0, 0, imageReadErrorDetail(address));
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
                engine_.channel().pump();
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
                if (!engine_.target().read(pieceStart_, readBuffer_.data(), pieceLength_))
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
                engine_.channel().pump();
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
    FlashTarget& target = engine_.target();
    if (!target.viaWcp()) {
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
        const int32_t r = target.mergePage(address, bytes, count, first, region.data(), length);
        if (r == 2) return 0;
        if (r == 1 && zeroToOneWarned == 0) zeroToOneWarned = op_.notice(11021) ? 1 : 0;
    } else {
        const uint32_t unit = alignmentUnit(engine_.device(), engine_.devices());
        first = address - address % unit;
        const uint64_t end = uint64_t{address} + count;
        length = static_cast<uint32_t>((end - first + unit - 1) / unit * unit);
        region.assign(length, 0xFF);
        const int32_t r =
            target.overlayWithFlash(address, bytes, count, first, region.data(), length);
        if (r == 2) return 0;
        if (r == 1 && zeroToOneWarned == 0) zeroToOneWarned = op_.notice(11021) ? 1 : 0;
    }
    session_.ReportIllegalWrite = 0;
    if (!engine_.wcp().wcpWrite(first, region.data(), length)) {
        op_.showMessage(11008);
        return 0;
    }
    session_.ChipRewritten = 1;
    return 1;
}

}  // namespace ostrand
