#include "document/dump_layout.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace ostrand {

namespace {
constexpr uint32_t kPrefix = 11;  // "0x%06lx:  "
constexpr uint32_t kHexArea = 16 * 3 + 1;
}  // namespace

uint32_t dumpValueSize(DumpUnit unit) {
    return 1u << static_cast<int>(unit);
}

uint32_t dumpValuesPerRow(DumpUnit unit) {
    return kDumpRowBytes / dumpValueSize(unit);
}

uint32_t dumpRowWidth(DumpUnit unit) {
    if (unit == DumpUnit::Byte) return dumpCharColumn(0) + kDumpRowBytes;
    return dumpValueColumn(unit, dumpValuesPerRow(unit) - 1) + 2 * dumpValueSize(unit) + 1;
}

uint32_t dumpValueColumn(DumpUnit unit, uint32_t k) {
    const uint32_t size = dumpValueSize(unit);
    return kPrefix + k * (2 * size + 1) + (k * size >= 8 ? 1 : 0);
}

uint32_t dumpCharColumn(uint32_t k) {
    return kPrefix + kHexArea + 3 + k;
}

std::string dumpRowText(uint32_t address, const uint8_t (&b)[kDumpRowBytes], DumpUnit unit) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%06lx:  ", static_cast<unsigned long>(address));
    std::string row = text;
    const uint32_t size = dumpValueSize(unit);
    for (uint32_t k = 0; k < dumpValuesPerRow(unit); ++k) {
        uint32_t value = 0;
        for (uint32_t i = size; i-- > 0;) value = value << 8 | b[k * size + i];
        std::snprintf(text, sizeof text, "%0*lx ", static_cast<int>(2 * size),
                      static_cast<unsigned long>(value));
        row += text;
        if ((k + 1) * size == 8) row += ' ';
    }
    if (unit == DumpUnit::Byte) {
        row += "   ";
        for (uint8_t c : b) row += c < 128 && std::isprint(c) ? static_cast<char>(c) : '.';
    }
    return row + "\r\n";
}

std::optional<DumpHit> dumpHitAt(DumpUnit unit, uint32_t column) {
    if (unit == DumpUnit::Byte && column >= dumpCharColumn(0) &&
        column < dumpCharColumn(kDumpRowBytes))
        return DumpHit{column - dumpCharColumn(0), true, 0};
    const uint32_t width = 2 * dumpValueSize(unit);
    for (uint32_t k = 0; k < dumpValuesPerRow(unit); ++k) {
        const uint32_t start = dumpValueColumn(unit, k);
        // The blank after a value belongs to it.
        if (column >= start && column <= start + width)
            return DumpHit{k, false, std::min(column - start, width - 1)};
    }
    return std::nullopt;
}

uint32_t dumpTopRow(uint32_t address, uint32_t first, uint32_t last, uint32_t rows) {
    const uint32_t base = first - first % kDumpRowBytes;
    const uint64_t page = uint64_t{std::max(rows, 1u)} * kDumpRowBytes;
    uint64_t top = address - address % kDumpRowBytes;
    const uint64_t end = uint64_t{last} + 1;
    const uint64_t lastTop =
        end >= base + page ? (end - page) / kDumpRowBytes * kDumpRowBytes : base;
    top = std::min(top, lastTop);
    return static_cast<uint32_t>(std::max<uint64_t>(top, base));
}

DumpWindow dumpReadWindow(uint32_t row, uint32_t first, uint32_t last, uint32_t rows,
                          const DumpWindow& previous) {
    const uint64_t page = uint64_t{kDumpRowBytes} * rows;
    const uint64_t span = 7 * page;
    const uint64_t prevEnd = uint64_t{previous.start} + previous.length;
    uint64_t start = 0;
    if (previous.length != 0 && row >= prevEnd && row < prevEnd + page) {
        start = row;
    } else if (previous.length != 0 && row < previous.start && row + page >= previous.start) {
        const uint64_t end = uint64_t{row} + page;
        start = end >= first + span ? end - span : first;
    } else {
        const uint64_t before = 3 * page;
        start = row >= first + before ? row - before : first;
    }
    start = std::max<uint64_t>(start, first);
    const uint64_t end = std::min<uint64_t>(start + span - 1, last);
    if (end < start) return {};
    return {static_cast<uint32_t>(start), static_cast<uint32_t>(end - start + 1)};
}

int32_t dumpScrollPosition(uint32_t top, uint32_t first, uint32_t last, int32_t range) {
    if (range <= 0 || top <= first) return 0;
    const uint64_t step =
        std::max<uint64_t>((uint64_t{last} - first + 1) / (uint64_t(range) + 1), 1);
    return static_cast<int32_t>(std::min<uint64_t>((top - first) / step, uint64_t(range)));
}

uint32_t dumpTopOfPosition(int32_t position, uint32_t first, uint32_t last, int32_t range,
                           uint32_t rows) {
    const uint64_t step =
        std::max<uint64_t>((uint64_t{last} - first + 1) / (uint64_t(std::max(range, 0)) + 1), 1);
    const uint64_t address = first + uint64_t(std::max(position, 0)) * step;
    return dumpTopRow(static_cast<uint32_t>(std::min<uint64_t>(address, last)), first, last, rows);
}

std::string dumpValueText(const uint8_t* bytes, DumpUnit unit, bool character) {
    if (character) {
        const uint8_t c = bytes[0];
        return std::string(1, c < 128 && std::isprint(c) ? static_cast<char>(c) : '.');
    }
    const uint32_t size = dumpValueSize(unit);
    uint32_t value = 0;
    for (uint32_t i = size; i-- > 0;) value = value << 8 | bytes[i];
    char text[16];
    std::snprintf(text, sizeof text, "%0*lx", static_cast<int>(2 * size),
                  static_cast<unsigned long>(value));
    return text;
}

bool dumpFieldAccepts(char c, bool character) {
    const auto u = static_cast<unsigned char>(c);
    return character ? u >= 0x20 && u < 128 : std::isxdigit(u) != 0;
}

std::vector<uint8_t> dumpFieldBytes(const std::string& text, DumpUnit unit, bool character) {
    if (character) {
        if (text.size() != 1 || static_cast<unsigned char>(text[0]) >= 128) return {};
        return {static_cast<uint8_t>(text[0])};
    }
    const uint32_t size = dumpValueSize(unit);
    if (text.size() != 2 * size) return {};
    uint32_t value = 0;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return {};
        value = value << 4 | static_cast<uint32_t>(std::stoul(std::string(1, c), nullptr, 16));
    }
    std::vector<uint8_t> bytes(size);
    for (uint32_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    return bytes;
}

}  // namespace ostrand
