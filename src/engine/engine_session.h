// One program folder's worth of state around an engine: the device list, the
// setup, the passwords, the memory image, the engine and its flash
// operations, built in the one order they depend on each other. Every front
// end (the document, ostrand-cli, the test rigs) builds them here; one process
// may hold several sessions at once, one per chip, since nothing here is
// shared between sessions or held process-wide (no instance lock, no signal).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "app/device_database.h"
#include "app/operator.h"
#include "app/password_set.h"
#include "app/session.h"
#include "app/setup_settings.h"
#include "engine/flash_engine.h"
#include "engine/flash_operations.h"
#include "objfile/object_image.h"

namespace ostrand {

// Values of one run that replace the setup's; nothing writes them back.
struct RunOverrides {
    std::optional<std::string> device{}, port{};
    std::optional<DataRate> rate{};
};

class EngineSession {
  public:
    // Builds the parts; nothing is read yet. `session` and `op` are this
    // session's own: a second session needs a second pair.
    EngineSession(Session& session, Operator& op, std::filesystem::path programFolder);
    EngineSession(const EngineSession&) = delete;
    EngineSession& operator=(const EngineSession&) = delete;

    // The settings' defaults for the folder and its definition file. False
    // when the definition file did not load (message shown).
    bool loadDefinitions();

    // Loads `file` as the setup (not the first load), or without a file the
    // folder's Ostrand.ini. Returns loadSetupFile's result; kNoSetupFile when
    // no file was given, the folder has none and `defaultOptional` is set.
    static constexpr int32_t kNoSetupFile = 1;
    int32_t loadSetup(const std::filesystem::path& file, bool defaultOptional = true);
    std::filesystem::path defaultSetupPath() const { return programFolder / "Ostrand.ini"; }

    // Puts the run's device, port and rate over the setup's values, keeping
    // the setup's own rules (the default rate, a fixed clock). False with
    // 10114 shown when the device is not in the definition file.
    bool applyOverrides(const RunOverrides& overrides);

    // The selected device's programming mode and the setup's passwords.
    void takeSetup();

    // Loads the settings' object file into the image, then the setup's
    // passwords again (the object's addresses may have changed them).
    int32_t loadObject(bool showProgress);

    Session& session;
    Operator& op;
    const std::filesystem::path programFolder;
    DeviceDatabase devices;
    SetupSettings settings;
    PasswordSet passwords;
    ObjectImage image;
    CFlashEngine engine;
    FlashOperations operations;
};

}  // namespace ostrand
