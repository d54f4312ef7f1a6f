// Auto programming: All Erase, Blank Check, Programming, Verify with SUM,
// File Compare and Protect in this fixed order, each optional, stopping at the
// first step that fails; one chip after another when the operator continues.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace ostrand {

class CFlashEngine;
class DeviceDatabase;
class EngineSession;
class FlashOperations;
class ObjectImage;
class Operator;
class PasswordSet;
class SetupSettings;
struct Session;

enum AutoStep { kAllErase, kBlankCheck, kProgramming, kVerify, kFileCompare, kProtect, kAutoSteps };
enum AutoStepResult : int32_t { kStepOk = 0, kStepFailed = 1, kStepNotRun = 2 };

extern const char* const kAutoStepNames[kAutoSteps];  // "All Erase", ...

using AutoOptions = std::array<bool, kAutoSteps>;

struct AutoRunRecord {
    std::array<int32_t, kAutoSteps> result{kStepNotRun, kStepNotRun, kStepNotRun,
                                           kStepNotRun, kStepNotRun, kStepNotRun};
    uint16_t fileSum = 0;
    uint16_t memorySum = 0;
    bool memorySumRead = false;  // the verify step got the chip's SUM
    bool anyFailed() const;
    bool nothingRan() const;
};

// One step as it ended: its time and, for a programming that passed, the
// bytes it wrote and their rate.
struct AutoStepReport {
    AutoStep step = kAllErase;
    int32_t result = kStepNotRun;
    double seconds = 0;
    int64_t bytes = 0;
    double bytesPerSecond = 0;
};

// The option rules that tie the steps together for a device.
AutoOptions applyAutoRules(AutoOptions options, int32_t bootType, int32_t mode, bool wcpLoaded);

// The result windows a front end shows. Answers: 6 Yes, 7 No, 1 OK.
enum class AutoResultWindow { Failed, Succeeded, Continue };

class AutoProgrammer {
  public:
    AutoProgrammer(Session& session, Operator& op, DeviceDatabase& devices, SetupSettings& settings,
                   PasswordSet& passwords, CFlashEngine& engine, FlashOperations& operations,
                   const ObjectImage& image);
    // The steps over the parts of one engine session.
    explicit AutoProgrammer(EngineSession& parts);

    // The options of the setup after the rules.
    AutoOptions options() const;
    // All six options of the setup are off, before any rule applies.
    bool setupOptionsAllOff() const;
    // Bytes the programming step reports progress over.
    int32_t progressCount() const;

    // One pass over the steps. 1 when every step that ran succeeded.
    int32_t runSequence(bool unattended, bool topMost);
    // The result of the last run: sets ExitStatus, shows the window the run
    // asks for and returns its answer.
    int32_t showResult(bool unattended);
    // The unattended run (batch: the command line's; otherwise the toolbar's
    // with the continue loop), its preamble passed. Returns 1 when it ran, 0
    // when nothing did.
    int32_t unattendedRun(bool batch);
    // The dialog's Start: the options go into the setup (and the setup file),
    // then the sequence and the continue loop.
    void dialogStart(const AutoOptions& boxes);

    // A new chip in the socket: a hang-up (CFlashEngine::hangUp) and the
    // connection made again. False: the connection failed (message shown).
    bool reconnect();

    AutoRunRecord record;
    bool autoRunDone = false;  // set by every run, never cleared

    // A front end shows its result windows here; empty: none are shown and
    // the answer is OK / No.
    std::function<int32_t(AutoResultWindow, const AutoRunRecord&)> resultWindow;
    // Called before and after each step (a console prints a line).
    std::function<void(AutoStep)> stepStarted;
    std::function<void(const AutoStepReport&)> stepDone;
    // Called when one chip's pass over the steps ends, passed or not.
    std::function<void(const AutoRunRecord&)> chipFinished;
    // The file SUM of the object being programmed.
    uint16_t imageSum() const;

  private:
    int32_t runStep(AutoStep step, bool unattended, bool topMost);
    // The sequence, chip after chip while the operator continues; once in batch.
    void runChips(bool unattended, bool batch);

    Session& session_;
    Operator& op_;
    DeviceDatabase& devices_;
    SetupSettings& settings_;
    PasswordSet& passwords_;
    CFlashEngine& engine_;
    FlashOperations& operations_;
    const ObjectImage& image_;
};

}  // namespace ostrand
