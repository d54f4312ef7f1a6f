#include "document/manual_rules.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "app/boot_types.h"
#include "document/document.h"

namespace ostrand {

namespace {

bool hexDigits(std::string_view t) {
    return !t.empty() && std::all_of(t.begin(), t.end(), [](char c) {
        return std::isxdigit(static_cast<unsigned char>(c)) != 0;
    });
}

uint32_t hexValue(std::string_view t) {
    uint64_t v = 0;
    for (char c : t) {
        const int d = std::isdigit(static_cast<unsigned char>(c))
                          ? c - '0'
                          : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
        v = std::min<uint64_t>(v * 16 + static_cast<uint64_t>(d), 0x1FFFFFFFFull);
    }
    return v > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(v);
}

std::string_view trimmed(std::string_view t) {
    while (!t.empty() && std::isspace(static_cast<unsigned char>(t.front()))) t.remove_prefix(1);
    while (!t.empty() && std::isspace(static_cast<unsigned char>(t.back()))) t.remove_suffix(1);
    return t;
}

}  // namespace

bool parseHexAddress(std::string_view text, uint32_t& value) {
    if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return false;
    const std::string_view digits = text.substr(2);
    // More than eight digits would not be an address of this chip.
    if (!hexDigits(digits) || digits.size() > 8) return false;
    value = hexValue(digits);
    return true;
}

std::vector<AddressRange> flashAreasOf(const DeviceDatabase& devices) {
    std::vector<AddressRange> areas;
    uint32_t s = 0, e = 0;
    if (!devices.selected() || !devices.singleBootFlash(s, e)) return areas;
    areas.push_back({s, e});
    if (SecondAreaBootTypes(devices.bootType()) && devices.secondFlashArea(s, e) && e > s)
        areas.push_back({s, e});
    return areas;
}

const AddressRange* areaHolding(const std::vector<AddressRange>& areas, uint32_t address) {
    for (const AddressRange& a : areas)
        if (a.contains(address)) return &a;
    return nullptr;
}

Refusal checkAddress(std::string_view text, const DeviceDatabase& devices, const AddressMessages& m,
                     uint32_t& address) {
    text = trimmed(text);
    if (text.empty()) return {m.empty, 0, {}};
    if (!devices.selected()) return {10115, 12135, {}};
    if (!parseHexAddress(text, address)) return {m.format, 0, {}};
    if (!areaHolding(flashAreasOf(devices), address)) return {m.range, m.rangeHint, {}};
    return {};
}

Refusal checkAddressRange(std::string_view start, std::string_view end,
                          const DeviceDatabase& devices, uint32_t& first, uint32_t& last) {
    if (!devices.selected()) return {10115, 12135, {}};
    if (Refusal r = checkAddress(start, devices, kStartAddress, first)) return r;
    if (Refusal r = checkAddress(end, devices, kEndAddress, last)) return r;
    if (first > last) return {10505, 12132, {}};
    return {};
}

uint32_t blockSizeOf(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const uint64_t number = std::strtoull(upper.c_str(), nullptr, 10);
    const size_t kb = upper.find("KB");
    return static_cast<uint32_t>(kb != std::string::npos && kb >= 1 ? number * 1024 : number);
}

Refusal checkBlockErase(std::string_view start, std::string_view size,
                        const DeviceDatabase& devices, uint32_t& address, uint32_t& bytes) {
    if (!devices.selected()) return {10115, 12135, {}};
    if (Refusal r = checkAddress(start, devices, kBlockAddress, address)) return r;
    bytes = blockSizeOf(size);
    if (devices.bootType() == 11 && bytes != 4096) return {10315, 12110, "Boot Program"};
    return {};
}

Refusal parseDataBytes(std::string_view text, uint32_t first, uint32_t last,
                       std::vector<uint8_t>& bytes) {
    bytes.clear();
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (!std::isxdigit(u) && c != ',' && !std::isspace(u)) {
            char shown[8];
            std::snprintf(shown, sizeof shown, " '%c'", c);
            return {10510, 12136, shown};
        }
    }
    // Items between separators; a comma ends an item, so two commas with
    // only blanks between them leave one out.
    std::string item;
    bool afterComma = false;
    auto take = [&]() -> Refusal {
        if (item.empty()) return {};
        if (item.find_first_not_of('0') != std::string::npos &&
            item.size() - item.find_first_not_of('0') > 2) {
            return {10509, 12133, " <" + item + ">"};
        }
        bytes.push_back(static_cast<uint8_t>(hexValue(item)));
        item.clear();
        afterComma = false;
        return {};
    };
    for (char c : text) {
        if (std::isxdigit(static_cast<unsigned char>(c))) {
            item += c;
            continue;
        }
        const bool hadItem = !item.empty();
        if (Refusal r = take()) return r;
        if (c == ',') {
            if (!hadItem && (afterComma || bytes.empty())) return {10508, 0, {}};
            afterComma = true;
        }
    }
    if (Refusal r = take()) return r;
    if (bytes.empty() || afterComma) return {10508, 0, {}};
    const uint64_t wanted = uint64_t{last} - first + 1;
    if (bytes.size() < wanted) return {10518, 0, {}};
    if (bytes.size() > wanted) return {10519, 0, {}};
    return {};
}

