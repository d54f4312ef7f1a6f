#include "context.h"

#include "app/file_io.h"

namespace ostrand::cli {

bool Context::loadHome(Args& args) {
    std::string dir;
    home = args.take("--home", dir) ? std::filesystem::path(dir) : programFolder();
    std::error_code ec;
    home = std::filesystem::absolute(home, ec).lexically_normal();
    settings.initialise(home);
    return devices.load(home / "Ostrand.def") == 0;
}

int Context::loadSetup(Args& args) {
    std::string path;
    if (args.take("--setup", path)) {
        settings.firstLoad = false;
        return settings.loadSetupFile(path);
    }
    std::error_code ec;
    if (!std::filesystem::exists(home / "Ostrand.ini", ec)) return 1;
    return settings.loadSetupFile(home / "Ostrand.ini");
}

}  // namespace ostrand::cli
