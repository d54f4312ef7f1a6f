#include "object_image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "app/device_database.h"
#include "app/file_io.h"
#include "app/messages.h"
#include "app/operator.h"
#include "app/session.h"
#include "app/setup_settings.h"

namespace ostrand {

namespace fs = std::filesystem;

namespace {

constexpr int32_t kHintNewObject = 12122;
constexpr int32_t kHintDiskSpace = 12109;

std::unique_ptr<uint8_t[]> allocateImage() {
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[kImageSize]);
}

// Fills image[from, from + count) clipped to the image.
void fillClipped(uint8_t* image, int64_t from, int64_t count, uint8_t value) {
    int64_t begin = std::max<int64_t>(from, 0);
    int64_t end = std::min<int64_t>(from + count, kImageSize);
    if (begin < end) std::memset(image + begin, value, static_cast<size_t>(end - begin));
}

// Sum of image[from, to) clipped to the image.
uint64_t sumClipped(const uint8_t* image, int64_t from, int64_t to) {
    int64_t begin = std::max<int64_t>(from, 0);
    int64_t end = std::min<int64_t>(to, kImageSize);
    uint64_t sum = 0;
    for (int64_t i = begin; i < end; ++i) sum += image[i];
    return sum;
}

bool inRanges(const std::vector<AddressRange>& ranges, uint32_t address) {
    for (const auto& r : ranges)
        if (r.contains(address)) return true;
    return false;
}

// Lines of a file through one fixed buffer; the file is never held whole.
class LineSource {
  public:
    static constexpr size_t kLongestLine = 1 << 20;
    explicit LineSource(int fd) : fd_(fd) { buffer_.resize(1 << 16); }

    // false at the end of the file or on a read error (see failed()).
    bool next(std::string_view& line) {
        for (;;) {
            const char* begin = buffer_.data() + pos_;
            const char* nl = static_cast<const char*>(std::memchr(begin, '\n', fill_ - pos_));
            if (nl) {
                size_t len = static_cast<size_t>(nl - begin);
                line = trimmed(begin, len);
                pos_ += len + 1;
                return true;
            }
            // No record is this long: hand it on whole enough to be refused
            // rather than grow without end.
            if (fill_ - pos_ >= kLongestLine) {
                line = {begin, fill_ - pos_};
                pos_ = fill_;
                return true;
            }
            if (eof_) {
                if (pos_ == fill_) return false;
                line = trimmed(begin, fill_ - pos_);
                pos_ = fill_;
                return true;
            }
            refill();
            if (failed_) return false;
        }
    }
    bool failed() const { return failed_; }
    uint64_t consumed() const { return total_; }

