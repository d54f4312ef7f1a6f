// A private folder for the converter's runs: each run works inside it and it
// is emptied afterwards; the folder itself goes when the fuzzer ends. Output
// is capped, so that a module that asks for gigabytes fails with a write
// error instead of filling the disk.
#pragma once

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace fuzz {

inline std::string& runFolder() {
    static std::string folder;
    return folder;
}

inline void writeFile(const char* name, const uint8_t* data, size_t size) {
    std::ofstream(name, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), std::streamsize(size));
}

inline void clearFolder() {
    DIR* d = opendir(".");
    if (!d) return;
    std::vector<std::string> names;
    while (dirent* e = readdir(d))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.push_back(e->d_name);
    closedir(d);
    for (const auto& n : names)
        if (unlink(n.c_str()) != 0) rmdir(n.c_str());
}

inline void makeRunFolder() {
    char tmpl[] = "/tmp/mervel-fuzz-XXXXXX";
    if (!mkdtemp(tmpl)) std::abort();
    runFolder() = tmpl;
    std::atexit([] {
        if (chdir(runFolder().c_str()) == 0) clearFolder();
        if (chdir("/") == 0) rmdir(runFolder().c_str());
    });
    rlimit limit{1 << 20, 1 << 20};
    setrlimit(RLIMIT_FSIZE, &limit);
    unsetenv("KVHOME");
}

// Inside the run folder for its life; emptied and left at the end. The
// fuzzer's corpus and artifact paths stay relative to where it started.
class InRunFolder {
  public:
    InRunFolder() {
        // The fuzzer installs its own SIGXFSZ handler after initialisation;
        // the cap must end in a failed write, not in a "file size exceeded".
        std::signal(SIGXFSZ, SIG_IGN);
        if (!getcwd(home_, sizeof home_) || chdir(runFolder().c_str()) != 0) std::abort();
    }
    ~InRunFolder() {
        clearFolder();
        if (chdir(home_) != 0) std::abort();
    }

  private:
    char home_[4096];
};

// Exit codes and the last line of a fatal message are the converter's own.
inline void checkOutcome(int code, const std::string& err) {
    if (code != 0 && code != 128 && code != 176 && code != 192) std::abort();
    if (code != 0 && err.size() >= 2 && err.compare(err.size() - 2, 2, "\r\n") != 0) std::abort();
}

}  // namespace fuzz
