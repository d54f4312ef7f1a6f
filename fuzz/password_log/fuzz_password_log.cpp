// Reads arbitrary bytes as the password log, writes what it took and reads
// that again: every entry taken must come back the same.
#include <cstdint>
#include <set>
#include <string>
#include <utility>

#include "../common.h"
#include "app/file_io.h"
#include "app/password_set.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ostrand::Session session;
    static fuzz::QuietOperator op(session);
    const auto in = fuzz::scratch() / "history.log";
    const auto out = fuzz::scratch() / "again.log";
    fuzz::writeInput(in, data, size);
    ostrand::PasswordSet passwords(session, op);
    passwords.loadPasswordLog(in);
    if (passwords.logUnreadable()) __builtin_trap();
    if (passwords.log.empty()) return 0;
    std::set<std::pair<uint16_t, std::string>> keys;
    for (const auto& e : passwords.log) {
        passwords.rememberPassword(e);
        keys.emplace(e.sum, e.device);
    }
    std::filesystem::remove(out);
    if (passwords.savePasswordLog(out) != 1) __builtin_trap();
    ostrand::PasswordSet again(session, op);
    again.loadPasswordLog(out);
    // One entry a chip (SUM and device), each as it was read.
    if (again.log.size() != keys.size()) __builtin_trap();
    for (const auto& a : again.log) {
        bool found = false;
        for (const auto& b : passwords.log)
            found = found || (a.sum == b.sum && a.numAdd == b.numAdd && a.cmpAdd == b.cmpAdd &&
                              a.password == b.password && a.device == b.device);
        if (!found) __builtin_trap();
    }
    return 0;
}
