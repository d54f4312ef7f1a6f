// A port in memory for unit tests of one exchange: every frame written is
// captured with its stop-bit marks, and each write lets the next scripted
// reply arrive. A read with nothing waiting fails at once, and remembers
// the wait it was given.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "serial/port.h"

namespace ostrand::test {

class MemoryPort : public Port {
  public:
    struct Frame {
        std::vector<uint8_t> bytes;
        int twoStopBitsFirst = 0;
        int lastByteApart = 0;
    };

    // What the target answers to the next writes, one entry per write; an
    // empty entry is a write it does not answer.
    std::deque<std::vector<uint8_t>> script;
    std::vector<Frame> frames;
    std::vector<uint32_t> readWaits;  // the wait of every readByte, in order

    size_t pending() const { return input_.size(); }
    // Bytes that arrive without a write (a completion byte).
    void queue(const std::vector<uint8_t>& bytes) {
        input_.insert(input_.end(), bytes.begin(), bytes.end());
    }

    bool open(const std::string&, uint32_t baud) override {
        open_ = true;
        return setBaudRate(baud);
    }
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    int lastErrno() const override { return 0; }
    bool setBaudRate(uint32_t rate) override {
        if (rate == 0) return false;
        baud_ = rate;
        return true;
    }
    uint32_t currentBaud() const override { return baud_; }

    bool write(const uint8_t* buffer, uint32_t count, int twoStopBitsFirst,
               int lastByteApart) override {
        frames.push_back(
            {std::vector<uint8_t>(buffer, buffer + count), twoStopBitsFirst, lastByteApart});
        if (!script.empty()) {
            input_.insert(input_.end(), script.front().begin(), script.front().end());
            script.pop_front();
        }
        return true;
    }
    bool readByte(uint8_t* byte, uint32_t timeoutMs) override {
        readWaits.push_back(timeoutMs);
        if (input_.empty()) return false;
        *byte = input_.front();
        input_.pop_front();
        return true;
    }
    bool readAvailable(uint8_t* buffer, uint32_t& count) override {
        uint32_t n = 0;
        while (n < count && !input_.empty()) {
            buffer[n++] = input_.front();
            input_.pop_front();
        }
        count = n;
        return true;
    }
    bool drain() override { return true; }
    bool setRts(int) override { return true; }
    bool setDtr(int) override { return true; }
    bool noModemLines() const override { return false; }

  private:
    bool open_ = false;
    uint32_t baud_ = 0;
    std::deque<uint8_t> input_;
};

}  // namespace ostrand::test
