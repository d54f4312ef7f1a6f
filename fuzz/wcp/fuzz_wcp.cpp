// Feeds arbitrary bytes to the engine as a WCP file: the check of its records
// and addresses, and its transfer to a target that never answers. The first
// byte picks the device (and so the boot type).
#include <cstdint>
#include <memory>
#include <string>

#include "../common.h"
#include "../fuzz_port.h"
#include "app/file_io.h"
#include "app/password_set.h"
#include "app/setup_settings.h"
#include "engine/flash_engine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ostrand::Session session;
    static fuzz::QuietOperator op(session);
    static ostrand::DeviceDatabase devices(session, op);
    static ostrand::SetupSettings settings(session, op, devices);
    static ostrand::PasswordSet passwords(session, op);
    static bool ready = [] {
        fuzz::loadDemoDevices(devices);
        settings.initialise(fuzz::scratch());
        return true;
    }();
    (void)ready;
    if (size < 1) return 0;
    const auto& records = devices.records();
    const auto& device = records[data[0] % records.size()];
    devices.select(device.deviceName);
    settings.inForce.device = device.deviceName;
    settings.inForce.memSizeEmulat = data[0] & 0x80 ? 60 : 124;
    auto port = std::make_unique<fuzz::ScriptPort>();
    ostrand::CFlashEngine engine(session, op, devices, settings, passwords, std::move(port));
    if (engine.link().loadDeviceParameters() != 1) return 0;
    const auto path = fuzz::scratch() / "fuzz.wcp";
    fuzz::writeInput(path, data + 1, size - 1);
    try {
        if (engine.wcp().checkWcpFile(path) == 1) engine.wcp().sendWcpRecords(path);
    } catch (const fuzz::ScriptEnded&) {
        __builtin_trap();  // the target never answers: nothing may wait for it
    }
    return 0;
}
