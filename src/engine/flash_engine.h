// CFlashEngine: the one object through which the program talks to the target
// chip. It owns the port, the state the layers share and the layers
// themselves, wired once: the command channel, the link, the boot commands,
// the WCP session, and the two flash targets the operations work through.
#pragma once

#include <memory>

#include "engine/boot_commands.h"
#include "engine/command_channel.h"
#include "engine/engine_state.h"
#include "engine/flash_target.h"
#include "engine/link.h"
#include "engine/wcp_session.h"

namespace ostrand {

class CFlashEngine {
  public:
    // Talks through a serial port of its own.
    CFlashEngine(Session& session, Operator& op, DeviceDatabase& devices,
                 const SetupSettings& settings, PasswordSet& passwords,
                 const ObjectImage* image = nullptr);
    // Talks through `port`.
    CFlashEngine(Session& session, Operator& op, DeviceDatabase& devices,
                 const SetupSettings& settings, PasswordSet& passwords, std::unique_ptr<Port> port,
                 const ObjectImage* image = nullptr);
    ~CFlashEngine();

    // Set while no operation runs (linkUp and linkTimeout are read by the
    // reconnect worker).
    const EngineHooks& hooks() const { return state_.hooks; }
    void setHooks(EngineHooks hooks) { state_.hooks = std::move(hooks); }
    const EngineTimeouts& timeouts() const { return state_.timeouts; }
    void setTimeouts(const EngineTimeouts& timeouts) { state_.timeouts = timeouts; }
    const Port& port() const { return *state_.port; }
    Session& session() { return state_.session; }
    Operator& op() { return state_.op; }
    DeviceDatabase& devices() { return state_.devices; }
    const SetupSettings& settings() const { return state_.settings; }
    PasswordSet& passwords() { return state_.passwords; }

    // What the engine knows: the device, the link, the rates, the chip.
    const EngineState& state() const { return state_; }
    const DeviceParameters& device() const { return state_.dev; }

    // The layers.
    CommandChannel& channel() { return channel_; }
    Link& link() { return link_; }
    BootCommands& boot() { return boot_; }
    WcpSession& wcp() { return wcp_; }
    // The flash through the latched ProgrammingMode, or through the boot
    // program whatever the mode.
    FlashTarget& target();
    FlashTarget& bootTarget() { return bootTarget_; }

    int32_t connect(int32_t showErrors) { return link_.connect(showErrors); }
    int32_t connectAndWait(int32_t showErrors = 1) { return link_.connectAndWait(showErrors); }
    void disconnect() { link_.disconnect(); }
    // The operations that follow take the path of the session's
    // ProgrammingMode as it is now (WCP or boot program), also across a
    // reconnection that resets the session's mode.
    void latchProgrammingMode() { state_.chip.modeSnapshot = state_.session.ProgrammingMode; }
    // Reads the flash cache from the chip where it is due (the WCP mode of
    // FastReplyBootTypes).
    int32_t fillFlashCache();
    // The whole chip was erased: blank, and the flash cache all FF.
    void noteChipErased();
    // A blank check said what the flash holds.
    void noteBlankCheck(bool blank) { state_.chip.flashBlank = blank ? 1 : 0; }
    // A failed sequence leaves the boot program in doubt: match it again
    // before the next boot command.
    void requestResync() { state_.link.resyncNeeded = 1; }

  private:
    std::unique_ptr<Port> ownPort_;
    EngineState state_;
    CommandChannel channel_;
    Link link_;
    BootCommands boot_;
    WcpSession wcp_;
    WcpTarget wcpTarget_;
    BootTarget bootTarget_;
};

}  // namespace ostrand
