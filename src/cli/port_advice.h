// What to tell an operator whose port would not open.
#pragma once

#include <string>

namespace ostrand {
class Port;
}

namespace ostrand::cli {

// A line that says why and what to do, for the reasons an operator can fix
// (permission, a port held by another program, a missing device); empty for
// any other reason.
std::string portFailureAdvice(int error, const std::string& port);
// Prints that line, when there is one, on stderr.
void explainPortFailure(const Port& port, const std::string& name);

}  // namespace ostrand::cli
