// The wire trace of one port: received bytes gather into bursts, which end
// at a pause, at the next thing sent, or at a change of the line.
#include "serial/serial_port.h"

namespace ostrand {
namespace {

// Bytes further apart than this belong to different bursts.
constexpr auto kBurstGap = std::chrono::milliseconds(5);
constexpr size_t kBurstMax = 256;

std::string frameText(uint32_t rate, int stopBits) {
    return std::to_string(rate) + (stopBits == 2 ? " 8N2" : " 8N1");
}

}  // namespace

void SerialPort::startTrace() {
    trace_ = WireTrace::active();
    rxBurst_.clear();
    if (trace_) trace_->event(portName_, "open " + frameText(currentRate_, stopBits()));
}

void SerialPort::endTrace() {
    flushReceived();
    trace_->event(portName_, "close");
    trace_ = nullptr;
}

void SerialPort::traceRate() {
    flushReceived();
    trace_->event(portName_, "rate " + std::to_string(currentRate_));
}

void SerialPort::traceSent(const uint8_t* data, uint32_t count, WireTrace::Clock::time_point at) {
    flushReceived();
    trace_->bytes(portName_, '>', currentRate_, stopBits(), data, count, at);
}

void SerialPort::traceReceived(const uint8_t* data, uint32_t count) {
    if (count == 0) return;
    const auto now = WireTrace::Clock::now();
    // A burst keeps the rate and frame its first byte came at.
    if (!rxBurst_.empty() && (now - rxLast_ > kBurstGap || rxBurst_.size() >= kBurstMax ||
                              rxRate_ != currentRate_ || rxStopBits_ != stopBits()))
        flushReceived();
    if (rxBurst_.empty()) {
        rxFirst_ = now;
        rxRate_ = currentRate_;
        rxStopBits_ = stopBits();
    }
    rxLast_ = now;
    rxBurst_.insert(rxBurst_.end(), data, data + count);
}

void SerialPort::flushReceived() {
    if (rxBurst_.empty()) return;
    trace_->bytes(portName_, '<', rxRate_, rxStopBits_, rxBurst_.data(), rxBurst_.size(), rxFirst_);
    rxBurst_.clear();
}

}  // namespace ostrand
