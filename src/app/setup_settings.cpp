#include "setup_settings.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

#include "device_database.h"
#include "numbers.h"
#include "operator.h"
#include "profile.h"
#include "session.h"

namespace ostrand {

namespace fs = std::filesystem;

std::optional<DataRate> clockEntryRate(const DeviceDefinition* device, const SetupValues& v) {
    if (v.clockFlag != 1 || !clockEntryDevice(device)) return std::nullopt;
    return device->wcpParameters.fixedRate;
}

const char* const kSetupKeyNames[kSetupKeyCount] = {
    "Device",       "OpenFile",      "COMPort",         "DataRate",          "AllErase",
    "BlankCheck",   "Programming",   "Verify",          "FileCompare",       "Clock",
    "ReadProtect",  "AddressOption", "AddressMode",     "AddNoROMAreaToSum", "DataForNoAddressArea",
    "PassDevBlank", "PassDevType",   "PassDevPassword", "PassDevNumAdd",     "PassDevCmpAdd",
    "PassObjBlank", "PassObjNumAdd", "PassObjCmpAdd",   "PassLogSave",       "EraseWithoutPassword",
    "ClockFlag",    "ClockValue",    "MemSizePhysic",   "MemSizeEmulat",     "MemAddressLimit",
    "ROMArea1",     "ROMArea2"};

namespace {

constexpr const char* kSection = "Ostrand";
constexpr size_t kTextBuffer = 1024;
constexpr int32_t kHintNewSettings = 12120;

std::string trimmed(std::string_view s) {
    return std::string(trimBlanks(s));
}

// A ROM area: two "0x" numbers joined by "-", start <= end.
std::optional<AddressRange> parseRomArea(const std::string& text) {
    size_t dash = text.find('-');
    if (dash == std::string::npos) return std::nullopt;
    std::string a = trimmed(std::string_view(text).substr(0, dash));
    std::string b = trimmed(std::string_view(text).substr(dash + 1));
    auto hexPrefixed = [](const std::string& s) {
        return s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    };
    if (!hexPrefixed(a) || !hexPrefixed(b)) return std::nullopt;
    auto start = parseNumber(a), end = parseNumber(b);
    if (!start || !end || *start > *end) return std::nullopt;
    return AddressRange{*start, *end};
}

// Strict decimal number for ClockValue: digits with at most one point.
std::optional<double> parseDecimal(const std::string& text) {
    std::string s = trimmed(text);
    if (s.empty()) return std::nullopt;
    bool digit = false, point = false;
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c >= '0' && c <= '9')
            digit = true;
        else if (c == '.' && !point)
            point = true;
        else if (!(c == '-' && i == 0))
            return std::nullopt;
    }
    if (!digit) return std::nullopt;
    return std::strtod(s.c_str(), nullptr);
}

bool isCharacterDevice(const std::string& path) {
    struct stat st {};
    return !path.empty() && path[0] == '/' && ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

std::string hexAddress(uint32_t value) {
    if (value == 0) return {};
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%06lX", static_cast<unsigned long>(value & 0xFFFFFFu));
    return buf;
}

}  // namespace

std::string cutAutoResultsOption(std::string p, int32_t& showAutoResults) {
    size_t comma = p.rfind(',');
    if (comma != std::string::npos) {
        std::string option = trimmed(std::string_view(p).substr(comma + 1));
        int32_t show = -1;
        if (equalsNoCase(option, "MSG_OFF")) show = 0;
        if (equalsNoCase(option, "MSG_ON")) show = 1;
        if (show >= 0) {
            showAutoResults = show;
            p.resize(comma);
            while (!p.empty() && (p.back() == ' ' || p.back() == '\t')) p.pop_back();
        }
    }
    if (p.size() >= 2 && p.front() == '"' && p.back() == '"') p = p.substr(1, p.size() - 2);
    return p;
}

SetupSettings::SetupSettings(Session& session, Operator& op, DeviceDatabase& devices)
    : session_(session), op_(op), devices_(devices) {}

void SetupSettings::initialise(const fs::path& folder) {
    firstLoad = true;
    resetToDefaults();
    std::error_code ec;
    startFolder = fs::current_path(ec);
    programFolder = folder;
}

