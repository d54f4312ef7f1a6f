// The engine as one object: its construction, the port it talks through,
// and the wiring of its layers.
#include "flash_engine.h"

#include <chrono>
#include <thread>

#include "serial/serial_port.h"

namespace ostrand {

EngineLayer::EngineLayer(EngineState& s)
    : state_(s),
      session_(s.session),
      op_(s.op),
      devices_(s.devices),
      settings_(s.settings),
      passwords_(s.passwords),
      image_(s.image),
      port_(s.port),
      hooks_(s.hooks),
      timeouts_(s.timeouts),
      dev_(s.dev),
      link_(s.link),
      rate_(s.rate),
      chip_(s.chip),
      flashCache_(s.chip.flashCache) {}

Reply EngineLayer::commandExchange(ReplyKind kind, int32_t column, uint8_t code, int32_t place) {
    return channel_->command(kind, column, code, place);
}

Reply EngineLayer::headerExchange(ReplyKind kind, int32_t column, uint32_t address, uint32_t count,
                                  int32_t place) {
    return channel_->header(kind, column, address, count, place);
}

Reply EngineLayer::dataExchange(ReplyKind kind, int32_t column, const uint8_t* data, uint32_t count,
                                int32_t place) {
    return channel_->data(kind, column, data, count, place);
}

Reply EngineLayer::readCompletion(ReplyKind kind, int32_t column, uint32_t timeoutMs, int32_t place,
                                  int32_t eccPlace) {
    return channel_->completion(kind, column, timeoutMs, place, eccPlace);
}

Reply EngineLayer::checkReply(ReplyKind kind, int32_t column, uint8_t byte) {
    return channel_->check(kind, column, byte);
}

bool EngineLayer::sendCode(uint8_t code) {
    return channel_->sendCode(code);
}

bool EngineLayer::sendFrame(const uint8_t* bytes, uint32_t count, int twoStopBitsFirst,
                            int lastByteApart) {
    return channel_->send(bytes, count, twoStopBitsFirst, lastByteApart);
}

bool EngineLayer::readReply(uint8_t& byte, uint32_t timeoutMs) {
    return channel_->read(byte, timeoutMs);
}

void EngineLayer::reportTimeout(ReplyKind kind, int32_t place, int32_t hint) {
    channel_->reportTimeout(kind, place, hint);
}

void EngineLayer::pumpOneMessage() {
    channel_->pump();
}

bool EngineLayer::sleepMs(uint32_t ms) {
    return channel_->sleep(ms);
}

void EngineLayer::waitCursor(bool on) {
    if (hooks_.waitCursor) hooks_.waitCursor(on);
}

CFlashEngine::CFlashEngine(Session& session, Operator& op, DeviceDatabase& devices,
                           const SetupSettings& settings, PasswordSet& passwords,
                           const ObjectImage* image)
    : CFlashEngine(session, op, devices, settings, passwords, std::make_unique<SerialPort>(session),
                   image) {}

CFlashEngine::CFlashEngine(Session& session, Operator& op, DeviceDatabase& devices,
                           const SetupSettings& settings, PasswordSet& passwords,
                           std::unique_ptr<Port> port, const ObjectImage* image)
    : ownPort_(std::move(port)),
      state_{session, op, devices, settings, passwords, image, ownPort_.get(),
             {},      {}, {},      {},       {},        {}},
      channel_(*state_.port, session, op, state_.dev, state_.timeouts, state_.hooks),
      link_(state_),
      boot_(state_),
      wcp_(state_),
      wcpTarget_(*this),
      bootTarget_(*this) {
    for (EngineLayer* layer : {static_cast<EngineLayer*>(&link_), static_cast<EngineLayer*>(&boot_),
                               static_cast<EngineLayer*>(&wcp_)}) {
        layer->channel_ = &channel_;
        layer->linkLayer_ = &link_;
        layer->boot_ = &boot_;
        layer->wcp_ = &wcp_;
    }
}

CFlashEngine::~CFlashEngine() {
    // The worker stops before the layers it uses go.
    link_.shutDown();
}

FlashTarget& CFlashEngine::target() {
    if (state_.chip.wcpModeLatched()) return wcpTarget_;
    return bootTarget_;
}

int32_t CFlashEngine::fillFlashCache() {
    FlashCache& cache = state_.chip.flashCache;
    if (!FastReplyBootTypes(state_.dev.bootType) || cache.valid() || cache.empty()) return 1;
    // Their boot programs cannot read: in single boot the cache stays unknown.
    if (!state_.chip.wcpModeLatched()) return 1;
    std::vector<uint8_t> bytes(cache.length(), 0xFF);
    if (!wcpTarget_.read(cache.start(), bytes.data(), cache.length())) return 0;
    cache.take(std::move(bytes));
    return 1;
}

void CFlashEngine::noteChipErased() {
    state_.chip.flashBlank = 1;
    state_.chip.flashCache.fillAll(0xFF);
}

}  // namespace ostrand
