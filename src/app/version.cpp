#include "app/version.h"

#include "app/device_database.h"
#include "app/quiet_operator.h"
#include "app/session.h"

#ifndef OSTRAND_VERSION
#define OSTRAND_VERSION "0"
#endif

namespace ostrand {

const char* buildVersion() {
    return OSTRAND_VERSION;
}

std::string versionText(const std::string& program, const std::filesystem::path& folder) {
    std::string out = program + " " + buildVersion() + " (" + kProgramVersion + ")\n";
    Session session;
    QuietOperator quiet(session);
    DeviceDatabase devices(session, quiet);
    if (devices.load(folder / "Ostrand.def") != 0)
        return out + "no definition file in " + folder.string() + "\n";
    out += devices.programVersionLine() + "\n";
    if (!devices.packageVersion().empty()) out += devices.packageVersion() + "\n";
    return out + devices.noticeLine() + "\n";
}

}  // namespace ostrand
