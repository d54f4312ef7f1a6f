#include "serial/wire_trace.h"

#include <atomic>
#include <cstdlib>

namespace ostrand {
namespace {

std::atomic<WireTrace*> activeTrace{nullptr};

}  // namespace

WireTrace::~WireTrace() {
    if (activeTrace.load() == this) activeTrace.store(nullptr);
    if (file_) std::fclose(file_);
}

bool WireTrace::open(const std::string& path) {
    std::lock_guard lock(mutex_);
    if (file_) std::fclose(file_);
    file_ = std::fopen(path.c_str(), "we");
    start_ = Clock::now();
    if (!file_) return false;
    std::fputs("# seconds port event | seconds port >sent/<received rate frame bytes\n", file_);
    std::fflush(file_);
    return true;
}

void WireTrace::line(Clock::time_point at, const std::string& port, std::string_view text) {
    std::lock_guard lock(mutex_);
    if (!file_) return;
    const double s = std::chrono::duration<double>(at - start_).count();
    std::fprintf(file_, "%.6f %s %.*s\n", s, port.c_str(), static_cast<int>(text.size()),
                 text.data());
    std::fflush(file_);
}

void WireTrace::event(const std::string& port, std::string_view what) {
    line(Clock::now(), port, what);
}

void WireTrace::bytes(const std::string& port, char direction, uint32_t rate, int stopBits,
                      const uint8_t* data, size_t count, Clock::time_point at) {
    if (count == 0) return;
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text(1, direction);
    text += ' ' + std::to_string(rate) + (stopBits == 2 ? " 8N2" : " 8N1");
    text.reserve(text.size() + 3 * count);
    for (size_t i = 0; i < count; ++i) {
        text += ' ';
        text += kHex[data[i] >> 4];
        text += kHex[data[i] & 15];
    }
    line(at, port, text);
}

WireTrace* WireTrace::active() {
    return activeTrace.load(std::memory_order_acquire);
}

void WireTrace::setActive(WireTrace* trace) {
    activeTrace.store(trace, std::memory_order_release);
}

bool WireTrace::activateFromEnvironment() {
    const char* path = std::getenv("OSTRAND_TRACE");
    if (!path || !*path) return true;
    static WireTrace trace;
    if (!trace.open(path)) return false;
    setActive(&trace);
    return true;
}

}  // namespace ostrand
