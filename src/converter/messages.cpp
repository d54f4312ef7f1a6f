// Numbered messages, the banner, the help file and the clean-up after a fatal error.
#include <cstdio>
#include <cstdlib>

#include "converter/converter_impl.h"

namespace mervel::detail {

namespace {

struct CatalogueEntry {
    int number;
    const char* text;
};

constexpr CatalogueEntry Catalogue[] = {
    {20, "Can't open"},
    {21, "Can't close"},
    {22, "Can't read"},
    {23, "Can't write"},
    {24, "Can't seek"},
    {100, "No source file found in invocation"},
    {101, "Illegal file specification"},
    {102, "File must be a disk"},
    {103, "files are the same"},
    {104, "Duplicated source file name"},
    {105, "Bad parameter syntax"},
    {106, "Missing parameter"},
    {107, "Illegal sub option"},
    {108, "Not parameter allowed"},
    {109, "Unrecognized option"},
    {110, "Can't nest a command file"},
    {111, "Not supported option"},
    {112, "Illegal output file"},
    {113, "Illegal numeric constant"},
    {114, "Ambiguous point in block definition"},
    {115, "Can't find section"},
    {116, "Can't find object in the area"},
    {150, "Not an absolute object format"},
    {151, "Bad object format"},
    {152, "Too large address"},
    {153, "Load address overflow"},
    {154, "Out of memory"},
    {155, "Address overlap in"},
    {500, "Illegal character in Comment"},
    {501, "Comment too long"},
    {502, "No object"},
    {515, "Illegal parameter"},
    {516, "Ignored option"},
};

const char* messageText(int number) {
    for (const auto& e : Catalogue)
        if (e.number == number) return e.text;
    return "";
}

std::string rightAligned3(int number) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%3d", number);
    return buf;
}

std::string quoted(const std::string& s) {
    return "\"" + s + "\"";
}

}  // namespace

std::string hexNoZeros(uint64_t v) {
    static const char digits[] = "0123456789ABCDEF";
    char buf[17];
    int i = 16;
    buf[16] = 0;
    do {
        buf[--i] = digits[v & 15];
        v >>= 4;
    } while (v != 0);
    return std::string(buf + i);
}

void Converter::printBanner() {
    if (bannerShown_) return;
    bannerShown_ = true;
    if (messageSeen_) con_.out("\n");
    con_.out("Mervel Object Converter (32) V1.2g\n");
    con_.out("IEEE-695 absolute object to Intel HEX / Motorola S-record converter\n");
    con_.out("\n");
}

void Converter::fatal(int number, std::optional<std::string> arg) {
    if (!bannerShown_ && !(noBanner_ && !verbose_)) printBanner();
    con_.flushOut();
    std::string line = "MERVEL-Fatal-";
    const std::string text = messageText(number);
    int exitCode;
    if (number < 100) {
        line += " " + rightAligned3(number) + " : " + text + " " + quoted(arg.value_or(""));
        exitCode = ExitFileError;
    } else if (number < 150) {
        line += rightAligned3(number) + " : ";
        if (number == 103 && arg) {
            line += quoted(*arg) + " " + text;
        } else if (arg && (number == 106 || number == 109 || number == 111 || number == 112 ||
                           number == 115)) {
            line += text + " " + quoted(*arg);
        } else {
            line += text;
        }
        exitCode = ExitCommandError;
    } else {
        line += std::to_string(number) + " : " + text;
        if (number == 155 && arg) line += " " + quoted(*arg);
        exitCode = ExitObjectError;
    }
    line += "\r\n";
    con_.err(line);
    throw FatalExit{exitCode};
}

void Converter::report(int number, std::optional<std::string> arg) {
    if (!bannerShown_ && !(noBanner_ && !verbose_)) printBanner();
    con_.flushOut();
    std::string line = "MERVEL-";
    line += number >= 500 ? "Warning" : "Error";
    line += "-" + rightAligned3(number) + " : " + messageText(number);
    if (arg) line += " " + *arg;
    line += "\n";
    con_.err(line);
    if (errorFile_ && errorFile_->isOpen()) {
        errorFile_->write(line);
        errorFile_->flush();
    }
    messageSeen_ = true;
}

void Converter::showHelp(const std::string& familyVar) {
    const char* candidates[3] = {std::getenv(familyVar.c_str()), std::getenv("KVHOME"), "."};
    for (const char* value : candidates) {
        if (value == nullptr || *value == 0) continue;
        std::string home = value;
        if (home.size() > 269) fatal(154);
        if (home.size() > 1 && (home.back() == '\\' || home.back() == '/')) home.pop_back();
        std::string text;
        if (readWholeFile(home + "/etc/mervel.hlp", text) != 0) continue;
        con_.out(text);
        con_.flushOut();
        return;
    }
}

void Converter::cleanupAfterFatal() {
    // The error file first, so that nothing else lands in it.
    if (errorFile_) errorFile_->abandon();
    bool sameAsSource = false;
    if (!sourceName.empty()) {
        auto lower = [](std::string s) {
            for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
            return s;
        };
        sameAsSource = main_ && lower(main_->name()) == lower(sourceName);
    }
    if (main_) {
        if (!sameAsSource)
            main_->removeFile(true);
        else
            main_->abandon();
    }
    if (rangeFile_) rangeFile_->removeFile(false);
    for (auto& file : finishedRangeFiles_) file->removeFile(false);
    // Overlay files already written stay; the one being written is incomplete.
    for (auto& overlay : overlays_)
        if (overlay) overlay->cleanUpAfterFatal();
    in_.close();
    if (listingFile_) listingFile_->flushQuietly();
    if (listingFile_) listingFile_->discard();
}

}  // namespace mervel::detail
