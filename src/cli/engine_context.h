// What the flash commands share: the common options, one run from the
// arguments to the exit status (runFlashCommand), an engine session connected
// to the chip, a progress bar with bytes, rate and time left, and the --json
// result.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/operator.h"
#include "app/session.h"
#include "command.h"
#include "engine/engine_session.h"
#include "password_options.h"

namespace ostrand {
class DocumentCore;
}

namespace ostrand::cli {

// Console messages, questions and progress, and a record of every message
// for the --json result.
class CliOperator : public ConsoleOperator {
  public:
    CliOperator(Session& session, bool assumeYes) : ConsoleOperator(session, assumeYes) {}
    std::vector<ShownMessage> shown;

  protected:
    void present(const ShownMessage& message) override;
};

// The common options of the flash commands.
struct CommonOptions {
    std::string home, setup, port, device, rate;
    bool haveHome = false, haveSetup = false, havePort = false, haveDevice = false,
         haveRate = false;
    bool json = false;
    bool yes = false;
    PasswordOptions passwords;
};

extern const char* const kCommonUsage;

// While it lives, SIGINT and SIGTERM ask the session's operations to stop
// between blocks; a second one also cuts short the steps under way.
class InterruptGuard {
  public:
    explicit InterruptGuard(Session& session);
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

  private:
    Session& session_;
};

class EngineContext {
  public:
    explicit EngineContext(const CommonOptions& options);
    ~EngineContext();
    EngineContext(const EngineContext&) = delete;
    EngineContext& operator=(const EngineContext&) = delete;

    // Loads the program folder, the setup and, when `objectFile` is not
    // empty (or the setup names one and needObject), the object file; then
    // connects. kExitOk, or kExitFailed with the message shown.
    int open(bool needObject, const std::string& objectFile);
    const CommonOptions& options() const { return options_; }
    // open() got as far as trying the port.
    bool connectTried() const { return connectTried_; }

    Session session;
    InterruptGuard interrupts{session};
    CliOperator op;
    EngineSession parts;  // for the options' program folder

    DeviceDatabase& devices() { return parts.devices; }
    SetupSettings& settings() { return parts.settings; }
    ObjectImage& image() { return parts.image; }
    CFlashEngine& engine() { return parts.engine; }
    FlashOperations& ops() { return parts.operations; }

    // Runs the command's operation (a callable returning its status); its
    // outcome goes into the JSON result.
    template <class F>
    const Outcome& perform(F&& operation) {
        outcome = captureOutcome(op, std::forward<F>(operation));
        return *outcome;
    }
    std::optional<Outcome> outcome;

    // Extra "key": value pairs of the JSON result (values already JSON).
    std::vector<std::pair<std::string, std::string>> results;
    // Prints the JSON result when asked for; returns status. A run the
    // operator chose to leave (a protected chip not erased) has failed.
    int finish(const std::string& command, int status);

  private:
    CommonOptions options_;
    bool leaving_ = false;
    bool connectTried_ = false;
    std::optional<ProgressEvent> lastBar_;  // the last progress with a known end
};

// How a flash command reads its words and what it does once connected. The
// preamble takes the common options, then `options`, rejects unknown
// options, takes the operands, opens and connects; the body is the command's
// own work. Every hook may stay empty.
struct FlashCommand {
    std::string name;
    // open() loads the object file (FILE, or the setup's).
    bool needObject = false;
    // The operands are at most one FILE: the object file.
    bool fileOperand = false;
    // The command's own options: "" or the usage error.
    std::function<std::string(Args&)> options{};
    // The words left after the options: "" or the usage error. Empty (and
    // no fileOperand): the command takes none.
    std::function<std::string(std::vector<std::string>&)> operands{};
    // Right after open(), with its status.
    std::function<void(EngineContext&, int opened)> opened{};
    // The work on the connected chip; returns the exit status.
    std::function<int(EngineContext&)> body{};
};

// The whole run of a flash command; returns its exit status.
int runFlashCommand(std::vector<std::string>& argv, const FlashCommand& command);

// Reads the common options; returns false (with a usage error in
// args.errorText()) on a bad option.
bool takeCommonOptions(Args& args, CommonOptions& options);

// Puts the options' device, port, rate and device password over the setup's
// values for this run, keeping the setup's rules (a fixed clock, a default
// rate). kExitOk, or the exit status with its numbered message shown.
int applyRunOverrides(const CommonOptions& options, EngineSession& parts);
// An unattended auto-programming run of `doc`: no erase question at the first
// connection, and the options over the setup once it is read (the object
// when the setup names none) and over the object's password once it has
// loaded. `refused` takes the exit status of an option that could not apply.
void takeRunOptions(DocumentCore& doc, const CommonOptions& options, const std::string& object,
                    Operator& op, int& refused);

// The program folder the options name (default: the program's folder).
std::filesystem::path homeFolder(const CommonOptions& options);

// The command of that name (for usage errors).
const Command& commandNamed(const std::string& name);

std::string jsonString(const std::string& text);
// The messages shown, as the JSON array of a result object.
std::string jsonMessages(const std::vector<ShownMessage>& messages);

}  // namespace ostrand::cli
