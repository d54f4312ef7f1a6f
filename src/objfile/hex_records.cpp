#include "objfile/hex_records.h"

#include <algorithm>

#include "app/numbers.h"

namespace ostrand {

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

// Two upper-case hex digits for every byte value.
struct HexPairs {
    char pairs[256][2];
    constexpr HexPairs() : pairs() {
        for (int b = 0; b < 256; ++b) {
            pairs[b][0] = kDigits[b >> 4];
            pairs[b][1] = kDigits[b & 0xF];
        }
    }
};
constexpr HexPairs kPairs;

}  // namespace

void appendHexRecord(std::string& out, uint8_t type, uint16_t address, const uint8_t* data,
                     uint32_t count) {
    const size_t at = out.size();
    out.resize(at + 12 + 2 * static_cast<size_t>(count));
    char* p = out.data() + at;
    auto put = [&p](uint8_t b) {
        p[0] = kPairs.pairs[b][0];
        p[1] = kPairs.pairs[b][1];
        p += 2;
    };
    *p++ = ':';
    unsigned sum = count + (address >> 8) + (address & 0xFF) + type;
    put(static_cast<uint8_t>(count));
    put(static_cast<uint8_t>(address >> 8));
    put(static_cast<uint8_t>(address & 0xFF));
    put(type);
    for (uint32_t i = 0; i < count; ++i) {
        put(data[i]);
        sum += data[i];
    }
    put(static_cast<uint8_t>(-sum));
    *p = '\n';
}

void appendHexSegment(std::string& out, uint16_t segment) {
    const uint8_t seg[2] = {static_cast<uint8_t>(segment >> 8), static_cast<uint8_t>(segment)};
    appendHexRecord(out, 0x02, 0, seg, 2);
}

std::string memoryFileRecords(uint32_t start, const uint8_t* bytes, uint32_t count,
                              bool withSegments, SegmentState& segments) {
    std::string out;
    uint32_t i = 0;
    while (i < count) {
        const uint32_t address = start + i;
        // A record never runs over a 64 KiB boundary.
        const uint32_t toBoundary = 0x10000 - (address & 0xFFFF);
        const uint32_t n = std::min({16u, count - i, toBoundary});
        if (withSegments && (!segments.started || (address >> 16) != segments.block)) {
            const uint32_t segment = (address / 16) & 0xFFFF;
            segments = {true, address >> 16, segment * 16};
            appendHexSegment(out, static_cast<uint16_t>(segment));
        }
        const uint32_t offset = (address - (withSegments ? segments.base : 0)) & 0xFFFF;
        appendHexRecord(out, 0x00, static_cast<uint16_t>(offset), bytes + i, n);
        i += n;
    }
    return out;
}

bool HexRecord::sumOk() const {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < size; ++i) sum += bytes[i];
    return (sum & 0xFF) == 0;
}

bool decodeHexRecord(std::string_view line, HexRecord& out) {
    out.size = 0;
    if (line.size() < 11 || line[0] != ':' || (line.size() - 1) % 2 != 0) return false;
    const size_t n = (line.size() - 1) / 2;
    if (n > sizeof out.bytes) return false;
    for (size_t i = 0; i < n; ++i) {
        const int b = hexByteAt(line, 1 + 2 * i);
        if (b < 0) return false;
        out.bytes[i] = static_cast<uint8_t>(b);
    }
    if (out.bytes[0] + 5u != n) return false;
    out.size = static_cast<uint32_t>(n);
    return true;
}

HexFileReader::HexFileReader(const std::filesystem::path& path) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec)) in_.open(path, std::ios::binary);
}

bool HexFileReader::next(HexRecord& record, bool& wellFormed) {
    while (std::getline(in_, line_)) {
        while (!line_.empty() && (line_.back() == '\r' || line_.back() == '\n' ||
                                  line_.back() == ' ' || line_.back() == '\t'))
            line_.pop_back();
        if (line_.empty()) continue;
        wellFormed = decodeHexRecord(line_, record);
        return true;
    }
    return false;
}

}  // namespace ostrand
