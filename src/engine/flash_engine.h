// CFlashEngine: the one object through which the program talks to the target
// chip. It holds the port, the device parameters of the selected device and
// the state of the link to the boot program, and carries the command layer,
// the boot-mode operations, WCP loading and the WCP flash commands. Its
// implementation is split by role: connection.cpp (matching, rates,
// recovery), device_parameters.cpp, command_layer.cpp, boot_operations.cpp,
// single_boot_program.cpp, wcp.cpp, wcp_commands.cpp, flash_cache.cpp.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/data_rate.h"
#include "app/device_database.h"
#include "app/operator.h"
#include "app/password_set.h"
#include "app/session.h"
#include "app/setup_settings.h"
#include "engine/flash_cache.h"
#include "engine/protocol_tables.h"
#include "serial/port.h"

namespace ostrand {

class ObjectImage;
class CComThread;

// What the engine needs of the front end. Every member may stay empty.
// linkTimeout and linkUp are called on the reconnect worker's thread: a
// windowed front end marshals them onto its own thread, and calls
// CFlashEngine::afterLinkUp() there when it handles linkUp.
struct EngineHooks {
    std::function<bool()> mainWindowExists;  // empty: a window (or console) is there
    std::function<void()> linkTimeout;
    std::function<void()> linkUp;
    std::function<void()> closeMainWindow;  // the operator chose to leave the program
    std::function<void(bool)> enableCommands;
    std::function<void(bool)> waitCursor;
    std::function<void()> disconnected;  // the port was closed
    // The WCP put the line at another rate than the setup's (the clock divisor).
    std::function<void(DataRate)> dataRateChanged;
    bool startupErasePrompt = true;  // ask at the first connection when the setup says so
    // A window to keep serviced: long waits for replies go in short slices.
    bool serviceWindow = false;
};

// Time-outs of the command layer (milliseconds).
struct EngineTimeouts {
    uint32_t echo = 5000;         // echo of a command, header or data block
    uint32_t completion = 30000;  // write, blank check, SUM, leave, register write
    uint32_t readByte = 1000;     // each data byte of a WCP read
    uint32_t bt3Password = 15;    // reply to BootType 3's password
};

// The parameters of the selected device, as a connection loads them (a
// BootType 11 chip corrects its areas when it identifies itself).
struct DeviceParameters {
    int32_t bootType = 0;
    int32_t maxChunk = 0;  // the boot program's receive buffer
    int32_t pageSize = 0;
    uint32_t flashStart = 0, flashEnd = 0;  // the single-boot flash
    uint32_t ramStart = 0, ramEnd = 0;
    uint32_t passwordStart = 0, passwordEnd = 0;
    uint32_t sumStart = 0, sumEnd = 0;
    uint32_t vectorStart = 0, vectorEnd = 0;
    uint32_t flashOffset = 0;
    uint32_t secondStart = 0, secondEnd = 0;
};

// What a checked WCP file holds.
struct WcpSummary {
    uint32_t lowest = 0;     // lowest absolute address of the file
    uint32_t highest = 0;    // highest record start address
    uint32_t dataBytes = 0;  // data bytes (PasswordBootTypes)
};

class CFlashEngine {
  public:
    // Talks through a serial port of its own.
    CFlashEngine(Session& session, Operator& op, DeviceDatabase& devices, SetupSettings& settings,
                 PasswordSet& passwords, const ObjectImage* image = nullptr);
    // Talks through `port`.
    CFlashEngine(Session& session, Operator& op, DeviceDatabase& devices, SetupSettings& settings,
                 PasswordSet& passwords, std::unique_ptr<Port> port,
                 const ObjectImage* image = nullptr);
    ~CFlashEngine();
    CFlashEngine(const CFlashEngine&) = delete;
    CFlashEngine& operator=(const CFlashEngine&) = delete;

    // Set while no operation runs (linkUp and linkTimeout are read by the
    // reconnect worker).
    const EngineHooks& hooks() const { return hooks_; }
    void setHooks(EngineHooks hooks) { hooks_ = std::move(hooks); }
    const EngineTimeouts& timeouts() const { return timeouts_; }
    void setTimeouts(const EngineTimeouts& timeouts) { timeouts_ = timeouts; }
    const Port& port() const { return *port_; }