void SetupSettings::resetToDefaults() {
    fileValues = SetupValues{};
    inForce = SetupValues{};
    presence.fill(0);
}

int32_t SetupSettings::loadSetupFile(const fs::path& path) {
    OpenFailure why = OpenFailure::None;
    auto file = ProfileFile::load(path, &why);
    if (!file) {
        // Only a missing file may pass in silence; one that is there but
        // cannot be read (a folder, a pipe) is always reported.
        if ((!firstLoad && session_.MultiInstance != 1) || why != OpenFailure::Missing)
            op_.showMessage(10109, 0, 12124, path.string());
        firstLoad = false;
        return -1;
    }
    std::error_code ec;
    setupPath = fs::absolute(path, ec);
    if (ec) setupPath = path;
    firstLoad = false;

    resetToDefaults();
    SetupValues& v = fileValues;
    std::array<bool, kSetupKeyCount> inFile{};
    auto raw = [&](int key) -> std::optional<std::string> {
        auto value = file->value(kSection, kSetupKeyNames[key]);
        if (value) {
            inFile[key] = true;
            if (value->size() > kTextBuffer - 1) value->resize(kTextBuffer - 1);
        }
        return value;
    };
    auto integer = [&](int key, int32_t def) -> int32_t {
        auto value = raw(key);
        return value ? parseLeadingInt(*value) : def;
    };
    auto mark = [&](int key, bool ok) { presence[key] = ok ? 1 : 0; };

    // 0 Device
    if (auto s = raw(kKeyDevice)) v.device = *s;
    mark(kKeyDevice, !v.device.empty());
    if (!v.device.empty()) devices_.select(v.device);
    const DeviceDefinition* dev = devices_.selected();
    int32_t bootType = dev ? dev->bootType : -1;

    // 1 OpenFile: the command line's object path wins; ",MSG_ON"/",MSG_OFF" is cut off.
    auto openFile = raw(kKeyOpenFile);
    if (!commandLinePath.empty()) openFile = commandLinePath;
    if (openFile) {
        int32_t show = session_.ShowAutoResults;
        v.openFile = cutAutoResultsOption(*openFile, show);
        session_.ShowAutoResults = show;
    }
    mark(kKeyOpenFile, openFile.has_value());

    // 2 COMPort: a listed port, or any path that is a terminal device.
    if (auto s = raw(kKeyCOMPort)) v.comPort = *s;
    bool listed = false;
    for (const auto& p : ports) listed = listed || p == v.comPort;
    mark(kKeyCOMPort, !v.comPort.empty() && (listed || isCharacterDevice(v.comPort)));

    // 3 DataRate
    if (auto s = raw(kKeyDataRate)) v.dataRate = DataRate::parse(*s);
    mark(kKeyDataRate, v.dataRate.supported());

    // 4-8 the automatic programming steps: must be in the file, 0 or 1.
    int32_t* steps[] = {&v.allErase, &v.blankCheck, &v.programming, &v.verify, &v.fileCompare};
    for (int k = kKeyAllErase; k <= kKeyFileCompare; ++k) {
        int32_t x = integer(k, -1);
        bool ok = x == 0 || x == 1;
        if (ok) *steps[k - kKeyAllErase] = x;
        mark(k, ok);
    }

    // 9 Clock
    int32_t clock = integer(kKeyClock, 16);
    bool clockOk = clock == 16 || clock == 8 || clock == 4;
    if (clockOk) v.clock = clock;
    mark(kKeyClock, clockOk);

    // 10 ReadProtect: a boot type with its own setting keeps it apart.
    int32_t rp = integer(kKeyReadProtect, 0);
    bool rpOk = rp == 0 || rp == 1;
    if (rpOk) (bootTypeRow(bootType).ownReadProtect ? v.readProtect : v.readProtectOther) = rp;
    mark(kKeyReadProtect, rpOk);

    // 11-13 flags whose absence is valid
    auto flag01 = [&](int key, int32_t& field, int32_t def) {
        int32_t x = integer(key, def);
        bool ok = x == 0 || x == 1;
        if (ok) field = x;
        mark(key, ok);
    };
    flag01(kKeyAddressOption, v.addressOption, 0);
    flag01(kKeyAddressMode, v.addressMode, 1);
    flag01(kKeyAddNoROMAreaToSum, v.addNoRomAreaToSum, 0);

    // 14 DataForNoAddressArea: low byte 0x00 or 0xFF; empty means none.
    {
        std::string s = trimmed(raw(kKeyDataForNoAddressArea).value_or(""));
        if (s.empty()) {
            mark(kKeyDataForNoAddressArea, true);
        } else if (auto n = parseNumber(s); n && ((*n & 0xFFu) == 0x00 || (*n & 0xFFu) == 0xFF)) {
            v.dataForNoAddressArea = static_cast<int32_t>(*n & 0xFFu);
            mark(kKeyDataForNoAddressArea, true);
        } else {
            mark(kKeyDataForNoAddressArea, false);
        }
    }

    // 15-26: present whatever they hold; their value rules still apply.
    auto number = [&](int key) -> uint32_t {
        auto s = raw(key);
        if (!s) return 0;
        return parseNumber(*s).value_or(0);
    };
    int32_t pdb = integer(kKeyPassDevBlank, 0);
    v.passDevBlank = (pdb >= 0 && pdb <= 3) ? pdb : 0;
    v.passDevType = integer(kKeyPassDevType, 0);
    v.passDevPassword = raw(kKeyPassDevPassword).value_or("");
    v.passDevNumAdd = number(kKeyPassDevNumAdd);
    v.passDevCmpAdd = number(kKeyPassDevCmpAdd);
    int32_t pob = integer(kKeyPassObjBlank, 0);
    v.passObjBlank = (pob == 0 || pob == 2) ? pob : 0;
    v.passObjNumAdd = number(kKeyPassObjNumAdd);
    v.passObjCmpAdd = number(kKeyPassObjCmpAdd);
    v.passLogSave = integer(kKeyPassLogSave, 0) == 1 ? 1 : 0;
    v.eraseWithoutPassword = integer(kKeyEraseWithoutPassword, 0);
    v.clockFlag = integer(kKeyClockFlag, 0);
    if (auto s = raw(kKeyClockValue)) v.clockValue = parseDecimal(*s).value_or(0.0);
    applyFixedClock(bootType, v);
    for (int k = kKeyPassDevBlank; k <= kKeyClockValue; ++k) mark(k, true);

    // 27-29: memory settings, read only where they apply.
    if (bootTypeRow(bootType).memorySizes) {
        int32_t phys = integer(kKeyMemSizePhysic, 124);
        bool physOk = phys == 60 || phys == 96 || phys == 124;
        if (physOk) v.memSizePhysic = phys;
        mark(kKeyMemSizePhysic, physOk);
        int32_t emul = integer(kKeyMemSizeEmulat, 124);
        bool emulOk = (emul == 60 || emul == 96 || emul == 124) && emul <= v.memSizePhysic;
        if (emulOk) v.memSizeEmulat = emul;
        mark(kKeyMemSizeEmulat, emulOk);
        auto s = raw(kKeyMemAddressLimit);
        auto limit = s ? parseNumber(*s) : std::optional<uint32_t>(0x10000u);
        bool limitOk = limit && *limit >= 0x10000u && *limit <= 0x16FFFu;
        if (limitOk) v.memAddressLimit = *limit;
        mark(kKeyMemAddressLimit, limitOk);
    } else {
        for (int k = kKeyMemSizePhysic; k <= kKeyMemAddressLimit; ++k) mark(k, true);
    }

    // 30-31 ROM areas; empty (or absent) means the whole flash area.
    auto romArea = [&](int key, uint32_t& start, uint32_t& end) {
        std::string s = trimmed(raw(key).value_or(""));
        if (s.empty()) {
            presence[key] = 2;
        } else if (auto r = parseRomArea(s)) {
            start = r->start;
            end = r->end;
            presence[key] = 1;
        } else {
            presence[key] = 0;
        }
    };
    romArea(kKeyROMArea1, v.romArea1Start, v.romArea1End);
    romArea(kKeyROMArea2, v.romArea2Start, v.romArea2End);
    v.runRecord = trimmed(file->value(kSection, "RunRecord").value_or(""));

    if (auto rate = clockEntryRate(devices_.selected(), v)) {
        v.dataRate = *rate;
        mark(kKeyDataRate, true);
    }

    bool onlyOpenFile = true;
    for (int k = 0; k < kSetupKeyCount; ++k)
        if (k != kKeyOpenFile && inFile[k]) onlyOpenFile = false;
    int32_t result;
    if (onlyOpenFile) {
        op_.showMessage(10110, 0, kHintNewSettings);
        result = 1;
    } else {
        result = validate();
    }
    if (result == 1) {
        devices_.deselect();
        return -1;
    }
    apply();
    return result == 0 ? 0 : -1;
}

