// What the window tests share: a program folder with short waits and the
// simulated chip as a child process; over them the document and the main
// window with message boxes answered by the test (UiRig), and a helper that
// answers the dialogs a run opens.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "document/document.h"
#include "objfile/hex_records.h"
#include "sim_process.h"
#include "test_folder.h"
#include "ui/main_frame.h"

namespace ostrand::test {

// Intel HEX of `size` bytes from address 0: byte a is a * 7 % 251, never 0xFF.
inline std::string hexObject(uint32_t size) {
    std::string out;
    for (uint32_t a = 0; a < size; a += 16) {
        uint8_t row[16];
        for (uint32_t i = 0; i < 16; ++i) row[i] = uint8_t((a + i) * 7 % 251);
        appendHexRecord(out, 0, uint16_t(a), row, 16);
    }
    return out + ":00000001FF\n";
}

// The setup's five steps (All Erase, Blank Check, Programming, Verify,
// File Compare) are each a digit of `steps`, or all its one digit.
inline std::string setupText(const std::string& device, const std::string& object,
                             const std::string& port, const std::string& rate,
                             const std::string& steps = "0") {
    std::string text = "[Ostrand]\nDevice=" + device + "\nOpenFile=" + object +
                       "\nCOMPort=" + port + "\nDataRate=" + rate + "\n";
    const char* keys[] = {"AllErase", "BlankCheck", "Programming", "Verify", "FileCompare"};
    for (size_t s = 0; s < 5; ++s)
        text += std::string(keys[s]) + "=" + steps[steps.size() == 1 ? 0 : s] + "\n";
    return text;
}

// The program folder and the chip, with its flash in a file of the folder.
struct ChipFolder {
    TestFolder folder;
    SimChip chip;
    std::string port;

    ChipFolder() { writeFastProgramFolder(folder.path()); }
    std::filesystem::path flashPath(int chipNumber = 0) const {
        return folder.path() / ("flash" + std::to_string(chipNumber) + ".bin");
    }
    std::vector<uint8_t> flash(int chipNumber = 0) const {
        std::ifstream in(flashPath(chipNumber), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    // Starts the chip on flash file `chipNumber`, which holds `contents` where given.
    bool startChip(const std::string& device, std::vector<std::string> extra = {},
                   const std::vector<uint8_t>& contents = {}, int chipNumber = 0) {
        if (!contents.empty())
            std::ofstream(flashPath(chipNumber), std::ios::binary)
                .write(reinterpret_cast<const char*>(contents.data()),
                       std::streamsize(contents.size()));
        extra.insert(extra.end(), {"--flash", flashPath(chipNumber).string()});
        port = chip.startWith(folder.path(), device, extra);
        // Behind a link, a new chip can take the old one's place.
        const auto link = std::find(extra.begin(), extra.end(), "--link");
        if (!port.empty() && link != extra.end()) port = *(link + 1);
        return !port.empty();
    }
};

// The document and the window as the program builds them.
struct UiRig : ChipFolder {
    Session session;
    ui::QtOperator op{session};
    // Declared in the order they are built, so that they go in reverse.
    std::unique_ptr<DocumentCore> core;
    std::unique_ptr<ui::COstrandDoc> doc;
    std::unique_ptr<ui::CMainFrame> frame;
    std::vector<int> answers;  // buttons for the next boxes; then OK / Yes

    UiRig() {
        op.runBox = [this](QMessageBox& box) {
            if (!answers.empty()) {
                const int a = answers.front();
                answers.erase(answers.begin());
                return a;
            }
            return box.standardButtons() & QMessageBox::Yes ? int(QMessageBox::Yes)
                                                            : int(QMessageBox::Ok);
        };
    }
    // Start-up with the folder's Ostrand.ini, then the window.
    int32_t start() {
        core = std::make_unique<DocumentCore>(session, op, folder.path());
        EngineTimeouts t = core->engine.timeouts();
        t.echo = 300;
        core->engine.setTimeouts(t);
        doc = std::make_unique<ui::COstrandDoc>(*core, op);
        frame = std::make_unique<ui::CMainFrame>(*doc);
        doc->openUrl = [](const QUrl&) { return false; };
        const int32_t r = core->startUp("");
        frame->show();
        frame->updateCommandUi();  // what the idle refresh does
        return r;
    }
    // The setup of a program folder on a port nobody answers on; then start-up.
    int32_t startWithout(const std::string& device, const std::string& extra = {},
                         const std::string& steps = "0") {
        folder.write("Ostrand.ini",
                     setupText(device, "", "/nonexistent/tty", "9600", steps) + extra);
        return start();
    }
    // The chip, app.h16 of `objectSize` bytes and the setup naming both;
    // start-up, and the chip connected.
    bool connect(const std::string& device, uint32_t objectSize = 256,
                 std::vector<std::string> extra = {}, const std::vector<uint8_t>& contents = {},
                 const std::string& setupExtra = {}, const std::string& rate = "76800") {
        if (!startChip(device, std::move(extra), contents)) return false;
        const std::string object = folder.write("app.h16", hexObject(objectSize)).string();
        folder.write("Ostrand.ini", setupText(device, object, port, rate) + setupExtra);
        return start() == 1 &&
               QTest::qWaitFor([this] { return session.ConnectStatus.load() == 1; }, 8000);
    }
    std::vector<int32_t> codes() const {
        std::vector<int32_t> out;
        for (const auto& b : op.boxes) out.push_back(b.code);
        return out;
    }
};

// Every window of type T that shows is handed to `act` once (which should
// close it), from the event loops that the run's modal windows and the
// engine's pump keep turning. An act may itself run a whole sequence,
// during which the other windows are still answered.
class WindowAnswerer : public QObject {
  public:
    explicit WindowAnswerer(int limitMs = 60000) {
        clock_.start();
        QObject::connect(&timer_, &QTimer::timeout, this, [this, limitMs] { poll(limitMs); });
        timer_.start(15);
    }
    template <class T>
    WindowAnswerer& on(std::function<void(T*)> act) {
        handlers_.push_back([this, act](QWidget* w) {
            QPointer<T> window(qobject_cast<T*>(w));
            // Not from this timer's own slot: Qt does not fire a timer again
            // while its slot runs.
            if (window)
                QTimer::singleShot(0, this, [act, window] {
                    if (window) act(window);
                });
            return !window.isNull();
        });
        return *this;
    }
    // A window nobody answered in time is rejected, so that a failing test
    // ends instead of hanging in its exec().
    bool timedOut() const { return timedOut_; }

  private:
    void poll(int limitMs) {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (!w->isVisible()) continue;
            if (auto* d = qobject_cast<QDialog*>(w); d && clock_.elapsed() > limitMs) {
                timedOut_ = true;
                d->reject();
            }
            if (std::find(seen_.begin(), seen_.end(), w) != seen_.end()) continue;
            for (const auto& handle : handlers_)
                if (handle(w)) seen_.push_back(w);
        }
    }
    std::vector<std::function<bool(QWidget*)>> handlers_;
    std::vector<QPointer<QWidget>> seen_;
    QTimer timer_;
    QElapsedTimer clock_;
    bool timedOut_ = false;
};

}  // namespace ostrand::test
