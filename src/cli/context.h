// What most commands need: the program folder, the definition file and the
// setup file, loaded the way the program loads them, with messages on stderr.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "app/device_database.h"
#include "app/operator.h"
#include "app/session.h"
#include "app/setup_settings.h"
#include "command.h"

#include "port_advice.h"

namespace ostrand::cli {

struct Context {
    Session session;
    ConsoleOperator op{session};
    DeviceDatabase devices{session, op};
    SetupSettings settings{session, op, devices};
    std::filesystem::path home;

    // --home (default: the program folder) and the definition file in it.
    // False when the definition file did not load (message shown).
    bool loadHome(Args& args);
    // --setup FILE, or Ostrand.ini in the program folder when it exists.
    // Returns the result of loadSetupFile, or 1 when there was no file to load.
    int loadSetup(Args& args);
};

}  // namespace ostrand::cli