int32_t SetupSettings::validate() {
    for (int k = 0; k < kSetupKeyCount; ++k) {
        if (presence[k] == 0) {
            op_.showMessage(10111, 0, kHintNewSettings, kSetupKeyNames[k]);
            return 2;
        }
    }
    const DeviceDefinition* dev = devices_.selected();
    if (!dev) {
        op_.showMessage(10114, 0, 12105, fileValues.device);
        return 2;
    }
    SetupValues& v = fileValues;
    // Device ranges in the addressing the areas are given in.
    uint32_t offset =
        v.addressMode == 0 ? dev->singleChipFlashStart - dev->singleBootFlashStart : 0;
    auto moved = [&](uint32_t start, uint32_t end) {
        if (start == 0 && end == 0) return AddressRange{0, 0};
        return AddressRange{start + offset, end + offset};
    };
    AddressRange area1 = moved(dev->singleBootFlashStart, dev->singleBootFlashEnd);
    AddressRange area2 = moved(dev->flashSecondStart, dev->flashSecondEnd);
    if (presence[kKeyROMArea1] == 2) {
        v.romArea1Start = area1.start;
        v.romArea1End = area1.end;
    }
    if (presence[kKeyROMArea2] == 2) {
        v.romArea2Start = area2.start;
        v.romArea2End = area2.end;
    }
    auto inside = [](uint32_t s, uint32_t e, const AddressRange& r) {
        return s >= r.start && s <= r.end && e >= r.start && e <= r.end;
    };
    if (!inside(v.romArea1Start, v.romArea1End, area1)) {
        op_.showMessage(10111, 0, kHintNewSettings, "ROMArea1");
        return 2;
    }
    if (!inside(v.romArea2Start, v.romArea2End, area2)) {
        op_.showMessage(10111, 0, kHintNewSettings, "ROMArea2");
        return 2;
    }
    uint64_t total = 0;
    if (!(v.romArea1Start == 0 && v.romArea1End == 0))
        total += uint64_t{v.romArea1End} - v.romArea1Start + 1;
    if (!(v.romArea2Start == 0 && v.romArea2End == 0))
        total += uint64_t{v.romArea2End} - v.romArea2Start + 1;
    if (total % 1024 != 0) {
        op_.showMessage(10111, 0, kHintNewSettings, "ROMArea1");
        return 2;
    }
    return 0;
}

