// The simulated chip: its ROM boot program and the WCPs it runs from RAM,
// played over a ChipLine exactly as docs/protocol.md describes them.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/device_database.h"
#include "sim/faults.h"
#include "sim/flash_memory.h"
#include "sim/line.h"

namespace ostrand::sim {

// Thrown inside the chip: it starts over (boot program waiting for the
// matching byte at its initial rate, RAM lost, flash kept).
struct Restart {
    std::string why;
};
// Thrown inside the chip: the host stopped in the middle of a frame.
struct FrameCut {};
// Thrown inside the chip: it answered an error code and drops the command.
struct CommandDropped {};

// The boot program's command table, by boot type and column.
uint8_t bootCommand(int32_t bootType, int column);
// The rate a rate code asks for (0: not a code of that boot type). For boot
// type 3 the row is chosen by the rate the boot program was matched at.
uint32_t rateOfCode(int32_t bootType, uint8_t code, uint32_t matchedRate = 9600);
// The 12 rates of the rate table.
extern const std::array<uint32_t, 11> kRates;

class SimChip {
  public:
    SimChip(const DeviceDefinition& device, ChipLine& line, FlashMemory& flash, FaultSet& faults,
            EventLog* log);

    // Called after every change of the flash, before the chip answers.
    void setFlashChanged(std::function<void()> callback) { flashChanged_ = std::move(callback); }

    // Plays the chip until StopRequested is thrown out of the line.
    void run();

    bool isProtected() const { return protected_; }
    int wcpKind() const { return wcpKind_; }
    uint32_t listenRate() const { return listenRate_; }

  private:
    enum class PasswordUse { Program, Ram, Erase, Protect, Read };
    struct Record {
        uint32_t address = 0;
        std::vector<uint8_t> data;
    };
    struct Transfer {
        std::vector<Record> records;
        std::vector<uint8_t> passwordRecord;
        bool hasPasswordRecord = false;
        uint16_t sum = 0;
    };

    void session();
    void match();
    void bootByte(uint8_t b);
    void wcpByte(uint8_t b);

    // Bytes in and out.
    uint8_t in(int timeoutMs = kFrameTimeoutMs);
    uint32_t inBE(int bytes);
    void out(std::initializer_list<uint8_t> bytes);
    void out(const std::vector<uint8_t>& bytes);
    void reply(const std::string& step, uint8_t due);
    [[noreturn]] void refuse(const std::string& why);
    void commandError(uint8_t b);
    void flashChanged();

    // Passwords.
    bool freePassword(PasswordUse use);
    int fixedPassword();
    bool vectorBlank() const;
    bool passwordAreaBlank() const;
    bool bt4HoldsPassword() const;
    bool bt4PasswordRecord(const std::vector<uint8_t>& data) const;

    // Records.
    Transfer readRecords(bool allowPasswordRecord);
    void loadRam(const Transfer& t);
    void programFlash(const Transfer& t);
    void replySum(uint8_t command, uint16_t sum);
    // The two bytes that end a record transfer: a check word of the boot
    // program's own, which a host must not take for the data sum.
    void replyTransferEnd(uint8_t command, uint16_t dataSum);
    void startWcp();
    // After the answer to the transfer: the WCP starting up, deaf.
    void wcpStartUp();
    void announceWcp();

    // Boot program commands.
    void program(uint8_t cmd);
    void program12(uint8_t cmd);
    void ramTransfer(uint8_t cmd);
    void bootSum(uint8_t cmd);
    void status(uint8_t cmd);
    void erase(uint8_t cmd);
    void protect(uint8_t cmd);
    void bootRead(uint8_t cmd);
    void identify(uint8_t cmd);

    // WCP commands.
    // Reads a header frame; a wrong checksum is answered with errorCode.
    bool header(uint8_t errorCode, uint32_t& address, uint32_t& count);
    void wcpWrite(uint8_t cmd);
    void wcpRead(uint8_t cmd);
    void wcpBlockErase(uint8_t cmd);
    void wcpBlank(uint8_t cmd);
    void wcpSum(uint8_t cmd);
    void wcpReadProtect(uint8_t cmd);
    void wcpLeave(uint8_t cmd);
    void wcpE0(uint8_t cmd);

    static constexpr int kFrameTimeoutMs = 3000;
    // A frame's bytes follow each other closely; a pause this long ends it.
    static constexpr int kPasswordGapMs = 200;

    DeviceDefinition dev_;
    int32_t bt_;
    ChipLine& line_;
    FlashMemory& flash_;
    FaultSet& faults_;
    EventLog* log_;
    std::function<void()> flashChanged_;
    uint8_t matchByte_;

    // Volatile state, lost at every restart.
    uint32_t listenRate_ = 9600;
    uint32_t matchedRate_ = 9600;
    bool autoRate_ = false;
    bool matching_ = false;
    // The last byte taken was the matching byte of a resynchronisation.
    bool justMatched_ = false;
    // Since the matching, the host has sent nothing but matching bytes.
    bool repeatedMatch_ = false;
    std::optional<uint8_t> pushedBack_;
    bool needY_ = false;
    bool bt4Open_ = false;
    bool inWcp_ = false;
    std::chrono::steady_clock::time_point wcpReadyAt_{};
    std::atomic<int> wcpKind_{-1};
    std::vector<uint8_t> ram_;
    uint8_t reg53_ = 100;

    // Kept across restarts, as the chip's flash keeps it.
    std::atomic<bool> protected_{false};
};

}  // namespace ostrand::sim
