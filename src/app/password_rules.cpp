#include "password_rules.h"

#include <algorithm>
#include <cctype>

#include "device_database.h"
#include "numbers.h"
#include "operator.h"
#include "setup_settings.h"

namespace ostrand {

namespace {

constexpr int32_t kHintPasswordLength = 12129;
constexpr int32_t kHintDeviceSpec = 12110;

bool allHex(const std::string& text, size_t from = 0) {
    return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(),
                       [](char c) { return hexDigitValue(c) >= 0; });
}

int upper(char c) {
    return std::toupper(static_cast<unsigned char>(c));
}

// Byte `i` of the text equals the two bytes before it.
bool threeInARow(const std::string& text, bool hex) {
    const size_t width = hex ? 2 : 1;
    const size_t bytes = text.size() / width;
    auto same = [&](size_t a, size_t b) {
        for (size_t k = 0; k < width; ++k)
            if (upper(text[a * width + k]) != upper(text[b * width + k])) return false;
        return true;
    };
    for (size_t i = 2; i < bytes; ++i)
        if (same(i, i - 1) && same(i, i - 2)) return true;
    return false;
}

}  // namespace

bool showVerdict(const RuleVerdict& v, Operator& op) {
    if (!v.passed()) op.showMessage(v.code, v.place, v.hint);
    return v.passed();
}

RuleVerdict checkPasswordText(const std::string& text, int32_t bootType, bool hex,
                              bool deviceBlank) {
    const uint32_t fixed = fixedPasswordLength(bootType);
    const size_t width = hex ? 2 : 1;
    if (!fixed && text.size() > 255 * width) return {10122, 0, kHintPasswordLength};
    if (fixed && text.size() != fixed * width) return {fixed == 4 ? 10136 : 10137, 0, 0};
    if (hex && !allHex(text)) return {10129, 0, 0};
    // A password of no bytes, or of half a byte, cannot be sent.
    if (text.empty()) return {10123, 0, 0};
    if (hex && text.size() % 2 != 0) return {10124, 53, 0};
    const bool allF = std::all_of(text.begin(), text.end(), [](char c) { return upper(c) == 'F'; });
    if (deviceBlank || BootTypesC(bootType) || (fixed && allF)) return {};
    if (threeInARow(text, hex)) return {10134, 0, kHintDeviceSpec};
    return {};
}

RuleVerdict checkPasswordAddress(const std::string& text, const DeviceDefinition& d,
                                 bool countAddress, uint32_t& value) {
    const int32_t empty = countAddress ? 10131 : 10133, notHex = countAddress ? 10130 : 10132,
                  outside = countAddress ? 10120 : 10121;
    if (text.empty()) return {empty, 0, 0};
    const bool prefixed = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (!prefixed || text.size() > 10 || !allHex(text, 2)) return {notHex, 0, 0};
    const auto address = parseNumber(text);
    if (!address || *address < d.passwordAreaStart || *address > d.passwordAreaEnd)
        return {outside, 0, kHintDeviceSpec};
    value = *address;
    return {};
}

bool passwordHoldsColon(const std::string& text, bool hex) {
    if (!hex) return text.find(':') != std::string::npos;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        if (hexByteAt(text, i) == 0x3A) return true;
    return false;
}

bool passwordLogPresent(const std::filesystem::path& programFolder) {
    std::error_code ec;
    return std::filesystem::exists(programFolder / "history.log", ec);
}

const PasswordLogEntry* loggedPassword(const std::vector<PasswordLogEntry>& log, uint16_t sum,
                                       const std::string& device) {
    const PasswordLogEntry* found = nullptr;
    for (const auto& e : log)
        if (e.sum == sum && e.device == device) found = &e;
    return found;
}

RuleVerdict passwordLogVerdict(bool logPresent, const PasswordLogEntry* found) {
    if (!logPresent) return {10139, 0, 0};
    if (!found) return {10138, 0, 0};
    return {};
}

void setBlankDevicePassword(const DeviceDefinition& d, SetupValues& v) {
    v.passDevBlank = 1;
    v.passDevType = 1;
    v.passDevPassword = blankPasswordText(d.bootType);
    v.passDevNumAdd = v.passDevCmpAdd = d.passwordAreaStart;
}

void applyDevicePasswords(const DeviceDefinition* previous, const DeviceDefinition& next,
                          SetupValues& v) {
    const bool sameDevice =
        previous && previous->deviceName == next.deviceName && previous->bootType == next.bootType;
    if (BootTypesC(next.bootType)) {
        // The log's lookup fills the text in once connected.
        const bool known =
            sameDevice &&
            (v.passDevBlank == 3 ||
             (v.passDevBlank != 0 && checkPasswordText(v.passDevPassword, next.bootType,
                                                       v.passDevType == 1, v.passDevBlank == 1)
                                         .passed()));
        if (!known) {
            setBlankDevicePassword(next, v);
            return;
        }
        v.passDevNumAdd = v.passDevCmpAdd = next.passwordAreaStart;
        return;
    }
    if (sameDevice) return;
    v.passDevBlank = 0;
    v.passDevType = 0;
    v.passDevPassword.clear();
    v.passDevNumAdd = v.passDevCmpAdd = 0;
    if (previous && BootTypesC(previous->bootType)) return;
    v.passObjBlank = 0;
    v.passObjNumAdd = v.passObjCmpAdd = 0;
}

}  // namespace ostrand
