// The terminal host's command line:
//
//   tidewell [--store DIR]... COMMAND [OPTIONS]
//
// Parsing only: what the words ask for, in the order given. Bad words throw
// UsageError with a one-line reason; nothing has been read or written then.
//
// The commands and their options are described once, as a CLI11 App in
// command_line.cpp (one line per option); the parser, the help (help_format.cpp), the man page
// and the completions all read that description.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace tidewell::cli {

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One option as given: "--tick" with "BusinessPhone", "--phone" with nothing.
struct Option {
  std::string name;
  std::string value;
  friend bool operator==(const Option&, const Option&) = default;
};

struct Invocation {
  std::vector<std::string> stores;
  std::string user;                    // --user, the later one given
  std::string ca_file;                 // --ca-file, the later one given
  std::string password_command;        // --password-command, the later one given, as typed
  bool no_cache = false;               // --no-cache
  std::string command;                 // "" with --help alone; `help X` reads as `X --help`
  std::vector<Option> options;         // in the order given
  std::vector<std::string> arguments;  // words that are no option (undo's RUN)
  bool help = false;                   // --help: for the command, or the whole tool
  bool version = false;                // -V, --version
  std::string manuals_dir;             // --write-manuals DIR (hidden: the build's)
};

// The commands and the options each takes; throws UsageError for anything
// else, an option without its value, a flag given a value, a value outside
// its choices, or a word that is no option where the command takes no
// argument (or has it already). An option's value may start with a dash
// (`--search -5`); `--search=TEXT` works too. Options given twice are both
// in `options`: the later one wins where only one counts. An unknown
// command or option is told "Did you mean '...'?" when one is close.
Invocation ParseCommandLine(const std::vector<std::string>& args);

// The text `--help` prints: the overview of the whole tool (one screen), or
// one command's full text.
std::string HelpText(const std::string& command);

// The command line as the parser knows it, for the man page and the shell
// completions (manuals.h), so that they never tell another story than the
// parser and the help.
struct OptionDescription {
  std::string name;  // "--case"
  bool takes_value = false;
  std::vector<std::string> choices;  // empty: any value
  std::string value_name;            // "FOLDER", "RUN", "0|1"; "" for a flag
  std::string summary;               // a few words on what it does
};
struct CommandDescription {
  std::string name;     // "set"
  std::string summary;  // "Sets the search text, the replacement, ..." (its first sentence)
  std::string help;     // what `tidewell NAME --help` prints
  std::vector<OptionDescription> options;  // --help included
  std::string argument;                    // "RUN", "FIELD", "COMMAND"; "" when it takes none
};
// The options before the command (--store, --user, --password-command,
// --ca-file, --no-cache, --version, --help), and the commands in help order
// (`help` last; not the hidden `complete`).
std::vector<OptionDescription> DescribeGlobalOptions();
std::vector<CommandDescription> DescribeCommands();
// The exit statuses of every command: the status and what it means, one row
// each. The help, the man page and the README show this one table.
std::vector<std::pair<std::string, std::string>> ExitStatuses();
// The table as the help prints it: "  0      done: ...", filled to 80 columns.
std::string ExitStatusTable();
// What the tool is, its usage, and every option before the command with its
// whole help: the man page's DESCRIPTION.
std::string HelpIntroduction();

}  // namespace tidewell::cli
