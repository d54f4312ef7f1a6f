// The Auto Programming dialog and its result windows, against ostrand-sim.
#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "ui/auto_dialog.h"
#include "ui_rig.h"

using namespace ostrand;
using namespace ostrand::ui;
using ostrand::test::UiRig;
using ostrand::test::WindowAnswerer;

namespace {

template <class T>
T* child(QWidget* w, const char* name) {
    return w->findChild<T*>(QString::fromLatin1(name));
}

QString text(QWidget* w, const char* name) {
    QLabel* label = child<QLabel>(w, name);
    return label ? label->text() : QStringLiteral("<missing %1>").arg(QLatin1String(name));
}

// The labels as shown: their texts joined by '|', a greyed one ending in
// '~', a hidden one as "hidden".
QString shown(QWidget* w, const QStringList& names) {
    QStringList out;
    for (const QString& name : names) {
        QLabel* l = child<QLabel>(w, name.toLatin1().constData());
        out << (!l              ? "<missing>"
                : l->isHidden() ? "hidden"
                                : l->text() + (l->isEnabled() ? "" : "~"));
    }
    return out.join('|');
}

void click(QWidget* w, const char* name) {
    if (QPushButton* b = child<QPushButton>(w, name)) b->click();
}

// Each progress event checked against what the dialog shows once it has it:
// the dialog's line carries the step's text, its bar only where the step
// has one.
struct LineWatch {
    QPointer<CAutoProgramDlg> dialog;
    std::vector<std::string> opened;
    std::string mismatches;

    void attach(QtOperator& op) {
        op.setProgressListener([this, &op](const ProgressEvent& e) {
            if (!dialog) return;
            if (op.progressWindow()) mismatches += "window " + e.operation + "; ";
            QLabel* line = child<QLabel>(dialog, "messageLine");
            QProgressBar* bar = child<QProgressBar>(dialog, "progressBar");
            if (e.kind == ProgressEvent::Kind::Open) {
                opened.push_back(e.operation);
                if (line->text().toStdString() != e.operation || bar->isVisible() != e.showBar)
                    mismatches += e.operation + "; ";
            } else if (e.kind == ProgressEvent::Kind::Close) {
                if (!line->text().isEmpty() || bar->isVisible())
                    mismatches += "close " + e.operation + "; ";
            }
        });
    }
};

}  // namespace

class AutoDialogTest : public QObject {
    Q_OBJECT
  private slots:
    void everyStepThroughTheDialog();
    void linkedBoxes();
    void resultWindowsShowTheRecord();
    void passwordsMissingOpenNoDialog();
};

