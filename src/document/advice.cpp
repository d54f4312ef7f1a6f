#include "document/advice.h"

#include <cerrno>

#include "engine/engine_session.h"

namespace ostrand {

AdviceFacts adviceFacts(const EngineSession& parts) {
    AdviceFacts f;
    f.connecting = parts.session.ConnectStatus != kConnected;
    f.refusedLine = parts.image.refusedLine();
    f.portError = parts.engine.port().lastErrno();
    f.port = parts.settings.inForce.comPort;
    f.webSite = parts.devices.webSiteUrl();
    return f;
}

std::string portFailureAdvice(int error, const std::string& port) {
    switch (error) {
        case EACCES:
        case EPERM:
            return "no permission to use " + port +
                   ": add yourself to the 'dialout' group (sudo usermod -aG dialout $USER) "
                   "and log in again";
        case EBUSY:
            return port + " is in use by another program";
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return port +
                   " does not exist; is the adapter plugged in? 'ostrand-cli ports' "
                   "lists the ports";
        case ENOTTY:
            return port + " is a file, not a serial port; 'ostrand-cli ports' lists the ports";
        case EISDIR:
            return port + " is a folder, not a serial port; 'ostrand-cli ports' lists the ports";
        default:
            return {};
    }
}

std::string adviceFor(const ShownMessage& m, const AdviceFacts& facts) {
    switch (m.code) {
        case 10001:
            return portFailureAdvice(facts.portError, facts.port);
        case 10000:
        case 10002:
            return facts.connecting
                       ? "the chip did not answer: is the board powered, reset into its boot "
                         "mode and wired to this port, and does --rate suit its clock? "
                         "--trace FILE shows what went over the line"
                       : "the chip stopped answering: check the cable and the board's supply; "
                         "a lower --rate helps on a long or noisy line";
        case 10016:
            return "the flash is not blank where it was to be written: erase first (--erase, "
                   "or 'ostrand-cli erase'); programming only clears bits";
        case 10114:
            return "'ostrand-cli devices' lists the devices of the definition file; a newer "
                   "Ostrand.def comes from " +
                   (facts.webSite.empty() ? std::string("the maker's web site") : facts.webSite);
        case 10202:
            return facts.refusedLine == 0 ? "the file holds no record this device can take"
                                          : "line " + std::to_string(facts.refusedLine) +
                                                " of the object file is not a valid record";
        case 11026:
            return "the chip did not take its protection: it may be protected already or "
                   "need a chip erase first; 'ostrand-cli connect' shows its status";
        default:
            return {};
    }
}

}  // namespace ostrand
