// The password options of the commands that connect. They replace the
// setup's passwords for one run and are never written back.
#pragma once

#include <functional>
#include <string>

#include "app/device_database.h"
#include "app/operator.h"
#include "app/password_set.h"
#include "app/setup_settings.h"
#include "command.h"
#include "objfile/object_image.h"

namespace ostrand::cli {

struct PasswordOptions {
    std::string device;     // HEX, or "log"
    std::string addresses;  // NUM,CMP of the device password
    std::string object;     // "auto", or HEX
    bool haveDevice = false, haveAddresses = false, haveObject = false;
    bool blankDevice = false;
};

// The help text of these options, for every command's usage.
#define OSTRAND_PASSWORD_USAGE                                                             \
    "  --blank-device the chip is erased: its password is the blank-chip password\n"       \
    "  --device-password HEX|log\n"                                                        \
    "                 the chip's password now, in hexadecimal, or 'log': the one the\n"    \
    "                 password log (history.log) keeps for the chip's contents\n"          \
    "  --password-addresses NUM,CMP\n"                                                     \
    "                 where the chip keeps the count byte and the compared bytes\n"        \
    "                 (0x..., inside the password area; default: the area's start for\n"   \
    "                 both; devices with a fixed password length take none)\n"             \
    "  --object-password auto|HEX\n"                                                       \
    "                 the password the object file carries: 'auto' finds it in the\n"      \
    "                 file, HEX states it and is checked against the file\n"               \
    "These replace the setup's passwords for this run only; the setup file is not\n"       \
    "written. One example of each:\n"                                                      \
    "  --blank-device                      a new or erased chip\n"                         \
    "  --device-password A1A2A3A4A5A6A7A8 --password-addresses 0xBF00,0xBF01\n"            \
    "  --device-password log               a chip programmed before with PassLogSave on\n" \
    "  --object-password auto              the object file's own password\n"               \
    "  --object-password A1A2A3A4A5A6A7A8  the same password, stated and checked\n"

// Takes --blank-device, --device-password, --password-addresses and
// --object-password. False on bad usage, with the text in args.errorText().
bool takePasswordOptions(Args& args, PasswordOptions& options);

// The device password (or the blank chip's) into the setup values in force,
// before the password set takes them. kExitOk, or kExitUsage with the
// numbered message shown.
int applyDevicePassword(const PasswordOptions& options, const DeviceDefinition& device,
                        SetupValues& values, Operator& op);

// The object password, once the object has loaded: found in it or checked
// against it. `reload` loads the object again when the password's addresses
// changed. kExitOk, kExitUsage (a malformed password) or kExitFailed, with the
// numbered message shown.
int applyObjectPassword(const PasswordOptions& options, PasswordSet& passwords, ObjectImage& image,
                        SetupValues& values, Operator& op, const std::function<bool()>& reload);

// Without --object-password, a blank chip takes the blank password as its
// object password too (the engine sends it once the chip is rewritten).
void applyBlankObjectPassword(const PasswordOptions& options, const DeviceDefinition& device,
                              PasswordSet& passwords);

// True when --device-password log looked in vain (10138 or 10139 shown).
bool passwordLogFailed(const PasswordOptions& options, const std::vector<ShownMessage>& shown);

}  // namespace ostrand::cli
