// Run records: one JSON line per chip processed, appended to a file that the
// ports of a gang and other processes may share (docs/run-records.md).
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/operator.h"
#include "document/auto_program.h"

namespace ostrand {

class SetupSettings;

struct RunRecordStep {
    std::string name;  // "All Erase", "Programming", "Connect" ...
    int32_t result = kStepNotRun;
    Outcome outcome;  // the numbered message that tells it
    double seconds = 0;
};

struct RunRecord {
    std::string program;  // "ostrand-cli"
    std::string command;  // "auto", "gang", "program"
    std::string port, device, object;
    std::optional<uint16_t> fileSum, chipSum;
    std::vector<RunRecordStep> steps;
    bool cancelled = false;
    std::chrono::system_clock::time_point started = std::chrono::system_clock::now();
    double seconds = 0;
};

// The record as one line of JSON, with the host and the program version.
std::string runRecordLine(const RunRecord& record);

// Writes the run record of every chip an auto-programming run processes.
class RunRecorder {
  public:
    RunRecorder(std::filesystem::path file, std::string program, std::string command, Operator& op);
    ~RunRecorder();

    // Whether lines can be appended to `file` (made when missing), so that a
    // run is refused before it touches a chip whose record would be lost.
    static bool usable(const std::filesystem::path& file);

    // Follows `programmer` (keeping the hooks it has): each chip's steps are
    // timed with their messages, and a line is written when the chip is done,
    // whether it passed, failed or was cancelled.
    void follow(AutoProgrammer& programmer, const SetupSettings& settings);
    // A line for a chip whose steps never started: `step` ("Connect") with
    // the outcome that stopped it.
    void writeUnstarted(const SetupSettings& settings, const std::string& step,
                        const Outcome& outcome);
    // A line for a command of one step (program, erase ...): its result,
    // outcome and time, and the SUM of the object it wrote, if any.
    void writeStep(const SetupSettings& settings, const std::string& step, bool passed,
                   const Outcome& outcome, double seconds, std::optional<uint16_t> fileSum);
    // Writes one record; false (and remembered) when the file cannot take it.
    bool write(const RunRecord& record);
    bool failed() const { return failed_; }
    // Lines written so far (also the ones that failed to go in).
    int written() const { return written_; }
    const std::filesystem::path& file() const { return file_; }

  private:
    RunRecord fresh(const SetupSettings& settings) const;

    std::filesystem::path file_;
    std::string program_, command_;
    Operator& op_;
    RunRecord current_;
    std::unique_ptr<OutcomeCapture> capture_;
    std::chrono::steady_clock::time_point chipStart_, stepStart_;
    bool failed_ = false;
    int written_ = 0;
};

}  // namespace ostrand
