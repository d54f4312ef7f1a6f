// The engine as one object: its construction, the port it talks through,
// and the small pieces of state every role shares.
#include "flash_engine.h"

#include <chrono>
#include <thread>

#include "com_thread.h"
#include "serial/serial_port.h"

namespace ostrand {

CFlashEngine::CFlashEngine(Session& session, Operator& op, DeviceDatabase& devices,
                           SetupSettings& settings, PasswordSet& passwords,
                           const ObjectImage* image)
    : CFlashEngine(session, op, devices, settings, passwords, std::make_unique<SerialPort>(session),
                   image) {}

CFlashEngine::CFlashEngine(Session& session, Operator& op, DeviceDatabase& devices,
                           SetupSettings& settings, PasswordSet& passwords,
                           std::unique_ptr<Port> port, const ObjectImage* image)
    : session_(session),
      op_(op),
      devices_(devices),
      settings_(settings),
      passwords_(passwords),
      image_(image),
      port_(port.get()),
      ownPort_(std::move(port)) {}

CFlashEngine::~CFlashEngine() {
    if (worker_) {
        session_.AbortRequested = 1;
        worker_.reset();  // posts UM_QUIT and joins
    }
    if (port_->isOpen()) disconnect();
}

bool CFlashEngine::anyWcpLoaded() const {
    for (int32_t f : wcpLoaded_)
        if (f) return true;
    return false;
}

void CFlashEngine::clearWcpLoaded() {
    for (int32_t& f : wcpLoaded_) f = 0;
    divisorSent_ = false;
    session_.LinkPhase = kLinkBootProgram;
}

void CFlashEngine::noteChipErased() {
    flashBlank_ = 1;
    flashCache_.fillAll(0xFF);
}

void CFlashEngine::waitCursor(bool on) {
    if (hooks_.waitCursor) hooks_.waitCursor(on);
}

bool CFlashEngine::sleepMs(uint32_t ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (session_.AbortRequested != 0) return false;
        auto left = end - std::chrono::steady_clock::now();
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(5)));
        pumpOneMessage();
    }
    return true;
}

}  // namespace ostrand
