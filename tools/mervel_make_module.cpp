// Writes a generated absolute object module for benchmarks:
//   mervel_make_module OUT TOTAL_BYTES SECTION_BYTES stacked|consecutive [RAW_OUT]
// "stacked" places every section at address 0 (each goes to an overlay file), so that
// formats with small address spaces can carry the same amount of data. RAW_OUT, when
// given, receives the same data as a plain binary file.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "../tests/converter/ieee695_writer.h"

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s OUT TOTAL SECTION stacked|consecutive [RAW_OUT]\n",
                     argv[0]);
        return 2;
    }
    const uint32_t total = uint32_t(std::strtoul(argv[2], nullptr, 0));
    const uint32_t sectionSize = uint32_t(std::strtoul(argv[3], nullptr, 0));
    const bool stacked = std::strcmp(argv[4], "stacked") == 0;
    ieee695::Module m;
    ieee695::Bytes raw;
    uint32_t seed = 12345;
    const uint32_t chunk = 0x8000;
    for (uint32_t s = 0; s * sectionSize < total; ++s) {
        uint32_t base = stacked ? 0 : s * sectionSize;
        m.section(s + 1, "SECT" + std::to_string(s), base, sectionSize);
        m.sb(s + 1).asp(s + 1, base);
        for (uint32_t off = 0; off < sectionSize; off += chunk) {
            ieee695::Bytes b(chunk);
            for (auto& v : b) {
                seed = seed * 1103515245 + 12345;
                v = uint8_t(seed >> 16);
            }
            m.data.push_back(0xED);
            ieee695::putNumber(m.data, chunk);
            m.data.insert(m.data.end(), b.begin(), b.end());
            raw.insert(raw.end(), b.begin(), b.end());
        }
    }
    auto bytes = m.build();
    std::ofstream(argv[1], std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (argc > 5)
        std::ofstream(argv[5], std::ios::binary)
            .write(reinterpret_cast<const char*>(raw.data()), std::streamsize(raw.size()));
    return 0;
}
