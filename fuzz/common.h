// What the fuzz targets share: a private scratch folder removed when the
// fuzzer ends, a quiet operator, and the demo definition file.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/device_database.h"
#include "app/operator.h"
#include "recording_operator.h"

namespace fuzz {

class QuietOperator : public ostrand::RecordingOperator {
  public:
    using RecordingOperator::RecordingOperator;

  protected:
    void present(const ostrand::ShownMessage&) override {}
};

// One folder per fuzzer process, gone at exit; in memory where the machine
// has a tmpfs, so that the writers' syncs cost nothing.
inline const std::filesystem::path& scratch() {
    static const std::filesystem::path dir = [] {
        std::error_code ec;
        std::string templ = std::filesystem::is_directory("/dev/shm", ec)
                                ? "/dev/shm/ostrand-fuzz-XXXXXX"
                                : "/tmp/ostrand-fuzz-XXXXXX";
        if (!mkdtemp(templ.data())) std::abort();
        return std::filesystem::path(templ);
    }();
    // Registered once the path is made, so that it runs before the path is
    // destroyed at exit.
    static const bool removedAtExit = (std::atexit([] {
                                           std::error_code ec;
                                           std::filesystem::remove_all(scratch(), ec);
                                       }),
                                       true);
    (void)removedAtExit;
    return dir;
}

// Puts the input into a file as it is (no sync: the reader is what is tested).
inline void writeInput(const std::filesystem::path& path, const uint8_t* data, size_t size) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), std::streamsize(size));
}

// The demo definition file, loaded into `db`: devices of every boot type.
inline void loadDemoDevices(ostrand::DeviceDatabase& db) {
    if (db.load(std::filesystem::path(OSTRAND_DATA) / "Ostrand.def") != 0) std::abort();
}

}  // namespace fuzz
