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
// A program that travels with Ostrand (mervel): in the program folder when
// it is there, else beside the running executable.
std::filesystem::path helperProgram(const std::filesystem::path& folder, const std::string& name);

}  // namespace ostrand
