// ostrand-cli gang against several simulated chips at once: each chip gets
// its own object, a failing port neither stops nor spoils the others, and
// bad usage is refused.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <map>
#include <regex>
#include <sstream>

#include "cli_run.h"
#include "engine/sim_rig.h"
#include "objfile/hex_records.h"

namespace ostrand::test {
namespace {

struct Chip {
    const char* device;
    uint32_t flashSize;
    const char* fault;  // "" none
};

// WCP-Div, S-Boot-PW, S-Boot, and a WCP-All chip whose first WCP write ends
// with an ECC error.
const Chip kChips[] = {
    {"KM16F48", 0xC000, ""},
    {"KM16F60P", 0xF000, ""},
    {"KM16F32S", 0x8000, ""},
    {"KM16F96", 0x18000, "ecc"},
};

class Gang : public ::testing::Test {
  protected:
    void SetUp() override { writeFastProgramFolder(folder.path()); }

    // 32 bytes of their own for chip k, in a folder of its own but under the
    // same file name as every other chip's object.
    std::string objectFor(size_t k, std::vector<uint8_t>& bytes) {
        bytes.resize(32);
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 7 + k * 0x40 + 1);
        const std::filesystem::path dir = folder.path() / ("o" + std::to_string(k));
        std::filesystem::create_directories(dir);
        std::ofstream(dir / "obj.h16") << record(0, bytes) + ":00000001FF\n";
        return (dir / "obj.h16").string();
    }

    std::string setupFor(const std::string& name, const std::string& device,
                         const std::string& port, const std::string& object) {
        folder.write(name, "[Ostrand]\nDevice=" + device + "\nOpenFile=" + object +
                               "\nCOMPort=" + port +
                               "\nDataRate=9600\nAllErase=0\nBlankCheck=0\nProgramming=0\n"
                               "Verify=0\nFileCompare=0\n");
        return (folder.path() / name).string();
    }

    std::string gang(const std::string& arguments) {
        return "gang --home " + folder.path().string() + " " + arguments;
    }

    TestFolder folder;
};

TEST_F(Gang, FourChipsAtOnceOneFailsAndTheOthersAreProgrammed) {
    SimChip chips[4];
    std::string ports[4], setups;
    std::vector<uint8_t> bytes[4];
    std::string objects[4];
    for (size_t k = 0; k < 4; ++k) {
        const Chip& c = kChips[k];
        std::vector<std::string> faults;
        if (*c.fault) faults.push_back(c.fault);
        const std::string flash = std::string(c.device) + ".bin";
        ports[k] = chips[k].start(folder.path(), c.device, faults, folder.path() / flash);
        ASSERT_FALSE(ports[k].empty());
        objects[k] = objectFor(k, bytes[k]);
        setups +=
            " --setup " + setupFor(std::string(c.device) + ".ini", c.device, ports[k], objects[k]);
    }
    const std::string steps = " --erase --blank --program --verify --compare --blank-device";
    const std::string record = " --record " + (folder.path() / "runs.jsonl").string();
    CliResult r = runCli(gang(setups + steps + record), folder.path(), "</dev/null", 60);
    const std::string said = r.out + r.err;
    EXPECT_EQ(r.status, 1) << said;

    for (size_t k = 0; k < 3; ++k) {
        std::string expected(kChips[k].flashSize, '\xFF');
        expected.replace(0, 32, std::string(bytes[k].begin(), bytes[k].end()));
        EXPECT_TRUE(folder.read(std::string(kChips[k].device) + ".bin") == expected)
            << kChips[k].device << ": the simulated flash differs from its object";
        EXPECT_TRUE(std::regex_search(
            r.out, std::regex("\n" + ports[k] + " +" + kChips[k].device + " +OK +- +0x")))
            << said;
    }
    // The faulty chip: its own numbered message, carrying its port, and the
    // summary names the port and the step.
    EXPECT_NE(r.err.find(ports[3] + ": E010-19 : An ECC error."), std::string::npos) << said;
    EXPECT_EQ(r.out.find(ports[3] + ": Verify"), std::string::npos) << said;
    EXPECT_TRUE(std::regex_search(
        r.out,
        std::regex("\n" + ports[3] + " +KM16F96 +NG +Programming +- +- +[0-9.]+ s +E010-19 ")))
        << said;
    // Every message line says which port it is about.
    std::istringstream err(r.err);
    for (std::string line; std::getline(err, line);) {
        bool owned = false;
        for (const auto& p : ports) owned |= line.rfind(p + ": ", 0) == 0;
        EXPECT_TRUE(owned) << "a message line without its port: " << line;
    }

    // One run record per chip, each line whole; the failed chip's is NG at
    // the step that failed, with its message.
    std::map<std::string, nlohmann::json> records;
    std::istringstream lines(folder.read("runs.jsonl"));
    for (std::string line; std::getline(lines, line);)
        records[nlohmann::json::parse(line).at("port")] = nlohmann::json::parse(line);
    ASSERT_EQ(records.size(), 4u);
    for (size_t k = 0; k < 4; ++k) {
        const nlohmann::json& rec = records[ports[k]];
        EXPECT_EQ(rec.at("device"), kChips[k].device);
        EXPECT_EQ(rec.at("object"), objects[k]);
        EXPECT_EQ(rec.at("result"), k == 3 ? "NG" : "OK") << rec;
        EXPECT_EQ(rec.at("chipSum"), k == 3 ? nlohmann::json() : rec.at("fileSum")) << rec;
    }
    const nlohmann::json& failed = records[ports[3]].at("steps").back();
    EXPECT_EQ(failed.at("step"), "Programming") << failed;
    EXPECT_EQ(failed.at("message"), "E010") << failed;
}

TEST_F(Gang, RepeatRunsEveryPortAgainOnNewChips) {
    // Each simulated chip starts anew when its port has been closed a moment,
    // as a replaced chip does: the second pass must connect and pass too.
    SimChip chips[2];
    std::vector<uint8_t> bytes;
    const std::string object = objectFor(0, bytes);
    std::string arguments = "--device KM16F48 --erase --program --verify --blank-device --repeat";
    for (size_t k = 0; k < 2; ++k) {
        const std::filesystem::path flash = folder.path() / ("flash" + std::to_string(k) + ".bin");
        const std::string port = chips[k].start(folder.path(), "KM16F48", {}, flash);
        ASSERT_FALSE(port.empty());
        arguments += " --port " + port;
    }
    arguments += " " + object;
    // A terminal to answer on: Enter (OK) after the first pass, c (Cancel) after the second.
    const std::filesystem::path out = folder.path() / "repeat.out";
    const std::string command = "printf '\\nc\\n' | timeout -k 1 90 script -qec \"" +
                                std::string(OSTRAND_CLI) + " " + gang(arguments) +
                                "\" /dev/null >" + out.string() + " 2>&1";
    const int rc = std::system(command.c_str());
    const std::string text = folder.read("repeat.out");
    EXPECT_EQ(WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, 0) << text;
    size_t summaries = 0;
    for (size_t at = 0; (at = text.find("Result Failed step", at)) != std::string::npos; ++at)
        ++summaries;
    EXPECT_EQ(summaries, 2u) << text;
    EXPECT_EQ(text.find(" NG "), std::string::npos) << text;
    for (size_t k = 0; k < 2; ++k) {
        const std::string flash = folder.read("flash" + std::to_string(k) + ".bin");
        ASSERT_GE(flash.size(), bytes.size());
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), flash.begin(),
                               [](uint8_t b, char c) { return b == uint8_t(c); }));
    }
}

