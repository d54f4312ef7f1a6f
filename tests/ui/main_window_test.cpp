// The main window. Against the simulated chip: opening a setup and an object
// file, re-connecting, the adapter-lost notice, and Cancel of a programming
// run. The status panes and the shortened object path, the operator's boxes
// and progress window, and the document's enabling rules as the window
// applies them.
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>
#include <QtTest>

#include "ui/commands.h"
#include "ui/doc_state.h"
#include "ui_rig.h"

using namespace ostrand;
using namespace ostrand::ui;

namespace {

std::string charFits(const std::string& path, size_t room) {
    return shortenPath(path, [room](const std::string& t) { return t.size() <= room; });
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void openSetupObjectAndReconnect() {
        test::UiRig rig;
        QVERIFY(rig.startChip("KMT12E48"));
        const std::string port = rig.port;
        const std::string object = rig.folder.write("app.h16", test::hexObject(256)).string();
        // Start-up with a port nobody answers on: not connected.
        QCOMPARE(rig.startWithout("KMT12E48"), 1);
        CMainFrame& f = *rig.frame;
        QCOMPARE(f.pane(kPaneConnection)->text(), QString("Disconnect"));
        QVERIFY(f.action(kCmdOpenObject)->isEnabled());

        // Open Object File: the setup file names it and the image holds it.
        rig.doc->chooseFile = [&](FileRequest& r) {
            return r.filters.size() == 4 ? QString::fromStdString(object) : QString();
        };
        f.action(kCmdOpenObject)->trigger();
        QVERIFY(rig.core->image.loaded());
        QVERIFY(rig.folder.read("Ostrand.ini").find("OpenFile=" + object) != std::string::npos);
        QCOMPARE(rig.session.AbortRequested.load(), 0);

        // Open a setup file that names the chip: connected.
        const auto other =
            rig.folder.write("other.ini", test::setupText("KMT12E48", object, port, "9600"));
        rig.doc->chooseFile = [&](FileRequest& r) {
            return r.filters.size() == 2 ? QString::fromStdString(other.string()) : QString();
        };
        f.action(kCmdOpenSetup)->trigger();
        QCOMPARE(rig.session.ConnectStatus.load(), 1);
        f.updateCommandUi();
        QCOMPARE(f.pane(kPaneConnection)->text(), QString("Connected"));
        QCOMPARE(f.pane(kPanePort)->text(), QString::fromStdString(port));
        QCOMPARE(f.pane(kPaneMode)->text(), QString("WCP-Div"));
        QVERIFY(!f.action(kCmdOpenSetup)->isEnabled());
        QVERIFY(f.action(kCmdProgram)->isEnabled());
        QVERIFY(rig.folder.read("Ostrand.ini").find("COMPort=" + port) != std::string::npos);

        // ReConnect asks first; No leaves the link alone.
        rig.op.boxes.clear();
        rig.answers = {QMessageBox::No};
        f.action(kCmdReconnect)->trigger();
        QCOMPARE(rig.codes(), std::vector<int32_t>{12010});
        QCOMPARE(rig.op.boxes[0].icon, int(QMessageBox::Question));
        QCOMPARE(rig.op.boxes[0].buttons, int(QMessageBox::Yes | QMessageBox::No));
        QCOMPARE(rig.session.StartupErasePending.load(), 0);
        rig.answers = {QMessageBox::Yes};
        f.action(kCmdReconnect)->trigger();
        QCOMPARE(rig.session.ConnectStatus.load(), 1);
        QCOMPARE(rig.session.StartupErasePending.load(), 1);

        // A setup file that is not valid leaves the program disconnected.
        rig.session.ConnectStatus = 0;
        f.updateCommandUi();
        const auto broken = rig.folder.write("broken.ini", "[Ostrand]\nDevice=NoSuchChip\n");
        rig.doc->chooseFile = [&](FileRequest&) { return QString::fromStdString(broken.string()); };
        f.action(kCmdOpenSetup)->trigger();
        QCOMPARE(rig.session.ConnectStatus.load(), 0);
        QCOMPARE(rig.session.ProgrammingMode.load(), 0);
        QVERIFY(!rig.core->engine.port().isOpen());
    }

    // Program, Save As (a WCP is in the chip then), ReConnect: connected
    // again; a chip that has gone leaves ReConnect as the way back, and the
    // adapter-lost notice shows until it answers again.
    void reconnectAfterSaveAs() {
        test::UiRig rig;
        QVERIFY(rig.connect("KMT12E48", 256));
        CMainFrame& f = *rig.frame;
        const std::string saved = (rig.folder.path() / "saved.h20").string();
        rig.doc->chooseFile = [&](FileRequest& r) {
            return r.save ? QString::fromStdString(saved) : QString();
        };
        auto run = [&](int command) {
            rig.op.boxes.clear();
            f.updateCommandUi();
            QVERIFY2(f.action(command)->isEnabled(), qPrintable(QString::number(command)));
            f.action(command)->trigger();
            f.updateCommandUi();
        };
        for (int round = 0; round < 2; ++round) {
            run(kCmdProgram);
            QCOMPARE(rig.codes(), std::vector<int32_t>{11006});
            run(kCmdSaveAs);
            QCOMPARE(rig.codes(), std::vector<int32_t>{11024});
            run(kCmdReconnect);
            QCOMPARE(rig.codes(), std::vector<int32_t>{12010});
            QCOMPARE(f.pane(kPaneConnection)->text(), QString("Connected"));
            QVERIFY(!f.adapterLostNotice());
        }
        rig.chip.pause();
        run(kCmdReconnect);
        QCOMPARE(rig.session.ConnectStatus.load(), 2);
        QCOMPARE(f.pane(kPaneConnection)->text(), QString("Accessing..."));
        QVERIFY(f.action(kCmdReconnect)->isEnabled());
        // The access wait is one second here.
        QTRY_VERIFY_WITH_TIMEOUT(f.adapterLostNotice() && f.adapterLostNotice()->isVisible(), 8000);
        QVERIFY(f.adapterLostNotice()->text().startsWith("E000 : "));
        QCOMPARE(f.adapterLostNotice()->windowTitle(), QString("Ostrand"));
        rig.chip.resume();
        QTRY_VERIFY_WITH_TIMEOUT(!f.adapterLostNotice(), 8000);
        QTRY_COMPARE_WITH_TIMEOUT(f.pane(kPaneConnection)->text(), QString("Connected"), 3000);
        QVERIFY(rig.core->connected);
        f.updateCommandUi();
        QVERIFY(f.action(kCmdProgram)->isEnabled());
    }

    void cancelStopsProgrammingWithinOneBlock() {
        test::UiRig rig;
        QVERIFY(rig.connect("KMT12E48", 0x8000, {"--pace"}));

        int advancesAfterCancel = -1;
        int64_t doneAtCancel = 0, lastDone = 0;
        rig.op.setProgressListener([&](const ProgressEvent& e) {
            if (e.kind != ProgressEvent::Kind::Advance) return;
            lastDone = e.done;
            if (advancesAfterCancel >= 0) ++advancesAfterCancel;
        });
        QTimer poll;
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, [&] {
            ProgressWindow* w = rig.op.progressWindow();
            if (!w || advancesAfterCancel >= 0 || w->messageLine()->text() != "Programming...")
                return;
            if (w->bar()->value() == 0) return;
            doneAtCancel = lastDone;
            advancesAfterCancel = 0;
            QTest::mouseClick(w->cancelButton(), Qt::LeftButton);
            QCOMPARE(w->messageLine()->text(), QString("Aborting processing..."));
            QVERIFY(!w->cancelButton()->isEnabled());
            QCOMPARE(w->bar()->value(), 0);
        });
        poll.start();
        rig.op.boxes.clear();
        rig.frame->action(kCmdProgram)->trigger();
        poll.stop();
        QVERIFY2(advancesAfterCancel >= 0, "the programming window never showed progress");
        QVERIFY2(advancesAfterCancel <= 1, qPrintable(QString::number(advancesAfterCancel)));
        QVERIFY(lastDone < 0x8000);
        QVERIFY(lastDone - doneAtCancel <= 256);
        // Said as it ends: the chip holds part of the object.
        QCOMPARE(rig.codes(), (std::vector<int32_t>{11312, 11005}));
        QVERIFY(!rig.op.progressWindow());
        const std::vector<uint8_t> flash = rig.flash();
        QVERIFY(flash.size() >= 0x8000);
        QCOMPARE(flash[0x7FFF], uint8_t(0xFF));  // the end was never written

        // A WCP is in the chip now: no switch to single boot.
        QVERIFY(rig.core->engine.state().chip.anyWcpLoaded());
        rig.op.boxes.clear();
        rig.frame->action(kCmdSingleBoot)->trigger();
        QCOMPARE(rig.codes(), std::vector<int32_t>{10517});
        QCOMPARE(rig.op.boxes[0].hint, 12141);
        QCOMPARE(rig.session.ProgrammingMode.load(), 1);
    }

