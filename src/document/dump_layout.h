// The memory dump's text layout, without any window: the row text in byte,
// word and long units, where each value sits in a row, and the arithmetic of
// pages, the read-ahead window and the scroll bar.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ostrand {

enum class DumpUnit : int32_t { Byte = 0, Word = 1, Long = 2 };

constexpr uint32_t kDumpRowBytes = 16;

// Bytes per value (1, 2, 4), values per row (16, 8, 4).
uint32_t dumpValueSize(DumpUnit unit);
uint32_t dumpValuesPerRow(DumpUnit unit);
// Characters of a row without its CR LF: 79 (Byte), 52 (Word), 48 (Long).
uint32_t dumpRowWidth(DumpUnit unit);

// One row: "0x%06lx:  ", the values (little-endian words and longs), one
// extra blank after the eighth byte, in Byte unit the character column; CR LF.
std::string dumpRowText(uint32_t address, const uint8_t (&bytes)[kDumpRowBytes], DumpUnit unit);

// First column of value k of a row, and of byte k's character.
uint32_t dumpValueColumn(DumpUnit unit, uint32_t k);
uint32_t dumpCharColumn(uint32_t k);

// What a column of a row points at.
struct DumpHit {
    uint32_t value = 0;      // value index in the row
    bool character = false;  // the byte's character (Byte unit only)
    uint32_t offset = 0;     // character within the value's text
    bool operator==(const DumpHit&) const = default;
};
std::optional<DumpHit> dumpHitAt(DumpUnit unit, uint32_t column);

// The top row for an address: a multiple of 16, and no later than the row
// that still shows a full page ending at `last`.
uint32_t dumpTopRow(uint32_t address, uint32_t first, uint32_t last, uint32_t rows);

// The read-ahead window of a request, seven pages clamped to [first, last]:
// from three pages before the requested row; but a row just after the
// previous window starts the next one (scrolling down), and a row just
// before it ends the next one with its page (scrolling up), so that paging
// through the flash reads the device once per seven pages.
struct DumpWindow {
    uint32_t start = 0;
    uint32_t length = 0;
    bool holds(uint32_t row) const {
        return length != 0 && row >= start &&
               uint64_t{row} + kDumpRowBytes <= uint64_t{start} + length;
    }
};
DumpWindow dumpReadWindow(uint32_t row, uint32_t first, uint32_t last, uint32_t rows,
                          const DumpWindow& previous = {});

// The scroll bar over [first, last] with positions 0..range.
int32_t dumpScrollPosition(uint32_t top, uint32_t first, uint32_t last, int32_t range);
uint32_t dumpTopOfPosition(int32_t position, uint32_t first, uint32_t last, int32_t range,
                           uint32_t rows);

// The value's text as it is edited ("%02x", "%04x", "%08lx", or the character).
std::string dumpValueText(const uint8_t* bytes, DumpUnit unit, bool character);
// Whether a key is taken by the field (hex digit, or a character below 128).
bool dumpFieldAccepts(char c, bool character);
// The field's text back as the value's bytes (little-endian); empty when
// the text is not a whole value.
std::vector<uint8_t> dumpFieldBytes(const std::string& text, DumpUnit unit, bool character);

}  // namespace ostrand
