#include "ui/auto_dialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/boot_types.h"
#include "document/document.h"
#include "ui/qt_operator.h"

namespace ostrand::ui {

// The one place that reads the device, the link and the engine for the
// auto programming windows.
AutoView AutoView::of(DocumentCore& core) {
    AutoView v;
    v.bootType = core.devices.bootType();
    v.mode = core.session.ProgrammingMode;
    v.wcpLoaded = core.engine.state().chip.anyWcpLoaded();
    v.multiInstance = core.session.MultiInstance == 1;
    v.comPort = QString::fromStdString(core.settings.inForce.comPort);
    return v;
}

bool AutoView::blockStepsOff() const {
    return autoBoxRules(bootType, mode, wcpLoaded).blockStepsOff;
}

bool AutoView::protectAvailable() const {
    return autoBoxRules(bootType, mode, wcpLoaded).protectAvailable;
}

bool AutoView::linkedOptions() const {
    return autoBoxRules(bootType, mode, wcpLoaded).linkedOptions;
}

QString AutoView::connectedText() const {
    return QStringLiteral("%1 is Connected.").arg(comPort);
}

namespace {
QPointer<CAutoProgramDlg> runningNow;
const char* const kBoxNames[kAutoSteps] = {"allErase",      "blankCheck",  "programming",
                                           "verifyWithSum", "fileCompare", "protect"};
}  // namespace

CAutoProgramDlg::CAutoProgramDlg(DocumentCore& core, QWidget* parent)
    : QDialog(parent), core_(core), view_(AutoView::of(core)) {
    setWindowTitle(QStringLiteral("Auto Programming"));
    auto* layout = new QVBoxLayout(this);
    const AutoOptions options = core_.autoProgrammer.options();
    for (int s = 0; s < kAutoSteps; ++s) {
        auto* b = new QCheckBox(QString::fromLatin1(kAutoStepNames[s]), this);
        b->setObjectName(QString::fromLatin1(kBoxNames[s]));
        b->setChecked(options[s]);
        connect(b, &QCheckBox::clicked, this,
                [this, s](bool on) { boxClicked(static_cast<AutoStep>(s), on); });
        layout->addWidget(b);
        boxes_[s] = b;
    }
    connectedLine_ = new QLabel(view_.connectedText(), this);
    connectedLine_->setObjectName(QStringLiteral("connectedLine"));
    connectedLine_->setVisible(view_.multiInstance);
    layout->addWidget(connectedLine_);
    messageLine_ = new QLabel(this);
    messageLine_->setObjectName(QStringLiteral("messageLine"));
    messageLine_->setMinimumWidth(260);
    layout->addWidget(messageLine_);
    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("progressBar"));
    bar_->setRange(0, std::max(1, core_.autoProgrammer.progressCount()));
    bar_->setValue(0);
    bar_->setTextVisible(false);
    bar_->hide();
    layout->addWidget(bar_);

    auto* buttons = new QHBoxLayout;
    startButton_ = new QPushButton(QStringLiteral("Start"), this);
    startButton_->setObjectName(QStringLiteral("startButton"));
    startButton_->setDefault(true);
    cancelButton_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton_->setObjectName(QStringLiteral("cancelButton"));
    buttons->addStretch();
    buttons->addWidget(startButton_);
    buttons->addWidget(cancelButton_);
    layout->addLayout(buttons);
    connect(startButton_, &QPushButton::clicked, this, &CAutoProgramDlg::start);
    connect(cancelButton_, &QPushButton::clicked, this, &CAutoProgramDlg::reject);
    enableControls(true);
}

AutoOptions CAutoProgramDlg::checked() const {
    AutoOptions o{};
    for (int s = 0; s < kAutoSteps; ++s) o[s] = boxes_[s]->isChecked();
    return o;
}

void CAutoProgramDlg::boxClicked(AutoStep step, bool on) {
    const bool eraseFirst = autoBoxRules(view_.bootType, view_.mode, false).eraseFirst;
    const bool linked = view_.linkedOptions();
    auto set = [this](AutoStep s, bool value) { boxes_[s]->setChecked(value); };
    switch (step) {
        case kAllErase:
            if (!on && eraseFirst) set(kProgramming, false);
            if (!on && linked) set(kBlankCheck, false);
            break;
        case kProgramming:
            if (on && eraseFirst) set(kAllErase, true);
            if (!on && linked) {
                set(kVerify, false);
                set(kFileCompare, false);
            }
            break;
        case kBlankCheck:
            if (on && linked) set(kAllErase, true);
            break;
        case kVerify:
        case kFileCompare:
            if (on && linked) set(kProgramming, true);
            break;
        default:
            break;
    }
}

void CAutoProgramDlg::enableControls(bool on) {
    for (int s = 0; s < kAutoSteps; ++s) {
        bool enabled = on;
        if ((s == kBlankCheck || s == kFileCompare) && view_.blockStepsOff()) enabled = false;
        if (s == kProtect && !view_.protectAvailable()) enabled = false;
        boxes_[s]->setEnabled(enabled);
    }
    startButton_->setEnabled(on);
    cancelButton_->setEnabled(on);
}

void CAutoProgramDlg::showProgress(const ProgressEvent& event) {
    switch (event.kind) {
        case ProgressEvent::Kind::Open:
            messageLine_->setText(QString::fromStdString(event.operation));
            if (event.showBar) {
                bar_->setRange(0, static_cast<int>(std::clamp<int64_t>(event.total, 1, INT32_MAX)));
                bar_->setValue(0);
                bar_->show();
            } else {
                bar_->hide();
            }
            break;
        case ProgressEvent::Kind::Advance:
            bar_->setValue(static_cast<int>(std::clamp<int64_t>(event.done, 0, bar_->maximum())));
            break;
        case ProgressEvent::Kind::Text:
            messageLine_->setText(QString::fromStdString(event.operation));
            break;
        case ProgressEvent::Kind::Close:
            messageLine_->clear();
            bar_->hide();
            break;
    }
}

void CAutoProgramDlg::start() {
    if (running_) return;
    running_ = true;
    enableControls(false);
    const AutoOptions options = checked();
    // The steps' progress belongs on this dialog's line and bar, not in a
    // progress window of its own; the guard gives it back on every path.
    struct HostGuard {
        Operator& op;
        ~HostGuard() {
            op.setProgressHost({});
            runningNow = nullptr;
        }
    } guard{core_.op};
    runningNow = this;
    core_.op.setProgressHost([this](const ProgressEvent& e) { showProgress(e); });
    core_.autoProgramming(options);
    messageLine_->clear();
    bar_->hide();
    // A re-connection may have brought another mode or loaded a WCP.
    view_ = AutoView::of(core_);
    running_ = false;
    enableControls(true);
}

CAutoProgramDlg* CAutoProgramDlg::runningDialog() {
    return runningNow.data();
}

void CAutoProgramDlg::reject() {
    // No way out while the sequence runs: the chip would be left half done.
    if (running_) return;
    QDialog::reject();
}

void execAutoProgramming(DocumentCore& core, QWidget* parent) {
    if (core.preamble(kCmdAutoProgramming).status != 1) return;
    if (!core.autoProgrammer.resultWindow) installAutoResultWindows(core, parent);
    CAutoProgramDlg dialog(core, parent);
    // The dialog owns the boxes of its runs while it is open.
    auto* op = dynamic_cast<QtOperator*>(&core.op);
    QPointer<QWidget> before = op ? op->dialogOwner() : nullptr;
    if (op) op->setDialogOwner(&dialog);
    dialog.exec();
    if (op) op->setDialogOwner(before);
}

}  // namespace ostrand::ui
