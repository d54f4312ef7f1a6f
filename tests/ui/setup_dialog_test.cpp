// The Setup menu's dialogs. The Setup dialog: the page rule, focus and Tab
// cycling, the Device page's Apply and Setting, the Communication page's
// layouts by device, the Address Option checks, and OK without a device.
// Setup Information 1 and 2, Set Up Option, the version window, and the menu
// commands that open them. Setup Password: a refused OK with the focus it
// leaves, the object file sources, the ':' notice, Help and Cancel; Auto
// against a connected chip.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
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

// The device in the Series and Device lists, and Apply.
void choose(test::UiRig& rig, CSetupDlg& d, const std::string& device, bool apply = true) {
    const QString series = QString::fromStdString(rig.core->devices.find(device)->seriesName);
    d.devicePage->seriesList->setCurrentText(series);
    d.devicePage->fillDevices(series, QString::fromStdString(device));
    QCOMPARE(d.devicePage->deviceList->currentText(), QString::fromStdString(device));
    if (apply) d.devicePage->applyButton->click();
}

QString focused() {
    QWidget* w = QApplication::focusWidget();
    return w ? w->objectName() : QString("none");
}

const char* const kOptions = "ReadProtect=1\nAddressOption=1\nROMArea1=0x000000-0x0003FF\n";

// The device in force and the mode, as a connection would leave them.
void use(test::UiRig& rig, const std::string& device, int32_t mode) {
    rig.core->devices.select(device);
    rig.core->settings.inForce.device = device;
    rig.session.ProgrammingMode = mode;
}

// The Setup Password dialog for `device`, shown, its boxes not yet counted.
struct Dialog {
    test::UiRig& rig;
    CPasswordDlg d;
    Dialog(test::UiRig& r, const char* device)
        : rig(r), d(*r.doc, r.core->devices.find(device), nullptr, {}) {
        d.show();
        QVERIFY(QTest::qWaitForWindowActive(&d));
        r.op.boxes.clear();
    }
    // The device password typed by hand.
    void manual(bool hex, const QString& text, const QString& count, const QString& start) {
        d.deviceGroup->setChecked(true);
        d.deviceManual->click();
        (hex ? d.hex : d.ascii)->click();
        d.password->setText(text);
        d.deviceNumAdd->setText(count);
        d.deviceCmpAdd->setText(start);
    }
};

}  // namespace

