// Pictures of the windows for the README and the manual: the main window
// connected to a simulated chip, the Auto Programming dialog, the result
// window of a good run, the memory dump, the Compare dialog, the four pages of the Setup dialog,
// the Setup Password dialog and Setup Information. Run by scripts/screenshots.sh under a virtual X
// display.
#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <filesystem>

#include "app/program_folder.h"
#include "document/document.h"
#include "ui/auto_dialog.h"
#include "ui/info_dialogs.h"
#include "ui/manual_dialogs.h"
#include "ui/memory_dump.h"
#include "ui/password_dialog.h"
#include "ui/setup_dialog.h"
#include "ui_rig.h"

using namespace ostrand;

namespace {

bool save(QWidget& w, const std::filesystem::path& file) {
    w.show();
    w.raise();
    for (int i = 0; i < 20; ++i) QApplication::processEvents();
    const bool ok = w.grab().save(QString::fromStdString(file.string()));
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", file.c_str());
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: ui_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    const std::filesystem::path out = argv[1];
    std::filesystem::create_directories(out);

    test::UiRig rig;
    test::SimChip sim;
    const std::string terminal = sim.startWith(rig.folder.path(), "KMT12E48");
    if (terminal.empty()) return 1;
    // The port as the list shows it: the simulator's entry among the user's ports.
    std::string port = terminal;
    std::error_code ec;
    for (const auto& link : std::filesystem::directory_iterator(virtualPortFolder(), ec))
        if (std::filesystem::read_symlink(link.path(), ec) == terminal) port = link.path().string();
    std::filesystem::copy_file(std::string(OSTRAND_DATA) + "/samples/demo.h20",
                               rig.folder.path() / "demo.h20");
    const std::string object = (rig.folder.path() / "demo.h20").string();
    rig.folder.write("Ostrand.ini", test::setupText("KMT12E48", object, port, "76800", "1"));
    if (rig.start() != 1) return 1;
    rig.frame->resize(900, 480);
    bool ok = save(*rig.frame, out / "main-window.png");

    ui::CAutoProgramDlg dialog(*rig.core, rig.frame.get());
    ok &= save(dialog, out / "auto-programming.png");
    dialog.hide();

    // A real run, so that the result window shows real SUMs.
    rig.core->autoProgrammer.runSequence(true, false);
    ui::CAutoResultOkDlg result(rig.core->autoProgrammer.record, ui::AutoView::of(*rig.core),
                                rig.frame.get());
    ok &= save(result, out / "result-ok.png");
    result.hide();

    // The programmed chip in the memory dump, and a Compare run over it.
    {
        ui::CMemoryDumpDlg dump(*rig.core, rig.op, rig.frame.get());
        dump.show();
        ok &= dump.openFirstPage();
        ok &= save(dump, out / "memory-dump.png");
    }
    {
        ui::CCompareDlg compare(*rig.core, rig.op, rig.frame.get());
        compare.show();
        compare.startButton()->click();
        ok &= save(compare, out / "compare.png");
    }

    ui::CSetupDlg setup(*rig.doc, kPageSetupFile, rig.frame.get());
    const char* const pages[] = {"setup-file.png", "setup-device.png", "setup-object-file.png",
                                 "setup-communication.png"};
    for (int page = 0; page < 4; ++page) {
        setup.choosePage(page);
        ok &= save(setup, out / pages[page]);
    }
    setup.hide();
    // A chip with a password of its own, typed by hand; the object's found.
    SetupValues typed = rig.core->settings.inForce;
    typed.passDevBlank = 2;
    typed.passDevType = 1;
    typed.passDevPassword = "A1B2C3D4E5F60718";
    typed.passDevNumAdd = 0xBF00;
    typed.passDevCmpAdd = 0xBF01;
    typed.passObjBlank = 2;
    typed.passObjNumAdd = 0xBF00;
    typed.passObjCmpAdd = 0xBF01;
    ui::CPasswordDlg password(*rig.doc, rig.core->devices.find("KM16F48"), &typed, {},
                              rig.frame.get());
    ok &= save(password, out / "setup-password.png");
    password.hide();
    ui::CSetupInfoDlg info(*rig.core, rig.frame.get());
    ok &= save(info, out / "setup-information.png");
    return ok ? 0 : 1;
}
