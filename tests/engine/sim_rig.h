// The simulated chip as a child process, a program folder whose definition
// file has short waits, and an engine wired to both.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/operator.h"
#include "app/session.h"
#include "engine/engine_session.h"
#include "engine/flash_operations.h"
#include "objfile/hex_records.h"
#include "objfile/object_image.h"
#include "recording_operator.h"
#include "sim_process.h"
#include "test_folder.h"

namespace ostrand::test {

using Bytes = std::vector<uint8_t>;

inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline ::testing::AssertionResult startsWith(const Bytes& all, const Bytes& prefix) {
    if (all.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), all.begin()))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << ::testing::PrintToString(all);
}

// The byte the objects of these tests hold at an address.
inline uint8_t pattern(uint32_t a) {
    return static_cast<uint8_t>((a * 7 + 3) & 0xFF);
}

// Intel HEX text of bytes by address, up to 16 to a record; a segment record
// wherever the 64 KiB segment is no longer the one before (0 at first).
inline std::string hexText(const std::map<uint32_t, uint8_t>& bytes) {
    std::string text;
    uint32_t segment = 0;
    for (auto it = bytes.begin(); it != bytes.end();) {
        const uint32_t a = it->first;
        if ((a >> 16) << 12 != segment) {
            segment = (a >> 16) << 12;
            appendHexSegment(text, static_cast<uint16_t>(segment));
        }
        std::vector<uint8_t> data;
        while (it != bytes.end() && it->first == a + data.size() && data.size() < 16 &&
               (it->first >> 16) << 12 == segment)
            data.push_back((it++)->second);
        appendHexRecord(text, 0, static_cast<uint16_t>(a), data.data(), uint32_t(data.size()));
    }
    text += kHexEndRecord;
    return text;
}

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
    std::unique_ptr<ObjectImage> image;
    std::unique_ptr<FlashOperations> ops;

    EngineRig() {
        writeFastDefinition(folder.path());
        EXPECT_TRUE(parts.loadDefinitions());
        setTimeout(&EngineTimeouts::echo, 300);
    }
    EngineRig(const EngineRig&) = delete;

    void setTimeout(uint32_t EngineTimeouts::*which, uint32_t ms) {
        EngineTimeouts t = engine.timeouts();
        t.*which = ms;
        engine.setTimeouts(t);
    }
    const DeviceDefinition& dev() const { return *devices.selected(); }
    std::string codes() const { return ::testing::PrintToString(op.codes()); }

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
    // The chip starts erased: the device and object passwords are the
    // blank-chip password.
    void useBlankPassword() {
        const int32_t bt = dev().bootType;
        if (bt == 4 || bt == 12) return;
        const uint32_t at = BootTypesC(bt) ? 0 : dev().passwordAreaStart;
        passwords.devicePasswordOption = 1;
        passwords.devicePasswordType = passwords.objectPasswordType = 1;
        passwords.devicePassword = passwords.objectPassword = blankPasswordText(bt);
        passwords.deviceNumAdd = passwords.deviceCmpAdd = at;
        passwords.objectNumAdd = passwords.objectCmpAdd = at;
    }
    // The device password as typed in the password dialog.
    void useDevicePassword(const std::string& hex, uint32_t count, uint32_t compare) {
        passwords.devicePasswordOption = 2;
        passwords.devicePasswordType = 1;
        passwords.devicePassword = hex;
        passwords.deviceNumAdd = count;
        passwords.deviceCmpAdd = compare;
    }
    // A blank chip with its flash file and the WCPs, connected.
    void startBlank(const std::string& device, const std::vector<std::string>& faults = {}) {
        start(device, "9600", faults, true);
        engine.wcp().setWcpFolder(OSTRAND_DATA);
        useBlankPassword();
        ASSERT_EQ(engine.connect(1), 1) << codes();
    }
    // The object as the open file, and flash operations over it.
    void loadObject(const std::map<uint32_t, uint8_t>& bytes, const std::string& name = "o.h20") {
        settings.inForce.openFile = folder.write(name, hexText(bytes)).string();
        image =
            std::make_unique<ObjectImage>(session, op, devices, settings.inForce, folder.path());
        ASSERT_EQ(image->load(false), 1) << codes();
        ops = std::make_unique<FlashOperations>(engine, *image);
    }

    std::filesystem::path flashPath() const { return folder.path() / "flash.bin"; }
    std::filesystem::path logPath() const { return folder.path() / "chip.log"; }
    // Every byte the chip has received ("rx") or sent ("tx") so far, in order.
    Bytes received(const std::string& direction = "rx") const {
        std::ifstream in(logPath());
        Bytes bytes;
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string ms, kind, hex;
            fields >> ms >> kind;
            if (kind != direction) continue;
            while (fields >> hex)
                bytes.push_back(static_cast<uint8_t>(std::stoul(hex, nullptr, 16)));
        }
        return bytes;
    }
    // What the chip receives from now on: received() from this mark.
    size_t mark(const std::string& direction = "rx") const { return received(direction).size(); }
    Bytes receivedSince(size_t from, const std::string& direction = "rx") const {
        const Bytes all = received(direction);
        return Bytes(all.begin() + std::ptrdiff_t(std::min(from, all.size())), all.end());
    }
    // The simulated flash: first area then second area.
    Bytes flash() const {
        std::ifstream in(flashPath(), std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    void writeFlash(const Bytes& bytes) const {
        std::ofstream(flashPath(), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    bool erased() const {
        const Bytes f = flash();
        return std::all_of(f.begin(), f.end(), [](uint8_t b) { return b == 0xFF; });
    }
    // Nothing shown but the notice that a pseudo-terminal has no modem lines.
    bool quiet() const { return shownCodes().empty(); }
    // The codes shown, without that notice.
    std::vector<int32_t> shownCodes() const {
        std::vector<int32_t> codes;
        for (const auto& m : op.messages)
            if (m.code != 12153) codes.push_back(m.code);
        return codes;
    }
    // The first message of this code, if one was shown.
    const ShownMessage* shown(int32_t code) const {
        for (const auto& m : op.messages)
            if (m.code == code) return &m;
        return nullptr;
    }
};

}  // namespace ostrand::test
