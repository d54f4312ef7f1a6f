#include "advice.h"

namespace ostrand::cli {

std::string adviceFor(const ShownMessage& m, const AdviceFacts& facts) {
    std::string text;
    switch (m.code) {
        case 10000:
        case 10002:
            text = facts.connecting
                       ? "the chip did not answer: is the board powered, reset into its boot "
                         "mode and wired to this port, and does --rate suit its clock? "
                         "--trace FILE shows what went over the line"
                       : "the chip stopped answering: check the cable and the board's supply; "
                         "a lower --rate helps on a long or noisy line";
            break;
        case 10016:
            text =
                "the flash is not blank where it was to be written: erase first (--erase, or "
                "'ostrand-cli erase'); programming only clears bits";
            break;
        case 10114:
            text =
                "'ostrand-cli devices' lists the devices of the definition file; a newer "
                "Ostrand.def comes from the web address in its [COMMON] section";
            break;
        case 10202:
            text = facts.refusedLine == 0 ? "the file holds no record this device can take"
                                          : "line " + std::to_string(facts.refusedLine) +
                                                " of the object file is not a valid record";
            break;
        case 11026:
            text =
                "the chip did not take its protection: it may be protected already or "
                "need a chip erase first; 'ostrand-cli connect' shows its status";
            break;
        default:
            return {};
    }
    return "ostrand-cli: advice: " + text;
}

}  // namespace ostrand::cli
