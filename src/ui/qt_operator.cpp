#include "ui/qt_operator.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QVBoxLayout>
#include <cstdio>

namespace ostrand::ui {

namespace {
QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
}  // namespace

// ---------------------------------------------------------------- progress

ProgressWindow::ProgressWindow(QWidget* owner, const QString& text, int range, bool showBar,
                               bool allowCancel, bool topMost, const QString& abortText)
    : QDialog(topMost ? nullptr : owner),
      message_(new QLabel(text, this)),
      bar_(new QProgressBar(this)),
      cancel_(new QPushButton(QStringLiteral("Cancel"), this)),
      abortText_(abortText),
      showBar_(showBar),
      allowCancel_(allowCancel) {
    setWindowTitle(QStringLiteral("Ostrand"));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose, false);
    Qt::WindowFlags flags = Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint;
    if (allowCancel) flags |= Qt::WindowCloseButtonHint;  // without it Close is greyed
    if (topMost) flags |= Qt::WindowStaysOnTopHint;
    setWindowFlags(flags);
    message_->setMinimumWidth(300);
    bar_->setRange(0, std::max(range, 0));
    bar_->setValue(0);
    bar_->setTextVisible(false);
    bar_->setVisible(showBar);
    cancel_->setVisible(allowCancel);
    connect(cancel_, &QPushButton::clicked, this, &ProgressWindow::cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(message_);
    layout->addWidget(bar_);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(cancel_);
    layout->addLayout(row);
}

void ProgressWindow::setPosition(int64_t done) {
    if (!showBar_) return;
    bar_->setValue(static_cast<int>(std::min<int64_t>(done, bar_->maximum())));
}

void ProgressWindow::setText(const QString& text) {
    message_->setText(text);
}

void ProgressWindow::cancel() {
    if (!allowCancel_ || aborted_) return;
    aborted_ = true;
    cancel_->setEnabled(false);
    bar_->setValue(0);
    message_->setText(abortText_);
}

void ProgressWindow::closeEvent(QCloseEvent* event) {
    // The window goes when its operation ends; Close is a Cancel.
    event->ignore();
    cancel();
}

void ProgressWindow::reject() {
    cancel();
}

// ---------------------------------------------------------------- operator

QtOperator::QtOperator(Session& session)
    : Operator(session), windowThread_(std::make_unique<QObject>()) {
    runBox = [](QMessageBox& box) { return box.exec(); };
}

QtOperator::~QtOperator() {
    delete progress_.data();
}

bool QtOperator::marshalled(std::function<void()> f) {
    if (QThread::currentThread() == windowThread_->thread()) return false;
    // Widgets exist on the window thread only; the caller does not wait.
    QMetaObject::invokeMethod(windowThread_.get(), std::move(f), Qt::QueuedConnection);
    return true;
}

QWidget* QtOperator::boxParent() const {
    if (desktop_) return nullptr;
    return owner_ ? owner_.data() : main_.data();
}

void QtOperator::record(const QString& text, int icon, int buttons, int32_t code, int32_t place,
                        int32_t hint, const std::string& detail) {
    boxes.push_back({text, icon, buttons, code, place, hint, detail});
}

int QtOperator::exec(QMessageBox& box, int32_t code, int32_t place, int32_t hint,
                     const std::string& detail) {
    box.setWindowTitle(QStringLiteral("Ostrand"));
    record(box.text(), static_cast<int>(box.icon()), static_cast<int>(box.standardButtons()), code,
           place, hint, detail);
    // The progress window of the operation stays, but the box goes above it.
    return runBox(box);
}

void QtOperator::present(const ShownMessage& m) {
    if (marshalled([this, m] { present(m); })) return;
    if (unattended_) {
        std::fprintf(stderr, "%s\n", m.text.c_str());
        std::fflush(stderr);
        record(fromUtf8(m.text),
               m.cls == MessageClass::Error ? QMessageBox::Warning : QMessageBox::Information,
               QMessageBox::Ok, m.code, m.place, m.hint, m.detail);
        return;
    }
    QMessageBox box(m.cls == MessageClass::Error ? QMessageBox::Warning : QMessageBox::Information,
                    QStringLiteral("Ostrand"), fromUtf8(m.text), QMessageBox::Ok, boxParent());
    exec(box, m.code, m.place, m.hint, m.detail);
}

bool QtOperator::ask(int32_t code) {
    const QString text = fromUtf8(messageTextOrFallback(code));
    // Off the window thread nobody can answer in time: the answer that
    // leaves the chip as it is.
    if (QThread::currentThread() != windowThread_->thread()) return untouchedAnswer(code);
    if (unattended_) {
        const bool answer = untouchedAnswer(code);
        std::fprintf(stderr, "%s\n-> %s\n", text.toUtf8().constData(), answer ? "yes" : "no");
        record(text, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No, code);
        return answer;
    }
    QMessageBox box(QMessageBox::Question, QStringLiteral("Ostrand"), text,
                    QMessageBox::Yes | QMessageBox::No, boxParent());
    return exec(box, code, 0, 0, {}) == QMessageBox::Yes;
}

bool QtOperator::askOkCancel(int32_t code) {
    const QString text = fromUtf8(messageTextOrFallback(code));
    if (unattended_ || QThread::currentThread() != windowThread_->thread()) {
        if (marshalled([this, text, code] {
                record(text, QMessageBox::Information, QMessageBox::Ok | QMessageBox::Cancel, code);
            }))
            return false;
        record(text, QMessageBox::Information, QMessageBox::Ok | QMessageBox::Cancel, code);
        return false;
    }
    // The replace-chip prompt tells what to do: an information box.
    QMessageBox box(QMessageBox::Information, QStringLiteral("Ostrand"), text,
                    QMessageBox::Ok | QMessageBox::Cancel, boxParent());
    return exec(box, code, 0, 0, {}) == QMessageBox::Ok;
}

bool QtOperator::notice(int32_t code) {
    const QString text = fromUtf8(messageTextOrFallback(code));
    if (marshalled(
            [this, text, code] { record(text, QMessageBox::Information, QMessageBox::Ok, code); }))
        return false;
    if (unattended_) {
        std::fprintf(stderr, "%s\n", text.toUtf8().constData());
        record(text, QMessageBox::Information, QMessageBox::Ok, code);
        return false;
    }
    QMessageBox box(QMessageBox::Information, QStringLiteral("Ostrand"), text, QMessageBox::Ok,
                    boxParent());
    auto* again = new QCheckBox(QStringLiteral("Next time, this message not display."), &box);
    box.setCheckBox(again);
    exec(box, code, 0, 0, {});
    return again->isChecked();
}

void QtOperator::information(const QString& text) {
    if (marshalled([this, text] { information(text); })) return;
    if (unattended_) {
        std::fprintf(stderr, "%s\n", text.toUtf8().constData());
        record(text, QMessageBox::Information, QMessageBox::Ok);
        return;
    }
    QMessageBox box(QMessageBox::Information, QStringLiteral("Ostrand"), text, QMessageBox::Ok,
                    boxParent());
    exec(box, 0, 0, 0, {});
}

bool QtOperator::progressAborted() {
    return progress_ && progress_->aborted();
}

void QtOperator::pump() {
    // The reconnect worker waits too, but only the window thread has windows.
    if (QThread::currentThread() != windowThread_->thread()) return;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtOperator::onProgress(const ProgressEvent& e) {
    if (marshalled([this, e] { onProgress(e); })) return;
    switch (e.kind) {
        case ProgressEvent::Kind::Open: {
            delete progress_.data();
            QWidget* owner = boxParent();
            const int range = static_cast<int>(std::min<int64_t>(e.total, INT32_MAX));
            progress_ =
                new ProgressWindow(owner, fromUtf8(e.operation), range, e.showBar, e.allowCancel,
                                   e.topMost, fromUtf8(messageTextOrFallback(11312)));
            progress_->adjustSize();
            // In front of the main window, centred, and shown at once.
            if (QWidget* over = main_ ? main_.data() : owner) {
                const QPoint centre = over->mapToGlobal(over->rect().center());
                progress_->move(centre - progress_->rect().center());
            }
            progress_->show();
            progress_->raise();
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            break;
        }
        case ProgressEvent::Kind::Advance:
            if (progress_) progress_->setPosition(e.done);
            break;
        case ProgressEvent::Kind::Text:
            if (progress_) progress_->setText(fromUtf8(e.operation));
            break;
        case ProgressEvent::Kind::Close:
            delete progress_.data();
            break;
    }
}

}  // namespace ostrand::ui
