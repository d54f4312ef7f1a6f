// The Edit menu's dialogs against the simulated chip: a 256 KB block erase,
// a data write and read, Compare's Start and Next, Cancel of a running
// compare, how long the window thread waits during paced runs, and a message
// from the reconnect worker's thread while the adapter-lost notice is open.
// The Memory Dump: rows and positions in each unit, the last page, an edit
// written to the chip and shown again, a key the field refuses, and how often
// paging through a large flash reads the device.
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTimer>
#include <QtTest>
#include <thread>

#include "app/messages.h"
#include "app/password_set.h"
#include "ui/commands.h"
#include "ui/main_frame.h"
#include "ui/manual_dialogs.h"
#include "ui/memory_dump.h"
#include "ui_rig.h"

using namespace ostrand;
using namespace ostrand::ui;

namespace {

// The bytes of test::hexObject at the start of a flash of `size` bytes.
std::vector<uint8_t> flashWithObject(uint32_t size, uint32_t objectSize, uint8_t rest) {
    std::vector<uint8_t> b(size, rest);
    for (uint32_t a = 0; a < objectSize; ++a) b[a] = static_cast<uint8_t>(a * 7 % 251);
    return b;
}

QString text(int32_t code) {
    const std::string_view t = messageTextOrFallback(code);
    return QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size()));
}

// The longest wait between two turns of the window thread's event loop
// while `run` runs.
qint64 longestWait(const std::function<void()>& run) {
    QTimer timer;
    QElapsedTimer clock;
    qint64 longest = 0;
    QObject::connect(&timer, &QTimer::timeout,
                     [&] { longest = std::max(longest, clock.restart()); });
    clock.start();
    timer.start(1);
    run();
    return longest;
}

std::vector<uint8_t> pattern(uint32_t size) {
    std::vector<uint8_t> b(size);
    for (uint32_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>(i * 29 + 3);
    return b;
}

QString line(CMemoryDumpDlg& d, int row) {
    return d.text()->document()->findBlockByNumber(row).text();
}

QString expectedRow(const std::vector<uint8_t>& flash, uint32_t address, DumpUnit unit) {
    uint8_t row[16];
    std::copy_n(flash.begin() + address, 16, row);
    std::string t = dumpRowText(address, row, unit);
    return QString::fromStdString(t.substr(0, t.size() - 2));
}

void dumpAt(CMemoryDumpDlg& d, const char* address) {
    d.addressBox()->setEditText(QString::fromLatin1(address));
    QTest::mouseClick(d.dumpButton(), Qt::LeftButton);
}

}  // namespace

class ManualDialogsTest : public QObject {
    Q_OBJECT
  private slots:
    void blockEraseOf256KiB() {
        test::UiRig rig;
        // A chip of zeros whose password area is erased: the blank password.
        std::vector<uint8_t> chip(0x40000, 0x00);
        std::fill_n(chip.begin() + 0x3FE00, 12, uint8_t{0xFF});
        QVERIFY(
            rig.connect("KMR8L256", 256, {}, chip,
                        "PassDevBlank=1\nPassDevType=1\nPassDevPassword=" + blankPasswordText(8) +
                            "\nPassDevNumAdd=0x4FE00\nPassDevCmpAdd=0x4FE00\n"));
        CBlockEraseDlg d(*rig.core, rig.op, rig.frame.get());
        QCOMPARE(rig.op.dialogOwner(), &d);
        d.show();
        QCOMPARE(d.sizeList()->currentText(), QString("4 KB"));
        // A refusal leaves the dialog open and the chip as it was.
        rig.op.boxes.clear();
        d.startBox()->setText("0x5000");
        QTest::mouseClick(d.okButton(), Qt::LeftButton);
        QCOMPARE(rig.codes(), std::vector<int32_t>{10315});
        QVERIFY(d.isVisible());
        rig.op.boxes.clear();
        d.startBox()->setText("0x10000");
        d.sizeList()->setCurrentText("256 KB");
        QTest::mouseClick(d.okButton(), Qt::LeftButton);
        QCOMPARE(rig.codes(), (std::vector<int32_t>{12002, 11003}));
        QCOMPARE(d.result(), int32_t{kManualDone});
        const std::vector<uint8_t> f = rig.flash();
        QCOMPARE(f.size(), size_t{0x40000});
        QCOMPARE(size_t(std::count(f.begin(), f.end(), uint8_t{0xFF})), size_t{262144});
    }

