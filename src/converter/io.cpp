// Buffered source reading, buffered output files and the interrupt clean-up.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "converter/converter_impl.h"

namespace mervel {

namespace {

constexpr size_t InputBufferSize = 1 << 16;
constexpr size_t OutputBufferSize = 1 << 18;

// Files an interrupt must delete: fixed storage, written before the slot is marked used,
// so that the handler only ever sees complete names.
struct InterruptSlot {
    volatile sig_atomic_t used;
    char path[4096];
};
InterruptSlot interruptSlots[8];

int registerInterruptPath(const std::string& path) {
    if (path.size() >= sizeof interruptSlots[0].path) return -1;
    for (int i = 0; i < 8; ++i) {
        if (!interruptSlots[i].used) {
            std::memcpy(interruptSlots[i].path, path.c_str(), path.size() + 1);
            std::atomic_signal_fence(std::memory_order_seq_cst);
            interruptSlots[i].used = 1;
            return i;
        }
    }
    return -1;
}

void unregisterInterruptPath(int slot) {
    if (slot >= 0) interruptSlots[slot].used = 0;
}

extern "C" void onInterrupt(int) {
    for (auto& slot : interruptSlots)
        if (slot.used) unlink(slot.path);
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
    struct sigaction old {};
    if (sigaction(SIGINT, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) return;
    struct sigaction sa {};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
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

bool Input::open(const std::string& name) {
    close();
    fd_ = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return false;
    name_ = name;
    if (!buf_) buf_ = std::make_unique<uint8_t[]>(InputBufferSize);
    pos_ = len_ = 0;
    base_ = 0;
    return true;
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
    abandon();
}

void OutFile::create(const std::string& name, bool append, bool removable) {
    owner_.refuseSameAsSource(name);
    name_ = name;
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
    // An interrupt between creating the file and registering it would leave it behind.
    sigset_t interrupt, saved;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    sigprocmask(SIG_BLOCK, &interrupt, &saved);
    fd_ = ::open(name.c_str(), flags, 0666);
    struct stat st {};
    created_ = fd_ >= 0 && !append && fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
    removable_ = removable;
    if (created_ && removable_) slot_ = registerInterruptPath(name_);
    sigprocmask(SIG_SETMASK, &saved, nullptr);
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
    sigset_t interrupt, saved;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    sigprocmask(SIG_BLOCK, &interrupt, &saved);
    fd_ = ::open(name_.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd_ >= 0 && created_ && removable_) slot_ = registerInterruptPath(name_);
    sigprocmask(SIG_SETMASK, &saved, nullptr);
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
    unregisterInterruptPath(slot_);
    slot_ = -1;
    if (::close(fd) != 0) {
        fd_ = -1;
        owner_.fatal(21, name_);
    }
}

void OutFile::abandon() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    used_ = 0;
    unregisterInterruptPath(slot_);
    slot_ = -1;
}

void OutFile::removeFile(bool evenIfClosed) {
    bool wasOpen = fd_ >= 0;
    abandon();
    if ((wasOpen || evenIfClosed) && created_ && removable_) ::unlink(name_.c_str());
    created_ = false;
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
