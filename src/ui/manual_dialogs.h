// The manual operation dialogs of the Edit menu: Chip Erase, Block Erase,
// Data Read/Write, Verify and Compare. Each keeps the box owner while it is
// open and leaves its result for the command that opened it.
#pragma once

#include <QDialog>
#include <QPointer>

#include "document/manual_rules.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace ostrand {
class DocumentCore;
}

namespace ostrand::ui {

class QtOperator;

// A dialog that owns the message boxes while it is open.
class ManualDialog : public QDialog {
    Q_OBJECT
  public:
    ManualDialog(DocumentCore& core, QtOperator& op, const QString& caption, QWidget* parent);
    ~ManualDialog() override;
    int32_t result() const { return result_; }

  protected:
    // Shows a refusal of what was typed in this dialog's own box.
    bool refused(const Refusal& r);
    DocumentCore& core_;
    QtOperator& op_;
    ManualOperations ops_;
    int32_t result_ = kManualNotRun;

  private:
    QPointer<QWidget> previousOwner_;
};

class CChipEraseDlg : public ManualDialog {
    Q_OBJECT
  public:
    CChipEraseDlg(DocumentCore& core, QtOperator& op, QWidget* parent = nullptr);
    void accept() override;
    QPushButton* okButton() const { return ok_; }

  private:
    QPushButton* ok_;
    QPushButton* cancel_;
};

class CBlockEraseDlg : public ManualDialog {
    Q_OBJECT
  public:
    CBlockEraseDlg(DocumentCore& core, QtOperator& op, QWidget* parent = nullptr);
    void accept() override;
    QLineEdit* startBox() const { return start_; }
    QComboBox* sizeList() const { return size_; }
    QPushButton* okButton() const { return ok_; }

  private:
    void enableFields(bool on);
    QLineEdit* start_;
    QComboBox* size_;
    QPushButton* ok_;
    QPushButton* cancel_;
};

class CDataReadWriteDlg : public ManualDialog {
    Q_OBJECT
  public:
    CDataReadWriteDlg(DocumentCore& core, QtOperator& op, bool writeMode,
                      QWidget* parent = nullptr);
    QLineEdit* startBox() const { return start_; }
    QLineEdit* endBox() const { return end_; }
    QPlainTextEdit* dataBox() const { return data_; }
    QPushButton* readButton() const { return read_; }
    QPushButton* writeButton() const { return write_; }
    // The Data box's tool tip for a point of its viewport ("" off the bytes).
    QString tipAt(const QPoint& pos) const;

  public slots:
    void readData();
    void writeData();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void enableFields(bool on);
    QLineEdit* start_;
    QLineEdit* end_;
    QPlainTextEdit* data_;
    QPushButton* read_;
    QPushButton* write_;
    QPushButton* cancel_;
    bool writeMode_;
    uint32_t shownStart_ = 0;  // address of the Data box's first byte
};

class CVerifyDlg : public ManualDialog {
    Q_OBJECT
  public:
    CVerifyDlg(DocumentCore& core, QtOperator& op, QWidget* parent = nullptr);
    QLineEdit* fileSumBox() const { return fileSum_; }
    QLineEdit* memorySumBox() const { return memorySum_; }
    QPushButton* startButton() const { return start_; }

  public slots:
    void start();

  private:
    QLineEdit* fileSum_;
    QLineEdit* memorySum_;
    QPushButton* start_;
    QPushButton* cancel_;
};

class CCompareDlg : public ManualDialog {
    Q_OBJECT
  public:
    CCompareDlg(DocumentCore& core, QtOperator& op, QWidget* parent = nullptr);
    QLineEdit* addressBox() const { return address_; }
    QLineEdit* fileBox() const { return file_; }
    QLineEdit* flashBox() const { return flash_; }
    QLabel* messageLine() const { return message_; }
    QProgressBar* bar() const { return bar_; }
    QPushButton* startButton() const { return start_; }
    QPushButton* nextButton() const { return next_; }
    QPushButton* cancelButton() const { return cancel_; }
    bool running() const { return running_; }

  public slots:
    void start() { run(true); }
    void next() { run(false); }
    void reject() override;

  private:
    void run(bool fromStart);
    QLineEdit* address_;
    QLineEdit* file_;
    QLineEdit* flash_;
    QLabel* message_;
    QProgressBar* bar_;
    QPushButton* start_;
    QPushButton* next_;
    QPushButton* cancel_;
    bool running_ = false;
    bool aborted_ = false;
};

}  // namespace ostrand::ui
