#include "ui/manual_dialogs.h"

#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTextBlock>
#include <QToolTip>
#include <QVBoxLayout>

#include "app/messages.h"
#include "document/document.h"
#include "ui/qt_operator.h"

namespace ostrand::ui {

namespace {

QString catalogue(int32_t code) {
    const std::string_view t = messageTextOrFallback(code);
    return QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size()));
}

QPushButton* button(const QString& text, QWidget* parent, const char* name) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

QLineEdit* box(QWidget* parent, const char* name, bool readOnly = false) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setReadOnly(readOnly);
    return e;
}

QHBoxLayout* buttonRow(std::initializer_list<QPushButton*> buttons) {
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    for (QPushButton* b : buttons) row->addWidget(b);
    return row;
}

}  // namespace

// ---------------------------------------------------------------- base

ManualDialog::ManualDialog(DocumentCore& core, QtOperator& op, const QString& caption,
                           QWidget* parent)
    : QDialog(parent), core_(core), op_(op), ops_(core), previousOwner_(op.dialogOwner()) {
    setWindowTitle(caption);
    op_.setDialogOwner(this);
}

ManualDialog::~ManualDialog() {
    if (op_.dialogOwner() == this) op_.setDialogOwner(previousOwner_);
}

bool ManualDialog::refused(const Refusal& r) {
    if (!r) return false;
    core_.op.showMessage(r.code, 0, r.hint, r.detail);
    return true;
}

// ---------------------------------------------------------------- chip erase

