// Absolute objects are converted by the converter program beside this one
// before they are read.
#include <system_error>

#include "app/device_database.h"
#include "app/file_io.h"
#include "app/operator.h"
#include "app/program_folder.h"
#include "app/setup_settings.h"
#include "objfile/object_image.h"

namespace ostrand {

namespace fs = std::filesystem;

bool isConvertiblePath(std::string_view path) {
    for (char c : path) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 32 || u > 126) return false;
        if (c == '+' || c == ',' || c == ';' || c == '=' || c == '[' || c == ']') return false;
    }
    return true;
}

int32_t ObjectImage::convertAbs(std::string& path, int32_t& fileType) {
    std::error_code ec;
    // The converter reads a name that does not begin with "-" as the source.
    std::string source = fs::absolute(path, ec).lexically_normal().string();
    if (ec) source = path;
    if (!isConvertiblePath(source)) {
        op_.showMessage(10214, 0, 12147, path);
        return 0;
    }
    const DeviceDefinition* dev = devices_.selected();
    const int32_t bt = dev ? dev->bootType : -1;
    const char* option = "-Fh20";
    const char* extension = "h20";
    int32_t newType = kFileH20;
    if (bootTypeRow(bt).absToS24) {
        option = "-Fs24";
        extension = "s24";
        newType = kFileS24;
    } else if (BootTypesG(bt, settings_.memSizeEmulat)) {
        option = "-Fh16";
        extension = "h16";
        newType = kFileH16;
    }
    std::string name = fs::path(source).filename().string();
    name = name.substr(0, name.size() >= 3 ? name.size() - 3 : 0) + extension;
    const fs::path relative = fs::path("tmp") / name;
    const fs::path converted = programFolder_ / relative;
    const fs::path converter = helperProgram(programFolder_, "mervel");

    fs::create_directories(programFolder_ / "tmp", ec);
    // A converted file left from an earlier run must never pass for this one.
    fs::remove(converted, ec);

    // The converter runs in the program folder; this process's current
    // folder never changes.
    const ChildResult child =
        runChild(converter, {option, "-o", relative.string(), source}, programFolder_, true);
    if (!child.started) {
        if (fs::exists(converter, ec))
            op_.showMessage(10207, 41, 0, path);
        else
            op_.showMessage(10208, 4);
        return 0;
    }
    if (child.exitCode != 0) {
        op_.showMessage(10207, 42, 0, path);
        return 0;
    }
    path = converted.string();
    fileType = newType;
    return 1;
}

}  // namespace ostrand
