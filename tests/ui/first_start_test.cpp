// The first start: an empty program folder (no Ostrand.ini), the Setup
// dialog that start-up opens, a device, an object file, the simulator's
// port picked from the list and the passwords chosen in it, OK, and then a
// connected chip. The setup file on disk passes ostrand-cli check.
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

#include "cli_run.h"
#include "ui/commands.h"
#include "ui/password_dialog.h"
#include "ui/setup_dialog.h"
#include "ui_rig.h"

using namespace ostrand;
using namespace ostrand::ui;

namespace {

// Runs `step` once a modal dialog of type D is up.
template <class D>
void whenOpen(std::function<void(D&)> step) {
    if (auto* d = qobject_cast<D*>(QApplication::activeModalWidget())) return step(*d);
    QTimer::singleShot(20, [step] { whenOpen<D>(step); });
}

void clickTab(CSetupDlg& d, int page) {
    QTest::mouseClick(d.tabs, Qt::LeftButton, {}, d.tabs->tabRect(page).center());
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
        QVERIFY(rig.startChip("KM16F48"));
        const std::string terminal = rig.port;
        const auto ports = rig.folder.path() / "ostrand" / "ports";
        std::string port;
        for (const auto& link : std::filesystem::directory_iterator(ports))
            if (std::filesystem::read_symlink(link.path()) == terminal) port = link.path().string();
        QVERIFY2(QString::fromStdString(port).contains("/KM16F48."), port.c_str());
        // An object that carries its password in the password area.
        const std::string object =
            rig.folder
                .write("app.h16",
                       record(0x0000, {1, 2, 3, 4, 5, 6, 7, 8}) +
                           record(0xBF00, {8, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38}) +
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
            pick(d.communicationPage->portList, QString::fromStdString(port));
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

        // The setup on disk, accepted by the console's check.
        const std::string written = rig.folder.read("Ostrand.ini");
        for (const std::string& key : std::vector<std::string>{
                 "Device=KM16F48\n", "COMPort=" + port + "\n", "OpenFile=" + object + "\n",
                 "PassDevBlank=1\n", "PassObjBlank=2\n", "PassObjNumAdd=0x00BF00\n"})
            QVERIFY2(written.find(key) != std::string::npos, key.c_str());
        QCOMPARE(QProcess::execute(OSTRAND_CLI,
                                   {"check", "--home", QString::fromStdString(rig.folder.path())}),
                 0);
    }
};

QTEST_MAIN(FirstStartTest)
#include "first_start_test.moc"
