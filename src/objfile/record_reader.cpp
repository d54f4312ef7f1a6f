#include "record_reader.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

#include "app/device_database.h"
#include "objfile/hex_records.h"

namespace ostrand {

namespace {

// Decodes `n` bytes from `pos` into out; false on a non-digit or a short line.
inline bool hexBytes(std::string_view s, size_t pos, uint32_t n, uint8_t* out) {
    if (pos + 2 * static_cast<size_t>(n) > s.size()) return false;
    for (uint32_t i = 0; i < n; ++i) {
        int b = hexByteAt(s, pos + 2 * i);
        if (b < 0) return false;
        out[i] = static_cast<uint8_t>(b);
    }
    return true;
}

int32_t parseIntel(std::string_view line, int32_t fileType, uint32_t& segmentBase,
                   ParsedRecord& out) {
    if (line.empty() || line[0] != ':') return 155;
    // The type as written picks the rule, so a broken record of a known type
    // is reported as that type's fault.
    std::string_view type = line.size() >= 9 ? line.substr(7, 2) : std::string_view{};
    HexRecord r;
    if (type == "02") {
        if (fileType == kFileH16) return 151;
        if (!decodeHexRecord(line, r) || r.count() != 2 || r.address() != 0 || r.data()[1] != 0)
            return 153;
        if (!r.sumOk()) return 152;
        segmentBase = r.segment();
        return 0;
    }
    if (type == "01") {
        // Only the one end record form; it ends nothing.
        if (decodeHexRecord(line, r) && r.count() == 0 && r.address() == 0 &&
            r.checksum() == 0xFF) {
            out.isEnd = true;
            return 0;
        }
        return 154;
    }
    if (type == "03" && fileType == kFileH20) {
        // The start address the converter writes for 20-bit files: four bytes
        // at address 0000. The programmer has no use for it.
        return decodeHexRecord(line, r) && r.count() == 4 && r.address() == 0 && r.sumOk() ? 0
                                                                                           : 154;
    }
    if (type != "00") return 154;
    // The whole line is the record: a second record run onto the same line
    // would otherwise be lost without a word.
    if (!decodeHexRecord(line, r)) return 160;
    // Every byte of the record, checksum included, sums to zero.
    uint32_t sum = 0;
    for (uint32_t i = 0; i < r.size; ++i) sum += r.bytes[i];
    if ((sum & 0xFF) != 0) return 160;
    out.hasData = true;
    out.count = r.count();
    std::memcpy(out.data, r.data(), r.count());
    const uint8_t* head = r.bytes + 1;  // the two address bytes, high first
    out.address = static_cast<uint64_t>(segmentBase) * 16 + (head[0] << 8 | head[1]);
    return 0;
}

int32_t parseMotorola(std::string_view line, int32_t fileType, ParsedRecord& out) {
    if (line.empty() || line[0] != 'S') return 158;
    char kind = line.size() >= 2 ? line[1] : '\0';
    // Record contents after the type: count, address, data, checksum.
    auto checksumOk = [&](uint32_t& count, uint8_t* bytes) {
        int c = hexByteAt(line, 2);
        if (c < 0 || line.size() != 4 + 2 * static_cast<size_t>(c)) return false;
        if (!hexBytes(line, 4, static_cast<uint32_t>(c), bytes)) return false;
        uint32_t sum = static_cast<uint32_t>(c);
        for (int i = 0; i + 1 < c; ++i) sum += bytes[i];
        count = static_cast<uint32_t>(c);
        return c >= 1 && static_cast<uint8_t>(~sum) == bytes[c - 1];
    };
    uint8_t bytes[256];
    uint32_t count = 0;
    if (kind == '0') return checksumOk(count, bytes) ? 0 : 156;

    int addrLen = 0;
    bool end = false;
    switch (kind) {
        case '1':
            addrLen = 2;
            break;
        case '2':
            addrLen = 3;
            break;
        case '3':
            addrLen = 4;
            break;
        case '9':
            addrLen = 2;
            end = true;
            break;
        case '8':
            addrLen = 3;
            end = true;
            break;
        case '7':
            addrLen = 4;
            end = true;
            break;
        default:
            return 157;
    }
    // Narrower files refuse the narrower records.
    int minLen = fileType == kFileS16 ? 2 : fileType == kFileS24 ? 3 : 4;
    if (addrLen < minLen) return 157;
    if (end) {
        out.isEnd = true;
        return checksumOk(count, bytes) ? 0 : 157;
    }

    if (!checksumOk(count, bytes) || count < static_cast<uint32_t>(addrLen) + 1) return 160;
    uint64_t address = 0;
    for (int i = 0; i < addrLen; ++i) address = address << 8 | bytes[i];
    out.hasData = true;
    out.address = address;
    out.count = count - static_cast<uint32_t>(addrLen) - 1;
    for (uint32_t i = 0; i < out.count; ++i) out.data[i] = bytes[addrLen + i];
    return 0;
}

}  // namespace

int32_t fileTypeOf(std::string_view path) {
    if (path.size() < 3) return kFileNone;
    std::string ext;
    for (char c : path.substr(path.size() - 3))
        ext += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == "h16") return kFileH16;
    if (ext == "h20") return kFileH20;
    if (ext == "s16") return kFileS16;
    if (ext == "s24") return kFileS24;
    if (ext == "s32") return kFileS32;
    if (ext == "abs") return kFileAbs;
    return kFileNone;
}

