// The converter's command files (-f) and comment files (-cf) on a fixed small
// module. Input: the command file, a 0x00 byte, the comment file. Command
// files that could name a path outside the run folder (any '/') are skipped.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "../../tests/converter/ieee695_writer.h"
#include "converter/mervel.h"
#include "run_folder.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::makeRunFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const ieee695::Bytes module = [] {
        ieee695::Module m;
        m.section(1, "CODE", 0x1000, 0x40).load(1, 0x1000, ieee695::sequence(0x40));
        m.section(2, "DATA", 0x1020, 0x10).load(2, 0x1020, ieee695::sequence(0x10, 7));
        return m.build();
    }();
    const uint8_t* split = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    const size_t commandSize = split ? size_t(split - data) : size;
    if (std::memchr(data, '/', commandSize)) return 0;
    fuzz::InRunFolder inside;
    fuzz::writeFile("cmd.txt", data, commandSize);
    if (split) fuzz::writeFile("note.txt", split + 1, size - commandSize - 1);
    fuzz::writeFile("in.abs", module.data(), module.size());
    mervel::StringConsole console;
    const std::vector<std::string> args = {"-$", "-f", "cmd.txt", "-cf", "note.txt", "in.abs"};
    fuzz::checkOutcome(mervel::run(args, console), console.stderr_);
    return 0;
}