// Start with every step off runs nothing; then every step ticked and run,
// continued on a new chip, then continued again but cancelled at the
// replacement question; a second Start answered No; then Cancel.
void AutoDialogTest::everyStepThroughTheDialog() {
    UiRig rig;
    // The chip behind a link, so that a new one can take its place; the
    // setup's steps all off.
    QVERIFY(rig.connect("KMT12E48", 256, {"--link", (rig.folder.path() / "port").string()}));
    installAutoResultWindows(*rig.core, nullptr);
    rig.op.boxes.clear();
    rig.answers = {QMessageBox::Ok, QMessageBox::Cancel};  // 12005, twice
    bool replaced = false;
    const auto answerBox = rig.op.runBox;
    rig.op.runBox = [&](QMessageBox& box) {
        // The person puts a new, blank chip in before answering the first 12005.
        if (rig.op.boxes.size() == 1 && rig.op.boxes[0].code == 12005) {
            rig.chip.stop();
            replaced = rig.startChip("KMT12E48", {"--link", rig.port}, {}, 1);
        }
        return answerBox(box);
    };
    LineWatch watch;
    watch.attach(rig.op);
    // What the windows showed that was not as it should be.
    std::string wrong;
    auto expect = [&](bool ok, const char* what) {
        if (!ok) wrong += std::string(what) + "; ";
    };
    std::vector<int32_t> connectStates;
    WindowAnswerer answer;
    answer
        .on<CAutoProgramDlg>([&](CAutoProgramDlg* d) {
            watch.dialog = d;
            QPushButton* start = child<QPushButton>(d, "startButton");
            start->click();  // the setup's steps: all off
            expect(rig.core->autoProgrammer.record.nothingRan() && rig.op.boxes.empty() &&
                       connectStates.empty(),
                   "nothing ran");
            for (AutoStep s : {kAllErase, kBlankCheck, kProgramming, kVerify, kFileCompare})
                d->box(s)->click();
            d->box(kProtect)->click();
            expect(!d->box(kProtect)->isChecked(), "Protect took a click");
            for (int run = 0; run < 2; ++run) start->click();
            bool atRest = start->isEnabled() &&
                          child<QPushButton>(d, "cancelButton")->isEnabled() &&
                          text(d, "messageLine").isEmpty() &&
                          !child<QProgressBar>(d, "progressBar")->isVisible();
            for (int s = 0; s < kProtect; ++s) atRest &= d->box(AutoStep(s))->isEnabled();
            expect(atRest, "not at rest after the runs");
            click(d, "cancelButton");
        })
        .on<CAutoContinueDlg>([&](CAutoContinueDlg* c) {
            CAutoProgramDlg* d = watch.dialog;
            d->reject();  // no way out while the run is on
            expect(d->isVisible() && d->running(), "closed while running");
            expect(!child<QPushButton>(d, "startButton")->isEnabled() &&
                       !d->box(kAllErase)->isEnabled(),
                   "enabled while running");
            expect(c->parentWidget() == d, "not over the dialog");
            expect(shown(c, {"resultLine", "sumLine", "questionLine"}) ==
                       QString::asprintf("Programming completed successfully.|SUM : 0x%04X\n\n|"
                                         "Do you want to continue programming?",
                                         unsigned(rig.core->image.fileSum())),
                   "continue window");
            connectStates.push_back(rig.session.ConnectStatus);
            click(c, connectStates.size() < 3 ? "yesButton" : "noButton");
        });
    execAutoProgramming(*rig.core, nullptr);
    QVERIFY(!answer.timedOut());
    QVERIFY(watch.dialog.isNull());  // Cancel closed it
    QVERIFY2(wrong.empty(), wrong.c_str());
    QCOMPARE(rig.core->autoProgrammer.record.memorySum, rig.core->image.fileSum());
    QCOMPARE(connectStates, (std::vector<int32_t>{1, 1, 1}));
    // Each step's text on the dialog's own line, none in a progress window;
    // the new chip is accessed before it is programmed.
    const std::vector<std::string> steps = {"All Erasing...", "Blank checking...", "Programming...",
                                            "Verifying...", "Comparing..."};
    std::vector<std::string> expected = steps;
    expected.push_back("Accessing...");
    for (int run = 0; run < 2; ++run) expected.insert(expected.end(), steps.begin(), steps.end());
    QCOMPARE(watch.opened, expected);
    QVERIFY2(watch.mismatches.empty(), watch.mismatches.c_str());
    // No asks no replacement question; the boxes went into the setup file.
    QCOMPARE(rig.codes(), (std::vector<int32_t>{12005, 12005}));
    QCOMPARE(rig.session.ExitStatus.load(), 1);
    QCOMPARE(rig.session.AutoRunPhase.load(), 0);
    QCOMPARE(rig.session.ConnectStatus.load(), int32_t(kConnected));
    const std::string setup = rig.folder.read("Ostrand.ini");
    for (const char* key :
         {"AllErase=1\n", "BlankCheck=1\n", "Programming=1\n", "Verify=1\n", "FileCompare=1\n"})
        QVERIFY2(setup.find(key) != std::string::npos, key);
    // Both chips hold the program.
    QVERIFY(replaced);
    for (int n = 0; n < 2; ++n) {
        const std::vector<uint8_t> flash = rig.flash(n);
        QVERIFY(flash.size() >= 256);
        QCOMPARE(flash[255], uint8_t(255 * 7 % 251));
    }
}

// The document's rules as the boxes show them, after each click.
void AutoDialogTest::linkedBoxes() {
    struct Row {
        const char* device;
        const char* steps;
        std::vector<std::pair<int, const char*>> clicks;  // step, then the boxes; -1: opened
        const char* enabled;                              // '?': not checked
    };
    const Row rows[] = {
        // BootType 12 before its WCP is loaded: the options hang together.
        {"KMT12E48",
         "00010",
         {{-1, "001100"},            // Verify brought Programming
          {kProgramming, "000000"},  // off: Verify goes too
          {kFileCompare, "001010"},
          {kBlankCheck, "111010"},
          {kAllErase, "001010"},  // off: Blank Check goes too
          {kVerify, "001110"}},
         "?1???0"},
        // Single boot without a readable flash: no Blank Check, no File Compare.
        {"KM16F32S", "11111", {{-1, "101100"}}, "?0?100"},
    };
    for (const Row& r : rows) {
        UiRig rig;
        QCOMPARE(rig.startWithout(r.device, {}, r.steps), 1);
        CAutoProgramDlg d(*rig.core);
        for (const auto& [step, after] : r.clicks) {
            if (step >= 0) d.box(static_cast<AutoStep>(step))->click();
            QString checked;
            for (int i = 0; i < kAutoSteps; ++i)
                checked += d.box(static_cast<AutoStep>(i))->isChecked() ? '1' : '0';
            QVERIFY2(checked == QLatin1String(after), qPrintable(r.device + (" " + checked)));
        }
        for (int i = 0; i < kAutoSteps; ++i)
            if (r.enabled[i] != '?')
                QVERIFY2(d.box(static_cast<AutoStep>(i))->isEnabled() == (r.enabled[i] == '1'),
                         r.device);
    }
}

