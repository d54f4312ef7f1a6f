// The windows that close an auto programming run: NG with every step's
// result and the SUMs, OK with the chip's SUM, and the continue question.
#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/messages.h"
#include "document/document.h"
#include "ui/auto_dialog.h"

namespace ostrand::ui {

QString stepResultText(int32_t result) {
    const char* text = result == kStepOk ? "OK " : result == kStepFailed ? "NG " : "---";
    return QString::asprintf("%2s", text);
}

namespace {

QString catalogueText(int32_t code) {
    const std::string_view text = messageTextOrFallback(code);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString sumText(const char* format, uint16_t sum) {
    return QString::asprintf(format, static_cast<unsigned>(sum));
}

QLabel* addLabel(QWidget* owner, QBoxLayout* layout, const QString& text, const char* name) {
    auto* label = new QLabel(text, owner);
    label->setObjectName(QString::fromLatin1(name));
    layout->addWidget(label);
    return label;
}

void addConnectedLine(QWidget* owner, QBoxLayout* layout, const AutoView& view) {
    QLabel* line = addLabel(owner, layout, view.connectedText(), "connectedLine");
    line->setVisible(view.multiInstance);
}

QPushButton* addButton(QWidget* owner, QHBoxLayout* row, const char* text, const char* name) {
    auto* button = new QPushButton(QString::fromLatin1(text), owner);
    button->setObjectName(QString::fromLatin1(name));
    row->addWidget(button);
    return button;
}

void onTop(QDialog* dialog) {
    dialog->setWindowFlag(Qt::WindowStaysOnTopHint, true);
}

// The memory SUM counts only when Verify with SUM ran and passed.
bool sumValid(const AutoRunRecord& record) {
    return record.result[kVerify] == kStepOk;
}

// The closing row of the NG and OK windows: one centred OK that accepts.
void addOkRow(QDialog* dialog, QBoxLayout* layout) {
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    QPushButton* ok = addButton(dialog, buttons, "OK", "okButton");
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    buttons->addStretch();
    layout->addLayout(buttons);
}

}  // namespace

CAutoResultNgDlg::CAutoResultNgDlg(const AutoRunRecord& record, const AutoView& view, bool topMost,
                                   QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Ostrand"));
    if (topMost) onTop(this);
    auto* layout = new QVBoxLayout(this);
    QLabel* ng = addLabel(this, layout, QStringLiteral("NG"), "verdict");
    QFont big = ng->font();
    big.setPointSize(big.pointSize() * 2);
    big.setBold(true);
    ng->setFont(big);
    auto* grid = new QGridLayout;
    for (int s = 0; s < kAutoSteps; ++s) {
        auto* name = new QLabel(QString::fromLatin1(kAutoStepNames[s]) + ':', this);
        auto* value = new QLabel(stepResultText(record.result[s]), this);
        name->setObjectName(QStringLiteral("stepName%1").arg(s));
        value->setObjectName(QStringLiteral("stepResult%1").arg(s));
        bool grey = false;
        if (s == kBlankCheck || s == kFileCompare) grey = view.blockStepsOff();
        if (s == kProtect) grey = !view.protectAvailable();
        name->setEnabled(!grey);
        value->setEnabled(!grey);
        grid->addWidget(name, s, 0);
        grid->addWidget(value, s, 1);
    }
    const struct {
        const char* title;
        uint16_t sum;
        const char* name;
    } sums[] = {{"SUM of File", record.fileSum, "fileSum"},
                {"SUM of Memory", record.memorySum, "memorySum"}};
    int row = kAutoSteps;
    for (const auto& s : sums) {
        grid->addWidget(new QLabel(QString::fromLatin1(s.title), this), row, 0);
        auto* value = new QLabel(sumText("0x%04X", s.sum), this);
        value->setObjectName(QString::fromLatin1(s.name));
        grid->addWidget(value, row++, 1);
    }
    layout->addLayout(grid);
    addConnectedLine(this, layout, view);
    addOkRow(this, layout);
}

CAutoResultOkDlg::CAutoResultOkDlg(const AutoRunRecord& record, const AutoView& view,
                                   QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Ostrand"));
    onTop(this);
    auto* layout = new QVBoxLayout(this);
    addLabel(this, layout, catalogueText(11006), "resultLine");
    QLabel* sum = addLabel(this, layout, sumText("SUM : 0x%04X", record.memorySum), "sumLine");
    sum->setEnabled(sumValid(record));
    addConnectedLine(this, layout, view);
    addOkRow(this, layout);
}

CAutoContinueDlg::CAutoContinueDlg(const AutoRunRecord& record, const AutoView& view,
                                   QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Ostrand"));
    auto* layout = new QVBoxLayout(this);
    addLabel(this, layout, catalogueText(11006), "resultLine");
    QLabel* ok = addLabel(this, layout, QStringLiteral("OK"), "verdict");
    QFont big = ok->font();
    big.setPointSize(big.pointSize() * 2);
    big.setBold(true);
    ok->setFont(big);
    QLabel* sum = addLabel(this, layout, sumText("SUM : 0x%04X\n\n", record.memorySum), "sumLine");
    sum->setEnabled(sumValid(record));
    addConnectedLine(this, layout, view);
    addLabel(this, layout, catalogueText(12003), "questionLine");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    QPushButton* yes = addButton(this, buttons, "Yes", "yesButton");
    QPushButton* no = addButton(this, buttons, "No", "noButton");
    yes->setDefault(true);
    connect(yes, &QPushButton::clicked, this, [this] { done(Yes); });
    connect(no, &QPushButton::clicked, this, [this] { done(No); });
    layout->addLayout(buttons);
}

void installAutoResultWindows(DocumentCore& core, QWidget* parent) {
    QPointer<QWidget> owner(parent);
    core.autoProgrammer.resultWindow = [&core, owner](AutoResultWindow window,
                                                      const AutoRunRecord& record) -> int32_t {
        const AutoView view = AutoView::of(core);
        // Over the Auto Programming dialog when it runs the sequence.
        QWidget* over = CAutoProgramDlg::runningDialog();
        if (!over) over = QApplication::activeModalWidget();
        if (!over) over = owner.data();
        switch (window) {
            case AutoResultWindow::Failed: {
                // The command line's run has no window of its own to stand on.
                const bool batch = core.session.CommandLineRun == 1;
                CAutoResultNgDlg dialog(record, view, batch, batch ? nullptr : over);
                dialog.exec();
                return 1;
            }
            case AutoResultWindow::Succeeded: {
                CAutoResultOkDlg dialog(record, view, nullptr);
                dialog.exec();
                return 1;
            }
            case AutoResultWindow::Continue: {
                CAutoContinueDlg dialog(record, view, over);
                return dialog.exec() == CAutoContinueDlg::Yes ? CAutoContinueDlg::Yes
                                                              : CAutoContinueDlg::No;
            }
        }
        return 1;
    };
}

}  // namespace ostrand::ui
