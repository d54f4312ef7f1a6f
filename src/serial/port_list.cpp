// The port list: serial devices the kernel reports, probed by opening them.
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>

#include "app/program_folder.h"
#include "serial/serial_port.h"

namespace ostrand {
namespace {

namespace fs = std::filesystem;

bool isDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// "ttyUSB2" before "ttyUSB10": digit runs compare as numbers.
bool naturalLess(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            size_t ie = i, je = j;
            while (ie < a.size() && isDigit(a[ie])) ++ie;
            while (je < b.size() && isDigit(b[je])) ++je;
            size_t iz = i, jz = j;
            while (iz + 1 < ie && a[iz] == '0') ++iz;
            while (jz + 1 < je && b[jz] == '0') ++jz;
            const std::string_view na(a.data() + iz, ie - iz), nb(b.data() + jz, je - jz);
            if (na.size() != nb.size()) return na.size() < nb.size();
            if (na != nb) return na < nb;
            i = ie;
            j = je;
        } else {
            if (a[i] != b[j]) return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    if (a.size() - i != b.size() - j) return a.size() - i < b.size() - j;
    return a < b;
}

// ttyS names exist for every possible 8250 slot; only those with a UART count.
bool uartPresent(const fs::path& sysEntry) {
    std::ifstream in(sysEntry / "type");
    int type = -1;
    return !(in >> type) || type != PORT_UNKNOWN;
}

// A device that opens as a terminal is free to use. One we may not open is
// still listed: opening it later tells the person why it fails.
bool usable(const fs::path& dev, bool uart) {
    const int fd = ::open(dev.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == EACCES || errno == EPERM;
    bool ok = isatty(fd) != 0;
    struct serial_struct serial {};
    if (ok && uart && ioctl(fd, TIOCGSERIAL, &serial) == 0) ok = serial.type != PORT_UNKNOWN;
    ::close(fd);
    return ok;
}

}  // namespace

std::vector<std::string> SerialPort::virtualPortsIn(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (it->is_symlink(ec) && registrationLive(name) && usable(it->path(), false))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end(), naturalLess);
    std::vector<std::string> list;
    for (const auto& name : names) list.push_back((folder / name).string());
    return list;
}

std::vector<std::string> SerialPort::systemPorts(bool multiInstance, const std::string& ownPort) {
    std::vector<std::string> list = listPortsIn("/sys/class/tty", "/dev", multiInstance, ownPort);
    const fs::path folder = virtualPortFolder();
    if (!folder.empty())
        for (std::string& p : virtualPortsIn(folder)) list.push_back(std::move(p));
    return list;
}

std::vector<std::string> SerialPort::listPortsIn(const fs::path& sysClassTty,
                                                 const fs::path& devDir, bool multiInstance,
                                                 const std::string& ownPort) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(sysClassTty, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        // Virtual consoles and pseudo-terminals have no device behind them.
        if (!fs::exists(it->path() / "device", ec)) continue;
        if (name.starts_with("ttyS") && !uartPresent(it->path())) continue;
        names.push_back(name);
    }
    std::sort(names.begin(), names.end(), naturalLess);

    std::vector<std::string> list;
    for (const auto& name : names) {
        const fs::path dev = devDir / name;
        // This instance may be the one holding its own port open.
        if (usable(dev, name.starts_with("ttyS")) || (multiInstance && dev.string() == ownPort))
            list.push_back(dev.string());
    }
    return list;
}

}  // namespace ostrand
