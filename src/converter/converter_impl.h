// Internal state of one mervel run. Everything a run touches lives in Converter so
// that the program, the tests and the fuzzer can run it repeatedly in one process.
#pragma once

#include <sys/stat.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "converter/mervel.h"

namespace mervel::detail {

class Converter;

// Thrown by fatal() after the message is out; run() catches it, cleans up and
// returns the exit code.
struct FatalExit {
    int exitCode;
};

enum Format : int { Hex16 = 1, Hex20 = 2, S16 = 4, S24 = 8, S32 = 16 };

// Buffered reading of the source: single bytes, bulk reads, absolute seeks.
class Input {
  public:
    explicit Input(Converter& owner) : owner_(owner) {}
    ~Input();
    // 0, or the fatal number for the file: 20 (cannot be opened, or not a
    // file), 22 (a folder).
    int open(const std::string& name);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    void unget() { --pos_; }  // only right after a get() that returned a byte
    int get() {               // next byte or -1 at end of file
        if (pos_ < len_) return buf_[pos_++];
        return refill();
    }
    uint64_t tell() const { return base_ + pos_; }
    void seek(uint64_t offset);
    void skip(uint64_t count) { seek(tell() + count); }
    // Copies up to n bytes; fewer only at end of file.
    size_t read(uint8_t* dst, size_t n);

  private:
    int refill();

    Converter& owner_;
    int fd_ = -1;
    std::string name_;
    std::unique_ptr<uint8_t[]> buf_;
    size_t pos_ = 0;
    size_t len_ = 0;
    uint64_t base_ = 0;  // file offset of buf_[0]
};

// A buffered output file; every failure is fatal (23 write, 21 close, 20 open).
class OutFile {
  public:
    explicit OutFile(Converter& owner) : owner_(owner) {}
    ~OutFile();
    OutFile(const OutFile&) = delete;
    OutFile& operator=(const OutFile&) = delete;

    // Creates the file anew (append: keeps it and writes at its end). A new file is
    // written under a temporary name beside the old one, which stays as it was until
    // commit(); a failed or interrupted run deletes only the temporary file. A file
    // that is not a regular one (a device) is written in place; when removable it is
    // deleted if the run is interrupted while it is open.
    void create(const std::string& name, bool append, bool removable);
    // Closes the file and puts the new version in its place.
    void commit();
    // Closes and deletes the new version; the old file stays.
    void discard();
    // A closed file is complete: a fatal error or an interrupt from now on
    // puts it in place instead of deleting it (until it is reopened).
    void keepWhenFinished();
    // After a fatal error: a finished file that is kept takes its place,
    // anything else of this run is deleted. No further messages.
    void cleanUpAfterFatal();
    // Reopens a file this run wrote earlier, cutting it back to `length` bytes.
    void reopenAt(uint64_t length);
    void write(const char* p, size_t n) {
        if (n <= cap_ - used_) {
            std::copy(p, p + n, buf_.get() + used_);
            used_ += n;
        } else {
            writeSlow(p, n);
        }
    }
    void write(std::string_view s) { write(s.data(), s.size()); }
    void flush();
    void flushQuietly();  // clean-up after a fatal error: no further messages
    void close();         // flush and close; fatal 21 when closing fails
    void abandon();       // close without flushing, ignoring errors
    // Abandon and delete, when this run created it as a regular file; a closed file
    // is deleted only when evenIfClosed.
    void removeFile(bool evenIfClosed);
    bool isOpen() const { return fd_ >= 0; }
    uint64_t size() const { return written_ + used_; }
    const std::string& name() const { return name_; }

    // Record state kept per file.
    uint32_t lastSegment = 0;  // HEX20: last announced address
    bool dataWritten = false;  // a data record went into this file
    bool ended = false;        // its end record is written
    uint64_t lengthBeforeEnd = 0;

