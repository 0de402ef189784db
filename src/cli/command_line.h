// The terminal host's command line:
//
//   tidewell [--store DIR]... COMMAND [OPTIONS]
//
// Parsing only: what the words ask for, in the order given. Bad words throw
// UsageError with a one-line reason; nothing has been read or written then.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
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
  std::string command;                 // "" with --help alone
  std::vector<Option> options;         // in the order given
  std::vector<std::string> arguments;  // words that are no option (undo's RUN)
  bool help = false;                   // --help: for the command, or the whole tool
};

// The commands and the options each takes; throws UsageError for anything
// else, an option without its value, a value outside its choices, or a word
// that is no option where the command takes no argument (or has it already).
Invocation ParseCommandLine(const std::vector<std::string>& args);

// The text `--help` prints: the whole tool, or one command.
std::string HelpText(const std::string& command);

}  // namespace tidewell::cli
