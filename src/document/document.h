// The document core: what the program owns for its whole life (an engine
// session: device database, settings, passwords, memory image, engine) and
// the order in which it comes up and goes down. The windowed program and ostrand-cli both drive
// this one implementation through their own Operator.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/file_io.h"
#include "app/operator.h"
#include "app/session.h"
#include "document/auto_program.h"
#include "engine/engine_session.h"

namespace ostrand {

// The object path of the command line: the words after the program name as
// one text, a pair of double quotes around the whole removed. The
// ",MSG_ON"/",MSG_OFF" option stays on it until a setup file is read.
std::string commandLineObjectPath(int argc, const char* const* argv);

// Why a start-up found the program folder's instance lock closed to it:
// `failure` is the lock's (EWOULDBLOCK: another process holds it).
std::string instanceRefusal(const std::filesystem::path& folder, const std::filesystem::path& lock,
                            int failure);

class DocumentCore : public EngineSession {
  public:
    DocumentCore(Session& session, Operator& op, std::filesystem::path programFolder);
    ~DocumentCore();
    DocumentCore(const DocumentCore&) = delete;
    DocumentCore& operator=(const DocumentCore&) = delete;

    // Start-up in its fixed order. 1: the program runs on; 0: it ends now
    // (a second instance, or the definition file failed) with ExitStatus.
    int32_t startUp(const std::string& commandLine);
    // Shut-down: worker stopped, port closed, lock released, held setup file
    // closed. Returns the exit status of the program.
    int32_t shutDown();

    // The unattended run that the command line asked for, when start-up left
    // it pending (the engine asks for it from inside a connection; it runs
    // once the connection has returned). Returns 1 when it ran.
    int32_t runPendingCommandLineRun();
    bool quitRequested() const { return quitRequested_; }
    // Start-up ended at the instance lock: why, for the front end to say.
    std::string startRefusal;

    // A setup file to start with instead of the default one (ostrand-cli).
    std::filesystem::path setupFile;

    // ostrand-cli: replaces setup values for this run once the setup is read
    // (before the object loads), and takes what needs the object once it has
    // loaded. Either returning false ends the start-up before the connection.
    std::function<bool()> setupRead;
    // ostrand-cli: the options name the device and the port, so the run goes
    // on without a valid setup file (setupRead fills in what it needs).
    bool setupFromOptions = false;
    std::function<bool()> objectLoaded;
    // false: the caller holds the program's instance lock for several
    // documents at once (a gang of ports in one process).
    bool takeInstanceLock = true;

    // At start-up, the setup dialog when no valid default setup exists.
    std::function<void()> openSetupDialog;

    AutoProgrammer autoProgrammer;
    bool connected = false;
    // The memory view's panes redraw after a disconnection (the windowed
    // program clears each once it has redrawn).
    int32_t viewRedraw[3] = {};

  private:
    FileLock instanceLock_;
    bool commandLineRunPending_ = false;
    bool quitRequested_ = false;
    bool shutDown_ = false;
};

}  // namespace ostrand
