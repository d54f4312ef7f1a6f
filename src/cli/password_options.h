// The password options of the commands that connect: read into the run's
// passwords, which replace the setup's for one run and are never written back.
#pragma once

#include "command.h"
#include "document/run_passwords.h"

namespace ostrand::cli {

using PasswordOptions = RunPasswords;

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

}  // namespace ostrand::cli
