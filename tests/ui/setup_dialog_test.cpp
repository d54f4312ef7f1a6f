// The Setup dialog: the page rule, focus and Tab cycling, the Device page's
// Apply and Setting, the Communication page's layouts by device, the
// Address Option checks, and OK without a device.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QtTest>

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

}  // namespace

class SetupDialogTest : public QObject {
    Q_OBJECT
  private slots:
    void pageRuleFocusAndTabCycle() {
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
    }

    void applySettingAndEmulation() {
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
        const struct {
            const char* device;
            bool clockFrame, clockEntry, manualEnabled, clockBoxEnabled, rateEnabled;
            int32_t help;
        } rows[] = {{"KM16F48", false, false, true, false, true, 12203},
                    {"KMV7Q3", true, false, true, false, false, 12203},
                    {"KMR10T128", false, true, false, false, false, 12208}};
        for (const auto& r : rows) {
            choose(rig, d, r.device);
            QVERIFY2(c.clockFrame->isHidden() != r.clockFrame, r.device);
            QVERIFY2(c.clockBox->isHidden() != r.clockEntry, r.device);
            QVERIFY2(c.automatic->isHidden() != r.clockEntry, r.device);
            QCOMPARE(c.manual->isEnabled(), r.manualEnabled);
            QCOMPARE(c.clockBox->isEnabled(), r.clockBoxEnabled);
            QCOMPARE(c.rateList->isEnabled(), r.rateEnabled);
            QCOMPARE(c.help->text(), QString::fromUtf8(messageTextOrFallback(r.help).data()));
        }
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
        QVERIFY(c.automatic->isChecked());
        QCOMPARE(c.clockBox->text(), QString("16.934400"));
        // The clock-choice device: its rate follows the clock.
        choose(rig, d, "KMV7Q3");
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
            {"KMV9C384", {"0x000000", "0x0003FF", "0xF1000", "0xF13FF"}, 0, 0, -1},
            {"KMV9C384", {"0x000000", "0x0003FE", "0xF1000", "0xF13FF"}, 10523, 12110, 0},
            {"KMV9C384", {"0x0", "0x3FF", "0xF1000", ""}, 10507, 0, 3},
            {"KMV9C384", {"0x0", "0x3FF", "0xF2000", "0xF13FF"}, 10505, 12132, 2},
            {"KM16F48", {"0X1000", "0x13FF", "", ""}, 0, 0, -1},
            {"KM16F48", {"1000", "0x13FF", "", ""}, 10501, 0, 0},
            {"KM16F48", {"0x1000", "13FF", "", ""}, 10503, 0, 1},
            {"KM16F48", {"", "0x13FF", "", ""}, 10506, 0, 0},
            {"KM16F48", {"0xC000", "0xC3FF", "", ""}, 10502, 12110, 0},
            {"KM16F48", {"0x1000", "0xC3FF", "", ""}, 10504, 12110, 1},
            {"KM16F48", {"0x1000", "0x1GFF", "", ""}, 10503, 0, 1},
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

    void anotherSetupFileIsTakenUpOnLeavingThePage() {
        test::UiRig rig;
        rig.startWithout("KM16F48");
        const auto other =
            rig.folder.write("other.ini", test::setupText("KMV9C384", "", "/dev/null", "38400"));
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

    void okWithoutDeviceStaysOpen() {
        test::UiRig rig;
        rig.startWithout("KM16F48");
        CSetupDlg d(*rig.doc, 1);
        d.show();
        d.devicePage->deviceList->setCurrentIndex(-1);
        d.devicePage->applyButton->click();
        QVERIFY(d.devicePage->chosenDevice->text().isEmpty());
        rig.op.boxes.clear();
        d.okButton->click();
        QCOMPARE(rig.codes(), std::vector<int32_t>{10512});
        QVERIFY(d.isVisible());
        rig.op.boxes.clear();
        d.passwordButton->click();
        QCOMPARE(rig.codes(), std::vector<int32_t>{10512});
        QCOMPARE(rig.op.boxes[0].hint, 12138);
    }
};

QTEST_MAIN(SetupDialogTest)
#include "setup_dialog_test.moc"
