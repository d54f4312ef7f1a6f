// What the commands that stay off the chip need: the program folder, the
// definition file and the setup file, loaded the way the program loads them,
// with messages on stderr.
#pragma once

#include <filesystem>
#include <memory>

#include "app/session.h"
#include "command.h"
#include "console_operator.h"
#include "engine/engine_session.h"
#include "engine_context.h"

namespace ostrand::cli {

struct Context {
    Session session;
    CliOperator op{session, false};        // keeps the messages for --json
    std::unique_ptr<EngineSession> parts;  // built by loadHome
    std::filesystem::path home;

    // --home (default: the program folder) and the definition file in it.
    // False when the definition file did not load (message shown).
    bool loadHome(Args& args);

    DeviceDatabase& devices() { return parts->devices; }
    SetupSettings& settings() { return parts->settings; }
};

}  // namespace ostrand::cli
