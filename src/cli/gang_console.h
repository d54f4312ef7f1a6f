// The console of a gang run: several ports print at once, so every line is
// written whole under one lock, each message line carries its port, questions
// are asked one at a time, and on a terminal each port keeps one status line
// that is redrawn in place.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "app/operator.h"
#include "document/auto_program.h"

namespace ostrand::cli {

class GangConsole {
  public:
    // live: the ports' status lines are redrawn in place on stderr (a
    // terminal). Otherwise every step of every port is one line on
    // `report`. assumeYes answers the chip's questions; a question with
    // nobody to answer it takes the answer that leaves the chip untouched.
    GangConsole(bool live, bool assumeYes, FILE* report);
    ~GangConsole();

    size_t addPort(const std::string& port);
    const std::string& portName(size_t i) const { return lines_[i].port; }

    void setDevice(size_t i, const std::string& device);
    void stepStarted(size_t i, const std::string& step);
    void stepDone(size_t i, const std::string& step, const char* result,
                  const AutoStepReport& report);
    void progress(size_t i, const ProgressEvent& event);
    void finished(size_t i, const std::string& state);

    // A numbered message of port i, each of its lines prefixed with the port.
    void message(size_t i, const std::string& text);
    // A plain line of the gang itself (stderr).
    void note(const std::string& text);
    // Whether a notice that tells of the machine, not of a port (M153: the
    // ports have no modem lines), is still to be printed in this run.
    bool firstOfRun(int32_t code);

    // A Yes/No (or OK/Cancel) question of port i; only one is on the
    // terminal at a time and nothing else is printed while it waits.
    bool ask(size_t i, int32_t code, bool okCancel);
    // The gang's own question (replace all chips), asked of a person only:
    // without a terminal the answer is Cancel.
    bool askEveryone(int32_t code);

    // Ends the live lines (they stay on the screen as they last were);
    // resume() starts new ones below for the next pass.
    void stop();
    void resume();

  private:
    struct Line {
        std::string port, device, step, state;
        int64_t done = 0, total = 0;
        double rate = 0;
    };
    std::string render(const Line& line) const;
    void redrawLocked(bool force);
    void clearLocked();
    void writeLocked(const std::string& text);  // stderr, or held while a question waits
    bool readAnswer(const std::string& prompt, bool& answer, bool okCancel);

    const bool live_;
    FILE* const report_;
    const bool assumeYes_;
    bool inputGone_ = false;
    bool asking_ = false;
    bool stopped_ = false;
    size_t drawn_ = 0;  // status lines on the screen below the messages
    std::chrono::steady_clock::time_point lastDraw_{};
    std::vector<Line> lines_;
    std::vector<int32_t> printedOnce_;
    std::string held_;
    std::mutex lock_;
    std::mutex question_;
};

}  // namespace ostrand::cli
