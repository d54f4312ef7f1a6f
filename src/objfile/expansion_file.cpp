// The object expansion file: the image written out again as Intel HEX in the
// fixed layout the programming operations send to the chip.
#include <algorithm>
#include <set>

#include "app/device_database.h"
#include "app/file_io.h"
#include "app/operator.h"
#include "objfile/hex_records.h"
#include "objfile/object_image.h"

namespace ostrand {

namespace fs = std::filesystem;

namespace {

constexpr int32_t kHintDiskSpace = 12109;

}  // namespace

bool ObjectImage::usesPageWriter() const {
    const int32_t bt = layout_.bootType;
    return bootTypeRow(bt).pageWriter || BootTypesG(bt, memSizeEmulat_);
}

std::vector<AddressRange> ObjectImage::expansionRanges() const {
    if (addressOption_ == 1) return deviceRanges_;
    if (!usesPageWriter() || pageSize_ <= 0) return loadedRanges_;
    // Whole pages, counted from the flash start, that hold loaded data.
    const uint32_t base = layout_.singleBootFlashStart, top = layout_.singleBootFlashEnd;
    const auto page = static_cast<uint64_t>(pageSize_);
    std::vector<AddressRange> pages;
    std::set<uint64_t> taken;
    for (const auto& r : loadedRanges_) {
        if (r.end < base || r.start > top) continue;
        const uint64_t first = (std::max(r.start, base) - base) / page;
        const uint64_t last = (std::min(r.end, top) - base) / page;
        for (uint64_t p = first; p <= last; ++p) {
            if (!taken.insert(p).second) continue;
            const uint64_t start = base + p * page;
            const uint64_t end = std::min<uint64_t>(start + page - 1, top);
            pages.push_back({static_cast<uint32_t>(start), static_cast<uint32_t>(end)});
        }
    }
    return pages;
}

int32_t ObjectImage::writeExpansionFile() {
    const fs::path work = expansionFolder.empty() ? programFolder_ / "tmp" : expansionFolder;
    std::error_code ec;
    fs::create_directories(work, ec);  // a failure shows when the file is opened
    std::string name = fs::path(readPath_).filename().string();
    const size_t dot = name.rfind('.');
    name = (dot == std::string::npos ? name + "." : name.substr(0, dot + 1)) + "oex";
    const fs::path target = work / name;
    expansionPath_ = target.string();

    const bool pageWriter = usesPageWriter();
    // A record's count field holds at most 255 bytes.
    if (pageWriter && (pageSize_ <= 0 || pageSize_ > 255)) {
        op_.showMessage(10102, 136, 12104, deviceName_);
        expansionPath_.clear();
        return 0;
    }
    const int32_t openPlace = pageWriter ? 134 : 124;
    const int32_t segmentPlace = pageWriter ? 131 : 121;
    const int32_t dataPlace = pageWriter ? 132 : 122;
    const int32_t endPlace = pageWriter ? 133 : 123;

    AtomicFileWriter writer;
    auto fail = [&](int32_t place) {
        writer.abandon();
        std::error_code removeError;
        fs::remove(target, removeError);
        op_.showMessage(10406, place, kHintDiskSpace, expansionPath_);
        expansionPath_.clear();
        return 0;
    };
    if (!writer.open(target, false)) return fail(openPlace);

    if (!pageWriter) {
        expansionLowAddress_ = 0;
        expansionByteCount_ = 0;
    }
    std::string line;
    line.reserve(600);
    if (pageWriter && !BootTypesG(layout_.bootType, memSizeEmulat_)) {
        appendHexSegment(line, 0);
        if (!writer.write(line)) return fail(segmentPlace);
    }
    const uint8_t* image = image_.get();
    int32_t segment = -1;
    bool firstRecord = true;
    for (const auto& r : expansionRanges()) {
        uint64_t a = r.start;
        while (a <= r.end) {
            uint64_t chunk;
            uint16_t field;
            line.clear();
            if (pageWriter) {
                chunk = std::min<uint64_t>(static_cast<uint64_t>(pageSize_), r.end - a + 1);
                field = static_cast<uint16_t>(a & 0xFFFF);
            } else {
                // Segments reach 1 MiB; an address above would silently wrap.
                if (a > 0xFFFFF) return fail(segmentPlace);
                chunk = std::min<uint64_t>({64, r.end - a + 1, 0x10000 - (a & 0xFFFF)});
                const auto seg = static_cast<int32_t>((a >> 4) & 0xF000);
                if (seg != segment) {
                    segment = seg;
                    appendHexSegment(line, static_cast<uint16_t>(seg));
                    if (!writer.write(line)) return fail(segmentPlace);
                    line.clear();
                }
                field = static_cast<uint16_t>((a - static_cast<uint64_t>(seg) * 16) & 0xFFFF);
            }
            const int64_t index = imageIndex(static_cast<uint32_t>(a));
            if (index < 0 || index + static_cast<int64_t>(chunk) > kImageSize)
                return fail(dataPlace);
            appendHexRecord(line, 0x00, field, image + index, static_cast<uint32_t>(chunk));
            if (!writer.write(line)) return fail(dataPlace);
            if (!pageWriter) {
                if (firstRecord || a < expansionLowAddress_)
                    expansionLowAddress_ = static_cast<uint32_t>(a);
                expansionByteCount_ += static_cast<uint32_t>(chunk);
            }
            firstRecord = false;
            a += chunk;
        }
    }
    if (!writer.write(kHexEndRecord)) return fail(endPlace);
    if (!writer.commit()) return fail(125);
    return 1;
}

}  // namespace ostrand
