#include "document/run_passwords.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "app/boot_types.h"
#include "app/numbers.h"
#include "app/password_rules.h"

namespace ostrand {

namespace {

constexpr int32_t kHintObjectPassword = 12111;

// Where the object holds the stated bytes: a count byte equal to their
// number and the bytes themselves, both inside the password area.
bool locateStated(const PasswordImageView& view, const std::string& hex, uint32_t& numAdd,
                  uint32_t& cmpAdd) {
    const uint32_t n = static_cast<uint32_t>(hex.size() / 2);
    if (n == 0 || view.passwordAreaEnd < view.passwordAreaStart) return false;
    auto loadedByte = [&](uint64_t a) {
        return a <= view.passwordAreaEnd && view.isLoaded(static_cast<uint32_t>(a))
                   ? view.byteAt(static_cast<uint32_t>(a))
                   : -1;
    };
    std::optional<uint32_t> count, start;
    for (uint64_t a = view.passwordAreaStart; a <= view.passwordAreaEnd; ++a) {
        if (!count && loadedByte(a) == static_cast<int>(n)) count = static_cast<uint32_t>(a);
        if (start) continue;
        bool same = true;
        for (uint32_t i = 0; i < n && same; ++i)
            same = loadedByte(a + i) ==
                   (hexDigitValue(hex[2 * i]) << 4 | hexDigitValue(hex[2 * i + 1]));
        if (same) start = static_cast<uint32_t>(a);
    }
    if (!count || !start) return false;
    numAdd = *count;
    cmpAdd = *start;
    return true;
}

// The object password's addresses into the run's setup values; the image
// keeps the password it read at the setup's addresses (the password log
// records that one): it reads it again at these.
RunPasswordResult keepObjectPassword(PasswordSet& passwords, ObjectImage& image, SetupValues& v,
                                     uint32_t numAdd, uint32_t cmpAdd,
                                     const std::function<bool()>& reload) {
    v.passObjBlank = 2;
    v.passObjNumAdd = numAdd;
    v.passObjCmpAdd = cmpAdd;
    passwords.objectPasswordOption = 2;
    const ObjectPassword& held = image.objectPassword();
    const bool wanted = numAdd != 0 || cmpAdd != 0;
    if (held.present != wanted || (wanted && (held.numAdd != numAdd || held.cmpAdd != cmpAdd))) {
        if (!reload() || !image.loaded()) return RunPasswordResult::Failed;
    }
    return RunPasswordResult::Ok;
}

bool sameHex(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

}  // namespace

ObjectPassword objectFilePassword(const PasswordImageView& view, const PasswordSet& set) {
    ObjectPassword p;
    if (set.findObjectPassword(view, p.numAdd, p.cmpAdd, p.text) != 1) return {};
    p.present = true;
    p.length = static_cast<uint32_t>(p.text.size() / 2);
    return p;
}

RunPasswordResult applyDevicePassword(const RunPasswords& o, const DeviceDefinition& d,
                                      SetupValues& v, Operator& op) {
    const int32_t bt = d.bootType;
    const uint32_t areaStart = BootTypesC(bt) ? 0 : d.passwordAreaStart;
    if (o.blankDevice && !bootTypeRow(bt).passwordRecord && !bootTypeRow(bt).noPassword) {
        // As the password dialog's "Device is Blank": FF bytes at the password area.
        setBlankDevicePassword(d, v);
        return RunPasswordResult::Ok;
    }
    if (!o.haveDevice) return RunPasswordResult::Ok;
    if (o.device == "log") {
        // Looked up once connected: the log knows the chip by its SUM.
        v.passDevBlank = 3;
        v.passDevType = 1;
        v.passDevPassword.clear();
        return RunPasswordResult::Ok;
    }
    if (!showVerdict(checkPasswordText(o.device, bt, true), op))
        return RunPasswordResult::Malformed;
    uint32_t numAdd = areaStart, cmpAdd = areaStart;
    if (o.haveAddresses && !BootTypesC(bt)) {
        const size_t comma = o.addresses.find(',');
        if (!showVerdict(checkPasswordAddress(o.addresses.substr(0, comma), d, true, numAdd), op) ||
            !showVerdict(checkPasswordAddress(o.addresses.substr(comma + 1), d, false, cmpAdd), op))
            return RunPasswordResult::Malformed;
    }
    v.passDevBlank = 2;
    v.passDevType = 1;
    v.passDevPassword = o.device;
    v.passDevNumAdd = numAdd;
    v.passDevCmpAdd = cmpAdd;
    return RunPasswordResult::Ok;
}

RunPasswordResult applyObjectPassword(const RunPasswords& o, PasswordSet& passwords,
                                      ObjectImage& image, SetupValues& v, Operator& op,
                                      const std::function<bool()>& reload) {
    if (!o.haveObject) return RunPasswordResult::Ok;
    const PasswordImageView view = image.passwordView();
    const int32_t bt = view.bootType;
    const ObjectPassword found = objectFilePassword(view, passwords);
    uint32_t numAdd = found.numAdd, cmpAdd = found.cmpAdd;
    if (o.object == "auto") {
        // The file's own password, or none at all: nothing to compare.
        passwords.objectPassword = found.text;
        passwords.objectPasswordType = 1;
        passwords.objectNumAdd = numAdd;
        passwords.objectCmpAdd = cmpAdd;
        return keepObjectPassword(passwords, image, v, numAdd, cmpAdd, reload);
    }
    if (!showVerdict(checkPasswordText(o.object, bt, true), op))
        return RunPasswordResult::Malformed;
    const std::string text = o.object;
    if (!BootTypesC(bt) && v.passObjNumAdd != 0 && v.passObjCmpAdd != 0) {
        // The setup says where this object keeps its password.
        numAdd = v.passObjNumAdd;
        cmpAdd = v.passObjCmpAdd;
    } else if (!BootTypesC(bt) && !locateStated(view, text, numAdd, cmpAdd) && !found.present) {
        op.showMessage(10127, 0, kHintObjectPassword);
        return RunPasswordResult::Failed;
    }
    if (BootTypesC(bt)) {
        // Fixed at the password area: what the file holds there, erased where it holds nothing.
        if (!sameHex(text, found.text)) {
            op.showMessage(10128, 52, kHintObjectPassword);
            return RunPasswordResult::Failed;
        }
        passwords.objectPassword = text;
        passwords.objectPasswordType = 1;
        passwords.objectNumAdd = numAdd;
        passwords.objectCmpAdd = cmpAdd;
    } else if (passwords.checkObjectPassword(view, text, 1, numAdd, cmpAdd) != 0) {
        return RunPasswordResult::Failed;
    }
    return keepObjectPassword(passwords, image, v, numAdd, cmpAdd, reload);
}

void applyBlankObjectPassword(const RunPasswords& o, const DeviceDefinition& d,
                              PasswordSet& passwords) {
    const int32_t bt = d.bootType;
    if (!o.blankDevice || o.haveObject || bootTypeRow(bt).passwordRecord ||
        bootTypeRow(bt).noPassword)
        return;
    passwords.objectPassword = blankPasswordText(bt);
    passwords.objectPasswordType = 1;
    passwords.objectNumAdd = passwords.objectCmpAdd = BootTypesC(bt) ? 0 : d.passwordAreaStart;
}

bool passwordLogFailed(const RunPasswords& o, const std::vector<int32_t>& shown) {
    if (!o.haveDevice || o.device != "log") return false;
    return std::any_of(shown.begin(), shown.end(),
                       [](int32_t code) { return code == 10138 || code == 10139; });
}

}  // namespace ostrand