    void dataWriteReadCompareAndWorkerMessage() {
        test::UiRig rig;
        QVERIFY(rig.connect("KMT12E48", 256, {}, flashWithObject(0xC000, 256, 0xFF)));
        auto& op = rig.op;
        CCompareDlg compare(*rig.core, op, rig.frame.get());
        compare.show();
        QVERIFY(!compare.nextButton()->isEnabled());
        QCOMPARE(uint32_t(compare.bar()->maximum()), rig.core->image.programByteCount());
        QTest::mouseClick(compare.startButton(), Qt::LeftButton);
        QCOMPARE(compare.messageLine()->text(), text(11015));
        QCOMPARE(compare.result(), int32_t{kManualDone});
        QCOMPARE(compare.bar()->value(), 0);

        // Three bytes written through Data Write, a refusal first.
        {
            CDataReadWriteDlg w(*rig.core, op, true, rig.frame.get());
            QCOMPARE(op.dialogOwner(), &w);
            QVERIFY(!w.readButton()->isEnabled());
            w.startBox()->setText("0x10");
            w.endBox()->setText("0x12");
            op.boxes.clear();
            w.dataBox()->setPlainText("01 02");
            QTest::mouseClick(w.writeButton(), Qt::LeftButton);
            QCOMPARE(rig.codes(), std::vector<int32_t>{10518});
            QCOMPARE(rig.flash()[0x10], uint8_t(0x10 * 7));
            op.boxes.clear();
            w.dataBox()->setPlainText("00 , 60,20");
            QTest::mouseClick(w.writeButton(), Qt::LeftButton);
            QVERIFY(op.boxes.empty());
            QCOMPARE(w.result(), int32_t{kManualDone});
            const std::vector<uint8_t> f = rig.flash();
            QCOMPARE((std::vector<uint8_t>(f.begin() + 0x10, f.begin() + 0x13)),
                     (std::vector<uint8_t>{0x00, 0x60 & 0x77, 0x20 & 0x7E}));
        }
        {
            CDataReadWriteDlg r(*rig.core, op, false, rig.frame.get());
            QVERIFY(!r.writeButton()->isEnabled());
            QVERIFY(r.dataBox()->isReadOnly());
            r.startBox()->setText("0x0F");
            r.endBox()->setText("0x11");
            QTest::mouseClick(r.readButton(), Qt::LeftButton);
            QCOMPARE(r.dataBox()->toPlainText(), QString("69 00 60 "));
        }

        // Start finds the first difference, Next the next, then the end.
        QTest::mouseClick(compare.startButton(), Qt::LeftButton);
        QCOMPARE(compare.messageLine()->text(), text(11014));
        QCOMPARE(compare.addressBox()->text(), QString("0x10"));
        QCOMPARE(compare.fileBox()->text(), QString("70"));
        QCOMPARE(compare.flashBox()->text(), QString("0"));
        QVERIFY(compare.nextButton()->isEnabled());
        QTest::mouseClick(compare.nextButton(), Qt::LeftButton);
        QCOMPARE(compare.addressBox()->text(), QString("0x11"));
        QTest::mouseClick(compare.nextButton(), Qt::LeftButton);
        QCOMPARE(compare.addressBox()->text(), QString("0x12"));
        QTest::mouseClick(compare.nextButton(), Qt::LeftButton);
        QCOMPARE(compare.messageLine()->text(), text(11023));
        QCOMPARE(compare.result(), int32_t{1});
        QVERIFY(op.boxes.empty());

        // A message from the reconnect worker's thread while the notice is open.
        rig.frame->linkTimedOut();
        QVERIFY(rig.frame->adapterLostNotice());
        rig.op.boxes.clear();
        std::thread worker([&] { rig.op.showMessage(10002, 7, 0, "Boot Program"); });
        worker.join();
        QVERIFY(rig.op.boxes.empty());  // not built on the worker's thread
        QTRY_COMPARE(rig.codes(), std::vector<int32_t>{10002});
        QCOMPARE(rig.op.boxes[0].place, 7);
        QVERIFY(rig.frame->adapterLostNotice());
        rig.frame->linkCameUp();
        QTRY_VERIFY(!rig.frame->adapterLostNotice());
    }

