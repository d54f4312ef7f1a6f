#include "document/setup_commands.h"

#include "app/password_rules.h"
#include "app/profile.h"
#include "document/document.h"
#include "document/setup_rules.h"

namespace ostrand {

namespace fs = std::filesystem;

int32_t saveSetupFor(DocumentCore& core, const fs::path& pagePath) {
    if (core.session.MultiInstance != 1) return core.settings.saveSetupFile({});
    return core.settings.saveSetupFile(pagePath.empty() ? core.settings.setupPath : pagePath);
}

std::optional<PasswordImageView> objectPasswordView(DocumentCore& core, const std::string& path) {
    if (core.image.loaded() && core.image.path() == path) return core.image.passwordView();
    if (core.image.loadSecondFile(path) != 1) return std::nullopt;
    return core.image.passwordView(true);
}

int32_t findPasswordInObjectFile(DocumentCore& core, const std::string& path, ObjectPassword& found,
                                 int32_t noFileHint) {
    if (path.empty()) {
        core.op.showMessage(10135, 0, noFileHint);
        return -1;
    }
    const auto view = objectPasswordView(core, path);
    if (!view) return -1;
    const ObjectPassword p = objectFilePassword(*view, core.passwords);
    if (!p.present) {
        core.op.showMessage(10127, 0, 12111);
        return 0;
    }
    found = p;
    return 1;
}

bool blankDeviceFields(DocumentCore& core, const DeviceDefinition* device, SetupValues& values) {
    if (!device) {
        core.op.showMessage(10115, 0, 12135);
        return false;
    }
    setBlankDevicePassword(*device, values);
    return true;
}

int32_t takeObjectPassword(DocumentCore& core, const PasswordImageView& view,
                           const std::string& text, uint32_t numAdd, uint32_t cmpAdd) {
    PasswordSet& p = core.passwords;
    if (!BootTypesC(view.bootType)) return p.checkObjectPassword(view, text, 1, numAdd, cmpAdd);
    // Fixed at the password area: what the file holds there, erased where
    // it holds nothing.
    uint32_t n = 0, c = 0;
    std::string found;
    p.findObjectPassword(view, n, c, found);
    if (!equalsNoCase(text, found)) {
        core.op.showMessage(10128, 52, 12111);
        return 3;
    }
    p.objectPassword = text;
    p.objectPasswordType = 1;
    p.objectNumAdd = n;
    p.objectCmpAdd = c;
    return 0;
}

// ---------------------------------------------------------------- passwords

Outcome DocumentCore::lookUpDevicePassword(PasswordLogEntry& found) {
    return captureOutcome(op, [&] {
        if (session.ConnectStatus != kConnected || engine.state().chip.anyWcpLoaded()) return 0;
        const bool present = passwordLogPresent(programFolder);
        uint16_t sum = 0;
        if (present && engine.boot().bootSum(0, 0, sum) != 1) return 0;
        std::string device;
        devices.selectedDeviceName(device);
        const PasswordLogEntry* entry =
            present ? loggedPassword(passwords.log, sum, device) : nullptr;
        if (!passes(passwordLogVerdict(present, entry))) return 0;
        found = *entry;
        return 1;
    });
}

Outcome DocumentCore::setPasswords(const PasswordEntry& e, PasswordField* field) {
    PasswordField failed = PasswordField::None;
    Outcome o = captureOutcome(op, [&]() -> int32_t {
        const DeviceDefinition* d = e.device ? e.device : devices.selected();
        if (!d) {
            op.showMessage(10512, 0, 12139);
            return 0;
        }
        auto check = [&](const RuleVerdict& v, PasswordField f) {
            if (v.passed()) return true;
            failed = f;
            return passes(v);
        };
        auto fail = [&](PasswordField f) {
            failed = f;
            return 0;
        };
        const int32_t bt = d->bootType;
        // These keep their password at the start of the password area.
        const bool fixedArea = BootTypesC(bt);

        // The device password: typed, or taken from the log or an object
        // file (the lookup's or the file's text is not the operator's).
        uint32_t devNum = d->passwordAreaStart, devCmp = d->passwordAreaStart;
        const bool typed = e.deviceGroup && e.deviceSource == 2;
        if (typed &&
            !check(checkPasswordText(e.devicePassword, bt, e.hex), PasswordField::DevicePassword))
            return 0;
        if (typed && !fixedArea &&
            (!check(checkPasswordAddress(e.deviceNumAdd, *d, true, devNum),
                    PasswordField::DeviceNumAdd) ||
             !check(checkPasswordAddress(e.deviceCmpAdd, *d, false, devCmp),
                    PasswordField::DeviceCmpAdd)))
            return 0;
        if (e.deviceGroup && e.deviceSource == 3 && !fixedArea) {
            devNum = prefixedHex(e.deviceNumAdd).value_or(devNum);
            devCmp = prefixedHex(e.deviceCmpAdd).value_or(devCmp);
        }

        // The object file password: found in the file (Auto) or read at the
        // typed addresses and compared with the file (Manual).
        std::string objectText;
        uint32_t objNum = 0, objCmp = 0;
        if (e.objectGroup) {
            if (!e.objectAuto && !fixedArea &&
                (!check(checkPasswordAddress(e.objectNumAdd, *d, true, objNum),
                        PasswordField::ObjectNumAdd) ||
                 !check(checkPasswordAddress(e.objectCmpAdd, *d, false, objCmp),
                        PasswordField::ObjectCmpAdd)))
                return 0;
            const std::string path =
                e.objectFile.empty() ? settings.inForce.openFile : e.objectFile;
            if (path.empty()) {
                op.showMessage(10135, 0, 12146);
                return fail(PasswordField::ObjectSource);
            }
            const auto view = objectPasswordView(*this, path);
            if (!view) return fail(PasswordField::ObjectSource);
            if (e.objectAuto || fixedArea) {
                // What the file holds is the password by definition; a file
                // that holds none leaves the object without one.
                const ObjectPassword own = objectFilePassword(*view, passwords);
                objectText = own.text;
                objNum = own.numAdd;
                objCmp = own.cmpAdd;
            } else {
                objectText = PasswordSet::readObjectPassword(*view, objNum, objCmp).text;
                // An empty text: the file lacks the bytes, which the comparison names.
                if (!objectText.empty() &&
                    !check(checkPasswordText(objectText, bt, true), PasswordField::ObjectNumAdd))
                    return 0;
                const int32_t kind = takeObjectPassword(*this, *view, objectText, objNum, objCmp);
                if (kind != 0)
                    return fail(kind == 2 ? PasswordField::ObjectCmpAdd
                                          : PasswordField::ObjectNumAdd);
            }
        }

        // Store the set, the page's copy, then the setup file.
        auto store = [&](SetupValues& v) {
            if (!e.deviceGroup) {
                v.passDevBlank = 0;
                v.passDevType = e.hex ? 1 : 0;
                v.passDevPassword.clear();
                v.passDevNumAdd = v.passDevCmpAdd = 0;
            } else if (e.deviceSource == 1) {
                setBlankDevicePassword(*d, v);
            } else {
                v.passDevBlank = e.deviceSource;
                v.passDevType = e.deviceSource == 3 || e.hex ? 1 : 0;
                v.passDevPassword = e.devicePassword;
                v.passDevNumAdd = devNum;
                v.passDevCmpAdd = devCmp;
            }
            v.passObjBlank = e.objectGroup ? 2 : 0;
            v.passObjNumAdd = objNum;
            v.passObjCmpAdd = objCmp;
            v.passLogSave = e.passLogSave ? 1 : 0;
        };
        if (e.pageValues) store(*e.pageValues);
        SetupValues& v = settings.inForce;
        store(v);
        passwords.takeSetup(v);
        passwords.objectPassword = objectText;
        passwords.objectPasswordType = 1;
        if (saveSetupFor(*this, e.pagePath) != 0) return 0;
        if (BootTypesF(bt) && passwordHoldsColon(v.passDevPassword, v.passDevType == 1))
            op.showMessage(12149);
        return 1;
    });
    if (field) *field = failed;
    return o;
}

// ---------------------------------------------------------------- options

Outcome DocumentCore::setOptions(const OptionEntry& e) {
    return captureOutcome(op, [&] {
        const DeviceDefinition* d = e.device ? e.device : devices.selected();
        const int32_t bt = d ? d->bootType : 0;
        auto store = [&](SetupValues& v) {
            // One boot type keeps its Protect choice under a key of its own.
            (bootTypeRow(bt).ownReadProtect ? v.readProtect : v.readProtectOther) =
                e.protect ? 1 : 0;
            v.eraseWithoutPassword = e.eraseWithoutPassword ? 1 : 0;
        };
        if (e.pageValues) store(*e.pageValues);
        store(settings.inForce);
        passwords.eraseWithoutPassword = settings.inForce.eraseWithoutPassword;
        return saveSetupFor(*this, e.pagePath) == 0 ? 1 : 0;
    });
}

}  // namespace ostrand
