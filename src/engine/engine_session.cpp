#include "engine/engine_session.h"

#include "app/password_rules.h"

namespace ostrand {

namespace fs = std::filesystem;

EngineSession::EngineSession(Session& s, Operator& o, fs::path folder)
    : session(s),
      op(o),
      programFolder(std::move(folder)),
      devices(s, o),
      settings(s, o, devices),
      passwords(s, o),
      image(s, o, devices, settings.inForce, programFolder),
      engine(s, o, devices, settings, passwords, &image),
      operations(engine, image) {}

bool EngineSession::loadDefinitions() {
    settings.initialise(programFolder);
    return devices.load(programFolder / "Ostrand.def") == 0;
}

int32_t EngineSession::loadSetup(const fs::path& file, bool defaultOptional) {
    if (!file.empty()) {
        settings.firstLoad = false;
        return settings.loadSetupFile(file);
    }
    std::error_code ec;
    if (defaultOptional && !fs::exists(defaultSetupPath(), ec)) return kNoSetupFile;
    return settings.loadSetupFile(defaultSetupPath());
}

bool EngineSession::applyOverrides(const RunOverrides& o) {
    SetupValues& v = settings.inForce;
    const DeviceDefinition* previous = devices.find(v.device);
    if (o.device) v.device = *o.device;
    if (o.port) v.comPort = *o.port;
    if (o.rate) v.dataRate = *o.rate;
    if (v.device.empty() || devices.select(v.device) < 0) {
        op.showMessage(10114, 0, 12105, v.device);
        return false;
    }
    applyDevicePasswords(previous, *devices.selected(), v);
    if (!v.dataRate.given()) v.dataRate = kRate9600;
    // The setup's own rules: a fixed clock, and a clock-entry device at its fixed rate.
    applyFixedClock(devices.selected()->bootType, v);
    if (auto rate = clockEntryRate(devices.selected(), v)) v.dataRate = *rate;
    return true;
}

void EngineSession::takeSetup() {
    devices.applyProgrammingMode();
    if (const DeviceDefinition* d = devices.selected())
        applyDevicePasswords(d, *d, settings.inForce);
    passwords.takeSetup(settings.inForce);
}

int32_t EngineSession::loadObject(bool showProgress) {
    const int32_t result = image.load(showProgress);
    passwords.takeSetup(settings.inForce);
    return result;
}

}  // namespace ostrand
