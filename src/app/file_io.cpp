#include "file_io.h"
#include "program_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

extern char** environ;

namespace ostrand {

namespace fs = std::filesystem;

int openRegularFile(const fs::path& path, OpenFailure* why) {
    auto fail = [&](OpenFailure f) {
        if (why) *why = f;
        return -1;
    };
    if (why) *why = OpenFailure::None;
    // Look before opening: opening a device or a pipe can itself wait or act.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return fail(errno == ENOENT || errno == ENOTDIR ? OpenFailure::Missing
                                                        : OpenFailure::Unreadable);
    if (!S_ISREG(st.st_mode)) return fail(OpenFailure::NotRegular);
    // Non-blocking all the same: the name may have been replaced meanwhile.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return fail(errno == ENOENT ? OpenFailure::Missing : OpenFailure::Unreadable);
    const bool known = ::fstat(fd, &st) == 0;
    if (!known || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail(known ? OpenFailure::NotRegular : OpenFailure::Unreadable);
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return fail(OpenFailure::Unreadable);
    }
    return fd;
}

std::optional<std::string> readWholeFile(const fs::path& path, OpenFailure* why, size_t maxBytes) {
    int fd = openRegularFile(path, why);
    if (fd < 0) return std::nullopt;
    auto fail = [&](OpenFailure f) -> std::optional<std::string> {
        ::close(fd);
        if (why) *why = f;
        return std::nullopt;
    };
    struct stat st {};
    std::string data;
    if (::fstat(fd, &st) == 0 && st.st_size > 0) {
        if (static_cast<uintmax_t>(st.st_size) > maxBytes) return fail(OpenFailure::TooLarge);
        data.reserve(static_cast<size_t>(st.st_size));
    }
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(OpenFailure::Unreadable);
        }
        if (n == 0) break;
        // It may grow while it is read.
        if (static_cast<size_t>(n) > maxBytes - data.size()) return fail(OpenFailure::TooLarge);
        data.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return data;
}

namespace {

// ".ostrand-partial-" and eight hexadecimal digits, also behind a target's
// name (".NAME.ostrand-partial-XXXXXXXX", as earlier versions named them).
bool isPartialName(std::string_view name) {
    if (name.size() < kPartialPrefix.size() + 8 || name.front() != '.') return false;
    const size_t at = name.size() - 8 - kPartialPrefix.size();
    if (name.substr(at, kPartialPrefix.size()) != kPartialPrefix) return false;
    for (char c : name.substr(name.size() - 8))
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

}  // namespace

int removeAbandonedPartials(const fs::path& folder) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return 0;
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (!isPartialName(entry->d_name)) continue;
        int fd = ::openat(::dirfd(dir), entry->d_name,
                          O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        // A writer that is alive holds the lock until its rename or removal.
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::unlinkat(::dirfd(dir), entry->d_name, 0) == 0)
            ++removed;
        ::close(fd);
    }
    ::closedir(dir);
    return removed;
}

// ---------------------------------------------------------------- atomic writer

AtomicFileWriter::~AtomicFileWriter() {
    abandon();
}

bool AtomicFileWriter::open(const fs::path& target, bool durable) {
    abandon();
    target_ = target;
    durable_ = durable;
    fs::path dir = target.parent_path();
    if (dir.empty()) dir = ".";
    removeAbandonedPartials(dir);
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    for (int attempt = 0; attempt < 16 && fd_ < 0; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%08llx",
                      static_cast<unsigned long long>(rng() & 0xFFFFFFFFu));
        temp_ = dir / (std::string(kPartialPrefix) + suffix);
        int fd = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno != EEXIST) break;
            continue;
        }
        // Locked from here to the rename; a cleaner of leftovers may have
        // taken the file in the moment before the lock: then try another.
        struct stat held {
        }, named{};
        if (::flock(fd, LOCK_EX) == 0 && ::fstat(fd, &held) == 0 &&
            ::stat(temp_.c_str(), &named) == 0 && held.st_ino == named.st_ino &&
            held.st_dev == named.st_dev) {
            fd_ = fd;
        } else {
            ::close(fd);
        }
    }
    if (fd_ < 0) {
        temp_.clear();
        return false;
    }
    // Keep the old file's permissions when it has some.
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) fchmod(fd_, st.st_mode & 07777);
    failed_ = false;
    buffer_.clear();
    return true;
}

bool AtomicFileWriter::flushBuffer() {
    size_t off = 0;
    while (off < buffer_.size()) {
        ssize_t n = ::write(fd_, buffer_.data() + off, buffer_.size() - off);
        if (n < 0) {
            if (errno == EINTR) continue;
            failed_ = true;
            return false;
        }
        off += static_cast<size_t>(n);
    }
    buffer_.clear();
    return true;
}

bool AtomicFileWriter::write(std::string_view bytes) {
    if (fd_ < 0 || failed_) return false;
    buffer_.append(bytes);
    if (buffer_.size() >= (1u << 16)) return flushBuffer();
    return true;
}

bool AtomicFileWriter::commit() {
    if (fd_ < 0 || failed_) {
        abandon();
        return false;
    }
    // Renamed while still open and locked, so that no cleaner takes it first.
    if (!flushBuffer() || (durable_ && ::fsync(fd_) != 0) ||
        ::rename(temp_.c_str(), target_.c_str()) != 0) {
        abandon();
        return false;
    }
    temp_.clear();
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    if (!durable_) return closed;
    // Make the rename itself durable.
    fs::path dir = target_.parent_path();
    if (dir.empty()) dir = ".";
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return closed;
}

void AtomicFileWriter::abandon() {
    // Removed before the close releases its lock.
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    buffer_.clear();
    failed_ = false;
}

