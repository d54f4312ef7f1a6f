// ostrand-sim: a simulated chip on a pseudo-terminal.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/device_database.h"
#include "app/file_io.h"
#include "app/program_folder.h"
#include "app/quiet_operator.h"
#include "app/session.h"
#include "app/version.h"
#include "sim/chip.h"
#include "sim/options.h"

namespace {

// The simulator only reports a definition file it cannot read: the
// message line on stderr; it asks nothing and shows no progress.
class MessageLines : public ostrand::QuietOperator {
  public:
    using QuietOperator::QuietOperator;

  protected:
    void present(const ostrand::ShownMessage& m) override {
        std::fprintf(stderr, "%s\n", m.text.c_str());
    }
};

std::atomic<bool> g_stop{false};

void onSignal(int) {
    g_stop.store(true);
}

// Thrown when the flash file cannot be written: the chip then behaves as one
// whose supply failed, rather than acknowledge what it did not keep.
struct SupplyFailed {};

// The flash file must be one the simulator can write: a regular file (or
// none yet) in a folder where its replacement can be made.
bool flashFileWritable(const std::filesystem::path& path, std::string& why) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            why = "not a regular file";
            return false;
        }
        const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            why = std::strerror(errno);
            return false;
        }
        ::close(fd);
    } else if (errno != ENOENT) {
        why = std::strerror(errno);
        return false;
    }
    // The first save writes a new file beside it and renames it over.
    const std::string probe = path.string() + ".probe-" + std::to_string(::getpid());
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        why = std::strerror(errno);
        return false;
    }
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

// The terminal among this user's ports: a link NAME.PID in the port folder,
// after the links of simulators that are gone. Empty when there is no
// folder to register in (the printed path still serves).
std::filesystem::path listPort(const std::string& device, const std::string& terminal) {
    namespace fs = std::filesystem;
    const fs::path folder = ostrand::virtualPortFolder();
    std::error_code ec;
    if (folder.empty() || (!fs::create_directories(folder, ec) && ec)) return {};
    fs::permissions(folder, fs::perms::owner_all, ec);
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_symlink(ec) && !ostrand::registrationLive(it->path().filename().string()))
            fs::remove(it->path(), ec);
    const fs::path link = folder / (device + "." + std::to_string(::getpid()));
    fs::remove(link, ec);
    fs::create_symlink(terminal, link, ec);
    return ec ? fs::path() : link;
}

}  // namespace

// The --flash file. The first save writes it whole (a new file renamed over
// the old one, so that a reader never sees half of it); later saves write
// only the bytes that changed, in place, before the chip answers. Rewriting
// the whole image after every written page held each answer for a
// millisecond or more. Not synced to the disk: the file has to survive the
// simulator, not a crash of the machine.
class FlashFile {
  public:
    explicit FlashFile(std::filesystem::path path) : path_(std::move(path)) {}
    ~FlashFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    FlashFile(const FlashFile&) = delete;
    FlashFile& operator=(const FlashFile&) = delete;

    bool save(ostrand::sim::FlashMemory& flash) {
        const auto [begin, end] = flash.takeChanged();
        if (fd_ >= 0 && stillOurs()) {
            const std::string bytes = flash.image(begin, end);
            return writeAll(fd_, bytes, static_cast<off_t>(begin));
        }
        return saveWhole(flash.image());
    }

  private:
    // Somebody may have replaced the file meanwhile: then it is written whole.
    bool stillOurs() const {
        struct stat open {
        }, named{};
        return ::fstat(fd_, &open) == 0 && ::stat(path_.c_str(), &named) == 0 &&
               open.st_ino == named.st_ino && open.st_dev == named.st_dev;
    }

    static bool writeAll(int fd, const std::string& bytes, off_t at) {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                                       at + static_cast<off_t>(done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }

    bool saveWhole(const std::string& bytes) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        const std::string temporary = path_.string() + ".new";
        const int fd = ::open(temporary.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) return false;
        if (!writeAll(fd, bytes, 0) || std::rename(temporary.c_str(), path_.c_str()) != 0) {
            ::close(fd);
            ::unlink(temporary.c_str());
            return false;
        }
        fd_ = fd;
        return true;
    }

