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
        kCommonUsage,
    runWrite}};

int runWrite(std::vector<std::string>& argv) {
    Args args(argv);
    CommonOptions options;
    const Command& self = commandNamed("write");
    if (!takeCommonOptions(args, options)) return usageError(self, args.errorText());
    if (std::string unknown = args.unknownOption(); !unknown.empty())
        return usageError(self, "unknown option " + unknown);
    auto& rest = args.rest();
    if (rest.size() < 2) return usageError(self, "needs ADDRESS and at least one BYTE");
    const auto address = parseNumber(rest[0]);
    if (!address) return usageError(self, "bad ADDRESS " + rest[0]);
    std::vector<uint8_t> bytes;
    for (size_t i = 1; i < rest.size(); ++i) {
        const auto b = parseNumber(rest[i]);
        if (!b || *b > 0xFF) return usageError(self, "bad BYTE " + rest[i]);
        bytes.push_back(static_cast<uint8_t>(*b));
    }
    EngineContext ctx(options);
    if (int r = ctx.open(false, {}); r != kExitOk) return ctx.finish("write", r);
    const int32_t ok =
        ctx.ops->writeData(*address, bytes.data(), static_cast<uint32_t>(bytes.size()));
    return ctx.finish("write", ok == 1 ? kExitOk : kExitFailed);
}

}  // namespace

}  // namespace ostrand::cli
