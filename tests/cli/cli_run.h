// Runs ostrand-cli as a child process and keeps what it printed.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "objfile/hex_records.h"

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};

// `input` is the shell's redirection of stdin; a run that takes longer than
// `limitSeconds` is killed (status 124).
inline CliResult runProgram(const std::string& program, const std::string& arguments,
                            const std::filesystem::path& scratch,
                            const std::string& input = "</dev/null", int limitSeconds = 0) {
    std::filesystem::path out = scratch / "cli.out", err = scratch / "cli.err";
    // Limited runs also may not write more than 32 MB (a loop that prints).
    const std::string limit =
        limitSeconds > 0 ? "ulimit -f 65536; timeout -k 1 " + std::to_string(limitSeconds) + " "
                         : "";
    std::string command = limit + program + " " + arguments + " >" + out.string() + " 2>" +
                          err.string() + " " + input;
    CliResult r;
    int rc = std::system(command.c_str());
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    // A run that loops on its output is cut at a size any real run stays under.
    auto slurp = [](const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::string text(1 << 20, '\0');
        in.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<size_t>(in.gcount()));
        return text;
    };
    r.out = slurp(out);
    r.err = slurp(err);
    return r;
}

inline CliResult runCli(const std::string& arguments, const std::filesystem::path& scratch,
                        const std::string& input = "</dev/null", int limitSeconds = 0) {
    return runProgram(OSTRAND_CLI, arguments, scratch, input, limitSeconds);
}

// Whether the --json result holds message `code` (with `detail`, when given).
inline bool reported(const CliResult& r, int code, const std::string& detail = "") {
    const std::regex m("\"code\": " + std::to_string(code) +
                       ", \"place\": \\d+, \"hint\": \\d+, \"detail\": \"([^\"]*)\"");
    std::smatch found;
    if (!std::regex_search(r.out, found, m)) return false;
    return detail.empty() || found[1].str() == detail;
}

// The --json result's outcome of the command's operation: {status, code}, or
// {-1, -1} when it has none.
inline std::pair<int, int> outcomeOf(const CliResult& r) {
    const std::regex m("\"outcome\": \\{\"status\": (-?\\d+), \"code\": (\\d+)");
    std::smatch found;
    if (!std::regex_search(r.out, found, m)) return {-1, -1};
    return {std::stoi(found[1].str()), std::stoi(found[2].str())};
}

// One Intel HEX data record (type 0), as the test objects are made of.
inline std::string record(uint16_t address, const std::vector<uint8_t>& data) {
    std::string line;
    ostrand::appendHexRecord(line, 0, address, data.data(), static_cast<uint32_t>(data.size()));
    return line;
}
