// The parameters of the selected device and the rates of a connection:
// what the definition file and the setup say, before anything is sent.
#include "link.h"

namespace ostrand {

namespace {

constexpr int32_t kHintRate = 12110;

}  // namespace

int32_t Link::loadDeviceParameters() {
    const DeviceDefinition* d = devices_.selected();
    auto missing = [&](int32_t place) {
        op_.showMessage(10115, place, 12135);
        return 0;
    };
    if (!d || !knownBootType(d->bootType)) return missing(371);
    dev_.bootType = d->bootType;
    if (d->receiveBufferSize < 0) return missing(372);
    dev_.maxChunk = d->receiveBufferSize;
    if (d->pageSize < 0) return missing(373);
    dev_.pageSize = d->pageSize;
    if (!devices_.singleBootFlash(dev_.flashStart, dev_.flashEnd)) return missing(374);
    if (!devices_.singleBootRam(dev_.ramStart, dev_.ramEnd)) return missing(375);
    if (!devices_.passwordArea(dev_.passwordStart, dev_.passwordEnd)) return missing(376);
    if (!devices_.sumArea(dev_.sumStart, dev_.sumEnd)) return missing(377);
    if (!devices_.vectorArea(dev_.vectorStart, dev_.vectorEnd)) return missing(378);
    if (!devices_.flashOffset(dev_.flashOffset)) return missing(379);
    flashCache_.reset(dev_.vectorStart - dev_.flashOffset, dev_.vectorEnd - dev_.flashOffset,
                      FastReplyBootTypes(dev_.bootType));
    if (!devices_.secondFlashArea(dev_.secondStart, dev_.secondEnd)) return missing(370);
    return 1;
}

int32_t Link::prepareDataRate() {
    const SetupValues& v = settings_.inForce;
    rate_.data = v.dataRate;
    const std::optional<DataRate> entryRate = clockEntryRate(devices_.selected(), v);
    rate_.clockEntry = entryRate.has_value();
    if (rate_.clockEntry) {
        WcpParameters w;
        devices_.wcpParametersOf(w);
        const double f = v.clockValue;
        int32_t multiplier = 1;
        rate_.clockSelect = 0;
        if (f < 14.5) {
            const bool table = w.clockMaxMHz > 0.0;
            if (!table || !(f > 0.0) || f < w.clockMinMHz || f > w.clockMaxMHz) {
                op_.showMessage(10524, 0, kHintRate);
                return 0;
            }
            multiplier = w.clockMultiplier;
            rate_.clockSelect = static_cast<uint8_t>(w.clockMultiplier);
        }
        if (!findDivisor(multiplier * f * 1000000.0, rate_.divisorN, rate_.divisorK)) {
            op_.showMessage(10525, 0, kHintRate);
            return 0;
        }
        rate_.data = *entryRate;
        rate_.code = 0x86;
        return 1;
    }
    int32_t code = rateCodeFor(dev_.bootType, v.clock, rate_.data);
    if (code < 0 || (bootTypeRow(dev_.bootType).bootAt9600 &&
                     session_.ProgrammingMode == kModeSBoot && rate_.data != kRate9600)) {
        op_.showMessage(10013, 0, kHintRate);
        return 0;
    }
    rate_.code = static_cast<uint8_t>(code);
    return 1;
}

void Link::chooseInitialRate() {
    const SetupValues& v = settings_.inForce;
    DataRate fixed;
    if (bootTypeRow(dev_.bootType).adapterClock)
        rate_.initial = v.clock == 8 ? kRate4800 : v.clock == 4 ? kRate2400 : kRate9600;
    else if (rate_.clockEntry && devices_.fixedRateOf(fixed))
        rate_.initial = fixed;
    else if (OwnRateBootTypes(dev_.bootType) && rate_.data.given())
        rate_.initial = rate_.data;
    else
        rate_.initial = kRate9600;
}

uint32_t alignmentUnit(const DeviceParameters& dev, const DeviceDatabase& devices) {
    if (PasswordBootTypes(dev.bootType)) {
        const DeviceDefinition* d = devices.selected();
        if (d && d->busWidth > 0) return static_cast<uint32_t>(d->busWidth);
    }
    return bootTypeRow(dev.bootType).writeUnit;
}

std::vector<std::pair<uint32_t, uint32_t>> flashAreas(const DeviceParameters& dev) {
    std::vector<std::pair<uint32_t, uint32_t>> areas = {{dev.flashStart, dev.flashEnd}};
    // A second area of 0-0 is none.
    if (SecondAreaBootTypes(dev.bootType) && (dev.secondStart != 0 || dev.secondEnd != 0) &&
        dev.secondEnd >= dev.secondStart)
        areas.emplace_back(dev.secondStart, dev.secondEnd);
    return areas;
}

}  // namespace ostrand
