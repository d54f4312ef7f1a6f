// ostrand-cli compare: compares the flash byte by byte with the object file.
#include <cstdio>

#include "engine_context.h"

namespace ostrand::cli {

namespace {

int runCompare(std::vector<std::string>& argv);

const Registrar kCompare{Command{
    "compare", "compare the flash byte by byte with the object file",
    std::string("usage: ostrand-cli compare [FILE] [OPTIONS]\n\n"
                "Reads every range of FILE (or the setup's object file) back from the flash and\n"
                "compares it; stops at the first difference. Exit status 0 when all bytes are\n"
                "equal, 1 on a difference or a failure.\n\n") +
        kCommonUsage,
    runCompare}};

int compare(EngineContext& ctx) {
    CompareDifference d;
    const Outcome& o = ctx.record(ctx.doc.compare(&d));
    if (o.status == 1) {
        char text[96];
        std::snprintf(text, sizeof text, "{\"address\": %u, \"device\": %u, \"file\": %u}",
                      d.address, d.device, d.file);
        ctx.results.emplace_back("difference", text);
    }
    ctx.results.emplace_back("equal", o.status == 0 ? "true" : "false");
    return o.status == 0 ? kExitOk : kExitFailed;
}

int runCompare(std::vector<std::string>& argv) {
    return runFlashCommand(
        argv, {.name = "compare", .needObject = true, .fileOperand = true, .body = compare});
}

}  // namespace

}  // namespace ostrand::cli