void AutoDialogTest::resultWindowsShowTheRecord() {
    AutoRunRecord record;
    record.result = {kStepOk, kStepNotRun, kStepFailed, kStepNotRun, kStepNotRun, kStepNotRun};
    record.fileSum = 0x1234;
    record.memorySum = 0xBEEF;
    AutoView sboot{1, kModeSBoot, false, true, QStringLiteral("/dev/ttyUSB0")};
    // Single boot greys Blank Check and File Compare, type 1 Protect; the
    // port is named where several programs may run.
    QStringList names = {"verdict", "fileSum", "memorySum", "connectedLine", "stepName1"};
    for (int s = 0; s < kAutoSteps; ++s) names << QStringLiteral("stepResult%1").arg(s);
    CAutoResultNgDlg ng(record, sboot, false);
    QCOMPARE(shown(&ng, names), QString("NG|0x1234|0xBEEF|/dev/ttyUSB0 is Connected.|Blank Check:~|"
                                        "OK |---~|NG |---|---~|---~"));
    QVERIFY(!(ng.windowFlags() & Qt::WindowStaysOnTopHint));
    CAutoResultNgDlg protect(record, AutoView{11, kModeSBootPw, false, false, {}}, true);
    QCOMPARE(shown(&protect, names),
             QString("NG|0x1234|0xBEEF|hidden|Blank Check:|OK |---|NG |---|---|---"));
    QVERIFY(protect.windowFlags() & Qt::WindowStaysOnTopHint);
    {
        // Verify did not run: the SUM means nothing and is greyed.
        CAutoResultOkDlg ok(record, sboot);
        QCOMPARE(shown(&ok, {"sumLine"}), QStringLiteral("SUM : 0xBEEF~"));
        QVERIFY(ok.windowFlags() & Qt::WindowStaysOnTopHint);
        record.result[kVerify] = kStepOk;
        CAutoResultOkDlg verified(record, sboot);
        QVERIFY(child<QLabel>(&verified, "sumLine")->isEnabled());
    }
    {
        // The command line's run: the NG window stands alone, on top.
        UiRig rig;
        QCOMPARE(rig.startWithout("KMT12E48"), 1);
        rig.session.CommandLineRun = 1;
        QWidget main;
        installAutoResultWindows(*rig.core, &main);
        bool alone = false;
        WindowAnswerer answer;
        answer.on<CAutoResultNgDlg>([&](CAutoResultNgDlg* ng) {
            alone = ng->parentWidget() == nullptr && (ng->windowFlags() & Qt::WindowStaysOnTopHint);
            click(ng, "okButton");
        });
        QCOMPARE(rig.core->autoProgrammer.resultWindow(AutoResultWindow::Failed, record), 1);
        QVERIFY(alone);
        rig.session.CommandLineRun = 0;
        bool overMain = false;
        answer.on<CAutoContinueDlg>([&](CAutoContinueDlg* c) {
            overMain = c->parentWidget() == &main;
            click(c, "noButton");
        });
        QCOMPARE(rig.core->autoProgrammer.resultWindow(AutoResultWindow::Continue, record), 7);
        QVERIFY(overMain);
        QVERIFY(!answer.timedOut());
    }
}

// The command's preamble refuses (no passwords): told, and no dialog.
void AutoDialogTest::passwordsMissingOpenNoDialog() {
    UiRig rig;
    QCOMPARE(rig.startWithout("KM16F48", {}, "1"), 1);
    QCOMPARE(rig.session.ProgrammingMode.load(), int32_t(kModeWcpDiv));
    int dialogs = 0;
    WindowAnswerer answer(5000);
    answer.on<CAutoProgramDlg>([&](CAutoProgramDlg* d) {
        ++dialogs;
        d->reject();
    });
    rig.op.boxes.clear();
    execAutoProgramming(*rig.core, nullptr);
    QCOMPARE(dialogs, 0);
    QCOMPARE(rig.codes(), std::vector<int32_t>{10511});
}

QTEST_MAIN(AutoDialogTest)
#include "auto_dialog_test.moc"
