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
      {"stores",
       {},
       "tidewell [--store DIR]... stores\n"
       "  Lists the stores in use, one per line: the folder, then where it came from\n"
       "  ('--store', 'remembered', or the configs of vdirsyncer, khard, khal and\n"
       "  todoman that name it), separated by a tab.\n"},
      {"show",
       {},
       "tidewell [--store DIR]... show\n"
       "  Prints the saved settings (search text, replacement, case flag, folders),\n"
       "  then the field selection the next run loads, one 'Key: value' line each, in\n"
       "  catalog order.\n"},
      {"set",
       {{"--search", true, {}},
        {"--replace", true, {}},
        {"--case", true, {"0", "1"}},
        {"--folder", true, {}}},
       "tidewell [--store DIR]... set [--search TEXT] [--replace TEXT] [--case 0|1]\n"
       "                              [--folder ENTRYID[@STOREID]|NAME]...\n"
       "  Sets the search text, the replacement, the case flag and the folders, and\n"
       "  saves them. Folders replace the folder list, in the order given; ENTRYID and\n"
       "  STOREID are what 'tidewell folders' prints, NAME a folder's name when no entry\n"
       "  id is that and exactly one folder has it (case ignored). An unknown folder or\n"
       "  an invalid search pattern changes nothing (exit 2).\n"},
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
       "  Changes the fields a run looks in, and saves them. Starts from the saved\n"
       "  selection or, when nothing is saved yet, from the defaults (every contact\n"
       "  field ticked), then applies the options in the order given. --select-all and\n"
       "  --clear-all tick or untick every contact field; --phone, --zip and --email\n"
       "  tick the contact fields of that kind; --appointments and --tasks tick or\n"
       "  untick all fields of appointments or tasks. KEY is a field's settings key (as\n"
       "  'tidewell show' prints them). --special sets the special instruction, e.g.\n"
       "  \"Only look in city/area codes\".\n"},
      {"replace",
       {{"--yes", false, {}},
        {"--search", true, {}},
        {"--replace", true, {}},
        {"--case", false, {}},
        {"--folder", true, {}},
        {"--fields", true, {}},
        {"--area-codes-only", false, {}},
        {"--dry-run", false, {}},
        {"--verbose", false, {}}},
       "tidewell [--store DIR]... replace [--yes] [--dry-run] [--verbose]\n"
       "          [--search TEXT --replace TEXT [--case]] [--folder FOLDER]...\n"
       "          [--fields FIELD,FIELD...] [--area-codes-only]\n"
       "  Runs the search and replace over every chosen field of every item of the\n"
       "  chosen folders. Without --yes it asks first (y/N). Prints each folder as it\n"
       "  comes to it, then what it updated; a progress bar on stderr when that is a\n"
       "  terminal.\n"
       "  The other options set the page for this run only, over the saved settings,\n"
       "  which they leave as they are (nor are the stores of --store remembered):\n"
       "    --search, --replace  the texts, given together; the case is ignored\n"
       "                         unless --case is given.\n"
       "    --folder FOLDER      a folder to search, by its entry id or, when no entry\n"
       "                         id is FOLDER, by its name (case ignored); the folders\n"
       "                         given replace the saved list.\n"
       "    --fields LIST        the fields to look in, instead of the saved ones: a\n"
       "                         comma list of field keys (as 'tidewell show' prints\n"
       "                         them) and of phone, zip, email (the field chooser's\n"
       "                         contact buttons), appointments, tasks (every field of\n"
       "                         that kind), all (every field).\n"
       "    --area-codes-only    the special instruction \"Only look in city/area\n"
       "                         codes\"; with --fields and without it, none.\n"
       "  --dry-run: a preview. Nothing is saved and no file is written (items, logs,\n"
       "  journal, settings); each change the run would make is printed instead, one\n"
       "  line each: FOLDER, ITEM, FIELD, OLD VALUE and NEW VALUE separated by tabs,\n"
       "  with a backslash, tab, line feed and carriage return in them written as\n"
       "  \\\\, \\t, \\n and \\r, a body as its plain text. The summary reads\n"
       "  'Would update N items in M folders'. Reports go to stderr only.\n"
       "  --verbose: the same change lines for a real run, as each item is saved.\n"
       "  Exit status: 0 every item handled; 1 the run ended through its failure\n"
       "  report; 2 usage or bad input (an invalid pattern, an unknown or ambiguous\n"
       "  folder: nothing is read); 3 the run finished but some items could not be\n"
       "  changed (their reports printed), and stderr ends with 'N items could not\n"
       "  be changed; see the reports above.'\n"},
      {"runs",
       {},
       "tidewell [--store DIR]... runs\n"
       "  Lists the runs of the undo journal, newest first, one per line: the number\n"
       "  that names it, its time, its 'Looking for' line (or the run an undo undid),\n"
       "  and how many fields in how many items it changed, separated by tabs.\n"},
      {"undo",
       {{"--yes", false, {}}},
       "tidewell [--store DIR]... undo [RUN] [--yes]\n"
       "  Gives every field the run changed its old value back, newest change first,\n"
       "  and saves each item once. RUN is a number or a time (or its start) that\n"
       "  'tidewell runs' prints; without it, the newest run. A field changed since the\n"
       "  run is skipped and listed, never overwritten. An undo is a run of its own:\n"
       "  undoing it writes the run's results back. Without --yes the confirmation is\n"
       "  asked on the terminal (y/N). Prints 'Restored N fields in M items; skipped\n"
       "  K.', then one line per skipped field: which, and why.\n"
       "  Exit status: 0 nothing skipped, 1 something skipped, 2 usage or bad input\n"
       "  (an unknown run).\n",
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
    } else if (word == "--version") {
      invocation.version = true;
    } else if (word == "--write-manuals") {
      if (i + 1 >= args.size()) throw UsageError("--write-manuals needs a folder.");
      invocation.manuals_dir = args[++i];
    } else if (word.rfind("-", 0) == 0) {
      throw UsageError("Unknown option '" + word + "' (see 'tidewell --help').");
    } else if (FindCommand(word) == nullptr) {
      throw UsageError("Unknown command '" + word + "' (see 'tidewell --help').");
    } else {
      invocation.command = word;
    }
  }
  if (invocation.command.empty()) {
    if (!invocation.help && !invocation.version && invocation.manuals_dir.empty()) {
      throw UsageError("No command given (see 'tidewell --help').");
    }
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

std::string HelpIntroduction() {
  return "Tidewell: search and replace in the fields of contacts, appointments and tasks\n"
         "kept in vdir folders (vCard and iCalendar files).\n\n"
         "Usage: tidewell [--store DIR]... COMMAND [OPTIONS]\n\n"
         "  --store DIR   a store: a folder of address books and calendars, or one of\n"
         "                them. Repeat for more. Without it, the stores of the last call;\n"
         "                without those, the stores the configs of vdirsyncer, khard,\n"
         "                khal and todoman name (see 'tidewell stores').\n"
         "  --version     prints the version and the git commit it was built from.\n";
}

std::string HelpClosing() {
  return "Exit status: 0 done (every item handled); 1 the run ended through its failure\n"
         "report; 2 usage or bad input, with a one-line reason (an invalid pattern, a\n"
         "store that is no readable folder: 'No such store: DIR'); 3 the run finished but\n"
         "some items could not be changed: their reports are printed, and stderr ends\n"
         "with 'N items could not be changed; see the reports above.'\n\n"
         "Settings: $XDG_CONFIG_HOME/Marrowby/Marrowby.ini. Logs: activity.jsonl and\n"
         "errors.jsonl in $XDG_STATE_HOME/Marrowby. 'tidewell COMMAND --help' for one command.\n";
}

std::string HelpText(const std::string& command) {
  if (const CommandSpec* spec = FindCommand(command)) return spec->help;
  std::string text = HelpIntroduction() + "\nCommands:\n";
  for (const CommandSpec& spec : Commands()) text += "\n" + std::string(spec.help);
  return text + "\n" + HelpClosing();
}

std::vector<OptionDescription> DescribeGlobalOptions() {
  return {{"--store", true, {}}, {"--help", false, {}}, {"--version", false, {}}};
}

namespace {

// The first sentence of the text below the usage lines, without what follows
// a comma, colon or parenthesis: "Lists every folder of the stores".
std::string Summary(const std::string& help) {
  std::string text;
  size_t at = 0;
  bool inUsage = true;
  while (at < help.size()) {
    size_t end = help.find('\n', at);
    if (end == std::string::npos) end = help.size();
    const std::string line = help.substr(at, end - at);
    at = end + 1;
    const bool described =
        line.starts_with("  ") && line.size() > 2 && line[2] != ' ' && line[2] != '[';
    if (inUsage && !described) continue;
    inUsage = false;
    text += (text.empty() ? "" : " ") + line.substr(line.find_first_not_of(' '));
  }
  text.resize(std::min(text.find_first_of(".,:("), text.size()));
  while (text.ends_with(' ')) text.pop_back();
  return text;
}

}  // namespace

std::vector<CommandDescription> DescribeCommands() {
  std::vector<CommandDescription> described;
  for (const CommandSpec& spec : Commands()) {
    CommandDescription command{spec.name, Summary(spec.help), spec.help, {}};
    for (const OptionSpec& option : spec.options) {
      command.options.push_back({option.name, option.takes_value, option.choices});
    }
    command.options.push_back({"--help", false, {}});
    described.push_back(std::move(command));
  }
  return described;
}

}  // namespace tidewell::cli
