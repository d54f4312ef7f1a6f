// mervel: converts an IEEE-695 absolute object into Intel HEX or Motorola S-records.
#include "converter/mervel.h"

int main(int argc, char** argv) {
    mervel::installInterruptHandler();
    std::vector<std::string> args(argv + 1, argv + argc);
    mervel::StdConsole console;
    int code = mervel::run(args, console);
    console.flushOut();
    return code;
}
