#include "ui/ostrand_doc.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QTimer>
#include <cerrno>

#include "app/boot_types.h"
#include "ui/auto_dialog.h"
#include "ui/commands.h"
#include "ui/doc_state.h"

namespace ostrand::ui {

namespace fs = std::filesystem;

namespace {

const QStringList kSetupFilters = {QStringLiteral("Setup File (*.ini)"),
                                   QStringLiteral("All Files (*)")};
const QStringList kObjectFilters = {QStringLiteral("iHEX Format (*.h16 *.h20)"),
                                    QStringLiteral("Motorola S Format (*.s16 *.s24 *.s32)"),
                                    QStringLiteral("Calvane Original Format (*.abs)"),
                                    QStringLiteral("All Files (*)")};
const QStringList kMemoryFilters = {QStringLiteral("iHex Format (*.h20)"),
                                    QStringLiteral("All Files (*)")};

QString qpath(const fs::path& p) {
    return QString::fromStdString(p.string());
}

QString runFileDialog(QWidget* owner, FileRequest& r) {
    QFileDialog dialog(owner, QStringLiteral("Ostrand"), r.folder);
    dialog.setAcceptMode(r.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(r.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters(r.filters);
    if (r.filterIndex >= 0 && r.filterIndex < r.filters.size())
        dialog.selectNameFilter(r.filters[r.filterIndex]);
    if (!r.save || !r.overwritePrompt) dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!r.initial.isEmpty()) dialog.selectFile(r.initial);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    r.filterIndex = static_cast<int>(r.filters.indexOf(dialog.selectedNameFilter()));
    return dialog.selectedFiles().front();
}

}  // namespace

// One command at a time: a click during an operation's event pump must not
// start a second one on the same port.
class COstrandDoc::Busy {
  public:
    explicit Busy(COstrandDoc& doc) : doc_(doc) { ++doc_.busy_; }
    ~Busy() {
        --doc_.busy_;
        emit doc_.stateChanged();
    }

