// Number and range syntax of the definition and setup files.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace ostrand {

struct AddressRange {
    uint32_t start = 0;
    uint32_t end = 0;
    bool operator==(const AddressRange&) const = default;
    uint32_t size() const { return end - start + 1; }
    bool contains(uint32_t a) const { return a >= start && a <= end; }
};

// Blanks at both ends ignored; optional leading "-"; "0x"/"0X" hexadecimal,
// otherwise decimal digits only; empty is not a number; wraps at 32 bits.
std::optional<uint32_t> parseNumber(std::string_view text);

// "<number>-<number>", split at the first "-", each part trimmed of blanks and
// of the double-byte ideographic space; taken only when start <= end.
std::optional<AddressRange> parseRange(std::string_view text);

// The profile functions' integer reading: optional sign and leading decimal
// digits, the rest ignored; no digits gives 0.
int32_t parseLeadingInt(std::string_view text);

// Blanks (space, tab, CR, LF) removed at both ends.
std::string_view trimBlanks(std::string_view text);

}  // namespace ostrand
