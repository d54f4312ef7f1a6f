// A scripted host for the simulated chip: the chip runs on a thread of the
// test on a real pseudo-terminal, and the host talks to it through the
// program's own SerialPort, one exchange at a time.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <numeric>
#include <sstream>
#include <thread>

#include "app/device_database.h"
#include "app/operator.h"
#include "recording_operator.h"
#include "serial/serial_port.h"
#include "sim/chip.h"

namespace ostrand::sim::test {

using Bytes = std::vector<uint8_t>;

inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline const DeviceDefinition& demoDevice(const std::string& name) {
    static Session session;
    static RecordingOperator op(session);
    static DeviceDatabase db = [] {
        DeviceDatabase d(session, op);
        EXPECT_EQ(d.load(std::string(OSTRAND_DATA_DIR) + "/Ostrand.def"), 0);
        return d;
    }();
    const DeviceDefinition* d = db.find(name);
    if (!d) throw std::runtime_error("no demo device " + name);
    return *d;
}

inline uint8_t negSum(const Bytes& b) {
    return static_cast<uint8_t>(0x100 - (std::accumulate(b.begin(), b.end(), 0u) & 0xFF));
}

inline Bytes header(uint32_t address, uint32_t count) {
    Bytes h = {uint8_t(address >> 24), uint8_t(address >> 16), uint8_t(address >> 8),
               uint8_t(address),       uint8_t(count >> 8),    uint8_t(count)};
    h.push_back(negSum(h));
    return h;
}

// Binary Intel HEX record, as the boot programs take them.
inline Bytes record(uint8_t type, uint16_t address, const Bytes& data) {
    const Bytes r =
        Bytes{uint8_t(data.size()), uint8_t(address >> 8), uint8_t(address), type} + data;
    return Bytes{0x3A} + r + Bytes{negSum(r)};
}

// A 16-bit SUM as the chip answers it: high byte, low byte, checksum.
inline Bytes sumReply(uint16_t s) {
    const Bytes two = {uint8_t(s >> 8), uint8_t(s)};
    return two + Bytes{negSum(two)};
}

class SimHost {
  public:
    explicit SimHost(const std::string& name, std::vector<std::string> faults = {})
        : dev(demoDevice(name)), port(session), flash_(areas(dev)) {
        for (const std::string& f : faults) {
            std::string error;
            faultSet_.add(*FaultSet::parse(f, error));
        }
    }
    ~SimHost() {
        port.close();
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }

    FlashMemory& flash() { return flash_; }
    const std::string& path() const { return line_.path(); }
    SimChip& chip() { return *chip_; }

    // Starts the chip and opens the host's end at `rate`.
    void start(uint32_t rate = 9600) {
        ASSERT_TRUE(line_.open());
        chip_ = std::make_unique<SimChip>(dev, line_, flash_, faultSet_, nullptr);
        thread_ = std::thread([this] {
            try {
                chip_->run();
            } catch (const StopRequested&) {
            }
        });
        ASSERT_TRUE(port.open(line_.path(), rate));
    }

    void setRate(uint32_t rate) { ASSERT_TRUE(port.setBaudRate(rate)); }
    void send(const Bytes& b) { ASSERT_TRUE(port.write(b.data(), uint32_t(b.size()), 0, 0)); }
    Bytes read(size_t n, uint32_t timeoutMs = 1500) {
        Bytes got;
        uint8_t b = 0;
        while (got.size() < n && port.readByte(&b, timeoutMs)) got.push_back(b);
        return got;
    }
    // One exchange: the bytes sent, the bytes expected back.
    void exchange(const Bytes& out, const Bytes& expected) {
        send(out);
        EXPECT_EQ(read(expected.size()), expected);
    }
    // A WCP command and its header, each echoed; the header may be refused.
    void headed(uint8_t command, uint32_t address, uint32_t count, int headerReply = -1) {
        exchange({command}, {command});
        exchange(header(address, count), {uint8_t(headerReply < 0 ? command : headerReply)});
    }
    bool silent(uint32_t ms = 200) {
        uint8_t b = 0;
        return !port.readByte(&b, ms);
    }

