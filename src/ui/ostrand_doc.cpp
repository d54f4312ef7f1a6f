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
#include "ui/info_dialogs.h"
#include "ui/manual_dialogs.h"
#include "ui/memory_dump.h"
#include "ui/password_dialog.h"
#include "ui/setup_dialog.h"

namespace ostrand::ui {

namespace fs = std::filesystem;

const QStringList kSetupFileFilters = {QStringLiteral("Setup File (*.ini)"),
                                       QStringLiteral("All Files (*)")};
const QStringList kObjectFileFilters = {QStringLiteral("iHEX Format (*.h16 *.h20)"),
                                        QStringLiteral("Motorola S Format (*.s16 *.s24 *.s32)"),
                                        QStringLiteral("Calvane Original Format (*.abs)"),
                                        QStringLiteral("All Files (*)")};

namespace {

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
}

void COstrandDoc::command(int id) {
    if (busy_ > 0 || !core.enabled(id)) return;
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
            return setupDialog(kPageSetupFile);
        case kCmdSetupDevice:
            return setupDialog(kPageDevice);
        case kCmdSetupObject:
            return setupDialog(kPageObjectFile);
        case kCmdSetupCommunication:
            return setupDialog(kPageCommunication);
        case kCmdPassword:
            return password();
        case kCmdChipErase:
        case kCmdBlockErase:
        case kCmdMemoryDump:
        case kCmdDataRead:
        case kCmdDataWrite:
        case kCmdVerify:
        case kCmdCompare:
            return manualDialog(id);
        case kCmdSetupInfo:
            return runDialog<CSetupInfoDlg>(core);
        case kCmdSetupInfo2:
            return runDialog<CSetupInfo2Dlg>(core);
        case kCmdVersion:
            return runDialog<CAboutDlg>(core);
        default:
            return;
    }
}

// ---------------------------------------------------------------- helpers

template <class Dialog, class... Args>
void COstrandDoc::runDialog(Args&&... args) {
    Dialog dialog(std::forward<Args>(args)..., mainWindow);
    op.setDialogOwner(&dialog);
    dialog.exec();
    op.setDialogOwner(mainWindow);
}

void COstrandDoc::setWorkingFolder(const fs::path& folder) {
    std::error_code ec;
    if (!folder.empty()) fs::current_path(folder, ec);
}

// ---------------------------------------------------------------- commands

void COstrandDoc::openSetupFile() {
    core.holdLink();
    const FileDialogStart start = core.fileDialogStart(kCmdOpenSetup);
    setWorkingFolder(start.workingFolder);
    FileRequest request;
    request.folder = qpath(start.folder);
    request.initial = qpath(start.initial);
    request.filters = kSetupFileFilters;
    const QString chosen = chooseFile(request);
    if (chosen.isEmpty()) {
        core.releaseLink();
        return;
    }
    core.openSetup(chosen.toStdString());
}

void COstrandDoc::openObjectFile() {
    core.holdLink();
    const FileDialogStart start = core.fileDialogStart(kCmdOpenObject);
    setWorkingFolder(start.workingFolder);
    FileRequest request;
    request.folder = qpath(start.folder);
    request.initial = qpath(start.initial);
    request.filters = kObjectFileFilters;
    request.filterIndex = core.settings.objectFilterIndex;
    const QString chosen = chooseFile(request);
    if (!chosen.isEmpty()) {
        core.settings.objectFilterIndex = request.filterIndex;
        core.openObject(chosen.toStdString());
    }
    core.releaseLink();
}

void COstrandDoc::saveFlash() {
    if (core.preamble(kCmdSaveAs).status != 1) return;
    FileRequest request;
    request.save = true;
    request.overwritePrompt = true;
    request.folder = qpath(core.fileDialogStart(kCmdSaveAs).folder);
    request.filters = kMemoryFilters;
    const QString chosen = chooseFile(request);
    if (chosen.isEmpty()) return;
    core.saveFlash(chosen.toStdString(), std::nullopt, Preamble::Done);
}

