// Faults injected into the simulated chip (--fault), and where they strike.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ostrand::sim {

// A step is where the chip answers: "match", "rate", or a command byte with
// an optional part: "60", "60.header", "60.data", "60.done".
struct Fault {
    enum class Kind { NoReply, Reply, Noise, Ecc, Protected, Password, Late };
    Kind kind = Kind::NoReply;
    std::string step;  // lower case, command bytes as two hex digits
    uint8_t code = 0;  // Reply only
    int delayMs = 0;   // Late only
    bool always = false;
    bool spent = false;
};

// What the chip does at one step.
struct StepAction {
    bool silent = false;          // send nothing and start over
    std::optional<uint8_t> code;  // send this instead of the due byte
    bool noise = false;           // noise bytes before the due byte
};

class FaultSet {
  public:
    // Parses one --fault text; nullopt with a reason in error when malformed.
    static std::optional<Fault> parse(const std::string& text, std::string& error);
    void add(Fault fault) { faults_.push_back(std::move(fault)); }

    // The action at a step; a fault that fires once is spent by this call.
    StepAction at(const std::string& step);
    bool takeEcc();
    bool startsProtected() const;
    bool refusesPasswords() const;
    // How late the answer to the first matching byte after a reset comes.
    int lateFirstReplyMs() const;

    // The step name of a command byte and a part ("" for the echo).
    static std::string stepOf(uint8_t command, const char* part = "");

  private:
    std::vector<Fault> faults_;
};

}  // namespace ostrand::sim