  private:
    static std::string_view trimmed(const char* p, size_t len) {
        if (len > 0 && p[len - 1] == '\r') --len;  // CR LF line ends
        return {p, len};
    }
    void refill() {
        // Keep the unfinished line; grow only for a line longer than the buffer.
        std::memmove(buffer_.data(), buffer_.data() + pos_, fill_ - pos_);
        fill_ -= pos_;
        pos_ = 0;
        if (fill_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
        ssize_t n;
        do {
            n = ::read(fd_, buffer_.data() + fill_, buffer_.size() - fill_);
        } while (n < 0 && errno == EINTR);
        if (n < 0) {
            failed_ = true;
            return;
        }
        if (n == 0) eof_ = true;
        fill_ += static_cast<size_t>(n);
        total_ += static_cast<uint64_t>(n);
    }

    int fd_;
    std::vector<char> buffer_;
    size_t pos_ = 0, fill_ = 0;
    bool eof_ = false, failed_ = false;
    uint64_t total_ = 0;
};

// Closes the progress window on every way out.
struct ProgressGuard {
    Operator* op = nullptr;
    ~ProgressGuard() {
        if (op) op->progressClose();
    }
};

}  // namespace

ObjectImage::ObjectImage(Session& session, Operator& op, const DeviceDatabase& devices,
                         const SetupValues& settings, fs::path programFolder)
    : session_(session),
      op_(op),
      devices_(devices),
      settings_(settings),
      programFolder_(std::move(programFolder)) {}

ObjectImage::~ObjectImage() = default;

std::span<const uint8_t> ObjectImage::image() const {
    if (!image_) return {};
    return {image_.get(), kImageSize};
}

std::span<const uint8_t> ObjectImage::secondImage() const {
    if (!second_) return {};
    return {second_.get(), kImageSize};
}

void ObjectImage::release() {
    image_.reset();
    second_.reset();
    loaded_ = false;
}

const std::vector<AddressRange>& ObjectImage::rangesToProgram() const {
    return addressOption_ == 1 ? deviceRanges_ : loadedRanges_;
}

// Where the device's flash lies, for placing file data.
static ImageLayout layoutOf(const DeviceDefinition& dev) {
    return ImageLayout{dev.singleChipFlashStart,
                       dev.singleChipFlashEnd,
                       dev.singleBootFlashStart,
                       dev.singleBootFlashEnd,
                       dev.flashSecondStart,
                       dev.flashSecondEnd,
                       dev.bootType};
}

bool ObjectImage::takeDevice(int32_t place) {
    const DeviceDefinition* dev = devices_.selected();
    if (!dev) {
        op_.showMessage(10115, place, 12135);
        return false;
    }
    layout_ = layoutOf(*dev);
    pageSize_ = dev->pageSize;
    deviceName_ = dev->deviceName;
    sumAreaStart_ = dev->sumAreaStart;
    sumAreaEnd_ = dev->sumAreaEnd;
    passwordAreaStart_ = dev->passwordAreaStart;
    passwordAreaEnd_ = dev->passwordAreaEnd;
    deviceRanges_.clear();
    deviceRanges_.push_back({dev->singleBootFlashStart, dev->singleBootFlashEnd});
    const bool hasSecond = dev->flashSecondStart != 0 || dev->flashSecondEnd != 0;
    if (hasSecond) deviceRanges_.push_back({dev->flashSecondStart, dev->flashSecondEnd});

    const SetupValues& s = settings_;
    addressOption_ = s.addressOption;
    addressMode_ = s.addressMode;
    fillByte_ = s.dataForNoAddressArea < 0 ? 0xFF : (s.dataForNoAddressArea & 0xFF);
    addNoRomAreaToSum_ = s.addNoRomAreaToSum;
    memSizeEmulat_ = s.memSizeEmulat;
    // An area not given is the whole flash area, in the addressing it is given in.
    const uint32_t shift =
        addressMode_ == 0 ? dev->singleChipFlashStart - dev->singleBootFlashStart : 0;
    romArea1Start_ = s.romArea1Start;
    romArea1End_ = s.romArea1End;
    if (romArea1Start_ == 0 && romArea1End_ == 0) {
        romArea1Start_ = dev->singleBootFlashStart + shift;
        romArea1End_ = dev->singleBootFlashEnd + shift;
    }
    romArea2Start_ = s.romArea2Start;
    romArea2End_ = s.romArea2End;
    if (romArea2Start_ == 0 && romArea2End_ == 0 && hasSecond) {
        romArea2Start_ = dev->flashSecondStart + shift;
        romArea2End_ = dev->flashSecondEnd + shift;
    }
    return true;
}

void ObjectImage::preFill() {
    uint8_t* image = image_.get();
    if (addressOption_ != 1) {
        std::memset(image, 0xFF, kImageSize);
        return;
    }
    const int64_t shift = addressMode_ == 0 ? static_cast<int64_t>(layout_.singleChipFlashStart) -
                                                  layout_.singleBootFlashStart
                                            : 0;
    const auto fill = static_cast<uint8_t>(fillByte_);
    fillClipped(image, int64_t{romArea1Start_} - layout_.singleBootFlashStart - shift,
                int64_t{romArea1End_} - romArea1Start_ + 1, fill);
    if (deviceRanges_.size() > 1) {
        fillClipped(image,
                    int64_t{layout_.secondAreaIndex()} +
                        (int64_t{romArea2Start_} - layout_.flashSecondStart - shift),
                    int64_t{romArea2End_} - romArea2Start_ + 1, fill);
    }
}

int32_t ObjectImage::readFile(const std::string& path, int32_t fileType, uint8_t* image,
                              std::vector<AddressRange>& ranges, bool showProgress,
                              bool mainImage) {
    // Only a regular file is read: a folder, a pipe or a device is refused
    // without waiting on it.
    OpenFailure why = OpenFailure::None;
    int fd = openRegularFile(path, &why);
    if (fd < 0) {
        if (why == OpenFailure::Missing)
            op_.showMessage(10200, 4, 0, path);
        else
            op_.showMessage(10203, 42, 0, path);
        return 0;
    }
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};

