#include "ui/adapter_lost.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

#include "app/messages.h"

namespace ostrand::ui {

AdapterLostNotice::AdapterLostNotice(QWidget* parent)
    : QDialog(parent), text_(new QLabel(QString::fromStdString(formatAdapterLost()), this)) {
    setWindowTitle(QStringLiteral("Ostrand"));
    setModal(true);
    text_->setWordWrap(false);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_);
    layout->addWidget(buttons);
}

QString AdapterLostNotice::text() const {
    return text_->text();
}

}  // namespace ostrand::ui
