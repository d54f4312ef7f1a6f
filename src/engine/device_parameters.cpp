// The parameters of the selected device and the rates of a connection:
// what the definition file and the setup say, before anything is sent.
#include "flash_engine.h"

namespace ostrand {

namespace {

constexpr int32_t kHintRate = 12110;

}  // namespace

int32_t CFlashEngine::loadDeviceParameters() {
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

int32_t CFlashEngine::prepareDataRate() {
    const SetupValues& v = settings_.inForce;
    dataRate_ = v.dataRate;
    const std::optional<DataRate> entryRate = clockEntryRate(devices_.selected(), v);
    clockEntry_ = entryRate.has_value();
    if (clockEntry_) {
        WcpParameters w;
        devices_.wcpParametersOf(w);
        const double f = v.clockValue;
        int32_t multiplier = 1;
        clockSelect_ = 0;
        if (f < 14.5) {
            const bool table = w.clockMaxMHz > 0.0;
            if (!table || !(f > 0.0) || f < w.clockMinMHz || f > w.clockMaxMHz) {
                op_.showMessage(10524, 0, kHintRate);
                return 0;
            }
            multiplier = w.clockMultiplier;
            clockSelect_ = static_cast<uint8_t>(w.clockMultiplier);
        }
        if (!findDivisor(multiplier * f * 1000000.0, divisorN_, divisorK_)) {
            op_.showMessage(10525, 0, kHintRate);
            return 0;
        }
        dataRate_ = *entryRate;
        rateCode_ = 0x86;
        return 1;
    }
    int32_t code = rateCodeFor(dev_.bootType, v.clock, dataRate_);
    if (code < 0 || (bootTypeRow(dev_.bootType).bootAt9600 &&
                     session_.ProgrammingMode == kModeSBoot && dataRate_ != kRate9600)) {
        op_.showMessage(10013, 0, kHintRate);
        return 0;
    }
    rateCode_ = static_cast<uint8_t>(code);
    return 1;
}

void CFlashEngine::chooseInitialRate() {
    const SetupValues& v = settings_.inForce;
    DataRate fixed;
    if (bootTypeRow(dev_.bootType).adapterClock)
        initialRate_ = v.clock == 8 ? kRate4800 : v.clock == 4 ? kRate2400 : kRate9600;
    else if (clockEntry_ && devices_.fixedRateOf(fixed))
        initialRate_ = fixed;
    else if (OwnRateBootTypes(dev_.bootType) && dataRate_.given())
        initialRate_ = dataRate_;
    else
        initialRate_ = kRate9600;
}

uint32_t CFlashEngine::alignmentUnit() const {
    if (PasswordBootTypes(dev_.bootType)) {
        const DeviceDefinition* d = devices_.selected();
        if (d && d->busWidth > 0) return static_cast<uint32_t>(d->busWidth);
    }
    return bootTypeRow(dev_.bootType).writeUnit;
}

std::vector<std::pair<uint32_t, uint32_t>> CFlashEngine::flashAreas() const {
    std::vector<std::pair<uint32_t, uint32_t>> areas = {{dev_.flashStart, dev_.flashEnd}};
    // A second area of 0-0 is none.
    if (SecondAreaBootTypes(dev_.bootType) && (dev_.secondStart != 0 || dev_.secondEnd != 0) &&
        dev_.secondEnd >= dev_.secondStart)
        areas.emplace_back(dev_.secondStart, dev_.secondEnd);
    return areas;
}

}  // namespace ostrand
