#include "ui/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include "ui/adapter_lost.h"
#include "ui/commands.h"
#include "ui/doc_state.h"

namespace ostrand::ui {

namespace {

// Status-line prompt and tool tip of the toolbar's commands.
struct Prompt {
    int id;
    const char* status;
    const char* tip;
};
constexpr Prompt kPrompts[] = {
    {kCmdAutoProgramming, "Auto Programming", "Auto Programming"},
    {kCmdChipErase, "ChipErase", "ChipErase"},
    {kCmdVerify, "Verify", "Verify"},
    {kCmdCompare, "Compare", "Compare"},
    {kCmdBlankCheck, "Blank Check", "Blank Check"},
    {kCmdProgram, "Program", "Program"},
    {kCmdSetupFile, "Setup", "Setup"},
    {kCmdSetupInfo, "View Setup Information", "View Setup Information"},
    {kCmdSetupInfo2, "View Setup Information 2", "View Setup Information 2"},
    {kCmdReconnect, "ReConnect", "Reconnect"},
    {kCmdProtect, "Protect", "Protect"},
    {kCmdOpenSetup, "Select Setup File", "Select Setup File"},
    {kCmdSaveAs, "Save As Memory", "Save As Memory"},
    {kCmdHelp, "Ostrand Help", "Ostrand Help"},
    {kCmdUnattendedAuto, "Auto Programming without the dialog", "Unattended Auto Programming"},
};

constexpr int kToolBarOrder[] = {kCmdOpenSetup,
                                 kCmdSaveAs,
                                 kCmdSetupFile,
                                 kCmdSetupInfo,
                                 0,
                                 kCmdAutoProgramming,
                                 kCmdReconnect,
                                 0,
                                 kCmdHelp,
                                 0,
                                 kCmdChipErase,
                                 kCmdProgram,
                                 kCmdVerify,
                                 kCmdCompare,
                                 kCmdBlankCheck,
                                 0,
                                 kCmdUnattendedAuto};

// The widest text each pane is made for.
const char* placeholderOf(int pane) {
    switch (pane) {
        case kPaneConnection:
            return "Accessing...  ";
        case kPanePort:
            return "COM256 ";
        case kPaneMode:
            return "S-Boot-PW ";
        case kPaneDevice:
            return "KMV2R8 (16.001KB)";
        case kPaneRate:
            return "76800 ";
        case kPaneProtect:
            return "No ReadProtect";
        default:
            return " ";
    }
}

}  // namespace

// ---------------------------------------------------------------- view

COstrandView::COstrandView(QtOperator& op, QWidget* frame)
    : QWidget(frame), op_(op), frame_(frame) {
    setFocusPolicy(Qt::StrongFocus);
}

void COstrandView::focusInEvent(QFocusEvent* event) {
    op_.setDialogOwner(frame_);
    QWidget::focusInEvent(event);
}

// ---------------------------------------------------------------- frame

CMainFrame::CMainFrame(COstrandDoc& doc) : doc_(doc) {
    setWindowTitle(QStringLiteral("Ostrand"));
    setCentralWidget(new COstrandView(doc.op, this));
    doc_.mainWindow = this;
    doc_.op.setMainWindow(this);
    doc_.op.setDialogOwner(this);
    buildMenus();
    buildToolBar();
    buildStatusBar();
    installEngineHooks();
    connect(&doc_, &COstrandDoc::stateChanged, this, &CMainFrame::updateCommandUi);
    connect(&doc_, &COstrandDoc::unattendedRunning, this,
            [this](bool running) { setCloseEnabled(!running); });
    idle_ = new QTimer(this);
    idle_->setInterval(250);
    connect(idle_, &QTimer::timeout, this, &CMainFrame::updateCommandUi);
    idle_->start();
    resize(760, 420);
    updateCommandUi();
}

CMainFrame::~CMainFrame() {
    // The worker must not reach a window that is going.
    doc_.core.engine.disconnect();
    EngineHooks h = doc_.core.engine.hooks();
    h.linkTimeout = nullptr;
    h.linkUp = nullptr;
    h.mainWindowExists = nullptr;
    h.closeMainWindow = nullptr;
    h.enableCommands = nullptr;
    h.waitCursor = nullptr;
    doc_.core.engine.setHooks(std::move(h));
    while (waitCursors_-- > 0) QApplication::restoreOverrideCursor();
    doc_.mainWindow = nullptr;
    doc_.op.setDialogOwner(nullptr);
}

QAction* CMainFrame::addCommand(QMenu* menu, int id, const QString& text, const QKeySequence& key) {
    auto* a = new QAction(text, this);
    if (!key.isEmpty()) a->setShortcut(key);
    for (const Prompt& p : kPrompts)
        if (p.id == id) {
            a->setStatusTip(QString::fromLatin1(p.status));
            a->setToolTip(QString::fromLatin1(p.tip));
        }
    connect(a, &QAction::triggered, this, [this, id] {
        updateCommandUi();
        doc_.command(id);
        updateCommandUi();
    });
    if (menu)
        menu->addAction(a);
    else
        addAction(a);  // a key without a menu item
    actions_[id] = a;
    return a;
}

void CMainFrame::buildMenus() {
    QMenuBar* bar = menuBar();
    auto menu = [&](const char* title) {
        QMenu* m = bar->addMenu(QString::fromLatin1(title));
        connect(m, &QMenu::aboutToShow, this, &CMainFrame::updateCommandUi);
        return m;
    };
    QMenu* file = menu("&File");
    addCommand(file, kCmdOpenSetup, "&Open...", QKeySequence(Qt::CTRL | Qt::Key_O));
    addCommand(file, kCmdOpenObject, "Open O&bject File...");
    addCommand(file, kCmdSaveAs, "&Save As...", QKeySequence(Qt::CTRL | Qt::Key_S));
    addCommand(file, kCmdReconnect, "&ReConnect...", QKeySequence(Qt::CTRL | Qt::Key_R));
    file->addSeparator();
    addCommand(file, kCmdExit, "E&xit");

    QMenu* edit = menu("&Edit");
    addCommand(edit, kCmdChipErase, "C&hip Erase...");
    addCommand(edit, kCmdBlockErase, "&Block Erase...");
    addCommand(edit, kCmdProgram, "&Program");
    addCommand(edit, kCmdMemoryDump, "&Memory Dump...");
    addCommand(edit, kCmdDataRead, "Data &Read...");
    addCommand(edit, kCmdDataWrite, "Data &Write...");
    addCommand(edit, kCmdVerify, "&Verify...");
    addCommand(edit, kCmdCompare, "C&ompare...");
    addCommand(edit, kCmdBlankCheck, "B&lank Check");
    addCommand(edit, kCmdProtect, "Pro&tect");

    QMenu* view = menu("&View");
    addCommand(view, kCmdSetupInfo, "Setup &Information", QKeySequence(Qt::CTRL | Qt::Key_I));
    addCommand(view, kCmdSetupInfo2, "Setup I&nformation 2");

    QMenu* command = menu("&Command");
    addCommand(command, kCmdAutoProgramming, "&Auto Programming...",
               QKeySequence(Qt::CTRL | Qt::Key_A));

    QMenu* setup = menu("&Setup");
    addCommand(setup, kCmdSetupFile, "S&etup File...", QKeySequence(Qt::CTRL | Qt::Key_E));
    addCommand(setup, kCmdSetupDevice, "&Device...");
    addCommand(setup, kCmdSetupObject, "&Object File...");
    addCommand(setup, kCmdSetupCommunication, "&Communication...");
    addCommand(setup, kCmdPassword, "P&assword...");
    addCommand(setup, kCmdOption, "Op&tion...");
    addCommand(setup, kCmdSaveSetupAs, "Sa&ve As Setup File...");

    QMenu* help = menu("&Help");
    addCommand(help, kCmdHelp, "&Ostrand Help", QKeySequence(Qt::Key_F1));
    addCommand(help, kCmdWebHelp, "&Calvane Web Help");
    addCommand(help, kCmdVersion, "&Version");

    addCommand(nullptr, kCmdUnattendedAuto, "Auto Programming");
    addCommand(nullptr, kCmdSingleBoot, "Single Boot",
               QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Q));
    connect(actions_[kCmdExit], &QAction::triggered, this, &QWidget::close);
}