void COstrandDoc::reconnect() {
    if (!core.op.ask(12010)) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    core.reconnect();
    QApplication::restoreOverrideCursor();
}

void COstrandDoc::saveSetupAs() {
    FileRequest request;
    request.save = true;
    request.overwritePrompt = true;
    request.folder = qpath(core.fileDialogStart(kCmdSaveSetupAs).folder);
    request.filters = kSetupFileFilters;
    const QString chosen = chooseFile(request);
    if (chosen.isEmpty()) return;
    core.saveSetupAs(chosen.toStdString());
}

void COstrandDoc::option() {
    core.optionCommand([this] {
        runDialog<CSetupOptionDlg>(core, core.devices.selected(), nullptr, std::string());
    });
    op.setDialogOwner(mainWindow);
}

void COstrandDoc::help() {
    core.openManual(
        [this](const fs::path& manual) { return openUrl(QUrl::fromLocalFile(qpath(manual))); });
}

void COstrandDoc::webHelp() {
    core.openWebAddress([this](const std::string& address) {
        return openUrl(QUrl(QString::fromStdString(address)));
    });
}

void COstrandDoc::singleBootSwitch() {
    core.singleBootSwitch();
}

void COstrandDoc::program() {
    core.program();
}

void COstrandDoc::blankCheck() {
    core.blankCheck();
}

void COstrandDoc::protect() {
    op.setDialogOwner(mainWindow);
    core.protect();
}

void COstrandDoc::manualDialog(int id) {
    if (core.preamble(id).status != 1) return;
    QWidget* parent = mainWindow;
    auto run = [&](QDialog& dialog) {
        op.setDialogOwner(&dialog);
        if (execModal)
            execModal(dialog);
        else
            dialog.exec();
        op.setDialogOwner(mainWindow);
    };
    switch (id) {
        case kCmdChipErase: {
            CChipEraseDlg dialog(core, op, parent);
            return run(dialog);
        }
        case kCmdBlockErase: {
            CBlockEraseDlg dialog(core, op, parent);
            return run(dialog);
        }
        case kCmdMemoryDump: {
            CMemoryDumpDlg dialog(core, op, parent);
            if (dialog.openFirstPage()) run(dialog);
            return;
        }
        case kCmdDataRead:
        case kCmdDataWrite: {
            CDataReadWriteDlg dialog(core, op, id == kCmdDataWrite, parent);
            return run(dialog);
        }
        case kCmdVerify: {
            CVerifyDlg dialog(core, op, parent);
            return run(dialog);
        }
        case kCmdCompare: {
            CCompareDlg dialog(core, op, parent);
            return run(dialog);
        }
        default:
            return;
    }
}

void COstrandDoc::unattendedAuto() {
    if (!core.anyAutoOption()) return execAutoProgramming(core, mainWindow);
    op.setDialogOwner(mainWindow);
    emit unattendedRunning(true);
    core.unattendedAuto(false);
    emit unattendedRunning(false);
}

void COstrandDoc::setupDialog(int page) {
    core.holdLink();
    execSetupDialog(*this, page, mainWindow);
    core.releaseLink();
}

void COstrandDoc::password() {
    if (core.preamble(kCmdPassword).status != 1) return;
    runDialog<CPasswordDlg>(*this, core.devices.selected(), nullptr, std::string());
}

// ---------------------------------------------------------------- link

void COstrandDoc::linkCameUp() {
    if (busy_ > 0) {
        // Not inside another command's event pump: once it has ended.
        QTimer::singleShot(100, this, &COstrandDoc::linkCameUp);
        return;
    }
    bool ran = false;
    {
        Busy busy(*this);
        op.setDialogOwner(mainWindow);
        core.linkCameUp();
        // The batch run's boxes belong to the desktop.
        op.setDesktopOwner();
        emit unattendedRunning(true);
        ran = core.runCommandLine() == 1;
        emit unattendedRunning(false);
        op.setDialogOwner(mainWindow);
    }
    if (ran) emit runFinished();
}

}  // namespace ostrand::ui
