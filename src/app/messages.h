// The numbered message catalogue and the layout of every message shown.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrand {

enum class MessageClass { Error, Result, Notice };

// Text of a catalogue number, or nullopt when the catalogue has none.
std::optional<std::string_view> messageText(int32_t code);

// Text of a number, falling back to 10999 "An application error.".
std::string_view messageTextOrFallback(int32_t code);

MessageClass messageClass(int32_t code);

// "E001", "R006", "M149".
std::string messagePrefix(int32_t code);

// Longest detail shown, in characters after escaping.
inline constexpr size_t kDetailLimit = 256;

// A detail as it may reach a terminal or a window: bytes outside printable
// ASCII as "\xNN", cut after kDetailLimit characters with "..." (a line of a
// broken file can hold anything, and be a megabyte long).
std::string printableDetail(std::string_view detail);

// The whole text of a message box: prefix, "-place", " : text",
// "  \"detail\"", and the hint on a line of its own.
std::string formatMessage(int32_t code, int32_t place, int32_t hintCode, std::string_view detail);

// The command-error box: the text of 10006 filled with the command byte,
// laid out as E006 with the detail, and the text of 12127 below.
std::string formatCommandError(uint8_t commandByte, std::string_view detail);

// The adapter-lost notice: "E000 : <10000>\n<12100>".
std::string formatAdapterLost();

// Every catalogue number, ascending (for tests and listings).
std::vector<int32_t> catalogueCodes();

}  // namespace ostrand