  private:
    COstrandDoc& doc_;
};

COstrandDoc::COstrandDoc(DocumentCore& c, QtOperator& o) : core(c), op(o) {
    chooseFile = [this](FileRequest& r) { return runFileDialog(mainWindow, r); };
    openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    placeholder = [this](const QString& name) {
        op.information(QStringLiteral("The %1 dialog is not in this version.").arg(name));
    };
}

void COstrandDoc::command(int id) {
    if (busy_ > 0 || !commandEnabled(id, readDocState(core))) return;
    Busy busy(*this);
    // A command's boxes belong to the main window unless it opens a dialog.
    op.setDialogOwner(mainWindow);
    switch (id) {
        case kCmdOpenSetup:
            return openSetupFile();
        case kCmdOpenObject:
            return openObjectFile();
        case kCmdSaveAs:
            return saveFlash();
        case kCmdReconnect:
            return reconnect();
        case kCmdSaveSetupAs:
            return saveSetupAs();
        case kCmdOption:
            return option();
        case kCmdHelp:
            return help();
        case kCmdWebHelp:
            return webHelp();
        case kCmdSingleBoot:
            return singleBootSwitch();
        case kCmdProgram:
            return program();
        case kCmdBlankCheck:
            return blankCheck();
        case kCmdProtect:
            return protect();
        case kCmdAutoProgramming:
            return execAutoProgramming(core, mainWindow);
        case kCmdUnattendedAuto:
            return unattendedAuto();
        case kCmdSetupFile:
            return setupDialog(QStringLiteral("Setup File"));
        case kCmdSetupDevice:
            return setupDialog(QStringLiteral("Device"));
        case kCmdSetupObject:
            return setupDialog(QStringLiteral("Object File"));
        case kCmdSetupCommunication:
            return setupDialog(QStringLiteral("Communication"));
        case kCmdPassword:
            return password();
        case kCmdChipErase:
            return placeholder(QStringLiteral("Chip Erase"));
        case kCmdBlockErase:
            return placeholder(QStringLiteral("Block Erase"));
        case kCmdMemoryDump:
            return placeholder(QStringLiteral("Memory Dump"));
        case kCmdDataRead:
        case kCmdDataWrite:
            return placeholder(QStringLiteral("Data Read/Write"));
        case kCmdVerify:
            return placeholder(QStringLiteral("Verify"));
        case kCmdCompare:
            return placeholder(QStringLiteral("Compare"));
        case kCmdSetupInfo:
            return placeholder(QStringLiteral("Setup Information"));
        case kCmdSetupInfo2:
            return placeholder(QStringLiteral("Setup Information 2"));
        case kCmdVersion:
            return placeholder(QStringLiteral("Version"));
        default:
            return;
    }
}

// ---------------------------------------------------------------- helpers

void COstrandDoc::clearAbort() {
    core.session.AbortRequested = 0;
    if (core.session.ConnectStatus == kConnecting) core.engine.startReconnectWorker();
}

void COstrandDoc::storeConnectResult(int32_t r) {
    core.connected = r == 1;
    core.session.ConnectStatus = r == 1 ? kConnected : (r == -1 ? kDisconnected : r);
}

void COstrandDoc::setWorkingFolder(const fs::path& folder) {
    std::error_code ec;
    if (!folder.empty()) fs::current_path(folder, ec);
}

bool COstrandDoc::passwordPrecondition() {
    if (bootTypeRow(core.devices.bootType()).noPassword) return true;
    Session& s = core.session;
    if (s.ChipRewritten == 1 && s.ProgrammingMode != kModeWcpAll) {
        if (core.passwords.objectPassword.empty()) {
            core.op.showMessage(10516, 0, 12134);
            return false;
        }
        return true;
    }
    if (core.passwords.devicePassword.empty()) {
        core.op.showMessage(10515, 0, 12134);
        return false;
    }
    return true;
}

bool COstrandDoc::chipReady() {
    return core.engine.identifyChip() == 1;
}

// ---------------------------------------------------------------- commands

void COstrandDoc::openSetupFile() {
    Session& s = core.session;
    SetupSettings& settings = core.settings;
    s.AbortRequested = 1;
    if (settings.setupPath.empty()) setWorkingFolder(core.programFolder);
    FileRequest request;
    request.folder = qpath(settings.setupPath.parent_path());
    request.initial = qpath(settings.setupPath);
    request.filters = kSetupFilters;
    const QString chosen = chooseFile(request);
    if (chosen.isEmpty()) {
        clearAbort();
        return;
    }
    const fs::path path = chosen.toStdString();
    const bool multi = s.MultiInstance == 1;
    bool ok = true;
    std::error_code ec;
    if (multi && fs::exists(path, ec)) {
        // Another instance holds the file it works with.
        FileLock probe;
        if (!probe.acquire(path, false)) {
            core.op.showMessage(10113, 3, 12137, path.string());
            ok = false;
        }
    }
    if (ok) ok = settings.loadSetupFile(path) == 0;
    if (ok) {
        core.devices.select(settings.inForce.device);
        core.devices.applyProgrammingMode();
        settings.saveSetupFile(multi ? settings.setupPath : fs::path());
        core.loadObject(true);
        // The port of the new setup, not the one the old link used.
        core.engine.disconnect();
        storeConnectResult(core.engine.connect(0));
    } else {
        s.ProgrammingMode = kModeNone;
        core.engine.disconnect();
        core.connected = false;
        s.ConnectStatus = kDisconnected;
    }
    setWorkingFolder(settings.setupPath.empty() ? path.parent_path()
                                                : settings.setupPath.parent_path());
}

void COstrandDoc::openObjectFile() {
    Session& s = core.session;
    SetupValues& v = core.settings.inForce;
    s.AbortRequested = 1;
    if (v.openFile.empty()) setWorkingFolder(core.settings.setupPath.parent_path());
    FileRequest request;
    request.folder = v.openFile.empty() ? QString() : qpath(fs::path(v.openFile).parent_path());
    request.initial = QString::fromStdString(v.openFile);
    request.filters = kObjectFilters;
    request.filterIndex = objectFilterIndex;
    const QString chosen = chooseFile(request);
    if (!chosen.isEmpty()) {
        objectFilterIndex = request.filterIndex;
        v.openFile = chosen.toStdString();
        core.settings.saveSetupFile(s.MultiInstance == 1 ? core.settings.setupPath : fs::path());
        core.loadObject(true);
    }
    clearAbort();
}

void COstrandDoc::saveFlash() {
    if (!passwordPrecondition() || !chipReady()) return;
    const std::string& object = core.settings.inForce.openFile;
    fs::path folder = core.settings.setupPath.parent_path();
    if (!object.empty() && object.find('/') != std::string::npos)
        folder = fs::path(object).parent_path();
    FileRequest request;
    request.save = true;
    request.overwritePrompt = true;
    request.folder = qpath(folder);
    request.filters = kMemoryFilters;
    const QString chosen = chooseFile(request);
    if (chosen.isEmpty()) return;
    core.operations.saveMemoryFile(chosen.toStdString());
}

void COstrandDoc::reconnect() {
    if (!core.op.ask(12010)) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // A WCP left in the chip's RAM (by Save As, by programming) would not
    // answer the matching: the chip starts over only after a hang-up.
    core.engine.hangUp();
    core.connected = false;
    core.session.ConnectStatus = kDisconnected;
    core.session.StartupErasePending = 1;
    const int32_t r = core.engine.connect(0);
    if (r != -1) storeConnectResult(r);
    QApplication::restoreOverrideCursor();
}

void COstrandDoc::saveSetupAs() {
    const fs::path current = core.settings.setupPath;
    FileRequest request;
    request.save = true;
    request.overwritePrompt = true;
    request.folder = qpath(current.empty() ? core.programFolder : current.parent_path());
    request.filters = kSetupFilters;
    const QString chosen = chooseFile(request);
    if (chosen.isEmpty()) return;
    core.settings.saveSetupFileAs(chosen.toStdString());
}

void COstrandDoc::option() {
    Session& s = core.session;
    const int32_t before = s.ConnectStatus;
    const int32_t pending = s.StartupErasePending;
    s.StartupErasePending = 0;
    placeholder(QStringLiteral("Set Up Option"));
    s.StartupErasePending = pending;
    op.setDialogOwner(mainWindow);
    if (s.ConnectStatus == kConnected && before != kConnected)
        core.engine.startupErasePrompt();
    else if (s.ConnectStatus != kConnected)
        s.StartupErasePending = 1;
}

void COstrandDoc::help() {
    const fs::path manual = core.programFolder / "Help.pdf";
    std::error_code ec;
    const bool there = fs::exists(manual, ec);
    if (!there || !openUrl(QUrl::fromLocalFile(qpath(manual)))) {
        char detail[40];
        std::snprintf(detail, sizeof detail, "Error code = %ld", there ? 0L : long{ENOENT});
        core.op.showMessage(10902, 0, 0, detail);
    }
}

void COstrandDoc::webHelp() {
    const std::string& address = core.devices.webSiteUrl();
    if (address.empty()) return;
    if (!openUrl(QUrl(QString::fromStdString(address)))) core.op.showMessage(10901);
}

void COstrandDoc::singleBootSwitch() {
    Session& s = core.session;
    const int32_t mode = s.ProgrammingMode;
    if (mode != kModeWcpDiv && mode != kModeWcpAll) {
        if (!core.devices.selected()) core.op.showMessage(10517, 0, 12142);
        return;
    }
    if (core.engine.anyWcpLoaded()) {
        core.op.showMessage(10517, 0, 12141);
        return;
    }
    s.ProgrammingMode = core.devices.singleBootPassword() == 1 ? kModeSBootPw : kModeSBoot;
    // Into single boot from a WCP mode: the chip's erase state is unknown.
    s.ChipErased = 0;
    s.SingleBootFlagsReset = 1;
    if (core.engine.matchBootProgram(1) != 1) {
        core.engine.disconnect();
        core.connected = false;
        s.ConnectStatus = kDisconnected;
    }
    if (BootTypesF(core.devices.bootType()) &&
        core.passwords.devicePassword.find(':') != std::string::npos)
        op.information(QString::fromUtf8(messageTextOrFallback(12149).data()));
}

void COstrandDoc::program() {
    Session& s = core.session;
    const int32_t mode = s.ProgrammingMode;
    if (mode != kModeSBoot && !passwordPrecondition()) return;
    if (!chipReady()) return;
    const int32_t bt = core.devices.bootType();
    if (mode == kModeSBootPw && s.ChipRewritten == 0 &&
        core.settings.inForce.readProtectFor(bt) == 1 &&
        bootTypeRow(bt).protectNeedsObjectPassword && core.passwords.objectPassword.empty()) {
        core.op.showMessage(10516, 0, 12134);
        return;
    }
    core.operations.programDevice();
}

void COstrandDoc::blankCheck() {
    if (!passwordPrecondition() || !chipReady()) return;
    core.operations.blankCheck(true);
}

void COstrandDoc::protect() {
    if (core.session.ProgrammingMode != kModeSBoot && !passwordPrecondition()) return;
    if (!chipReady()) return;
    op.setDialogOwner(mainWindow);
    core.engine.protectChip(true, true);
}

void COstrandDoc::unattendedAuto() {
    const AutoOptions o = core.autoProgrammer.options();
    bool any = false;
    for (bool on : o) any = any || on;
    if (!any) return execAutoProgramming(core, mainWindow);
    core.autoProgrammer.unattendedRun(false);
}

void COstrandDoc::setupDialog(const QString& page) {
    core.session.AbortRequested = 1;
    placeholder(QStringLiteral("Setup (%1 page)").arg(page));
    clearAbort();
}

void COstrandDoc::password() {
    if (!core.devices.selected()) {
        core.op.showMessage(10512, 0, 12139);
        return;
    }
    placeholder(QStringLiteral("Setup Password"));
}

// ---------------------------------------------------------------- link

void COstrandDoc::linkCameUp() {
    if (busy_ > 0) {
        // Not inside another command's event pump: once it has ended.
        QTimer::singleShot(100, this, &COstrandDoc::linkCameUp);
        return;
    }
    if (core.connected || core.engine.linkState() == 3) return;
    bool ran = false;
    {
        Busy busy(*this);
        op.setDialogOwner(mainWindow);
        const int32_t r = core.engine.afterLinkUp();
        storeConnectResult(r == 1 ? 1 : -1);
        ran = core.runPendingCommandLineRun() == 1;
    }
    if (ran) emit runFinished();
}

}  // namespace ostrand::ui