void SetupSettings::apply() {
    inForce = fileValues;
    if (!inForce.device.empty()) devices_.select(inForce.device);
    const DeviceDefinition* dev = devices_.selected();
    if (dev && inForce.addressMode == 0) {
        uint32_t offset = dev->singleChipFlashStart - dev->singleBootFlashStart;
        auto back = [&](uint32_t& s, uint32_t& e) {
            if (s == 0 && e == 0) return;
            s -= offset;
            e -= offset;
        };
        back(inForce.romArea1Start, inForce.romArea1End);
        back(inForce.romArea2Start, inForce.romArea2End);
        inForce.addressMode = 1;
    }
}

int32_t SetupSettings::findFreeSetupFile(fs::path& out) {
    for (int n = 0; n < 100; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "Ostrand%02d.ini", n);
        fs::path candidate = programFolder / name;
        std::error_code ec;
        if (!fs::exists(candidate, ec)) {
            out = candidate;
            return 1;
        }
    }
    op_.showMessage(10113, 4, 12109);
    return 0;
}

int32_t SetupSettings::saveSetupFile(const fs::path& requested) {
    bool multi = session_.MultiInstance == 1;
    fs::path path;
    if (multi) {
        if (requested.empty()) {
            if (findFreeSetupFile(path) == 0) return -1;
        } else if (requested.string().find('/') == std::string::npos) {
            path = programFolder / requested;
        } else {
            path = requested;
        }
        held_.release();
    } else {
        path = programFolder / "Ostrand.ini";
    }
    if (writeSetupFile(path) != 0) return -1;
    setupPath = path;
    // Another instance sees the file as taken while this one runs.
    if (multi) held_.acquire(path, false);
    return 0;
}