  private:
    void writeSlow(const char* p, size_t n);
    void writeOut(const char* p, size_t n);
    bool place();  // the new version takes the old one's place; false: deleted

    Converter& owner_;
    std::string name_;   // as given, for messages
    std::string final_;  // where the new version goes (a link followed)
    std::string temp_;   // the new version until commit(); empty when written in place
    int fd_ = -1;
    bool created_ = false;  // a regular file that this run may delete
    bool removable_ = false;
    bool keep_ = false;  // see keepWhenFinished()
    int slot_ = -1;      // interrupt clean-up slot
    std::unique_ptr<char[]> buf_;
    size_t cap_ = 0;
    size_t used_ = 0;
    uint64_t written_ = 0;
};

struct Section {
    uint32_t index = 0;  // 0-based
    std::string name;
    uint32_t address = 0;
    uint32_t size = 0;
    int overlay = 0;  // 0: main file; 1, 2, ... overlay files
    bool overlapped = false;
    uint64_t location = 0;  // load point while its data is read
    uint64_t lastAddress() const { return uint64_t(address) + size - 1; }  // size 0: below
};

enum class RangeKind { Ra, Rb, P };
enum class AddrMode { Keep, Add, Sub, Move };

struct RangeDef {
    RangeKind kind = RangeKind::Ra;
    uint32_t start = 0;
    std::string section;  // -rb
    uint64_t size = 0;    // 0: to the end of the space (-ra) or the whole section (-rb)
    AddrMode mode = AddrMode::Keep;
    uint32_t offset = 0;
    uint8_t pad = 0;
    std::string file;  // empty: placeholder
    // Resolved once the sections are known.
    uint64_t lo = 0, hi = 0;  // original addresses; hi < lo: empty
    std::string diskName;
};

struct CommentItem {
    bool isFile = false;
    std::string text;  // the text, or the comment file name
};

// Listing destination: a file, standard error, or nothing.
class Converter {
  public:
    explicit Converter(Console& console);
    ~Converter();
    int run(const std::vector<std::string>& args);

    // Messages (never return for fatal).
    [[noreturn]] void fatal(int number, std::optional<std::string> arg = std::nullopt);
    void report(int number, std::optional<std::string> arg = std::nullopt);

    // Input used by Input/OutFile for fatal messages on the source.
    std::string sourceName;
    struct stat sourceStat {};
    bool sourceStatValid = false;
    void refuseSameAsSource(const std::string& name);

  private:
    friend class Input;
    friend class OutFile;

    // Driver and command line.
    void parseArguments(const std::vector<std::string>& args);
    void prereadCommandFile(const std::vector<std::string>& args);
    void processWords(const std::vector<std::string>& words, bool fromCommandFile);
    struct Option;
    Option readOption(const std::vector<std::string>& words, size_t& i, bool fromCommandFile);
    void applyOption(const Option& option);
    std::vector<std::string> readCommandFile(const std::string& name);
    void checkFileName(const std::string& name, size_t maxLength);
    void checkNotDevice(const std::string& name);
    void setFormat(int code);
    void parseRangeOption(RangeKind kind, const std::string& text);
    uint32_t parseNumber(const std::string& field, bool isSize);
    void showHelp(const std::string& familyVar);
    void printBanner();
    std::string defaultOutputName() const;
    void cleanupAfterFatal();
    void commitOutputs();

    // Object reader.
    uint32_t readNumber();
    std::string readName();
    int nextByte();  // fatal 151 at end of file
    void readHeader();
    bool scanAttribute(uint64_t from, int attribute, int& value);
    void checkObjectKind();
    void checkProducerStatus();
    void readSections();
    void walkDataPart(std::vector<bool>& marked);
    Section* sectionAt(uint32_t fileIndex);

    // Sections, overlays and ranges.
    void markOverlaps();
    void resolveRanges();
    std::string overlayName(int number) const;

