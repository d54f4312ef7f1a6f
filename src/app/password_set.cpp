#include "password_set.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <mutex>
#include <set>

#include "device_database.h"
#include "file_io.h"
#include "operator.h"
#include "profile.h"
#include "session.h"
#include "setup_settings.h"

namespace ostrand {

namespace {

constexpr int32_t kHintCheckPassword = 12111;

std::string hexText(const std::vector<uint8_t>& bytes, bool upper) {
    std::string out;
    char two[3];
    for (uint8_t b : bytes) {
        std::snprintf(two, sizeof two, upper ? "%02X" : "%02x", b);
        out += two;
    }
    return out;
}

}  // namespace

bool PasswordImageView::isLoaded(uint32_t address) const {
    if (!loadedRanges) return false;
    for (const auto& r : *loadedRanges)
        if (r.contains(address)) return true;
    return false;
}

uint32_t fixedPasswordLength(int32_t bootType) {
    return bootTypeRow(bootType).fixedPasswordLength;
}

std::string blankPasswordText(int32_t bootType) {
    return std::string(2 * blankPasswordLength(bootType), 'F');
}

void PasswordSet::takeSetup(const SetupValues& v) {
    devicePasswordOption = v.passDevBlank;
    devicePasswordType = v.passDevType;
    devicePassword = v.passDevPassword;
    deviceNumAdd = v.passDevNumAdd;
    deviceCmpAdd = v.passDevCmpAdd;
    objectPasswordOption = v.passObjBlank;
    objectNumAdd = v.passObjNumAdd;
    objectCmpAdd = v.passObjCmpAdd;
    passLogSave = v.passLogSave;
    eraseWithoutPassword = v.eraseWithoutPassword;
}

void PasswordSet::giveSetup(SetupValues& v) const {
    v.passDevBlank = devicePasswordOption;
    v.passDevType = devicePasswordType;
    v.passDevPassword = devicePassword;
    v.passDevNumAdd = deviceNumAdd;
    v.passDevCmpAdd = deviceCmpAdd;
    v.passObjBlank = objectPasswordOption;
    v.passObjNumAdd = objectNumAdd;
    v.passObjCmpAdd = objectCmpAdd;
    v.passLogSave = passLogSave;
    v.eraseWithoutPassword = eraseWithoutPassword;
}

int32_t PasswordSet::checkObjectPassword(const PasswordImageView& image, const std::string& text,
                                         int32_t type, uint32_t numAdd, uint32_t cmpAdd) {
    if (!image.isLoaded(numAdd)) {
        op_.showMessage(10125, 0, kHintCheckPassword);
        return 1;
    }
    if (!image.isLoaded(cmpAdd)) {
        op_.showMessage(10126, 0, kHintCheckPassword);
        return 2;
    }
    uint32_t n = fixedPasswordLength(image.bootType);
    if (n == 0) n = static_cast<uint32_t>(image.byteAt(numAdd) & 0xFF);

    const bool hex = type == 1;
    if (text.size() != (hex ? 2 * n : n)) {
        op_.showMessage(10124, hex ? 53 : 51, kHintCheckPassword);
        return 4;
    }
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t address = cmpAdd + i;
        // The comparison ends with the loaded data.
        if (address < cmpAdd || !image.isLoaded(address)) {
            op_.showMessage(10124, hex ? 54 : 52, kHintCheckPassword);
            return 4;
        }
        const int b = image.byteAt(address);
        int expected;
        if (hex) {
            const int hi = hexDigitValue(text[2 * i]), lo = hexDigitValue(text[2 * i + 1]);
            expected = (hi < 0 || lo < 0) ? -1 : hi << 4 | lo;
        } else {
            expected = static_cast<uint8_t>(text[i]);
        }
        if (expected != b) {
            op_.showMessage(10128, hex ? 52 : 51, kHintCheckPassword);
            return 3;
        }
    }
    objectPassword = text;
    objectPasswordType = type;
    objectNumAdd = numAdd;
    objectCmpAdd = cmpAdd;
    return 0;
}

