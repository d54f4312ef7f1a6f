// The data rates of the line to the chip: the program's one rate table and
// the typed value that carries an entry of it from where a rate enters (the
// setup file, the command line, the setup dialog) down to the port.
#pragma once

#include <cstdint>
#include <string_view>

namespace ostrand {

class DataRate {
  public:
    static constexpr int32_t kCount = 11;

    // No rate given (an empty text).
    constexpr DataRate() = default;
    // Entry `index` of the rate table; any other index is an unsupported rate.
    static constexpr DataRate at(int32_t index) {
        return DataRate(index >= 0 && index < kCount ? index : kUnsupported);
    }
    // "" gives no rate, a text of the table its entry, any other text an
    // unsupported rate (which the connection refuses).
    static DataRate parse(std::string_view text);

    bool given() const { return index_ != kNone; }
    bool supported() const { return index_ >= 0; }
    // The column of the rate-code tables; -1 when not in the table.
    int32_t index() const { return supported() ? index_ : -1; }
    // Bits per second; 0 when not in the table.
    uint32_t bps() const;
    // The text the setup file keeps; "" when not in the table.
    const char* text() const;

    constexpr bool operator==(const DataRate&) const = default;

  private:
    static constexpr int8_t kNone = -1, kUnsupported = -2;
    constexpr explicit DataRate(int32_t index) : index_(static_cast<int8_t>(index)) {}
    int8_t index_ = kNone;
};

inline constexpr DataRate kRate2400 = DataRate::at(0);
inline constexpr DataRate kRate4800 = DataRate::at(1);
inline constexpr DataRate kRate9600 = DataRate::at(2);
inline constexpr DataRate kRate115200 = DataRate::at(9);

}  // namespace ostrand