    // ---- what the engine knows ----
    const DeviceParameters& device() const { return dev_; }
    DataRate initialRate() const { return initialRate_; }  // the matching rate
    DataRate dataRate() const { return dataRate_; }        // the rate in force
    bool portOpen() const { return portOpen_ == 1; }
    // The boot program answered its matching byte, and has not been left since.
    bool bootMatched() const { return matched_ == 1; }
    // The boot program works at the data rate.
    bool rateSwitched() const { return rateSwitched_ == 1; }
    // The next boot command matches the boot program again first.
    bool resyncPending() const { return resyncNeeded_ == 1; }
    // A failed sequence leaves the boot program in doubt: match it again
    // before the next boot command.
    void requestResync() { resyncNeeded_ = 1; }
    // The WCP of this index is resident in the chip's RAM.
    bool wcpLoaded(int32_t index) const {
        return index >= 0 && index < int32_t(std::size(wcpLoaded_)) && wcpLoaded_[index] == 1;
    }
    bool anyWcpLoaded() const;
    void clearWcpLoaded();
    // The flash is blank as far as the engine knows (status, erase, blank
    // check, writes).
    bool flashBlank() const { return flashBlank_ == 1; }
    // The whole chip was erased: blank, and the flash cache all FF.
    void noteChipErased();
    // A blank check said what the flash holds.
    void noteBlankCheck(bool blank) { flashBlank_ = blank ? 1 : 0; }
    const FlashCache& flashCache() const { return flashCache_; }
    // The status bytes of the last status read.
    const std::vector<uint8_t>& statusBytes() const { return statusBytes_; }
    // The operations that follow take the path of the session's
    // ProgrammingMode as it is now (WCP or boot program), also across a
    // reconnection that resets the session's mode.
    void latchProgrammingMode() { modeSnapshot_ = session_.ProgrammingMode; }
    int32_t latchedProgrammingMode() const { return modeSnapshot_; }
    bool wcpModeLatched() const {
        return modeSnapshot_ == kModeWcpDiv || modeSnapshot_ == kModeWcpAll;
    }

    // ---- connection ----
    int32_t connect(int32_t showErrors);
    // Every command that needs the chip connects here: connect, and when the
    // chip has not answered, the reconnect worker's attempts, all within the
    // device's AccessWaitTime from the call. Waits for the verdict (no window
    // to come back to). 1 connected (the post-connect steps ran), 0 not, with
    // the message shown. The worker goes on afterwards only for a front end
    // that handles linkUp.
    int32_t connectAndWait(int32_t showErrors = 1);
    void disconnect();
    // disconnect, and the port stays closed long enough for the adapter's
    // lines to drop: the target starts over in its boot program, also when a
    // WCP was running in its RAM. Before a connection to a new or reset chip.
    void hangUp();
    int32_t matchBootProgram(int32_t withRetry, bool runPostSteps = true);
    int32_t changeDataRate(int32_t column);
    int32_t setPortRate(DataRate rate);
    int32_t resetTarget(int32_t phase);
    int32_t resyncBeforeCommand(int32_t column, int32_t place);
    int32_t recoverAfterTimeout(int32_t result);
    int32_t startReconnectWorker();
    // The reconnect worker is looking for the chip.
    bool reconnecting() const;
    // 2 matched, 3 down.
    int32_t linkState() const { return linkState_; }
    // The post-connect steps (status, passwords) and the start-up prompt,
    // for the front end to run on its own thread after linkUp.
    int32_t afterLinkUp();
    int32_t loadDeviceParameters();
    int32_t prepareDataRate();
    void chooseInitialRate();