    std::filesystem::path path_;
    int fd_ = -1;
};

int main(int argc, char** argv) {
    using namespace ostrand;
    using namespace ostrand::sim;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) != "--version") continue;
        std::filesystem::path home = programFolder();
        for (int j = 1; j + 1 < argc; ++j)
            if (std::string(argv[j]) == "--home") home = argv[j + 1];
        std::fputs(versionText("ostrand-sim", home).c_str(), stdout);
        return 0;
    }
    std::string error;
    const auto options = parseOptions(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::fprintf(stderr, "ostrand-sim: %s\n\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (options->help) {
        std::fputs(kUsage, stdout);
        return 0;
    }

    Session session;
    MessageLines op(session);
    DeviceDatabase database(session, op);
    if (database.load(std::filesystem::path(options->home) / "Ostrand.def") != 0) return 1;
    const DeviceDefinition* device = database.find(options->device);
    if (!device) {
        std::fprintf(stderr, "ostrand-sim: no device '%s' in %s/Ostrand.def\n",
                     options->device.c_str(), options->home.c_str());
        return 2;
    }

    std::vector<AddressRange> areas{{device->singleBootFlashStart, device->singleBootFlashEnd}};
    if (device->flashSecondStart != 0 || device->flashSecondEnd != 0)
        areas.push_back({device->flashSecondStart, device->flashSecondEnd});
    FlashMemory flash(areas);
    if (!options->flashFile.empty()) {
        std::string why;
        if (!flashFileWritable(options->flashFile, why)) {
            std::fprintf(stderr, "ostrand-sim: cannot write the flash file %s: %s\n",
                         options->flashFile.c_str(), why.c_str());
            return 1;
        }
        if (const auto bytes = readWholeFile(options->flashFile)) {
            if (!flash.setImage(*bytes))
                std::fprintf(stderr, "ostrand-sim: %s has %zu bytes, the flash %zu; fitted\n",
                             options->flashFile.c_str(), bytes->size(), flash.image().size());
        }
    }

    EventLog log;
    if (!options->logFile.empty() && !log.open(options->logFile)) {
        std::fprintf(stderr, "ostrand-sim: cannot write the log %s\n", options->logFile.c_str());
        return 1;
    }

    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    PtyLine line(g_stop, &log);
    if (!line.open()) {
        std::perror("ostrand-sim: cannot open a pseudo-terminal");
        return 1;
    }
    line.setPace(options->pace);
    if (!options->link.empty()) {
        std::error_code ec;
        std::filesystem::remove(options->link, ec);
        std::filesystem::create_symlink(line.path(), options->link, ec);
        if (ec) {
            std::fprintf(stderr, "ostrand-sim: cannot link %s: %s\n", options->link.c_str(),
                         ec.message().c_str());
            return 1;
        }
    }
    const std::filesystem::path listed =
        options->unlisted ? std::filesystem::path() : listPort(device->deviceName, line.path());
    std::printf("%s\n", line.path().c_str());
    std::fflush(stdout);
    log.event("start", device->deviceName + " BootType " + std::to_string(device->bootType) +
                           " on " + line.path());

    FaultSet faults;
    for (const Fault& f : options->faults) faults.add(f);
    SimChip chip(*device, line, flash, faults, &log);
    FlashFile flashFile(options->flashFile);
    chip.setFlashChanged([&] {
        if (options->flashFile.empty()) return;
        if (!flashFile.save(flash)) {
            std::fprintf(stderr, "ostrand-sim: cannot write %s; the chip stops answering\n",
                         options->flashFile.c_str());
            log.event("flash", "write failed");
            throw SupplyFailed{};
        }
        log.event("flash", "saved");
    });
    bool supplyFailed = false;
    try {
        chip.run();
    } catch (const StopRequested&) {
    } catch (const SupplyFailed&) {
        // Dead, but the terminal stays: the host sees a chip that is silent.
        supplyFailed = true;
        while (!g_stop.load()) ::usleep(50000);
    }
    log.event("stop", "");
    std::error_code ec;
    if (!options->link.empty()) std::filesystem::remove(options->link, ec);
    if (!listed.empty()) std::filesystem::remove(listed, ec);
    return supplyFailed ? 1 : 0;
}
