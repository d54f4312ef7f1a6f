// Buffered source reading, buffered output files and the interrupt clean-up.
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "converter/converter_impl.h"

namespace mervel {

namespace {

constexpr size_t InputBufferSize = 1 << 16;
constexpr size_t OutputBufferSize = 1 << 18;

// Files an interrupt must delete, or (placeAt set) put in place: a finished
// overlay file stays. Changed only with the interrupts blocked, so that the
// handler never sees the list half-changed.
struct InterruptEntry {
    std::unique_ptr<char[]> path;
    std::unique_ptr<char[]> placeAt;
};
std::vector<InterruptEntry> interruptPaths;

class InterruptsBlocked {
  public:
    InterruptsBlocked() {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &set, &saved_);
    }
    ~InterruptsBlocked() { pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }

  private:
    sigset_t saved_;
};

std::unique_ptr<char[]> copyOf(const std::string& text) {
    auto copy = std::make_unique<char[]>(text.size() + 1);
    std::memcpy(copy.get(), text.c_str(), text.size() + 1);
    return copy;
}

int registerInterruptPath(const std::string& path) {
    auto copy = copyOf(path);
    for (size_t i = 0; i < interruptPaths.size(); ++i) {
        if (!interruptPaths[i].path) {
            interruptPaths[i].path = std::move(copy);
            return int(i);
        }
    }
    interruptPaths.push_back({std::move(copy), nullptr});
    return int(interruptPaths.size() - 1);
}

void unregisterInterruptPath(int slot) {
    if (slot < 0) return;
    InterruptsBlocked blocked;
    interruptPaths[size_t(slot)] = {};
}

// An interrupt from now on puts the file at `target` (empty: deletes it).
void setInterruptPlace(int slot, const std::string& target) {
    if (slot < 0) return;
    auto copy = target.empty() ? nullptr : copyOf(target);
    InterruptsBlocked blocked;
    interruptPaths[size_t(slot)].placeAt = std::move(copy);
}

extern "C" void onInterrupt(int) {
    for (const auto& entry : interruptPaths) {
        if (!entry.path) continue;
        if (!entry.placeAt || ::rename(entry.path.get(), entry.placeAt.get()) != 0)
            unlink(entry.path.get());
    }
    _exit(ExitObjectError);
}

void writeAllIgnoringErrors(int fd, std::string_view text) {
    const char* p = text.data();
    size_t n = text.size();
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return;
        p += w;
        n -= size_t(w);
    }
}

}  // namespace

void installInterruptHandler() {
    for (int signal : {SIGINT, SIGTERM}) {
        // What the caller chose to ignore stays ignored.
        struct sigaction old {};
        if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        struct sigaction sa {};
        sa.sa_handler = onInterrupt;
        sigemptyset(&sa.sa_mask);
        sigaddset(&sa.sa_mask, SIGINT);
        sigaddset(&sa.sa_mask, SIGTERM);
        sigaction(signal, &sa, nullptr);
    }
}

StdConsole::~StdConsole() {
    flushOut();
}
void StdConsole::out(std::string_view text) {
    pending_ += text;
    if (pending_.size() > 1 << 16) flushOut();
}
void StdConsole::err(std::string_view text) {
    writeAllIgnoringErrors(2, text);
}
void StdConsole::flushOut() {
    writeAllIgnoringErrors(1, pending_);
    pending_.clear();
}

namespace detail {

Input::~Input() {
    close();
}

namespace {

// Opens a file for reading without waiting on what it is: a named pipe would
// hold the run until some writer came. 0, or the fatal number: 20 for what
// cannot be opened or is no file, 22 for a folder (it opens, but holds no
// bytes).
int openForReading(const std::string& name, int& fd) {
    fd = -1;
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0) return 20;
    if (S_ISDIR(st.st_mode)) return 22;
    if (!S_ISREG(st.st_mode)) return 20;
    fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return 20;
    const int flags = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 ||
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        fd = -1;
        return 20;
    }
    return 0;
}

}  // namespace

int readWholeFile(const std::string& name, std::string& out) {
    int fd = -1;
    if (int failure = openForReading(name, fd)) return failure;
    out.clear();
    char buf[1 << 14];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return 22;
        }
        if (n == 0) break;
        out.append(buf, size_t(n));
    }
    ::close(fd);
    return 0;
}

int Input::open(const std::string& name) {
    close();
    if (int failure = openForReading(name, fd_)) return failure;
    name_ = name;
    if (!buf_) buf_ = std::make_unique<uint8_t[]>(InputBufferSize);
    pos_ = len_ = 0;
    base_ = 0;
    return 0;
}

void Input::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

int Input::refill() {
    base_ += len_;
    pos_ = len_ = 0;
    for (;;) {
        ssize_t r = ::read(fd_, buf_.get(), InputBufferSize);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) owner_.fatal(22, name_);
        if (r == 0) return -1;
        len_ = size_t(r);
        return buf_[pos_++];
    }
}

void Input::seek(uint64_t offset) {
    if (offset >= base_ && offset <= base_ + len_) {
        pos_ = size_t(offset - base_);
        return;
    }
    if (offset > uint64_t(INT64_MAX) || ::lseek(fd_, off_t(offset), SEEK_SET) < 0)
        owner_.fatal(24, name_);
    base_ = offset;
    pos_ = len_ = 0;
}

size_t Input::read(uint8_t* dst, size_t n) {
    size_t done = 0;
    while (done < n) {
        if (pos_ == len_) {
            if (refill() < 0) break;
            --pos_;
        }
        size_t take = std::min(n - done, len_ - pos_);
        std::memcpy(dst + done, buf_.get() + pos_, take);
        pos_ += take;
        done += take;
    }
    return done;
}

OutFile::~OutFile() {
    discard();
}

