// The rules of the Setup dialog and of the small setup windows, as pure
// functions of the device record and the values the operator typed: which
// fields a device shows, what a typed address or limit means, and which
// lines of the setup summaries apply. The windows only ask and show.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "app/device_database.h"
#include "app/setup_settings.h"

namespace ostrand {

// A check's verdict: the numbered message it asks for (code 0 passes) and
// the field it concerns.
struct FieldVerdict {
    int32_t code = 0;
    int32_t hint = 0;
    int field = -1;
    bool passed() const { return code == 0; }
    bool operator==(const FieldVerdict&) const = default;
};

// The pages of the Setup dialog, in tab order.
enum SetupPage : int { kPageSetupFile, kPageDevice, kPageObjectFile, kPageCommunication };
inline constexpr int kSetupPageCount = 4;
// The page a command asks for; one that does not exist shows the first.
int setupFirstPage(int requested);

// "0x" (either case) and one to eight hexadecimal digits.
std::optional<uint32_t> prefixedHex(const std::string& text);

// ---------------------------------------------------------------- Device page

// "Setting" opens the address areas: ticked, or a device with a second area.
bool addressSettingEnabled(bool addressOptionTicked, int32_t bootType);
// Pressing "Setting" needs the device applied and still the one the lists
// show (10512 with 12150); "Password" needs one applied (10512 with 12138).
FieldVerdict addressSettingVerdict(const DeviceDefinition* applied, const DeviceDefinition* listed);
FieldVerdict passwordButtonVerdict(const DeviceDefinition* applied);

struct EmulationEntry {
    const char* text;
    int32_t value;
};
inline constexpr EmulationEntry kEmulationEntries[] = {{"less than 60K", 60}};
// The entry for the setup's emulation value; the first when none matches.
int emulationIndex(int32_t memSizeEmulat);
// The Limit box takes a value only for the emulation value 96.
inline bool limitEnabled(int32_t emulationValue) {
    return emulationValue == 96;
}
// The Limit box: "0x" hexadecimal, 0x10000 <= limit < 0x17000.
FieldVerdict checkMemoryLimit(const std::string& text, uint32_t& limit);

// The areas of the Address Option dialog: 1st start, 1st end, 2nd start,
// 2nd end. `hasSecond`: the device has a second ROM area.
struct AddressAreasText {
    std::array<std::string, 4> boxes;
};
// The device's range for each area (single boot addresses).
AddressRange romAreaRange(const DeviceDefinition& device, int area);
bool hasSecondRomArea(const DeviceDefinition& device);
// Checks each area the device has, 1st then 2nd, start before end, then
// the 1024-byte rule over both; the field is the offending box. On success
// `values` holds the four addresses (the 2nd 0-0 without a second area).
FieldVerdict checkAddressAreas(const AddressAreasText& text, const DeviceDefinition& device,
                               std::array<uint32_t, 4>& values);

// ---------------------------------------------------------- Communication page

// The device whose clock frame sets the data rate.
inline constexpr const char* kClockChoiceDevice = "KMV7Q3";
bool clockChoiceDevice(const DeviceDefinition* device);
// Entry of the rate list that follows the clock choice (16, 8, 4 MHz).
int rateIndexOfClock(int32_t clock);
// The entry of the rate list on opening.
int initialRateIndex(const DeviceDefinition* device, const SetupValues& values);

struct CommunicationLayout {
    bool clockFrame = false;       // " 16MHz", " 8MHz", " 4MHz"
    bool clockEntry = false;       // Manual/Auto, "Data Rate 115200 bps", the Clock box
    bool manualEnabled = true;     // "Data Rate Manual" may be chosen
    bool forceAuto = false;        // "Data Rate Auto" is chosen whatever the setup says
    bool clockRowEnabled = false;  // "Data Rate 115200 bps", "Clock", its box, "MHz"
    bool clockBoxEnabled = false;  // the Clock box takes typing
    bool rateListEnabled = true;   // the Data Rate list and its labels
    double fixedClock = 0.0;       // shown in the Clock box when not 0
    int32_t help = 12203;
};
CommunicationLayout communicationLayout(const DeviceDefinition* device, bool autoChosen);

// ---------------------------------------------------------------- OK

// What the pages hold when OK is pressed.
struct SetupPagesState {
    const DeviceDefinition* device = nullptr;  // the applied device
    std::string objectFile;
    std::string comPort;
    int rateIndex = -1;
    int32_t clock = 16;
    bool addressOption = false;
    bool autoRate = false;
    std::string clockText;
    int32_t emulation = 60;
    std::string limitText;
};
// Fields named by the verdict of readSetupPages.
enum SetupField : int { kFieldDevice, kFieldClock, kFieldLimit };
// The pages into `values` (a copy of the setup); a failed verdict leaves
// the dialog open.
FieldVerdict readSetupPages(const SetupPagesState& pages, SetupValues& values);

// ---------------------------------------------------------- Set Up Option

struct OptionBoxes {
    bool protectEnabled = false;
    bool eraseWithoutPasswordEnabled = false;
};
OptionBoxes optionBoxes(int32_t bootType, int32_t protectState);

// ---------------------------------------------------------- Setup Information

// One line of a summary: its text and whether it applies.
struct InfoLine {
    std::string label;
    std::string value;
    bool greyed = false;
};
enum SetupInfoLine : int {
    kInfoDevice,
    kInfoComPort,
    kInfoDataRate,
    kInfoFileName,
    kInfoAllErase,
    kInfoBlankCheck,
    kInfoProgramming,
    kInfoVerify,
    kInfoFileCompare,
    kInfoAutoProtect,
    kInfoOptionProtect,
    kInfoEraseWithoutPassword,
    kInfoClock,
    kInfoPhysical,
    kInfoEmulation,
    kInfoLimit,
    kSetupInfoLines
};
std::array<InfoLine, kSetupInfoLines> setupInformation(const DeviceDefinition* device,
                                                       const SetupValues& values, int32_t mode);

enum SetupInfo2Line : int { kInfo2Setting, kInfo2Area1, kInfo2Area2, kInfo2Data, kInfo2Sum };
std::array<InfoLine, 5> setupInformation2(const DeviceDefinition* device,
                                          const SetupValues& values);

}  // namespace ostrand
