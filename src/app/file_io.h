// The small platform layers every file and process use goes through: whole
// file reading, atomic writing, advisory locks, the program folder, and
// child processes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrand {

// Why a file could not be opened for reading.
enum class OpenFailure {
    None,
    Missing,     // nothing of that name
    NotRegular,  // a folder, a named pipe, a device, a socket
    Unreadable,  // there, but open() or fstat() failed
    TooLarge,    // larger than the reader takes
};

// Opens a regular file for reading. The open never blocks, whatever the path
// names (a named pipe would wait for a writer for ever), and anything but a
// regular file is refused. Returns the descriptor (blocking again, close-on-
// exec), or -1 with the reason in `why`.
int openRegularFile(const std::filesystem::path& path, OpenFailure* why = nullptr);

// Whole file as bytes; nullopt when it cannot be opened or read, is not a
// regular file, or holds more than maxBytes (`why` tells which). A file too
// large is refused before its bytes are read.
std::optional<std::string> readWholeFile(const std::filesystem::path& path,
                                         OpenFailure* why = nullptr, size_t maxBytes = SIZE_MAX);

// The temporary files of AtomicFileWriter are ".ostrand-partial-XXXXXXXX"
// (eight random hexadecimal digits) in the target's folder: a fixed short
// name, so that any target name the file system takes can be written.
inline constexpr std::string_view kPartialPrefix = ".ostrand-partial-";

// Removes the temporary files that writers killed before their commit left in
// `folder`. A live writer holds a lock on its file, so only leftovers go.
// Returns how many were removed.
int removeAbandonedPartials(const std::filesystem::path& folder);

// Writes a file as one piece: the bytes go to a temporary file in the same
// folder, which is flushed to disk and renamed over the target. Until
// commit() nothing of the old file changes; a writer destroyed without a
// commit removes its temporary file. The temporary file stays locked while
// it is written, so that the leftover of a killed writer can be told from
// one in use; opening a writer removes such leftovers from its folder.
class AtomicFileWriter {
  public:
    AtomicFileWriter() = default;
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // durable: flush to disk before the rename. Work files that are made
    // anew on every use (the object expansion file) skip that cost; they are
    // still never seen half-written.
    bool open(const std::filesystem::path& target, bool durable = true);
    bool write(std::string_view bytes);
    bool commit();  // flush, sync, rename; false leaves the old file as it was
    void abandon();
    bool isOpen() const { return fd_ >= 0; }
    const std::filesystem::path& target() const { return target_; }
    const std::filesystem::path& temporaryPath() const { return temp_; }

  private:
    bool flushBuffer();
    int fd_ = -1;
    bool failed_ = false;
    bool durable_ = true;
    std::filesystem::path target_;
    std::filesystem::path temp_;
    std::string buffer_;
};

// One call: the whole content, atomically.
bool writeFileAtomic(const std::filesystem::path& target, std::string_view bytes);

// Appends `line` and a line break to a file that several processes and
// threads share (run records): one write under an exclusive lock, so lines
// never mix. Waits for other writers; false (errno set) when the file cannot
// be opened or written.
bool appendLineExclusive(const std::filesystem::path& file, const std::string& line);

// An exclusive advisory lock (flock) on a file, held until release or
// destruction.
class FileLock {
  public:
    FileLock() = default;
    ~FileLock() { release(); }
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Non-blocking; false when another process (or descriptor) holds it or the
    // file cannot be opened. createIfMissing makes the lock file; shared takes
    // a lock that other shared holders may also have.
    bool acquire(const std::filesystem::path& path, bool createIfMissing, bool shared = false);
    // Exclusive, waiting up to `limitMs` for another holder to let go.
    bool acquireWaiting(const std::filesystem::path& path, int limitMs);
    void release();
    bool held() const { return fd_ >= 0; }
    // Why the last acquire failed: EWOULDBLOCK when another holder has the
    // lock, else the error of opening the file; 0 after a success.
    int failure() const { return failure_; }

  private:
    int fd_ = -1;
    int failure_ = 0;
};

// True when some other holder has an exclusive lock on the file.
bool isFileLockedElsewhere(const std::filesystem::path& path);
// The processes that hold a lock on the file, as the system lists them
// (empty where it does not).
std::vector<int> lockHolders(const std::filesystem::path& path);

// The program folder: $OSTRAND_HOME when set, else the folder of the
// running executable.
std::filesystem::path programFolder();
// The folder of the running executable, whatever OSTRAND_HOME says.
std::filesystem::path executableFolder();

struct ChildResult {
    bool started = false;  // false: the program could not be started
    int exitCode = -1;     // exit code, or 128 + signal number
    int spawnErrno = 0;
};

// Starts a program with an argument vector (no shell), optionally in another
// working folder, and waits for it. Its standard streams are inherited unless
// quiet, which sends its output to /dev/null.
ChildResult runChild(const std::filesystem::path& program, const std::vector<std::string>& args,
                     const std::filesystem::path& workingDir = {}, bool quiet = false);

}  // namespace ostrand
