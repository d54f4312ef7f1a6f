// What a line engineer reaches for: the wire trace, the sample absolute
// object, --json and the run records.
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <thread>

#include "app/test_folder.h"
#include "cli_run.h"
#include "objfile/hex_records.h"
#include "sim_process.h"

namespace {

using nlohmann::json;
using ostrand::test::SimChip;

// The bytes of the lines whose word after the time (and port, for the
// trace) is `kind`, run together in one hex string.
std::string bytesOf(const std::string& text, const std::string& kind, bool hostTrace) {
    std::istringstream in(text);
    std::string line, all;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string at, port, word;
        words >> at;
        if (hostTrace) words >> port;
        if (!(words >> word) || word != kind) continue;
        if (hostTrace) words >> word >> word;  // rate, frame
        while (words >> word) all += word;
    }
    return all;
}

TEST(WireTrace, OneConnectIsByteForByteWhatTheChipSaw) {
    TestFolder dir;
    ostrand::test::writeFastProgramFolder(dir.path());
    SimChip chip;
    const std::string tty = chip.start(dir.path(), "KMV5A128", {}, {}, dir.path() / "sim.log");
    ASSERT_FALSE(tty.empty());
    const std::string trace = (dir.path() / "trace.txt").string();
    CliResult r = runCli("connect --home " + dir.path().string() + " --device KMV5A128 --port " +
                             tty + " --rate 38400 --trace " + trace,
                         dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    chip.stop();
    const std::string host = dir.read("trace.txt"), sim = dir.read("sim.log");
    EXPECT_EQ(bytesOf(host, ">", true), bytesOf(sim, "rx", false));
    EXPECT_EQ(bytesOf(host, "<", true), bytesOf(sim, "tx", false));
    EXPECT_GT(bytesOf(host, "<", true).size(), 6u) << host;
    EXPECT_EQ(
        runCli("connect --trace " + dir.path().string() + "/no/such/dir/t", dir.path()).status, 2);
}

TEST(SampleObject, ConvertsToTheSameImageAsTheHexSample) {
    TestFolder dir;
    ostrand::test::writeFastProgramFolder(dir.path());
    auto sumOf = [&](const std::string& file) {
        CliResult r = runCli("info --home " + dir.path().string() + " --device KMT12E48 " +
                                 OSTRAND_DATA + "/samples/" + file,
                             dir.path());
        EXPECT_EQ(r.status, 0) << r.err;
        std::smatch m;
        return std::regex_search(r.out, m, std::regex("\nsum: (0x[0-9A-F]{4})\n")) ? m[1].str()
                                                                                   : "none";
    };
    EXPECT_EQ(sumOf("demo.abs"), sumOf("demo.h20"));
    EXPECT_NE(sumOf("demo.abs"), "none");
}

// Every command's --json: one document on stdout and nothing else there, also
// when the command fails. The single operations' run records: the step with
// its result and message, the file SUM when an object was written, a Connect
// line for a chip never reached; a record file that cannot be written refuses
// the run.
TEST(JsonAndRecords, EveryCommandPrintsOneDocumentAndRecordsOneLine) {
    TestFolder dir;
    ostrand::test::writeFastProgramFolder(dir.path());
    dir.write("obj.h16", record(0x1000, {1, 2, 3, 4, 5, 6, 7, 8}) + ":00000001FF\n");
    dir.write("plain.txt", "not a terminal\n");
    SimChip chip;
    const std::string tty = chip.start(dir.path(), "KMV5A128");
    ASSERT_FALSE(tty.empty());
    const std::string at = dir.path().string() + "/", home = " --home " + at;
    const std::string obj = " " + at + "obj.h16",
                      chipOptions = home + " --device KMV5A128 --port " + tty;
    const std::string options = home + " --device KMV5A128 --record " + at + "runs";
    const struct {
        std::string command;
        const char* step;
        const char* result;
        const char* message;
        bool sum;
    } records[] = {
        {"program --port " + tty + obj, "Programming", "OK", "R006", true},
        // This chip erases only with its password.
        {"erase --port " + tty, "All Erase", "NG", "E515", false},
        {"erase --block 0 0x1000 --port " + tty, "Block Erase", "NG", "E515", false},
        {"program --port " + at + "plain.txt" + obj, "Connect", "NG", "E001", false},
    };
    for (const auto& c : records) runCli(c.command + options, dir.path(), "</dev/null", 60);
    std::istringstream lines(dir.read("runs"));
    std::string line;
    for (const auto& c : records) {
        ASSERT_TRUE(std::getline(lines, line)) << c.command;
        const json rec = json::parse(line);
        EXPECT_EQ(rec.at("command"), c.command.substr(0, c.command.find(' ')));
        EXPECT_EQ(rec.at("result"), c.result) << line;
        ASSERT_EQ(rec.at("steps").size(), 1u) << line;
        EXPECT_EQ(rec["steps"][0].at("step"), c.step) << line;
        EXPECT_EQ(rec["steps"][0].at("message"), c.message) << line;
        EXPECT_EQ(rec.at("fileSum").is_string(), c.sum) << line;
    }
    EXPECT_FALSE(std::getline(lines, line)) << line;
    const CliResult refused = runCli("program --port " + tty + " --record " + at + obj, dir.path());
    EXPECT_EQ(refused.status, 2) << refused.err;

    const struct {
        std::string command;
        bool ok;
        const char* key;  // a key the result has
    } cases[] = {
        {"devices" + home, true, "devices"},
        {"check" + home, true, "definitionFile"},
        {"ports", true, "ports"},
        {"info --device KMV5A128" + home + obj, true, "ranges"},
        {"info --device NOSUCH" + home + obj, false, "messages"},
        {"connect" + chipOptions, true, "rate"},
        {"connect --device KMV5A128 --port " + at + "plain.txt" + home, false, "messages"},
        {"program --blank-device" + chipOptions + obj, true, "fileSum"},
        {"auto --verify --blank-device" + chipOptions + obj, true, "chips"},
        {"gang --verify --blank-device" + chipOptions + obj, true, "ports"},
    };
    for (const auto& c : cases) {
        const CliResult r = runCli(c.command + " --json", dir.path(), "</dev/null", 60);
        const json doc = json::parse(r.out, nullptr, false);
        ASSERT_TRUE(doc.is_object()) << c.command << "\n" << r.out << r.err;
        EXPECT_EQ(doc.value("command", ""), c.command.substr(0, c.command.find(' ')));
        EXPECT_EQ(doc.value("ok", !c.ok), c.ok) << c.command << "\n" << r.out << r.err;
        EXPECT_EQ(r.status, c.ok ? 0 : 1) << c.command;
        EXPECT_TRUE(doc.contains(c.key)) << c.command << "\n" << r.out;
    }
}

}  // namespace
