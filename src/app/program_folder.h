// Where an installed program keeps its program folder, and where it finds
// the programs that travel with it. programFolder() (file_io.h) chooses:
// $OSTRAND_HOME when set; else the running executable's folder when it holds
// Ostrand.def (a build tree, a portable copy); else, for an installed program
// (<prefix>/bin beside <prefix>/share/ostrand), the per-user folder, made
// from share/ostrand on first use.
#pragma once

#include <filesystem>
#include <string>

namespace ostrand {

// That choice for a given executable folder and per-user folder.
std::filesystem::path choosePerUserFolder(const std::filesystem::path& exeFolder,
                                          const std::filesystem::path& userFolder);
// $XDG_DATA_HOME/ostrand, else ~/.local/share/ostrand; empty without a home.
std::filesystem::path userProgramFolder();
// Where this user's programs register terminals that the port list shows
// beside the machine's serial devices (ostrand-sim's pseudo-terminals, as
// links named NAME.PID): $XDG_RUNTIME_DIR/ostrand/ports, else ports/ in the
// per-user folder; empty without either.
std::filesystem::path virtualPortFolder();
// A registration NAME.PID whose program still runs: a link left by one that
// was killed may point at a terminal that another program holds now.
bool registrationLive(const std::string& linkName);
// A program that travels with Ostrand (mervel): in the program folder when
// it is there, else beside the running executable.
std::filesystem::path helperProgram(const std::filesystem::path& folder, const std::string& name);

}  // namespace ostrand
