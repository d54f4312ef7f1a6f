// The one document of the windowed program: the document core and every menu
// command. Commands run on the window thread, one at a time.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

#include "document/document.h"
#include "ui/qt_operator.h"

class QDialog;
class QWidget;

namespace ostrand::ui {

// The filters of the setup-file and object-file dialogs.
extern const QStringList kSetupFileFilters;
extern const QStringList kObjectFileFilters;

// What an open or save dialog is asked for.
struct FileRequest {
    bool save = false;
    QString folder;   // where it starts
    QString initial;  // the name it proposes
    QStringList filters;
    int filterIndex = 0;  // in: selected entry; out: the entry chosen
    bool overwritePrompt = false;
};

class COstrandDoc : public QObject {
    Q_OBJECT
  public:
    COstrandDoc(DocumentCore& core, QtOperator& op);

    // Runs a command if its enabling rule allows it now.
    void command(int id);
    bool busy() const { return busy_ > 0; }

    // The link came back (on the window thread): the steps after connecting,
    // then the command line's run when it waits.
    void linkCameUp();

    DocumentCore& core;
    QtOperator& op;
    QWidget* mainWindow = nullptr;

    // The file dialog; empty path: cancelled. Tests answer it themselves.
    std::function<QString(FileRequest&)> chooseFile;
    // The desktop's "open"; false when nothing could open it.
    std::function<bool(const QUrl&)> openUrl;
    // Runs a command's dialog modally; tests drive it themselves.
    std::function<void(QDialog&)> execModal;

  signals:
    // The command line's run is over: the program ends.
    void runFinished();
    // State changed outside the idle refresh (panes, enabling).
    void stateChanged();
    // An unattended run starts (true) or ends (false).
    void unattendedRunning(bool running);

  private:
    class Busy;
    void openSetupFile();
    void openObjectFile();
    void saveFlash();
    void reconnect();
    void saveSetupAs();
    void option();
    void help();
    void webHelp();
    void singleBootSwitch();
    void program();
    void blankCheck();
    void protect();
    void unattendedAuto();
    void setupDialog(int page);
    // A dialog built with `args` and its parent, run while it owns the boxes.
    template <class Dialog, class... Args>
    void runDialog(Args&&... args);
    void manualDialog(int id);
    void password();

    void setWorkingFolder(const std::filesystem::path& folder);
    int busy_ = 0;
};

}  // namespace ostrand::ui
