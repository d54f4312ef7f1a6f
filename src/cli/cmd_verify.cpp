// ostrand-cli verify: compares the chip's SUM with the object file's SUM.
#include "engine_context.h"

namespace ostrand::cli {

namespace {

int runVerify(std::vector<std::string>& argv);

const Registrar kVerify{Command{
    "verify", "compare the chip's SUM with the object file's SUM",
    std::string("usage: ostrand-cli verify [FILE] [OPTIONS]\n\n"
                "Reads the chip's SUM and compares it with the SUM of FILE (or the setup's\n"
                "object file). Exit status 0 when they match, 1 when not or on failure.\n\n") +
        kCommonUsage,
    runVerify}};

int verify(EngineContext& ctx) {
    uint16_t deviceSum = 0;
    const Outcome& o = ctx.record(ctx.doc.verify(deviceSum));
    if (o.status >= 0) {
        ctx.results.emplace_back("deviceSum", std::to_string(deviceSum));
        ctx.results.emplace_back("fileSum", std::to_string(ctx.doc.image.fileSum()));
    }
    return o.status == 0 ? kExitOk : kExitFailed;
}

int runVerify(std::vector<std::string>& argv) {
    return runFlashCommand(
        argv, {.name = "verify", .needObject = true, .fileOperand = true, .body = verify});
}

}  // namespace

}  // namespace ostrand::cli
