// The window against the simulated chip: opening a setup and an object file,
// re-connecting, the adapter-lost notice, and Cancel of a programming run.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "ui/commands.h"
#include "ui_rig.h"

using namespace ostrand;
using namespace ostrand::ui;

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
        QVERIFY(rig.connect("KMT12E48", 256, {"--pace"}));
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
        QCOMPARE(f.adapterLostNotice()->text(),
                 QString("E000 : Cannot communicate with the adapter.\nCheck the adapter power "
                         "supply, reset switch, wiring, short pins, resonator and device. "));
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
        QCOMPARE(rig.op.boxes[1].detail,
                 std::string("The chip is partly written: erase it and program it again."));
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
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