    ProgressGuard guard;
    off_t size = ::lseek(fd, 0, SEEK_END);
    ::lseek(fd, 0, SEEK_SET);
    const int32_t kib =
        size > 0 ? static_cast<int32_t>(std::min<off_t>(size / 1024 + 1, INT32_MAX)) : 1;
    if (showProgress) {
        op_.progressOpen(messageTextOrFallback(11309), kib, true, false, false);
        guard.op = &op_;
    }
    if (mainImage) {
        preFill();
        session_.ObjectDataByteCount = 0;
    }

    ObjectReader reader(layout_, fileType, image, ranges);
    LineSource lines(fd);
    std::string_view line;
    uint64_t lastShown = 0, lineNumber = 0;
    refusedLine_ = 0;
    while (lines.next(line)) {
        ++lineNumber;
        if (LoadFailure f = reader.feedLine(line)) {
            refusedLine_ = lineNumber;
            op_.showMessage(f.code, f.place, f.hint, path);
            return 0;
        }
        if (showProgress && lines.consumed() - lastShown >= (1u << 16)) {
            lastShown = lines.consumed();
            op_.progressSetPos(static_cast<int32_t>(lastShown / 1024));
            op_.pump();
        }
    }
    if (lines.failed()) {
        op_.showMessage(10203, 41, 0, path);
        return 0;
    }
    // A file without a single data byte is no object.
    if (!reader.placedAny) {
        op_.showMessage(10202, 4, kHintNewObject, path);
        return 0;
    }
    if (mainImage) {
        endRecordMissing_ = !reader.endLast;
        minAddress_ = reader.minAddress;
        maxAddress_ = reader.maxAddress;
        secondMin_ = reader.secondMin;
        secondMax_ = reader.secondMax;
        if (PasswordBootTypes(layout_.bootType))
            session_.ObjectDataByteCount = static_cast<int32_t>(reader.dataBytes);
    }
    return 1;
}

int32_t ObjectImage::load(bool showProgress) {
    std::string p = settings_.openFile;
    if (p.empty()) {
        loaded_ = false;
        return 1;
    }
    const bool changed = p != path_;
    loaded_ = false;
    endRecordMissing_ = false;
    path_ = p;
    // Nothing of an earlier load may outlive a failed one.
    expansionPath_.clear();
    objectPassword_ = {};
    programByteCount_ = 0;

    if (!image_) image_ = allocateImage();
    if (!image_) {
        op_.showMessage(10406, 4, kHintDiskSpace);
        return 0;
    }
    std::memset(image_.get(), 0x00, kImageSize);
    fileSum_ = 0;
    loadedRanges_.clear();

    fileType_ = fileTypeOf(p);
    if (fileType_ == kFileNone) {
        op_.showMessage(10201, 4, 0, p);
        return 0;
    }
    if (!takeDevice(4)) return 0;
    if (fileType_ == kFileAbs && !convertAbs(p, fileType_)) return 0;
    readPath_ = p;

    minAddress_ = secondMin_ = kNoMinAddress;
    maxAddress_ = secondMax_ = 0;
    if (!readFile(p, fileType_, image_.get(), loadedRanges_, showProgress, true)) return 0;

    if (bootTypeRow(layout_.bootType).bootBlock) addBootBlock();
    fileSum_ = computeSum();
    if (!writeExpansionFile()) return 0;
    programByteCount_ = computeProgramByteCount();
    const bool bothAddresses = settings_.passObjNumAdd != 0 && settings_.passObjCmpAdd != 0;
    if (BootTypesC(layout_.bootType) || bothAddresses)
        objectPassword_ = PasswordSet::readObjectPassword(passwordView(), settings_.passObjNumAdd,
                                                          settings_.passObjCmpAdd);
    loaded_ = true;
    if (session_.ShowAutoResults == -1 && changed) programmingNotices();
    return 1;
}

