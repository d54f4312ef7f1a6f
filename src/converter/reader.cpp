// IEEE-695 absolute object reader: header, part offsets, attributes, sections.
#include <algorithm>

#include "converter/converter_impl.h"

namespace mervel::detail {

namespace {

constexpr int MaxSections = 1000;
constexpr uint32_t MaxNameLength = 1024;

struct CpuEntry {
    const char* processor;
    const char* display;
};

constexpr CpuEntry CpuTable[] = {
    {"KQ40", "KRXA-Q40"}, {"KQ500", "KRXA-Q500"}, {"KS5", "KS5"},           {"KS6", "KS6"},
    {"KQ2", "KRXA-Q2"},   {"KR30", "KRXA-R30"},   {"KR30EV", "KRXA-R30/V"}, {"KR30M", "KRXA-R30M"},
    {"KQ7", "KS61"},      {"KQ7S", "KS61"},       {"KR8", "KR8"},
};

}  // namespace

int Converter::nextByte() {
    int c = in_.get();
    if (c < 0) fatal(151);
    return c;
}

uint32_t Converter::readNumber() {
    int lead = nextByte();
    if (lead < 0x80) return uint32_t(lead);
    int length;
    if (lead >= 0x81 && lead <= 0x84)
        length = lead - 0x80;
    else if (lead == 0xDE)
        length = 1;
    else if (lead == 0xDF)
        length = 2;
    else
        fatal(151);
    uint32_t value = 0;
    for (int i = 0; i < length; ++i) value = (value << 8) | uint32_t(nextByte());
    return value;
}

std::string Converter::readName() {
    uint32_t length = readNumber();
    if (length > MaxNameLength) fatal(151);
    std::string name;
    name.reserve(length);
    for (uint32_t i = 0; i < length; ++i) {
        int c = nextByte();
        if (c >= 0x7F) fatal(151);
        name += char(c);
    }
    return name;
}

void Converter::readHeader() {
    in_.seek(0);
    if (in_.get() != 0xE0) fatal(151);
    cpuName_ = readName();
    for (const auto& e : CpuTable)
        if (cpuName_ == e.processor) cpuDisplay_ = e.display;
    kq2_ = cpuName_ == "KQ2";

    int prev = -1;
    for (;;) {
        int c = in_.get();
        if (c < 0 || c == 0x1A) fatal(151);
        if (prev == 0xE2 && c == 0xD7) {
            int part = nextByte();
            if (part > 5) fatal(151);
            parts_[part] = readNumber();
            if (part == 5) break;
            prev = -1;
            continue;
        }
        prev = c;
    }
    if (parts_[3] == 0) parts_[3] = parts_[4] != 0 ? parts_[4] : parts_[5];
    for (int part : {0, 1, 2, 3, 5})
        if (parts_[part] == 0) fatal(151);
}

// Looks for an ATN record of the given attribute from `from` on; false when none comes
// before the end of the file or a 0x1A byte.
bool Converter::scanAttribute(uint64_t from, int attribute, int& value) {
    in_.seek(from);
    int prev = -1;
    for (;;) {
        int c = in_.get();
        if (c < 0 || c == 0x1A) return false;
        if (prev == 0xF1 && c == 0xCE) {
            if (in_.get() < 0 || in_.get() < 0) return false;
            int number = in_.get();
            if (number < 0) return false;
            if (number == attribute) {
                value = in_.get();
                return value >= 0;
            }
            prev = number;
            continue;
        }
        prev = c;
    }
}

void Converter::checkObjectKind() {
    int type = 0;
    if (!scanAttribute(parts_[0], 38, type) || type != 1) fatal(150);
}

void Converter::checkProducerStatus() {
    int status = 0;
    if (scanAttribute(parts_[1], 52, status) && status == 3) fatal(151);
}

Section* Converter::sectionAt(uint32_t fileIndex) {
    if (fileIndex == 0) fatal(151);
    if (fileIndex > uint32_t(MaxSections)) fatal(154);
    int slot = sectionSlot_[fileIndex - 1];
    if (slot < 0) fatal(151);
    return &sections_[size_t(slot)];
}

// Finds which sections hold data. The data part is walked record by record with the
// same rules as the conversion, so that a malformed data part is refused before any
// output file exists and bytes inside addresses are never taken for record codes.
void Converter::walkDataPart(std::vector<bool>& marked) {
    in_.seek(parts_[5]);
    int current = -1;
    bool anySection = false;
    auto index = [&](uint32_t fileIndex) {
        if (fileIndex == 0) fatal(151);
        if (fileIndex > uint32_t(MaxSections)) fatal(154);
        return int(fileIndex - 1);
    };
    for (;;) {
        int code = in_.get();
        if (code < 0) fatal(151);
        switch (code) {
            case 0x00:
            case 0xE1:
                if (!anySection) fatal(151);
                return;
            case 0xE5:
                current = index(readNumber());
                anySection = true;
                break;
            case 0xE2: {
                int letter = nextByte();
                if (letter == 0xD0) {
                    int asp = index(readNumber());
                    readNumber();
                    if (asp != current) fatal(151);
                } else if (letter == 0xC7) {
                    nextByte();
                    readNumber();
                    nextByte();
                }
                break;
            }
            case 0xED: {
                uint32_t count = readNumber();
                if (current < 0) fatal(151);
                marked[size_t(current)] = true;
                in_.skip(count);
                break;
            }
            case 0xF7: {
                readNumber();
                if (nextByte() != 0xED) fatal(151);
                uint32_t count = readNumber();
                if (count > 128 || current < 0) fatal(151);
                marked[size_t(current)] = true;
                in_.skip(count);
                break;
            }
            case 0xE4:
                fatal(150);
            default:
                fatal(151);
        }
    }
}

void Converter::readSections() {
    std::vector<bool> marked(MaxSections, false);
    walkDataPart(marked);

    sectionSlot_.assign(MaxSections, -1);
    const uint64_t end = parts_[3];
    in_.seek(parts_[2]);
    // Searches for the byte pair a b before the end of the section part.
    auto findPair = [&](int a, int b) {
        int prev = -1;
        while (in_.tell() < end) {
            int c = in_.get();
            if (c < 0) return false;
            if (prev == a && c == b) return true;
            prev = c;
        }
        return false;
    };
    for (;;) {
        bool found = false;
        while (in_.tell() < end) {
            int c = in_.get();
            if (c < 0) break;
            if (c == 0xE6) {
                found = true;
                break;
            }
        }
        if (!found) break;
        uint32_t fileIndex = readNumber();
        if (fileIndex == 0) fatal(150);
        if (fileIndex > uint32_t(MaxSections)) fatal(154);
        for (;;) {  // section type letters; not used
            int c = in_.get();
            if (c < 0) break;
            if (c <= 0xC0) {
                in_.unget();
                break;
            }
        }
        std::string name = readName();
        uint32_t size = 0, address = 0;
        bool last = false;
        if (!findPair(0xE2, 0xD3)) {
            last = true;
        } else {
            if (readNumber() != fileIndex) fatal(151);
            size = readNumber();
            if (!findPair(0xE2, kq2_ ? 0xC2 : 0xCC)) fatal(150);
            readNumber();
            address = readNumber();
            if (kq2_ && findPair(0xE2, 0xCC)) {
                readNumber();
                readNumber();
            }
        }
        size_t i = fileIndex - 1;
        if (marked[i]) {
            if (sectionSlot_[i] >= 0) fatal(151);  // defined twice
            Section s;
            s.index = uint32_t(i);
            s.name = std::move(name);
            s.address = address;
            s.size = size;
            s.location = address;
            sectionSlot_[i] = int(sections_.size());
            sections_.push_back(std::move(s));
        }
        if (last) break;
    }
    // Data for a section that the section part never defines has no address.
    for (size_t i = 0; i < marked.size(); ++i)
        if (marked[i] && sectionSlot_[i] < 0) fatal(151);
}

}  // namespace mervel::detail
