#include "sim/options.h"

namespace ostrand::sim {

const char* const kUsage =
    "Usage: ostrand-sim --home DIR --device NAME [--link PATH] [--flash FILE] [--pace]\n"
    "                   [--fault FAULT]... [--log FILE] [--unlisted]\n"
    "\n"
    "Plays the chip NAME of DIR/Ostrand.def on a new pseudo-terminal and prints\n"
    "the terminal's path on the first line. Stop it with Ctrl-C or SIGTERM.\n"
    "The terminal is also listed among this user's ports, as the link NAME.PID in\n"
    "$XDG_RUNTIME_DIR/ostrand/ports (else ~/.local/share/ostrand/ports), where\n"
    "Ostrand's COM Port list finds it; the link goes when the simulator ends.\n"
    "\n"
    "  --home DIR      folder of Ostrand.def\n"
    "  --device NAME   device name, as in the definition file\n"
    "  --link PATH     also make PATH a symbolic link to the terminal\n"
    "  --flash FILE    keep the flash in FILE (a missing file is a blank chip); a FILE\n"
    "                  that cannot be written is refused, and a write that fails\n"
    "                  later leaves the chip silent, as if its supply had failed\n"
    "  --pace          every byte takes its time on the wire\n"
    "  --log FILE      one line per event: rx, tx, rate, reset, wcp, read, flash, fault\n"
    "  --unlisted      not among the ports: only the printed path leads to it\n"
    "  --fault FAULT   inject a fault; repeatable. A fault fires once, or every\n"
    "                  time with '*' at its end:\n"
    "      noreply:STEP       no answer at STEP, the chip starts over\n"
    "      reply:STEP=CODE    answer CODE (hex) instead at STEP, drop the command\n"
    "      noise:STEP         three noise bytes before the answer at STEP\n"
    "      ecc                the next WCP write ends with an ECC error\n"
    "      protected          the chip starts read-protected\n"
    "      password           the chip refuses every password\n"
    "      late:MS            after every reset (an opening of the port) the answer\n"
    "                         to the first matching byte comes MS milliseconds late\n"
    "    STEP: match, rate, or a command byte in hex (60) for its echo, with\n"
    "    .header (first answer after the echo), .data (the next one) or .done\n"
    "    (the completion) for its later answers: 60.done. See docs/protocol.md.\n";

std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string& error) {
    Options o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            into = args[++i];
            return true;
        };
        if (a == "--help" || a == "-h") {
            o.help = true;
            return o;
        }
        if (a == "--pace") {
            o.pace = true;
        } else if (a == "--unlisted") {
            o.unlisted = true;
        } else if (a == "--home") {
            if (!value(o.home)) return std::nullopt;
        } else if (a == "--device") {
            if (!value(o.device)) return std::nullopt;
        } else if (a == "--link") {
            if (!value(o.link)) return std::nullopt;
        } else if (a == "--flash") {
            if (!value(o.flashFile)) return std::nullopt;
        } else if (a == "--log") {
            if (!value(o.logFile)) return std::nullopt;
        } else if (a == "--fault") {
            std::string text;
            if (!value(text)) return std::nullopt;
            auto fault = FaultSet::parse(text, error);
            if (!fault) return std::nullopt;
            o.faults.push_back(*fault);
        } else {
            error = "unknown argument '" + a + "'";
            return std::nullopt;
        }
    }
    if (o.home.empty() || o.device.empty()) {
        error = "--home and --device are required";
        return std::nullopt;
    }
    return o;
}

}  // namespace ostrand::sim
