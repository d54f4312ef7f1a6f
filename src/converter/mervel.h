// mervel: IEEE-695 absolute object to Intel HEX / Motorola S-record converter.
// The converter core is one function so that the program, the tests and the fuzzer
// all drive the same code; it never calls exit() and never touches signal handling.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mervel {

// Where the banner, the help file, messages and the "-l" listing go.
class Console {
  public:
    virtual ~Console() = default;
    virtual void out(std::string_view text) = 0;
    virtual void err(std::string_view text) = 0;
    virtual void flushOut() {}
};

// Writes to file descriptors 1 and 2; standard output is buffered until flushOut().
class StdConsole : public Console {
  public:
    ~StdConsole() override;
    void out(std::string_view text) override;
    void err(std::string_view text) override;
    void flushOut() override;

  private:
    std::string pending_;
};

// Swallows everything (fuzzing) or keeps it (unit tests).
class StringConsole : public Console {
  public:
    void out(std::string_view text) override { stdout_ += text; }
    void err(std::string_view text) override { stderr_ += text; }
    std::string stdout_;
    std::string stderr_;
};

// Exit codes seen by the caller.
inline constexpr int ExitOk = 0;
inline constexpr int ExitFileError = 176;
inline constexpr int ExitCommandError = 128;
inline constexpr int ExitObjectError = 192;

// Runs one conversion; args excludes the program name. Returns the exit code.
int run(const std::vector<std::string>& args, Console& console);

// Program only: catch Ctrl-C (unless it was ignored at start) so that an interrupt
// deletes the output file being written and exits with ExitObjectError.
void installInterruptHandler();

}  // namespace mervel