class SetupDialogTest : public QObject {
    Q_OBJECT
  private slots:
    void pageRuleFocusTabCycleAndAnotherSetupFile() {
        test::UiRig rig;
        rig.startWithout("KM16F48");
        const struct {
            int asked, shown;
            const char* focus;
        } rows[] = {{5, 0, "setupFile"},
                    {-1, 0, "setupFile"},
                    {1, 1, "device"},
                    {2, 2, "objectFile"},
                    {3, 3, "comPort"}};
        for (const auto& r : rows) {
            CSetupDlg d(*rig.doc, r.asked);
            d.show();
            QVERIFY(QTest::qWaitForWindowActive(&d));
            QCOMPARE(d.page(), r.shown);
            QCOMPARE(d.tabs->currentIndex(), r.shown);
            QCOMPARE(focused(), QString(r.focus));
        }
        // The Object File page's fields and the dialog's buttons are one ring.
        CSetupDlg d(*rig.doc, 2);
        d.show();
        QVERIFY(QTest::qWaitForWindowActive(&d));
        d.objectFilePage->browse->setFocus();
        QTest::keyClick(&d, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), d.passwordButton);
        d.objectFilePage->pathBox->setFocus();
        QTest::keyClick(&d, Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), d.cancelButton);
        QTest::keyClick(&d, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), d.objectFilePage->pathBox);
        // A text box takes the focus with its whole text selected.
        d.objectFilePage->pathBox->setText("/tmp/app.h16");
        d.passwordButton->setFocus();
        QTest::mouseClick(d.objectFilePage->pathBox, Qt::LeftButton);
        QTRY_COMPARE(d.objectFilePage->pathBox->selectedText(), QString("/tmp/app.h16"));
        d.reject();
        // Another setup file is taken up on leaving the Setup File page.
        {
            const auto other = rig.folder.write(
                "other.ini", test::setupText("KMV9C384", "", "/dev/null", "38400"));
            // Held by another instance: refused, the box cleared, nothing loaded.
            rig.session.MultiInstance = 1;
            FileLock held;
            QVERIFY(held.acquire(other, false));
            CSetupDlg d(*rig.doc, 0);
            d.show();
            d.setupFilePage->pathBox->setText(QString::fromStdString(other.string()));
            rig.op.boxes.clear();
            d.tabs->setCurrentIndex(1);
            QCOMPARE(rig.codes(), std::vector<int32_t>{10113});
            QCOMPARE(rig.op.boxes[0].place, 3);
            QCOMPARE(rig.op.boxes[0].hint, 12137);
            QVERIFY(d.setupFilePage->pathBox->text().isEmpty());
            QCOMPARE(d.devicePage->chosenDevice->text(), QString("KM16F48"));
            // Free again: leaving the page loads it and fills the other pages.
            held.release();
            d.tabs->setCurrentIndex(0);
            d.setupFilePage->pathBox->setText(QString::fromStdString(other.string()));
            d.tabs->setCurrentIndex(3);
            QCOMPARE(rig.core->settings.setupPath, other);
            QCOMPARE(d.devicePage->chosenDevice->text(), QString("KMV9C384"));
            QCOMPARE(d.communicationPage->rateList->currentText(), QString("38400"));
        }
    }

    void applySettingEmulationAndNoDevice() {
        test::UiRig rig;
        rig.startWithout("KM16F48");
        CSetupDlg d(*rig.doc, 1);
        d.show();
        CDevicePage& p = *d.devicePage;
        QCOMPARE(p.chosenDevice->text(), QString("KM16F48"));
        QVERIFY(!p.setting->isEnabled());
        // Another device in the lists, not applied yet: Setting refuses.
        choose(rig, d, "KMV9C384", false);
        rig.op.boxes.clear();
        p.setting->setEnabled(true);
        p.setting->click();
        QCOMPARE(rig.codes(), std::vector<int32_t>{10512});
        QCOMPARE(rig.op.boxes[0].hint, 12150);
        // Applied: a device with a second area opens its areas unticked.
        p.applyButton->click();
        QCOMPARE(p.chosenDevice->text(), QString("KMV9C384"));
        QCOMPARE(rig.core->devices.selected()->deviceName, std::string("KMV9C384"));
        QVERIFY(p.setting->isEnabled());
        choose(rig, d, "KM16F48");
        QVERIFY(!p.setting->isEnabled());
        p.addressOption->setChecked(true);
        QVERIFY(p.setting->isEnabled());
        // A fixed-length password device takes its blank-chip password.
        choose(rig, d, "KM8P32");
        QCOMPARE(d.values.passDevBlank, 1);
        QCOMPARE(d.values.passDevPassword, std::string("FFFFFFFF"));
        // Only BootType 11 shows the emulation fields.
        QVERIFY(p.emulation->isHidden());
        choose(rig, d, "KMS11G124");
        QVERIFY(!p.emulation->isHidden() && !p.limit->isHidden());
        QCOMPARE(p.emulation->currentText(), QString("less than 60K"));
        QCOMPARE(p.limit->text(), QString("0x10000"));
        QVERIFY(!p.limit->isEnabled());
        // No device chosen: OK and Password refuse, and the dialog stays.
        p.deviceList->setCurrentIndex(-1);
        p.applyButton->click();
        QVERIFY(p.chosenDevice->text().isEmpty());
        rig.op.boxes.clear();
        d.okButton->click();
        QVERIFY(d.isVisible());
        d.passwordButton->click();
        QCOMPARE(rig.codes(), (std::vector<int32_t>{10512, 10512}));
        QCOMPARE(rig.op.boxes[1].hint, 12138);
        // Cancel: the setup's own device stays in force.
        d.reject();
        QCOMPARE(rig.core->devices.selected()->deviceName, std::string("KM16F48"));
    }

    void communicationLayoutByDevice() {
        test::UiRig rig;
        // A WCP device of BootType 7 whose record enables the clock entry.
        std::ofstream(rig.folder.path() / "Ostrand.def", std::ios::app)
            << "\n"
            << deviceSection("KMX7-KMX7CLK", 7, "TotalWCP=0xFC680063\n");
        rig.startWithout("KM16F48");
        CSetupDlg d(*rig.doc, 3);
        d.show();
        CCommunicationPage& c = *d.communicationPage;
        // The setup's port stays selectable though the system does not list it.
        QCOMPARE(c.portList->currentText(), QString("/nonexistent/tty"));
        QCOMPARE(c.rateList->currentText(), QString("9600"));
        // A plain device: no clock at all.
        QVERIFY(c.clockFrame->isHidden() && c.clockBox->isHidden() && c.rateList->isEnabled());
        // A clock-entry device: Auto takes the clock, Manual the rate list.
        choose(rig, d, "KMX7CLK");
        c.automatic->click();
        QVERIFY(c.clockBox->isEnabled() && !c.rateList->isEnabled());
        QCOMPARE(c.help->text(), QString::fromUtf8(messageTextOrFallback(12207).data()));
        c.manual->click();
        QVERIFY(!c.clockBox->isEnabled() && c.rateList->isEnabled());
        QCOMPARE(c.help->text(), QString::fromUtf8(messageTextOrFallback(12203).data()));
        choose(rig, d, "KMR10T128");
        // BootType 10: Auto forced, the fixed clock with six decimals.
        QVERIFY(c.automatic->isChecked() && !c.manual->isEnabled() && !c.clockBox->isEnabled());
        QCOMPARE(c.clockBox->text(), QString("16.934400"));
        QCOMPARE(c.help->text(), QString::fromUtf8(messageTextOrFallback(12208).data()));
        // The clock-choice device: its rate follows the clock.
        choose(rig, d, "KMV7Q3");
        QVERIFY(!c.clockFrame->isHidden() && c.clockBox->isHidden() && !c.rateList->isEnabled());
        QVERIFY(c.clockChoices[0]->isChecked());
        QCOMPARE(c.rateList->currentText(), QString("38400"));
        c.clockChoices[1]->click();
        QCOMPARE(c.rateList->currentText(), QString("19200"));
        c.clockChoices[2]->click();
        QCOMPARE(c.rateList->currentText(), QString("9600"));
    }

    void addressOptionChecks() {
        test::UiRig rig;
        rig.startWithout("KM16F48");
        const struct {
            const char* device;
            std::array<const char*, 4> boxes;
            int32_t code, hint;
            int focus;
        } rows[] = {
            {"KMV9C384", {"0X000000", "0x0003FF", "0xF1000", "0xF13FF"}, 0, 0, -1},
            {"KMV9C384", {"0x000000", "0x0003FE", "0xF1000", "0xF13FF"}, 10523, 12110, 0},
            {"KMV9C384", {"0x0", "0x3FF", "0xF1000", ""}, 10507, 0, 3},
            {"KMV9C384", {"0x0", "0x3FF", "0xF2000", "0xF13FF"}, 10505, 12132, 2},
            {"KM16F48", {"1000", "0x13FF", "", ""}, 10501, 0, 0},
            {"KM16F48", {"0x1000", "13FF", "", ""}, 10503, 0, 1},
            {"KM16F48", {"", "0x13FF", "", ""}, 10506, 0, 0},
            {"KM16F48", {"0xC000", "0xC3FF", "", ""}, 10502, 12110, 0},
            {"KM16F48", {"0x1000", "0xC3FF", "", ""}, 10504, 12110, 1},
        };
        for (const auto& r : rows) {
            const DeviceDefinition& dev = *rig.core->devices.find(r.device);
            SetupValues v = rig.core->settings.inForce;
            CAddressOptionDlg a(*rig.core, dev, true, v);
            a.show();
            QVERIFY(QTest::qWaitForWindowActive(&a));
            QCOMPARE(a.secondArea->isHidden(), std::string(r.device) == "KM16F48");
            QCOMPARE(a.sumFrame->isHidden(), std::string(r.device) == "KM16F48");
            for (int i = 0; i < 4; ++i) a.boxes[i]->setText(r.boxes[i]);
            a.data00->setChecked(true);
            rig.op.boxes.clear();
            a.accept();
            if (r.code == 0) {
                QVERIFY2(rig.op.boxes.empty(), r.boxes[0]);
                QCOMPARE(a.result(), int(QDialog::Accepted));
                QCOMPARE(v.addressOption, 1);
                QCOMPARE(v.romArea1Start, prefixedHex(r.boxes[0]).value());
                QCOMPARE(v.dataForNoAddressArea, 0);
                continue;
            }
            QCOMPARE(rig.codes(), std::vector<int32_t>{r.code});
            QCOMPARE(rig.op.boxes[0].hint, r.hint);
            QVERIFY(a.isVisible());
            QCOMPARE(QApplication::focusWidget(), a.boxes[r.focus]);
        }
    }

    void infoOptionAndVersionWindows() {
        test::UiRig rig;
        rig.startWithout("KM16F48", kOptions, "1");
        const struct {
            const char* device;
            int32_t mode;
            int line;
            bool greyed;
        } rows[] = {
            {"KM16F48", 3, kInfoBlankCheck, true},      // single boot: no block steps
            {"KMS11G124", 3, kInfoBlankCheck, false},   // but type 11 has them
            {"KMS11G124", 1, kInfoProgramming, true},   // type 11 runs auto in single boot only
            {"KMV7Q3", 3, kInfoAllErase, true},         // type 7 outside it only
            {"KMS11G124", 3, kInfoAutoProtect, false},  // its own protect: type 11, single boot
            {"KM16F48", 1, kInfoAutoProtect, true},     // elsewhere none
            {"KMT12E48", 1, kInfoOptionProtect, true},  // no option protect
            {"KMV5A128", 1, kInfoOptionProtect, false},
            {"KM16F48", 1, kInfoClock, true},        // a fixed rate
            {"KMV7Q3", 1, kInfoClock, false},        // the clock-choice device
            {"KMS11G124", 3, kInfoPhysical, false},  // memory sizes: type 11, single boot
            {"KMS11G124", 1, kInfoPhysical, true},
            {"KMS11G124", 3, kInfoEmulation, true},  // emulation only at 96K
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

        const struct {
            const char* device;
            int32_t protectState;
            bool protectEnabled, eraseEnabled;
        } options[] = {{"KMV5A128", 0, true, false},
                       {"KMV5A128", 1, false, false},
                       {"KMV7Q3", 0, true, true},
                       {"KM16F48", 0, false, true}};
        for (const auto& r : options) {
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
        CSetupOptionDlg option(*rig.core, rig.core->devices.selected());
        option.protect->setChecked(false);
        option.eraseWithoutPassword->setChecked(true);
        option.accept();
        QCOMPARE(rig.core->settings.inForce.eraseWithoutPassword, 1);
        QCOMPARE(rig.core->passwords.eraseWithoutPassword, 1);
        const std::string saved = rig.folder.read("Ostrand.ini");
        QVERIFY(saved.find("EraseWithoutPassword=1\n") != std::string::npos);
        QVERIFY(saved.find("ReadProtect=0\n") != std::string::npos);

        CAboutDlg about(*rig.core);
        QCOMPARE(about.lines[0]->text(), QString("Ostrand demo device pack 1.0"));
        QCOMPARE(about.lines[1]->text(), QString("Ostrand Ver1.0d"));

        // Every command of the Setup and View menus and Version opens its window.
        const struct {
            int command;
            const char* window;
        } commands[] = {{kCmdSetupInfo, "ostrand::ui::CSetupInfoDlg"},
                        {kCmdSetupInfo2, "ostrand::ui::CSetupInfo2Dlg"},
                        {kCmdVersion, "ostrand::ui::CAboutDlg"},
                        {kCmdOption, "ostrand::ui::CSetupOptionDlg"},
                        {kCmdPassword, "ostrand::ui::CPasswordDlg"},
                        {kCmdSetupFile, "ostrand::ui::CSetupDlg"},
                        {kCmdSetupCommunication, "ostrand::ui::CSetupDlg"}};
        rig.op.runBox = [](QMessageBox&) { return int(QMessageBox::Yes); };
        for (const auto& r : commands) {
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

    void passwordOkSourcesHelpAndCancel() {
        test::UiRig rig;
        rig.startWithout("KM16F48");
        // One row for each field a refusal leaves the focus in.
        const struct {
            const char* device;
            bool hex;
            QString text, count, start;
            int32_t code, hint;
            const char* focus;  // "password", "count", "start"; "" when accepted
        } rows[] = {
            {"KM8P32", true, "FFFFFFFF", "", "", 0, 0, ""},
            {"KM16F48", false, "abcaaad", "0xBF00", "0xBF01", 10134, 12110, "password"},
            {"KM16F48", false, "aabbcc", "0xBF00", "0xBF01", 0, 0, ""},
            {"KM16F48", false, "abc", "", "0xBF01", 10131, 0, "count"},
            {"KM16F48", false, "abc", "0xBF00", "0x10", 10121, 12110, "start"},
        };
        for (const auto& r : rows) {
            Dialog t(rig, r.device);
            t.manual(r.hex, r.text, r.count, r.start);
            // The fixed-length types keep their addresses shut.
            QCOMPARE(t.d.deviceNumAdd->isEnabled(), std::string(r.device) == "KM16F48");
            t.d.okButton->click();
            const std::string what = std::string(r.device) + " " + r.text.left(12).toStdString();
            if (r.code == 0) {
                QVERIFY2(rig.op.boxes.empty(), what.c_str());
                QCOMPARE(t.d.result(), int(QDialog::Accepted));
                const std::string line = "PassDevPassword=" + r.text.toStdString() + "\n";
                QVERIFY(rig.folder.read("Ostrand.ini").find(line) != std::string::npos);
                continue;
            }
            QVERIFY2(rig.codes() == std::vector<int32_t>{r.code}, what.c_str());
            QCOMPARE(rig.op.boxes[0].hint, r.hint);
            QVERIFY(t.d.isVisible());
            QLineEdit* focus = std::string(r.focus) == "password" ? t.d.password
                               : std::string(r.focus) == "count"  ? t.d.deviceNumAdd
                                                                  : t.d.deviceCmpAdd;
            QCOMPARE(QApplication::focusWidget(), focus);
        }

        Dialog t(rig, "KM16F96");
        // A file dialog cancelled; no object file for Auto.
        rig.doc->chooseFile = [](FileRequest&) { return QString(); };
        t.d.deviceGroup->setChecked(true);
        t.d.searchFile->click();
        t.d.objectGroup->setChecked(true);
        t.d.objectAuto->click();
        t.d.helpButton->click();
        QCOMPARE(rig.codes(), (std::vector<int32_t>{10135, 10135, 12204}));
        QCOMPARE(rig.op.boxes[0].hint, 12152);
        QCOMPARE(rig.op.boxes[1].hint, 12146);
        // Cancel asks first; No keeps the dialog.
        rig.op.boxes.clear();
        rig.answers = {QMessageBox::No};
        t.d.cancelButton->click();
        QCOMPARE(rig.codes(), std::vector<int32_t>{12006});
        QVERIFY(t.d.isVisible());
        // A ':' in the password of a password type: accepted, with the notice.
        t.d.objectGroup->setChecked(false);
        t.manual(false, "ab:cd12", "0x80", "0x81");
        rig.op.boxes.clear();
        t.d.okButton->click();
        QCOMPARE(t.d.result(), int(QDialog::Accepted));
        QCOMPARE(rig.op.boxes.size(), size_t{1});
        QVERIFY(rig.op.boxes[0].text.startsWith("M149 : "));
        const std::string saved = rig.folder.read("Ostrand.ini");
        for (const char* key : {"PassDevBlank=2\n", "PassDevType=0\n", "PassDevNumAdd=0x000080\n"})
            QVERIFY2(saved.find(key) != std::string::npos, key);
    }

    // Auto against a connected chip: the password log's entry for the
    // chip's SUM fills the password.
    void autoSourcesAgainstTheChip() {
        test::UiRig rig;
        std::vector<uint8_t> flash(0xC000, 0xFF);
        for (int i = 0; i < 64; ++i) flash[i] = uint8_t(i * 5);
        unsigned sum = 0;
        for (uint8_t c : flash) sum += c;
        QVERIFY(rig.connect("KM16F48", 64, {}, flash, {}, "38400"));
        char entry[200];
        std::snprintf(entry, sizeof entry,
                      "[Password01]\nSum=0x%04X\nPassNumAdd=0x00BF00\nPassCmpAdd=0x00BF01\n"
                      "Password=A1A2A3A4A5A6A7A8\nDevice=KM16F48\n",
                      sum & 0xFFFF);
        rig.folder.write("history.log", entry);
        rig.core->passwords.loadPasswordLog(rig.folder.path() / "history.log");
        Dialog t(rig, "KM16F48");
        t.d.deviceGroup->setChecked(true);
        t.d.deviceAuto->click();
        QVERIFY(rig.codes().empty());
        QCOMPARE(t.d.password->text(), QString("A1A2A3A4A5A6A7A8"));
        QCOMPARE(t.d.deviceCmpAdd->text(), QString("0xbf01"));
        QVERIFY(!t.d.password->isEnabled() && t.d.hex->isChecked());
        QVERIFY(rig.core->passwords.devicePassword.empty());  // nothing until OK
        t.d.objectGroup->setChecked(true);
        t.d.objectAuto->click();
        QCOMPARE(rig.codes(), std::vector<int32_t>{10127});
        QCOMPARE(rig.op.boxes[0].hint, 12111);
        rig.op.boxes.clear();
        t.d.okButton->click();
        QCOMPARE(t.d.result(), int(QDialog::Accepted));
        QVERIFY(rig.codes().empty());
        QCOMPARE(rig.core->passwords.devicePassword, std::string("A1A2A3A4A5A6A7A8"));
        QCOMPARE(rig.core->passwords.deviceCmpAdd, 0xBF01u);
    }
};

QTEST_MAIN(SetupDialogTest)
#include "setup_dialog_test.moc"
