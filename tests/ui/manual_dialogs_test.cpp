// The Edit menu's dialogs against the simulated chip: a 256 KB block erase,
// a data write and read, Compare's Start and Next, Cancel of a running
// compare, how long the window thread waits during paced runs, and a message
// from the reconnect worker's thread while the adapter-lost notice is open.
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <thread>

#include "app/messages.h"
#include "app/password_set.h"
#include "ui/main_frame.h"
#include "ui/manual_dialogs.h"
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

// The longest wait between two turns of the window thread's event loop.
class GapMeter : public QObject {
  public:
    GapMeter() {
        timer_.setInterval(1);
        connect(&timer_, &QTimer::timeout, this,
                [this] { longest_ = std::max(longest_, clock_.restart()); });
        clock_.start();
        timer_.start();
    }
    qint64 longest() const { return longest_; }

  private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 longest_ = 0;
};

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

    void dataWriteReadAndCompare() {
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
    }

    void pacedRunsKeepTheWindowServiced() {
        test::UiRig rig;
        constexpr uint32_t kObject = 0x1000;
        QVERIFY(rig.connect("KMT12E48", kObject, {"--pace"}));
        qint64 programGap = 0, compareGap = 0;
        {
            GapMeter meter;
            QCOMPARE(rig.core->program().status, 1);
            programGap = meter.longest();
        }
        CCompareDlg d(*rig.core, rig.op, rig.frame.get());
        d.show();
        {
            GapMeter meter;
            QTest::mouseClick(d.startButton(), Qt::LeftButton);
            compareGap = meter.longest();
        }
        QCOMPARE(d.messageLine()->text(), text(11015));
        qInfo("longest wait of the window thread: %lld ms programming, %lld ms comparing",
              static_cast<long long>(programGap), static_cast<long long>(compareGap));
        QVERIFY2(programGap <= 100, qPrintable(QString::number(programGap)));
        QVERIFY2(compareGap <= 100, qPrintable(QString::number(compareGap)));

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

    void workerMessageWhileTheNoticeIsOpen() {
        test::UiRig rig;
        QVERIFY(rig.connect("KMT12E48", 16));
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
};

QTEST_MAIN(ManualDialogsTest)
#include "manual_dialogs_test.moc"