    void pacedRunsKeepTheWindowServiced() {
        test::UiRig rig;
        QVERIFY(rig.connect("KMT12E48", 0x1000, {"--pace"}));
        int32_t programmed = 0;
        const qint64 programGap = longestWait([&] { programmed = rig.core->program().status; });
        CCompareDlg d(*rig.core, rig.op, rig.frame.get());
        d.show();
        const qint64 compareGap =
            longestWait([&] { QTest::mouseClick(d.startButton(), Qt::LeftButton); });
        QCOMPARE(programmed, 1);
        QCOMPARE(d.messageLine()->text(), text(11015));
        QVERIFY2(
            programGap <= 100 && compareGap <= 100,
            qPrintable(
                QString("%1 ms programming, %2 ms comparing").arg(programGap).arg(compareGap)));

        // Cancel while the paced compare runs: 11312, then the dialog closes.
        QString lineAtCancel;
        bool cancelEnabled = true;
        QTimer::singleShot(150, &d, [&] {
            QTest::mouseClick(d.cancelButton(), Qt::LeftButton);
            lineAtCancel = d.messageLine()->text();
            cancelEnabled = d.cancelButton()->isEnabled();
        });
        QTest::mouseClick(d.startButton(), Qt::LeftButton);
        QCOMPARE(lineAtCancel, text(11312));
        QVERIFY(!cancelEnabled);
        QVERIFY(!d.isVisible());
        QCOMPARE(d.bar()->value(), 0);
    }

