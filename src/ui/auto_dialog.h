// Auto Programming in the window: the dialog with its six options, and the
// result windows shown after each run (NG, OK, and the continue question).
#pragma once

#include <QDialog>
#include <QString>
#include <array>

#include "document/auto_program.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QWidget;

namespace ostrand {
class DocumentCore;
struct ProgressEvent;
}  // namespace ostrand

namespace ostrand::ui {

// Result windows of auto programming (NG / OK / continue) shown over parent.
void installAutoResultWindows(DocumentCore& core, QWidget* parent);
// The Auto Programming dialog (Command menu, toolbar); returns when it closes.
// The command's preamble (passwords, chip readiness) runs first; when it
// fails its message has been shown and no dialog opens.
void execAutoProgramming(DocumentCore& core, QWidget* parent);

// What the windows need to know about the device and the link, read once.
struct AutoView {
    int32_t bootType = 0;
    int32_t mode = 0;
    bool wcpLoaded = false;
    bool multiInstance = false;
    QString comPort;

    static AutoView of(DocumentCore& core);
    // Blank Check and File Compare mean nothing to the boot program here.
    bool blockStepsOff() const;
    bool protectAvailable() const;
    // BootType 12 with its WCP still to come: the options hang together.
    bool linkedOptions() const;
    // "%s is Connected." with the port.
    QString connectedText() const;
};

class CAutoProgramDlg : public QDialog {
    Q_OBJECT
  public:
    CAutoProgramDlg(DocumentCore& core, QWidget* parent = nullptr);

    QCheckBox* box(AutoStep step) const { return boxes_[step]; }
    AutoOptions checked() const;
    bool running() const { return running_; }
    // The dialog whose Start is running the sequence: it owns the result
    // windows and the questions of the run.
    static CAutoProgramDlg* runningDialog();

  public slots:
    void start();
    void reject() override;

  private:
    void boxClicked(AutoStep step, bool on);
    void enableControls(bool on);
    void showProgress(const ProgressEvent& event);

    DocumentCore& core_;
    AutoView view_;
    std::array<QCheckBox*, kAutoSteps> boxes_{};
    QLabel* messageLine_ = nullptr;
    QLabel* connectedLine_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QPushButton* startButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    bool running_ = false;
};

// "OK ", "NG " or "---" for a step result.
QString stepResultText(int32_t result);

class CAutoResultNgDlg : public QDialog {
    Q_OBJECT
  public:
    CAutoResultNgDlg(const AutoRunRecord& record, const AutoView& view, bool topMost,
                     QWidget* parent = nullptr);
};

class CAutoResultOkDlg : public QDialog {
    Q_OBJECT
  public:
    CAutoResultOkDlg(const AutoRunRecord& record, const AutoView& view, QWidget* parent = nullptr);
};

// exec() gives 6 for Yes, 7 for No or a window closed otherwise.
class CAutoContinueDlg : public QDialog {
    Q_OBJECT
  public:
    enum Answer { Yes = 6, No = 7 };
    CAutoContinueDlg(const AutoRunRecord& record, const AutoView& view, QWidget* parent = nullptr);
    void reject() override { done(No); }
};

}  // namespace ostrand::ui
