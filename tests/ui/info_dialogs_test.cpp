// Setup Information 1 and 2, Set Up Option, the version window, the notice
// box, and the menu commands that open them.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include "ui/commands.h"
#include "ui/info_dialogs.h"
#include "ui/password_dialog.h"
#include "ui/setup_dialog.h"
#include "ui_rig.h"

using namespace ostrand;
using namespace ostrand::ui;

namespace {

const char* const kOptions = "ReadProtect=1\nAddressOption=1\nROMArea1=0x000000-0x0003FF\n";

// The device in force and the mode, as a connection would leave them.
void use(test::UiRig& rig, const std::string& device, int32_t mode) {
    rig.core->devices.select(device);
    rig.core->settings.inForce.device = device;
    rig.session.ProgrammingMode = mode;
}

}  // namespace

class InfoDialogsTest : public QObject {
    Q_OBJECT
  private slots:
    void setupInformationLinesAndGreying() {
        test::UiRig rig;
        rig.startWithout("KM16F48", kOptions, "1");
        const struct {
            const char* device;
            int32_t mode;
            int line;
            bool greyed;
        } rows[] = {
            {"KM16F48", 1, kInfoBlankCheck, false},     {"KM16F48", 3, kInfoBlankCheck, true},
            {"KMS11G124", 3, kInfoBlankCheck, false},   {"KMS11G124", 1, kInfoProgramming, true},
            {"KMV7Q3", 3, kInfoAllErase, true},         {"KMS11G124", 3, kInfoAutoProtect, false},
            {"KM16F48", 1, kInfoAutoProtect, true},     {"KMT12E48", 1, kInfoOptionProtect, true},
            {"KMV5A128", 1, kInfoOptionProtect, false}, {"KM16F48", 1, kInfoClock, true},
            {"KMV7Q3", 1, kInfoClock, false},           {"KMS11G124", 3, kInfoPhysical, false},
            {"KMS11G124", 3, kInfoEmulation, true},     {"KMS11G124", 1, kInfoPhysical, true},
        };
        for (const auto& r : rows) {
            use(rig, r.device, r.mode);
            CSetupInfoDlg d(*rig.core);
            QVERIFY2(
                d.greyed(r.line) == r.greyed,
                qPrintable(QString("%1 mode %2 line %3").arg(r.device).arg(r.mode).arg(r.line)));
        }
        // Programming on: an erase-first device erases too.
        use(rig, "KMV5A128", 1);
        rig.core->settings.inForce.allErase = 0;
        QCOMPARE(CSetupInfoDlg(*rig.core).line(kInfoAllErase), QString("All Erase: ON"));
        // BootType 10 runs at 115200 whatever the setup says.
        use(rig, "KMR10T128", 1);
        rig.core->settings.inForce.dataRate = kRate9600;
        QCOMPARE(CSetupInfoDlg(*rig.core).line(kInfoDataRate), QString("Data Rate 115200"));
        // The second summary: 24-bit areas, the fill byte, the second area.
        use(rig, "KM16F48", 1);
        CSetupInfo2Dlg two(*rig.core);
        QCOMPARE(two.line(kInfo2Setting), QString("Setting:  ON"));
        QCOMPARE(two.line(kInfo2Area1), QString("ROM Area 1:  0x000000 - 0x0003FF"));
        QCOMPARE(two.line(kInfo2Data), QString("Data for No Address Area:  0xFF"));
        QVERIFY(!two.greyed(kInfo2Area1) && two.greyed(kInfo2Area2) && two.greyed(kInfo2Sum));
    }

    void setUpOptionBoxes() {
        test::UiRig rig;
        rig.startWithout("KM16F48", kOptions, "1");
        const struct {
            const char* device;
            int32_t protectState;
            bool protectEnabled, eraseEnabled;
        } rows[] = {{"KMV5A128", 0, true, false},
                    {"KMV5A128", 1, false, false},
                    {"KMV7Q3", 0, true, true},
                    {"KM16F96", 0, false, false},
                    {"KM16F48", 0, false, true}};
        for (const auto& r : rows) {
            use(rig, r.device, 1);
            rig.core->settings.inForce.readProtectOther = 1;
            rig.session.ProtectState = r.protectState;
            CSetupOptionDlg d(*rig.core, rig.core->devices.selected());
            QVERIFY(d.protect->isChecked());
            QCOMPARE(d.protect->isEnabled(), r.protectEnabled);
            QCOMPARE(d.eraseWithoutPassword->isEnabled(), r.eraseEnabled);
        }
        // OK stores both boxes and writes the setup.
        use(rig, "KM16F48", 1);
        CSetupOptionDlg d(*rig.core, rig.core->devices.selected());
        d.protect->setChecked(false);
        d.eraseWithoutPassword->setChecked(true);
        d.accept();
        QCOMPARE(rig.core->settings.inForce.eraseWithoutPassword, 1);
        QCOMPARE(rig.core->passwords.eraseWithoutPassword, 1);
        const std::string saved = rig.folder.read("Ostrand.ini");
        QVERIFY(saved.find("EraseWithoutPassword=1\n") != std::string::npos);
        QVERIFY(saved.find("ReadProtect=0\n") != std::string::npos);
    }

    void versionNoticeAndCommands() {
        test::UiRig rig;
        rig.startWithout("KM16F48", kOptions, "1");
        CAboutDlg about(*rig.core);
        QCOMPARE(about.lines[0]->text(), QString("Ostrand demo device pack 1.0"));
        QCOMPARE(about.lines[1]->text(), QString("Ostrand Ver1.0d"));
        QString boxText;
        rig.op.runBox = [&](QMessageBox& box) {
            boxText = box.checkBox()->text();
            box.checkBox()->setChecked(true);
            return int(QMessageBox::Ok);
        };
        QVERIFY(rig.op.notice(11021));
        QCOMPARE(boxText, QString("Next time, this message not display."));

        // Every command of the Setup and View menus and Version opens its window.
        const struct {
            int command;
            const char* window;
        } rows[] = {{kCmdSetupInfo, "ostrand::ui::CSetupInfoDlg"},
                    {kCmdSetupInfo2, "ostrand::ui::CSetupInfo2Dlg"},
                    {kCmdVersion, "ostrand::ui::CAboutDlg"},
                    {kCmdOption, "ostrand::ui::CSetupOptionDlg"},
                    {kCmdPassword, "ostrand::ui::CPasswordDlg"},
                    {kCmdSetupFile, "ostrand::ui::CSetupDlg"},
                    {kCmdSetupCommunication, "ostrand::ui::CSetupDlg"}};
        rig.op.runBox = [](QMessageBox&) { return int(QMessageBox::Yes); };
        for (const auto& r : rows) {
            QString opened;
            QTimer::singleShot(50, [&] {
                QWidget* w = QApplication::activeModalWidget();
                opened = w ? w->metaObject()->className() : "none";
                if (auto* d = qobject_cast<QDialog*>(w)) d->done(QDialog::Rejected);
            });
            rig.frame->updateCommandUi();
            rig.frame->action(r.command)->trigger();
            QCOMPARE(opened, QString(r.window));
        }
        QCOMPARE(rig.session.AbortRequested.load(), 0);
    }
};

QTEST_MAIN(InfoDialogsTest)
#include "info_dialogs_test.moc"
