#include "document/document.h"

#include <sys/file.h>

#include <cerrno>
#include <cstring>

#include "app/password_rules.h"
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
    EngineHooks hooks;
    hooks.disconnected = [this] {
        for (int32_t& f : viewRedraw) f = 1;
    };
    // The rate the WCP put the line at stays the setup's rate in force.
    hooks.dataRateChanged = [this](DataRate rate) { settings.inForce.dataRate = rate; };
    // A chip without its password needs no erase without password any more.
    hooks.passwordErased = [this] {
        settings.inForce.eraseWithoutPassword = 0;
        passwords.eraseWithoutPassword = 0;
    };
    engine.setHooks(std::move(hooks));
}

DocumentCore::~DocumentCore() {
    shutDown();
}

int32_t DocumentCore::startUp(const std::string& commandLine) {
    StartupRequest r;
    r.commandLine = commandLine;
    return startUp(r).runs() ? 1 : 0;
}

int32_t DocumentCore::storeConnectResult(int32_t result) {
    connected = result == 1;
    session.ConnectStatus = connectStatusFor(result);
    return result;
}

int32_t DocumentCore::loadRunObject(const StartupRequest& r, bool& malformed) {
    SetupValues& v = settings.inForce;
    const DeviceDefinition& device = *devices.selected();
    applyBlankObjectPassword(r.passwords, device, passwords);
    if (!r.needObject && !r.passwords.haveObject) return 1;
    if (v.openFile.empty()) {
        op.showMessage(10135);
        return 2;
    }
    if (loadObject(false) != 1 || !image.loaded()) return 0;
    applyBlankObjectPassword(r.passwords, device, passwords);
    const RunPasswordResult p = applyObjectPassword(r.passwords, passwords, image, v, op,
                                                    [this] { return loadObject(false) == 1; });
    malformed = p == RunPasswordResult::Malformed;
    return p == RunPasswordResult::Ok ? 1 : 0;
}

