// Runs ostrand-cli as a child process and keeps what it printed.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};

inline CliResult runCli(const std::string& arguments, const std::filesystem::path& scratch) {
    std::filesystem::path out = scratch / "cli.out", err = scratch / "cli.err";
    std::string command = std::string(OSTRAND_CLI) + " " + arguments + " >" + out.string() + " 2>" +
                          err.string() + " </dev/null";
    CliResult r;
    int rc = std::system(command.c_str());
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    auto slurp = [](const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    r.out = slurp(out);
    r.err = slurp(err);
    return r;
}
