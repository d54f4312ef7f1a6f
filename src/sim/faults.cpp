#include "sim/faults.h"

#include <cctype>
#include <cstdio>

namespace ostrand::sim {

namespace {

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::optional<uint8_t> parseHexByte(std::string s) {
    if (s.size() > 2 && s[0] == '0' && s[1] == 'x') s = s.substr(2);
    if (s.empty() || s.size() > 2) return std::nullopt;
    unsigned value = 0;
    for (char c : s) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
        value = value * 16 + static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(c))
                                                       ? c - '0'
                                                       : c - 'a' + 10);
    }
    return static_cast<uint8_t>(value);
}

// "match", "rate", "XX", "XX.header", "XX.data", "XX.done" -> normal form.
std::optional<std::string> parseStep(const std::string& text) {
    if (text == "match" || text == "rate") return text;
    const size_t dot = text.find('.');
    const auto command = parseHexByte(text.substr(0, dot));
    if (!command) return std::nullopt;
    std::string part;
    if (dot != std::string::npos) {
        part = text.substr(dot + 1);
        if (part != "header" && part != "data" && part != "done") return std::nullopt;
    }
    return FaultSet::stepOf(*command, part.c_str());
}

}  // namespace

std::string FaultSet::stepOf(uint8_t command, const char* part) {
    char text[16];
    std::snprintf(text, sizeof text, "%02x%s%s", command, *part ? "." : "", part);
    return text;
}

std::optional<Fault> FaultSet::parse(const std::string& raw, std::string& error) {
    std::string text = lower(raw);
    Fault fault;
    if (!text.empty() && text.back() == '*') {
        fault.always = true;
        text.pop_back();
    }
    const size_t colon = text.find(':');
    const std::string name = text.substr(0, colon);
    const std::string arg = colon == std::string::npos ? "" : text.substr(colon + 1);
    if (name == "ecc" || name == "protected" || name == "password") {
        if (!arg.empty()) {
            error = "'" + name + "' takes no argument";
            return std::nullopt;
        }
        fault.kind = name == "ecc"         ? Fault::Kind::Ecc
                     : name == "protected" ? Fault::Kind::Protected
                                           : Fault::Kind::Password;
        return fault;
    }
    if (name == "noreply" || name == "noise") {
        const auto step = parseStep(arg);
        if (!step) {
            error = "unknown step '" + arg + "'";
            return std::nullopt;
        }
        fault.kind = name == "noreply" ? Fault::Kind::NoReply : Fault::Kind::Noise;
        fault.step = *step;
        return fault;
    }
    if (name == "late") {
        int ms = 0;
        char rest = 0;
        if (std::sscanf(arg.c_str(), "%d%c", &ms, &rest) != 1 || ms <= 0 || ms > 60000) {
            error = "expected late:MS (1 to 60000), got '" + raw + "'";
            return std::nullopt;
        }
        fault.kind = Fault::Kind::Late;
        fault.delayMs = ms;
        return fault;
    }
    if (name == "reply") {
        const size_t eq = arg.find('=');
        const auto step = parseStep(arg.substr(0, eq));
        const auto code = eq == std::string::npos ? std::nullopt : parseHexByte(arg.substr(eq + 1));
        if (!step || !code) {
            error = "expected reply:STEP=CODE, got '" + raw + "'";
            return std::nullopt;
        }
        fault.kind = Fault::Kind::Reply;
        fault.step = *step;
        fault.code = *code;
        return fault;
    }
    error = "unknown fault '" + raw + "'";
    return std::nullopt;
}

StepAction FaultSet::at(const std::string& step) {
    StepAction action;
    for (Fault& f : faults_) {
        if (f.spent || f.step != step) continue;
        switch (f.kind) {
            case Fault::Kind::NoReply:
                action.silent = true;
                break;
            case Fault::Kind::Reply:
                action.code = f.code;
                break;
            case Fault::Kind::Noise:
                action.noise = true;
                break;
            default:
                continue;
        }
        if (!f.always) f.spent = true;
    }
    return action;
}

bool FaultSet::takeEcc() {
    for (Fault& f : faults_) {
        if (f.kind != Fault::Kind::Ecc || f.spent) continue;
        if (!f.always) f.spent = true;
        return true;
    }
    return false;
}

bool FaultSet::startsProtected() const {
    for (const Fault& f : faults_)
        if (f.kind == Fault::Kind::Protected) return true;
    return false;
}

int FaultSet::lateFirstReplyMs() const {
    for (const Fault& f : faults_)
        if (f.kind == Fault::Kind::Late) return f.delayMs;
    return 0;
}

bool FaultSet::refusesPasswords() const {
    for (const Fault& f : faults_)
        if (f.kind == Fault::Kind::Password) return true;
    return false;
}

}  // namespace ostrand::sim
