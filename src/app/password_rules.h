// The rules a password text, its two addresses and the password log obey,
// as pure functions: the command line's options and the Setup Password
// dialog ask the same ones and show the verdict themselves.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "password_set.h"

namespace ostrand {

class Operator;
struct DeviceDefinition;
struct SetupValues;

// A rule's verdict: the numbered message it asks for; code 0 passes.
struct RuleVerdict {
    int32_t code = 0;
    int32_t place = 0;
    int32_t hint = 0;
    bool passed() const { return code == 0; }
    bool operator==(const RuleVerdict&) const = default;
};

// Shows the verdict's message unless it passed; true when it passed.
bool showVerdict(const RuleVerdict& verdict, Operator& op);

// A device or object password text for `bootType`: hexadecimal (two digits
// a byte) or the bytes themselves. `deviceBlank`: the text stands for an
// erased chip, so the repetition rule does not apply.
RuleVerdict checkPasswordText(const std::string& text, int32_t bootType, bool hex,
                              bool deviceBlank = false);

// The count storage address (`countAddress`) or the comparison start
// address as typed ("0x" and hexadecimal digits), inside the device's
// password area. `value` takes the address when it passes.
RuleVerdict checkPasswordAddress(const std::string& text, const DeviceDefinition& device,
                                 bool countAddress, uint32_t& value);

// The password holds the byte ':' (0x3A), which single boot passwords of
// some chips cannot carry.
bool passwordHoldsColon(const std::string& text, bool hex);

// The password log of the program folder is there to look in.
bool passwordLogPresent(const std::filesystem::path& programFolder);
// The entry the log keeps for a chip of `device` whose flash adds up to
// `sum`; nullptr when it keeps none.
const PasswordLogEntry* loggedPassword(const std::vector<PasswordLogEntry>& log, uint16_t sum,
                                       const std::string& device);
// The lookup's verdict: 10139 without a log file, 10138 without an entry.
RuleVerdict passwordLogVerdict(bool logPresent, const PasswordLogEntry* found);

// What becomes of the setup's passwords when `next` becomes the device in
// force after `previous` (the same record when the setup's own device is
// taken up). Devices with a fixed password at their password area take it
// from the record: the area's start for both addresses and, unless a
// password is known for this device, the blank-chip password (all F).
// Leaving such a device clears the device password; any other change of
// device or boot type clears both passwords.
void applyDevicePasswords(const DeviceDefinition* previous, const DeviceDefinition& next,
                          SetupValues& values);

// The password values of a setup that say "Device is Blank" for `device`.
void setBlankDevicePassword(const DeviceDefinition& device, SetupValues& values);

}  // namespace ostrand
