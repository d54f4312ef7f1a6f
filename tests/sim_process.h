// The simulated chip as a child process, and a program folder whose
// definition file has short waits: what every test against the simulator
// starts from.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace ostrand::test {

// One device of every boot type in the demo definition file.
inline const char* const kEveryBootType[] = {"KM16F48",  "KM16F96",   "KM8P32",    "KM8R64",
                                             "KMV5A128", "KMV6B256",  "KMV9C384",  "KMV7Q3",
                                             "KMR8L256", "KMR10T128", "KMS11G124", "KMT12E48"};

// Ostrand.def of the demo data with the waits cut down: one second for the
// erase and boot waits (their unit), two for the wait for a chip to answer,
// and 60 ms for the matching reply (a loaded machine may hold the simulator
// back for tens of milliseconds, now and then for most of a second).
inline void writeFastDefinition(const std::filesystem::path& folder) {
    std::ifstream in(std::string(OSTRAND_DATA) + "/Ostrand.def");
    std::stringstream text;
    text << in.rdbuf();
    std::string def =
        std::regex_replace(text.str(), std::regex("(Erase|Boot)WaitTime=\\d+"), "$1WaitTime=1");
    def = std::regex_replace(def, std::regex("AccessWaitTime=\\d+"), "AccessWaitTime=2");
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
        std::vector<std::string> extra;
        if (!flash.empty()) extra.insert(extra.end(), {"--flash", flash.string()});
        if (!log.empty()) extra.insert(extra.end(), {"--log", log.string()});
        for (const auto& f : faults) extra.insert(extra.end(), {"--fault", f});
        return startWith(home, device, extra);
    }
    // The same with the simulator's own options (--pace, --link ...).
    std::string startWith(const std::filesystem::path& home, const std::string& device,
                          const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args = {OSTRAND_SIM, "--home", home.string(), "--device", device};
        args.insert(args.end(), extra.begin(), extra.end());
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
    // Its exit status: SIGTERM ends it cleanly with 0.
    int stop() {
        if (pid_ <= 0) return -1;
        kill(pid_, SIGCONT);
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t pid_ = -1;
};

}  // namespace ostrand::test
