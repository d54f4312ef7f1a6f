// Feeds arbitrary bytes to the definition-file and setup-file loaders. The
// input is split at the first NUL: before it the definition file, after it
// the setup file.
#include <cstdint>
#include <string>

#include "../common.h"
#include "app/file_io.h"
#include "app/profile.h"
#include "app/setup_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t split = input.find('\0');
    std::string def = input.substr(0, split);
    std::string ini = split == std::string::npos ? std::string() : input.substr(split + 1);

    ostrand::ProfileFile::fromText(input);
    ostrand::Session session;
    fuzz::QuietOperator op(session);
    ostrand::DeviceDatabase db(session, op);
    const auto& dir = fuzz::scratch();
    fuzz::writeInput(dir / "Ostrand.def", reinterpret_cast<const uint8_t*>(def.data()), def.size());
    fuzz::writeInput(dir / "a.ini", reinterpret_cast<const uint8_t*>(ini.data()), ini.size());
    if (db.load(dir / "Ostrand.def") != 0) return 0;
    ostrand::SetupSettings settings(session, op, db);
    settings.initialise(dir);
    settings.ports = {"/dev/ttyUSB0"};
    if (settings.loadSetupFile(dir / "a.ini") == 0) {
        for (const auto& r : db.records()) {
            db.select(r.deviceName);
            db.applyProgrammingMode();
        }
    }
    return 0;
}