CChipEraseDlg::CChipEraseDlg(DocumentCore& core, QtOperator& op, QWidget* parent)
    : ManualDialog(core, op, QStringLiteral("Chip Erase"), parent),
      ok_(button(QStringLiteral("OK"), this, "ok")),
      cancel_(button(QStringLiteral("Cancel"), this, "cancel")) {
    auto* layout = new QVBoxLayout(this);
    auto* line = new QLabel(catalogue(12001), this);
    line->setObjectName(QStringLiteral("message"));
    layout->addWidget(line);
    layout->addLayout(buttonRow({ok_, cancel_}));
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &CChipEraseDlg::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void CChipEraseDlg::accept() {
    ok_->setEnabled(false);
    cancel_->setEnabled(false);
    result_ = ops_.chipErase();
    QDialog::accept();
}

// ---------------------------------------------------------------- block erase

CBlockEraseDlg::CBlockEraseDlg(DocumentCore& core, QtOperator& op, QWidget* parent)
    : ManualDialog(core, op, QStringLiteral("Block Erase"), parent),
      start_(box(this, "start")),
      size_(new QComboBox(this)),
      ok_(button(QStringLiteral("OK"), this, "ok")),
      cancel_(button(QStringLiteral("Cancel"), this, "cancel")) {
    size_->setObjectName(QStringLiteral("size"));
    size_->addItems({"4 KB", "8 KB", "16 KB", "32 KB", "64 KB", "128 KB", "256 KB"});
    size_->setCurrentIndex(0);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Start Address"), start_);
    form->addRow(QStringLiteral("Block Size"), size_);
    layout->addLayout(form);
    layout->addLayout(buttonRow({ok_, cancel_}));
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &CBlockEraseDlg::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void CBlockEraseDlg::enableFields(bool on) {
    for (QWidget* w : std::initializer_list<QWidget*>{start_, size_, ok_, cancel_})
        w->setEnabled(on);
}

void CBlockEraseDlg::accept() {
    uint32_t address = 0, bytes = 0;
    if (refused(checkBlockErase(start_->text().toStdString(), size_->currentText().toStdString(),
                                core_.devices, address, bytes)))
        return;
    const int32_t r =
        ops_.blockErase(address, bytes, [this](bool running) { enableFields(!running); });
    if (r != kManualNotRun) result_ = r;
    // Open for the next block.
}

// ---------------------------------------------------------------- data read/write

CDataReadWriteDlg::CDataReadWriteDlg(DocumentCore& core, QtOperator& op, bool writeMode,
                                     QWidget* parent)
    : ManualDialog(core, op, QStringLiteral("Data Read/Write"), parent),
      start_(box(this, "start")),
      end_(box(this, "end")),
      data_(new QPlainTextEdit(this)),
      read_(button(QStringLiteral("Read"), this, "read")),
      write_(button(QStringLiteral("Write"), this, "write")),
      cancel_(button(QStringLiteral("Cancel"), this, "cancel")),
      writeMode_(writeMode) {
    data_->setObjectName(QStringLiteral("data"));
    data_->setTabChangesFocus(true);
    QFont fixed(QStringLiteral("Monospace"));
    fixed.setStyleHint(QFont::TypeWriter);
    data_->setFont(fixed);
    // Sixteen bytes a line.
    data_->setFixedWidth(data_->fontMetrics().horizontalAdvance(QString(48, 'x')) + 28);
    data_->setMinimumHeight(data_->fontMetrics().lineSpacing() * 8);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Start Address"), start_);
    form->addRow(QStringLiteral("End Address"), end_);
    form->addRow(QStringLiteral("Data"), data_);
    layout->addLayout(form);
    layout->addLayout(buttonRow({read_, write_, cancel_}));
    read_->setEnabled(!writeMode);
    write_->setEnabled(writeMode);
    data_->setReadOnly(!writeMode);
    if (!writeMode) data_->viewport()->installEventFilter(this);
    connect(read_, &QPushButton::clicked, this, &CDataReadWriteDlg::readData);
    connect(write_, &QPushButton::clicked, this, &CDataReadWriteDlg::writeData);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void CDataReadWriteDlg::enableFields(bool on) {
    start_->setEnabled(on);
    end_->setEnabled(on);
    data_->setEnabled(on);
    cancel_->setEnabled(on);
    read_->setEnabled(on && !writeMode_);
    write_->setEnabled(on && writeMode_);
}

void CDataReadWriteDlg::readData() {
    uint32_t first = 0, last = 0;
    if (refused(checkAddressRange(start_->text().toStdString(), end_->text().toStdString(),
                                  core_.devices, first, last)))
        return;
    enableFields(false);
    std::vector<uint8_t> bytes;
    result_ = ops_.readRange(first, last - first + 1, bytes);
    if (result_ == kManualDone) {
        shownStart_ = first;
        data_->setPlainText(QString::fromStdString(dataText(bytes)));
    }
    enableFields(true);
}

void CDataReadWriteDlg::writeData() {
    uint32_t first = 0, last = 0;
    if (refused(checkAddressRange(start_->text().toStdString(), end_->text().toStdString(),
                                  core_.devices, first, last)))
        return;
    std::vector<uint8_t> bytes;
    if (refused(parseDataBytes(data_->toPlainText().toStdString(), first, last, bytes))) return;
    enableFields(false);
    result_ = ops_.writeBytes(first, bytes);
    enableFields(true);
}

QString CDataReadWriteDlg::tipAt(const QPoint& pos) const {
    const QTextCursor c = data_->cursorForPosition(pos);
    const QString text = data_->toPlainText();
    if (text.isEmpty()) return {};
    const int index = c.position() - (c.position() > 0 && c.atBlockEnd() ? 1 : 0);
    if (index < 0 || index >= text.size()) return {};
    return QString::asprintf("0x%06lx", static_cast<unsigned long>(shownStart_ + index / 3));
}

bool CDataReadWriteDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == data_->viewport() && event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString tip = tipAt(help->pos());
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, data_->viewport());
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

// ---------------------------------------------------------------- verify

CVerifyDlg::CVerifyDlg(DocumentCore& core, QtOperator& op, QWidget* parent)
    : ManualDialog(core, op, QStringLiteral("Verify"), parent),
      fileSum_(box(this, "fileSum", true)),
      memorySum_(box(this, "memorySum", true)),
      start_(button(QStringLiteral("Start"), this, "start")),
      cancel_(button(QStringLiteral("Cancel"), this, "cancel")) {
    result_ = kManualFailed;
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("SUM of File"), fileSum_);
    form->addRow(QStringLiteral("SUM of Memory"), memorySum_);
    layout->addLayout(form);
    layout->addLayout(buttonRow({start_, cancel_}));
    start_->setDefault(true);
    connect(start_, &QPushButton::clicked, this, &CVerifyDlg::start);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void CVerifyDlg::start() {
    start_->setEnabled(false);
    cancel_->setEnabled(false);
    uint16_t fileSum = 0, deviceSum = 0;
    bool read = false;
    result_ = ops_.verify(fileSum, deviceSum, read);
    fileSum_->setText(QString::asprintf("0x%x", fileSum));
    memorySum_->setText(read ? QString::asprintf("0x%x", deviceSum) : QString());
    start_->setEnabled(true);
    cancel_->setEnabled(true);
    start_->setFocus();
}

// ---------------------------------------------------------------- compare

CCompareDlg::CCompareDlg(DocumentCore& core, QtOperator& op, QWidget* parent)
    : ManualDialog(core, op, QStringLiteral("Compare"), parent),
      address_(box(this, "address", true)),
      file_(box(this, "fileData", true)),
      flash_(box(this, "flashData", true)),
      message_(new QLabel(this)),
      bar_(new QProgressBar(this)),
      start_(button(QStringLiteral("Start"), this, "start")),
      next_(button(QStringLiteral("Next"), this, "next")),
      cancel_(button(QStringLiteral("Cancel"), this, "cancel")) {
    message_->setObjectName(QStringLiteral("message"));
    message_->setMinimumWidth(320);
    bar_->setRange(0,
                   static_cast<int>(std::min<uint32_t>(core.image.programByteCount(), INT32_MAX)));
    bar_->setValue(0);
    bar_->setTextVisible(false);
    next_->setEnabled(false);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Address"), address_);
    form->addRow(QStringLiteral("Data of File"), file_);
    form->addRow(QStringLiteral("Data of Flash"), flash_);
    layout->addLayout(form);
    layout->addWidget(message_);
    layout->addWidget(bar_);
    layout->addLayout(buttonRow({start_, next_, cancel_}));
    start_->setDefault(true);
    connect(start_, &QPushButton::clicked, this, &CCompareDlg::start);
    connect(next_, &QPushButton::clicked, this, &CCompareDlg::next);
    connect(cancel_, &QPushButton::clicked, this, &CCompareDlg::reject);
}

void CCompareDlg::run(bool fromStart) {
    if (running_) return;
    running_ = true;
    start_->setEnabled(false);
    next_->setEnabled(false);
    if (fromStart) {
        address_->clear();
        file_->clear();
        flash_->clear();
        bar_->setValue(0);
    }
    message_->setText(catalogue(11305));
    CompareView view;
    view.showText = [this](int32_t code) {
        if (!aborted_) message_->setText(catalogue(code));
    };
    view.step = [this] {
        if (!aborted_ && bar_->value() < bar_->maximum()) bar_->setValue(bar_->value() + 1);
    };
    view.aborted = [this] { return aborted_; };
    const ManualOperations::CompareReport r = ops_.compare(view, fromStart);
    running_ = false;
    result_ = ops_.compareResult();
    if (aborted_) {
        QDialog::reject();
        return;
    }
    if (r.status == 1) {
        address_->setText(QString::asprintf("0x%lx", static_cast<unsigned long>(r.address)));
        file_->setText(QString::asprintf("%x", r.fileByte));
        flash_->setText(QString::asprintf("%x", r.flashByte));
        message_->setText(catalogue(11014));
        next_->setEnabled(true);
    } else {
        message_->setText(r.line ? catalogue(r.line) : QString());
        bar_->setValue(0);
        next_->setEnabled(r.status == -1);
    }
    start_->setEnabled(true);
}

void CCompareDlg::reject() {
    if (!running_) return QDialog::reject();
    // The running comparison sees the flag between bytes and returns.
    aborted_ = true;
    cancel_->setEnabled(false);
    bar_->setValue(0);
    message_->setText(catalogue(11312));
}

}  // namespace ostrand::ui
