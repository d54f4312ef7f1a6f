// Test-side writer of IEEE-695 absolute object modules, so that each test states its
// input plainly: sections, load records and start address, or raw bytes where a test
// needs a malformed module.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace ieee695 {

using Bytes = std::vector<uint8_t>;

inline void putNumber(Bytes& b, uint32_t v) {
    if (v < 0x80) {
        b.push_back(uint8_t(v));
        return;
    }
    int n = v <= 0xFF ? 1 : v <= 0xFFFF ? 2 : v <= 0xFFFFFF ? 3 : 4;
    b.push_back(uint8_t(0x80 + n));
    for (int i = n - 1; i >= 0; --i) b.push_back(uint8_t(v >> (8 * i)));
}

inline void putName(Bytes& b, const std::string& name) {
    putNumber(b, uint32_t(name.size()));
    b.insert(b.end(), name.begin(), name.end());
}

struct SectionDef {
    uint32_t index;  // 1-based, as in the file
    std::string name;
    uint32_t address;
    uint32_t size;
};

class Module {
  public:
    std::string processor = "KR30";
    int objectType = 1;       // attribute 38; -1 leaves it out
    int producerStatus = -1;  // attribute 52; -1 leaves it out
    bool endRecord = true;    // ME after the data part
    std::vector<SectionDef> sections;
    Bytes data;  // data part records
    // Image of what the data part loads, kept by the helpers below.
    std::map<uint32_t, uint8_t> image;

    Module& section(uint32_t index, std::string name, uint32_t address, uint32_t size) {
        sections.push_back({index, std::move(name), address, size});
        return *this;
    }
    Module& sb(uint32_t index) {
        data.push_back(0xE5);
        putNumber(data, index);
        return *this;
    }
    Module& asp(uint32_t index, uint32_t address) {
        data.insert(data.end(), {0xE2, 0xD0});
        putNumber(data, index);
        putNumber(data, address);
        location_ = address;
        return *this;
    }
    Module& ld(const Bytes& bytes) {
        data.push_back(0xED);
        putNumber(data, uint32_t(bytes.size()));
        data.insert(data.end(), bytes.begin(), bytes.end());
        for (uint8_t v : bytes) image[uint32_t(location_++)] = v;
        return *this;
    }
    Module& re(uint32_t repeat, const Bytes& bytes) {
        data.push_back(0xF7);
        putNumber(data, repeat);
        data.push_back(0xED);
        putNumber(data, uint32_t(bytes.size()));
        data.insert(data.end(), bytes.begin(), bytes.end());
        if (uint64_t(repeat) * bytes.size() > (1u << 20)) {  // too big to keep an image of
            location_ += uint64_t(repeat) * bytes.size();
            return *this;
        }
        for (uint32_t r = 0; r < repeat; ++r)
            for (uint8_t v : bytes) image[uint32_t(location_++)] = v;
        return *this;
    }
    Module& asg(uint32_t address) {
        data.insert(data.end(), {0xE2, 0xC7, 0xBE});
        putNumber(data, address);
        data.push_back(0xBF);
        return *this;
    }
    Module& raw(const Bytes& bytes) {
        data.insert(data.end(), bytes.begin(), bytes.end());
        return *this;
    }
    // A section with its load: SB, ASP and LD records of the given bytes.
    Module& load(uint32_t index, uint32_t address, const Bytes& bytes) {
        return sb(index).asp(index, address).ld(bytes);
    }

    Bytes build() const {
        Bytes ad, env, sect;
        if (objectType >= 0) ad = {0xF1, 0xCE, 0x00, 0x00, 38, uint8_t(objectType)};
        ad.insert(ad.end(), {0xF1, 0xCE, 0x00, 0x00, 39, 0x00});  // an unrelated attribute
        env = {0xF1, 0xCE, 0x00, 0x00, 50, 0x01};
        if (producerStatus >= 0)
            env.insert(env.end(), {0xF1, 0xCE, 0x00, 0x00, 52, uint8_t(producerStatus)});
        bool kq2 = processor == "KQ2";
        for (const auto& s : sections) {
            sect.push_back(0xE6);
            putNumber(sect, s.index);
            sect.insert(sect.end(), {0xC1, 0xD3});  // type letters A S
            putName(sect, s.name);
            sect.insert(sect.end(), {0xE2, 0xD3});
            putNumber(sect, s.index);
            putNumber(sect, s.size);
            sect.insert(sect.end(), {0xE2, uint8_t(kq2 ? 0xC2 : 0xCC)});
            putNumber(sect, s.index);
            putNumber(sect, s.address);
            if (kq2) {  // an ASL that must not be taken for the address
                sect.insert(sect.end(), {0xE2, 0xCC});
                putNumber(sect, s.index);
                putNumber(sect, 0x7777);
            }
        }
        Bytes out = {0xE0};
        putName(out, processor);
        const size_t header = out.size() + 6 * 8;
        const uint32_t envAt = uint32_t(header + ad.size()), sectAt = envAt + uint32_t(env.size());
        const uint32_t dataAt = sectAt + uint32_t(sect.size());
        const uint32_t offsets[6] = {uint32_t(header), envAt, sectAt, dataAt, dataAt, dataAt};
        for (int p = 0; p < 6; ++p) {
            out.insert(out.end(), {0xE2, 0xD7, uint8_t(p), 0x84});
            for (int i = 3; i >= 0; --i) out.push_back(uint8_t(offsets[p] >> (8 * i)));
        }
        out.insert(out.end(), ad.begin(), ad.end());
        out.insert(out.end(), env.begin(), env.end());
        out.insert(out.end(), sect.begin(), sect.end());
        out.insert(out.end(), data.begin(), data.end());
        if (endRecord) out.push_back(0xE1);
        return out;
    }

  private:
    uint64_t location_ = 0;
};

inline Bytes sequence(size_t n, uint8_t first = 0) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t(first + i);
    return b;
}

}  // namespace ieee695
