// Writes the sample absolute object of the program folder: the data of an
// Intel HEX file as an IEEE-695 module, one section per run of contiguous
// bytes, so that the sample converts back to exactly that data.
//   build/tools/mervel_make_sample data/samples/demo.h20 data/samples/demo.abs
#include <cstdio>
#include <fstream>
#include <map>
#include <string>

#include "../tests/converter/ieee695_writer.h"

namespace {

bool readHex(const char* path, std::map<uint32_t, uint8_t>& bytes) {
    std::ifstream in(path);
    std::string line;
    uint32_t base = 0;
    while (std::getline(in, line)) {
        if (line.size() < 11 || line[0] != ':') continue;
        auto at = [&](size_t i) {
            return uint32_t(std::stoul(line.substr(1 + 2 * i, 2), nullptr, 16));
        };
        const uint32_t count = at(0), offset = at(1) << 8 | at(2), type = at(3);
        if (line.size() < 11 + 2 * count) return false;
        if (type == 0)
            for (uint32_t i = 0; i < count; ++i) bytes[base + offset + i] = uint8_t(at(4 + i));
        else if (type == 2)
            base = (at(4) << 8 | at(5)) << 4;
        else if (type == 4)
            base = (at(4) << 8 | at(5)) << 16;
        else if (type == 1)
            return true;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::map<uint32_t, uint8_t> bytes;
    if (argc != 3 || !readHex(argv[1], bytes) || bytes.empty()) {
        std::fprintf(stderr, "usage: %s IN.hex OUT.abs\n", argv[0]);
        return 2;
    }
    ieee695::Module m;
    uint32_t index = 0;
    for (auto it = bytes.begin(); it != bytes.end();) {
        const uint32_t start = it->first;
        ieee695::Bytes run;
        while (it != bytes.end() && it->first == start + run.size()) run.push_back((it++)->second);
        ++index;
        m.section(index, index == 1 ? "CODE" : "CODE" + std::to_string(index), start,
                  uint32_t(run.size()));
        m.sb(index).asp(index, start);
        for (size_t off = 0; off < run.size(); off += 256)
            m.ld(ieee695::Bytes(run.begin() + long(off),
                                run.begin() + long(std::min(run.size(), off + 256))));
    }
    const ieee695::Bytes out = m.build();
    std::ofstream(argv[2], std::ios::binary)
        .write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
    return 0;
}
