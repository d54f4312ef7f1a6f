// The status panes and the shortened object path, the operator's boxes and
// progress window; then the document's enabling rules as the window applies
// them.
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
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

class RulesTest : public QObject {
    Q_OBJECT
  private slots:
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
        QCOMPARE(charFits(path, 35), std::string("/.../projects/board/firmware.h20"));
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
        QVERIFY(op.boxes.back().text.startsWith("E001-3 : "));
        QCOMPARE(op.boxes.back().icon, int(QMessageBox::Warning));
        QCOMPARE(op.boxes.back().buttons, int(QMessageBox::Ok));
        QCOMPARE(session.ExitStatus.load(), 0);
        op.showMessage(11006);
        QCOMPARE(op.boxes.back().icon, int(QMessageBox::Information));
        QVERIFY(!op.ask(12010));
        QCOMPARE(op.boxes.back().icon, int(QMessageBox::Question));
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
        QVERIFY(!op.progressWindow());
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
    void windowFollowsTheState() {
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
    }

    // The commands a person triggers that need no chip.
    void commandsWithoutTheChip() {
        test::UiRig rig;
        QCOMPARE(rig.startWithout("KMV5A128"), 1);
        ui::CMainFrame& f = *rig.frame;
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
        QVERIFY2(copy.find("Device=KMV5A128") != std::string::npos, copy.c_str());
        QVERIFY(rig.folder.read("Ostrand.ini").find("COMPort=/nonexistent/tty") !=
                std::string::npos);
    }
};

QTEST_MAIN(RulesTest)
#include "rules_test.moc"
