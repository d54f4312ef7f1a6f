// The record writers: Intel HEX and Motorola S records, comments, end records.
#include <algorithm>
#include <cstring>
#include <iterator>

#include "converter/converter_impl.h"

namespace mervel::detail {

namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";

inline char* putHex(char* p, unsigned byte) {
    p[0] = HexDigits[(byte >> 4) & 15];
    p[1] = HexDigits[byte & 15];
    return p + 2;
}

bool isIntel(int format) {
    return format == Hex16 || format == Hex20;
}

}  // namespace

void Converter::writeDataRecord(uint64_t address, const uint8_t* data, int count) {
    char line[64];
    char* p = line;
    unsigned sum;
    if (isIntel(format_)) {
        *p++ = ':';
        unsigned hi = unsigned(address >> 8) & 0xFF, lo = unsigned(address) & 0xFF;
        p = putHex(p, unsigned(count));
        p = putHex(p, hi);
        p = putHex(p, lo);
        *p++ = '0';
        *p++ = '0';
        sum = unsigned(count) + hi + lo;
        for (int i = 0; i < count; ++i) {
            p = putHex(p, data[i]);
            sum += data[i];
        }
        p = putHex(p, (0x100 - (sum & 0xFF)) & 0xFF);
    } else {
        int addressBytes = format_ == S16 ? 2 : format_ == S24 ? 3 : 4;
        *p++ = 'S';
        *p++ = char('0' + addressBytes - 1);
        unsigned n = unsigned(addressBytes + count + 1);
        p = putHex(p, n);
        sum = n;
        for (int i = addressBytes - 1; i >= 0; --i) {
            unsigned b = unsigned(address >> (8 * i)) & 0xFF;
            p = putHex(p, b);
            sum += b;
        }
        for (int i = 0; i < count; ++i) {
            p = putHex(p, data[i]);
            sum += data[i];
        }
        p = putHex(p, ~sum & 0xFF);
    }
    *p++ = '\r';
    *p++ = '\n';
    current_->write(line, size_t(p - line));
    current_->dataWritten = true;
}

void Converter::announceSegment(uint64_t address) {
    if (format_ != Hex20 || !current_) return;
    if ((address >> 16) == (current_->lastSegment >> 16)) return;
    if (address > formatLimit()) return;  // no data can follow past the last segment
    unsigned segment = unsigned((address >> 16) & 0xF) << 12;
    char line[32];
    char* p = line;
    std::memcpy(p, ":02000002", 9);
    p += 9;
    p = putHex(p, segment >> 8);
    p = putHex(p, segment & 0xFF);
    unsigned sum = 2 + 2 + (segment >> 8) + (segment & 0xFF);
    p = putHex(p, (0x100 - (sum & 0xFF)) & 0xFF);
    *p++ = '\r';
    *p++ = '\n';
    current_->write(line, size_t(p - line));
    current_->lastSegment = uint32_t(address);
}

void Converter::flushPending() {
    if (pending_.count == 0) return;
    writeDataRecord(pending_.start, pending_.bytes, pending_.count);
    pending_.start += uint64_t(pending_.count);
    pending_.count = 0;
    announceSegment(pending_.start);
}

// Records never cross a 16-byte address boundary; a gap in the addresses ends a record.
void Converter::appendBytes(uint64_t address, const uint8_t* data, size_t n) {
    while (n > 0) {
        if (pending_.count > 0 && pending_.start + uint64_t(pending_.count) != address)
            flushPending();
        if (pending_.count == 0) {
            pending_.start = address;
            announceSegment(address);
        }
        size_t take = std::min<size_t>(n, 16 - size_t(address & 15));
        std::memcpy(pending_.bytes + pending_.count, data, take);
        pending_.count += int(take);
        address += take;
        data += take;
        n -= take;
        if ((address & 15) == 0) flushPending();
    }
}

