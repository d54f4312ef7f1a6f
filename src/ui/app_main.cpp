#include "ui/app_main.h"

#include <QApplication>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/file_io.h"
#include "app/version.h"
#include "serial/wire_trace.h"
#include "ui/auto_dialog.h"
#include "ui/main_frame.h"
#include "ui/setup_dialog.h"

namespace ostrand::ui {

int runOstrand(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::fputs(versionText("ostrand", programFolder()).c_str(), stdout);
        return 0;
    }
    if (!WireTrace::activateFromEnvironment())
        std::fprintf(stderr, "ostrand: cannot write the trace named by OSTRAND_TRACE\n");
    QApplication app(argc, argv);
    Session session;
    QtOperator op(session);
    const std::string line = commandLineObjectPath(argc, argv);
    // An unattended run without result windows has nobody to answer a box.
    op.setUnattended(unattendedCommandLine(line));

    DocumentCore core(session, op, programFolder());
    COstrandDoc doc(core, op);
    auto frame = std::make_unique<CMainFrame>(doc);
    installAutoResultWindows(core, frame.get());
    openSetupDialogAtStartUp(doc);
    StartupRequest request;
    request.commandLine = line;
    const StartupResult started = core.startUp(request);
    if (!started.runs()) {
        if (!started.refusal.empty())
            std::fprintf(stderr, "ostrand: %s\n", started.refusal.c_str());
        frame.reset();
        return core.shutDown();
    }
    QObject::connect(&doc, &COstrandDoc::runFinished, frame.get(), &QWidget::close,
                     Qt::QueuedConnection);
    frame->show();
    // The command line's run starts once start-up has returned; a chip that
    // answers only later starts it from linkCameUp. An unattended run whose
    // chip did not come ends here.
    if (core.runCommandLine() != 1) app.exec();
    frame.reset();  // stops the worker before the window goes
    return core.shutDown();
}

}  // namespace ostrand::ui
