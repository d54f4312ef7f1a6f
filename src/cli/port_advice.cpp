#include "port_advice.h"

#include <cerrno>
#include <cstdio>

#include "serial/port.h"

namespace ostrand::cli {

std::string portFailureAdvice(int error, const std::string& port) {
    switch (error) {
        case EACCES:
        case EPERM:
            return "ostrand-cli: no permission to use " + port +
                   ": add yourself to the 'dialout' group (sudo usermod -aG dialout $USER) "
                   "and log in again";
        case EBUSY:
            return "ostrand-cli: " + port + " is in use by another program";
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return "ostrand-cli: " + port + " does not exist; is the adapter plugged in?";
        case ENOTTY:
            return "ostrand-cli: " + port +
                   " is a file, not a serial port; 'ostrand-cli ports' lists the ports";
        case EISDIR:
            return "ostrand-cli: " + port +
                   " is a folder, not a serial port; 'ostrand-cli ports' lists the ports";
        default:
            return {};
    }
}

void explainPortFailure(const Port& port, const std::string& name) {
    std::string advice = portFailureAdvice(port.lastErrno(), name);
    if (!advice.empty()) std::fprintf(stderr, "%s\n", advice.c_str());
}

}  // namespace ostrand::cli
