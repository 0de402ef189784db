// The terminal host's man page and shell completions, made from the command
// description of command_line.h when the project is built
// (`tidewell --write-manuals DIR`), never written by hand.
#pragma once

#include <string>

namespace tidewell::cli {

// tidewell(1) in roff: the whole tool's help, one section per part.
std::string ManualPage();

// Completion scripts. Each completes the commands, each command's options,
// the choices of an option that has them and a folder after --store.
// bash: defines _tidewell and registers it (`complete -F _tidewell
// tidewell`); needs nothing from the bash-completion package.
std::string BashCompletion();
std::string ZshCompletion();   // a #compdef file, for $fpath
std::string FishCompletion();  // `complete -c tidewell ...` lines

// Writes tidewell.1, tidewell.bash, _tidewell and tidewell.fish into `dir`;
// throws std::runtime_error naming the file that cannot be written.
void WriteManuals(const std::string& dir);

}  // namespace tidewell::cli
