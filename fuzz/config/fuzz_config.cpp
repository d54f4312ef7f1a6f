// Feeds arbitrary bytes to the definition-file and setup-file loaders. The
// input is split at the first NUL: before it the definition file, after it
// the setup file.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "app/device_database.h"
#include "app/file_io.h"
#include "app/operator.h"
#include "app/profile.h"
#include "app/setup_settings.h"
#include "recording_operator.h"

namespace {

class QuietOperator : public ostrand::RecordingOperator {
  public:
    using RecordingOperator::RecordingOperator;

  protected:
    void present(const ostrand::ShownMessage&) override {}
};

std::filesystem::path scratch() {
    static std::filesystem::path dir = [] {
        std::string templ = "/tmp/fuzz-config-XXXXXX";
        return std::filesystem::path(mkdtemp(templ.data()));
    }();
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t split = input.find('\0');
    std::string def = input.substr(0, split);
    std::string ini = split == std::string::npos ? std::string() : input.substr(split + 1);

    ostrand::ProfileFile::fromText(input);
    ostrand::Session session;
    QuietOperator op(session);
    ostrand::DeviceDatabase db(session, op);
    auto dir = scratch();
    ostrand::writeFileAtomic(dir / "Ostrand.def", def);
    ostrand::writeFileAtomic(dir / "a.ini", ini);
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
