// What the Setup dialog and the password and option windows do to the
// document: taking up another setup file, applying the setup (object file,
// connection) and writing it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "app/password_set.h"

namespace ostrand {

class DocumentCore;

// Another setup file becomes the current setup. 1 taken up; 0 it did not
// load (mode 0, disconnected); -1 another instance holds it (10113 shown).
int32_t takeUpSetupFile(DocumentCore& core, const std::filesystem::path& path);

// The setup in force takes effect: the device, the object file, then a new
// connection. 1 success; 0 failure (the object did not load, or the
// connection failed for good). A chip that does not answer yet leaves the
// worker trying and counts as success.
int32_t applySetup(DocumentCore& core);

// Writes the setup in force: Ostrand.ini in single-instance operation; in
// multi-instance operation `pagePath` (the Setup File page's path) when
// given, else this instance's file. 0 written, -1 failure (shown).
int32_t saveSetupFor(DocumentCore& core, const std::filesystem::path& pagePath = {});

// Mode 0, the engine disconnected, ConnectStatus 0.
void dropConnection(DocumentCore& core);
// A connect result into ConnectStatus and the document's flag: 1 connected,
// -1 disconnected, anything else as it is.
void storeConnectResult(DocumentCore& core, int32_t result);

// The image of an object file as the password rules see it: the loaded
// image when it is that file, else the file read into the second image.
// nullopt when it cannot be read (the reader's message shown).
std::optional<PasswordImageView> objectPasswordView(DocumentCore& core, const std::string& path);

// The password an object file holds, found by itself. 1 found; 0 the file
// holds none (10127 shown); -1 the file could not be read (shown).
int32_t findPasswordInObjectFile(DocumentCore& core, const std::string& path,
                                 ObjectPassword& found);

// The password the log keeps for the connected chip, by its SUM. 1 found;
// 0 not (10138 or 10139 shown); -1 nothing looked up (no link, or a WCP
// runs in the chip).
int32_t loggedDevicePassword(DocumentCore& core, PasswordLogEntry& found);

// The object file password (hexadecimal) at the two addresses, checked
// against the file and kept as the object-file password. 0 kept; else the
// kind of failure of checkObjectPassword (message shown).
int32_t takeObjectPassword(DocumentCore& core, const PasswordImageView& view,
                           const std::string& text, uint32_t numAdd, uint32_t cmpAdd);

}  // namespace ostrand