void OutFile::create(const std::string& name, bool append, bool removable) {
    owner_.refuseSameAsSource(name);
    name_ = name;
    final_ = name;
    temp_.clear();
    removable_ = removable;
    struct stat st {};
    const bool exists = ::stat(name.c_str(), &st) == 0;
    if (append || (exists && !S_ISREG(st.st_mode))) {
        // Appended to, or not a file to replace (a device): written in place.
        // Never waiting on a pipe that nobody reads.
        int flags = O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
        InterruptsBlocked blocked;
        fd_ = ::open(name.c_str(), flags, 0666);
        created_ = fd_ >= 0 && !append && fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
        if (fd_ >= 0) ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
        if (created_ && removable_) slot_ = registerInterruptPath(name_);
    } else {
        // A new version is written beside the old one and takes its place
        // only when the whole run has succeeded (commit()).
        char resolved[PATH_MAX];
        struct stat link {};
        if (::lstat(name.c_str(), &link) == 0 && S_ISLNK(link.st_mode) &&
            ::realpath(name.c_str(), resolved))
            final_ = resolved;
        // The new version's name does not grow with the target's: any name the
        // file system takes for the target must be writable.
        static unsigned counter = 0;
        const size_t slash = final_.find_last_of('/');
        const std::string folder = slash == std::string::npos ? "" : final_.substr(0, slash + 1);
        InterruptsBlocked blocked;
        for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
            temp_ = folder + ".mervel-partial-" + std::to_string(::getpid()) + "-" +
                    std::to_string(++counter);
            fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd_ < 0 && errno != EEXIST) break;
        }
        created_ = fd_ >= 0;
        if (created_) {
            if (exists) fchmod(fd_, st.st_mode & 07777);
            slot_ = registerInterruptPath(temp_);
        } else {
            temp_.clear();
        }
    }
    if (fd_ < 0) owner_.fatal(20, name);
    if (!buf_) {
        cap_ = OutputBufferSize;
        buf_ = std::make_unique<char[]>(cap_);
    }
    used_ = 0;
    written_ = 0;
    lastSegment = 0;
    dataWritten = ended = false;
}

void OutFile::reopenAt(uint64_t length) {
    keep_ = false;
    setInterruptPlace(slot_, {});
    {
        InterruptsBlocked blocked;
        fd_ = ::open(temp_.empty() ? name_.c_str() : temp_.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd_ >= 0 && temp_.empty() && created_ && removable_)
            slot_ = registerInterruptPath(name_);
    }
    if (fd_ < 0) owner_.fatal(20, name_);
    if (ftruncate(fd_, off_t(length)) != 0 || lseek(fd_, off_t(length), SEEK_SET) < 0)
        owner_.fatal(23, name_);
    written_ = length;
    used_ = 0;
    ended = false;
}

void OutFile::writeOut(const char* p, size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd_, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) owner_.fatal(23, name_);
        p += w;
        n -= size_t(w);
        written_ += uint64_t(w);
    }
}

void OutFile::writeSlow(const char* p, size_t n) {
    flush();
    if (n >= cap_) {
        writeOut(p, n);
    } else {
        std::memcpy(buf_.get(), p, n);
        used_ = n;
    }
}

void OutFile::flush() {
    if (fd_ < 0 || used_ == 0) return;
    size_t n = used_;
    used_ = 0;
    writeOut(buf_.get(), n);
}

void OutFile::flushQuietly() {
    if (fd_ >= 0) writeAllIgnoringErrors(fd_, std::string_view(buf_.get(), used_));
    used_ = 0;
}

void OutFile::close() {
    if (fd_ < 0) return;
    flush();
    int fd = fd_;
    fd_ = -1;
    // A staged file stays on the interrupt list until it takes its place.
    if (temp_.empty()) {
        unregisterInterruptPath(slot_);
        slot_ = -1;
    }
    if (::close(fd) != 0) owner_.fatal(21, name_);
}

void OutFile::abandon() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    used_ = 0;
    if (temp_.empty()) {
        unregisterInterruptPath(slot_);
        slot_ = -1;
    }
}

void OutFile::discard() {
    abandon();
    if (temp_.empty()) return;
    ::unlink(temp_.c_str());
    temp_.clear();
    unregisterInterruptPath(slot_);
    slot_ = -1;
    created_ = false;
}

void OutFile::removeFile(bool evenIfClosed) {
    if (!temp_.empty()) {
        discard();
        return;
    }
    bool wasOpen = fd_ >= 0;
    abandon();
    if ((wasOpen || evenIfClosed) && created_ && removable_) ::unlink(name_.c_str());
    created_ = false;
}

void OutFile::keepWhenFinished() {
    if (fd_ >= 0 || temp_.empty()) return;
    keep_ = true;
    setInterruptPlace(slot_, final_);
}

bool OutFile::place() {
    if (temp_.empty()) return true;
    bool placed;
    {
        InterruptsBlocked blocked;
        placed = ::rename(temp_.c_str(), final_.c_str()) == 0;
        if (!placed) ::unlink(temp_.c_str());
        temp_.clear();
        unregisterInterruptPath(slot_);
        slot_ = -1;
    }
    created_ = false;
    return placed;
}

void OutFile::commit() {
    close();
    if (!place()) owner_.fatal(23, name_);
}

void OutFile::cleanUpAfterFatal() {
    if (keep_ && fd_ < 0)
        place();
    else
        removeFile(false);
}

void Converter::refuseSameAsSource(const std::string& name) {
    if (!sourceStatValid) return;
    struct stat st {};
    if (::stat(name.c_str(), &st) == 0 && st.st_dev == sourceStat.st_dev &&
        st.st_ino == sourceStat.st_ino)
        fatal(103, name);
}

}  // namespace detail
}  // namespace mervel
