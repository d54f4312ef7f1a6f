// What the system says about each serial port: its stable name, its driver
// and, for a USB adapter, who made it. Read from sysfs and /dev/serial/by-id.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace ostrand {

struct PortInfo {
    std::string path;          // "/dev/ttyUSB0"
    std::string byId;          // "/dev/serial/by-id/usb-…-port0", or empty
    std::string driver;        // "ftdi_sio", "cdc_acm", "serial8250"
    std::string vendorId;      // USB idVendor, 4 hex digits, or empty
    std::string productId;     // USB idProduct
    std::string serialNumber;  // USB serial
    std::string description;   // manufacturer and product, or the interface's name
};

// The ports of the port list (the serial devices the kernel reports, in
// natural order), each described. sysRoot stands for /sys and devRoot for
// /dev, so that a prepared folder can stand in for both.
std::vector<PortInfo> describePorts(const std::filesystem::path& sysRoot = "/sys",
                                    const std::filesystem::path& devRoot = "/dev");

}  // namespace ostrand
