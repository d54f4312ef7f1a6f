// The Memory Dump dialog against the simulated chip: rows and positions in
// each unit, the last page, an edit written to the chip and shown again, a
// key the field refuses, and how often paging through a large flash reads
// the device.
#include <QComboBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QtTest>
#include <fstream>

#include "app/password_set.h"
#include "ui/commands.h"
#include "ui/memory_dump.h"
#include "ui_rig.h"

using namespace ostrand;
using namespace ostrand::ui;

namespace {

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

class MemoryDumpTest : public QObject {
    Q_OBJECT
  private slots:
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
        const auto log = rig.folder.path() / "sim.log";
        // The chip is blank: its password is the erased password area.
        QVERIFY(
            rig.connect("KMV9C384", 256, {"--log", log.string()}, {},
                        "PassDevBlank=1\nPassDevType=1\nPassDevPassword=" + blankPasswordText(9) +
                            "\nPassDevNumAdd=0x80\nPassDevCmpAdd=0x80\n"));

        CMemoryDumpDlg d(*rig.core, rig.op, rig.frame.get());
        d.show();
        QVERIFY(d.openFirstPage());
        auto reads = [&] {
            std::ifstream in(log);
            int n = 0;
            for (std::string l; std::getline(in, l);) n += l.find(" read ") != std::string::npos;
            return n;
        };
        const int readsBefore = reads();
        const int devReadsBefore = d.reader().deviceReads();
        const uint32_t pages = 0x60000 / (16 * d.rows());
        QElapsedTimer clock;
        clock.start();
        for (uint32_t p = 1; p < pages; ++p) QTest::keyClick(d.text(), Qt::Key_PageDown);
        QCOMPARE(d.top(), 0x60000u - 16 * d.rows());
        const int deviceReads = reads() - readsBefore;
        qInfo("paging through %u pages of KMV9C384: %d device reads (%d by the dump), %lld ms",
              pages, deviceReads, d.reader().deviceReads() - devReadsBefore,
              static_cast<long long>(clock.elapsed()));
        QVERIFY(deviceReads > 0);
        QVERIFY2(deviceReads <= int((pages + 6) / 7), qPrintable(QString::number(deviceReads)));
        QVERIFY(rig.op.boxes.empty());

        // Without the device password the command opens no dump.
        rig.core->passwords.devicePassword.clear();
        int dialogs = 0;
        rig.doc->execModal = [&](QDialog&) { ++dialogs; };
        rig.frame->updateCommandUi();
        QVERIFY(rig.frame->action(kCmdMemoryDump)->isEnabled());
        rig.frame->action(kCmdMemoryDump)->trigger();
        QCOMPARE(rig.codes(), std::vector<int32_t>{10515});
        QCOMPARE(rig.op.boxes[0].hint, 12134);
        QCOMPARE(dialogs, 0);
    }
};

QTEST_MAIN(MemoryDumpTest)
#include "memory_dump_test.moc"