    // ---- command layer ----
    void setCommand(uint8_t code);
    int32_t sendCommand(int twoStopBitsFirst, int lastByteApart);
    int32_t sendFrame(const uint8_t* bytes, uint32_t count, int twoStopBitsFirst,
                      int lastByteApart);
    int32_t readReply(uint8_t& byte, uint32_t timeoutMs);
    int32_t checkReply(ReplyKind kind, int32_t column, uint8_t byte);
    void pumpOneMessage();
    // Waits `ms` with the window serviced every few milliseconds.
    void pauseServiced(uint32_t ms);
    // Command byte, echo within the echo time-out, reply check.
    int32_t commandExchange(ReplyKind kind, int32_t column, uint8_t code, int32_t place);
    // Header frame (1, 1) and its echo.
    int32_t headerExchange(ReplyKind kind, int32_t column, uint32_t address, uint32_t count,
                           int32_t place);
    // Data bytes (1, 0), checksum byte (0, 1) and the echo.
    int32_t dataExchange(ReplyKind kind, int32_t column, const uint8_t* data, uint32_t count,
                         int32_t place);
    // A completion byte; with eccPlace, 0x58 is message 10010 at that place.
    int32_t readCompletion(ReplyKind kind, int32_t column, uint32_t timeoutMs, int32_t place,
                           int32_t eccPlace = 0);
    // 10002 with the kind's detail.
    void reportTimeout(ReplyKind kind, int32_t place, int32_t hint = 0);
    static const char* detailOf(ReplyKind kind) {
        return kind == BootKind ? "Boot Program" : "WCP";
    }

    // ---- boot-mode operations ----
    int32_t sendPasswordFrame(int32_t column);
    int32_t readStatus(std::vector<uint8_t>* buffer = nullptr);
    int32_t postConnectStatus();
    int32_t chipErase(uint8_t selector);
    int32_t protectChip(bool showProgress, bool showResult);
    int32_t protectCheckBeforeWcp();
    void startupErasePrompt();
    int32_t identifyChip();
    int32_t bootRead(uint32_t start, uint8_t* buffer, uint32_t count);
    int32_t bootSum(uint32_t start, uint32_t count, uint16_t& sum);
    // Single-boot programming of the object expansion file (ProgrammingMode 3, 4).
    int32_t programSingleBoot(const std::filesystem::path& expansionFile);
    // 1 when the boot program can take the object in one transfer; BootTypes 8
    // and 10 take at most 1024 bytes from the lowest to the highest address
    // (10023 otherwise). Nothing is sent.
    int32_t singleBootObjectFits(const std::filesystem::path& expansionFile);
    // BootType 4's password form: the password record and the end record only.
    int32_t bootPasswordForm();
    int32_t sendObjectRecords(const std::filesystem::path& path, bool showProgress);

    Session& session() { return session_; }
    Operator& op() { return op_; }
    DeviceDatabase& devices() { return devices_; }
    SetupSettings& settings() { return settings_; }
    PasswordSet& passwords() { return passwords_; }

    // ---- write control programs (wcp.cpp) ----
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
    // ---- WCP flash commands (wcp_commands.cpp) ----
    int32_t wcpWrite(uint32_t address, const uint8_t* data, uint32_t count);
    int32_t wcpRead(uint32_t address, uint8_t* buffer, uint32_t count);
    int32_t wcpBlockErase(uint32_t address, uint32_t size);
    int32_t wcpBlankCheck(uint32_t address, uint32_t count, int32_t& blank);
    int32_t wcpSum(uint32_t address, uint32_t count, uint16_t& sum);
    int32_t wcpReadProtect();
    // ---- reads through the latched mode (mode_reads.cpp) ----
    int32_t fillFlashCache();
    // The read path of the latched ProgrammingMode: WCP read or boot-mode read.
    int32_t readThroughMode(uint32_t address, uint8_t* buffer, uint32_t count);
    int32_t overlayWithFlash(uint32_t address, const uint8_t* newBytes, uint32_t newCount,
                             uint32_t regionStart, uint8_t* region, uint32_t regionCount);
    int32_t mergePage(uint32_t address, const uint8_t* newBytes, uint32_t newCount,
                      uint32_t pageStart, uint8_t* page, uint32_t pageLength);
    // ---- of the device (device_parameters.cpp) ----
    uint32_t alignmentUnit() const;
    // The flash areas: the single-boot flash and, for SecondAreaBootTypes, the second area.
    std::vector<std::pair<uint32_t, uint32_t>> flashAreas() const;

