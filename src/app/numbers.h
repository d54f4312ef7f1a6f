// Number and range syntax of the definition and setup files.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

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

namespace detail {
constexpr std::array<uint8_t, 256> makeHexDigits() {
    std::array<uint8_t, 256> t{};
    for (auto& v : t) v = 0xFF;
    for (int c = '0'; c <= '9'; ++c) t[c] = static_cast<uint8_t>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c) t[c] = static_cast<uint8_t>(c - 'A' + 10);
    for (int c = 'a'; c <= 'f'; ++c) t[c] = static_cast<uint8_t>(c - 'a' + 10);
    return t;
}
inline constexpr std::array<uint8_t, 256> kHexDigits = makeHexDigits();
}  // namespace detail

// The value of one hexadecimal digit; -1 when c is none.
inline int hexDigitValue(char c) {
    const uint8_t v = detail::kHexDigits[static_cast<uint8_t>(c)];
    return v == 0xFF ? -1 : v;
}

// The byte of the two digits at `pos`; -1 when they are missing or not digits.
inline int hexByteAt(std::string_view s, size_t pos) {
    if (pos + 2 > s.size()) return -1;
    const uint8_t hi = detail::kHexDigits[static_cast<uint8_t>(s[pos])];
    const uint8_t lo = detail::kHexDigits[static_cast<uint8_t>(s[pos + 1])];
    if ((hi | lo) & 0xF0) return -1;
    return (hi << 4) | lo;
}

}  // namespace ostrand