int32_t SetupSettings::saveSetupFileAs(const fs::path& path) {
    if (session_.MultiInstance == 1) return saveSetupFile(path);
    return writeSetupFile(path);
}

int32_t SetupSettings::writeSetupFile(const fs::path& path) {
    AtomicFileWriter out;
    if (!out.open(path)) {
        op_.showMessage(10113, 0, 12137, path.string());
        return -1;
    }
    const SetupValues& v = inForce;
    std::string text = "[Ostrand]\n";
    auto line = [&](const char* key, const std::string& value) {
        text += key;
        text += '=';
        text += value;
        text += '\n';
    };
    auto num = [](int64_t x) { return std::to_string(x); };
    auto area = [](uint32_t s, uint32_t e) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "0x%06lX-0x%06lX", static_cast<unsigned long>(s & 0xFFFFFFu),
                      static_cast<unsigned long>(e & 0xFFFFFFu));
        return std::string(buf);
    };
    const DeviceDefinition* dev = devices_.selected();
    int32_t bootType = dev ? dev->bootType : -1;
    line("Device", v.device);
    line("OpenFile", v.openFile);
    line("COMPort", v.comPort);
    line("DataRate", v.dataRate.text());
    line("AllErase", num(v.allErase));
    line("BlankCheck", num(v.blankCheck));
    line("Programming", num(v.programming));
    line("Verify", num(v.verify));
    line("FileCompare", num(v.fileCompare));
    line("ReadProtect", num(v.readProtectFor(bootType)));
    line("Clock", num(v.clock));
    line("AddressOption", num(v.addressOption));
    line("AddressMode", num(v.addressMode));
    line("ROMArea1", area(v.romArea1Start, v.romArea1End));
    line("ROMArea2", area(v.romArea2Start, v.romArea2End));
    // "None" is written as nothing, so that it reads back as none.
    if (v.dataForNoAddressArea < 0) {
        line("DataForNoAddressArea", "");
    } else {
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%02X", static_cast<unsigned>(v.dataForNoAddressArea));
        line("DataForNoAddressArea", buf);
    }
    line("AddNoROMAreaToSum", num(v.addNoRomAreaToSum));
    line("PassDevBlank", num(v.passDevBlank));
    line("PassDevType", num(v.passDevType));
    line("PassDevPassword", v.passDevPassword);
    line("PassDevNumAdd", hexAddress(v.passDevNumAdd));
    line("PassDevCmpAdd", hexAddress(v.passDevCmpAdd));
    line("PassObjBlank", num(v.passObjBlank));
    line("PassObjNumAdd", hexAddress(v.passObjNumAdd));
    line("PassObjCmpAdd", hexAddress(v.passObjCmpAdd));
    line("PassLogSave", num(v.passLogSave));
    line("EraseWithoutPassword", num(v.eraseWithoutPassword));
    line("ClockFlag", num(v.clockFlag));
    {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%0.6f", v.clockValue);
        line("ClockValue", buf);
    }
    line("MemSizePhysic", num(v.memSizePhysic));
    line("MemSizeEmulat", num(v.memSizeEmulat));
    line("MemAddressLimit", hexAddress(v.memAddressLimit));
    // Written only when set, so that a setup without it reads back unchanged.
    if (!v.runRecord.empty()) line("RunRecord", v.runRecord);

    if (!out.write(text)) {
        out.abandon();
        op_.showMessage(10113, 2, 12109);
        return -1;
    }
    if (!out.commit()) {
        op_.showMessage(10113, 1, 12109);
        return -1;
    }
    return 0;
}

}  // namespace ostrand
