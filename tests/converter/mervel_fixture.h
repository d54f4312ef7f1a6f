// Runs the real mervel program in a temporary folder and checks its files with srec_cat.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "../app/test_folder.h"
#include "ieee695_writer.h"

namespace mervel_test {

namespace fs = std::filesystem;

struct RunResult {
    int code = -1;
    std::string out;
    std::string err;
};

struct RunOptions {
    std::vector<std::pair<std::string, std::string>> env;  // set in the child
    bool ignoreInterrupt = false;                          // SIGINT ignored at start
    long fileSizeLimit = -1;                               // RLIMIT_FSIZE in bytes
};

inline std::string readFile(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

inline void writeFile(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

inline void writeFile(const fs::path& p, const ieee695::Bytes& b) {
    writeFile(p, std::string(b.begin(), b.end()));
}

class MervelTest : public ::testing::Test {
  protected:
    fs::path path(const std::string& name) const { return dir / name; }
    bool exists(const std::string& name) const { return fs::exists(dir / name); }
    std::string file(const std::string& name) const { return readFile(dir / name); }

    // Starts mervel in the test folder; returns the child's pid, output in out/err files.
    pid_t start(std::vector<std::string> args, const RunOptions& o = {}) {
        pid_t pid = fork();
        if (pid == 0) {
            if (chdir(dir.c_str()) != 0) _exit(127);
            int out = open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int err = open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(out, 1);
            dup2(err, 2);
            for (const char* v : {"KVHOME", "KVHOMEKS6", "KVHOMEQ516", "KVHOMEQ40", "KVHOMEQ2",
                                  "KVHOMER30V", "KVHOMER30M", "KVHOMEQ7", "KVHOMER30"})
                unsetenv(v);
            for (const auto& [k, v] : o.env) setenv(k.c_str(), v.c_str(), 1);
            signal(SIGINT, o.ignoreInterrupt ? SIG_IGN : SIG_DFL);
            if (o.fileSizeLimit >= 0) {
                signal(SIGXFSZ, SIG_IGN);
                rlimit r{rlim_t(o.fileSizeLimit), rlim_t(o.fileSizeLimit)};
                setrlimit(RLIMIT_FSIZE, &r);
            }
            args.insert(args.begin(), MERVEL_PATH);
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        return pid;
    }

    RunResult finish(pid_t pid) {
        int status = 0;
        waitpid(pid, &status, 0);
        RunResult r;
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
        r.out = file("stdout.txt");
        r.err = file("stderr.txt");
        fs::remove(dir / "stdout.txt");
        fs::remove(dir / "stderr.txt");
        return r;
    }

    RunResult run(const std::vector<std::string>& args, const RunOptions& o = {}) {
        return finish(start(args, o));
    }

    // "-$" keeps the banner out of the way of tests that look at other output.
    RunResult convert(const ieee695::Module& m, std::vector<std::string> args,
                      const std::string& source = "a.abs") {
        writeFile(path(source), m.build());
        args.insert(args.begin(), "-$");
        args.push_back(source);
        return run(args);
    }

    struct SrecResult {
        int code = -1;
        std::string err;
        std::map<uint32_t, uint8_t> bytes;
    };

    // Reads a file written by mervel with srec_cat and returns the bytes it found.
    SrecResult srecCat(const std::string& name, bool intel) {
        std::string cmd = "cd '" + dir.string() + "' && srec_cat '" + name + "' " +
                          (intel ? "-intel" : "-motorola") + " -o srec.vmem -vmem 8 2> srec.err";
        SrecResult r;
        int status = std::system(cmd.c_str());
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        // S-record files without comments have no S0 record; srec_cat notes that.
        r.err = file("srec.err");
        const std::string noHeader = "srec_cat: " + name + ": 1: warning: no header record\n";
        if (r.err == noHeader) r.err.clear();
        std::istringstream in(file("srec.vmem"));
        std::string token;
        uint32_t address = 0;
        while (in >> token) {
            if (token.rfind("/*", 0) == 0) {  // a comment, maybe over several lines
                while (token.size() < 2 || token.compare(token.size() - 2, 2, "*/") != 0)
                    if (!(in >> token)) break;
            } else if (token[0] == '@') {
                address = uint32_t(std::stoul(token.substr(1), nullptr, 16));
            } else {
                r.bytes[address++] = uint8_t(std::stoul(token, nullptr, 16));
            }
        }
        return r;
    }

    TestFolder folder;
    fs::path dir = folder.path();
};

inline std::string fatalLine(int number, const std::string& text) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%3d", number);
    return std::string("MERVEL-Fatal-") + buf + " : " + text + "\r\n";
}

// The lines of a text file without their CR LF ends.
inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
    }
    return out;
}

}  // namespace mervel_test
