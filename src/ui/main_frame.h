// The main window: menus, the toolbar, the seven status panes, the empty view
// and the adapter-lost notice. Enabling rules and panes are brought up to
// date before a menu opens and on a short timer, as an idle update would.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <atomic>
#include <map>

#include "ui/adapter_lost.h"
#include "ui/ostrand_doc.h"

class QAction;
class QLabel;
class QTimer;
class QToolBar;

namespace ostrand::ui {

// Draws nothing; taking the focus makes the main window own message boxes.
class COstrandView : public QWidget {
    Q_OBJECT
  public:
    COstrandView(QtOperator& op, QWidget* frame);

  protected:
    void focusInEvent(QFocusEvent* event) override;

  private:
    QtOperator& op_;
    QWidget* frame_;
};

class CMainFrame : public QMainWindow {
    Q_OBJECT
  public:
    explicit CMainFrame(COstrandDoc& doc);
    ~CMainFrame() override;

    QAction* action(int command) const;
    QLabel* pane(int paneId) const;
    QToolBar* toolBar() const { return toolBar_; }
    AdapterLostNotice* adapterLostNotice() const { return notice_; }
    // Whether the window has been shown (the engine waits for it).
    bool exists() const { return shown_; }
    // The Close item (greyed while an unattended run goes on).
    void setCloseEnabled(bool on);
    bool closeEnabled() const { return closeEnabled_; }

  public slots:
    // Enabling rules, the Program text and the panes.
    void updateCommandUi();
    void linkTimedOut();
    void linkCameUp();

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    QAction* addCommand(QMenu* menu, int id, const QString& text, const QKeySequence& key = {});
    void buildMenus();
    void buildToolBar();
    void buildStatusBar();
    void installEngineHooks();

    COstrandDoc& doc_;
    std::map<int, QAction*> actions_;
    std::map<int, QLabel*> panes_;
    QToolBar* toolBar_ = nullptr;
    QTimer* idle_ = nullptr;
    QPointer<AdapterLostNotice> notice_;
    std::atomic<bool> shown_{false};
    int waitCursors_ = 0;
    bool closePending_ = false;
    bool closeEnabled_ = true;
};

// The toolbar picture of a command, drawn here.
QIcon commandIcon(int command);

}  // namespace ostrand::ui
