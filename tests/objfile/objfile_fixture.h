// A program folder in a temporary directory with a small definition file,
// the settings in force and one ObjectImage, for the object-file tests.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "app/device_database.h"
#include "app/file_io.h"
#include "app/operator.h"
#include "app/session.h"
#include "app/setup_settings.h"
#include "app/test_folder.h"
#include "objfile/hex_records.h"
#include "objfile/object_image.h"
#include "recording_operator.h"

namespace ostrand::testing {

namespace fs = std::filesystem;

// One device section with every required key.
inline std::string deviceSection(const std::string& name, int bootType, const std::string& chip,
                                 const std::string& boot, const std::string& extra = {}) {
    std::string s = "[T-" + name + "]\n";
    s += "BusWidth=" + std::string(bootType == 7 || bootType == 8 || bootType == 10 ? "2" : "0") +
         "\n";
    s += "SingleChipFlashAddress=" + chip + "\n";
    s += "SingleBootRAMAddress=0xF000-0xF7FF\n";
    s += "SingleBootFlashAddress=" + boot + "\n";
    s += "ReceiveBufferSize=256\nUseWCP=0\nTotalWCP=0x0\nSingleBootPassword=0\n";
    s += "BootType=" + std::to_string(bootType) + "\n";
    s += "VectorArea=0x0-0x0\n";
    // Keys the caller gives win: the first key of a name is the one read.
    return s + extra + "PageSize=128\nPasswordArea=0x0-0x0\nSumArea=" + boot +
           "\nFlashSecondArea=0x0-0x0\n";
}

inline std::string definitionText() {
    return "[COMMON]\nWebSiteURL=https://example.org/\n" +
           deviceSection("PLAIN", 4, "0x0-0x7FFFF", "0x0-0x7FFFF",
                         "PasswordArea=0x7FF00-0x7FFFF\n") +
           deviceSection("OFFS", 4, "0x10000-0x1FFFF", "0x0-0xFFFF") +
           deviceSection("BIG", 4, "0x0-0xFFFFF", "0x0-0xFFFFF") +
           deviceSection("PAGE", 2, "0x8000-0xFFFF", "0x8000-0xFFFF") +
           deviceSection("BT12", 12, "0x0-0x7FFF", "0x0-0x7FFF", "PageSize=64\n") +
           deviceSection("SMALLSUM", 4, "0x0-0xFFFF", "0x0-0xFFFF", "SumArea=0x1000-0x1FFF\n") +
           deviceSection("SECOND", 6, "0x0-0x7FFF", "0x0-0x7FFF",
                         "SumArea=0x0-0x13FFF\nFlashSecondArea=0x10000-0x13FFF\n") +
           deviceSection("PW8", 8, "0x0-0xFFFF", "0x0-0xFFFF", "PasswordArea=0xFFC0-0xFFCB\n") +
           deviceSection("BT11", 11, "0x1000-0x1FFFF", "0x1000-0x1FFFF") +
           deviceSection("NOPAGE", 5, "0x0-0xFFFF", "0x0-0xFFFF", "PageSize=0\n");
}

// Record text with a correct checksum, for hand-made files.
inline std::string ihex(uint8_t type, uint16_t address, const std::vector<uint8_t>& data) {
    std::string line;
    appendHexRecord(line, type, address, data.data(), static_cast<uint32_t>(data.size()));
    return line;
}
inline std::string srec(char type, int addressBytes, uint32_t address,
                        const std::vector<uint8_t>& data) {
    std::vector<uint8_t> b{static_cast<uint8_t>(addressBytes + data.size() + 1)};
    for (int i = addressBytes - 1; i >= 0; --i)
        b.push_back(static_cast<uint8_t>(address >> (8 * i)));
    b.insert(b.end(), data.begin(), data.end());
    uint8_t sum = 0;
    std::string out = std::string("S") + type;
    char two[3];
    for (uint8_t x : b) {
        sum = static_cast<uint8_t>(sum + x);
        std::snprintf(two, sizeof two, "%02X", x);
        out += two;
    }
    std::snprintf(two, sizeof two, "%02X", static_cast<uint8_t>(~sum));
    return out + two + "\n";
}
inline void writeText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}
inline std::string readText(const fs::path& path) {
    return readWholeFile(path).value_or("<missing>");
}

inline const std::string kEnd(kHexEndRecord);

class ObjFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        writeText(home / "Ostrand.def", definitionText());
        ASSERT_EQ(devices.load(home / "Ostrand.def"), 0);
        select("PLAIN");
    }

    void select(const std::string& device) {
        ASSERT_GE(devices.select(device), 0) << device;
        settings.device = device;
    }

    // Writes `text` as an object file and loads it; returns load's result.
    int32_t loadText(const std::string& name, const std::string& text) {
        writeText(home / name, text);
        return loadPath((home / name).string());
    }
    int32_t loadPath(const std::string& path) {
        settings.openFile = path;
        return image.load(false);
    }

    // The last message as "code/place/hint/detail".
    std::string lastMessage() const {
        const ShownMessage* m = op.last();
        if (!m) return "none";
        return std::to_string(m->code) + "/" + std::to_string(m->place) + "/" +
               std::to_string(m->hint) + "/" + m->detail;
    }

    // Runs a shell command line of fixed test tools (srec_cat).
    static int sh(const std::string& command) { return std::system(command.c_str()); }

    TestFolder folder;
    fs::path home = folder.path();
    Session session;
    RecordingOperator op{session};
    DeviceDatabase devices{session, op};
    SetupValues settings;
    ObjectImage image{session, op, devices, settings, home};
};

}  // namespace ostrand::testing
