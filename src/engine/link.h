// The link to the chip's boot program: opening the port, matching the boot
// program (with the retry for the device's access wait), the switch to the
// data rate, the resync before a boot command, the recovery after a time-out
// and the reconnect worker that looks for a chip that went away.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "engine/engine_state.h"

namespace ostrand {

class CComThread;

class Link : public EngineLayer {
  public:
    explicit Link(EngineState& s);
    ~Link();

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
    int32_t linkState() const { return link_.state; }
    // The post-connect steps (status, passwords) and the start-up prompt,
    // for the front end to run on its own thread after linkUp.
    int32_t afterLinkUp();
    int32_t loadDeviceParameters();
    int32_t prepareDataRate();
    void chooseInitialRate();
    // The reconnect worker stops (it is idle when this returns).
    void stopWorker();
    // The engine goes: the worker ends and the port closes.
    void shutDown();
    // Matches the boot program again after a failed sequence.
    int32_t rematch(int32_t column, int32_t place);
    // The WCP in RAM is forgotten: the host talks to the boot program again.
    void clearWcpLoaded();

  private:
    friend class CComThread;
    bool attemptMatch();
    bool collectReply(std::vector<uint8_t>& reply, const std::function<bool()>& complete);
    bool scanMatchReply(const uint8_t* bytes, uint32_t n) const;
    // The answer to a matching byte: 1 matched; 0 a time-out (reported at
    // place) or a wrong answer (reported by the reply check).
    int32_t readMatchReply(int32_t column, int32_t place, uint32_t timeoutMs);
    int32_t secondExchange();

    bool recovering_ = false;
    // A line reset found no modem lines (a pseudo-terminal); the notice
    // that says so comes once, when the chip then does not answer.
    bool modemLinesMissing_ = false;
    bool modemLineNoticeShown_ = false;
    std::unique_ptr<CComThread> worker_;
};

// Of the selected device.
uint32_t alignmentUnit(const DeviceParameters& dev, const DeviceDatabase& devices);
// The flash areas: the single-boot flash and, for SecondAreaBootTypes, the second area.
std::vector<std::pair<uint32_t, uint32_t>> flashAreas(const DeviceParameters& dev);

}  // namespace ostrand
