// The simulated chip's parsing of what a host sends: the boot program's
// matching, commands, frames and records, and the WCP commands once one is
// loaded. Input: device byte, then the host's bytes. A byte 0xFE switches the
// host's rate: 0xFE 0xFE is the byte 0xFE itself; 0xFE n sends what follows
// at rate n of the rate table, or, for n of 11 and up, at the chip's own rate
// again (the default: a host that follows the chip).
#include <cstdint>
#include <optional>

#include "../common.h"
#include "sim/chip.h"

namespace {

class FuzzLine : public ostrand::sim::ChipLine {
  public:
    FuzzLine(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    void attach(const ostrand::sim::SimChip* chip) { chip_ = chip; }

    std::optional<ostrand::sim::RxByte> receive(int) override {
        for (;;) {
            if (pos_ >= size_) throw ostrand::sim::StopRequested{};
            const uint8_t b = data_[pos_++];
            if (b == 0xFE && pos_ < size_) {
                const uint8_t n = data_[pos_++];
                if (n != 0xFE) {
                    rate_ = n < ostrand::sim::kRates.size() ? ostrand::sim::kRates[n] : 0;
                    continue;
                }
            }
            ostrand::sim::RxByte rx;
            rx.value = b;
            rx.rate = rate_ ? rate_ : chip_->listenRate();
            return rx;
        }
    }
    void send(const uint8_t*, size_t) override {}
    void pause(int) override {}
    void deafUntil(std::chrono::steady_clock::time_point) override {}
    uint32_t hostRate() override { return rate_ ? rate_ : chip_->listenRate(); }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    uint32_t rate_ = 0;
    const ostrand::sim::SimChip* chip_ = nullptr;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ostrand::Session session;
    static fuzz::QuietOperator op(session);
    static ostrand::DeviceDatabase devices(session, op);
    static bool ready = (fuzz::loadDemoDevices(devices), true);
    (void)ready;
    if (size < 1) return 0;
    const auto& records = devices.records();
    const auto& device = records[data[0] % records.size()];
    std::vector<ostrand::AddressRange> areas{
        {device.singleBootFlashStart, device.singleBootFlashEnd}};
    if (device.flashSecondStart != 0 || device.flashSecondEnd != 0)
        areas.push_back({device.flashSecondStart, device.flashSecondEnd});
    ostrand::sim::FlashMemory flash(areas);
    ostrand::sim::FaultSet faults;
    FuzzLine line(data + 1, size - 1);
    ostrand::sim::SimChip chip(device, line, flash, faults, nullptr);
    line.attach(&chip);
    try {
        chip.run();
    } catch (const ostrand::sim::StopRequested&) {
    }
    return 0;
}
