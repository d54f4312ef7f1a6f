// Device and object-file passwords of one setup, and the password log
// "history.log" that remembers which password belongs to which object file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "boot_types.h"
#include "file_io.h"
#include "numbers.h"

namespace ostrand {

class Operator;
struct Session;
struct SetupValues;

// What the password operations need of a loaded memory image.
struct PasswordImageView {
    const std::vector<AddressRange>* loadedRanges = nullptr;  // ranges the file filled
    std::function<int(uint32_t)> byteAt;  // image byte of an address, -1 outside the image
    int32_t bootType = -1;
    uint32_t passwordAreaStart = 0, passwordAreaEnd = 0;

    bool isLoaded(uint32_t address) const;
};

// The password an object file holds.
struct ObjectPassword {
    bool present = false;
    std::string text;  // hexadecimal, two digits per byte
    uint32_t length = 0;
    uint32_t numAdd = 0;
    uint32_t cmpAdd = 0;
};

struct PasswordLogEntry {
    uint16_t sum = 0;
    uint32_t numAdd = 0;
    uint32_t cmpAdd = 0;
    std::string password;
    std::string device;
    bool operator==(const PasswordLogEntry&) const = default;
};

// Password lengths that the boot type fixes; 0 when the count byte gives it.
uint32_t fixedPasswordLength(int32_t bootType);
// The password an erased chip holds: FF bytes, as many as the boot type fixes
// or the 255 a count byte of FF gives; as bytes and as hexadecimal text.
std::string blankPasswordText(int32_t bootType);

class PasswordSet {
  public:
    PasswordSet(Session& session, Operator& op) : session_(session), op_(op) {}

    // Setup values
    int32_t devicePasswordOption = 0;
    int32_t devicePasswordType = 0;
    std::string devicePassword;
    uint32_t deviceNumAdd = 0;
    uint32_t deviceCmpAdd = 0;
    int32_t objectPasswordOption = 0;
    uint32_t objectNumAdd = 0;
    uint32_t objectCmpAdd = 0;
    int32_t passLogSave = 0;
    int32_t eraseWithoutPassword = 0;

    // The object-file password accepted by checkObjectPassword.
    std::string objectPassword;
    int32_t objectPasswordType = 0;

    std::vector<PasswordLogEntry> log;

    // Password values from / into the setup values.
    void takeSetup(const SetupValues& values);
    void giveSetup(SetupValues& values) const;

    // Checks an entered object-file password against the image. 0 match
    // (stored), 1 count address not in the file, 2 start address not in the
    // file, 3 bytes differ, 4 wrong length.
    int32_t checkObjectPassword(const PasswordImageView& image, const std::string& text,
                                int32_t type, uint32_t numAdd, uint32_t cmpAdd);

    // Looks for the password inside the object file by itself. 1 found.
    int32_t findObjectPassword(const PasswordImageView& image, uint32_t& numAdd, uint32_t& cmpAdd,
                               std::string& password) const;

    // The password at the given addresses after a load.
    static ObjectPassword readObjectPassword(const PasswordImageView& image, uint32_t numAdd,
                                             uint32_t cmpAdd);
    ObjectPassword readObjectPassword(const PasswordImageView& image) const {
        return readObjectPassword(image, objectNumAdd, objectCmpAdd);
    }

    // Fills the log from the file; a missing file gives an empty log, and so
    // does one that cannot be read (logFailure tells why; a file larger than
    // kMaxProfileFileBytes is not read at all).
    void loadPasswordLog(const std::filesystem::path& path);
    OpenFailure logFailure = OpenFailure::None;
    // The log file is there but could not be read.
    bool logUnreadable() const {
        return logFailure != OpenFailure::None && logFailure != OpenFailure::Missing;
    }
    // Replaces the entry with the same SUM and device, else appends.
    void rememberPassword(const PasswordLogEntry& entry);
    // Writes the log to `path` as one piece. 1 written, 0 failure (shown).
    // Entries another writer added to the file since it was read are kept:
    // the file is read again under a lock (threads and processes alike) and
    // only the entries remembered here replace theirs.
    int32_t savePasswordLog(const std::filesystem::path& path);
    // The log text as it is written.
    std::string passwordLogText() const;

  private:
    // False when the file is there but cannot be read: it is then not
    // replaced.
    bool mergeLogFile(const std::filesystem::path& path);

    Session& session_;
    Operator& op_;
    // SUM and device of the entries remembered since the last save.
    std::vector<std::pair<uint16_t, std::string>> remembered_;
};

}  // namespace ostrand
