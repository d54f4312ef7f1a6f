// Whole object files through ObjectImage, as the operator opens them: the
// record rules of every file type, the placement into each demo device's
// flash (offsets, second areas, address options), the SUM, the expansion file
// and the object password. Input: device byte, option byte, then the file.
#include <cstdint>
#include <string>

#include "../common.h"
#include "app/file_io.h"
#include "app/password_set.h"
#include "app/setup_settings.h"
#include "objfile/object_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ostrand::Session session;
    static fuzz::QuietOperator op(session);
    static ostrand::DeviceDatabase devices(session, op);
    static ostrand::SetupValues settings;
    static ostrand::ObjectImage image(session, op, devices, settings, fuzz::scratch());
    static ostrand::PasswordSet passwords(session, op);
    static bool ready = (fuzz::loadDemoDevices(devices), true);
    (void)ready;
    if (size < 2) return 0;
    static const char* const kTypes[] = {".h16", ".h20", ".s16", ".s24", ".s32"};
    const auto& records = devices.records();
    const auto& device = records[data[0] % records.size()];
    const uint8_t options = data[1];
    devices.select(device.deviceName);
    settings = {};
    settings.device = device.deviceName;
    settings.addressOption = options >> 3 & 1;
    settings.addressMode = options >> 4 & 1;
    settings.addNoRomAreaToSum = options >> 5 & 1;
    settings.dataForNoAddressArea = options & 0x40 ? 0x00 : -1;
    settings.memSizeEmulat = options & 0x80 ? 60 : 124;
    const auto path = fuzz::scratch() / (std::string("object") + kTypes[(options & 7) % 5]);
    fuzz::writeInput(path, data + 2, size - 2);
    settings.openFile = path.string();
    if (image.load(false) != 1 || !image.loaded()) return 0;
    // Whatever was loaded lies inside the image and reads back.
    for (const auto& r : image.loadedRanges()) {
        if (r.end < r.start) __builtin_trap();
        uint8_t bytes[17];
        if (image.readImage(bytes, r.start, 16) < 0) __builtin_trap();
    }
    uint32_t numAdd = 0, cmpAdd = 0;
    std::string password;
    passwords.findObjectPassword(image.passwordView(), numAdd, cmpAdd, password);
    return 0;
}
