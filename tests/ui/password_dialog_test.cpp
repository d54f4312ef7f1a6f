// The Setup Password dialog: a refused OK with the focus it leaves, the
// object file sources, the ':' notice, Help and Cancel; Auto against a
// connected chip.
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "ui/password_dialog.h"
#include "ui_rig.h"

using namespace ostrand;
using namespace ostrand::ui;

namespace {

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

class PasswordDialogTest : public QObject {
    Q_OBJECT
  private slots:
    void okChecksTheDevicePassword() {
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
    }

    void sourcesHelpAndCancel() {
        test::UiRig rig;
        rig.startWithout("KM16F96");
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
        auto logFor = [&](unsigned chipSum) {
            char entry[200];
            std::snprintf(entry, sizeof entry,
                          "[Password01]\nSum=0x%04X\nPassNumAdd=0x00BF00\nPassCmpAdd=0x00BF01\n"
                          "Password=A1A2A3A4A5A6A7A8\nDevice=KM16F48\n",
                          chipSum & 0xFFFF);
            rig.folder.write("history.log", entry);
            rig.core->passwords.loadPasswordLog(rig.folder.path() / "history.log");
        };

        // Nothing logged for this chip: told, and nothing shown.
        logFor(sum + 1);
        {
            Dialog t(rig, "KM16F48");
            t.manual(false, "typed", "0xBF10", "0xBF11");
            t.d.deviceAuto->click();
            QCOMPARE(rig.codes(), std::vector<int32_t>{10138});
            QVERIFY(t.d.password->text().isEmpty() && t.d.deviceNumAdd->text().isEmpty());
        }
        logFor(sum);
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

QTEST_MAIN(PasswordDialogTest)
#include "password_dialog_test.moc"