    // The pane texts that the window's own tests do not reach.
    void paneTexts() {
        DocState s;
        s.connectStatus = 3;
        s.bootType = 6;  // no protect function
        s.device = "KMV5A128";
        QCOMPARE(paneText(kPaneConnection, s), std::string("Disconnecting..."));
        QCOMPARE(paneText(kPaneMode, s), std::string());
        QCOMPARE(paneText(kPaneProtect, s), std::string());
        QCOMPARE(paneText(kPaneDevice, s), std::string("KMV5A128"));
        s.addressOption = true;
        s.addressAreaBytes = 16 * 1024 + 1023;  // the remainder is dropped
        QCOMPARE(paneText(kPaneDevice, s), std::string("KMV5A128 (16KB)"));
    }

    void shortenedPath() {
        const std::string path = "/home/operator/projects/board/firmware.h20";
        QCOMPARE(charFits(path, 100), path);
        QCOMPARE(charFits(path, 26), std::string("/.../board/firmware.h20"));
        QCOMPARE(charFits(path, 18), std::string("/.../firmware.h20"));
        QCOMPARE(charFits(path, 5), std::string("firmware.h20"));
        QCOMPARE(charFits("rel/dir/x.h16", 10), std::string(".../x.h16"));
    }

    // Boxes: the numbered layout, icon, caption and buttons; questions; the
    // notice's box; the progress window's forms.
    void operatorWindows() {
        Session session;
        QtOperator op(session);
        bool tick = false, seen = false;
        QString caption;
        op.runBox = [&](QMessageBox& box) {
            seen = true;
            if (tick && box.checkBox()) box.checkBox()->setChecked(true);
            caption = box.windowTitle();
            const auto b = box.standardButtons();
            return int(b & QMessageBox::Yes      ? QMessageBox::No
                       : b & QMessageBox::Cancel ? QMessageBox::Cancel
                                                 : QMessageBox::Ok);
        };
        op.showMessage(10001, 3, 12100, "COM9");
        QCOMPARE(caption, QString("Ostrand"));
        QCOMPARE(op.boxes.back().icon, int(QMessageBox::Warning));
        QCOMPARE(op.boxes.back().buttons, int(QMessageBox::Ok));
        QCOMPARE(session.ExitStatus.load(), 0);
        op.showMessage(11006);
        QCOMPARE(op.boxes.back().icon, int(QMessageBox::Information));
        QVERIFY(!op.ask(12010));
        QVERIFY(!op.boxes.back().text.contains(" : "));  // questions have no prefix
        QVERIFY(!op.askOkCancel(12005));                 // what to do next, not a question
        QCOMPARE(op.boxes.back().icon, int(QMessageBox::Information));
        QVERIFY(!op.notice(12001));
        tick = true;
        QVERIFY(op.notice(12001));

        // Unattended: nothing waits for a person.
        op.setUnattended(true);
        seen = false;
        op.showMessage(10002, 162);
        QVERIFY(op.ask(12014) && !op.ask(12001) && !op.askOkCancel(12005));
        QVERIFY(!seen);
        QCOMPARE(op.boxes[op.boxes.size() - 4].code, 10002);

        // Without Cancel and bar, top-most.
        op.progressOpen("Protecting...", 10, false, false, true);
        ProgressWindow* w = op.progressWindow();
        QVERIFY(w && w->isVisible());
        QVERIFY(!w->parentWidget());
        QVERIFY(w->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(!(w->windowFlags() & Qt::WindowCloseButtonHint));
        QVERIFY(!w->bar()->isVisible() && !w->cancelButton()->isVisible());
        w->close();
        QVERIFY(!op.progressAborted());
        op.progressClose();
        // With both: steps move the bar, Close is a Cancel.
        op.progressOpen("Programming...", 1000, true, true, false);
        w = op.progressWindow();
        op.progressStep(256);
        QCOMPARE(w->bar()->value(), 256);
        QCOMPARE(w->bar()->maximum(), 1000);
        w->close();
        QVERIFY(op.progressAborted());
        QCOMPARE(w->messageLine()->text(), QString("Aborting processing..."));
        op.progressClose();
    }

    // The window applies the rules before a menu shows and on its timer.
    void windowFollowsTheStateAndCommands() {
        test::UiRig rig;
        QCOMPARE(rig.startWithout("KMS11G124"), 1);
        ui::CMainFrame& f = *rig.frame;
        QCOMPARE(f.windowTitle(), QString("Ostrand"));
        QCOMPARE(f.action(kCmdProgram)->text(), QString("Erase/&Program"));
        QCOMPARE(f.pane(kPaneConnection)->text(), QString("Disconnect"));
        QCOMPARE(f.pane(kPanePort)->text(), QString("/nonexistent/tty"));
        QCOMPARE(f.pane(kPaneProtect)->text(), QString("No Protect"));
        QVERIFY(f.action(kCmdOpenSetup)->isEnabled());
        // The view taking the focus gives message boxes back to the main window.
        QWidget dialog;
        rig.op.setDialogOwner(&dialog);
        QApplication::setActiveWindow(&f);
        f.centralWidget()->setFocus();
        QTRY_COMPARE(rig.op.dialogOwner(), static_cast<QWidget*>(&f));

        // Connected in mode 3, protected: what the Edit menu shows on opening.
        rig.session.ConnectStatus = 1;
        rig.session.ProgrammingMode = 3;
        rig.session.ProtectState = 1;
        QMenu* edit = nullptr;
        for (QAction* a : f.menuBar()->actions())
            if (a->text() == "&Edit") edit = a->menu();
        QVERIFY(edit);
        QMetaObject::invokeMethod(edit, "aboutToShow");
        QVERIFY(!f.action(kCmdCompare)->isEnabled());
        QVERIFY(f.action(kCmdProtect)->isEnabled());
        QCOMPARE(f.pane(kPaneMode)->text(), QString("S-Boot-PW"));
        QCOMPARE(f.pane(kPaneProtect)->text(), QString("Protect"));
        // And on the idle timer, without a menu.
        rig.session.ProtectState = 0;
        QTRY_VERIFY_WITH_TIMEOUT(
            f.action(kCmdCompare)->isEnabled() == false && f.action(kCmdSaveAs)->isEnabled(), 3000);
        rig.session.ConnectStatus = 0;

        // A long object path is shortened to the pane's width, and fits.
        rig.core->settings.inForce.openFile =
            "/very/long/folder/names/that/go/on/and/on/and/on/for/a/while/to/reach/the/object.h20/"
            "and/further/down/through/more/folders/until/the/pane/cannot/hold/it/object.h20";
        f.resize(800, 300);
        f.updateCommandUi();
        QLabel* pane = f.pane(kPaneObject);
        const QString shown = pane->text();
        QVERIFY2(shown.startsWith("/...") && shown.endsWith("/object.h20"), qPrintable(shown));
        QVERIFY(pane->fontMetrics().horizontalAdvance(shown) <= pane->contentsRect().width());
        f.resize(2400, 300);
        QTRY_COMPARE_WITH_TIMEOUT(
            pane->text(), QString::fromStdString(rig.core->settings.inForce.openFile), 3000);

        // The commands a person triggers that need no chip.
        rig.op.boxes.clear();
        // The manual is not in this folder: 10902.
        f.action(kCmdHelp)->trigger();
        QCOMPARE(rig.codes(), std::vector<int32_t>{10902});
        QCOMPARE(rig.op.boxes.back().icon, int(QMessageBox::Warning));
        QVERIFY(rig.op.boxes.back().text.startsWith("E902 : Cannot start Acrobat Reader."));
        // With the manual there, the desktop is asked to open it.
        rig.folder.write("Help.pdf", "%PDF-1.4\n");
        QUrl opened;
        rig.doc->openUrl = [&](const QUrl& u) {
            opened = u;
            return true;
        };
        f.action(kCmdHelp)->trigger();
        QCOMPARE(opened, QUrl::fromLocalFile(
                             QString::fromStdString((rig.folder.path() / "Help.pdf").string())));
        QCOMPARE(rig.op.boxes.size(), size_t(1));
        // The single boot switch without a device selected.
        rig.core->devices.deselect();
        rig.session.ProgrammingMode = 0;
        f.action(kCmdSingleBoot)->trigger();
        QCOMPARE(rig.op.boxes.back().code, 10517);
        QCOMPARE(rig.op.boxes.back().hint, 12142);
        // Save As Setup File writes the setup where the operator says.
        const auto saved = rig.folder.path() / "copy.ini";
        rig.doc->chooseFile = [&](ui::FileRequest& r) {
            return r.save && r.overwritePrompt ? QString::fromStdString(saved.string()) : QString();
        };
        f.action(kCmdSaveSetupAs)->trigger();
        const std::string copy = rig.folder.read("copy.ini");
        QVERIFY2(copy.find("Device=KMS11G124") != std::string::npos, copy.c_str());
        QVERIFY(rig.folder.read("Ostrand.ini").find("COMPort=/nonexistent/tty") !=
                std::string::npos);
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
