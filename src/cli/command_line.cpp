#include "cli/command_line.h"

#include <algorithm>
#include <array>

namespace tidewell::cli {

namespace {

struct OptionSpec {
  const char* name;
  bool takes_value;
  std::vector<std::string> choices;  // empty: any value
};

struct CommandSpec {
  const char* name;
  std::vector<OptionSpec> options;
  const char* help;
  const char* argument = nullptr;  // the one word that is no option it takes, by its help name
};

const std::vector<CommandSpec>& Commands() {
  static const std::vector<CommandSpec> commands = {
      {"folders",
       {},
       "tidewell [--store DIR]... folders\n"
       "  Lists every folder of the stores, one per line: Name, EntryID and StoreID,\n"
       "  separated by tabs.\n"},
      {"show",
       {},
       "tidewell [--store DIR]... show\n"
       "  Shows the page and prints its settings (search text, replacement, case flag,\n"
       "  folders), then the field selection the next run loads, one 'Key: value' line\n"
       "  each, in catalog order.\n"},
      {"set",
       {{"--search", true, {}},
        {"--replace", true, {}},
        {"--case", true, {"0", "1"}},
        {"--folder", true, {}}},
       "tidewell [--store DIR]... set [--search TEXT] [--replace TEXT] [--case 0|1]\n"
       "                              [--folder ENTRYID[@STOREID]]...\n"
       "  Sets the page's controls and applies them. Folders replace the folder list,\n"
       "  in the order given, as the multi-folder picker would; ENTRYID and STOREID are\n"
       "  what 'tidewell folders' prints. An unknown folder changes nothing.\n"},
      {"fields",
       {{"--select-all", false, {}},
        {"--clear-all", false, {}},
        {"--phone", false, {}},
        {"--zip", false, {}},
        {"--email", false, {}},
        {"--appointments", true, {"all", "none"}},
        {"--tasks", true, {"all", "none"}},
        {"--tick", true, {}},
        {"--untick", true, {}},
        {"--special", true, {}}},
       "tidewell [--store DIR]... fields [--select-all] [--clear-all] [--phone] [--zip]\n"
       "          [--email] [--appointments all|none] [--tasks all|none] [--tick KEY]...\n"
       "          [--untick KEY]... [--special TEXT]\n"
       "  Opens the field chooser, applies the options in the order given as its\n"
       "  buttons and boxes would, then presses OK. --select-all, --clear-all, --phone,\n"
       "  --zip and --email are the buttons of the Contacts page; KEY is a field's\n"
       "  settings key (as 'tidewell show' prints them); --special sets the special\n"
       "  instruction, e.g. \"Only look in city/area codes\".\n"},
      {"replace",
       {{"--yes", false, {}}, {"--no-wait", false, {}}},
       "tidewell [--store DIR]... replace [--yes] [--no-wait]\n"
       "  Clicks Replace: every chosen field of every item of the chosen folders.\n"
       "  Without --yes the confirmation is answered on the terminal (y/N). Prints each\n"
       "  caption of the folder label; a progress bar on stderr when it is a terminal.\n"
       "  One run at a time: while another Tidewell run is going on this one waits for\n"
       "  it, or with --no-wait gives up. Ctrl-C (or SIGTERM) stops after the item in\n"
       "  hand. Exit status: 0 done, 1 the run ended through its failure report, 2 usage\n"
       "  or bad input (an invalid pattern: nothing is read; another run with\n"
       "  --no-wait), 130/143 stopped by SIGINT/SIGTERM.\n"},
      {"runs",
       {{"--show", true, {}}},
       "tidewell [--store DIR]... runs [--show RUN]\n"
       "  Lists the runs of the undo journal, newest first, one per line: the id that\n"
       "  names it for good, its time, its 'Looking for' line (or the run an undo\n"
       "  undid), and how many fields in how many items it changed, separated by tabs\n"
       "  (', undone' when an undo took it back). --show RUN prints that run's\n"
       "  changes instead, one per line: folder, item, field, old value, new value,\n"
       "  separated by tabs (a tab or line break in a value as \\t or \\n).\n"},
      {"undo",
       {{"--yes", false, {}}, {"--no-wait", false, {}}},
       "tidewell [--store DIR]... undo [RUN] [--yes] [--no-wait]\n"
       "  Gives every field the run changed its old value back, newest change first,\n"
       "  and saves each item once. RUN is an id that 'tidewell runs' prints; without\n"
       "  it, the newest run that is no undo and was not undone. A field changed since\n"
       "  the run is skipped and listed, never overwritten. An undo is a run of its\n"
       "  own, with an id of its own: undoing it writes the run's results back.\n"
       "  Without --yes the confirmation is answered on the terminal (y/N). Prints\n"
       "  'Restored N fields in M items; skipped K.', then one line per skipped field:\n"
       "  which, and why. Waits for another run like replace (--no-wait).\n"
       "  Exit status: 0 nothing skipped, 1 something skipped, 2 usage or bad input\n"
       "  (an unknown run; another run with --no-wait), 130/143 stopped.\n",
       "RUN"},
  };
  return commands;
}

const CommandSpec* FindCommand(const std::string& name) {
  for (const CommandSpec& spec : Commands()) {
    if (name == spec.name) return &spec;
  }
  return nullptr;
}

}  // namespace

Invocation ParseCommandLine(const std::vector<std::string>& args) {
  Invocation invocation;
  size_t i = 0;
  for (; i < args.size() && invocation.command.empty(); ++i) {
    const std::string& word = args[i];
    if (word == "--store") {
      if (i + 1 >= args.size()) throw UsageError("--store needs a folder.");
      invocation.stores.push_back(args[++i]);
    } else if (word.rfind("--store=", 0) == 0) {
      invocation.stores.push_back(word.substr(8));
    } else if (word == "--help" || word == "-h") {
      invocation.help = true;
    } else if (word.rfind("-", 0) == 0) {
      throw UsageError("Unknown option '" + word + "' (see 'tidewell --help').");
    } else if (FindCommand(word) == nullptr) {
      throw UsageError("Unknown command '" + word + "' (see 'tidewell --help').");
    } else {
      invocation.command = word;
    }
  }
  if (invocation.command.empty()) {
    if (!invocation.help) throw UsageError("No command given (see 'tidewell --help').");
    return invocation;
  }

  const CommandSpec& spec = *FindCommand(invocation.command);
  for (; i < args.size(); ++i) {
    std::string word = args[i];
    if (word == "--help" || word == "-h") {
      invocation.help = true;
      continue;
    }
    if (!word.starts_with("-")) {
      if (spec.argument == nullptr || !invocation.arguments.empty()) {
        throw UsageError("'" + invocation.command + "' takes no argument '" + word +
                         "' (see 'tidewell " + invocation.command + " --help').");
      }
      invocation.arguments.push_back(word);
      continue;
    }
    std::optional<std::string> inline_value;
    if (auto eq = word.find('='); word.rfind("--", 0) == 0 && eq != std::string::npos) {
      inline_value = word.substr(eq + 1);
      word.resize(eq);
    }
    auto option = std::find_if(spec.options.begin(), spec.options.end(),
                               [&](const OptionSpec& o) { return word == o.name; });
    if (option == spec.options.end()) {
      throw UsageError("'" + invocation.command + "' takes no option '" + word +
                       "' (see 'tidewell " + invocation.command + " --help').");
    }
    Option parsed{word, ""};
    if (option->takes_value) {
      if (inline_value) {
        parsed.value = *inline_value;
      } else if (i + 1 < args.size()) {
        parsed.value = args[++i];
      } else {
        throw UsageError(word + " needs a value.");
      }
      if (!option->choices.empty() && std::find(option->choices.begin(), option->choices.end(),
                                                parsed.value) == option->choices.end()) {
        std::string choices;
        for (const std::string& c : option->choices) choices += (choices.empty() ? "" : "|") + c;
        throw UsageError(word + " takes " + choices + ", not '" + parsed.value + "'.");
      }
    } else if (inline_value) {
      throw UsageError(word + " takes no value.");
    }
    invocation.options.push_back(parsed);
  }
  return invocation;
}

std::string HelpText(const std::string& command) {
  if (const CommandSpec* spec = FindCommand(command)) return spec->help;
  std::string text =
      "Tidewell: search and replace in the fields of contacts, appointments and tasks\n"
      "kept in vdir folders (vCard and iCalendar files).\n\n"
      "Usage: tidewell [--store DIR]... COMMAND [OPTIONS]\n\n"
      "  --store DIR   a store: a folder of address books and calendars, or one of\n"
      "                them. Repeat for more. Without it, the stores of the last call.\n\n"
      "Commands:\n";
  for (const CommandSpec& spec : Commands()) text += "\n" + std::string(spec.help);
  text +=
      "\nSettings: $XDG_CONFIG_HOME/Marrowby/Marrowby.ini. Logs: activity.jsonl and\n"
      "errors.jsonl in $XDG_STATE_HOME/Marrowby. 'tidewell COMMAND --help' for one command.\n";
  return text;
}

}  // namespace tidewell::cli
