// The windowed program started with an object file and ",MSG_OFF": it
// programs the chip without a question and ends with 1 (good) or 2 (failed),
// not much slower than ostrand-cli's run of the same setup.
#include <QtTest>
#include <chrono>
#include <regex>

#include "app/file_io.h"
#include "ui_rig.h"

namespace {

struct Run {
    int status = -1;
    double seconds = 0;
};

Run runChild(const std::string& command) {
    const auto started = std::chrono::steady_clock::now();
    const int rc = std::system(command.c_str());
    Run r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return r;
}

}  // namespace

class UnattendedRunTest : public QObject {
    Q_OBJECT

    // The program and the console on the same chip and setup.
    void runBoth(const std::vector<std::string>& faults, int expectedGui,
                 bool recordIsFolder = false) {
        TestFolder folder;
        ostrand::test::writeFastProgramFolder(folder.path());
        const std::string object =
            folder.write("app.h16", ostrand::test::hexObject(0x1000)).string();
        ostrand::test::SimChip sim;
        std::vector<std::string> args = {"--flash", (folder.path() / "chip.flash").string()};
        for (const auto& f : faults) args.insert(args.end(), {"--fault", f});
        const std::string port = sim.startWith(folder.path(), "KMT12E48", args);
        QVERIFY(!port.empty());
        // The run record of the window's runs is asked for by the setup.
        folder.write("Ostrand.ini",
                     ostrand::test::setupText("KMT12E48", object, port, "76800", "1") +
                         "RunRecord=" + (recordIsFolder ? "." : "runs.jsonl") + "\n");
        const std::string home = folder.path().string();
        const std::string log = (folder.path() / "gui.err").string();
        const Run gui = runChild(
            "OSTRAND_HOME=" + home + " QT_QPA_PLATFORM=offscreen timeout -k 1 40 " + OSTRAND_BIN +
            "/ostrand '\"" + object + "\",MSG_OFF' </dev/null >" + log + " 2>&1");
        QVERIFY2(gui.status == expectedGui,
                 qPrintable(QString("status %1\n%2")
                                .arg(gui.status)
                                .arg(QString::fromStdString(folder.read("gui.err")))));
        // The chip is written only when the run passed.
        const std::string flash = folder.read("chip.flash");
        QCOMPARE(flash.size() >= 0x1000 && flash[0x10] == char(0x10 * 7 % 251), expectedGui == 1);
        const std::string said = folder.read("gui.err"), runs = folder.read("runs.jsonl");
        if (recordIsFolder) {
            // Refused before the chip is touched: the record would be lost.
            QVERIFY2(said.find("M154-1 : ") != std::string::npos && runs.empty(), said.c_str());
            return;
        }
        const std::regex line("\\{\"time\": .*\"command\": \"auto\", \"port\": \"" + port +
                              "\".*\"result\": \"" + (expectedGui == 1 ? "OK" : "NG") +
                              "\".*\"version\": \"ostrand .*\\}\n");
        QVERIFY2(std::regex_match(runs, line), runs.c_str());
        if (expectedGui != 1) return;
        const Run cli = runChild(std::string(OSTRAND_CLI) + " auto --home " + home +
                                 " </dev/null >/dev/null 2>&1");
        QCOMPARE(cli.status, 0);
        // The console keeps its own --record: the setup's key is the window's.
        QCOMPARE(folder.read("runs.jsonl"), runs);
        QVERIFY2(gui.seconds < cli.seconds + 3.0,
                 qPrintable(QString("%1 s against %2 s").arg(gui.seconds).arg(cli.seconds)));
    }

  private slots:
    // What would wait for a person (the setup dialog, the adapter-lost
    // notice) ends the run at once instead: the numbered message on stderr
    // and exit status 0, within the device's AccessWaitTime (2 s) + 5 s.
    void unattendedRunNeverWaits() {
        struct Case {
            const char* name;
            bool badObject, portInSetup;
            std::vector<std::string> faults;
            const char* said;
        };
        const Case cases[] = {
            {"bad object", true, true, {}, "E202-155 : "},
            {"no COMPort", false, false, {}, "E111 : "},
            {"silent chip", false, true, {"noreply:match*"}, "E000-3 : "},
        };
        for (const Case& c : cases) {
            TestFolder folder;
            ostrand::test::writeFastProgramFolder(folder.path());
            const std::string object =
                folder
                    .write("app.h16", c.badObject ? std::string("not a HEX record\n")
                                                  : ostrand::test::hexObject(0x100))
                    .string();
            ostrand::test::SimChip sim;
            std::vector<std::string> args;
            for (const auto& f : c.faults) args.insert(args.end(), {"--fault", f});
            const std::string port = sim.startWith(folder.path(), "KMT12E48", args);
            QVERIFY(!port.empty());
            std::string setup = ostrand::test::setupText("KMT12E48", object, port, "76800", "1");
            if (!c.portInSetup) setup = std::regex_replace(setup, std::regex("COMPort=.*\n"), "");
            folder.write("Ostrand.ini", setup);
            const Run r = runChild("OSTRAND_HOME=" + folder.path().string() +
                                   " QT_QPA_PLATFORM=offscreen timeout -k 1 20 " + OSTRAND_BIN +
                                   "/ostrand '\"" + object + "\",MSG_OFF' </dev/null >" +
                                   (folder.path() / "gui.err").string() + " 2>&1");
            const std::string said = folder.read("gui.err");
            QVERIFY2(r.status == 0 && said.find(c.said) != std::string::npos && r.seconds < 7.0,
                     qPrintable(QString("%1: status %2 in %3 s\n%4")
                                    .arg(c.name)
                                    .arg(r.status)
                                    .arg(r.seconds)
                                    .arg(QString::fromStdString(said))));
        }
    }

