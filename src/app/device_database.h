// The device types of the definition file "Ostrand.def" and the program-wide
// texts of its "[COMMON]" section.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "boot_types.h"
#include "data_rate.h"
#include "numbers.h"

namespace ostrand {

class Operator;
struct Session;

// Bits 1-31 of TotalWCP.
struct WcpParameters {
    int32_t optionA = -1;
    int32_t optionB = -1;
    int32_t optionC = -1;
    DataRate fixedRate = kRate9600;  // with clock entry
    int32_t clockMultiplier = 1;
    double clockMinMHz = 0.0;
    double clockMaxMHz = 0.0;
};

struct DeviceDefinition {
    std::string seriesName;
    std::string deviceName;
    int32_t busWidth = -1;
    uint32_t singleChipFlashStart = 0, singleChipFlashEnd = 0;
    uint32_t singleBootRamStart = 0, singleBootRamEnd = 0;
    uint32_t singleBootFlashStart = 0, singleBootFlashEnd = 0;
    int32_t receiveBufferSize = -1;
    int32_t useWcp = -1;
    int32_t totalWcp = -1;
    int32_t singleBootPassword = -1;
    int32_t bootType = -1;
    int32_t pageSize = -1;
    uint32_t passwordAreaStart = 0, passwordAreaEnd = 0;
    uint32_t sumAreaStart = 0, sumAreaEnd = 0;
    uint32_t vectorAreaStart = 0, vectorAreaEnd = 0;
    uint32_t flashSecondStart = 0, flashSecondEnd = 0;
    uint32_t eraseWaitMs = 30000;
    uint32_t bootWaitMs = 30000;
    uint32_t accessWaitMs = 30000;
    WcpParameters wcpParameters;
    uint32_t comDelayTime = 0;
    uint32_t recTimeOutMs = 1000;
};

// A WCP device of the password boot types whose record enables the clock
// entry: its WCP takes the rate from the operator's clock.
bool clockEntryDevice(const DeviceDefinition* device);

class DeviceDatabase {
  public:
    DeviceDatabase(Session& session, Operator& op) : session_(session), op_(op) {}

    void reset();
    // 0 on success, -1 on failure (message shown).
    int32_t load(const std::filesystem::path& path);

    const std::vector<std::string>& seriesNames() const { return seriesNames_; }
    const std::vector<std::string>& deviceSectionNames() const { return sectionNames_; }
    const std::vector<DeviceDefinition>& records() const { return records_; }

    // Selects the first record whose device name equals `deviceName` (exact);
    // -1 when none. Sets ComDelayFlags.
    int32_t select(const std::string& deviceName);
    void deselect();
    int32_t selectedIndex() const { return selected_; }
    int32_t selectedDeviceName(std::string& out) const;
    const DeviceDefinition* selected() const;
    const DeviceDefinition* find(const std::string& deviceName) const;

    void applyProgrammingMode();

    bool singleChipFlash(uint32_t& start, uint32_t& end) const;
    bool singleBootRam(uint32_t& start, uint32_t& end) const;
    bool singleBootFlash(uint32_t& start, uint32_t& end) const;
    bool passwordArea(uint32_t& start, uint32_t& end) const;
    bool sumArea(uint32_t& start, uint32_t& end) const;
    bool vectorArea(uint32_t& start, uint32_t& end) const;
    bool secondFlashArea(uint32_t& start, uint32_t& end) const;

    int32_t receiveBufferSize() const;
    int32_t useWcp() const;
    int32_t singleBootPassword() const;
    int32_t bootType() const;
    int32_t pageSize() const;
    int32_t optionA() const;
    uint32_t eraseWaitMs() const;
    uint32_t bootWaitMs() const;
    uint32_t accessWaitMs() const;

    bool flashOffset(uint32_t& value) const;
    std::string seriesOf(const std::string& deviceName) const;
    bool wcpParametersOf(WcpParameters& out) const;
    bool fixedRateOf(DataRate& out) const;
    int32_t clockEntryAvailable() const;

    const std::string& webSiteUrl() const { return webSiteUrl_; }
    const std::string& helpMenuText() const { return helpMenuText_; }
    const std::string& packageVersion() const { return packageVersion_; }
    const std::string& programVersionLine() const { return programVersionLine_; }
    const std::string& noticeLine() const { return noticeLine_; }

  private:
    bool readRecord(const class ProfileFile& file, const std::string& section);

    Session& session_;
    Operator& op_;
    std::vector<std::string> seriesNames_;
    std::unordered_set<std::string> seriesSeen_;  // seriesNames_, for the test of a new one
    std::vector<std::string> sectionNames_;
    std::vector<DeviceDefinition> records_;
    int32_t selected_ = -1;
    std::string webSiteUrl_, helpMenuText_, packageVersion_, programVersionLine_, noticeLine_;
};

// The program version shown in the About box.
inline constexpr const char* kProgramVersion = "Ver1.0d";

}  // namespace ostrand
