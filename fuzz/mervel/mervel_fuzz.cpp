// Fuzzes the converter core in-process: the object reader, the record writers, the
// range options and the command-file parser.
//
// Input: one option byte, then either the module alone or (option bit 7) a command
// file, a 0xFF byte and the module. Runs happen in a private folder, which is emptied
// after each run; command files that could name a path outside it (any '/') are
// skipped, so no input can make a run write anywhere else.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "converter/mervel.h"
#include "run_folder.h"

using fuzz::writeFile;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::makeRunFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    fuzz::InRunFolder inside;
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
    fuzz::checkOutcome(mervel::run(args, console), console.stderr_);
    return 0;
}
