#include "document/setup_commands.h"

#include "app/password_rules.h"
#include "app/profile.h"
#include "document/document.h"

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

int32_t findPasswordInObjectFile(DocumentCore& core, const std::string& path,
                                 ObjectPassword& found) {
    const auto view = objectPasswordView(core, path);
    if (!view) return -1;
    ObjectPassword p;
    if (core.passwords.findObjectPassword(*view, p.numAdd, p.cmpAdd, p.text) != 1) {
        core.op.showMessage(10127, 0, 12111);
        return 0;
    }
    p.present = true;
    p.length = static_cast<uint32_t>(p.text.size() / 2);
    found = p;
    return 1;
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

}  // namespace ostrand