  private:
    int32_t awaitEcho(ReplyKind kind, int32_t column, int32_t place);
    friend class CComThread;
    bool attemptMatch();
    bool collectReply(std::vector<uint8_t>& reply, const std::function<bool()>& complete);
    bool scanMatchReply(const uint8_t* bytes, uint32_t n) const;
    // The answer to a matching byte: 1 matched; 0 a time-out (reported at
    // place) or a wrong answer (reported by the reply check).
    int32_t readMatchReply(int32_t column, int32_t place, uint32_t timeoutMs);
    int32_t rematch(int32_t column, int32_t place);
    int32_t secondExchange();
    int32_t beginBootCommand(int32_t column, int32_t resyncPlace, int32_t echoPlace);
    int32_t readBytes(uint8_t* out, int32_t n, uint32_t timeoutMs, int32_t firstPlace,
                      bool placePerByte);
    void interpretStatus();
    bool sleepMs(uint32_t ms);  // false when AbortRequested cut it short
    int32_t runPasswordSteps();
    // What a single-boot transfer does: erase the chip, program it, or only
    // open it with the password form.
    static constexpr int32_t kFormErase = 0, kFormProgram = 1, kFormPassword = 2;
    int32_t singleBootTransfer(int form, const std::filesystem::path* path);
    bool devicePasswordSet() const;
    void blankPasswordAsDevicePassword();
    struct PasswordChoice {
        std::vector<uint8_t> bytes;
        uint32_t numAdd = 0, cmpAdd = 0;
    };
    PasswordChoice choosePassword() const;
    int32_t sendPasswordRecord(const PasswordChoice& pw);
    void waitCursor(bool on);

    Session& session_;
    Operator& op_;
    DeviceDatabase& devices_;
    SetupSettings& settings_;
    PasswordSet& passwords_;
    const ObjectImage* image_;
    std::atomic<int32_t> linkState_{3};
    bool recovering_ = false;
    bool passwordStepsDone_ = false;
    bool startupEraseDone_ = false;
    // A line reset found no modem lines (a pseudo-terminal); the notice
    // that says so comes once, when the chip then does not answer.
    bool modemLinesMissing_ = false;
    bool modemLineNoticeShown_ = false;
    std::unique_ptr<CComThread> worker_;

    // ---- write control programs, WCP flash commands ----
    int32_t wcpResync();
    int32_t wcpCommandFailed();
    int32_t readTransferSum(uint32_t timeoutMs, int32_t firstPlace);
    int32_t wcpReadChunk(uint32_t address, uint32_t count, uint32_t keepFrom, uint32_t keepTo,
                         uint8_t* buffer, uint32_t bufferStart);
    int32_t transferThroughBootProgram(const std::filesystem::path& path);

    Port* port_;
    std::unique_ptr<Port> ownPort_;
    // The reconnect worker stops (it is idle when this returns).
    void stopWorker();
    EngineHooks hooks_;
    EngineTimeouts timeouts_;
    DeviceParameters dev_;
    uint32_t replyDelay_ = 1000;  // the matching wait of the device

    // The link: shared with the reconnect worker.
    std::atomic<int32_t> matched_{0};
    std::atomic<int32_t> resyncNeeded_{0};
    std::atomic<int32_t> rateSwitched_{0};
    std::atomic<int32_t> portOpen_{0};

    // Rates.
    DataRate initialRate_ = kRate9600;
    DataRate dataRate_;
    uint8_t rateCode_ = 0;
    uint8_t divisorN_ = 0, divisorK_ = 0, clockSelect_ = 0;
    bool clockEntry_ = false;  // the rate comes from the operator's clock (115200)
    bool divisorSent_ = false;

    // The chip.
    int32_t wcpLoaded_[7] = {};
    int32_t flashBlank_ = 0;
    FlashCache flashCache_;
    std::atomic<int32_t> bt11EraseFree_{0};
    int32_t modeSnapshot_ = 0;
    std::vector<uint8_t> statusBytes_;

    uint8_t commandBuffer_[2] = {0, 0};
    WcpSummary wcpSummary_;
    std::filesystem::path wcpBaseFolder_;
};

}  // namespace ostrand
