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
#include "recording_operator.h"
#include "sim_process.h"
#include "test_folder.h"

extern char** environ;

namespace ostrand::test {

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
        v.dataRate = DataRate::parse(rate);
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
