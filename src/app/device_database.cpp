#include "device_database.h"

#include <array>
#include <cstdio>

#include "operator.h"
#include "profile.h"
#include "session.h"

namespace ostrand {

namespace {

constexpr int32_t kHintLatestDefinition = 12104;
constexpr size_t kTextBuffer = 512;

}  // namespace

void DeviceDatabase::reset() {
    seriesNames_.clear();
    seriesSeen_.clear();
    sectionNames_.clear();
    records_.clear();
    selected_ = -1;
    webSiteUrl_.clear();
    helpMenuText_.clear();
    packageVersion_.clear();
    programVersionLine_.clear();
    noticeLine_.clear();
}

int32_t DeviceDatabase::load(const std::filesystem::path& path) {
    reset();
    OpenFailure why = OpenFailure::None;
    auto file = ProfileFile::load(path, &why);
    if (!file) {
        // A folder or a pipe of that name is named, a missing file is not.
        op_.showMessage(10100, 0, kHintLatestDefinition,
                        why == OpenFailure::Missing ? std::string() : path.string());
        return -1;
    }
    for (const auto& name : file->sectionNames())
        if (!equalsNoCase(name, "COMMON")) sectionNames_.push_back(name);

    for (const auto& section : sectionNames_) {
        if (!readRecord(*file, section)) return -1;
    }
    if (sectionNames_.empty()) {
        op_.showMessage(10101, 0, kHintLatestDefinition);
        return -1;
    }
    webSiteUrl_ = file->getString("COMMON", "WebSiteURL", "", kTextBuffer);
    if (webSiteUrl_.empty()) {
        op_.showMessage(10102, 0, kHintLatestDefinition, "COMMON/WebSiteURL");
        return -1;
    }
    helpMenuText_ = "&" + file->getString("COMMON", "Help_Menu", "Calvane Web Help", kTextBuffer);
    packageVersion_ = file->getString("COMMON", "PACK_Ver", "", 71);
    std::string exe = file->getString("COMMON", "EXE_Ver", "Calvane Ostrand", kTextBuffer);
    if (exe.size() > 62) exe.resize(62);
    programVersionLine_ = exe + " " + kProgramVersion;
    noticeLine_ =
        file->getString("COMMON", "COPY_Ver", "Copyright (C) Calvane. All rights reserved.", 71);
    return 0;
}

bool DeviceDatabase::readRecord(const ProfileFile& file, const std::string& section) {
    size_t dash = section.find('-');
    std::string series, device;
    if (dash != std::string::npos) {
        series = section.substr(0, dash);
        while (!series.empty() && (series.back() == ' ' || series.back() == '\t'))
            series.pop_back();
        device = section.substr(dash + 1);
        size_t first = device.find_first_not_of(" \t");
        device = first == std::string::npos ? std::string() : device.substr(first);
    }
    if (dash == std::string::npos || series.empty() || device.empty()) {
        op_.showMessage(10116, 0, kHintLatestDefinition, section);
        return false;
    }
    if (seriesSeen_.insert(series).second) seriesNames_.push_back(series);

    DeviceDefinition d;
    d.seriesName = series;
    d.deviceName = device;
    std::array<bool, 26> mark{};

    auto text = [&](const char* key) -> std::optional<std::string> {
        auto v = file.value(section, key);
        if (v && v->size() > kTextBuffer - 1) v->resize(kTextBuffer - 1);
        return v;
    };
    auto integer = [&](const char* key) { return file.getInt(section, key, -1); };
    auto range = [&](const char* key, uint32_t& start, uint32_t& end, size_t markIndex) {
        auto v = text(key);
        if (!v) return;
        if (auto r = parseRange(*v)) {
            start = r->start;
            end = r->end;
            mark[markIndex] = mark[markIndex + 1] = true;
        }
    };
    auto seconds = [&](const char* key, uint32_t& ms, size_t markIndex) {
        int32_t s = integer(key);
        if (s > 0) {
            ms = static_cast<uint32_t>(s) * 1000u;
            mark[markIndex] = true;
        }
    };

    d.busWidth = integer("BusWidth");
    mark[0] = d.busWidth != -1;
    range("SingleChipFlashAddress", d.singleChipFlashStart, d.singleChipFlashEnd, 1);
    range("SingleBootRAMAddress", d.singleBootRamStart, d.singleBootRamEnd, 3);
    range("SingleBootFlashAddress", d.singleBootFlashStart, d.singleBootFlashEnd, 5);
    if (auto v = text("ReceiveBufferSize")) {
        if (auto n = parseNumber(*v)) {
            d.receiveBufferSize = static_cast<int32_t>(*n);
            mark[7] = true;
        }
    }
    int32_t useWcp = integer("UseWCP");
    if (useWcp == 0 || useWcp == 1) {
        d.useWcp = useWcp;
        mark[8] = true;
    }
    if (auto v = text("TotalWCP")) {
        if (auto n = parseNumber(*v)) {
            uint32_t bits = *n;
            uint32_t rateIndex = (bits >> 4) & 7u;
            static constexpr int kRateIndex[7] = {0, 1, 2, 3, 5, 6, 9};
            double minMHz = ((bits >> 17) & 0xFu) + ((bits >> 10) & 0x7Fu) * 0.01;
            double maxMHz = ((bits >> 28) & 0xFu) + ((bits >> 21) & 0x7Fu) * 0.01;
            if (rateIndex != 7 && minMHz <= maxMHz) {
                d.totalWcp = static_cast<int32_t>(bits & 1u);
                d.wcpParameters.optionA = static_cast<int32_t>((bits >> 1) & 1u);
                d.wcpParameters.optionB = static_cast<int32_t>((bits >> 2) & 1u);
                d.wcpParameters.optionC = ((bits >> 3) & 1u) ? 0 : 1;
                d.wcpParameters.fixedRate = DataRate::at(kRateIndex[rateIndex]);
                d.wcpParameters.clockMultiplier = 2 << ((bits >> 7) & 3u);
                d.wcpParameters.clockMinMHz = minMHz;
                d.wcpParameters.clockMaxMHz = maxMHz;
                mark[9] = true;
            }
        }
    }
    int32_t sbp = integer("SingleBootPassword");
    if (sbp == 0 || sbp == 1) {
        d.singleBootPassword = sbp;
        mark[10] = true;
    }
    int32_t bootType = integer("BootType");
    if (knownBootType(bootType)) {
        const BootTypeRow& row = bootTypeRow(bootType);
        d.bootType = bootType;
        mark[11] = true;
        if (row.passwordType && d.busWidth != 2 && d.busWidth != 4) mark[0] = false;
        if (row.fixedClockMHz > 0.0)
            d.wcpParameters.clockMinMHz = d.wcpParameters.clockMaxMHz = row.fixedClockMHz;
        if (row.singleBootPasswordAlways) {
            d.singleBootPassword = 1;
            mark[10] = true;
        }
    }
    int32_t pageSize = integer("PageSize");
    if (pageSize >= 0) {
        d.pageSize = pageSize;
        mark[12] = true;
    }
    range("PasswordArea", d.passwordAreaStart, d.passwordAreaEnd, 13);
    range("SumArea", d.sumAreaStart, d.sumAreaEnd, 15);
    range("VectorArea", d.vectorAreaStart, d.vectorAreaEnd, 17);
    range("FlashSecondArea", d.flashSecondStart, d.flashSecondEnd, 19);
    seconds("EraseWaitTime", d.eraseWaitMs, 21);
    seconds("BootWaitTime", d.bootWaitMs, 22);
    seconds("AccessWaitTime", d.accessWaitMs, 23);
    if (auto v = text("ComDelayTime")) {
        if (auto n = parseNumber(*v)) {
            d.comDelayTime = *n;
            mark[24] = true;
        }
    }
    d.recTimeOutMs = bootTypeRow(d.bootType).replyTimeoutMs;
    int32_t rec = integer("RecTimeOut");
    if (rec >= 0) {
        d.recTimeOutMs = static_cast<uint32_t>(rec);
        mark[25] = true;
    }

    bool any = false, required = true;
    for (size_t i = 0; i < mark.size(); ++i) {
        any = any || mark[i];
        if (i < 21) required = required && mark[i];
    }
    if (!any) {
        op_.showMessage(10101, 0, kHintLatestDefinition, section);
        return false;
    }
    if (!required) {
        op_.showMessage(10102, 0, kHintLatestDefinition, section);
        return false;
    }
    records_.push_back(std::move(d));
    return true;
}

int32_t DeviceDatabase::select(const std::string& deviceName) {
    selected_ = -1;
    for (size_t i = 0; i < records_.size(); ++i) {
        if (records_[i].deviceName == deviceName) {
            selected_ = static_cast<int32_t>(i);
            break;
        }
    }
    session_.ComDelayFlags = selected_ >= 0 ? records_[selected_].comDelayTime : 0u;
    return selected_;
}

void DeviceDatabase::deselect() {
    selected_ = -1;
}

int32_t DeviceDatabase::selectedDeviceName(std::string& out) const {
    if (selected_ >= 0) out = records_[selected_].deviceName;
    return selected_;
}

const DeviceDefinition* DeviceDatabase::selected() const {
    return selected_ >= 0 ? &records_[selected_] : nullptr;
}

const DeviceDefinition* DeviceDatabase::find(const std::string& deviceName) const {
    for (const auto& r : records_)
        if (r.deviceName == deviceName) return &r;
    return nullptr;
}

void DeviceDatabase::applyProgrammingMode() {
    const DeviceDefinition* d = selected();
    if (!d) return;
    int32_t mode;
    if (d->useWcp == 1)
        mode = d->totalWcp == 1 ? kModeWcpAll : kModeWcpDiv;
    else
        mode = d->singleBootPassword == 1 ? kModeSBootPw : kModeSBoot;
    int32_t previous = session_.ProgrammingMode;
    bool singleBoot = mode == kModeSBootPw || mode == kModeSBoot;
    bool wasSingleBoot = previous == kModeSBootPw || previous == kModeSBoot;
    if (singleBoot && !wasSingleBoot) session_.SingleBootFlagsReset = 1;
    session_.ProgrammingMode = mode;
}

#define RANGE_ACCESSOR(name, a, b)                                    \
    bool DeviceDatabase::name(uint32_t& start, uint32_t& end) const { \
        const DeviceDefinition* d = selected();                       \
        if (!d) return false;                                         \
        start = d->a;                                                 \
        end = d->b;                                                   \
        return true;                                                  \
    }
RANGE_ACCESSOR(singleChipFlash, singleChipFlashStart, singleChipFlashEnd)
RANGE_ACCESSOR(singleBootRam, singleBootRamStart, singleBootRamEnd)
RANGE_ACCESSOR(singleBootFlash, singleBootFlashStart, singleBootFlashEnd)
RANGE_ACCESSOR(passwordArea, passwordAreaStart, passwordAreaEnd)
RANGE_ACCESSOR(sumArea, sumAreaStart, sumAreaEnd)
RANGE_ACCESSOR(vectorArea, vectorAreaStart, vectorAreaEnd)
RANGE_ACCESSOR(secondFlashArea, flashSecondStart, flashSecondEnd)
#undef RANGE_ACCESSOR

int32_t DeviceDatabase::receiveBufferSize() const {
    return selected() ? selected()->receiveBufferSize : -1;
}
int32_t DeviceDatabase::useWcp() const {
    return selected() ? selected()->useWcp : -1;
}
int32_t DeviceDatabase::singleBootPassword() const {
    return selected() ? selected()->singleBootPassword : -1;
}
int32_t DeviceDatabase::bootType() const {
    return selected() ? selected()->bootType : -1;
}
int32_t DeviceDatabase::pageSize() const {
    return selected() ? selected()->pageSize : -1;
}
int32_t DeviceDatabase::optionA() const {
    return selected() ? selected()->wcpParameters.optionA : -1;
}
uint32_t DeviceDatabase::eraseWaitMs() const {
    return selected() ? selected()->eraseWaitMs : 30000;
}
uint32_t DeviceDatabase::bootWaitMs() const {
    return selected() ? selected()->bootWaitMs : 30000;
}
uint32_t DeviceDatabase::accessWaitMs() const {
    return selected() ? selected()->accessWaitMs : 30000;
}

bool DeviceDatabase::flashOffset(uint32_t& value) const {
    const DeviceDefinition* d = selected();
    if (!d) return false;
    value = d->singleChipFlashStart - d->singleBootFlashStart;
    return true;
}

std::string DeviceDatabase::seriesOf(const std::string& deviceName) const {
    const DeviceDefinition* d = find(deviceName);
    return d ? d->seriesName : std::string();
}

bool DeviceDatabase::wcpParametersOf(WcpParameters& out) const {
    if (!selected()) return false;
    out = selected()->wcpParameters;
    return true;
}

bool DeviceDatabase::fixedRateOf(DataRate& out) const {
    if (!selected()) return false;
    out = selected()->wcpParameters.fixedRate;
    return true;
}

bool clockEntryDevice(const DeviceDefinition* d) {
    return d && d->useWcp == 1 && PasswordBootTypes(d->bootType) && d->wcpParameters.optionA == 1;
}

int32_t DeviceDatabase::clockEntryAvailable() const {
    return clockEntryDevice(selected()) ? 1 : 0;
}

}  // namespace ostrand