void CMainFrame::buildToolBar() {
    toolBar_ = addToolBar(QStringLiteral("Ostrand ToolBar"));
    toolBar_->setObjectName(QStringLiteral("OstrandToolBar"));
    toolBar_->setMovable(true);
    toolBar_->setFloatable(true);
    toolBar_->setAllowedAreas(Qt::AllToolBarAreas);
    for (int id : kToolBarOrder) {
        if (id == 0) {
            toolBar_->addSeparator();
            continue;
        }
        QAction* a = actions_.at(id);
        a->setIcon(commandIcon(id));
        toolBar_->addAction(a);
    }
}

void CMainFrame::buildStatusBar() {
    QStatusBar* bar = statusBar();
    for (int id : kPaneOrder) {
        auto* label = new QLabel(this);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        const int width =
            label->fontMetrics().horizontalAdvance(QString::fromLatin1(placeholderOf(id))) +
            2 * label->frameWidth() + 4;
        if (id == kPaneObject)
            label->setMinimumWidth(width);
        else
            label->setFixedWidth(width);
        // Permanent: a menu's prompt on the status line leaves the panes alone.
        bar->addPermanentWidget(label, id == kPaneObject ? 1 : 0);
        panes_[id] = label;
    }
}

void CMainFrame::setCloseEnabled(bool on) {
    if (closeEnabled_ == on) return;
    closeEnabled_ = on;
    const bool visible = isVisible();
    setWindowFlag(Qt::WindowCloseButtonHint, on);
    if (visible) show();
}

