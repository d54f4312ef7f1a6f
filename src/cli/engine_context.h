// What the flash commands share: the common options, the program's state
// around an engine connected to the chip, a progress bar with bytes, rate and
// time left, and the --json result.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/device_database.h"
#include "app/operator.h"
#include "app/password_set.h"
#include "app/session.h"
#include "app/setup_settings.h"
#include "command.h"
#include "engine/flash_engine.h"
#include "engine/flash_operations.h"
#include "objfile/object_image.h"
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

class EngineContext {
  public:
    explicit EngineContext(const CommonOptions& options);
    ~EngineContext();

    // Loads the program folder, the setup and, when `objectFile` is not
    // empty (or the setup names one and needObject), the object file; then
    // connects. kExitOk, or kExitFailed with the message shown.
    int open(bool needObject, const std::string& objectFile);

    Session session;
    CliOperator op;
    DeviceDatabase devices{session, op};
    SetupSettings settings{session, op, devices};
    PasswordSet passwords{session, op};
    std::unique_ptr<ObjectImage> image;
    std::unique_ptr<CFlashEngine> engine;
    std::unique_ptr<FlashOperations> ops;

    // Extra "key": value pairs of the JSON result (values already JSON).
    std::vector<std::pair<std::string, std::string>> results;
    // Prints the JSON result when asked for; returns status. A run the
    // operator chose to leave (a protected chip not erased) has failed.
    int finish(const std::string& command, int status);

  private:
    CommonOptions options_;
    bool leaving_ = false;
};

// Reads the common options; returns false (with a usage error in
// args.errorText()) on a bad option.
bool takeCommonOptions(Args& args, CommonOptions& options);

// Puts the options' device, port, rate and device password over the setup's
// values for this run, keeping the setup's rules (a fixed clock, a default
// rate). kExitOk, or the exit status with its numbered message shown.
int applyRunOverrides(const CommonOptions& options, SetupValues& values, DeviceDatabase& devices,
                      Operator& op);
// The options of a command that takes at most one object FILE (empty: the
// setup's). False on bad usage, with the message printed and `status` set.
bool takeFileCommandOptions(Args& args, const Command& self, CommonOptions& options,
                            std::string& file, int& status);

// The command of that name (for usage errors).
const Command& commandNamed(const std::string& name);

std::string jsonString(const std::string& text);

}  // namespace ostrand::cli
