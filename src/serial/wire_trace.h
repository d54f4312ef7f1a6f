// The wire trace: what went over each serial line, burst by burst, with a
// monotonic time stamp, the direction, the rate and frame in force and the
// bytes in hex; port opening, closing and rate changes on lines of their own.
// One trace serves every port of the process; when none is active the ports
// pay one pointer test per operation.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

namespace ostrand {

class WireTrace {
  public:
    using Clock = std::chrono::steady_clock;

    WireTrace() = default;
    ~WireTrace();
    WireTrace(const WireTrace&) = delete;
    WireTrace& operator=(const WireTrace&) = delete;

    // Starts a new file (an old one is replaced); false when it cannot be written.
    bool open(const std::string& path);
    bool isOpen() const { return file_ != nullptr; }

    // "open 9600 8N1", "rate 38400", "close".
    void event(const std::string& port, std::string_view what);
    // direction '>' sent, '<' received; `at` is when the first byte went or came.
    void bytes(const std::string& port, char direction, uint32_t rate, int stopBits,
               const uint8_t* data, size_t count, Clock::time_point at);

    // The trace the ports of this process write to, or nullptr.
    static WireTrace* active();
    static void setActive(WireTrace* trace);
    // Opens the file that OSTRAND_TRACE names and makes it active; false
    // only when it is named and cannot be written.
    static bool activateFromEnvironment();

  private:
    void line(Clock::time_point at, const std::string& port, std::string_view text);

    std::FILE* file_ = nullptr;
    Clock::time_point start_ = Clock::now();
    std::mutex mutex_;
};

}  // namespace ostrand
