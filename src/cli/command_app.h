// The CLI11 description of the command line, shared by the parser
// (command_line.cpp) and the help (help_format.cpp); no one else includes it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace tidewell::cli {

// Every command and option, with the help formatter set.
std::unique_ptr<CLI::App> CommandLine();
void UseHelpFormatter(CLI::App& tool);

// An option without a help group is hidden (the build's --write-manuals), as
// is a command without one (complete).
inline bool Hidden(const CLI::Option* option) { return option->get_group().empty(); }
std::vector<const CLI::App*> VisibleCommands(const CLI::App& tool);

// "--case"; CLI11's get_name() is empty for a hidden option.
inline std::string Name(const CLI::Option* option) { return "--" + option->get_lnames().front(); }
inline bool IsHelp(const CLI::Option* option) { return option->check_lname("help"); }

// The few words a completion shows beside an option: its help's first
// sentence, else the brief given with it.
std::string OptionSummary(const CLI::Option* option);

// The first sentence of `text`, without its full stop.
std::string FirstSentence(const std::string& text);

}  // namespace tidewell::cli
