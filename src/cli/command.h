// ostrand-cli: each command lives in a file of its own and registers itself.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrand {
class ObjectImage;
}

namespace ostrand::cli {

// Exit statuses of every command.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct Command {
    std::string name;
    std::string summary;  // one line for the command list
    std::string usage;    // the whole --help text
    std::function<int(std::vector<std::string>&)> run;
};

struct Registrar {
    explicit Registrar(Command command);
};

const std::vector<Command>& commands();

// A small option reader: "--name value", "--name=value" and flags.
class Args {
  public:
    explicit Args(std::vector<std::string>& args) : args_(args) {}
    // Removes "--name VALUE" / "--name=VALUE"; false when absent. Sets error
    // when the value is missing.
    bool take(std::string_view name, std::string& value);
    bool flag(std::string_view name);
    bool wantsHelp() const;
    // Anything left that starts with "--" is an unknown option.
    std::string unknownOption() const;
    std::vector<std::string>& rest() { return args_; }
    bool error() const { return error_; }
    // Records a usage error found in the values taken.
    void fail(std::string text) {
        error_ = true;
        errorText_ = std::move(text);
    }
    const std::string& errorText() const { return errorText_; }

  private:
    std::vector<std::string>& args_;
    bool error_ = false;
    std::string errorText_;
};

// Prints "ostrand-cli <cmd>: <text>" and the usage hint; returns kExitUsage.
int usageError(const Command& cmd, const std::string& text);

// A plain warning line on stderr when the loaded object file does not end
// with an end record (loaded all the same; a file cut short looks so).
void warnIfEndRecordMissing(const ObjectImage& image);

}  // namespace ostrand::cli
