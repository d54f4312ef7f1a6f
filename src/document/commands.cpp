// The operator's commands: each runs its preamble and its operation and
// gives the outcome as a value.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

#include "app/password_rules.h"
#include "document/document.h"
#include "document/manual_rules.h"
#include "document/run_record.h"

namespace ostrand {

namespace fs = std::filesystem;

namespace {

bool singleBoot(int32_t mode) {
    return mode == kModeSBootPw || mode == kModeSBoot;
}

}  // namespace

CommandState DocumentCore::commandState() const {
    CommandState s;
    s.connectStatus = session.ConnectStatus;
    s.mode = session.ProgrammingMode;
    s.protectState = session.ProtectState;
    const int32_t bt = devices.bootType();
    s.bootType = bt > 0 ? bt : 0;
    s.wcpLoaded = engine.state().chip.anyWcpLoaded();
    s.objectLoaded = image.loaded();
    s.setupNamesDevice = !settings.inForce.device.empty();
    s.chipRewritten = session.ChipRewritten == 1;
    // A chip that opens with a password record of its own needs no typed one.
    s.devicePassword = !passwords.devicePassword.empty() || bootTypeRow(bt).passwordRecord;
    s.objectPassword = !passwords.objectPassword.empty();
    s.protectOption = settings.inForce.readProtectFor(bt) == 1;
    return s;
}

bool DocumentCore::passes(const RuleVerdict& v) {
    return showVerdict(v, op);
}

fs::path DocumentCore::setupSavePath() const {
    return session.MultiInstance == 1 ? settings.setupPath : fs::path();
}

bool DocumentCore::runPreamble(int command, Preamble p) {
    if (p == Preamble::Done) return true;
    const CommandRow& row = commandRow(command);
    const CommandState s = commandState();
    if (!passes(passwordVerdict(command, s))) return false;
    if (row.needsObject && !s.objectLoaded) {
        op.showMessage(10135);
        return false;
    }
    if (row.needsDevice && !devices.selected()) {
        op.showMessage(10512, 0, 12139);
        return false;
    }
    return !row.ready || engine.boot().identifyChip() == 1;
}

Outcome DocumentCore::preamble(int command) {
    return captureOutcome(op, [&] { return runPreamble(command, Preamble::Run) ? 1 : 0; });
}

// ---------------------------------------------------------------- files

FileDialogStart DocumentCore::fileDialogStart(int command) const {
    FileDialogStart f;
    const fs::path setupFolder = settings.setupPath.parent_path();
    const std::string& object = settings.inForce.openFile;
    switch (command) {
        case kCmdOpenSetup:
            if (settings.setupPath.empty()) f.workingFolder = programFolder;
            f.folder = setupFolder;
            f.initial = settings.setupPath;
            break;
        case kCmdOpenObject:
            if (object.empty()) f.workingFolder = setupFolder;
            if (!object.empty()) f.folder = fs::path(object).parent_path();
            f.initial = object;
            break;
        case kCmdSaveAs:
            f.folder = setupFolder;
            if (!object.empty() && object.find('/') != std::string::npos)
                f.folder = fs::path(object).parent_path();
            break;
        case kCmdSaveSetupAs:
            f.folder = settings.setupPath.empty() ? programFolder : setupFolder;
            break;
        default:
            break;
    }
    return f;
}

void DocumentCore::holdLink() {
    session.AbortRequested = 1;
}

void DocumentCore::releaseLink() {
    session.AbortRequested = 0;
    if (session.ConnectStatus == kConnecting) engine.link().startReconnectWorker();
}

bool DocumentCore::anyAutoOption() const {
    // The setup's own values, before the option rules.
    return !autoProgrammer.setupOptionsAllOff();
}

Outcome DocumentCore::openSetup(const fs::path& path) {
    Outcome o = captureOutcome(op, [&] {
        const bool multi = session.MultiInstance == 1;
        bool ok = true;
        std::error_code ec;
        if (multi && fs::exists(path, ec)) {
            // Another instance holds the file it works with.
            FileLock probe;
            if (!probe.acquire(path, false)) {
                op.showMessage(10113, 3, 12137, path.string());
                ok = false;
            }
        }
        if (ok) ok = settings.loadSetupFile(path) == 0;
        if (!ok) {
            session.ProgrammingMode = kModeNone;
            disconnectAll();
            return 0;
        }
        devices.select(settings.inForce.device);
        takeSetup();
        settings.saveSetupFile(setupSavePath());
        loadObject(true);
        // The port of the new setup, not the one the old link used.
        engine.disconnect();
        return storeConnectResult(engine.connect(0)) == 1 ? 1 : 0;
    });
    std::error_code ec;
    const fs::path back =
        settings.setupPath.empty() ? path.parent_path() : settings.setupPath.parent_path();
    if (!back.empty()) fs::current_path(back, ec);
    return o;
}

Outcome DocumentCore::openObject(const fs::path& path) {
    return captureOutcome(op, [&] {
        settings.inForce.openFile = path.string();
        settings.saveSetupFile(setupSavePath());
        return loadObject(true);
    });
}

Outcome DocumentCore::saveFlash(const fs::path& file, std::optional<AddressRange> range,
                                Preamble p) {
    return captureOutcome(op, [&] {
        if (!runPreamble(kCmdSaveAs, p)) return 0;
        return operations.saveMemoryFile(file, range);
    });
}

Outcome DocumentCore::saveSetupAs(const fs::path& file) {
    return captureOutcome(op, [&] { return settings.saveSetupFileAs(file) == 0 ? 1 : 0; });
}

// ---------------------------------------------------------------- link

Outcome DocumentCore::reconnect() {
    return captureOutcome(op, [&] {
        // A WCP left in the chip's RAM (by Save As, by programming) would not
        // answer the matching: the chip starts over only after a hang-up.
        engine.link().hangUp();
        disconnectAll();
        session.StartupErasePending = 1;
        const int32_t r = engine.connect(0);
        if (r != -1) storeConnectResult(r);
        return r == 1 ? 1 : 0;
    });
}

Outcome DocumentCore::singleBootSwitch() {
    return captureOutcome(op, [&] {
        const int32_t mode = session.ProgrammingMode;
        if (mode != kModeWcpDiv && mode != kModeWcpAll) {
            if (!devices.selected()) {
                op.showMessage(10517, 0, 12142);
                return 0;
            }
            return 1;
        }
        if (engine.state().chip.anyWcpLoaded()) {
            op.showMessage(10517, 0, 12141);
            return 0;
        }
        session.ProgrammingMode = devices.singleBootPassword() == 1 ? kModeSBootPw : kModeSBoot;
        // Into single boot from a WCP mode: the chip's erase state is unknown.
        session.ChipErased = 0;
        session.SingleBootFlagsReset = 1;
        int32_t ok = 1;
        if (engine.link().matchBootProgram(1) != 1) {
            disconnectAll();
            ok = 0;
        }
        if (BootTypesF(devices.bootType()) &&
            passwordHoldsColon(passwords.devicePassword, passwords.devicePasswordType == 1))
            op.showMessage(12149);
        return ok;
    });
}

Outcome DocumentCore::openManual(const std::function<bool(const fs::path&)>& open) {
    return captureOutcome(op, [&] {
        const fs::path manual = programFolder / "Help.pdf";
        std::error_code ec;
        const bool there = fs::exists(manual, ec);
        if (there && open(manual)) return 1;
        char detail[40];
        std::snprintf(detail, sizeof detail, "Error code = %ld", there ? 0L : long{ENOENT});
        op.showMessage(10902, 0, 0, detail);
        return 0;
    });
}

Outcome DocumentCore::openWebAddress(const std::function<bool(const std::string&)>& open) {
    return captureOutcome(op, [&] {
        const std::string& address = devices.webSiteUrl();
        if (address.empty()) return 0;
        if (open(address)) return 1;
        op.showMessage(10901);
        return 0;
    });
}

Outcome DocumentCore::optionCommand(const std::function<void()>& dialog) {
    return captureOutcome(op, [&] {
        const int32_t before = session.ConnectStatus;
        const int32_t pending = session.StartupErasePending;
        session.StartupErasePending = 0;
        if (dialog) dialog();
        session.StartupErasePending = pending;
        if (session.ConnectStatus == kConnected && before != kConnected)
            engine.boot().startupErasePrompt();
        else if (session.ConnectStatus != kConnected)
            session.StartupErasePending = 1;
        return 1;
    });
}

// ---------------------------------------------------------------- flash

Outcome DocumentCore::chipErase(Preamble p) {
    return captureOutcome(op, [&] {
        if (!runPreamble(kCmdChipErase, p)) return 0;
        const int32_t r = operations.eraseChip(true);
        const int32_t bt = devices.bootType();
        if (r == 1 && ProtectTypes(bt)) {
            // An erased chip is not protected: the Protect option would set it again.
            SetupValues& v = settings.inForce;
            (bootTypeRow(bt).ownReadProtect ? v.readProtect : v.readProtectOther) = 0;
            session.ProtectState = 0;
        }
        return r;
    });
}

Outcome DocumentCore::blockErase(uint32_t start, uint32_t size, Preamble p) {
    return captureOutcome(op, [&] {
        if (!runPreamble(kCmdBlockErase, p)) return 0;
        return operations.eraseBlock(start, size, kBlockErasePiece);
    });
}

Outcome DocumentCore::readMemory(uint32_t start, uint8_t* out, uint32_t count, Preamble p) {
    return captureOutcome(op, [&] {
        if (!runPreamble(kCmdDataRead, p)) return 0;
        return operations.readFlash(start, out, count);
    });
}

Outcome DocumentCore::writeMemory(uint32_t address, const uint8_t* bytes, uint32_t count,
                                  Preamble p) {
    return captureOutcome(op, [&] {
        if (!runPreamble(kCmdDataWrite, p)) return 0;
        return operations.writeData(address, bytes, count);
    });
}

Outcome DocumentCore::verify(uint16_t& deviceSum, Preamble p) {
    return captureOutcome(op, [&] {
        if (!runPreamble(kCmdVerify, p)) return -1;
        return operations.verifySum(true, deviceSum);
    });
}

Outcome DocumentCore::compare(CompareDifference* difference, bool showResult, Preamble p) {
    return captureOutcome(op, [&] {
        if (!runPreamble(kCmdCompare, p)) return -1;
        return operations.compareWithFile(true, showResult, difference);
    });
}

Outcome DocumentCore::compareStep(const CompareView& view, bool fromStart, uint32_t& address,
                                  uint8_t& fileByte, uint8_t& flashByte) {
    return captureOutcome(op, [&] {
        return operations.compareStep(view, address, fileByte, flashByte, fromStart ? 1 : 0);
    });
}

bool DocumentCore::dumpRead(uint32_t start, uint8_t* out, uint32_t count) {
    engine.latchProgrammingMode();
    return count != 0 && engine.fillFlashCache() && engine.target().read(start, out, count);
}

Outcome DocumentCore::program(Preamble p) {
    return captureOutcome(op, [&] {
        if (!runPreamble(kCmdProgram, p)) return 0;
        return operations.programDevice();
    });
}

Outcome DocumentCore::blankCheck(Preamble p) {
    return captureOutcome(op, [&] {
        if (!runPreamble(kCmdBlankCheck, p)) return 0;
        return operations.blankCheck(true);
    });
}

Outcome DocumentCore::protect(Preamble p) {
    return captureOutcome(op, [&] {
        if (!runPreamble(kCmdProtect, p)) return 0;
        if (singleBoot(session.ProgrammingMode)) return engine.boot().protectChip(true, true);
        // Through the read-protect WCP.
        if (!ProtectTypes(devices.bootType())) {
            op.showMessage(11026);
            return 0;
        }
        op.progressOpen(messageTextOrFallback(11313), 0, false, false, true);
        engine.latchProgrammingMode();
        const int32_t ok = engine.wcp().wcpReadProtect();
        op.progressClose();
        if (ok == 1) op.showMessage(11027);
        return ok;
    });
}

// ---------------------------------------------------------------- auto

Outcome DocumentCore::autoProgramming(const AutoOptions& boxes) {
    return captureOutcome(op, [&] {
        return withRunRecord([&] {
            autoProgrammer.dialogStart(boxes);
            return autoProgrammer.record.anyFailed() ? 0 : 1;
        });
    });
}

int32_t DocumentCore::withRunRecord(const std::function<int32_t()>& run) {
    const std::string& name = settings.inForce.runRecord;
    if (console_ || name.empty()) return run();
    const fs::path file =
        fs::path(name).is_absolute() ? fs::path(name) : settings.programFolder / name;
    // A chip whose record would be lost is not touched; a lost line fails
    // the run, since the line's record is what a production line keeps.
    if (!RunRecorder::usable(file)) {
        op.showMessage(12154, 1, 0, file.string());
        session.ExitStatus = 2;
        return 0;
    }
    AutoProgrammer& ap = autoProgrammer;
    auto started = ap.stepStarted;
    auto done = ap.stepDone;
    auto finished = ap.chipFinished;
    int32_t result = 0;
    {
        RunRecorder recorder(file, "ostrand", "auto", op);
        recorder.follow(ap, settings);
        result = run();
        if (recorder.failed()) {
            op.showMessage(12154, 2, 0, file.string());
            session.ExitStatus = 2;
            result = 0;
        }
    }
    ap.stepStarted = std::move(started);
    ap.stepDone = std::move(done);
    ap.chipFinished = std::move(finished);
    return result;
}

Outcome DocumentCore::unattendedAuto(bool batch) {
    return captureOutcome(op, [&] {
        if (batch && autoProgrammer.autoRunDone) return 0;
        if (!runPreamble(kCmdUnattendedAuto, Preamble::Run)) {
            autoProgrammer.autoRunDone = true;
            return 0;
        }
        return withRunRecord([&] { return autoProgrammer.unattendedRun(batch); });
    });
}

// ---------------------------------------------------------------- setup

Outcome DocumentCore::takeUpSetupFile(const fs::path& path) {
    return captureOutcome(op, [&] {
        std::error_code ec;
        if (session.MultiInstance == 1 && fs::exists(path, ec)) {
            FileLock probe;
            if (!probe.acquire(path, false)) {
                op.showMessage(10113, 3, 12137, path.string());
                return -1;
            }
        }
        if (settings.loadSetupFile(path) != 0) {
            session.ProgrammingMode = kModeNone;
            disconnectAll();
            return 0;
        }
        return 1;
    });
}

Outcome DocumentCore::applyDevice(const std::string& name) {
    return captureOutcome(op, [&] {
        SetupValues& v = settings.inForce;
        const DeviceDefinition* previous = devices.find(v.device);
        const DeviceDefinition* next = devices.find(name);
        v.device = next ? name : std::string();
        if (!next) {
            devices.select("");
            return 0;
        }
        const DeviceDefinition before = previous ? *previous : DeviceDefinition{};
        devices.select(name);
        applyDevicePasswords(previous ? &before : nullptr, *devices.selected(), v);
        passwords.takeSetup(v);
        return 1;
    });
}

Outcome DocumentCore::applySetup() {
    return captureOutcome(op, [&] {
        devices.select(settings.inForce.device);
        takeSetup();
        if (loadObject(true) != 1) return 0;
        engine.disconnect();
        session.ConnectStatus = kConnecting;
        const int32_t r = engine.connect(0);
        if (r == 1 || r == -1) storeConnectResult(r);
        return r == -1 ? 0 : 1;
    });
}

}  // namespace ostrand
