#include "data_rate.h"

namespace ostrand {

namespace {

struct RateEntry {
    const char* text;
    uint32_t bps;
};

// In the order of the rate-code tables' columns and of the setup dialog's list.
constexpr RateEntry kRates[DataRate::kCount] = {
    {"2400", 2400},   {"4800", 4800},     {"9600", 9600},    {"19200", 19200},
    {"31250", 31250}, {"38400", 38400},   {"57600", 57600},  {"62500", 62500},
    {"76800", 76800}, {"115200", 115200}, {"128000", 128000}};

}  // namespace

DataRate DataRate::parse(std::string_view text) {
    if (text.empty()) return DataRate();
    for (int32_t i = 0; i < kCount; ++i)
        if (text == kRates[i].text) return at(i);
    return DataRate(kUnsupported);
}

uint32_t DataRate::bps() const {
    return supported() ? kRates[index_].bps : 0;
}

const char* DataRate::text() const {
    return supported() ? kRates[index_].text : "";
}

}  // namespace ostrand