std::string dataText(const std::vector<uint8_t>& bytes) {
    std::string text;
    text.reserve(bytes.size() * 3);
    char b[4];
    for (uint8_t v : bytes) {
        std::snprintf(b, sizeof b, "%02x ", v);
        text += b;
    }
    return text;
}

bool chipEraseNeedsPassword(int32_t mode) {
    return mode != kModeSBoot;
}

bool verifyNeedsPassword(int32_t mode, int32_t bootType) {
    if (mode == kModeSBoot) return false;
    constexpr int32_t kOwnVerify[] = {2, 5, 6, 7, 8, 9, 10, 11};
    return !(mode == kModeSBootPw && std::find(std::begin(kOwnVerify), std::end(kOwnVerify),
                                               bootType) != std::end(kOwnVerify));
}

// ---------------------------------------------------------------- operations

int32_t ManualOperations::chipErase() {
    // The dialog has asked: the erase runs as inside auto programming.
    Session& s = core_.session;
    const int32_t phase = s.AutoRunPhase;
    s.AutoRunPhase = 2;
    const int32_t r = core_.chipErase(Preamble::Done).status;
    s.AutoRunPhase = phase;
    return r == 1 ? kManualDone : kManualFailed;
}

int32_t ManualOperations::blockErase(uint32_t start, uint32_t size,
                                     const std::function<void(bool)>& running) {
    if (!core_.op.ask(12002)) return kManualNotRun;
    if (running) running(true);
    const int32_t ok = core_.blockErase(start, size, Preamble::Done).status;
    if (running) running(false);
    return ok == 1 ? kManualDone : kManualFailed;
}

int32_t ManualOperations::readRange(uint32_t start, uint32_t count, std::vector<uint8_t>& bytes) {
    bytes.assign(count, 0);
    if (core_.readMemory(start, bytes.data(), count, Preamble::Done).status != 1) {
        bytes.clear();
        return kManualFailed;
    }
    return kManualDone;
}

int32_t ManualOperations::writeBytes(uint32_t start, const std::vector<uint8_t>& bytes) {
    return core_.writeMemory(start, bytes.data(), static_cast<uint32_t>(bytes.size()),
                             Preamble::Done)
                       .status == 1
               ? kManualDone
               : kManualFailed;
}

int32_t ManualOperations::writeDumpValue(uint32_t address, const std::vector<uint8_t>& bytes) {
    const auto areas = flashAreasOf(core_.devices);
    const AddressRange* area = areaHolding(areas, address);
    if (bytes.empty() || !area || uint64_t{address} + bytes.size() - 1 > area->end) {
        core_.op.showMessage(10520, 0, 12110);
        return kManualFailed;
    }
    return writeBytes(address, bytes);
}

int32_t ManualOperations::verify(uint16_t& fileSum, uint16_t& deviceSum, bool& read) {
    fileSum = core_.image.fileSum();
    const int32_t r = core_.verify(deviceSum, Preamble::Done).status;
    read = r != -1;
    return r == 0 ? kManualDone : kManualFailed;
}

ManualOperations::CompareReport ManualOperations::compare(const CompareView& view, bool fromStart) {
    if (fromStart) differenceSeen_ = false;
    CompareReport report;
    report.status =
        core_.compareStep(view, fromStart, report.address, report.fileByte, report.flashByte)
            .status;
    const bool aborted = view.aborted && view.aborted();
    if (report.status == 1) {
        report.line = 11014;
        differenceSeen_ = true;
        compareResult_ = 1;
    } else if (report.status == 0 && !aborted) {
        report.line = differenceSeen_ ? 11023 : 11015;
        compareResult_ = differenceSeen_ ? 1 : 0;
    } else if (report.status == -1) {
        compareResult_ = kManualNotRun;
    }
    return report;
}

// ---------------------------------------------------------------- dump

void DumpReader::setRange(uint32_t first, uint32_t last, uint32_t rows) {
    first_ = first;
    last_ = last;
    rows_ = std::max(rows, 1u);
    discard();
}

bool DumpReader::page(uint32_t top, std::vector<std::array<uint8_t, kDumpRowBytes>>& out) {
    out.clear();
    for (uint32_t i = 0; i < rows_; ++i) {
        const uint64_t row = uint64_t{top} + uint64_t{i} * kDumpRowBytes;
        if (row > last_) break;
        const auto at = static_cast<uint32_t>(row);
        if (!window_.holds(at)) {
            const DumpWindow w = dumpReadWindow(at, first_, last_, rows_, window_);
            data_.assign(w.length, 0xFF);
            ++reads_;
            if (!core_.dumpRead(w.start, data_.data(), w.length)) {
                window_ = {};
                core_.op.showMessage(11007);
                return false;
            }
            window_ = w;
        }
        std::array<uint8_t, kDumpRowBytes> bytes;
        bytes.fill(0xFF);
        const uint32_t offset = at - window_.start;
        std::copy_n(data_.begin() + offset, std::min<size_t>(kDumpRowBytes, data_.size() - offset),
                    bytes.begin());
        out.push_back(bytes);
    }
    return true;
}

}  // namespace ostrand
