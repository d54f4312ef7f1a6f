#include "document/setup_rules.h"

#include <cstdio>
#include <cstdlib>

#include "app/boot_types.h"
#include "app/numbers.h"
#include "app/session.h"

namespace ostrand {

namespace {

constexpr int32_t kHintDeviceSpec = 12110;

std::string printed(const char* format, auto... values) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, values...);
    return buf;
}

const char* onOff(bool on) {
    return on ? "ON" : "OFF";
}

bool singleBoot(int32_t mode) {
    return mode == kModeSBootPw || mode == kModeSBoot;
}

}  // namespace

int setupFirstPage(int requested) {
    return requested >= 0 && requested < kSetupPageCount ? requested : kPageSetupFile;
}

std::optional<uint32_t> prefixedHex(const std::string& text) {
    if (text.size() < 3 || text.size() > 10 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X'))
        return std::nullopt;
    uint32_t value = 0;
    for (size_t i = 2; i < text.size(); ++i) {
        const int d = hexDigitValue(text[i]);
        if (d < 0) return std::nullopt;
        value = value << 4 | static_cast<uint32_t>(d);
    }
    return value;
}

bool addressSettingEnabled(bool ticked, int32_t bootType) {
    return ticked || SecondAreaBootTypes(bootType);
}

FieldVerdict addressSettingVerdict(const DeviceDefinition* applied,
                                   const DeviceDefinition* listed) {
    if (!applied || listed != applied) return {10512, 12150, kFieldDevice};
    return {};
}

FieldVerdict passwordButtonVerdict(const DeviceDefinition* applied) {
    if (!applied) return {10512, 12138, kFieldDevice};
    return {};
}

int emulationIndex(int32_t memSizeEmulat) {
    for (size_t i = 0; i < std::size(kEmulationEntries); ++i)
        if (kEmulationEntries[i].value == memSizeEmulat) return static_cast<int>(i);
    return 0;
}

FieldVerdict checkMemoryLimit(const std::string& text, uint32_t& limit) {
    const auto value = prefixedHex(text);
    if (!value) return {10500, 0, kFieldLimit};
    if (*value < 0x10000 || *value >= 0x17000) return {10520, kHintDeviceSpec, kFieldLimit};
    limit = *value;
    return {};
}

AddressRange romAreaRange(const DeviceDefinition& d, int area) {
    return area == 0 ? AddressRange{d.singleBootFlashStart, d.singleBootFlashEnd}
                     : AddressRange{d.flashSecondStart, d.flashSecondEnd};
}

bool hasSecondRomArea(const DeviceDefinition& d) {
    return !(d.flashSecondStart == 0 && d.flashSecondEnd == 0);
}

FieldVerdict checkAddressAreas(const AddressAreasText& text, const DeviceDefinition& device,
                               std::array<uint32_t, 4>& values) {
    const int areas = hasSecondRomArea(device) ? 2 : 1;
    std::array<uint32_t, 4> v{};
    uint64_t total = 0;
    for (int a = 0; a < areas; ++a) {
        const AddressRange range = romAreaRange(device, a);
        for (int end = 0; end < 2; ++end) {
            const int box = 2 * a + end;
            const std::string& t = text.boxes[box];
            if (t.empty()) return {end ? 10507 : 10506, 0, box};
            const auto value = prefixedHex(t);
            if (!value) return {end ? 10503 : 10501, 0, box};
            if (*value < range.start || *value > range.end)
                return {end ? 10504 : 10502, kHintDeviceSpec, box};
            v[box] = *value;
        }
        if (v[2 * a] > v[2 * a + 1]) return {10505, 12132, 2 * a};
        total += uint64_t{v[2 * a + 1]} - v[2 * a] + 1;
    }
    if (total % 1024 != 0) return {10523, kHintDeviceSpec, 0};
    values = v;
    return {};
}

bool clockChoiceDevice(const DeviceDefinition* d) {
    return d && d->deviceName == kClockChoiceDevice;
}

int rateIndexOfClock(int32_t clock) {
    return clock == 8 ? 3 : clock == 4 ? 2 : 5;
}

int initialRateIndex(const DeviceDefinition* d, const SetupValues& v) {
    if (clockChoiceDevice(d)) return rateIndexOfClock(v.clock);
    return v.dataRate.supported() ? v.dataRate.index() : kRate9600.index();
}

CommunicationLayout communicationLayout(const DeviceDefinition* d, bool autoChosen) {
    CommunicationLayout l;
    if (clockChoiceDevice(d)) {
        l.clockFrame = true;
        l.rateListEnabled = false;
        return l;
    }
    if (!clockEntryDevice(d)) return l;
    l.clockEntry = true;
    const double fixed = bootTypeRow(d->bootType).fixedClockMHz;
    if (fixed > 0.0) {
        l.manualEnabled = false;
        l.forceAuto = true;
        l.clockRowEnabled = true;
        l.rateListEnabled = false;
        l.fixedClock = fixed;
        l.help = 12208;
    } else if (autoChosen) {
        l.clockRowEnabled = true;
        l.clockBoxEnabled = true;
        l.rateListEnabled = false;
        l.help = 12207;
    }
    return l;
}

FieldVerdict readSetupPages(const SetupPagesState& p, SetupValues& v) {
    if (!p.device) return {10512, 0, kFieldDevice};
    v.device = p.device->deviceName;
    v.openFile = p.objectFile;
    v.comPort = p.comPort;
    v.clockFlag = p.autoRate ? 1 : 0;
    const std::optional<DataRate> entryRate = clockEntryRate(p.device, v);
    if (entryRate)
        v.dataRate = *entryRate;
    else if (p.rateIndex >= 0 && p.rateIndex < DataRate::kCount)
        v.dataRate = DataRate::at(p.rateIndex);
    v.clock = p.clock == 8 || p.clock == 4 ? p.clock : 16;
    v.addressOption = p.addressOption ? 1 : 0;
    if (entryRate) {
        char* end = nullptr;
        const double mhz = std::strtod(p.clockText.c_str(), &end);
        v.clockValue = end && end != p.clockText.c_str() ? mhz : 0.0;
    }
    applyFixedClock(p.device->bootType, v);
    if (bootTypeRow(p.device->bootType).memorySizes) {
        v.memSizeEmulat = p.emulation;
        if (limitEnabled(p.emulation)) {
            const FieldVerdict limit = checkMemoryLimit(p.limitText, v.memAddressLimit);
            if (!limit.passed()) return limit;
        }
    }
    return {};
}

OptionBoxes optionBoxes(int32_t bootType, int32_t protectState) {
    return {ProtectTypes(bootType, 1) && protectState != 1, BootTypesB(bootType)};
}

std::array<InfoLine, kSetupInfoLines> setupInformation(const DeviceDefinition* d,
                                                       const SetupValues& v, int32_t mode) {
    const int32_t bt = d ? d->bootType : 0;
    const bool sb = singleBoot(mode);
    const bool autoLinesOff = (bt == 7 && sb) || (bt == 11 && !sb);
    const bool entryAuto = clockEntryDevice(d) && v.clockFlag == 1;
    const bool programming = v.programming == 1;
    std::array<InfoLine, kSetupInfoLines> l;
    l[kInfoDevice] = {"Device", v.device};
    l[kInfoComPort] = {"COM Port", v.comPort};
    l[kInfoDataRate] = {"Data Rate",
                        (bootTypeRow(bt).fixedClockMHz > 0.0 ? kRate115200 : v.dataRate).text()};
    l[kInfoFileName] = {"File Name", v.openFile};
    l[kInfoAllErase] = {"All Erase:",
                        onOff(v.allErase == 1 || (programming && EraseFirstTypes(bt)))};
    l[kInfoBlankCheck] = {"Blank Check:", onOff(v.blankCheck == 1)};
    l[kInfoProgramming] = {"Programming:", onOff(programming)};
    l[kInfoVerify] = {"Verify with SUM:", onOff(v.verify == 1)};
    l[kInfoFileCompare] = {"File Compare:", onOff(v.fileCompare == 1)};
    l[kInfoAutoProtect] = {"Protect:", onOff(bootTypeRow(bt).ownReadProtect && v.readProtect == 1)};
    for (int i = kInfoAllErase; i <= kInfoAutoProtect; ++i) l[i].greyed = autoLinesOff;
    if (sb && bt != 11) l[kInfoBlankCheck].greyed = l[kInfoFileCompare].greyed = true;
    if (!(bt == 11 && sb)) l[kInfoAutoProtect].greyed = true;

    const bool optionLines = BootTypesB(bt) || ProtectTypes(bt);
    l[kInfoOptionProtect] = {"Protect:", onOff(v.readProtectFor(bt) == 1), !optionLines};
    l[kInfoEraseWithoutPassword] = {"Erase Without Password:", onOff(v.eraseWithoutPassword == 1),
                                    !optionLines};
    l[kInfoClock] = {
        "Clock:",
        entryAuto ? printed("%0.6fMHz", v.clockValue) : printed("%dMHz", static_cast<int>(v.clock)),
        !(clockChoiceDevice(d) || entryAuto)};
    const bool memory = bt == 11 && sb;
    const bool emulated = memory && v.memSizeEmulat == 96;
    l[kInfoPhysical] = {"Physical:", printed("%dK", static_cast<int>(v.memSizePhysic)), !memory};
    l[kInfoEmulation] = {"Emulation:", printed("%dK", static_cast<int>(v.memSizeEmulat)),
                         !emulated};
    l[kInfoLimit] = {"Limit Address:", printed("0x%05X", static_cast<unsigned>(v.memAddressLimit)),
                     !emulated};
    return l;
}

std::array<InfoLine, 5> setupInformation2(const DeviceDefinition* d, const SetupValues& v) {
    const bool on = v.addressOption == 1;
    const bool second = d && hasSecondRomArea(*d);
    const bool dataApplies = on || (d && SecondAreaBootTypes(d->bootType));
    auto area = [](uint32_t s, uint32_t e) {
        return printed("0x%06lX - 0x%06lX", static_cast<unsigned long>(s & 0xFFFFFFu),
                       static_cast<unsigned long>(e & 0xFFFFFFu));
    };
    const int data = v.dataForNoAddressArea < 0 ? 0xFF : v.dataForNoAddressArea & 0xFF;
    std::array<InfoLine, 5> l;
    l[kInfo2Setting] = {"Setting: ", onOff(on)};
    l[kInfo2Area1] = {"ROM Area 1: ", area(v.romArea1Start, v.romArea1End), !on};
    l[kInfo2Area2] = {"ROM Area 2: ", area(v.romArea2Start, v.romArea2End), !on || !second};
    l[kInfo2Data] = {"Data for No Address Area: ", printed("0x%02X", data), !dataApplies};
    l[kInfo2Sum] = {"Add data of No ROM area to Sum: ", v.addNoRomAreaToSum == 1 ? "Yes" : "No",
                    !second || !dataApplies};
    return l;
}

}  // namespace ostrand
