// The passwords one run is given instead of the setup's (ostrand-cli's
// options): the device password, or a blank chip, or the password log, and
// the object file's password. Nothing writes them back to the setup file.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/device_database.h"
#include "app/operator.h"
#include "app/password_set.h"
#include "app/setup_settings.h"
#include "objfile/object_image.h"

namespace ostrand {

struct RunPasswords {
    std::string device;     // HEX, or "log"
    std::string addresses;  // NUM,CMP of the device password
    std::string object;     // "auto", or HEX
    bool haveDevice = false, haveAddresses = false, haveObject = false;
    bool blankDevice = false;
};

// What applying them came to.
enum class RunPasswordResult { Ok, Malformed, Failed };

// The device password (or the blank chip's) into the setup values in force,
// before the password set takes them. Malformed with the numbered message
// shown.
RunPasswordResult applyDevicePassword(const RunPasswords& passwords, const DeviceDefinition& device,
                                      SetupValues& values, Operator& op);

// The object file's own password, as its automatic source takes it (the
// Setup Password dialog's Auto, --object-password auto): what the file
// holds, or nothing (present false, addresses 0), which leaves the object
// without a password.
ObjectPassword objectFilePassword(const PasswordImageView& view, const PasswordSet& set);

// The object password, once the object has loaded: found in it or checked
// against it. `reload` loads the object again when the password's addresses
// changed.
RunPasswordResult applyObjectPassword(const RunPasswords& passwords, PasswordSet& set,
                                      ObjectImage& image, SetupValues& values, Operator& op,
                                      const std::function<bool()>& reload);

// Without an object password, a blank chip takes the blank password as its
// object password too (the engine sends it once the chip is rewritten).
void applyBlankObjectPassword(const RunPasswords& passwords, const DeviceDefinition& device,
                              PasswordSet& set);

// True when the password log was asked for and looked in vain (10138 or
// 10139 among `shown`).
bool passwordLogFailed(const RunPasswords& passwords, const std::vector<int32_t>& shownCodes);

}  // namespace ostrand