    // A chip whose first answer after each opening of the port comes later
    // than the matching reply time connects for every command that needs
    // it, within AccessWaitTime, and is programmed.
    void lateChipConnectsForEveryCommand() {
        TestFolder folder;
        ostrand::test::writeFastProgramFolder(folder.path());
        const std::string object =
            folder.write("app.h16", ostrand::test::hexObject(0x100)).string();
        ostrand::test::SimChip sim;
        const std::string port = sim.startWith(
            folder.path(), "KMT12E48",
            {"--fault", "late:150", "--flash", (folder.path() / "chip.flash").string()});
        QVERIFY(!port.empty());
        folder.write("Ostrand.ini",
                     ostrand::test::setupText("KMT12E48", object, port, "76800", "1"));
        const std::string home = folder.path().string(), cli = std::string(OSTRAND_CLI) + " ";
        struct Command {
            std::string line;
            int status;
        };
        const Command commands[] = {
            {cli + "program --home " + home, 0},
            {cli + "auto --home " + home, 0},
            {cli + "gang --port " + port + " --home " + home, 0},
            {std::string(OSTRAND_BIN) + "/ostrand '\"" + object + "\",MSG_OFF'", 1},
        };
        for (const Command& c : commands) {
            const Run r =
                runChild("OSTRAND_HOME=" + home + " QT_QPA_PLATFORM=offscreen timeout -k 1 30 " +
                         c.line + " </dev/null >" + home + "/run.out 2>&1");
            const std::string said = folder.read("run.out");
            QVERIFY2(r.status == c.status && said.find("E000") == std::string::npos,
                     qPrintable(QString::fromStdString(c.line + ": " + std::to_string(r.status) +
                                                       "\n" + said)));
        }
        const std::string flash = folder.read("chip.flash");
        QVERIFY(flash.size() >= 0x100 && flash[0x10] == char(0x10 * 7 % 251));
    }

    void goodRunEndsWithOne() { runBoth({}, 1); }
    void failedRunEndsWithTwo() { runBoth({"ecc*"}, 2); }
    void unwritableRunRecordEndsWithTwo() { runBoth({}, 2, true); }

    // A program folder held by another program, or whose lock cannot be
    // made: every front end ends at once (the window with 0, the console
    // with 1) and says why on stderr.
    void lockedFolderEndsSayingWhy() {
        TestFolder folder;
        ostrand::test::writeFastProgramFolder(folder.path());
        const std::string home = folder.path().string(), lock = home + "/Ostrand.lock";
        const std::string err = home + "/run.err";
        struct Front {
            std::string command;
            int status;
        };
        const Front fronts[] = {
            {std::string(OSTRAND_BIN) + "/ostrand", 0},
            {std::string(OSTRAND_CLI) + " auto --home " + home, 1},
            {std::string(OSTRAND_CLI) + " gang --device KMT12E48 --port /dev/null --home " + home,
             1}};
        for (bool held : {true, false}) {
            ostrand::FileLock first;
            if (held)
                QVERIFY(first.acquire(lock, true));
            else if (std::filesystem::remove(lock))
                std::filesystem::create_directory(lock);
            const std::string why = held
                                        ? "the program folder " + home + " is in use: its lock " +
                                              lock + " is held by PID " + std::to_string(getpid())
                                        : "cannot take the lock " + lock +
                                              " of the program folder " + home + ": Is a directory";
            for (const Front& f : fronts) {
                const Run r = runChild("OSTRAND_HOME=" + home +
                                       " QT_QPA_PLATFORM=offscreen timeout -k 1 20 " + f.command +
                                       " </dev/null >/dev/null 2>" + err);
                const std::string said = folder.read("run.err");
                QVERIFY2(r.status == f.status && said.find(why) != std::string::npos,
                         qPrintable(QString::fromStdString(f.command + ": " +
                                                           std::to_string(r.status) + " " + said)));
                QVERIFY(r.seconds < 10);
            }
            if (!held) std::filesystem::remove(lock);
        }
        // Free again: the same start comes up (and is ended from outside).
        const Run alone =
            runChild("OSTRAND_HOME=" + home + " QT_QPA_PLATFORM=offscreen timeout -s TERM 3 " +
                     OSTRAND_BIN + "/ostrand </dev/null >/dev/null 2>&1");
        QCOMPARE(alone.status, 124);
    }
};

QTEST_MAIN(UnattendedRunTest)
#include "unattended_run_test.moc"
