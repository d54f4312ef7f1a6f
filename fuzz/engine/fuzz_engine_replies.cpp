// The engine's parsing of chip replies: the command layer and the boot and
// WCP commands against a target that answers with the fuzzer's bytes.
// Input: device byte, operation byte, then the replies. Time-outs are not
// fuzzed: the run ends where the replies do.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "../common.h"
#include "../fuzz_port.h"
#include "app/password_set.h"
#include "app/setup_settings.h"
#include "engine/flash_engine.h"
#include "engine/protocol_tables.h"

namespace {

// One of the engine's exchanges, chosen by `which`.
void run(ostrand::CFlashEngine& engine, uint8_t which, uint32_t start) {
    using namespace ostrand;
    std::vector<uint8_t> buffer(600);
    uint16_t sum = 0;
    int32_t blank = 0;
    switch (which % 10) {
        case 0:
            engine.boot().readStatus(&buffer);
            break;
        case 1:
            engine.boot().identifyChip();
            break;
        case 2:
            engine.boot().bootRead(start, buffer.data(), 64);
            break;
        case 3:
            engine.boot().bootSum(start, 256, sum);
            break;
        case 4:
            engine.wcp().wcpRead(start, buffer.data(), 300);
            break;
        case 5:
            engine.wcp().wcpSum(start, 256, sum);
            break;
        case 6:
            engine.wcp().wcpBlankCheck(start, 256, blank);
            break;
        case 7:
            engine.channel().command(BootKind, which / 10 % 10, 0x20, 1);
            break;
        case 8:
            engine.wcp().wcpWrite(start, buffer.data(), 256);
            break;
        default:
            engine.boot().postConnectStatus();
            break;
    }
}

}  // namespace

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
    if (size < 2) return 0;
    const auto& records = devices.records();
    const auto& device = records[data[0] % records.size()];
    devices.select(device.deviceName);
    devices.applyProgrammingMode();
    settings.inForce.device = device.deviceName;
    auto owned = std::make_unique<fuzz::ScriptPort>();
    fuzz::ScriptPort* port = owned.get();
    ostrand::CFlashEngine engine(session, op, devices, settings, passwords, std::move(owned));
    if (engine.link().loadDeviceParameters() != 1) return 0;
    engine.wcp().setWcpFolder(OSTRAND_DATA);  // the WCP commands load the demo WCPs first
    port->open("fuzz", "9600");
    port->setReplies(data + 2, size - 2);
    session.AbortRequested = 0;

    const uint32_t start = engine.device().flashStart;
    using namespace ostrand;
    try {
        run(engine, data[1], start);
    } catch (const fuzz::ScriptEnded&) {
    }
    return 0;
}
