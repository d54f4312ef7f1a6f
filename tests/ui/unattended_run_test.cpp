// The windowed program started with an object file and ",MSG_OFF": it
// programs the chip without a question and ends with 1 (good) or 2 (failed),
// not much slower than ostrand-cli's run of the same setup.
#include <QtTest>
#include <chrono>
#include <regex>

#include "app/file_io.h"
#include "ui_rig.h"

using ostrand::test::ChipFolder;

namespace {

struct Run {
    int status = -1;
    double seconds = 0;
    std::string said;  // stdout and stderr

    std::string shown(const std::string& what) const {
        return what + ": status " + std::to_string(status) + " in " + std::to_string(seconds) +
               " s\n" + said;
    }
};

// `command` on the program folder `home`, offscreen, ended after `limit` seconds.
Run runIn(const std::string& home, const std::string& command, int limit) {
    const std::string out = home + "/run.out";
    const auto started = std::chrono::steady_clock::now();
    const int rc =
        std::system(("OSTRAND_HOME=" + home + " QT_QPA_PLATFORM=offscreen timeout -k 1 " +
                     std::to_string(limit) + " " + command + " </dev/null >" + out + " 2>&1")
                        .c_str());
    Run r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::ifstream in(out);
    r.said.assign(std::istreambuf_iterator<char>(in), {});
    return r;
}

// The window's command line: the object in quotes with ",MSG_OFF" after
// them, or the whole line in quotes.
std::string window(const std::string& object, bool wholeLineQuoted = false) {
    return std::string(OSTRAND_BIN) + "/ostrand '\"" + object +
           (wholeLineQuoted ? ",MSG_OFF\"'" : "\",MSG_OFF'");
}

// The chip, app.h16 of `objectText` and the setup with every step on.
bool prepare(ChipFolder& f, const std::vector<std::string>& faults, const std::string& objectText,
             std::string& object, const std::string& setupExtra = {}) {
    std::vector<std::string> args;
    for (const auto& fault : faults) args.insert(args.end(), {"--fault", fault});
    if (!f.startChip("KMT12E48", args)) return false;
    object = f.folder.write("app.h16", objectText).string();
    f.folder.write("Ostrand.ini",
                   ostrand::test::setupText("KMT12E48", object, f.port, "76800", "1") + setupExtra);
    return true;
}

bool programmed(const ChipFolder& f, uint32_t size) {
    const std::vector<uint8_t> flash = f.flash();
    return flash.size() >= size && flash[0x10] == 0x10 * 7 % 251;
}

}  // namespace

class UnattendedRunTest : public QObject {
    Q_OBJECT

    // The program and the console on the same chip and setup.
    void runBoth(const std::vector<std::string>& faults, int expectedGui,
                 bool recordIsFolder = false) {
        ChipFolder f;
        std::string object;
        // The run record of the window's runs is asked for by the setup.
        QVERIFY(prepare(f, faults, ostrand::test::hexObject(0x1000), object,
                        std::string("RunRecord=") + (recordIsFolder ? "." : "runs.jsonl") + "\n"));
        const std::string home = f.folder.path().string();
        const Run gui = runIn(home, window(object, true), 40);
        QVERIFY2(gui.status == expectedGui, gui.shown("window").c_str());
        // The chip is written only when the run passed.
        QCOMPARE(programmed(f, 0x1000), expectedGui == 1);
        const std::string runs = f.folder.read("runs.jsonl");
        if (recordIsFolder) {
            // Refused before the chip is touched: the record would be lost.
            QVERIFY2(gui.said.find("M154-1 : ") != std::string::npos && runs.empty(),
                     gui.said.c_str());
            return;
        }
        const std::regex line("\\{\"time\": .*\"command\": \"auto\", \"port\": \"" + f.port +
                              "\".*\"result\": \"" + (expectedGui == 1 ? "OK" : "NG") +
                              "\".*\"version\": \"ostrand .*\\}\n");
        QVERIFY2(std::regex_match(runs, line), runs.c_str());
        if (expectedGui != 1) return;
        const Run cli = runIn(home, std::string(OSTRAND_CLI) + " auto --home " + home, 40);
        QCOMPARE(cli.status, 0);
        // The console keeps its own --record: the setup's key is the window's.
        QCOMPARE(f.folder.read("runs.jsonl"), runs);
        QVERIFY2(gui.seconds < cli.seconds + 3.0,
                 qPrintable(QString("%1 s against %2 s").arg(gui.seconds).arg(cli.seconds)));
    }

  private slots:
    // What would wait for a person (the setup dialog, the adapter-lost
    // notice) ends the run at once instead: the numbered message on stderr
    // and exit status 0, within the device's AccessWaitTime (2 s) + 5 s.
    void unattendedRunNeverWaits() {
        struct Case {
            bool badObject, portInSetup;
            std::vector<std::string> faults;
            const char* said;
        };
        const Case cases[] = {
            {true, true, {}, "E202-155 : "},
            {false, false, {}, "E111 : "},
            {false, true, {"noreply:match*"}, "E000-3 : "},
        };
        for (const Case& c : cases) {
            ChipFolder f;
            std::string object;
            QVERIFY(prepare(f, c.faults,
                            c.badObject ? "not a HEX record\n" : ostrand::test::hexObject(0x100),
                            object));
            if (!c.portInSetup)
                f.folder.write("Ostrand.ini", std::regex_replace(f.folder.read("Ostrand.ini"),
                                                                 std::regex("COMPort=.*\n"), ""));
            const Run r = runIn(f.folder.path().string(), window(object), 20);
            QVERIFY2(r.status == 0 && r.said.find(c.said) != std::string::npos && r.seconds < 7.0,
                     r.shown(c.said).c_str());
        }
    }

    // A chip that answers late still connects, for the window and the console.
    void goodRunEndsWithOne() { runBoth({"late:150"}, 1); }
    void failedRunEndsWithTwo() { runBoth({"ecc*"}, 2); }
    void unwritableRunRecordEndsWithTwo() { runBoth({}, 2, true); }

    // A program folder held by another program, or whose lock cannot be
    // made: every front end ends at once (the window with 0, the console
    // with 1) and says why on stderr.
    void lockedFolderEndsSayingWhy() {
        TestFolder folder;
        ostrand::test::writeFastProgramFolder(folder.path());
        const std::string home = folder.path().string(), lock = home + "/Ostrand.lock";
        const std::pair<std::string, int> fronts[] = {
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
            for (const auto& [command, status] : fronts) {
                const Run r = runIn(home, command, 20);
                QVERIFY2(
                    r.status == status && r.said.find(why) != std::string::npos && r.seconds < 10,
                    r.shown(command).c_str());
            }
        }
    }
};

QTEST_MAIN(UnattendedRunTest)
#include "unattended_run_test.moc"
