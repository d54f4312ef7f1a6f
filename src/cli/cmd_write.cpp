// ostrand-cli write: writes bytes typed on the command line into the flash.
#include "app/numbers.h"
#include "engine_context.h"

namespace ostrand::cli {

namespace {

int runWrite(std::vector<std::string>& argv);

const Registrar kWrite{Command{
    "write", "write bytes into the flash",
    std::string("usage: ostrand-cli write ADDRESS BYTE... [OPTIONS]\n\n"
                "Writes the BYTEs (0-255, decimal or 0x) from ADDRESS on. Flash bits only go\n"
                "from 1 to 0: a byte that needs a 0 bit made 1 gives a notice and the write\n"
                "fails. Not for devices whose programming implies erasing.\n\n") +
        kCommonUsage + kRecordUsage,
    runWrite}};

int runWrite(std::vector<std::string>& argv) {
    std::optional<uint32_t> address;
    std::vector<uint8_t> bytes;
    auto addressAndBytes = [&](std::vector<std::string>& rest) -> std::string {
        if (rest.size() < 2) return "needs ADDRESS and at least one BYTE";
        address = parseNumber(rest[0]);
        if (!address) return "bad ADDRESS " + rest[0];
        for (size_t i = 1; i < rest.size(); ++i) {
            const auto b = parseNumber(rest[i]);
            if (!b || *b > 0xFF) return "bad BYTE " + rest[i];
            bytes.push_back(static_cast<uint8_t>(*b));
        }
        return {};
    };
    auto write = [&](EngineContext& ctx) {
        const Outcome& o = ctx.record(
            ctx.doc.writeMemory(*address, bytes.data(), static_cast<uint32_t>(bytes.size())));
        return o.status == 1 ? kExitOk : kExitFailed;
    };
    return runFlashCommand(
        argv,
        {.name = "write", .recordStep = "Data Write", .operands = addressAndBytes, .body = write});
}

}  // namespace

}  // namespace ostrand::cli