    // Conversion.
    void convertWhole();
    void convertRanges();
    void readDataPart(const RangeDef* range);
    void selectSection(Section* s, const RangeDef* range);
    void switchTo(OutFile* file);
    void emitRun(uint64_t origin, const uint8_t* data, size_t n, uint64_t runStart);
    void appendBytes(uint64_t address, const uint8_t* data, size_t n);
    void flushPending();
    void announceSegment(uint64_t address);
    void writeDataRecord(uint64_t address, const uint8_t* data, int count);
    void writeEndRecord(OutFile& f, bool withStart);
    void finishFile(OutFile& f);
    void writeComments(OutFile& f);
    void writeCommentPiece(OutFile& f, const char* p, size_t n);
    void padGapsBelow(uint64_t address);
    uint64_t formatLimit() const;
    void openOutput(OutFile& f, const std::string& name);

    // Listing.
    void listing(std::string_view text);
    void listingHeader();
    void listingFileHeader(const std::string& name);
    void listingRow(const std::string& name, uint64_t address, std::optional<uint64_t> output,
                    uint64_t size, bool partial);
    void listingOverlays();

    Console& con_;
    Input in_;

    // Options.
    int format_ = 0;
    bool verbose_ = false, noBanner_ = false;
    bool outputGiven_ = false, outputDropped_ = false, ignoredOWarned_ = false;
    std::string output_;
    bool sourceGiven_ = false;
    bool listingWanted_ = false, listingToFile_ = false;
    std::string listingName_;
    bool cpuGiven_ = false;
    int cpuRow_ = -1;
    std::string homeVar_ = "KVHOME";
    bool hexSuffix_ = false;
    std::vector<CommentItem> comments_;
    std::vector<RangeDef> ranges_;
    bool rangeMode_ = false;
    std::unique_ptr<OutFile> errorFile_;
    std::string errorFileName_;

    // Messages.
    bool bannerShown_ = false;
    bool messageSeen_ = false;
    bool warned500_ = false, warned501_ = false;

    // Object.
    std::array<uint32_t, 6> parts_{};
    std::string cpuName_, cpuDisplay_;
    bool kq2_ = false;
    std::vector<int> sectionSlot_;  // file index - 1 -> position in sections_, or -1
    std::vector<Section> sections_;
    int mainSections_ = 0;
    int overlayCount_ = 0;

    // Conversion state.
    std::unique_ptr<OutFile> main_;
    std::vector<std::unique_ptr<OutFile>> overlays_;  // by overlay number
    std::unique_ptr<OutFile> rangeFile_;
    std::vector<std::unique_ptr<OutFile>> finishedRangeFiles_;  // until the run succeeds
    std::unique_ptr<OutFile> listingFile_;
    OutFile* current_ = nullptr;
    Section* currentSection_ = nullptr;
    bool rowPending_ = false;
    std::optional<uint64_t> rowOutput_;  // output address for the listing row
    struct Pending {
        uint64_t start = 0;
        int count = 0;
        uint8_t bytes[16];
    } pending_;
    bool startSeen_ = false;
    uint32_t startAddress_ = 0;
    OutFile* startOwner_ = nullptr;
    // -P blocks: a dry pass finds what data covers, the writing pass fills the gaps in
    // address order around the data.
    bool dryRun_ = false;
    std::vector<std::pair<uint64_t, uint64_t>>* coverage_ = nullptr;
    std::vector<std::pair<uint64_t, uint64_t>> gaps_;
    size_t nextGap_ = 0;
    const RangeDef* padDef_ = nullptr;
    const RangeDef* activeRange_ = nullptr;
};

// A regular file read whole, without waiting on a pipe or a device: 0, or the
// fatal number as Input::open gives it.
int readWholeFile(const std::string& name, std::string& out);

// Upper-case hexadecimal digits without leading zeros (listing numbers).
std::string hexNoZeros(uint64_t v);

}  // namespace mervel::detail
