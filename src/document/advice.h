// The line of advice a console prints after the numbered messages operators
// meet most: what to check or do next. The message itself stays as it is.
#pragma once

#include <cstdint>
#include <string>

#include "app/operator.h"

namespace ostrand {

class EngineSession;

// What the advice depends on besides the message.
struct AdviceFacts {
    bool connecting = false;   // the link to the chip was not up yet
    uint64_t refusedLine = 0;  // the object file's refused record, from 1; 0: unknown
    int portError = 0;         // errno of the port that would not open
    std::string port;          // the port in force
    std::string webSite;       // the definition file's web address
};

// The facts as they stand in a session now.
AdviceFacts adviceFacts(const EngineSession& parts);

// The advice for `message`, or empty when there is none.
std::string adviceFor(const ShownMessage& message, const AdviceFacts& facts);

// Why a port would not open (`error` its errno) and what to do, for the
// reasons an operator can fix; empty for any other reason.
std::string portFailureAdvice(int error, const std::string& port);

}  // namespace ostrand
