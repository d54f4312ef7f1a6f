#include "sim/line.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <thread>

namespace ostrand::sim {

using Clock = std::chrono::steady_clock;

EventLog::~EventLog() {
    if (file_) std::fclose(file_);
}

bool EventLog::open(const std::string& path) {
    file_ = std::fopen(path.c_str(), "a");
    start_ = Clock::now();
    return file_ != nullptr;
}

void EventLog::event(std::string_view kind, std::string_view text) {
    if (!file_) return;
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count();
    std::fprintf(file_, "%lld %.*s %.*s\n", static_cast<long long>(ms),
                 static_cast<int>(kind.size()), kind.data(), static_cast<int>(text.size()),
                 text.data());
    std::fflush(file_);
}

void EventLog::bytes(std::string_view kind, const uint8_t* data, size_t count) {
    if (!file_) return;
    std::string text;
    char hex[4];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(hex, sizeof hex, i ? " %02X" : "%02X", data[i]);
        text += hex;
    }
    event(kind, text);
}

PtyLine::~PtyLine() {
    if (master_ >= 0) ::close(master_);
}

bool PtyLine::open() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) return false;
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) return false;
    const char* name = ptsname(master_);
    if (!name) return false;
    path_ = name;
    // Raw at 9600 until the host sets the line, so that nothing the host sends
    // is echoed or cooked by the terminal before it has configured it.
    const int slave = ::open(name, O_RDWR | O_NOCTTY);
    if (slave >= 0) {
        struct termios t {};
        if (tcgetattr(slave, &t) == 0) {
            cfmakeraw(&t);
            cfsetispeed(&t, B9600);
            cfsetospeed(&t, B9600);
            tcsetattr(slave, TCSANOW, &t);
        }
        ::close(slave);
    }
    const int flags = fcntl(master_, F_GETFL);
    fcntl(master_, F_SETFL, flags | O_NONBLOCK);
    return true;
}

void PtyLine::checkStop() const {
    if (stop_.load()) throw StopRequested{};
}

std::chrono::nanoseconds PtyLine::wireTime(uint32_t rate, int stopBits) {
    if (rate == 0) return std::chrono::nanoseconds(0);
    const uint64_t bits = 9u + static_cast<unsigned>(stopBits);  // start, 8 data, stop
    return std::chrono::nanoseconds(bits * 1000000000u / rate);
}

void PtyLine::noteStopBits(int stopBits) {
    if (stopBits == loggedStopBits_) return;
    loggedStopBits_ = stopBits;
    if (log_) log_->event("host", std::to_string(stopBits) + " stop bits");
}

uint32_t PtyLine::hostRate() {
    uint32_t rate = 0;
    int stopBits = 1;
    return readLineSettings(master_, rate, stopBits) ? rate : 0;
}

// The schedule is absolute, so a late wake-up inside a frame costs nothing;
// at the end of a frame it delays the answer, and a sleep overshoots by tens
// of microseconds (a byte is 87 us at 115200). There the last stretch is
// waited out awake.
void PtyLine::waitUntil(std::chrono::steady_clock::time_point when, bool precise) {
    if (!precise) {
        std::this_thread::sleep_until(when);
        return;
    }
    const auto margin = std::chrono::microseconds(150);
    if (when - Clock::now() > margin) std::this_thread::sleep_until(when - margin);
    while (Clock::now() < when) std::this_thread::yield();
}