bool writeFileAtomic(const fs::path& target, std::string_view bytes) {
    AtomicFileWriter w;
    return w.open(target) && w.write(bytes) && w.commit();
}

// ---------------------------------------------------------------- locks

bool appendLineExclusive(const std::filesystem::path& file, const std::string& line) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            ::close(fd);
            return false;
        }
    }
    const std::string text = line + "\n";
    size_t done = 0;
    bool ok = true;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<size_t>(n);
    }
    const int saved = errno;
    ::flock(fd, LOCK_UN);
    ::close(fd);
    errno = saved;
    return ok;
}

FileLock::FileLock(FileLock&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        release();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

bool FileLock::acquire(const fs::path& path, bool createIfMissing, bool shared) {
    release();
    int flags = O_RDONLY | O_CLOEXEC;
    if (createIfMissing) flags = O_RDWR | O_CREAT | O_CLOEXEC;
    int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0) {
        failure_ = errno;
        return false;
    }
    if (::flock(fd, (shared ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
        failure_ = errno;
        ::close(fd);
        return false;
    }
    failure_ = 0;
    fd_ = fd;
    return true;
}

bool FileLock::acquireWaiting(const fs::path& path, int limitMs) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    release();
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= until) {
            ::close(fd);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    fd_ = fd;
    return true;
}

void FileLock::release() {
    if (fd_ >= 0) {
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
        fd_ = -1;
    }
}

bool isFileLockedElsewhere(const fs::path& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    if (!locked) ::flock(fd, LOCK_UN);
    ::close(fd);
    return locked;
}

std::vector<int> lockHolders(const fs::path& path) {
    std::vector<int> pids;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return pids;
    std::ifstream locks("/proc/locks");
    std::string line;
    // "1: FLOCK  ADVISORY  WRITE 1234 fd:00:5678 0 EOF"; "1: -> ..." waits.
    while (std::getline(locks, line)) {
        std::istringstream in(line);
        std::string number, kind, advisory, access, id;
        int pid = 0;
        if (!(in >> number >> kind) || kind == "->") continue;
        if (!(in >> advisory >> access >> pid >> id)) continue;
        unsigned major = 0, minor = 0;
        unsigned long long inode = 0;
        if (std::sscanf(id.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3) continue;
        if (inode == st.st_ino && major == ::major(st.st_dev) && minor == ::minor(st.st_dev) &&
            std::find(pids.begin(), pids.end(), pid) == pids.end())
            pids.push_back(pid);
    }
    return pids;
}

// ---------------------------------------------------------------- folders

fs::path executableFolder() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return fs::current_path(ec);
    return exe.parent_path();
}

fs::path userProgramFolder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && *data == '/') return fs::path(data) / "ostrand";
    const char* home = std::getenv("HOME");
    if (home && *home == '/') return fs::path(home) / ".local" / "share" / "ostrand";
    return {};
}

fs::path virtualPortFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime == '/') return fs::path(runtime) / "ostrand" / "ports";
    const fs::path user = userProgramFolder();
    return user.empty() ? user : user / "ports";
}

bool registrationLive(const std::string& name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot + 1 == name.size() || name.size() - dot > 8) return false;
    long pid = 0;
    for (size_t i = dot + 1; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return false;
        pid = pid * 10 + (name[i] - '0');
    }
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

fs::path choosePerUserFolder(const fs::path& exeFolder, const fs::path& userFolder) {
    std::error_code ec;
    // A build tree or a portable copy is its own program folder.
    if (fs::exists(exeFolder / "Ostrand.def", ec)) return exeFolder;
    const fs::path shared = (exeFolder / ".." / "share" / "ostrand").lexically_normal();
    if (userFolder.empty() || !fs::exists(shared / "Ostrand.def", ec)) return exeFolder;
    if (!fs::exists(userFolder / "Ostrand.def", ec)) {
        // First start of an installed program: the user's own copy of the
        // shared folder, to keep setups, the password log and work files in.
        fs::create_directories(userFolder, ec);
        fs::copy(shared, userFolder, fs::copy_options::recursive | fs::copy_options::skip_existing,
                 ec);
        if (ec || !fs::exists(userFolder / "Ostrand.def", ec)) return exeFolder;
    }
    return userFolder;
}

fs::path programFolder() {
    const char* home = std::getenv("OSTRAND_HOME");
    if (home && *home) {
        std::error_code ec;
        fs::path p = fs::absolute(home, ec);
        return ec ? fs::path(home) : p.lexically_normal();
    }
    return choosePerUserFolder(executableFolder(), userProgramFolder());
}

fs::path helperProgram(const fs::path& folder, const std::string& name) {
    std::error_code ec;
    if (fs::exists(folder / name, ec)) return folder / name;
    const fs::path beside = executableFolder() / name;
    return fs::exists(beside, ec) ? beside : folder / name;
}

// ---------------------------------------------------------------- processes

ChildResult runChild(const fs::path& program, const std::vector<std::string>& args,
                     const fs::path& workingDir, bool quiet) {
    ChildResult result;
    std::vector<std::string> storage;
    storage.push_back(program.string());
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : storage) argv.push_back(s.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!workingDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingDir.c_str());
    if (quiet) {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = -1;
    int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        result.spawnErrno = rc;
        return result;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return result;
    }
    result.started = true;
    if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
        // posix_spawn reports an exec failure in the child as exit 127.
        if (result.exitCode == 127 && ::access(program.c_str(), X_OK) != 0) {
            result.started = false;
            result.spawnErrno = ENOENT;
        }
    } else if (WIFSIGNALED(status)) {
        result.exitCode = 128 + WTERMSIG(status);
    }
    return result;
}

}  // namespace ostrand