int32_t ObjectImage::loadSecondFile(const std::string& path) {
    if (!second_) second_ = allocateImage();
    if (!second_) {
        op_.showMessage(10406, 5, kHintDiskSpace);
        return 0;
    }
    std::memset(second_.get(), 0x00, kImageSize);
    secondRanges_.clear();
    std::string p = path;
    int32_t type = fileTypeOf(p);
    if (type == kFileNone) {
        op_.showMessage(10201, 4, 0, p);
        return 0;
    }
    // The main image keeps its own device values until its next load.
    const DeviceDefinition* dev = devices_.selected();
    if (!dev) {
        op_.showMessage(10115, 4, 12135);
        return 0;
    }
    if (type == kFileAbs && !convertAbs(p, type)) return 0;
    const ImageLayout saved = layout_;
    layout_ = layoutOf(*dev);
    const int32_t ok = readFile(p, type, second_.get(), secondRanges_, false, false);
    secondLayout_ = layout_;
    layout_ = saved;
    if (!ok) secondRanges_.clear();
    return ok;
}

void ObjectImage::addBootBlock() {
    // The block is always programmed; what the file leaves open is erased flash.
    for (uint32_t a = kBootBlockStart; a <= kBootBlockEnd; ++a) {
        if (inRanges(loadedRanges_, a)) continue;
        const int64_t index = layout_.indexOf(a);
        if (index < 0 || a > layout_.singleBootFlashEnd) continue;
        image_[index] = 0xFF;
        if (!loadedRanges_.empty() && loadedRanges_.back().end + 1 == a)
            loadedRanges_.back().end = a;
        else
            loadedRanges_.push_back({a, a});
    }
}

uint16_t ObjectImage::computeSum() const {
    const uint8_t* image = image_.get();
    const int64_t shift = addressMode_ == 0 ? static_cast<int64_t>(layout_.singleChipFlashStart) -
                                                  layout_.singleBootFlashStart
                                            : 0;
    const bool secondArea = SecondAreaBootTypes(layout_.bootType);
    uint64_t sum = 0;

    if (addressOption_ == 1) {
        int64_t total = 0;
        for (const auto& r : deviceRanges_) total += int64_t{r.end} - r.start + 1;
        if (secondArea) {
            const uint32_t lastRomEnd = deviceRanges_.size() > 1 ? romArea2End_ : romArea1End_;
            const int64_t from = int64_t{romArea1Start_} - shift - deviceRanges_.front().start;
            const int64_t to = total + (int64_t{lastRomEnd} - shift - deviceRanges_.back().end);
            sum += sumClipped(image, from, to);
        } else {
            sum += sumClipped(image, 0, total);
        }
    } else {
        // The device sums its SUM area; what the file does not set there is
        // erased flash. File data outside the SUM area is not part of it.
        const uint64_t areaStart = sumAreaStart_;
        const uint64_t areaEnd =
            bootTypeRow(layout_.bootType).bootBlock ? kBootBlockEnd : sumAreaEnd_;
        if (areaEnd >= areaStart) {
            uint64_t covered = 0;
            auto addArea = [&](uint64_t first, uint64_t last, int64_t indexOfFirst) {
                const uint64_t lo = std::max(first, areaStart);
                const uint64_t hi = std::min(last, areaEnd);
                if (lo > hi) return;
                int64_t from = indexOfFirst + static_cast<int64_t>(lo - first);
                int64_t to = from + static_cast<int64_t>(hi - lo) + 1;
                from = std::max<int64_t>(from, 0);
                to = std::min<int64_t>(to, kImageSize);
                if (from >= to) return;
                sum += sumClipped(image, from, to);
                covered += static_cast<uint64_t>(to - from);
            };
            addArea(layout_.singleBootFlashStart, layout_.singleBootFlashEnd, 0);
            if (secondArea && deviceRanges_.size() > 1)
                addArea(layout_.flashSecondStart, layout_.flashSecondEnd,
                        layout_.secondAreaIndex());
            sum += 0xFFull * (areaEnd - areaStart + 1 - covered);
        }
    }

    if (addNoRomAreaToSum_ == 1) {
        int64_t gaps = 0;
        for (size_t i = 1; i < deviceRanges_.size(); ++i)
            gaps += std::max<int64_t>(
                0, int64_t{deviceRanges_[i].start} - deviceRanges_[i - 1].end - 1);
        if (secondArea && deviceRanges_.size() > 1) {
            gaps += std::max<int64_t>(0, int64_t{deviceRanges_[0].end} - (romArea1End_ - shift));
            gaps +=
                std::max<int64_t>(0, (romArea2Start_ - shift) - int64_t{deviceRanges_[1].start});
        }
        sum += static_cast<uint64_t>(fillByte_) * static_cast<uint64_t>(gaps);
    }
    return static_cast<uint16_t>(sum & 0xFFFF);
}