    // The two bytes that end a record transfer: never the data sum.
    static Bytes transferEnd(uint16_t dataSum) {
        return {uint8_t(~dataSum >> 8), uint8_t(~dataSum)};
    }

    uint8_t matchByte() const {
        return PasswordBootTypes(dev.bootType) || dev.bootType == 11 ? 0x86 : 0x5A;
    }

    // Matching at the host's current rate, and BootType 11's "y".
    void connect() {
        const Bytes expected =
            dev.bootType == 4 ? Bytes{0x61, 0x04, 0x10, 0x5A} : Bytes{matchByte()};
        exchange({matchByte()}, expected);
        if (dev.bootType == 11) exchange({0x79}, {0x79});
    }

    // The RAM transfer of a WCP file to a blank chip, in the form of the
    // boot types 6 and 9 and of the password types, then the host's wait for
    // the WCP to start, as the protocol asks (none: the next command goes out
    // at once).
    void loadWcp(const std::string& file, bool waitForStart = true) {
        transferWcp(file);
        const int ms = PasswordBootTypes(dev.bootType) ? 333 : 200;
        if (waitForStart) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }

    void transferWcp(const std::string& file) {
        // The data records, in address order.
        std::ifstream in(std::string(OSTRAND_DATA_DIR) + "/" + dev.deviceName + "/" + file);
        std::vector<std::pair<uint16_t, Bytes>> records;
        for (std::string line; std::getline(in, line);) {
            if (line.size() < 11 || line.substr(7, 2) != "00") continue;
            Bytes data;
            for (size_t i = 9; i + 2 < line.size(); i += 2)
                data.push_back(uint8_t(std::stoul(line.substr(i, 2), nullptr, 16)));
            records.emplace_back(uint16_t(std::stoul(line.substr(3, 4), nullptr, 16)), data);
        }
        ASSERT_FALSE(records.empty());
        const int bt = dev.bootType;
        if (PasswordBootTypes(bt)) {
            Bytes data;
            for (const auto& r : records) data = data + r.second;
            const Bytes p(12, 0xFF);
            exchange({0x10}, {0x10});
            exchange(p + Bytes{negSum(p)}, {0x10});
            exchange(header(records.front().first, uint32_t(data.size())), {0x10});
            exchange(data + Bytes{uint8_t(~std::accumulate(data.begin(), data.end(), 0u))}, {0x10});
            return;
        }
        ASSERT_TRUE(bt == 6 || bt == 9) << bt;
        exchange({0x60}, {0x60});
        // The blank password frame (count and password addresses, no password),
        // then the records from segment 0.
        Bytes all;
        for (uint32_t v : {dev.passwordAreaStart, dev.passwordAreaEnd})
            all = all + Bytes{uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
        all = all + record(0x02, 0, {0, 0});
        uint16_t sum = 0;
        for (const auto& [address, data] : records) {
            all = all + record(0x00, address, data);
            sum = uint16_t(std::accumulate(data.begin(), data.end(), sum));
        }
        send(all + record(0x01, 0, {}));
        EXPECT_EQ(read(2), transferEnd(sum));
    }

    Session session;
    const DeviceDefinition& dev;
    SerialPort port;

  private:
    static std::vector<AddressRange> areas(const DeviceDefinition& d) {
        std::vector<AddressRange> a{{d.singleBootFlashStart, d.singleBootFlashEnd}};
        if (d.flashSecondStart || d.flashSecondEnd)
            a.push_back({d.flashSecondStart, d.flashSecondEnd});
        return a;
    }
    std::atomic<bool> stop_{false};
    PtyLine line_{stop_, nullptr};
    FlashMemory flash_;
    FaultSet faultSet_;
    std::unique_ptr<SimChip> chip_;
    std::thread thread_;
};

}  // namespace ostrand::sim::test
