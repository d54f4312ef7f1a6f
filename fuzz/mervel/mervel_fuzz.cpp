// Fuzzes the converter core in-process: the object reader, the record writers, the
// range options and the command-file parser.
//
// Input: one option byte, then either the module alone or (option bit 7) a command
// file, a 0xFF byte and the module. Runs happen in a private folder, which is emptied
// after each run; command files that could name a path outside it (any '/') are
// skipped, so no input can make a run write anywhere else.
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

#include "converter/mervel.h"

namespace {

std::string runFolder;

void writeFile(const char* name, const uint8_t* data, size_t size) {
    std::ofstream(name, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), std::streamsize(size));
}

void clearFolder() {
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

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char tmpl[] = "/tmp/mervel-fuzz-XXXXXX";
    if (!mkdtemp(tmpl)) std::abort();
    runFolder = tmpl;
    std::atexit([] { rmdir(runFolder.c_str()); });
    // Bound what a run may write: a module may legally ask for gigabytes.
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{1 << 20, 1 << 20};
    setrlimit(RLIMIT_FSIZE, &limit);
    unsetenv("KVHOME");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    // Only the run itself works in the private folder: the fuzzer's corpus and artifact
    // paths stay relative to where it was started.
    char home[4096];
    if (!getcwd(home, sizeof home) || chdir(runFolder.c_str()) != 0) std::abort();
    struct Back {
        const char* to;
        ~Back() {
            clearFolder();
            if (chdir(to) != 0) std::abort();
        }
    } back{home};
    const uint8_t options = data[0];
    ++data;
    --size;
    static const char* const formats[] = {"-Fh16", "-Fh20", "-Fs16", "-Fs24", "-Fs32"};
    std::vector<std::string> args = {"-$", formats[(options & 7) % 5]};
    if (options & 0x80) {
        const uint8_t* end = static_cast<const uint8_t*>(std::memchr(data, 0xFF, size));
        if (!end) return 0;
        size_t cmdSize = size_t(end - data);
        if (std::memchr(data, '/', cmdSize)) return 0;
        writeFile("cmd.txt", data, cmdSize);
        args.push_back("-f");
        args.push_back("cmd.txt");
        size -= cmdSize + 1;
        data = end + 1;
    } else {
        if (options & 0x08) args.push_back("-l");
        if (options & 0x40) args.insert(args.end(), {"-cc", ":x"});
        switch ((options >> 4) & 3) {
            case 1:
                args.insert(args.end(), {"-ra", "0,0x100,+0x10,r.out"});
                break;
            case 2:
                args.insert(args.end(), {"-P", "0,0x80,0xFF,p.out"});
                break;
            case 3:
                args.insert(args.end(), {"-ra", "0x10,0,0x1000,r.out", "-o", "x"});
                break;
            default:
                args.insert(args.end(), {"-o", "out.hex"});
                break;
        }
    }
    writeFile("in.abs", data, size);
    args.push_back("in.abs");
    mervel::StringConsole console;
    int code = mervel::run(args, console);
    if (code != 0 && code != 128 && code != 176 && code != 192) std::abort();
    // A fatal message always ends with CR LF and nothing else follows it.
    if (code != 0 && console.stderr_.size() >= 2 &&
        console.stderr_.compare(console.stderr_.size() - 2, 2, "\r\n") != 0)
        std::abort();
    return 0;
}
