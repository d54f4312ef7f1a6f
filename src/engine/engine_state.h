// What the engine's layers share: the front end's hooks, the time-outs, the
// selected device's parameters and what the engine knows of the link and the
// chip. CFlashEngine owns one EngineState; each layer sees it through
// EngineLayer.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <iterator>
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
class CommandChannel;
class Link;
class BootCommands;
class WcpSession;

// What the engine needs of the front end. Every member may stay empty.
// linkTimeout and linkUp are called on the reconnect worker's thread: a
// windowed front end marshals them onto its own thread, and calls
// Link::afterLinkUp() there when it handles linkUp.
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
    // The chip lost its password (an erase of the password area): the erase
    // without password is spent.
    std::function<void()> passwordErased;
    bool startupErasePrompt = true;  // ask at the first connection when the setup says so
    // A window to keep serviced: long waits for replies go in short slices.
    bool serviceWindow = false;
};

// Time-outs of the command channel (milliseconds).
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

// What an exchange on the command channel came to.
struct Reply {
    enum Kind : uint8_t {
        Ok,          // the echo or completion the command expects
        TimedOut,    // nothing within the time-out (10002 shown)
        Refused,     // another byte: its message shown
        PortFailed,  // the port would not write
    };
    Kind kind = Ok;
    explicit operator bool() const { return kind == Ok; }
};

// The link to the boot program: shared with the reconnect worker.
struct LinkFlags {
    std::atomic<int32_t> matched{0};  // the boot program answered, not left since
    std::atomic<int32_t> resyncNeeded{0};
    std::atomic<int32_t> rateSwitched{0};
    std::atomic<int32_t> portOpen{0};
    std::atomic<int32_t> state{3};  // 2 matched, 3 down
};

// The rates and what the WCP's rate change needs.
struct RateState {
    DataRate initial = kRate9600;  // the matching rate
    DataRate data;                 // the rate in force
    uint8_t code = 0;
    uint8_t divisorN = 0, divisorK = 0, clockSelect = 0;
    bool clockEntry = false;  // the rate comes from the operator's clock (115200)
    bool divisorSent = false;
    uint32_t replyDelay = 1000;  // the matching wait of the device
};

// What the engine knows of the chip.
struct ChipState {
    int32_t wcpLoaded[7] = {};
    int32_t flashBlank = 0;
    FlashCache flashCache;
    std::atomic<int32_t> bt11EraseFree{0};
    int32_t modeSnapshot = 0;  // the latched ProgrammingMode
    std::vector<uint8_t> statusBytes;
    bool anyWcpLoaded() const {
        for (int32_t f : wcpLoaded)
            if (f) return true;
        return false;
    }
    bool wcpLoadedAt(int32_t index) const {
        return index >= 0 && index < int32_t(std::size(wcpLoaded)) && wcpLoaded[index] == 1;
    }
    bool wcpModeLatched() const {
        return modeSnapshot == kModeWcpDiv || modeSnapshot == kModeWcpAll;
    }
};

struct EngineState {
    Session& session;
    Operator& op;
    DeviceDatabase& devices;
    const SetupSettings& settings;
    PasswordSet& passwords;
    const ObjectImage* image;
    Port* port;
    EngineHooks hooks;
    EngineTimeouts timeouts;
    DeviceParameters dev;
    LinkFlags link;
    RateState rate;
    ChipState chip;
};

// The state and the neighbours a layer works with, under the names the
// layers use. CFlashEngine wires the layers together once.
class EngineLayer {
  public:
    EngineLayer(const EngineLayer&) = delete;
    EngineLayer& operator=(const EngineLayer&) = delete;

  protected:
    explicit EngineLayer(EngineState& s);
    ~EngineLayer() = default;

    // The command channel's exchanges, as every layer above it speaks them.
    Reply commandExchange(ReplyKind kind, int32_t column, uint8_t code, int32_t place);
    Reply headerExchange(ReplyKind kind, int32_t column, uint32_t address, uint32_t count,
                         int32_t place);
    Reply dataExchange(ReplyKind kind, int32_t column, const uint8_t* data, uint32_t count,
                       int32_t place);
    Reply readCompletion(ReplyKind kind, int32_t column, uint32_t timeoutMs, int32_t place,
                         int32_t eccPlace = 0);
    Reply checkReply(ReplyKind kind, int32_t column, uint8_t byte);
    bool sendCode(uint8_t code);
    bool sendFrame(const uint8_t* bytes, uint32_t count, int twoStopBitsFirst, int lastByteApart);
    bool readReply(uint8_t& byte, uint32_t timeoutMs);
    void reportTimeout(ReplyKind kind, int32_t place, int32_t hint = 0);
    void pumpOneMessage();
    bool sleepMs(uint32_t ms);  // false when AbortRequested cut it short
    void waitCursor(bool on);
    void latchProgrammingMode() { chip_.modeSnapshot = session_.ProgrammingMode; }
    bool wcpModeLatched() const { return chip_.wcpModeLatched(); }
    bool anyWcpLoaded() const { return chip_.anyWcpLoaded(); }

    friend class CFlashEngine;
    EngineState& state_;
    Session& session_;
    Operator& op_;
    DeviceDatabase& devices_;
    const SetupSettings& settings_;
    PasswordSet& passwords_;
    const ObjectImage*& image_;
    Port*& port_;
    EngineHooks& hooks_;
    EngineTimeouts& timeouts_;
    DeviceParameters& dev_;
    LinkFlags& link_;
    RateState& rate_;
    ChipState& chip_;
    FlashCache& flashCache_;
    // The neighbours, set by CFlashEngine.
    CommandChannel* channel_ = nullptr;
    Link* linkLayer_ = nullptr;
    BootCommands* boot_ = nullptr;
    WcpSession* wcp_ = nullptr;
};

}  // namespace ostrand
