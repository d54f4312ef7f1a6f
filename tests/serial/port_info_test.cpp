#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "serial/port_info.h"

namespace ostrand {
namespace {

namespace fs = std::filesystem;

// A sysfs and /dev of three adapters as the kernel lays them out: an FTDI
// converter (ids on the USB device two levels up), a CDC modem (the
// interface is the device) and an on-board UART; the nodes are links to a
// real pseudo-terminal so that they open as terminals.
TEST(PortInfo, DescribesEachPortFromSysfsAndByIdLinks) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master) | unlockpt(master), 0);
    const std::string slave = ptsname(master);
    const fs::path root = fs::temp_directory_path() / ("ostrand-ports-" + std::to_string(getpid()));
    const fs::path sys = root / "sys", dev = root / "dev";
    auto file = [](const fs::path& p, const std::string& text) {
        fs::create_directories(p.parent_path());
        std::ofstream(p) << text << "\n";
    };
    // port: the tty's device folder below `usb`; driver: its driver's name.
    auto add = [&](const std::string& name, const fs::path& device, const std::string& driver) {
        const fs::path tty = device / "tty" / name;
        fs::create_directories(tty);
        fs::create_directory_symlink(device, tty / "device");
        fs::create_directories(sys / "bus" / "drivers" / driver);
        fs::create_directory_symlink(sys / "bus" / "drivers" / driver, device / "driver");
        fs::create_directories(sys / "class" / "tty");
        fs::create_directory_symlink(tty, sys / "class" / "tty" / name);
        fs::create_directories(dev);
        fs::create_symlink(slave, dev / name);
    };
    const fs::path ftdi = sys / "devices" / "usb1" / "1-1";
    for (auto [key, value] : {std::pair{"idVendor", "0403"},
                              {"idProduct", "6001"},
                              {"serial", "A10KX3"},
                              {"manufacturer", "FTDI"},
                              {"product", "FT232R USB UART"}})
        file(ftdi / key, value);
    add("ttyUSB0", ftdi / "1-1:1.0" / "ttyUSB0", "ftdi_sio");
    const fs::path acm = sys / "devices" / "usb1" / "1-2";
    file(acm / "idVendor", "2341");
    file(acm / "idProduct", "0043");
    file(acm / "1-2:1.0" / "interface", "CDC Abstract Control Model");
    add("ttyACM0", acm / "1-2:1.0", "cdc_acm");
    add("ttyS0", sys / "devices" / "platform" / "serial8250", "serial8250");
    file(sys / "class" / "tty" / "ttyS0" / "type", "4");
    fs::create_directories(dev / "serial" / "by-id");
    fs::create_symlink("../../ttyUSB0", dev / "serial" / "by-id" / "usb-FTDI_FT232R_A10KX3-port0");

    struct Row {
        const char *name, *byId, *driver, *vendor, *product, *serial, *description;
    };
    const Row want[] = {
        {"ttyACM0", "", "cdc_acm", "2341", "0043", "", "CDC Abstract Control Model"},
        {"ttyS0", "", "serial8250", "", "", "", ""},
        {"ttyUSB0", "serial/by-id/usb-FTDI_FT232R_A10KX3-port0", "ftdi_sio", "0403", "6001",
         "A10KX3", "FTDI FT232R USB UART"},
    };
    const std::vector<PortInfo> got = describePorts(sys, dev);
    ASSERT_EQ(got.size(), std::size(want));
    for (size_t i = 0; i < got.size(); ++i) {
        const Row& w = want[i];
        SCOPED_TRACE(w.name);
        EXPECT_EQ(got[i].path, (dev / w.name).string());
        EXPECT_EQ(got[i].byId, *w.byId ? (dev / w.byId).string() : "");
        EXPECT_EQ(got[i].driver, w.driver);
        EXPECT_EQ(got[i].vendorId, w.vendor);
        EXPECT_EQ(got[i].productId, w.product);
        EXPECT_EQ(got[i].serialNumber, w.serial);
        EXPECT_EQ(got[i].description, w.description);
    }
    fs::remove_all(root);
    ::close(master);
}

}  // namespace
}  // namespace ostrand
