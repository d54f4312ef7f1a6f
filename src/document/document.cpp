#include "document/document.h"

#include <sys/file.h>

#include <cerrno>
#include <cstring>

#include "app/profile.h"
#include "serial/serial_port.h"

namespace ostrand {

namespace fs = std::filesystem;

std::string commandLineObjectPath(int argc, const char* const* argv) {
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) text += ' ';
        text += argv[i];
    }
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        text = text.substr(1, text.size() - 2);
    return text;
}

std::string instanceRefusal(const fs::path& folder, const fs::path& lock, int failure) {
    if (failure != EWOULDBLOCK)
        return "cannot take the lock " + lock.string() + " of the program folder " +
               folder.string() + ": " + std::strerror(failure);
    std::string holders;
    for (int pid : lockHolders(lock))
        holders += (holders.empty() ? " by PID " : ", ") + std::to_string(pid);
    return "the program folder " + folder.string() + " is in use: its lock " + lock.string() +
           " is held" + (holders.empty() ? " by another program" : holders);
}

DocumentCore::DocumentCore(Session& s, Operator& o, fs::path folder)
    : EngineSession(s, o, std::move(folder)), autoProgrammer(*this) {
    // The engine asks for the command line's run from inside a connection;
    // it runs once that connection has returned.
    EngineHooks hooks;
    hooks.startCommandLineRun = [this] {
        if (!autoProgrammer.autoRunDone) commandLineRunPending_ = true;
    };
    hooks.disconnected = [this] {
        for (int32_t& f : viewRedraw) f = 1;
    };
    engine.setHooks(std::move(hooks));
}

DocumentCore::~DocumentCore() {
    shutDown();
}

int32_t DocumentCore::startUp(const std::string& commandLine) {
    // The instance switch is read straight from the definition file.
    auto def = ProfileFile::load(programFolder / "Ostrand.def");
    session.MultiInstance = def && def->getInt("COMMON", "Multi_On", 0) == 1 ? 1 : 0;

    // One instance at a time unless several are allowed: every instance
    // holds the lock file shared, a single-instance start wants it alone.
    bool multi = session.MultiInstance == 1;
    const fs::path lockPath = programFolder / "Ostrand.lock";
    if (takeInstanceLock && !instanceLock_.acquire(lockPath, true, multi) && !multi) {
        startRefusal = instanceRefusal(programFolder, lockPath, instanceLock_.failure());
        session.ExitStatus = 0;
        return 0;
    }

    // Database, settings, ports, folders.
    devices.reset();
    // The definition file; without it the program cannot run.
    const bool defined = loadDefinitions();
    SerialPort::listPortsIn("/sys/class/tty", "/dev", multi, "").swap(settings.ports);
    if (!commandLine.empty()) settings.commandLinePath = commandLine;
    if (!defined) return 0;

    // The password log.
    passwords.loadPasswordLog(programFolder / "history.log");

    // The default setup file and its object file.
    bool ready = false;
    bool setupValid = false;
    if (!multi || !setupFile.empty()) setupValid = loadSetup(setupFile, false) == 0;
    if (setupValid || setupFromOptions) {
        if (setupRead && !setupRead()) return 0;
        takeSetup();
        ready = loadObject(false) == 1 && image.loaded();
        if (ready && objectLoaded && !objectLoaded()) return 0;
    }
    if (!commandLine.empty()) session.CommandLineRun = 1;
    if (!ready) {
        // Without a valid default setup the setup dialog comes first.
        devices.applyProgrammingMode();
        if (!commandLine.empty()) {
            int32_t show = session.ShowAutoResults;
            settings.inForce.openFile = cutAutoResultsOption(commandLine, show);
            session.ShowAutoResults = show;
        } else
            session.ExitStatus = 1;
        if (openSetupDialog) openSetupDialog();
        return 1;
    }
    if (commandLine.empty()) session.ExitStatus = 1;

    // The connection; a chip that does not answer leaves the worker trying.
    int32_t r = engine.connect(0);
    connected = r == 1;
    session.ConnectStatus = r == 1 ? kConnected : (r == 2 ? kConnecting : kDisconnected);
    return 1;
}

int32_t DocumentCore::runPendingCommandLineRun() {
    if (!commandLineRunPending_) return 0;
    commandLineRunPending_ = false;
    autoProgrammer.unattendedRun(true);
    quitRequested_ = true;
    return 1;
}

int32_t DocumentCore::shutDown() {
    if (!shutDown_) {
        shutDown_ = true;
        engine.disconnect();
        instanceLock_.release();
        settings.releaseHeldFile();
    }
    return session.ExitStatus;
}

}  // namespace ostrand