int32_t parseRecord(std::string_view line, int32_t fileType, uint32_t& segmentBase,
                    ParsedRecord& out) {
    out.hasData = false;
    out.isEnd = false;
    out.count = 0;
    if (isIntelHexType(fileType)) return parseIntel(line, fileType, segmentBase, out);
    return parseMotorola(line, fileType, out);
}

bool ImageLayout::hasSecondArea() const {
    return SecondAreaBootTypes(bootType) && (flashSecondStart != 0 || flashSecondEnd != 0) &&
           flashSecondEnd >= flashSecondStart;
}

int64_t ImageLayout::indexOf(uint32_t address) const {
    int64_t index = -1;
    if (address >= singleBootFlashStart && address <= singleBootFlashEnd)
        index = static_cast<int64_t>(address) - singleBootFlashStart;
    else if (hasSecondArea() && address >= flashSecondStart && address <= flashSecondEnd)
        index = static_cast<int64_t>(secondAreaIndex()) + (address - flashSecondStart);
    return index >= 0 && index < kImageSize ? index : -1;
}

ObjectReader::ObjectReader(const ImageLayout& layout, int32_t fileType, uint8_t* image,
                           std::vector<AddressRange>& loadedRanges)
    : layout_(layout), fileType_(fileType), image_(image), ranges_(loadedRanges) {
    segmentBase_ = bootTypeRow(layout.bootType).objectFromZero
                       ? 0
                       : (layout.singleBootFlashStart >> 4) & 0xF000;
    for (const auto& r : ranges_) remember(r.start, r.end);
}

LoadFailure ObjectReader::feedLine(std::string_view line) {
    const int32_t where = parseRecord(line, fileType_, segmentBase_, record_);
    endLast = where == 0 && record_.isEnd;
    if (where != 0) {
        // A segment record in a 16-bit file is refused without a hint.
        const int32_t hint = (where == 151 && isIntelHexType(fileType_)) ? 0 : 12122;
        return {10202, where, hint};
    }
    if (!record_.hasData || record_.count == 0) return {};
    return place(record_.address, record_.data, record_.count);
}

bool ObjectReader::overlaps(int64_t first, int64_t last) const {
    if (last < 0 || first > 0xFFFFFFFFLL) return false;
    // The stored range starting at or before `last` with the highest start.
    auto it = filled_.upper_bound(static_cast<uint32_t>(last));
    if (it == filled_.begin()) return false;
    --it;
    return static_cast<int64_t>(it->second) >= first;
}

