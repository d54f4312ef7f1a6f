// The simulated chip's side of the serial line: a pseudo-terminal whose
// master end the chip holds. The host opens the terminal's path; its line
// settings, seen through the master, tell at which rate each byte was sent.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace ostrand::sim {

// One received byte with the line settings it was sent with.
struct RxByte {
    uint8_t value = 0;
    uint32_t rate = 0;
    int stopBits = 1;
    // When the chip's end read it: the byte left the host no later.
    std::chrono::steady_clock::time_point readAt{};
};

// Thrown out of the chip's code: the host closed the terminal.
struct HostGone {};
// Thrown out of the chip's code: the simulator is asked to stop.
struct StopRequested {};

// One line per event, with milliseconds since the start.
class EventLog {
  public:
    EventLog() = default;
    ~EventLog();
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;
    bool open(const std::string& path);
    void event(std::string_view kind, std::string_view text);
    void bytes(std::string_view kind, const uint8_t* data, size_t count);

  private:
    std::FILE* file_ = nullptr;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// What the chip needs of a line. receive() waits up to timeoutMs (negative:
// for ever) and returns nothing on a time-out; it throws HostGone and
// StopRequested.
class ChipLine {
  public:
    virtual ~ChipLine() = default;
    virtual std::optional<RxByte> receive(int timeoutMs) = 0;
    virtual void send(const uint8_t* data, size_t count) = 0;
    // Waits, still noticing a stop request.
    virtual void pause(int ms) = 0;
    // The chip is busy until `until` and hears nothing: bytes that come
    // meanwhile are lost. Logged as a pause of the time left.
    virtual void deafUntil(std::chrono::steady_clock::time_point until) = 0;
    // The rate the host's end is set to now (0 when unknown).
    virtual uint32_t hostRate() = 0;
};

// Line settings of a terminal, read through any of its ends; arbitrary rates
// are seen as they are. False when fd is not a terminal.
bool readLineSettings(int fd, uint32_t& rate, int& stopBits);

class PtyLine : public ChipLine {
  public:
    PtyLine(const std::atomic<bool>& stop, EventLog* log) : stop_(stop), log_(log) {}
    ~PtyLine() override;
    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;

    // Opens a new pseudo-terminal, raw at 9600. False with errno set.
    bool open();
    const std::string& path() const { return path_; }
    // --pace: every byte takes its time on the wire.
    void setPace(bool on) { pace_ = on; }

    std::optional<RxByte> receive(int timeoutMs) override;
    void send(const uint8_t* data, size_t count) override;
    void pause(int ms) override;
    void deafUntil(std::chrono::steady_clock::time_point until) override;
    uint32_t hostRate() override;

    // Time one byte takes on the wire at that rate and stop bits.
    static std::chrono::nanoseconds wireTime(uint32_t rate, int stopBits);

  private:
    // Logs the host's stop bits when they change, so that a reader of the
    // log can count each byte's bits.
    void noteStopBits(int stopBits);
    void checkStop() const;
    // Sleeps until `when`; precise: the last stretch awake, for the byte a
    // reply waits on.
    static void waitUntil(std::chrono::steady_clock::time_point when, bool precise);
    const std::atomic<bool>& stop_;
    EventLog* log_;
    int master_ = -1;
    std::string path_;
    bool pace_ = false;
    bool hostPresent_ = false;
    std::deque<RxByte> pending_;
    // Paced: when the last received byte finished arriving and when the line
    // to the host is free again. Both run on an absolute schedule, so that
    // the overshoot of each sleep does not add up.
    std::chrono::steady_clock::time_point lastArrival_{};
    std::chrono::steady_clock::time_point txFree_{};
    int loggedStopBits_ = 0;
};

}  // namespace ostrand::sim
