// A temporary folder for one test, removed afterwards.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

class TestFolder {
  public:
    TestFolder() {
        std::string templ = (std::filesystem::temp_directory_path() / "ostrand-XXXXXX").string();
        char* made = mkdtemp(templ.data());
        if (made) path_ = made;
    }
    ~TestFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path write(const std::string& name, const std::string& text) const {
        std::ofstream(path_ / name, std::ios::binary) << text;
        return path_ / name;
    }
    std::string read(const std::string& name) const {
        std::ifstream in(path_ / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

  private:
    std::filesystem::path path_;
};

// A device section with every required key, for a flash of 0x0000-0xFFFF;
// `extra` lines come first, so they win over the defaults below.
inline std::string deviceSection(const std::string& name, int bootType,
                                 const std::string& extra = "") {
    return "[" + name + "]\n" + extra + "BusWidth=2\n" +
           "SingleChipFlashAddress=0x10000-0x1FFFF\n" + "SingleBootRAMAddress=0x8000-0x9FFF\n" +
           "SingleBootFlashAddress=0x0-0xFFFF\n" + "ReceiveBufferSize=256\n" + "UseWCP=1\n" +
           "TotalWCP=0x0\n" + "SingleBootPassword=0\n" + "BootType=" + std::to_string(bootType) +
           "\n" + "PageSize=128\n" + "PasswordArea=0xFFF0-0xFFFB\n" + "SumArea=0xFFFC-0xFFFD\n" +
           "VectorArea=0xFF00-0xFFEF\n" + "FlashSecondArea=0x0-0x0\n";
}

inline const char* kCommonSection = "[COMMON]\nWebSiteURL=http://calvane.example/def\n";
