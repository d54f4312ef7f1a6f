// The command line, command files and the order of one run.
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <iterator>

#include "converter/converter_impl.h"

namespace mervel {

int run(const std::vector<std::string>& args, Console& console) {
    detail::Converter converter(console);
    return converter.run(args);
}

namespace detail {

namespace {

constexpr size_t MaxCommandWord = 266;

}  // namespace

Converter::Converter(Console& console) : con_(console), in_(*this) {}
Converter::~Converter() = default;

int Converter::run(const std::vector<std::string>& args) {
    try {
        try {
            if (args.empty()) {
                showHelp("KVHOME");
                return ExitOk;
            }
            parseArguments(args);
            if (args.size() == 1 && cpuGiven_) {
                showHelp(homeVar_);
                return ExitOk;
            }
            if (!sourceGiven_) {
                if (verbose_) {
                    printBanner();
                    con_.flushOut();
                    return ExitOk;
                }
                fatal(100);
            }
            struct stat st {};
            if (sourceName.find('*') != std::string::npos || ::stat(sourceName.c_str(), &st) != 0)
                fatal(100);
            if (!(noBanner_ && !verbose_)) printBanner();
            if (format_ == 0) format_ = Hex16;
            if (!outputGiven_ || outputDropped_) output_ = defaultOutputName();

            if (int failure = in_.open(sourceName)) fatal(failure, sourceName);
            if (fstat(in_.fd(), &sourceStat) == 0) sourceStatValid = true;
            if (errorFile_) refuseSameAsSource(errorFileName_);

            readHeader();
            checkObjectKind();
            checkProducerStatus();
            readSections();
            markOverlaps();
            if (rangeMode_) resolveRanges();

            if (listingWanted_) {
                if (listingToFile_) {
                    listingFile_ = std::make_unique<OutFile>(*this);
                    listingFile_->create(listingName_, false, false);
                }
                listingHeader();
            }
            if (rangeMode_)
                convertRanges();
            else
                convertWhole();
            if (!rangeMode_) listingOverlays();
            commitOutputs();
            in_.close();
            if (errorFile_) errorFile_->close();
            if (messageSeen_) con_.err("\n");
            con_.flushOut();
            return ExitOk;
        } catch (const std::bad_alloc&) {
            fatal(154);
        }
    } catch (const FatalExit& e) {
        cleanupAfterFatal();
        con_.flushOut();
        return e.exitCode;
    }
}

// The run has succeeded: every new file takes the place of its old version.
void Converter::commitOutputs() {
    if (main_) main_->commit();
    for (auto& overlay : overlays_)
        if (overlay) overlay->commit();
    for (auto& file : finishedRangeFiles_) file->commit();
    if (rangeFile_) rangeFile_->commit();
    if (listingFile_) listingFile_->commit();
}

std::string Converter::defaultOutputName() const {
    std::string base = sourceName;
    if (auto slash = base.find_last_of('/'); slash != std::string::npos) base.erase(0, slash + 1);
    if (auto dot = base.find_last_of('.'); dot != std::string::npos) base.erase(dot);
    switch (format_) {
        case Hex20:
            return base + ".h20";
        case S16:
            return base + ".s16";
        case S24:
            return base + ".s24";
        case S32:
            return base + ".s32";
        default:
            return base + ".h16";
    }
}

void Converter::setFormat(int code) {
    if (format_ != 0 && format_ != code) {
        report(515);
        return;
    }
    format_ = code;
}

void Converter::parseArguments(const std::vector<std::string>& args) {
    prereadCommandFile(args);
    processWords(args, false);
}

// Finds "-H" before normal parsing, also inside the first command file, so that the
// numeric fields of range options are read in the right notation wherever -H stands.
void Converter::prereadCommandFile(const std::vector<std::string>& args) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-H") {
            hexSuffix_ = true;
            return;
        }
        if (a.rfind("-f", 0) != 0) continue;
        std::string name = a.substr(2);
        if (name.empty()) {
            if (i + 1 >= args.size()) return;
            name = args[i + 1];
            if (name == "--" && i + 2 < args.size()) name = args[i + 2];
        }
        std::string text;
        if (readWholeFile(name, text) != 0) fatal(20, name);
        std::string word;
        char quote = 0;
        auto endWord = [&] {
            if (word == "-H") hexSuffix_ = true;
            word.clear();
        };
        for (char c : text) {
            if (c == 0x1A) break;
            if (quote) {
                if (c == quote) quote = 0;
            } else if (c == '\'' || c == '"') {
                endWord();
                quote = c;
            } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
                endWord();
            } else {
                word += c;
            }
        }
        if (!quote) endWord();
        return;
    }
}

std::vector<std::string> Converter::readCommandFile(const std::string& name) {
    std::string text;
    if (readWholeFile(name, text) != 0) fatal(20, name);
    std::vector<std::string> words;
    std::string word;
    bool inWord = false, quoted = false;
    for (char c : text) {
        if (c == 0x1A) break;
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && std::string_view(" \t\r\n\v\f").find(c) != std::string_view::npos) {
            if (inWord) words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
        // A longer word would be cut; refuse it rather than use a shortened name.
        if (word.size() > MaxCommandWord) fatal(105);
    }
    if (inWord) words.push_back(std::move(word));
    return words;
}

}  // namespace detail
}  // namespace mervel