std::optional<RxByte> PtyLine::receive(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    while (pending_.empty()) {
        checkStop();
        int slice = 20;
        if (timeoutMs >= 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                    .count();
            if (left <= 0) return std::nullopt;
            if (left < slice) slice = static_cast<int>(left);
        }
        struct pollfd p {
            master_, POLLIN, 0
        };
        const int n = ::poll(&p, 1, slice);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw StopRequested{};
        }
        if (n == 0) continue;
        if (p.revents & POLLIN) {
            uint8_t buffer[512];
            const ssize_t got = ::read(master_, buffer, sizeof buffer);
            if (got > 0) {
                if (!hostPresent_ && log_) log_->event("host", "open");
                hostPresent_ = true;
                RxByte b;
                b.readAt = Clock::now();
                readLineSettings(master_, b.rate, b.stopBits);
                noteStopBits(b.stopBits);
                for (ssize_t i = 0; i < got; ++i) {
                    b.value = buffer[i];
                    pending_.push_back(b);
                }
                continue;
            }
        }
        // No host holds the terminal: a master sees a hang-up until the next
        // opening. Wait quietly; tell the chip once that its host went away.
        if (p.revents & (POLLHUP | POLLERR)) {
            if (hostPresent_) {
                hostPresent_ = false;
                if (log_) log_->event("host", "closed");
                throw HostGone{};
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(slice));
        }
    }
    RxByte b = pending_.front();
    pending_.pop_front();
    if (pace_) {
        // A byte has arrived when its last bit has: one wire time after the
        // one before it, or after it was read when the line was idle. Not
        // after now: a chip that is behind must not push the schedule back.
        const auto earliest = std::max(lastArrival_, b.readAt) + wireTime(b.rate, b.stopBits);
        waitUntil(earliest, pending_.empty());
        lastArrival_ = earliest;
    }
    if (log_) log_->bytes("rx", &b.value, 1);
    return b;
}

void PtyLine::send(const uint8_t* data, size_t count) {
    if (count == 0) return;
    if (log_) log_->bytes("tx", data, count);
    uint32_t rate = 0;
    int stopBits = 1;
    readLineSettings(master_, rate, stopBits);
    noteStopBits(stopBits);
    const auto perByte = wireTime(rate, stopBits);
    // Paced, byte i is handed over once it has crossed the wire: at
    // start + (i + 1) wire times, where start is now or, when the chip is
    // still sending, the end of what it sent before. Every byte already due
    // goes in one write; the chip never sleeps when it is behind.
    const auto start = std::max(txFree_, Clock::now());
    size_t done = 0;
    int stalls = 0;
    while (done < count) {
        checkStop();
        size_t chunk = count - done;
        if (pace_) {
            const auto next = start + perByte * static_cast<int64_t>(done + 1);
            waitUntil(next, done + 1 == count);
            const auto now = Clock::now();
            chunk = 1;
            while (done + chunk < count &&
                   start + perByte * static_cast<int64_t>(done + chunk + 1) <= now)
                ++chunk;
        }
        const ssize_t n = ::write(master_, data + done, chunk);
        if (n > 0) {
            done += static_cast<size_t>(n);
            stalls = 0;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        // The host is not reading (or not there): give it a second, then
        // drop the rest as a line without a listener would.
        if (++stalls > 100) return;
        struct pollfd p {
            master_, POLLOUT, 0
        };
        ::poll(&p, 1, 10);
        if (p.revents & (POLLHUP | POLLERR)) return;
    }
    if (pace_) txFree_ = start + perByte * static_cast<int64_t>(count);
}

void PtyLine::pause(int ms) {
    if (log_) log_->event("pause", std::to_string(ms));
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < until) {
        checkStop();
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, 10)));
    }
}

void PtyLine::deafUntil(std::chrono::steady_clock::time_point until) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
    if (left.count() <= 0) return;
    if (log_) log_->event("pause", std::to_string(left.count()));
    std::string lost;
    auto drop = [&](uint8_t b) {
        char hex[4];
        std::snprintf(hex, sizeof hex, lost.empty() ? "%02X" : " %02X", b);
        lost += hex;
    };
    for (const RxByte& b : pending_) drop(b.value);
    pending_.clear();
    for (;;) {
        checkStop();
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        if (ms <= 0) break;
        struct pollfd p {
            master_, POLLIN, 0
        };
        const int n = ::poll(&p, 1, static_cast<int>(std::min<int64_t>(ms, 20)));
        if (n <= 0) continue;
        // Reported before the chip was ready: sent too soon, lost.
        if (p.revents & POLLIN) {
            uint8_t buffer[512];
            const ssize_t got = ::read(master_, buffer, sizeof buffer);
            for (ssize_t i = 0; i < got; ++i) drop(buffer[i]);
            continue;
        }
        // A hang-up: receive() tells the chip about it.
        if (p.revents & (POLLHUP | POLLERR)) {
            std::this_thread::sleep_until(until);
            break;
        }
    }
    if (!lost.empty() && log_) log_->event("lost", lost);
}

}  // namespace ostrand::sim
