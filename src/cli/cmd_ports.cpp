#include <cstdio>

#include "command.h"
#include "engine_context.h"
#include "serial/port_info.h"

namespace ostrand::cli {
namespace {

int run(std::vector<std::string>& argv);

const Command kCommand{
    "ports", "list the serial ports of this machine",
    "usage: ostrand-cli ports [--json] [--sysfs DIR] [--dev DIR]\n\n"
    "Lists the serial ports the system reports, in the order the setup dialog shows\n"
    "them: the device path, its stable /dev/serial/by-id/ name when it has one (use\n"
    "that with --port: it survives replugging), the driver, the USB vendor:product\n"
    "and serial number, and the adapter's description.\n\n"
    "  --json       one JSON document on stdout with the list \"ports\"\n"
    "  --sysfs DIR  read the port facts from DIR instead of /sys\n"
    "  --dev DIR    take the device nodes from DIR instead of /dev\n",
    run};
const Registrar kRegistered{kCommand};

std::string usbIds(const PortInfo& p) {
    return p.vendorId.empty() ? "-" : p.vendorId + ":" + p.productId;
}

int run(std::vector<std::string>& argv) {
    Args args(argv);
    std::string sysRoot = "/sys", devRoot = "/dev";
    args.take("--sysfs", sysRoot);
    args.take("--dev", devRoot);
    const bool json = args.flag("--json");
    if (args.error()) return usageError(kCommand, args.errorText());
    if (std::string bad = args.unknownOption(); !bad.empty())
        return usageError(kCommand, "unknown option " + bad);
    if (!args.rest().empty()) return usageError(kCommand, "takes no arguments");

    const std::vector<PortInfo> ports = describePorts(sysRoot, devRoot);
    if (json) {
        std::string out = "{\"command\": \"ports\", \"ok\": true, \"ports\": [";
        for (size_t i = 0; i < ports.size(); ++i) {
            const PortInfo& p = ports[i];
            out += std::string(i ? ", " : "") + "{\"path\": " + jsonString(p.path) +
                   ", \"byId\": " + jsonString(p.byId) + ", \"driver\": " + jsonString(p.driver) +
                   ", \"vendorId\": " + jsonString(p.vendorId) +
                   ", \"productId\": " + jsonString(p.productId) +
                   ", \"serialNumber\": " + jsonString(p.serialNumber) +
                   ", \"description\": " + jsonString(p.description) + "}";
        }
        std::printf("%s]}\n", out.c_str());
        return kExitOk;
    }
    if (ports.empty()) {
        std::fprintf(stderr,
                     "ostrand-cli: no serial ports found; a USB adapter shows up here once "
                     "plugged in\n");
        return kExitOk;
    }
    std::printf("%-16s %-12s %-10s %-16s %s\n", "PORT", "DRIVER", "USB", "SERIAL", "DESCRIPTION");
    for (const PortInfo& p : ports) {
        std::printf("%-16s %-12s %-10s %-16s %s\n", p.path.c_str(),
                    p.driver.empty() ? "-" : p.driver.c_str(), usbIds(p).c_str(),
                    p.serialNumber.empty() ? "-" : p.serialNumber.c_str(), p.description.c_str());
        if (!p.byId.empty()) std::printf("  %s\n", p.byId.c_str());
    }
    return kExitOk;
}

}  // namespace
}  // namespace ostrand::cli
