#include "numbers.h"

namespace ostrand {

namespace {
bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Blanks and the double-byte ideographic space (0x81 0x40) at both ends.
std::string_view trimWide(std::string_view s) {
    for (;;) {
        if (!s.empty() && isBlank(s.front())) {
            s.remove_prefix(1);
        } else if (s.size() >= 2 && static_cast<unsigned char>(s[0]) == 0x81 && s[1] == 0x40) {
            s.remove_prefix(2);
        } else {
            break;
        }
    }
    for (;;) {
        if (!s.empty() && isBlank(s.back())) {
            s.remove_suffix(1);
        } else if (s.size() >= 2 && static_cast<unsigned char>(s[s.size() - 2]) == 0x81 &&
                   s.back() == 0x40) {
            s.remove_suffix(2);
        } else {
            break;
        }
    }
    return s;
}
}  // namespace

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::optional<uint32_t> parseNumber(std::string_view text) {
    std::string_view s = trimBlanks(text);
    bool negative = false;
    if (!s.empty() && s.front() == '-') {
        negative = true;
        s.remove_prefix(1);
    }
    if (s.empty()) return std::nullopt;
    uint32_t value = 0;
    if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        s.remove_prefix(2);
        if (s.empty()) return std::nullopt;
        for (char c : s) {
            uint32_t d;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (c >= 'a' && c <= 'f')
                d = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            else
                return std::nullopt;
            value = value * 16u + d;
        }
    } else {
        for (char c : s) {
            if (c < '0' || c > '9') return std::nullopt;
            value = value * 10u + static_cast<uint32_t>(c - '0');
        }
    }
    return negative ? 0u - value : value;
}

std::optional<AddressRange> parseRange(std::string_view text) {
    size_t dash = text.find('-');
    if (dash == std::string_view::npos) return std::nullopt;
    std::string_view first = text.substr(0, dash);
    std::string_view second = text.substr(dash + 1);
    // Anything after a second "-" is ignored.
    size_t dash2 = second.find('-');
    if (dash2 != std::string_view::npos) second = second.substr(0, dash2);
    auto a = parseNumber(trimWide(first));
    auto b = parseNumber(trimWide(second));
    if (!a || !b || *a > *b) return std::nullopt;
    return AddressRange{*a, *b};
}

int32_t parseLeadingInt(std::string_view text) {
    std::string_view s = trimBlanks(text);
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    uint32_t value = 0;
    for (char c : s) {
        if (c < '0' || c > '9') break;
        value = value * 10u + static_cast<uint32_t>(c - '0');
    }
    return static_cast<int32_t>(negative ? 0u - value : value);
}

}  // namespace ostrand
