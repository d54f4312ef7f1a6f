// What the window tests share: a program folder with short waits and the
// simulated chip as a child process; over them either the document and the
// main window with message boxes answered by the test (UiRig), or the
// document core on a recording operator that keeps the window alive while
// the engine works (AutoRig), with helpers that answer the dialogs a run opens.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "document/document.h"
#include "objfile/hex_records.h"
#include "recording_operator.h"
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

inline std::vector<uint8_t> readBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
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
        return readBytes(flashPath(chipNumber));
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
        return !port.empty();
    }
};

// The document and the window as the program builds them.
struct UiRig : ChipFolder {
    Session session;
    ui::QtOperator op{session};
    std::unique_ptr<DocumentCore> core;
    std::unique_ptr<ui::COstrandDoc> doc;
    std::unique_ptr<ui::CMainFrame> frame;
    std::vector<int> answers;  // buttons for the next boxes; then OK / Yes
    std::string object;        // app.h16 of prepare()

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
    ~UiRig() {
        frame.reset();
        doc.reset();
        core.reset();
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
    // The chip, app.h16 of `objectSize` bytes and the setup naming both.
    bool prepare(const std::string& device, uint32_t objectSize = 256,
                 std::vector<std::string> extra = {}, const std::vector<uint8_t>& contents = {},
                 const std::string& setupExtra = {}, const std::string& rate = "76800") {
        if (!startChip(device, std::move(extra), contents)) return false;
        object = folder.write("app.h16", hexObject(objectSize)).string();
        folder.write("Ostrand.ini", setupText(device, object, port, rate) + setupExtra);
        return true;
    }
    // prepare(), start-up, and the chip connected.
    bool connect(const std::string& device, uint32_t objectSize = 256,
                 std::vector<std::string> extra = {}, const std::vector<uint8_t>& contents = {},
                 const std::string& setupExtra = {}, const std::string& rate = "76800") {
        return prepare(device, objectSize, std::move(extra), contents, setupExtra, rate) &&
               start() == 1 &&
               QTest::qWaitFor([this] { return session.ConnectStatus.load() == 1; }, 8000);
    }
    std::vector<int32_t> codes() const {
        std::vector<int32_t> out;
        for (const auto& b : op.boxes) out.push_back(b.code);
        return out;
    }
};

// Messages and answers as RecordingOperator keeps them; the engine's pump
// lets the dialogs repaint and the tests' timers fire during a run.
class PumpingOperator : public RecordingOperator {
  public:
    using RecordingOperator::RecordingOperator;
    void pump() override { QCoreApplication::processEvents(); }
    // What the person does before answering (replaces the chip at 12005).
    std::function<void(int32_t code)> beforeAnswer;
    bool askOkCancel(int32_t code) override {
        if (beforeAnswer) beforeAnswer(code);
        return RecordingOperator::askOkCancel(code);
    }
};

// The document core of the program on a chip behind the link `port` in the
// folder, with the sample object demo.h20.
struct AutoRig : ChipFolder {
    Session session;
    PumpingOperator op{session};
    std::unique_ptr<DocumentCore> core;
    std::string device_;

    AutoRig() {
        std::filesystem::copy_file(std::string(OSTRAND_DATA) + "/samples/demo.h20",
                                   folder.path() / "demo.h20");
    }
    ~AutoRig() {
        if (core) core->shutDown();
        core.reset();
        chip.stop();
    }
    std::filesystem::path portLink() const { return folder.path() / "port"; }
    std::string setupText() const { return folder.read("Ostrand.ini"); }

    // Starts the chip, writes the setup with the five `steps` ("10110") and
    // starts the program up connected to the chip. False when either failed.
    bool start(const std::string& device, const std::string& steps,
               const std::vector<std::string>& faults = {}) {
        device_ = device;
        std::vector<std::string> extra = {"--link", portLink().string()};
        for (const auto& f : faults) extra.insert(extra.end(), {"--fault", f});
        if (!startChip(device, extra)) return false;
        folder.write("Ostrand.ini", test::setupText(device, (folder.path() / "demo.h20").string(),
                                                    portLink().string(), "38400", steps));
        core = std::make_unique<DocumentCore>(session, op, folder.path());
        return core->startUp("") == 1 && core->connected;
    }

    // A new, blank chip on the same port, as the person puts it in.
    bool replaceChip(int chipNumber) {
        chip.stop();
        return startChip(device_, {"--link", portLink().string()}, {}, chipNumber);
    }

    // A document core with a device selected and no chip: enough for the
    // dialog's opening and its linked boxes.
    bool offline(const std::string& device, const AutoOptions& steps) {
        core = std::make_unique<DocumentCore>(session, op, folder.path());
        if (core->devices.load(folder.path() / "Ostrand.def") != 0) return false;
        core->settings.initialise(folder.path());
        if (core->devices.select(device) < 0) return false;
        SetupValues& v = core->settings.inForce;
        v.device = device;
        v.allErase = steps[kAllErase];
        v.blankCheck = steps[kBlankCheck];
        v.programming = steps[kProgramming];
        v.verify = steps[kVerify];
        v.fileCompare = steps[kFileCompare];
        v.readProtect = steps[kProtect];
        core->devices.applyProgrammingMode();
        return true;
    }
};

// The visible top-level window of type T, or null.
template <class T>
T* shownWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible()) return t;
    return nullptr;
}

// Every window of type T that shows is handed to `act` once (which should
// close it). Polls from the event loops that the run's modal windows and the
// engine's pump keep turning; an act may itself run a whole sequence, during
// which the other windows are still answered.
class WindowAnswerer : public QObject {
  public:
    explicit WindowAnswerer(int limitMs = 60000) {
        clock_.start();
        timer_.setInterval(15);
        QObject::connect(&timer_, &QTimer::timeout, this, [this, limitMs] { poll(limitMs); });
        timer_.start();
    }
    template <class T>
    WindowAnswerer& on(std::function<void(T*)> act) {
        handlers_.push_back([this, act]() {
            T* w = shownWindow<T>();
            if (!w) return;
            for (const QPointer<QWidget>& seen : handled_)
                if (seen == w) return;
            handled_.push_back(QPointer<QWidget>(w));
            // Not from this timer's own slot: Qt does not fire a timer again
            // while its slot runs, and an act may run a whole sequence.
            QPointer<T> window(w);
            QTimer::singleShot(0, this, [act, window] {
                if (window) act(window.data());
            });
        });
        return *this;
    }
    // A window nobody answered in time is rejected, so that a failing test
    // ends instead of hanging in its exec().
    bool timedOut() const { return timedOut_; }

  private:
    void poll(int limitMs) {
        for (size_t i = 0; i < handlers_.size(); ++i) handlers_[i]();
        if (clock_.elapsed() > limitMs) {
            timedOut_ = true;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible()) d->reject();
        }
    }
    std::vector<std::function<void()>> handlers_;
    std::vector<QPointer<QWidget>> handled_;
    QTimer timer_;
    QElapsedTimer clock_;
    bool timedOut_ = false;
};

}  // namespace ostrand::test
