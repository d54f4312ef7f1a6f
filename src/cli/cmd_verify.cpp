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

int runVerify(std::vector<std::string>& argv) {
    Args args(argv);
    CommonOptions options;
    std::string file;
    int status = kExitOk;
    if (!takeFileCommandOptions(args, commandNamed("verify"), options, file, status)) return status;
    EngineContext ctx(options);
    if (int r = ctx.open(true, file); r != kExitOk) return ctx.finish("verify", r);
    uint16_t deviceSum = 0;
    const int32_t r = ctx.ops->verifySum(true, deviceSum);
    if (r >= 0) {
        ctx.results.emplace_back("deviceSum", std::to_string(deviceSum));
        ctx.results.emplace_back("fileSum", std::to_string(ctx.image->fileSum()));
    }
    return ctx.finish("verify", r == 0 ? kExitOk : kExitFailed);
}

}  // namespace

}  // namespace ostrand::cli
