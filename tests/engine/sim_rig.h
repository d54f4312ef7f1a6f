// The simulated chip as a child process, a program folder whose definition
// file has short waits, and an engine wired to both.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/operator.h"
#include "app/session.h"
#include "engine/engine_session.h"
#include "test_folder.h"

extern char** environ;

namespace ostrand::test {

// Ostrand.def of the demo data with the waits cut down: one second for the
// wait keys (their unit) and 60 ms for the matching reply (a loaded machine may hold the simulator
// back for tens of milliseconds).
inline void writeFastDefinition(const std::filesystem::path& folder) {
    std::ifstream in(std::string(OSTRAND_DATA) + "/Ostrand.def");
    std::stringstream text;
    text << in.rdbuf();
    std::string def = std::regex_replace(text.str(), std::regex("(Erase|Boot|Access)WaitTime=\\d+"),
                                         "$1WaitTime=1");
    def = std::regex_replace(def, std::regex("\n(\\[K[^\\]]*\\])\n"), "\n$1\nRecTimeOut=60\n");
    std::ofstream(folder / "Ostrand.def") << def;
}

// A program folder: the demo definitions with short waits, and every WCP folder.
inline void writeFastProgramFolder(const std::filesystem::path& folder) {
    writeFastDefinition(folder);
    for (const auto& entry : std::filesystem::directory_iterator(OSTRAND_DATA))
        if (entry.is_directory())
            std::filesystem::copy(entry.path(), folder / entry.path().filename(),
                                  std::filesystem::copy_options::recursive);
}

class SimChip {
  public:
    SimChip() = default;
    SimChip(const SimChip&) = delete;
    ~SimChip() { stop(); }

    // Starts the chip; returns its terminal path ("" on failure).
    std::string start(const std::filesystem::path& home, const std::string& device,
                      const std::vector<std::string>& faults = {},
                      const std::filesystem::path& flash = {},
                      const std::filesystem::path& log = {}) {
        std::vector<std::string> args = {OSTRAND_SIM, "--home", home.string(), "--device", device};
        if (!flash.empty()) args.insert(args.end(), {"--flash", flash.string()});
        if (!log.empty()) args.insert(args.end(), {"--log", log.string()});
        for (const auto& f : faults) args.insert(args.end(), {"--fault", f});
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        int out[2];
        if (pipe(out) != 0) return {};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        std::string line;
        char c;
        while (rc == 0 && read(out[0], &c, 1) == 1 && c != '\n') line += c;
        close(out[0]);
        if (rc != 0) pid_ = -1;
        return line;
    }
    void pause() { kill(pid_, SIGSTOP); }
    void resume() { kill(pid_, SIGCONT); }
    void stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGCONT);
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

  private:
    pid_t pid_ = -1;
};

// One program's worth of state around an engine, built as every front end
// builds it.
struct EngineRig {
    TestFolder folder;
    Session session;
    RecordingOperator op{session};
    EngineSession parts{session, op, folder.path()};
    DeviceDatabase& devices = parts.devices;
    SetupSettings& settings = parts.settings;
    PasswordSet& passwords = parts.passwords;
    CFlashEngine& engine = parts.engine;
    SimChip chip;

    EngineRig() {
        writeFastDefinition(folder.path());
        EXPECT_TRUE(parts.loadDefinitions());
        setTimeout(&EngineTimeouts::echo, 300);
    }

    void setTimeout(uint32_t EngineTimeouts::*which, uint32_t ms) {
        EngineTimeouts t = engine.timeouts();
        t.*which = ms;
        engine.setTimeouts(t);
    }
    EngineRig(const EngineRig&) = delete;

    // Starts the chip and sets the engine up for it.
    void start(const std::string& device, const std::string& rate = "9600",
               const std::vector<std::string>& faults = {}, bool withFlash = false) {
        const std::string port =
            chip.start(folder.path(), device, faults, withFlash ? flashPath() : "", logPath());
        ASSERT_FALSE(port.empty());
        configure(device, port, rate);
    }
    void configure(const std::string& device, const std::string& port, const std::string& rate) {
        ASSERT_GE(devices.select(device), 0);
        SetupValues& v = settings.inForce;
        v.device = device;
        v.comPort = port;
        v.dataRate = rate;
        applyFixedClock(devices.selected()->bootType, v);
        devices.applyProgrammingMode();
    }
    std::filesystem::path flashPath() const { return folder.path() / "flash.bin"; }
    std::filesystem::path logPath() const { return folder.path() / "chip.log"; }
    // Every byte the chip has received so far, in order.
    std::vector<uint8_t> received() const {
        std::ifstream in(logPath());
        std::vector<uint8_t> bytes;
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string ms, kind, hex;
            fields >> ms >> kind;
            if (kind != "rx") continue;
            while (fields >> hex)
                bytes.push_back(static_cast<uint8_t>(std::stoul(hex, nullptr, 16)));
        }
        return bytes;
    }
    // What the chip receives from now on: received() from this mark.
    size_t mark() const { return received().size(); }
    std::vector<uint8_t> receivedSince(size_t from) const {
        const std::vector<uint8_t> all = received();
        return std::vector<uint8_t>(all.begin() + std::ptrdiff_t(std::min(from, all.size())),
                                    all.end());
    }
    // The simulated flash: first area then second area.
    std::vector<uint8_t> flash() const {
        std::ifstream in(flashPath(), std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }
    void writeFlash(const std::vector<uint8_t>& bytes) const {
        std::ofstream(flashPath(), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    // Nothing shown but the notice that a pseudo-terminal has no modem lines.
    bool quiet() const {
        return std::all_of(op.messages.begin(), op.messages.end(),
                           [](const ShownMessage& m) { return m.code == 12153; });
    }
    // The codes shown, without that notice.
    std::vector<int32_t> shownCodes() const {
        std::vector<int32_t> codes;
        for (const auto& m : op.messages)
            if (m.code != 12153) codes.push_back(m.code);
        return codes;
    }
    bool shown(int32_t code, int32_t place = -1) const {
        for (const auto& m : op.messages)
            if (m.code == code && (place < 0 || m.place == place)) return true;
        return false;
    }
};

}  // namespace ostrand::test
