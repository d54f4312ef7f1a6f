// The first start: an empty program folder (no Ostrand.ini), the Setup
// dialog that start-up opens, a device, an object file, the simulator's
// port picked from the list and the passwords chosen in it, OK, and then a connected chip that
// the Program command writes. The setup file on disk passes ostrand-cli
// check and reads back unchanged.
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTimer>
#include <QtTest>

#include "recording_operator.h"
#include "ui/commands.h"
#include "ui/password_dialog.h"
#include "ui/setup_dialog.h"
#include "ui_rig.h"

using namespace ostrand;
using namespace ostrand::ui;

namespace {

// One Intel HEX data record.
std::string hexRecord(uint16_t address, const std::vector<uint8_t>& bytes) {
    char buf[16];
    unsigned sum = static_cast<unsigned>(bytes.size()) + (address >> 8) + (address & 0xFF);
    std::snprintf(buf, sizeof buf, ":%02X%04X00", static_cast<unsigned>(bytes.size()), address);
    std::string line = buf;
    for (uint8_t b : bytes) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        line += buf;
        sum += b;
    }
    std::snprintf(buf, sizeof buf, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
    return line + buf;
}

// Runs `step` once a modal dialog of type D is up.
template <class D>
void whenOpen(std::function<void(D&)> step) {
    if (auto* d = qobject_cast<D*>(QApplication::activeModalWidget())) return step(*d);
    QTimer::singleShot(20, [step] { whenOpen<D>(step); });
}

void clickTab(CSetupDlg& d, int page) {
    QTest::mouseClick(d.tabs, Qt::LeftButton, {}, d.tabs->tabRect(page).center());
}

// The entry a person clicks in the list's popup.
void clickEntry(QComboBox* list, const QString& entry) {
    QTest::mouseClick(list, Qt::LeftButton);
    QAbstractItemView* view = list->view();
    QTRY_VERIFY(view->isVisible());
    const QModelIndex at = list->model()->index(list->findText(entry), 0);
    QVERIFY(at.isValid());
    view->scrollTo(at);
    // The popup takes no click within a double-click time of opening.
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(at).center());
    QTRY_VERIFY(!view->isVisible());
}

void pick(QComboBox* list, const QString& entry) {
    const int i = list->findText(entry);
    list->setCurrentIndex(i);
    emit list->activated(i);
}

}  // namespace

class FirstStartTest : public QObject {
    Q_OBJECT
  private slots:
    void emptyFolderToProgrammedChip() {
        test::UiRig rig;
        // The simulator lists its terminal among this user's ports, here
        // a folder of the test's own.
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(rig.folder.path().string()));
        test::SimChip sim;
        const std::string terminal = sim.startWith(rig.folder.path(), "KM16F48");
        QVERIFY(!terminal.empty());
        const auto ports = rig.folder.path() / "ostrand" / "ports";
        std::string port;
        for (const auto& link : std::filesystem::directory_iterator(ports))
            if (std::filesystem::read_symlink(link.path()) == terminal) port = link.path().string();
        QVERIFY2(QString::fromStdString(port).contains("/KM16F48."), port.c_str());
        // An object that carries its password in the password area.
        const std::string object =
            rig.folder
                .write("app.h16",
                       hexRecord(0x0000, {1, 2, 3, 4, 5, 6, 7, 8}) +
                           hexRecord(0xBF00, {8, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38}) +
                           ":00000001FF\n")
                .string();
        QVERIFY(!std::filesystem::exists(rig.folder.path() / "Ostrand.ini"));

        rig.core = std::make_unique<DocumentCore>(rig.session, rig.op, rig.folder.path());
        rig.doc = std::make_unique<COstrandDoc>(*rig.core, rig.op);
        rig.frame = std::make_unique<CMainFrame>(*rig.doc);
        openSetupDialogAtStartUp(*rig.doc);
        rig.doc->chooseFile = [&](FileRequest& r) {
            return r.filters == kObjectFileFilters ? QString::fromStdString(object) : QString();
        };

        // The steps record what they saw and always close their dialog.
        bool passwordsSet = false, okPressed = false;
        int firstPage = -1;
        QString objectPath, countAddress;
        bool passwordShut = false;
        whenOpen<CSetupDlg>([&](CSetupDlg& d) {
            firstPage = d.page();
            clickTab(d, 1);
            pick(d.devicePage->seriesList, "KM16");
            pick(d.devicePage->deviceList, "KM16F48");
            d.devicePage->applyButton->click();
            clickTab(d, 2);
            d.objectFilePage->browse->click();
            objectPath = d.objectFilePage->pathBox->text();
            clickTab(d, 3);
            clickEntry(d.communicationPage->portList, QString::fromStdString(port));
            whenOpen<CPasswordDlg>([&](CPasswordDlg& p) {
                p.deviceGroup->setChecked(true);
                p.blank->click();
                passwordShut = !p.password->isEnabled();
                p.objectGroup->setChecked(true);
                p.objectAuto->click();
                countAddress = p.objectNumAdd->text();
                p.saveLog->click();
                p.okButton->click();
                passwordsSet = p.result() == QDialog::Accepted;
            });
            d.passwordButton->click();
            d.okButton->click();
            okPressed = d.result() == QDialog::Accepted;
        });
        QCOMPARE(rig.core->startUp(""), 1);
        QCOMPARE(firstPage, 0);
        QCOMPARE(objectPath, QString::fromStdString(object));
        QVERIFY(passwordShut);
        QCOMPARE(countAddress, QString("0xbf00"));
        QVERIFY(passwordsSet);
        QVERIFY2(okPressed, qPrintable(rig.op.boxes.empty() ? "" : rig.op.boxes.back().text));
        rig.frame->show();
        QTRY_COMPARE_WITH_TIMEOUT(rig.session.ConnectStatus.load(), 1, 8000);

        // The setup on disk: accepted by the console's check, read back unchanged.
        const std::string written = rig.folder.read("Ostrand.ini");
        for (const std::string& key : std::vector<std::string>{
                 "Device=KM16F48\n", "COMPort=" + port + "\n", "OpenFile=" + object + "\n",
                 "PassDevBlank=1\n", "PassObjBlank=2\n", "PassObjNumAdd=0x00BF00\n"})
            QVERIFY2(written.find(key) != std::string::npos, key.c_str());
        QCOMPARE(QProcess::execute(OSTRAND_CLI,
                                   {"check", "--home", QString::fromStdString(rig.folder.path())}),
                 0);
        Session again;
        RecordingOperator quiet(again);
        EngineSession reader(again, quiet, rig.folder.path());
        QVERIFY(reader.loadDefinitions());
        QCOMPARE(reader.loadSetup({}, false), 0);
        QCOMPARE(reader.settings.saveSetupFileAs(rig.folder.path() / "again.ini"), 0);
        QCOMPARE(rig.folder.read("again.ini"), written);

        // The chip, programmed with the mouse; once it ends, the simulator
        // leaves the list.
        rig.frame->updateCommandUi();
        QVERIFY(rig.frame->action(kCmdProgram)->isEnabled());
        rig.op.boxes.clear();
        rig.frame->action(kCmdProgram)->trigger();
        QVERIFY(!rig.codes().empty());
        QCOMPARE(rig.codes().back(), 11006);
        sim.stop();
        QVERIFY(!std::filesystem::exists(port));
    }
};

QTEST_MAIN(FirstStartTest)
#include "first_start_test.moc"
