// The boot commands: the work the chip's boot program does itself. The status
// read and what it says, the password frame and the password steps after a
// connection, chip and block erase, protect, the boot-mode SUM and read, chip
// identification, and single-boot programming of an object expansion file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "engine/engine_state.h"

namespace ostrand {

class BootCommands : public EngineLayer {
  public:
    explicit BootCommands(EngineState& s);

    int32_t sendPasswordFrame(int32_t column);
    int32_t readStatus(std::vector<uint8_t>* buffer = nullptr);
    int32_t postConnectStatus();
    int32_t chipErase(uint8_t selector);
    int32_t protectChip(bool showProgress, bool showResult);
    int32_t protectCheckBeforeWcp();
    void startupErasePrompt();
    int32_t identifyChip();
    int32_t bootRead(uint32_t start, uint8_t* buffer, uint32_t count);
    int32_t bootSum(uint32_t start, uint32_t count, uint16_t& sum);
    // Single-boot programming of the object expansion file (ProgrammingMode 3, 4).
    int32_t programSingleBoot(const std::filesystem::path& expansionFile);
    // 1 when the boot program can take the object in one transfer; BootTypes 8
    // and 10 take at most 1024 bytes from the lowest to the highest address
    // (10023 otherwise). Nothing is sent.
    int32_t singleBootObjectFits(const std::filesystem::path& expansionFile);
    // BootType 4's password form: the password record and the end record only.
    int32_t bootPasswordForm();
    int32_t sendObjectRecords(const std::filesystem::path& path, bool showProgress);
    // The password steps of a connection run again at the next one.
    void forgetPasswordSteps() { passwordStepsDone_ = false; }
    int32_t beginBootCommand(int32_t column, int32_t resyncPlace, int32_t echoPlace);
    int32_t readBytes(uint8_t* out, int32_t n, uint32_t timeoutMs, int32_t firstPlace,
                      bool placePerByte);
    int32_t runPasswordSteps();

    bool devicePasswordSet() const;

  private:
    void interpretStatus();
    // What a single-boot transfer does: erase the chip, program it, or only
    // open it with the password form.
    static constexpr int32_t kFormErase = 0, kFormProgram = 1, kFormPassword = 2;
    int32_t singleBootTransfer(int form, const std::filesystem::path* path);
    void blankPasswordAsDevicePassword();
    struct PasswordChoice {
        std::vector<uint8_t> bytes;
        uint32_t numAdd = 0, cmpAdd = 0;
    };
    PasswordChoice choosePassword() const;
    int32_t sendPasswordRecord(const PasswordChoice& pw);
    // The erase without password is spent.
    void passwordErased();

    bool passwordStepsDone_ = false;
    bool startupEraseDone_ = false;
};

}  // namespace ostrand