int32_t PasswordSet::findObjectPassword(const PasswordImageView& image, uint32_t& numAdd,
                                        uint32_t& cmpAdd, std::string& password) const {
    const int32_t bt = image.bootType;
    if (BootTypesC(bt)) {
        const uint32_t n = fixedPasswordLength(bt);
        numAdd = 0;
        cmpAdd = image.passwordAreaStart;
        std::vector<uint8_t> bytes;
        for (uint32_t i = 0; i < n && image.isLoaded(cmpAdd + i); ++i)
            bytes.push_back(static_cast<uint8_t>(image.byteAt(cmpAdd + i)));
        // Bytes the file does not fill are erased flash.
        password = bytes.size() == n ? hexText(bytes, false) : std::string(2 * n, 'F');
        return 1;
    }

    const uint32_t areaStart = image.passwordAreaStart, areaEnd = image.passwordAreaEnd;
    if (areaEnd < areaStart || areaEnd - areaStart >= 0x100000) return 0;
    const size_t size = static_cast<size_t>(areaEnd - areaStart) + 1;
    // The password area once: bytes (-1 outside the image), loaded marks, and
    // prefix counts of the positions that start a run of three equal bytes
    // and of the byte ":".
    std::vector<int> bytes(size);
    std::vector<char> loaded(size);
    for (size_t i = 0; i < size; ++i) {
        const auto a = static_cast<uint32_t>(areaStart + i);
        bytes[i] = image.byteAt(a);
        loaded[i] = image.isLoaded(a) ? 1 : 0;
    }
    std::vector<uint32_t> runs(size + 1, 0), colons(size + 1, 0), outside(size + 1, 0);
    for (size_t i = 0; i < size; ++i) {
        const bool run = i + 2 < size && bytes[i] == bytes[i + 1] && bytes[i] == bytes[i + 2];
        runs[i + 1] = runs[i] + (run ? 1 : 0);
        colons[i + 1] = colons[i] + (bytes[i] == 0x3A ? 1 : 0);
        outside[i + 1] = outside[i] + (bytes[i] < 0 ? 1 : 0);
    }
    const int32_t mode = session_.ProgrammingMode;
    const bool skipColon = (mode == kModeSBootPw || mode == kModeSBoot) && BootTypesF(bt);

    for (uint32_t n = 8; n <= 255; ++n) {
        size_t countAt = size;
        for (size_t i = 0; i < size; ++i) {
            if (loaded[i] && bytes[i] == static_cast<int>(n)) {
                countAt = i;
                break;
            }
        }
        if (countAt == size || n > size) continue;
        for (size_t s = 0; s + n <= size; ++s) {
            if (!loaded[s]) continue;
            if (outside[s + n] != outside[s]) continue;
            // A run of three starting inside the candidate's first n-2 bytes.
            if (runs[s + n - 2] != runs[s]) continue;
            if (skipColon && colons[s + n] != colons[s]) continue;
            std::vector<uint8_t> found;
            for (size_t i = s; i < s + n; ++i) found.push_back(static_cast<uint8_t>(bytes[i]));
            numAdd = static_cast<uint32_t>(areaStart + countAt);
            cmpAdd = static_cast<uint32_t>(areaStart + s);
            password = hexText(found, true);
            return 1;
        }
    }
    return 0;
}

ObjectPassword PasswordSet::readObjectPassword(const PasswordImageView& image, uint32_t numAdd,
                                               uint32_t cmpAdd) {
    ObjectPassword out;
    const bool fixed = BootTypesC(image.bootType);
    if (fixed) {
        numAdd = 0;
        cmpAdd = image.passwordAreaStart;
    } else if (numAdd == 0 || cmpAdd == 0 || !image.isLoaded(numAdd)) {
        return out;
    }
    const uint32_t n =
        fixed ? fixedPasswordLength(image.bootType) : static_cast<uint32_t>(image.byteAt(numAdd));
    std::vector<uint8_t> bytes;
    for (uint32_t i = 0; i < n; ++i) {
        const int b = image.byteAt(cmpAdd + i);
        if (b < 0 || !image.isLoaded(cmpAdd + i)) break;
        bytes.push_back(static_cast<uint8_t>(b));
    }
    if (bytes.size() != n || n == 0) {
        if (!fixed) return out;
        out.text = std::string(2 * n, 'F');
    } else {
        out.text = hexText(bytes, !fixed);
    }
    out.present = true;
    out.length = n;
    out.numAdd = numAdd;
    out.cmpAdd = cmpAdd;
    return out;
}

