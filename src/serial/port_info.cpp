#include "serial/port_info.h"

#include <fstream>
#include <map>

#include "serial/serial_port.h"

namespace ostrand {
namespace {

namespace fs = std::filesystem;

std::string firstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
    return line;
}

// The by-id links, keyed by the device each one resolves to.
std::map<std::string, std::string> byIdLinks(const fs::path& devRoot) {
    std::map<std::string, std::string> links;
    std::error_code ec;
    const fs::path folder = devRoot / "serial" / "by-id";
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code lec;
        const fs::path target = fs::read_symlink(it->path(), lec);
        if (lec) continue;
        const fs::path device = (folder / target).lexically_normal();
        // Several links to one device: the first in name order stays.
        auto [pos, added] = links.emplace(device.filename().string(), it->path().string());
        if (!added && it->path().string() < pos->second) pos->second = it->path().string();
    }
    return links;
}

void describe(PortInfo& info, const fs::path& sysRoot) {
    const std::string name = fs::path(info.path).filename().string();
    std::error_code ec;
    const fs::path device = fs::canonical(sysRoot / "class" / "tty" / name / "device", ec);
    if (ec) return;
    info.driver = fs::read_symlink(device / "driver", ec).filename().string();
    const fs::path root = fs::canonical(sysRoot, ec);
    std::string interfaceName;
    // Up from the port to the USB device that carries the adapter's ids.
    for (fs::path p = device; !p.empty() && p != root && p != p.parent_path();
         p = p.parent_path()) {
        if (interfaceName.empty() && fs::exists(p / "interface", ec))
            interfaceName = firstLine(p / "interface");
        if (!fs::exists(p / "idVendor", ec)) continue;
        info.vendorId = firstLine(p / "idVendor");
        info.productId = firstLine(p / "idProduct");
        info.serialNumber = firstLine(p / "serial");
        const std::string maker = firstLine(p / "manufacturer");
        const std::string product = firstLine(p / "product");
        info.description = maker + (maker.empty() || product.empty() ? "" : " ") + product;
        break;
    }
    if (info.description.empty()) info.description = interfaceName;
}

}  // namespace

std::vector<PortInfo> describePorts(const fs::path& sysRoot, const fs::path& devRoot) {
    const auto links = byIdLinks(devRoot);
    std::vector<PortInfo> ports;
    for (const std::string& path :
         SerialPort::listPortsIn(sysRoot / "class" / "tty", devRoot, false, {})) {
        PortInfo info;
        info.path = path;
        if (auto it = links.find(fs::path(path).filename().string()); it != links.end())
            info.byId = it->second;
        describe(info, sysRoot);
        ports.push_back(std::move(info));
    }
    return ports;
}

}  // namespace ostrand
