// The WCP session: finding and checking a write control program file,
// transferring it into the chip's RAM through the boot program, starting it
// (settle wait, line reset, its rate change), leaving it, and the WCP flash
// commands: write, read, block erase, blank check, SUM and read protect.
#pragma once

#include <cstdint>
#include <filesystem>

#include "engine/engine_state.h"

namespace ostrand {

// What a checked WCP file holds.
struct WcpSummary {
    uint32_t lowest = 0;     // lowest absolute address of the file
    uint32_t highest = 0;    // highest record start address
    uint32_t dataBytes = 0;  // data bytes (PasswordBootTypes)
};

class WcpSession : public EngineLayer {
  public:
    explicit WcpSession(EngineState& s);

    // What the last checked WCP file holds.
    const WcpSummary& wcpSummary() const { return wcpSummary_; }
    // Where the WCP folders lie; empty: the program folder.
    void setWcpFolder(const std::filesystem::path& folder) { wcpBaseFolder_ = folder; }
    std::filesystem::path wcpDeviceFolder() const;
    std::filesystem::path wcpFilePath(int32_t index) const;
    int32_t loadWcp(int32_t index);
    int32_t leaveWcp();
    int32_t checkWcpFile(const std::filesystem::path& path);
    int32_t transferWcp(const std::filesystem::path& path);
    int32_t sendWcpRecords(const std::filesystem::path& path);
    int32_t waitWcpStart();
    int32_t wcpChangeRate();
    int32_t registerWrite(uint16_t address, uint8_t value);
    int32_t wcpSetDivisor();
    int32_t wcpSetRateCode();
    int32_t wcpWrite(uint32_t address, const uint8_t* data, uint32_t count);
    int32_t wcpRead(uint32_t address, uint8_t* buffer, uint32_t count);
    int32_t wcpBlockErase(uint32_t address, uint32_t size);
    int32_t wcpBlankCheck(uint32_t address, uint32_t count, int32_t& blank);
    int32_t wcpSum(uint32_t address, uint32_t count, uint16_t& sum);
    int32_t wcpReadProtect();

  private:
    int32_t wcpResync();
    int32_t wcpCommandFailed();
    int32_t readTransferSum(uint32_t timeoutMs, int32_t firstPlace);
    int32_t wcpReadChunk(uint32_t address, uint32_t count, uint32_t keepFrom, uint32_t keepTo,
                         uint8_t* buffer, uint32_t bufferStart);
    int32_t transferThroughBootProgram(const std::filesystem::path& path);

    WcpSummary wcpSummary_;
    std::filesystem::path wcpBaseFolder_;
};

}  // namespace ostrand
