// What the flash commands share: the common options, one run from the
// arguments to the exit status (runFlashCommand), the document brought up
// and connected to the chip, and the --json result.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/json_text.h"
#include "app/session.h"
#include "command.h"
#include "console_operator.h"
#include "document/document.h"
#include "password_options.h"

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
// The --record option of the commands that write the chip.
extern const char* const kRecordUsage;

// The start-up request of a console run with these options.
StartupRequest consoleRequest(const CommonOptions& options, bool needObject,
                              const std::string& objectFile);
// The exit status of a start-up that did not reach the chip, with a line on
// stderr where no numbered message tells it; kExitOk once connected.
int startupStatus(const StartupResult& result, const std::string& command);

class EngineContext {
  public:
    explicit EngineContext(const CommonOptions& options);
    ~EngineContext();
    EngineContext(const EngineContext&) = delete;
    EngineContext& operator=(const EngineContext&) = delete;

    const CommonOptions& options() const { return options_; }

    Session session;
    CliOperator op;
    DocumentCore doc;
    StartupResult started;

    // The command's outcome, for the JSON result.
    const Outcome& record(Outcome o) {
        outcome = std::move(o);
        return *outcome;
    }
    std::optional<Outcome> outcome;

    // Extra "key": value pairs of the JSON result (values already JSON).
    std::vector<std::pair<std::string, std::string>> results;
    // The step the run record names (--record); the body may name it better.
    std::string recordStep;
    // Prints the JSON result when asked for; returns status. A run the
    // operator chose to leave (a protected chip not erased) has failed.
    int finish(const std::string& command, int status);

  private:
    CommonOptions options_;
    std::optional<ProgressEvent> lastBar_;  // the last progress with a known end
};

// How a flash command reads its words and what it does once connected. The
// preamble takes the common options, then `options`, rejects unknown
// options, takes the operands, and brings the document up; the body is the
// command's own work. Every hook may stay empty.
struct FlashCommand {
    std::string name;
    // The command works with the object file (FILE, or the setup's).
    bool needObject = false;
    // The operands are at most one FILE: the object file.
    bool fileOperand = false;
    // The command writes the chip: --record FILE appends its run record,
    // with this step.
    std::string recordStep{};
    // The command's own options: "" or the usage error.
    std::function<std::string(Args&)> options{};
    // The words left after the options: "" or the usage error. Empty (and
    // no fileOperand): the command takes none.
    std::function<std::string(std::vector<std::string>&)> operands{};
    // Right after start-up, with its exit status.
    std::function<void(EngineContext&, int opened)> opened{};
    // The work on the connected chip; returns the exit status.
    std::function<int(EngineContext&)> body{};
};

// The whole run of a flash command; returns its exit status.
int runFlashCommand(std::vector<std::string>& argv, const FlashCommand& command);

// Reads the common options; returns false (with a usage error in
// args.errorText()) on a bad option.
bool takeCommonOptions(Args& args, CommonOptions& options);

// Registers the session's abort word with Ctrl-C while it lives.
class InterruptScope {
  public:
    explicit InterruptScope(Session& session);
    ~InterruptScope();
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;

  private:
    Session& session_;
};

// The program folder the options name (default: the program's folder).
std::filesystem::path homeFolder(const CommonOptions& options);

// The command of that name (for usage errors).
const Command& commandNamed(const std::string& name);

// The messages shown, as the JSON array of a result object.
std::string jsonMessages(const std::vector<ShownMessage>& messages);

}  // namespace ostrand::cli