void CMainFrame::installEngineHooks() {
    EngineHooks h = doc_.core.engine.hooks();
    // The worker's thread: everything it reports is handled on this one.
    h.linkTimeout = [this] {
        QMetaObject::invokeMethod(this, &CMainFrame::linkTimedOut, Qt::QueuedConnection);
    };
    h.linkUp = [this] {
        QMetaObject::invokeMethod(this, &CMainFrame::linkCameUp, Qt::QueuedConnection);
    };
    h.mainWindowExists = [this] { return shown_.load(); };
    h.serviceWindow = true;
    h.closeMainWindow = [this] {
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    };
    h.enableCommands = [this](bool on) {
        menuBar()->setEnabled(on);
        toolBar_->setEnabled(on);
    };
    h.waitCursor = [this](bool on) {
        if (on) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            ++waitCursors_;
        } else if (waitCursors_ > 0) {
            QApplication::restoreOverrideCursor();
            --waitCursors_;
        }
    };
    doc_.core.engine.setHooks(std::move(h));
}

QAction* CMainFrame::action(int command) const {
    auto it = actions_.find(command);
    return it == actions_.end() ? nullptr : it->second;
}

QLabel* CMainFrame::pane(int paneId) const {
    auto it = panes_.find(paneId);
    return it == panes_.end() ? nullptr : it->second;
}

void CMainFrame::updateCommandUi() {
    const DocState s = readDocState(doc_.core);
    const bool busy = doc_.busy();
    if (closePending_ && !busy) {
        closePending_ = false;
        QTimer::singleShot(0, this, &QWidget::close);
    }
    for (auto& [id, a] : actions_) a->setEnabled(!busy && commandEnabled(id, s));
    actions_[kCmdProgram]->setText(QString::fromStdString(programMenuText(s.bootType)));
    const std::string& web = doc_.core.devices.helpMenuText();
    if (!web.empty()) actions_[kCmdWebHelp]->setText(QString::fromStdString(web));
    for (auto& [id, label] : panes_) {
        std::string text = paneText(id, s);
        if (id == kPaneObject) {
            const QFontMetrics metrics = label->fontMetrics();
            const int room = label->contentsRect().width() - 4;
            text = shortenPath(text, [&](const std::string& t) {
                return metrics.horizontalAdvance(QString::fromStdString(t)) <= room;
            });
        }
        const QString q = QString::fromStdString(text);
        if (label->text() != q) label->setText(q);
    }
}

void CMainFrame::linkTimedOut() {
    // Nobody to read the notice: the run ends with the message instead.
    if (!doc_.core.linkTimedOut()) {
        close();
        return;
    }
    if (!notice_) {
        notice_ = new AdapterLostNotice(this);
        notice_->setAttribute(Qt::WA_DeleteOnClose);
        notice_->open();
    }
    QApplication::beep();
}

void CMainFrame::linkCameUp() {
    if (notice_) notice_->close();
    QApplication::beep();
    doc_.linkCameUp();
    updateCommandUi();
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    shown_ = true;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // Greyed during an unattended run; the run's own end closes the window.
    if (!closeEnabled_) {
        event->ignore();
        return;
    }
    // An operation pumping events below this one cannot be left half-way.
    if (doc_.busy()) {
        closePending_ = true;  // once the operation has returned
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

}  // namespace ostrand::ui
