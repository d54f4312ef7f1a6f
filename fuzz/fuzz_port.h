// A port in memory whose target answers with the fuzzer's bytes: every write
// succeeds, every read takes the next scripted bytes. When the script is used
// up a read throws ScriptEnded: the run is over, and no time-out or deadline
// of the engine is ever waited for.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>

#include "serial/port.h"

namespace fuzz {

struct ScriptEnded {};

class ScriptPort : public ostrand::Port {
  public:
    void setReplies(const uint8_t* data, size_t size) {
        data_ = data;
        size_ = size;
        pos_ = 0;
    }
    // Opens once: a reconnection after a time-out finds the port gone and
    // gives up at once instead of waiting for a target.
    bool open(const std::string&, uint32_t baud) override {
        if (opened_) return false;
        opened_ = open_ = true;
        return setBaudRate(baud);
    }
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    int lastErrno() const override { return 0; }
    bool setBaudRate(uint32_t baud) override {
        if (baud == 0) return false;
        baud_ = baud;
        return true;
    }
    uint32_t currentBaud() const override { return baud_; }
    bool write(const uint8_t*, uint32_t, int, int) override { return true; }
    bool readByte(uint8_t* byte, uint32_t) override {
        *byte = next();
        return true;
    }
    bool readAvailable(uint8_t* buffer, uint32_t& count) override {
        // What has arrived: as many bytes as the next byte says (up to 8).
        const uint32_t burst = next() % 9;
        uint32_t n = 0;
        while (n < count && n < burst && pos_ < size_) buffer[n++] = data_[pos_++];
        count = n;
        return true;
    }
    bool drain() override { return true; }
    bool setRts(int) override { return true; }
    bool setDtr(int) override { return true; }
    bool noModemLines() const override { return false; }

  private:
    uint8_t next() {
        if (pos_ >= size_) throw ScriptEnded{};
        return data_[pos_++];
    }
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t pos_ = 0;
    bool open_ = false;
    bool opened_ = false;
    uint32_t baud_ = 9600;
};

}  // namespace fuzz