uint32_t ObjectImage::computeProgramByteCount() const {
    auto total = [](const std::vector<AddressRange>& ranges) {
        uint64_t n = 0;
        for (const auto& r : ranges) n += uint64_t{r.end} - r.start + 1;
        return static_cast<uint32_t>(std::min<uint64_t>(n, UINT32_MAX));
    };
    const int32_t bt = layout_.bootType;
    if (BootTypesH(bt)) {
        if (pageSize_ <= 0) return 0;
        const auto page = static_cast<uint64_t>(pageSize_);
        uint64_t pages = 0;
        for (const auto& r : expansionRanges()) pages += (uint64_t{r.end} - r.start + page) / page;
        return static_cast<uint32_t>(std::min<uint64_t>(pages * page, UINT32_MAX));
    }
    if (PasswordBootTypes(bt))
        return addressOption_ == 1 ? total(deviceRanges_)
                                   : static_cast<uint32_t>(session_.ObjectDataByteCount.load());
    return total(rangesToProgram());
}

void ObjectImage::programmingNotices() {
    if (!bootTypeRow(layout_.bootType).memorySizes) return;
    const bool small = memSizeEmulat_ == 60;
    const uint32_t addresses[2] = {small ? 0xFFFAu : 0x1FFFAu, small ? 0xFFFBu : 0x1FFFBu};
    const int32_t notices[2] = {12209, 12210};
    for (int i = 0; i < 2; ++i) {
        if (!inRanges(loadedRanges_, addresses[i])) continue;
        const int64_t index = layout_.indexOf(addresses[i]);
        if (index >= 0 && image_[index] < 0xFF) op_.showMessage(notices[i]);
    }
}

// Only a real second area moves its addresses behind the first area; with
// none, every address keeps its distance from the flash start.
int64_t ObjectImage::imageIndex(uint32_t address) const {
    const int64_t linear = int64_t{address} - layout_.singleBootFlashStart;
    if (!layout_.hasSecondArea() || address <= layout_.singleBootFlashEnd) return linear;
    // The gap between the areas has no bytes of its own.
    if (address < layout_.flashSecondStart) return -1;
    return int64_t{layout_.secondAreaIndex()} + (int64_t{address} - layout_.flashSecondStart);
}

int32_t ObjectImage::readImage(std::span<uint8_t> dest, uint32_t address, uint32_t count) const {
    if (dest.empty()) return 0;
    if (dest.size() < static_cast<size_t>(count) + 1 || !image_) {
        dest[0] = 0;
        return 0;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const int64_t a = int64_t{address} + i;
        const int64_t index = a > 0xFFFFFFFFLL ? -1 : imageIndex(static_cast<uint32_t>(a));
        if (index < 0 || index >= kImageSize) {
            dest[i] = 0;
            return 0;
        }
        dest[i] = image_[index];
    }
    dest[count] = 0;
    return 1;
}

PasswordImageView ObjectImage::passwordView(bool secondFile) const {
    PasswordImageView view;
    const uint8_t* buffer = secondFile ? second_.get() : image_.get();
    const ImageLayout layout = secondFile ? secondLayout_ : layout_;
    view.loadedRanges = secondFile ? &secondRanges_ : &loadedRanges_;
    view.byteAt = [buffer, layout](uint32_t address) -> int {
        const int64_t index = layout.indexOf(address);
        return (buffer && index >= 0) ? buffer[index] : -1;
    };
    view.bootType = layout.bootType;
    if (const DeviceDefinition* dev = devices_.selected()) {
        view.passwordAreaStart = dev->passwordAreaStart;
        view.passwordAreaEnd = dev->passwordAreaEnd;
    }
    if (!secondFile) {
        view.passwordAreaStart = passwordAreaStart_;
        view.passwordAreaEnd = passwordAreaEnd_;
    }
    return view;
}

}  // namespace ostrand