StartupResult DocumentCore::startUp(const StartupRequest& r) {
    StartupResult result;
    console_ = r.console;
    // The instance switch is read straight from the definition file.
    auto def = ProfileFile::load(programFolder / "Ostrand.def");
    session.MultiInstance = def && def->getInt("COMMON", "Multi_On", 0) == 1 ? 1 : 0;

    // One instance at a time unless several are allowed: every instance
    // holds the lock file shared, a single-instance start wants it alone.
    const bool multi = session.MultiInstance == 1;
    const fs::path lockPath = programFolder / "Ostrand.lock";
    if (r.takeInstanceLock && !instanceLock_.acquire(lockPath, true, multi) && !multi) {
        result.refusal = instanceRefusal(programFolder, lockPath, instanceLock_.failure());
        session.ExitStatus = 0;
        return result;
    }

    // Database, settings, ports, folders; without the definition file the
    // program cannot run.
    devices.reset();
    const bool defined = loadDefinitions();
    SerialPort::systemPorts(multi, "").swap(settings.ports);
    if (!r.commandLine.empty()) settings.commandLinePath = r.commandLine;
    if (!defined) return result;

    // The password log.
    passwords.loadPasswordLog(programFolder / "history.log");

    EngineHooks hooks = engine.hooks();
    if (r.console) {
        // Erasing is the erase command's business; leaving fails the run.
        hooks.startupErasePrompt = false;
        hooks.closeMainWindow = [this] {
            if (!leaving_) op.showMessage(10022);
            leaving_ = true;
        };
    }
    engine.setHooks(std::move(hooks));

    // The setup file (the default one unless another is named) and its object.
    std::unique_lock<std::mutex> loading;
    if (r.loading) loading = std::unique_lock(*r.loading);
    int32_t setupLoaded = -1;
    if (!r.setupFile.empty())
        setupLoaded = loadSetup(r.setupFile, false);
    else if (!multi || r.console)
        setupLoaded = loadSetup({}, r.console);
    const bool setupValid = setupLoaded == 0;
    const bool options = r.overrides.device || r.overrides.port;
    bool ready = false;
    if (r.console) {
        // A setup that fails on a key the options replace still gives the rest.
        if (!setupValid && !r.setupFile.empty() && !options) return result;
        SetupValues& v = settings.inForce;
        if (!r.objectFile.empty()) v.openFile = r.objectFile;
        if (!applyOverrides(r.overrides)) return result;
        if (applyDevicePassword(r.passwords, *devices.selected(), v, op) != RunPasswordResult::Ok) {
            result.malformed = true;
            return result;
        }
        if (v.comPort.empty()) {
            result.stage = StartupStage::NoPort;
            return result;
        }
        takeSetup();
        const int32_t object = loadRunObject(r, result.malformed);
        if (object == 2) {
            result.stage = StartupStage::NoObject;
            return result;
        }
        if (object != 1) return result;
        ready = true;
    } else if (setupValid) {
        takeSetup();
        ready = loadObject(false) == 1 && image.loaded();
    }
    if (loading.owns_lock()) loading.unlock();
    if (!r.commandLine.empty()) session.CommandLineRun = 1;
    if (!ready) {
        // Without a valid default setup the setup dialog comes first.
        devices.applyProgrammingMode();
        if (!r.commandLine.empty()) {
            int32_t show = session.ShowAutoResults;
            settings.inForce.openFile = cutAutoResultsOption(r.commandLine, show);
            session.ShowAutoResults = show;
        } else {
            session.ExitStatus = 1;
        }
        if (unattendedRun()) {
            // Nobody is there to fill in the setup dialog: the run ends, saying why.
            if (session.ExitStatus != 0) op.showMessage(10104, 0, 0, defaultSetupPath().string());
            return result;
        }
        if (openSetupDialog) openSetupDialog();
        result.stage = StartupStage::SetupNeeded;
        return result;
    }
    if (r.commandLine.empty()) session.ExitStatus = 1;

    // The connection: a run that needs the chip waits for it within the
    // device's time (a window with a person at it shows no error then);
    // otherwise the window leaves a chip that does not answer to the worker.
    if (r.console || session.CommandLineRun == 1) {
        OutcomeCapture capture(op);
        const int32_t up = engine.connectAndWait(r.console || unattendedRun() ? 1 : 0);
        const bool trying = up != 1 && engine.link().reconnecting();
        storeConnectResult(up == 1 ? 1 : trying ? 2 : -1);
        const bool logFailed = passwordLogFailed(r.passwords, {capture.finish(up).code});
        result.stage = up == 1  ? (logFailed ? StartupStage::LogMissed : StartupStage::Connected)
                       : trying ? StartupStage::Connecting
                                : StartupStage::NotConnected;
        return result;
    }
    const int32_t up = storeConnectResult(engine.connect(0));
    result.stage = up == 1   ? StartupStage::Connected
                   : up == 2 ? StartupStage::Connecting
                             : StartupStage::NotConnected;
    return result;
}

bool DocumentCore::commandLineRunDue() const {
    return session.CommandLineRun == 1 && !autoProgrammer.autoRunDone &&
           session.ConnectStatus == kConnected;
}

bool DocumentCore::unattendedRun() const {
    return session.CommandLineRun == 1 && session.ShowAutoResults == 0;
}

bool unattendedCommandLine(const std::string& commandLine) {
    int32_t show = -1;
    cutAutoResultsOption(commandLine, show);
    return !commandLine.empty() && show == 0;
}

int32_t DocumentCore::runCommandLine() {
    if (commandLineRunDue()) {
        withRunRecord([&] { return autoProgrammer.unattendedRun(true); });
        autoProgrammer.autoRunDone = true;  // also when the run record refused it
        return 1;
    }
    // Nobody waits for a chip that did not come (its message is shown).
    return unattendedRun() && !autoProgrammer.autoRunDone ? 1 : 0;
}

bool DocumentCore::linkTimedOut() {
    if (!unattendedRun()) return true;
    op.showMessage(10000, 3, 12100, "Boot Program");
    return false;
}

Outcome DocumentCore::linkCameUp() {
    return captureOutcome(op, [&] {
        if (connected || engine.link().linkState() == 3) return 0;
        const int32_t r = engine.link().afterLinkUp();
        storeConnectResult(r == 1 ? 1 : -1);
        return r == 1 ? 1 : 0;
    });
}

void DocumentCore::disconnectAll() {
    engine.disconnect();
    connected = false;
    session.ConnectStatus = kDisconnected;
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
