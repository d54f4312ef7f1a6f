// The operator's settings and the setup files ("Ostrand.ini", "Ostrand00.ini"
// ... "Ostrand99.ini") that keep them.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "boot_types.h"
#include "data_rate.h"
#include "file_io.h"

namespace ostrand {

class DeviceDatabase;
struct DeviceDefinition;
class Operator;
struct Session;

// Keys in the order they are read and validated (index = presence mark).
enum SetupKey : int {
    kKeyDevice,
    kKeyOpenFile,
    kKeyCOMPort,
    kKeyDataRate,
    kKeyAllErase,
    kKeyBlankCheck,
    kKeyProgramming,
    kKeyVerify,
    kKeyFileCompare,
    kKeyClock,
    kKeyReadProtect,
    kKeyAddressOption,
    kKeyAddressMode,
    kKeyAddNoROMAreaToSum,
    kKeyDataForNoAddressArea,
    kKeyPassDevBlank,
    kKeyPassDevType,
    kKeyPassDevPassword,
    kKeyPassDevNumAdd,
    kKeyPassDevCmpAdd,
    kKeyPassObjBlank,
    kKeyPassObjNumAdd,
    kKeyPassObjCmpAdd,
    kKeyPassLogSave,
    kKeyEraseWithoutPassword,
    kKeyClockFlag,
    kKeyClockValue,
    kKeyMemSizePhysic,
    kKeyMemSizeEmulat,
    kKeyMemAddressLimit,
    kKeyROMArea1,
    kKeyROMArea2,
    kSetupKeyCount
};
extern const char* const kSetupKeyNames[kSetupKeyCount];

struct SetupValues {
    std::string device;
    std::string openFile;
    std::string comPort;
    DataRate dataRate;
    int32_t allErase = 0;
    int32_t blankCheck = 0;
    int32_t programming = 0;
    int32_t verify = 0;
    int32_t fileCompare = 0;
    int32_t clock = 16;
    int32_t readProtect = 0;       // kept for boot type 11
    int32_t readProtectOther = 0;  // kept for every other boot type
    int32_t addressOption = 0;
    int32_t addressMode = 1;
    int32_t addNoRomAreaToSum = 0;
    int32_t dataForNoAddressArea = -1;  // -1: none (used as 0xFF)
    int32_t passDevBlank = 0;
    int32_t passDevType = 0;
    std::string passDevPassword;
    uint32_t passDevNumAdd = 0;
    uint32_t passDevCmpAdd = 0;
    int32_t passObjBlank = 0;
    uint32_t passObjNumAdd = 0;
    uint32_t passObjCmpAdd = 0;
    int32_t passLogSave = 0;
    int32_t eraseWithoutPassword = 0;
    int32_t clockFlag = 0;
    double clockValue = 0.0;
    int32_t memSizePhysic = 124;
    int32_t memSizeEmulat = 124;
    uint32_t memAddressLimit = 0x10000;
    uint32_t romArea1Start = 0, romArea1End = 0;  // 0-0: none given
    uint32_t romArea2Start = 0, romArea2End = 0;
    // RunRecord: the file the window's auto programming appends a run record
    // to, one line per chip (relative: in the program folder). Empty: none.
    // Not one of the checked keys: a setup without it is complete.
    std::string runRecord;

    // The ReadProtect value that belongs to a boot type.
    int32_t readProtectFor(int32_t bootType) const {
        return bootTypeRow(bootType).ownReadProtect ? readProtect : readProtectOther;
    }
};

// A boot type with a fixed clock enters that clock whatever the setup says.
inline void applyFixedClock(int32_t bootType, SetupValues& v) {
    const double mhz = bootTypeRow(bootType).fixedClockMHz;
    if (mhz > 0.0) {
        v.clockFlag = 1;
        v.clockValue = mhz;
    }
}

// The clock-entry rule: with the clock flag set, a clock-entry device runs
// at its fixed rate. That rate, or nothing when the rule does not apply.
std::optional<DataRate> clockEntryRate(const DeviceDefinition* device, const SetupValues& v);

// An object path as the command line gives it: a trailing ",MSG_ON" or
// ",MSG_OFF" (any case, blanks around it) sets showAutoResults (1 or 0) and is
// cut off; double quotes around the whole path are removed.
std::string cutAutoResultsOption(std::string path, int32_t& showAutoResults);

class SetupSettings {
  public:
    SetupSettings(Session& session, Operator& op, DeviceDatabase& devices);

    // Start-up: defaults, first-load flag, folders, port list.
    void initialise(const std::filesystem::path& programFolder);
    void resetToDefaults();

    // 0 loaded and valid; -1 missing, unreadable or invalid.
    int32_t loadSetupFile(const std::filesystem::path& path);
    // 0 written; -1 failure (message shown).
    int32_t saveSetupFile(const std::filesystem::path& path);
    // Save As: `path` as it is. A multi-instance program goes on with (and
    // holds) the new file; a single instance keeps Ostrand.ini as its setup.
    int32_t saveSetupFileAs(const std::filesystem::path& path);
    // 1 with a free numbered file; 0 when all 100 exist (10113 shown).
    int32_t findFreeSetupFile(std::filesystem::path& out);

    // Closes a setup file held by a multi-instance program.
    void releaseHeldFile() { held_.release(); }
    bool holdsFile() const { return held_.held(); }

    SetupValues fileValues;  // as read from the file
    SetupValues inForce;     // used by the engine, the object reader and the dialogs
    SetupValues editing;     // the setup dialog's copy
    std::array<int32_t, kSetupKeyCount> presence{};

    std::vector<std::string> ports;
    // The entry of the object file dialogs' filter chosen last (not in the file).
    int32_t objectFilterIndex = 0;
    std::filesystem::path startFolder;
    std::filesystem::path programFolder;
    std::filesystem::path setupPath;
    bool firstLoad = true;
    // Object path given on the command line; replaces OpenFile when set.
    std::string commandLinePath;

    // Copies the file values into the values in force (apply).
    void apply();

  private:
    // The setup values into `path`, replaced as a whole. 0 or -1 (message shown).
    int32_t writeSetupFile(const std::filesystem::path& path);
    int32_t validate();

    Session& session_;
    Operator& op_;
    DeviceDatabase& devices_;
    FileLock held_;
};

}  // namespace ostrand
