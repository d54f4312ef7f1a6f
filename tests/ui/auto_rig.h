// Auto programming tests in the window: a program folder with short waits,
// ostrand-sim as the chip, a document core on a recording operator that keeps
// the window alive while the engine works, and helpers that answer the
// dialogs the run opens.
#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "document/document.h"
#include "recording_operator.h"
#include "sim_process.h"
#include "test_folder.h"

namespace ostrand::test {

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

// The demo program folder with short waits, and the sample object.
inline void writeProgramFolder(const std::filesystem::path& folder) {
    writeFastProgramFolder(folder);
    std::filesystem::copy_file(std::string(OSTRAND_DATA) + "/samples/demo.h20",
                               folder / "demo.h20");
}

// The chip with its flash file and, where given, a link to its terminal.
class SimProcess : public SimChip {
  public:
    std::string start(const std::filesystem::path& home, const std::string& device,
                      const std::vector<std::string>& faults, const std::filesystem::path& flash,
                      const std::filesystem::path& link = {}) {
        std::vector<std::string> extra = {"--flash", flash.string()};
        if (!link.empty()) extra.insert(extra.end(), {"--link", link.string()});
        for (const auto& f : faults) extra.insert(extra.end(), {"--fault", f});
        return startWith(home, device, extra);
    }
};

inline const char* kAllSteps = "AllErase=1\nBlankCheck=1\nProgramming=1\nVerify=1\nFileCompare=1\n";
inline const char* kNoSteps = "AllErase=0\nBlankCheck=0\nProgramming=0\nVerify=0\nFileCompare=0\n";

// One program folder, one chip and the document core of the program.
struct AutoRig {
    TestFolder folder;
    SimProcess chip;
    Session session;
    PumpingOperator op{session};
    std::unique_ptr<DocumentCore> core;
    std::string device_;

    AutoRig() { writeProgramFolder(folder.path()); }
    ~AutoRig() {
        if (core) core->shutDown();
        core.reset();
        chip.stop();
    }

    std::filesystem::path flashPath(int chipNumber = 0) const {
        return folder.path() / ("flash" + std::to_string(chipNumber) + ".bin");
    }
    std::filesystem::path portLink() const { return folder.path() / "port"; }
    std::vector<uint8_t> flash(int chipNumber = 0) const {
        std::ifstream in(flashPath(chipNumber), std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }
    std::string setupText() const { return folder.read("Ostrand.ini"); }

    // Starts the chip, writes the setup with `steps` and starts the program
    // up connected to the chip. False when either failed.
    bool start(const std::string& device, const std::string& steps,
               const std::vector<std::string>& faults = {}) {
        device_ = device;
        if (chip.start(folder.path(), device, faults, flashPath(), portLink()).empty())
            return false;
        std::ofstream(folder.path() / "Ostrand.ini")
            << "[Ostrand]\nDevice=" << device
            << "\nOpenFile=" << (folder.path() / "demo.h20").string()
            << "\nCOMPort=" << portLink().string() << "\nDataRate=38400\n"
            << steps;
        core = std::make_unique<DocumentCore>(session, op, folder.path());
        return core->startUp("") == 1 && core->connected;
    }

    // A new, blank chip on the same port, as the person puts it in.
    bool replaceChip(int chipNumber) {
        chip.stop();
        return !chip.start(folder.path(), device_, {}, flashPath(chipNumber), portLink()).empty();
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