void PasswordSet::loadPasswordLog(const std::filesystem::path& path) {
    log.clear();
    remembered_.clear();
    auto file = ProfileFile::load(path, &logFailure);
    if (!file) return;
    std::set<std::string> seen;
    for (const auto& section : file->sectionNames()) {
        // Only the first section of a name can be read; a repeat would copy it.
        std::string key;
        for (char c : section)
            key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (!seen.insert(key).second) continue;
        auto sum = file->value(section, "Sum");
        auto num = file->value(section, "PassNumAdd");
        auto cmp = file->value(section, "PassCmpAdd");
        auto password = file->value(section, "Password");
        auto device = file->value(section, "Device");
        if (!sum || !num || !cmp || !password || !device) continue;
        auto sumValue = parseNumber(*sum);
        auto numValue = parseNumber(*num);
        auto cmpValue = parseNumber(*cmp);
        if (!sumValue || *sumValue > 0xFFFF || !numValue || !cmpValue || password->empty() ||
            device->empty())
            continue;
        log.push_back({static_cast<uint16_t>(*sumValue), *numValue, *cmpValue, *password, *device});
    }
}

void PasswordSet::rememberPassword(const PasswordLogEntry& entry) {
    remembered_.emplace_back(entry.sum, entry.device);
    for (auto& e : log) {
        if (e.sum == entry.sum && e.device == entry.device) {
            e = entry;
            return;
        }
    }
    log.push_back(entry);
}

std::string PasswordSet::passwordLogText() const {
    std::string text;
    char line[64];
    for (size_t i = 0; i < log.size(); ++i) {
        const auto& e = log[i];
        if (i > 0) text += "\n";
        std::snprintf(line, sizeof line, "[Password%02d]\n", static_cast<int>(i + 1));
        text += line;
        std::snprintf(line, sizeof line, "%s=0x%04X\n", "Sum", e.sum);
        text += line;
        std::snprintf(line, sizeof line, "%s=0x%06X\n", "PassNumAdd", e.numAdd);
        text += line;
        std::snprintf(line, sizeof line, "%s=0x%06X\n", "PassCmpAdd", e.cmpAdd);
        text += line;
        text += "Password=" + e.password + "\n";
        text += "Device=" + e.device + "\n";
    }
    return text;
}

bool PasswordSet::mergeLogFile(const std::filesystem::path& path) {
    PasswordSet current(session_, op_);
    current.loadPasswordLog(path);
    if (current.logUnreadable()) return false;
    std::vector<PasswordLogEntry> merged = std::move(current.log);
    for (const auto& e : log) {
        auto same = std::find_if(merged.begin(), merged.end(), [&](const PasswordLogEntry& m) {
            return m.sum == e.sum && m.device == e.device;
        });
        const bool mine = std::find(remembered_.begin(), remembered_.end(),
                                    std::make_pair(e.sum, e.device)) != remembered_.end();
        if (same == merged.end())
            merged.push_back(e);
        else if (mine)
            *same = e;
    }
    log = std::move(merged);
    return true;
}

int32_t PasswordSet::savePasswordLog(const std::filesystem::path& path) {
    // Several engines of one process, and other processes, share the log.
    static std::mutex inProcess;
    std::lock_guard serial(inProcess);
    // A failure must not lose a password that is in a chip now: the
    // message carries the entries the file did not take.
    std::string detail = path.string();
    for (const auto& e : log) {
        if (std::find(remembered_.begin(), remembered_.end(), std::make_pair(e.sum, e.device)) ==
            remembered_.end())
            continue;
        char sum[8];
        std::snprintf(sum, sizeof sum, "0x%04X", e.sum);
        detail += "; not logged: Password=" + e.password + " Sum=" + sum + " Device=" + e.device;
    }
    FileLock betweenProcesses;
    std::filesystem::path lockPath = path;
    lockPath += ".lock";
    if (!betweenProcesses.acquireWaiting(lockPath, 10000)) {
        op_.showMessage(10113, 10, 12137, detail);
        return 0;
    }
    AtomicFileWriter writer;
    if (!mergeLogFile(path) || !writer.open(path)) {
        op_.showMessage(10113, 10, 12137, detail);
        return 0;
    }
    if (!writer.write(passwordLogText())) {
        writer.abandon();
        op_.showMessage(10113, 12, 12109, detail);
        return 0;
    }
    if (!writer.commit()) {
        op_.showMessage(10113, 11, 12109, detail);
        return 0;
    }
    remembered_.clear();
    return 1;
}

}  // namespace ostrand
