// The command channel: one command byte and its echo, the header and data
// frames with their checksum, completion bytes, and the reply check that
// turns an unexpected byte into its numbered message. Every call names what
// it sends and gives what happened. The frames and replies that follow a
// command byte belong to it: their reply checks name it in the command error.
#pragma once

#include <cstdint>

#include "engine/engine_state.h"

namespace ostrand {

class CommandChannel {
  public:
    CommandChannel(Port& port, Session& session, Operator& op, const DeviceParameters& device,
                   const EngineTimeouts& timeouts, const EngineHooks& hooks);

    // Command byte, echo within the echo time-out, reply check.
    Reply command(ReplyKind kind, int32_t column, uint8_t code, int32_t place);
    // Header frame (1, 1) and its echo.
    Reply header(ReplyKind kind, int32_t column, uint32_t address, uint32_t count, int32_t place);
    // Data bytes (1, 0), checksum byte (0, 1) and the echo.
    Reply data(ReplyKind kind, int32_t column, const uint8_t* bytes, uint32_t count, int32_t place);
    // A completion byte; with eccPlace, 0x58 is message 10010 at that place.
    Reply completion(ReplyKind kind, int32_t column, uint32_t timeoutMs, int32_t place,
                     int32_t eccPlace = 0);
    // The command byte alone, no echo awaited (a rate code, a resync byte).
    bool sendCode(uint8_t code);
    // The rate code and the port's switch to `bps` around its echo (checked:
    // the echo must come at the old rate). Port::switchBaud*'s result.
    int switchRate(uint8_t code, uint32_t bps, bool checked, uint8_t& reply);
    // The reply check of `byte` in the column of the command in progress.
    Reply check(ReplyKind kind, int32_t column, uint8_t byte);

    // The stop-bit split applies only where the device's delay flags name the
    // program the host is talking to.
    bool send(const uint8_t* bytes, uint32_t count, int twoStopBitsFirst, int lastByteApart);
    bool read(uint8_t& byte, uint32_t timeoutMs);
    // 10002 with the kind's detail.
    void reportTimeout(ReplyKind kind, int32_t place, int32_t hint = 0);
    // Services the window once.
    void pump();
    // Waits `ms` with the window serviced every few milliseconds.
    void pauseServiced(uint32_t ms);
    // Waits `ms`, serviced; false when AbortRequested cut it short.
    bool sleep(uint32_t ms);

    static const char* detailOf(ReplyKind kind) {
        return kind == BootKind ? "Boot Program" : "WCP";
    }

  private:
    Reply awaitEcho(ReplyKind kind, int32_t column, int32_t place);

    Port& port_;
    Session& session_;
    Operator& op_;
    const DeviceParameters& dev_;
    const EngineTimeouts& timeouts_;
    const EngineHooks& hooks_;
    uint8_t inProgress_ = 0;  // the command byte sent last
};

}  // namespace ostrand
