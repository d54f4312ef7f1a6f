#include "document/auto_program.h"

#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>

#include "app/device_database.h"
#include "app/messages.h"
#include "app/operator.h"
#include "app/password_set.h"
#include "app/session.h"
#include "app/setup_settings.h"
#include "engine/engine_session.h"
#include "engine/flash_engine.h"
#include "engine/flash_operations.h"
#include "objfile/object_image.h"

namespace ostrand {

const char* const kAutoStepNames[kAutoSteps] = {"All Erase",       "Blank Check",  "Programming",
                                                "Verify with SUM", "File Compare", "Protect"};

namespace {
constexpr int32_t kAnswerYes = 6;
constexpr int32_t kAnswerNo = 7;
constexpr int32_t kAnswerOk = 1;

bool singleBootMode(int32_t mode) {
    return mode == kModeSBootPw || mode == kModeSBoot;
}
}  // namespace

bool AutoRunRecord::anyFailed() const {
    for (int32_t r : result)
        if (r == kStepFailed) return true;
    return false;
}

bool AutoRunRecord::nothingRan() const {
    for (int32_t r : result)
        if (r != kStepNotRun) return false;
    return true;
}

AutoOptions applyAutoRules(AutoOptions o, int32_t bootType, int32_t mode, bool wcpLoaded) {
    const BootTypeRow& row = bootTypeRow(bootType);
    if (!row.blockCommands && singleBootMode(mode)) o[kBlankCheck] = o[kFileCompare] = false;
    if (EraseFirstTypes(bootType) && o[kProgramming]) o[kAllErase] = true;
    if (row.wcpViaWriteOnly && (mode == kModeWcpDiv || mode == kModeWcpAll) && !wcpLoaded) {
        if (o[kBlankCheck]) o[kAllErase] = true;
        if (o[kVerify] || o[kFileCompare]) o[kProgramming] = true;
    }
    if (!row.ownReadProtect) o[kProtect] = false;
    return o;
}

AutoProgrammer::AutoProgrammer(Session& session, Operator& op, DeviceDatabase& devices,
                               SetupSettings& settings, PasswordSet& passwords,
                               CFlashEngine& engine, FlashOperations& operations,
                               const ObjectImage& image)
    : session_(session),
      op_(op),
      devices_(devices),
      settings_(settings),
      passwords_(passwords),
      engine_(engine),
      operations_(operations),
      image_(image) {}

AutoProgrammer::AutoProgrammer(EngineSession& p)
    : AutoProgrammer(p.session, p.op, p.devices, p.settings, p.passwords, p.engine, p.operations,
                     p.image) {}

AutoOptions AutoProgrammer::options() const {
    const SetupValues& v = settings_.inForce;
    int32_t bootType = devices_.bootType();
    AutoOptions o{v.allErase == 1,    v.blankCheck == 1,
                  v.programming == 1, v.verify == 1,
                  v.fileCompare == 1, bootTypeRow(bootType).ownReadProtect && v.readProtect == 1};
    return applyAutoRules(o, bootType, session_.ProgrammingMode, engine_.state().chip.anyWcpLoaded());
}

int32_t AutoProgrammer::progressCount() const {
    int32_t mode = session_.ProgrammingMode;
    if (singleBootMode(mode) && !image_.expansionPath().empty()) {
        std::error_code ec;
        auto size = std::filesystem::file_size(image_.expansionPath(), ec);
        if (!ec) return static_cast<int32_t>(size / 2);
    }
    return static_cast<int32_t>(image_.programByteCount());
}

bool AutoProgrammer::setupOptionsAllOff() const {
    const SetupValues& v = settings_.inForce;
    return v.allErase == 0 && v.blankCheck == 0 && v.programming == 0 && v.verify == 0 &&
           v.fileCompare == 0 &&
           !(bootTypeRow(devices_.bootType()).ownReadProtect && v.readProtect != 0);
}

int32_t AutoProgrammer::runStep(AutoStep step, bool unattended, bool topMost) {
    static constexpr int32_t kText[kAutoSteps] = {11302, 11304, 11306, 11303, 11305, 11313};
    const int32_t mode = session_.ProgrammingMode;
    const bool bar = step == kProgramming || step == kFileCompare;
    bool window = true;
    if (step == kProgramming && unattended) window = mode == kModeWcpDiv || mode == kModeWcpAll;
    if (step == kProtect && unattended) window = false;  // the engine shows its own
    if (window)
        op_.progressOpen(messageTextOrFallback(kText[step]), bar ? progressCount() : 0, bar, false,
                         topMost);

    // A failing operation shows its own message; where one says nothing (a
    // chip that is simply not blank), the step's result message stands in.
    session_.LastMessageCode = 0;
    int32_t fallback = 0;
    bool ok = false;
    switch (step) {
        case kAllErase:
            session_.AutoRunPhase = 2;
            ok = operations_.eraseChip(false) == 1;
            session_.AutoRunPhase = 1;
            if (ok) session_.ProtectState = 0;
            fallback = 11018;
            break;
        case kBlankCheck:
            ok = operations_.blankCheck(false) == 1;
            fallback = 11016;
            break;
        case kProgramming:
            if (unattended) session_.AutoRunPhase = 2;
            ok = operations_.programForAuto() == 1;
            session_.AutoRunPhase = 1;
            fallback = singleBootMode(mode) ? 11004 : 11005;
            break;
        case kVerify: {
            uint16_t deviceSum = 0;
            int32_t r = operations_.verifySum(false, deviceSum);
            record.fileSum = image_.fileSum();
            record.memorySum = deviceSum;
            record.memorySumRead = r >= 0;
            ok = r == 0;
            fallback = singleBootMode(mode) ? 11011 : 11013;
            break;
        }
        case kFileCompare:
            ok = operations_.compareWithFile(false, false) == 0;
            fallback = 11014;
            break;
        case kProtect:
            ok = engine_.boot().protectChip(unattended, false) == 1;
            if (ok) session_.ProtectState = 1;
            fallback = 11026;
            break;
        case kAutoSteps:
            break;
    }
    if (window) op_.progressClose();
    // Only where no result window follows: it shows the step as NG itself.
    const bool noResultWindow = topMost && session_.ShowAutoResults == 0;
    if (!ok && session_.LastMessageCode == 0 && noResultWindow) op_.showMessage(fallback);
    return ok ? kStepOk : kStepFailed;
}

int32_t AutoProgrammer::runSequence(bool unattended, bool topMost) {
    autoRunDone = true;
    AutoOptions o = options();
    record = AutoRunRecord{};
    for (int s = 0; s < kAutoSteps; ++s) {
        if (!o[s]) continue;
        const auto step = static_cast<AutoStep>(s);
        if (stepStarted) stepStarted(step);
        const auto started = std::chrono::steady_clock::now();
        int32_t r = runStep(step, unattended, topMost);
        record.result[s] = r;
        if (stepDone) {
            AutoStepReport report{step, r};
            report.seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            if (step == kProgramming && r == kStepOk) {
                report.bytes = progressCount();
                if (report.seconds > 0) report.bytesPerSecond = report.bytes / report.seconds;
            }
            stepDone(report);
        }
        if (r != kStepOk) {
            if (chipFinished) chipFinished(record);
            return 0;
        }
    }
    if (chipFinished) chipFinished(record);
    return 1;
}

uint16_t AutoProgrammer::imageSum() const {
    return image_.fileSum();
}

int32_t AutoProgrammer::showResult(bool unattended) {
    if (record.anyFailed()) {
        session_.ExitStatus = 2;
        if (unattended && session_.ShowAutoResults == 0) return kAnswerOk;
        return resultWindow ? resultWindow(AutoResultWindow::Failed, record) : kAnswerOk;
    }
    if (record.nothingRan()) return unattended ? kAnswerOk : kAnswerNo;
    session_.ExitStatus = 1;
    if (unattended) {
        if (session_.ShowAutoResults == 0) return kAnswerOk;
        return resultWindow ? resultWindow(AutoResultWindow::Succeeded, record) : kAnswerOk;
    }
    return resultWindow ? resultWindow(AutoResultWindow::Continue, record) : kAnswerNo;
}

bool AutoProgrammer::reconnect() {
    engine_.link().hangUp();
    session_.ConnectStatus = kConnecting;
    session_.LastMessageCode = 0;
    if (engine_.connectAndWait(1) != 1) {
        session_.ConnectStatus = kDisconnected;
        // A chip that never came has said nothing yet: every failed
        // reconnect ends with its message.
        if (session_.LastMessageCode == 0) op_.showMessage(10000, 3, 12100, "Boot Program");
        return false;
    }
    session_.ConnectStatus = kConnected;
    return true;
}

int32_t AutoProgrammer::unattendedRun(bool batch) {
    if (batch && autoRunDone) return 0;
    runChips(true, batch);
    return 1;
}

void AutoProgrammer::runChips(bool unattended, bool batch) {
    session_.AutoRunPhase = 1;
    for (;;) {
        int32_t ok = runSequence(unattended, batch);
        if (batch) {
            showResult(true);
            break;
        }
        if (!(ProtectTypes(devices_.bootType()) && session_.eraseRefused == 1)) {
            int32_t answer = showResult(false);
            if (!(ok == 1 && answer == kAnswerYes)) break;
        }
        if (!op_.askOkCancel(12005)) break;
        // In the dialog this is its message line, not a window.
        op_.progressOpen(messageTextOrFallback(13021), 0, false, false, false);
        bool up = reconnect();
        op_.progressClose();
        if (!up) break;
    }
    session_.AutoRunPhase = 0;
}

void AutoProgrammer::dialogStart(const AutoOptions& boxes) {
    SetupValues& v = settings_.inForce;
    v.allErase = boxes[kAllErase];
    v.blankCheck = boxes[kBlankCheck];
    v.programming = boxes[kProgramming];
    v.verify = boxes[kVerify];
    v.fileCompare = boxes[kFileCompare];
    // Only a chip with its own ReadProtect setting takes the Protect box.
    v.readProtect = bootTypeRow(devices_.bootType()).ownReadProtect && boxes[kProtect] ? 1 : 0;
    settings_.saveSetupFile(session_.MultiInstance == 1 ? settings_.setupPath
                                                        : std::filesystem::path());
    runChips(false, false);
}

}  // namespace ostrand