TEST_F(Gang, ProtectedChipsAreAskedPerPortAndNobodyMeansNo) {
    // Nobody to ask: each port's question is answered No and its chip kept;
    // --yes erases both.
    std::string held(0x20000, '\xFF'), arguments = " --device KMV5A128 --blank --blank-device";
    held[0x1000] = 0x42;
    SimChip chips[2];
    std::string ports[2];
    for (size_t k = 0; k < 2; ++k) {
        folder.write("f" + std::to_string(k), held);
        ports[k] = chips[k].start(folder.path(), "KMV5A128", {"protected"},
                                  folder.path() / ("f" + std::to_string(k)));
        ASSERT_FALSE(ports[k].empty());
        arguments += " --port " + ports[k];
    }
    folder.write("x.h16", ":0410000001020304E2\n:00000001FF\n");
    arguments += " " + (folder.path() / "x.h16").string();
    for (const bool yes : {false, true}) {
        const CliResult r =
            runCli(gang(arguments + (yes ? " --yes" : "")), folder.path(), "</dev/null", 30);
        EXPECT_EQ(r.status, yes ? 0 : 1) << r.out << r.err;
        for (size_t k = 0; k < 2; ++k) {
            const std::string& p = ports[k];
            EXPECT_NE(r.err.find(p + ": Erase All data in this device ? (Y/N)\n" + p +
                                 (yes ? ": -> yes\n" : ": -> no\n")),
                      std::string::npos)
                << r.err;
            EXPECT_EQ(folder.read("f" + std::to_string(k)) == held, !yes) << p;
        }
    }
}

TEST_F(Gang, BadUsageExitsWithTwoBeforeAnyPort) {
    const std::string a = setupFor("a.ini", "KM16F48", "/dev/null", "x.h16");
    const std::string b = setupFor("b.ini", "KM16F48", "/dev/zero", "x.h16");
    const std::pair<std::string, std::string> cases[] = {
        {"", "no port"},
        {"--port /dev/null --port /dev/null", "given twice"},
        {"--setup " + a + " --setup " + a, "given twice"},
        {"--setup " + a + " --setup " + b + " --port /dev/tty9", "share one setup"},
        {"--port /dev/null one.h16 two.h16", "one object file at most"},
    };
    for (const auto& [arguments, why] : cases) {
        const CliResult r = runCli(gang(arguments), folder.path(), "</dev/null", 10);
        EXPECT_EQ(r.status, 2) << arguments << "\n" << r.err;
        EXPECT_NE(r.err.find(why), std::string::npos) << arguments << "\n" << r.err;
        EXPECT_TRUE(r.out.empty()) << arguments << "\n" << r.out;
    }
}

}  // namespace
}  // namespace ostrand::test