void Converter::writeEndRecord(OutFile& f, bool withStart) {
    OutFile* saved = current_;
    current_ = &f;
    f.lengthBeforeEnd = f.size();
    char line[40];
    char* p = line;
    if (isIntel(format_)) {
        if (withStart && format_ == Hex20) {
            std::memcpy(p, ":04000003", 9);
            p += 9;
            unsigned sum = 4 + 3;
            for (int i = 3; i >= 0; --i) {
                unsigned b = (startAddress_ >> (8 * i)) & 0xFF;
                p = putHex(p, b);
                sum += b;
            }
            p = putHex(p, (0x100 - (sum & 0xFF)) & 0xFF);
            *p++ = '\r';
            *p++ = '\n';
        }
        std::memcpy(p, ":00000001FF\r\n", 13);
        p += 13;
    } else if (!withStart) {
        const char* text = format_ == S16   ? "S9030000FC\r\n"
                           : format_ == S24 ? "S804000000FB\r\n"
                                            : "S70500000000FA\r\n";
        size_t n = std::strlen(text);
        std::memcpy(p, text, n);
        p += n;
    } else {
        int addressBytes = format_ == S16 ? 2 : format_ == S24 ? 3 : 4;
        *p++ = 'S';
        *p++ = char('0' + 11 - addressBytes);  // S9, S8, S7
        unsigned n = unsigned(addressBytes + 1);
        p = putHex(p, n);
        unsigned sum = n;
        for (int i = addressBytes - 1; i >= 0; --i) {
            unsigned b = (startAddress_ >> (8 * i)) & 0xFF;
            p = putHex(p, b);
            sum += b;
        }
        p = putHex(p, ~sum & 0xFF);
        *p++ = '\r';
        *p++ = '\n';
    }
    f.write(line, size_t(p - line));
    f.ended = true;
    current_ = saved;
}

// Ends a file: its end record (the start address goes to the file that was current
// when the start address was read) and the close.
void Converter::finishFile(OutFile& f) {
    if (current_ == &f) flushPending();
    bool isMain = &f == main_.get();
    if (!isMain || f.dataWritten) writeEndRecord(f, startSeen_ && startOwner_ == &f);
    f.close();
    if (!isMain) f.keepWhenFinished();
    if (current_ == &f) current_ = nullptr;
}

void Converter::writeCommentPiece(OutFile& f, const char* p, size_t n) {
    if (isIntel(format_)) {
        f.write(p, n);
        return;
    }
    char line[300];
    char* q = line;
    *q++ = 'S';
    *q++ = '0';
    unsigned count = unsigned(n + 2 + 3);
    q = putHex(q, count);
    std::memcpy(q, "0000", 4);
    q += 4;
    unsigned sum = count;
    for (size_t i = 0; i < n; ++i) {
        q = putHex(q, static_cast<unsigned char>(p[i]));
        sum += static_cast<unsigned char>(p[i]);
    }
    q = putHex(q, 0x0D);
    q = putHex(q, 0x0A);
    sum += 0x0D + 0x0A;
    q = putHex(q, ~sum & 0xFF);
    *q++ = '\r';
    *q++ = '\n';
    f.write(line, size_t(q - line));
}

void Converter::writeComments(OutFile& f) {
    size_t total = 0;
    for (const auto& item : comments_) {
        std::string bytes;
        if (item.isFile) {
            if (readWholeFile(item.text, bytes) != 0) fatal(20, item.text);
            bytes.resize(std::min(bytes.size(), bytes.find('\x1A')));
        } else {
            bytes = item.text;
        }
        if (isIntel(format_)) {
            // A ':' at the start of a line would read as a record; it is dropped.
            std::string text;
            bool lineStart = true;
            for (char c : bytes) {
                if (lineStart && c == ':') {
                    if (!warned500_) report(500);
                    warned500_ = true;
                    continue;
                }
                text += c;
                lineStart = c == '\n';
            }
            if (text.empty()) continue;
            for (size_t pos = 0; pos < text.size(); pos += 128)
                writeCommentPiece(f, text.data() + pos, std::min<size_t>(128, text.size() - pos));
            if (text.back() != '\n') f.write("\r\n", 2);
        } else {
            total += bytes.size();
            for (size_t pos = 0; pos < bytes.size(); pos += 128)
                writeCommentPiece(f, bytes.data() + pos, std::min<size_t>(128, bytes.size() - pos));
        }
    }
    if (total > 128 && !warned501_) {
        report(501);
        warned501_ = true;
    }
}

void Converter::openOutput(OutFile& f, const std::string& name) {
    f.create(name, false, true);
    writeComments(f);
}

}  // namespace mervel::detail
