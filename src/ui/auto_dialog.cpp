#include "ui/auto_dialog.h"

#include <QMessageBox>

#include "document/document.h"

namespace ostrand::ui {

void installAutoResultWindows(DocumentCore&, QWidget*) {}

void execAutoProgramming(DocumentCore&, QWidget* parent) {
    QMessageBox::information(parent, QStringLiteral("Ostrand"),
                             QStringLiteral("The Auto Programming dialog is not in this version."));
}

}  // namespace ostrand::ui