void ObjectReader::remember(uint32_t first, uint32_t last) {
    auto it = filled_.lower_bound(first);
    // Join a range that ends right before this one.
    if (it != filled_.begin()) {
        auto prev = std::prev(it);
        if (prev->second != 0xFFFFFFFF && prev->second + 1 == first) {
            first = prev->first;
            filled_.erase(prev);
        }
    }
    it = filled_.find(last + 1);
    if (last != 0xFFFFFFFF && it != filled_.end()) {
        last = it->second;
        filled_.erase(it);
    }
    filled_[first] = last;
}

LoadFailure ObjectReader::place(uint64_t fileAddress, const uint8_t* data, uint32_t count) {
    const bool h20 = fileType_ == kFileH20;
    const uint32_t low = h20 ? layout_.singleBootFlashStart : layout_.singleChipFlashStart;
    const uint32_t high = h20 ? layout_.singleBootFlashEnd : layout_.singleChipFlashEnd;
    const int64_t offset =
        h20 ? 0 : static_cast<int64_t>(layout_.singleChipFlashStart) - layout_.singleBootFlashStart;
    const int64_t first = static_cast<int64_t>(fileAddress) - offset;
    const int64_t last = first + count - 1;

    // Any overlap with data already read is refused, also a record that
    // covers an earlier one whole.
    if (overlaps(first, last)) return {10213, 15, 12122};

    const int64_t firstIndex = first - layout_.singleBootFlashStart;
    if (fileAddress >= low && fileAddress + count - 1 <= high && first >= 0 && firstIndex >= 0 &&
        firstIndex + count <= kImageSize) {
        // The whole record in the first area: one copy.
        std::memcpy(image_ + firstIndex, data, count);
        minAddress = std::min(minAddress, static_cast<uint32_t>(first));
        maxAddress = std::max(maxAddress, static_cast<uint32_t>(last));
    } else if (LoadFailure f = placeEach(fileAddress, data, count, low, high, offset)) {
        return f;
    }
    const auto f = static_cast<uint32_t>(first);
    const auto e = static_cast<uint32_t>(last);
    if (!ranges_.empty() && ranges_.back().end != 0xFFFFFFFF && ranges_.back().end + 1 == f)
        ranges_.back().end = e;
    else
        ranges_.push_back({f, e});
    remember(f, e);
    dataBytes += count;
    placedAny = true;
    return {};
}

// Byte by byte, for records that reach the second area or beyond the flash.
LoadFailure ObjectReader::placeEach(uint64_t fileAddress, const uint8_t* data, uint32_t count,
                                    uint32_t low, uint32_t high, int64_t offset) {
    const bool second = layout_.hasSecondArea();
    const uint32_t secondBase = layout_.secondAreaIndex();
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t l = fileAddress + i;
        if (l >= low && l <= high) {
            const int64_t a = static_cast<int64_t>(l) - offset;
            const int64_t index = a - layout_.singleBootFlashStart;
            if (a < 0 || index < 0 || index >= kImageSize) return {10205, 151, 12108};
            image_[index] = data[i];
            const auto a32 = static_cast<uint32_t>(a);
            if (a32 < minAddress) minAddress = a32;
            if (a32 > maxAddress) maxAddress = a32;
        } else if (second && l >= layout_.flashSecondStart && l <= layout_.flashSecondEnd) {
            const int64_t a = static_cast<int64_t>(l) - offset;
            const int64_t index = static_cast<int64_t>(secondBase) + (a - layout_.flashSecondStart);
            if (a < 0 || index < 0 || index >= kImageSize) return {10205, 156, 12108};
            image_[index] = data[i];
            const auto a32 = static_cast<uint32_t>(a);
            if (a32 < secondMin) secondMin = a32;
            if (a32 > secondMax) secondMax = a32;
        } else {
            return {10205, 152, 12108};
        }
    }
    return {};
}

}  // namespace ostrand
