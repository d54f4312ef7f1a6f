// What the Setup Password and Set Up Option windows need of the document
// beyond its commands (setPasswords, setOptions): writing the setup with the
// Setup dialog's page path, the password of any object file, the fields of
// a blank chip.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "app/password_set.h"
#include "app/setup_settings.h"

namespace ostrand {

class DocumentCore;
struct DeviceDefinition;

// Writes the setup in force: Ostrand.ini in single-instance operation; in
// multi-instance operation `pagePath` (the Setup File page's path) when
// given, else this instance's file. 0 written, -1 failure (shown).
int32_t saveSetupFor(DocumentCore& core, const std::filesystem::path& pagePath = {});

// The image of an object file as the password rules see it: the loaded
// image when it is that file, else the file read into the second image.
// nullopt when it cannot be read (the reader's message shown).
std::optional<PasswordImageView> objectPasswordView(DocumentCore& core, const std::string& path);

// The password an object file holds, found by itself. 1 found; 0 the file
// holds none (10127 shown); -1 no file named (10135 with `noFileHint`) or
// the file could not be read (shown).
int32_t findPasswordInObjectFile(DocumentCore& core, const std::string& path, ObjectPassword& found,
                                 int32_t noFileHint);

// The device password fields that "Device is Blank" shows for `device`
// (into `values`): false without a device (10115 shown).
bool blankDeviceFields(DocumentCore& core, const DeviceDefinition* device, SetupValues& values);

// The object file password (hexadecimal) at the two addresses, checked
// against the file and kept as the object-file password. 0 kept; else the
// kind of failure of checkObjectPassword (message shown).
int32_t takeObjectPassword(DocumentCore& core, const PasswordImageView& view,
                           const std::string& text, uint32_t numAdd, uint32_t cmpAdd);

}  // namespace ostrand