    void rowsPositionsAndEdit() {
        test::UiRig rig;
        const std::vector<uint8_t> flash = pattern(0xC000);
        QVERIFY(rig.connect("KMT12E48", 256, {}, flash));

        CMemoryDumpDlg d(*rig.core, rig.op, rig.frame.get());
        QCOMPARE(rig.op.dialogOwner(), &d);
        d.show();
        QVERIFY(d.openFirstPage());

        // 0x000005 shows the row at 0x000000, in every unit.
        dumpAt(d, "0x000005");
        QCOMPARE(d.top(), 0u);
        QCOMPARE(d.currentAddress(), 5u);
        for (DumpUnit u : {DumpUnit::Word, DumpUnit::Long, DumpUnit::Byte}) {
            d.unitAction(u)->trigger();
            QVERIFY(d.unitAction(u)->isChecked());
            QCOMPARE(line(d, 0), expectedRow(flash, 0, u));
            QCOMPARE(line(d, 15), expectedRow(flash, 0xF0, u));
        }

        // The last page ends at the flash's end; refusals leave it shown.
        dumpAt(d, "0xbffa");
        QCOMPARE(d.top(), 0xC000u - 16 * d.rows());
        QVERIFY(line(d, int(d.rows()) - 1).startsWith("0x00bff0:  "));
        QCOMPARE(d.scrollBar()->value(), int(d.top() / 16));
        rig.op.boxes.clear();
        dumpAt(d, "0xC000");
        QCOMPARE(rig.codes(), std::vector<int32_t>{10513});
        QCOMPARE(rig.op.boxes[0].hint, 12110);
        QCOMPARE(d.addressBox()->itemText(0), QString("0xbffa"));

        // Paging and the keys; the tool tip names the value under the mouse.
        dumpAt(d, "0x100");
        QTest::keyClick(d.text(), Qt::Key_PageDown);
        QCOMPARE(d.top(), 0x200u);
        d.setCurrent(d.rows() - 1, 0, false);
        QTest::keyClick(d.text(), Qt::Key_Down);
        QCOMPARE(d.top(), 0x210u);
        QTest::keyClick(d.text(), Qt::Key_PageUp);
        QCOMPARE(d.top(), 0x110u);
        QCOMPARE(d.tipAt(d.pointOf(1, 3, false)), QString("0x000123"));
        QCOMPARE(d.tipAt(d.pointOf(2, 4, true)), QString("0x000134"));

        // "G" beeps and changes nothing; two hex digits write the byte.
        dumpAt(d, "0x102");
        const uint8_t before = rig.flash()[0x102];
        const QString shown = QString::asprintf("%02x", before);
        QTest::keyClick(d.text(), Qt::Key_G);  // the typed key is the first input
        QCOMPARE(d.editor()->beeps(), 1);
        QVERIFY(d.editor()->editing());
        QCOMPARE(d.editor()->text(), shown);
        QTest::keyClick(d.editor(), Qt::Key_0);
        QTest::keyClick(d.editor(), Qt::Key_G);
        QCOMPARE(d.editor()->beeps(), 2);
        QCOMPARE(d.editor()->text(), "0" + shown.right(1));
        QCOMPARE(rig.flash()[0x102], before);
        QTest::keyClick(d.editor(), Qt::Key_0);
        QVERIFY(!d.editor()->editing());
        QCOMPARE(int(rig.flash()[0x102]), 0);
        QVERIFY(line(d, 0).startsWith(
            QString::asprintf("0x000100:  %02x %02x 00 ", flash[0x100], flash[0x101])));
        QCOMPARE(d.currentAddress(), 0x103u);

        // The character column edits the byte itself.
        d.setCurrent(0, 4, true);
        d.beginEdit("A");
        QVERIFY(!d.editor()->editing());
        QCOMPARE(int(rig.flash()[0x104]), 'A' & flash[0x104]);
    }

    void pagingReadsOncePerSevenPages() {
        test::UiRig rig;
        // The chip is blank: its password is the erased password area.
        QVERIFY(
            rig.connect("KMV9C384", 256, {"--log", (rig.folder.path() / "sim.log").string()}, {},
                        "PassDevBlank=1\nPassDevType=1\nPassDevPassword=" + blankPasswordText(9) +
                            "\nPassDevNumAdd=0x80\nPassDevCmpAdd=0x80\n"));

        CMemoryDumpDlg d(*rig.core, rig.op, rig.frame.get());
        d.show();
        QVERIFY(d.openFirstPage());
        auto reads = [&] {
            const std::string l = rig.folder.read("sim.log");
            int n = 0;
            for (size_t at = 0; (at = l.find(" read ", at)) != std::string::npos; ++at) ++n;
            return n;
        };
        const int before = reads();
        const uint32_t pages = 0x60000 / (16 * d.rows());
        for (uint32_t p = 1; p < pages; ++p) QTest::keyClick(d.text(), Qt::Key_PageDown);
        QCOMPARE(d.top(), 0x60000u - 16 * d.rows());
        const int paged = reads() - before;
        QVERIFY2(paged > 0 && paged <= int((pages + 6) / 7), qPrintable(QString::number(paged)));
        QVERIFY(rig.op.boxes.empty());

        // Without the device password the command opens no dump.
        rig.core->passwords.devicePassword.clear();
        int dialogs = 0;
        rig.doc->execModal = [&](QDialog&) { ++dialogs; };
        rig.frame->updateCommandUi();
        rig.frame->action(kCmdMemoryDump)->trigger();
        QCOMPARE(rig.codes(), std::vector<int32_t>{10515});
        QCOMPARE(rig.op.boxes[0].hint, 12134);
        QCOMPARE(dialogs, 0);
    }
};

QTEST_MAIN(ManualDialogsTest)
#include "manual_dialogs_test.moc"
