#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/file_io.h"
#include "app/version.h"
#include "command.h"
#include "serial/wire_trace.h"

namespace ostrand::cli {

namespace {
std::vector<Command>& registry() {
    static std::vector<Command> list;
    return list;
}

void printCommands(FILE* out) {
    std::fprintf(out,
                 "usage: ostrand-cli COMMAND [OPTIONS]\n\n"
                 "Serial flash programmer for single-chip microcontrollers.\n\ncommands:\n");
    for (const auto& c : commands())
        std::fprintf(out, "  %-10s %s\n", c.name.c_str(), c.summary.c_str());
    std::fprintf(out,
                 "\n'ostrand-cli COMMAND --help' describes one command.\n"
                 "'ostrand-cli --version' prints the version of the program and its definition "
                 "file.\n"
                 "--trace FILE (or OSTRAND_TRACE=FILE) on a command that connects writes every "
                 "byte on the\nline to FILE, with its time, direction, rate and frame.\n");
}
// The wire trace of this run: --trace FILE, else $OSTRAND_TRACE. False
// (with the reason on stderr) when the file cannot be written.
bool startTrace(std::vector<std::string>& args) {
    static ostrand::WireTrace trace;
    std::string path;
    Args probe(args);
    if (probe.take("--trace", path)) {
        if (!trace.open(path)) {
            std::fprintf(stderr, "ostrand-cli: cannot write the trace %s\n", path.c_str());
            return false;
        }
        ostrand::WireTrace::setActive(&trace);
        return true;
    }
    if (probe.error()) {
        std::fprintf(stderr, "ostrand-cli: %s\n", probe.errorText().c_str());
        return false;
    }
    if (ostrand::WireTrace::activateFromEnvironment()) return true;
    std::fprintf(stderr, "ostrand-cli: cannot write the trace named by OSTRAND_TRACE\n");
    return false;
}
}  // namespace

Registrar::Registrar(Command command) {
    auto& list = registry();
    auto it = list.begin();
    while (it != list.end() && it->name < command.name) ++it;
    list.insert(it, std::move(command));
}

const std::vector<Command>& commands() {
    return registry();
}

bool Args::take(std::string_view name, std::string& value) {
    for (size_t i = 0; i < args_.size(); ++i) {
        const std::string& a = args_[i];
        if (a == name) {
            if (i + 1 >= args_.size()) {
                error_ = true;
                errorText_ = std::string(name) + " needs a value";
                args_.erase(args_.begin() + static_cast<long>(i));
                return false;
            }
            value = args_[i + 1];
            args_.erase(args_.begin() + static_cast<long>(i),
                        args_.begin() + static_cast<long>(i) + 2);
            return true;
        }
        if (a.size() > name.size() && a.compare(0, name.size(), name) == 0 &&
            a[name.size()] == '=') {
            value = a.substr(name.size() + 1);
            args_.erase(args_.begin() + static_cast<long>(i));
            return true;
        }
    }
    return false;
}

bool Args::flag(std::string_view name) {
    for (size_t i = 0; i < args_.size(); ++i) {
        if (args_[i] == name) {
            args_.erase(args_.begin() + static_cast<long>(i));
            return true;
        }
    }
    return false;
}

bool Args::wantsHelp() const {
    for (const auto& a : args_)
        if (a == "--help" || a == "-h") return true;
    return false;
}

std::string Args::unknownOption() const {
    for (const auto& a : args_)
        if (a.size() > 2 && a.compare(0, 2, "--") == 0) return a;
    return {};
}

static void keepStandardStreamsOpen() {
    // A closed stdin would let the serial port open as descriptor 0, and the
    // questions would read the chip's bytes as answers.
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1) continue;
        const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) {
            dup2(opened, fd);
            close(opened);
        }
    }
}

int usageError(const Command& cmd, const std::string& text) {
    std::fprintf(stderr, "ostrand-cli %s: %s\nTry 'ostrand-cli %s --help'.\n", cmd.name.c_str(),
                 text.c_str(), cmd.name.c_str());
    return kExitUsage;
}

}  // namespace ostrand::cli

int main(int argc, char** argv) {
    using namespace ostrand::cli;
    keepStandardStreamsOpen();
    if (argc < 2) {
        printCommands(stderr);
        return kExitUsage;
    }
    std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        printCommands(stdout);
        return kExitOk;
    }
    if (name == "--version") {
        std::fputs(ostrand::versionText("ostrand-cli", ostrand::programFolder()).c_str(), stdout);
        return kExitOk;
    }
    for (const auto& c : commands()) {
        if (c.name != name) continue;
        std::vector<std::string> args(argv + 2, argv + argc);
        Args probe(args);
        if (probe.wantsHelp()) {
            std::fputs(c.usage.c_str(), stdout);
            return kExitOk;
        }
        if (!startTrace(args)) return kExitUsage;
        return c.run(args);
    }
    std::fprintf(stderr, "ostrand-cli: unknown command '%s'\n\n", name.c_str());
    printCommands(stderr);
    return kExitUsage;
}
