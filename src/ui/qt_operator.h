// The windowed program's Operator: numbered messages and questions in message
// boxes, the progress window of long operations, and the event pump that
// keeps the window alive while an operation runs on the window thread.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "app/operator.h"

class QLabel;
class QMessageBox;
class QProgressBar;
class QPushButton;

namespace ostrand::ui {

// Modeless: a message line, a bar and Cancel. Cancel sets the aborted flag
// that the running operation polls between blocks.
class ProgressWindow : public QDialog {
    Q_OBJECT
  public:
    ProgressWindow(QWidget* owner, const QString& text, int range, bool showBar, bool allowCancel,
                   bool topMost, const QString& abortText);

    void setPosition(int64_t done);
    void setText(const QString& text);
    bool aborted() const { return aborted_; }

    QLabel* messageLine() const { return message_; }
    QProgressBar* bar() const { return bar_; }
    QPushButton* cancelButton() const { return cancel_; }

  public slots:
    void cancel();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

  private:
    QLabel* message_;
    QProgressBar* bar_;
    QPushButton* cancel_;
    QString abortText_;
    bool showBar_;
    bool allowCancel_;
    bool aborted_ = false;
};

class QtOperator : public Operator {
  public:
    explicit QtOperator(Session& session);
    ~QtOperator() override;

    bool ask(int32_t code) override;
    bool askOkCancel(int32_t code) override;
    bool notice(int32_t code) override;
    bool progressAborted() override;
    void pump() override;

    // An information box with a text of its own (the 12149 notice carries
    // its prefix inside its text; the placeholders of later dialogs).
    void information(const QString& text);

    // The window that owns message boxes and progress windows.
    void setDialogOwner(QWidget* owner) {
        owner_ = owner;
        desktop_ = false;
    }
    QWidget* dialogOwner() const { return owner_; }
    // The desktop owns them (the top-most batch run): no parent window.
    void setDesktopOwner() {
        owner_ = nullptr;
        desktop_ = true;
    }
    bool desktopOwner() const { return desktop_; }
    // The main window: progress windows of unattended runs go in front of it.
    void setMainWindow(QWidget* main) { main_ = main; }

    // Nobody is there to answer (an unattended run without result windows):
    // messages go to stderr and questions take the answer that leaves the
    // chip as it is, so that the run always comes to its end.
    void setUnattended(bool on) { unattended_ = on; }
    bool unattended() const { return unattended_; }

    // Runs a box and returns the button pressed; tests replace it to read
    // the box without a person.
    std::function<int(QMessageBox&)> runBox;
    // Every box shown, as the person saw it.
    struct Box {
        QString text;
        int icon = 0;  // QMessageBox::Icon
        int buttons = 0;
        int32_t code = 0;
        int32_t place = 0;
        int32_t hint = 0;
        std::string detail;
    };
    std::vector<Box> boxes;
    ProgressWindow* progressWindow() const { return progress_; }

  protected:
    void present(const ShownMessage& message) override;
    void onProgress(const ProgressEvent& event) override;

  private:
    void record(const QString& text, int icon, int buttons, int32_t code = 0, int32_t place = 0,
                int32_t hint = 0, const std::string& detail = {});
    int exec(QMessageBox& box, int32_t code, int32_t place, int32_t hint,
             const std::string& detail);
    // The parent of a box or progress window now.
    QWidget* boxParent() const;
    // Called on another thread (the reconnect worker): runs `f` on the
    // window thread later and returns true; false on the window thread.
    bool marshalled(std::function<void()> f);
    QPointer<QWidget> owner_;
    QPointer<QWidget> main_;
    bool desktop_ = false;
    // Lives on the window thread; calls queued on it go with it.
    std::unique_ptr<QObject> windowThread_;
    QPointer<ProgressWindow> progress_;
    bool unattended_ = false;
};

}  // namespace ostrand::ui
