#include "password_options.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "app/boot_types.h"
#include "app/numbers.h"

namespace ostrand::cli {

namespace {

constexpr int32_t kHintPasswordLength = 12129;
constexpr int32_t kHintPasswordRule = 12110;
constexpr int32_t kHintObjectPassword = 12111;

// The length and digit rules of a password given in hexadecimal; 0 when it
// passes, else the message shown.
int32_t checkHexPassword(const std::string& text, int32_t bootType, Operator& op) {
    const uint32_t fixed = fixedPasswordLength(bootType);
    if (!fixed && text.size() > 510) {
        op.showMessage(10122, 0, kHintPasswordLength);
        return 10122;
    }
    if (fixed && text.size() != 2 * fixed) {
        const int32_t code = fixed == 4 ? 10136 : 10137;
        op.showMessage(code);
        return code;
    }
    if (!std::all_of(text.begin(), text.end(), [](char c) { return hexDigitValue(c) >= 0; })) {
        op.showMessage(10129);
        return 10129;
    }
    if (text.empty()) {
        op.showMessage(10123);
        return 10123;
    }
    if (text.size() % 2 != 0) {
        // Half a byte cannot be sent.
        op.showMessage(10124, 53);
        return 10124;
    }
    if (fixed) return 0;  // the boot program fixes these passwords; erased ones are all F
    for (size_t i = 4; i + 1 < text.size(); i += 2) {
        auto same = [&](size_t a, size_t b) {
            return std::toupper(static_cast<unsigned char>(text[a])) ==
                   std::toupper(static_cast<unsigned char>(text[b]));
        };
        if (same(i, i - 2) && same(i + 1, i - 1) && same(i, i - 4) && same(i + 1, i - 3)) {
            op.showMessage(10134, 0, kHintPasswordRule);
            return 10134;
        }
    }
    return 0;
}

// One address of --password-addresses, as the password dialog reads it.
bool passwordAddress(const std::string& text, const DeviceDefinition& d, bool count, uint32_t& out,
                     Operator& op) {
    const int32_t empty = count ? 10131 : 10133, notHex = count ? 10130 : 10132,
                  outside = count ? 10120 : 10121;
    if (text.empty()) {
        op.showMessage(empty);
        return false;
    }
    const bool prefixed = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const bool digits =
        prefixed && text.size() <= 10 &&
        std::all_of(text.begin() + 2, text.end(), [](char c) { return hexDigitValue(c) >= 0; });
    if (!digits) {
        op.showMessage(notHex);
        return false;
    }
    out = static_cast<uint32_t>(std::stoul(text.substr(2), nullptr, 16));
    if (out < d.passwordAreaStart || out > d.passwordAreaEnd) {
        op.showMessage(outside, 0, kHintPasswordRule);
        return false;
    }
    return true;
}

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

bool sameHex(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

}  // namespace

bool takePasswordOptions(Args& args, PasswordOptions& o) {
    o.blankDevice = args.flag("--blank-device");
    o.haveDevice = args.take("--device-password", o.device);
    o.haveAddresses = args.take("--password-addresses", o.addresses);
    o.haveObject = args.take("--object-password", o.object);
    if (args.error()) return false;
    if (o.blankDevice && o.haveDevice)
        args.fail("--blank-device and --device-password exclude each other");
    else if (o.haveAddresses && (!o.haveDevice || o.device == "log"))
        args.fail("--password-addresses belongs to --device-password HEX");
    else if (o.haveAddresses && std::count(o.addresses.begin(), o.addresses.end(), ',') != 1)
        args.fail("--password-addresses takes NUM,CMP");
    return !args.error();
}

int applyDevicePassword(const PasswordOptions& o, const DeviceDefinition& d, SetupValues& v,
                        Operator& op) {
    const int32_t bt = d.bootType;
    const uint32_t areaStart = BootTypesC(bt) ? 0 : d.passwordAreaStart;
    if (o.blankDevice && !bootTypeRow(bt).passwordRecord && !bootTypeRow(bt).noPassword) {
        // As the password dialog's "Device is Blank": FF bytes at the password area.
        v.passDevBlank = 1;
        v.passDevType = 1;
        v.passDevPassword = blankPasswordText(bt);
        v.passDevNumAdd = v.passDevCmpAdd = areaStart;
        return kExitOk;
    }
    if (!o.haveDevice) return kExitOk;
    if (o.device == "log") {
        // Looked up once connected: the log knows the chip by its SUM.
        v.passDevBlank = 3;
        v.passDevType = 1;
        v.passDevPassword.clear();
        return kExitOk;
    }
    if (checkHexPassword(o.device, bt, op) != 0) return kExitUsage;
    uint32_t numAdd = areaStart, cmpAdd = areaStart;
    if (o.haveAddresses && !BootTypesC(bt)) {
        const size_t comma = o.addresses.find(',');
        if (!passwordAddress(o.addresses.substr(0, comma), d, true, numAdd, op) ||
            !passwordAddress(o.addresses.substr(comma + 1), d, false, cmpAdd, op))
            return kExitUsage;
    }
    v.passDevBlank = 2;
    v.passDevType = 1;
    v.passDevPassword = o.device;
    v.passDevNumAdd = numAdd;
    v.passDevCmpAdd = cmpAdd;
    return kExitOk;
}

int applyObjectPassword(const PasswordOptions& o, PasswordSet& passwords, ObjectImage& image,
                        SetupValues& v, Operator& op, const std::function<bool()>& reload) {
    if (!o.haveObject) return kExitOk;
    const PasswordImageView view = image.passwordView();
    const int32_t bt = view.bootType;
    uint32_t numAdd = 0, cmpAdd = 0;
    std::string found;
    const bool inFile = passwords.findObjectPassword(view, numAdd, cmpAdd, found) == 1;
    std::string text = found;
    if (o.object != "auto") {
        if (checkHexPassword(o.object, bt, op) != 0) return kExitUsage;
        text = o.object;
        if (!BootTypesC(bt) && v.passObjNumAdd != 0 && v.passObjCmpAdd != 0) {
            // The setup says where this object keeps its password.
            numAdd = v.passObjNumAdd;
            cmpAdd = v.passObjCmpAdd;
        } else if (!BootTypesC(bt) && !locateStated(view, text, numAdd, cmpAdd) && !inFile) {
            op.showMessage(10127, 0, kHintObjectPassword);
            return kExitFailed;
        }
    } else if (!inFile) {
        op.showMessage(10127, 0, kHintObjectPassword);
        return kExitFailed;
    }
    if (BootTypesC(bt)) {
        // Fixed at the password area: what the file holds there, erased where it holds nothing.
        if (!sameHex(text, found)) {
            op.showMessage(10128, 52, kHintObjectPassword);
            return kExitFailed;
        }
        passwords.objectPassword = text;
        passwords.objectPasswordType = 1;
        passwords.objectNumAdd = numAdd;
        passwords.objectCmpAdd = cmpAdd;
    } else if (passwords.checkObjectPassword(view, text, 1, numAdd, cmpAdd) != 0) {
        return kExitFailed;
    }
    v.passObjBlank = 2;
    v.passObjNumAdd = numAdd;
    v.passObjCmpAdd = cmpAdd;
    passwords.objectPasswordOption = 2;
    const ObjectPassword& held = image.objectPassword();
    // The image keeps the password it read at the setup's addresses (the
    // password log records that one): read it again at these.
    if (!held.present || held.numAdd != numAdd || held.cmpAdd != cmpAdd) {
        if (!reload() || !image.loaded()) return kExitFailed;
    }
    return kExitOk;
}

void applyBlankObjectPassword(const PasswordOptions& o, const DeviceDefinition& d,
                              PasswordSet& passwords) {
    const int32_t bt = d.bootType;
    if (!o.blankDevice || o.haveObject || bootTypeRow(bt).passwordRecord ||
        bootTypeRow(bt).noPassword)
        return;
    passwords.objectPassword = blankPasswordText(bt);
    passwords.objectPasswordType = 1;
    passwords.objectNumAdd = passwords.objectCmpAdd = BootTypesC(bt) ? 0 : d.passwordAreaStart;
}

bool passwordLogFailed(const PasswordOptions& o, const std::vector<ShownMessage>& shown) {
    if (!o.haveDevice || o.device != "log") return false;
    return std::any_of(shown.begin(), shown.end(),
                       [](const ShownMessage& m) { return m.code == 10138 || m.code == 10139; });
}

}  // namespace ostrand::cli
