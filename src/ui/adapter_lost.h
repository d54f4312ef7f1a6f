// The notice that the adapter stopped answering: opened when the reconnect
// worker gives up waiting, closed when the chip answers again.
#pragma once

#include <QDialog>

class QLabel;

namespace ostrand::ui {

class AdapterLostNotice : public QDialog {
    Q_OBJECT
  public:
    explicit AdapterLostNotice(QWidget* parent);
    QString text() const;

  private:
    QLabel* text_;
};

}  // namespace ostrand::ui
