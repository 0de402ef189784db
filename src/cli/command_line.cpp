#include "cli/command_line.h"

#include <algorithm>
#include <map>
#include <memory>

#include <CLI/CLI.hpp>

namespace tidewell::cli {

namespace {

constexpr size_t kWidth = 80;

// `words` filled into lines of at most kWidth columns, the first line
// starting with `first`, the others with `rest`.
std::string Filled(const std::vector<std::string>& words, const std::string& first,
                   const std::string& rest) {
  std::string filled;
  std::string line = first;
  bool empty = true;
  for (const std::string& word : words) {
    if (!empty && line.size() + 1 + word.size() > kWidth) {
      filled += line + "\n";
      line = rest;
      empty = true;
    }
    line += (empty ? "" : " ") + word;
    empty = false;
  }
  return filled + line + "\n";
}

// `text` filled as above; each '\n' in it starts a paragraph.
std::string Filled(const std::string& text, const std::string& first, const std::string& rest) {
  std::string filled;
  std::vector<std::string> words;
  for (size_t at = 0; at <= text.size();) {
    const size_t end = std::min(text.find_first_of(" \n", at), text.size());
    if (end > at) words.push_back(text.substr(at, end - at));
    if (end == text.size() || text[end] == '\n') {
      filled += Filled(words, first, rest);
      words.clear();
    }
    at = end + 1;
  }
  return filled;
}

bool Hidden(const CLI::Option* option) { return option->get_group().empty(); }

// "--case"; CLI11's get_name() is empty for a hidden option.
std::string Name(const CLI::Option* option) { return "--" + option->get_lnames().front(); }
bool IsHelp(const CLI::Option* option) { return option->check_lname("help"); }

// "--case 0|1", "--folder FOLDER", "--yes".
std::string Label(const CLI::Option* option) {
  if (option->get_positional()) return option->get_name(true);
  const std::string type = option->get_type_name();
  return Name(option) + (option->get_items_expected_max() == 0 ? "" : " " + type);
}

bool Repeatable(const CLI::Option* option) {
  return option->get_multi_option_policy() == CLI::MultiOptionPolicy::TakeAll;
}

// The usage lines of one command, from its options; an option and its
// value stay on one line.
std::string Usage(const CLI::App& command) {
  std::vector<std::string> words{"tidewell", "[--store", "DIR]...", command.get_name()};
  for (const CLI::Option* option : command.get_options()) {
    if (option->get_positional()) {
      words.push_back("[" + Label(option) + "]" + (Repeatable(option) ? "..." : ""));
    }
  }
  for (const CLI::Option* option : command.get_options()) {
    if (option->get_positional() || IsHelp(option) || Hidden(option)) continue;
    words.push_back("[" + Label(option) + "]" + (Repeatable(option) ? "..." : ""));
  }
  return Filled(words, "", "          ");
}

// The options that carry their own help, one per row: label, then its help.
std::string OptionTable(const CLI::App& app, const std::string& indent) {
  std::vector<const CLI::Option*> described = app.get_options([](const CLI::Option* option) {
    return !option->get_description().empty() && !Hidden(option);
  });
  size_t column = 0;
  for (const CLI::Option* option : described) column = std::max(column, Label(option).size());
  column += indent.size() + 2;
  std::string table;
  for (const CLI::Option* option : described) {
    std::string label = indent + Label(option);
    label.resize(column, ' ');
    table += Filled(option->get_description(), label, std::string(column, ' '));
  }
  return table;
}

std::string CommandHelp(const CLI::App& command) {
  std::string help = Usage(command) + Filled(command.get_description(), "  ", "  ");
  help += OptionTable(command, "    ");
  if (!command.get_footer().empty()) help += Filled(command.get_footer(), "  ", "  ");
  return help;
}

// What `--help` prints, from the descriptions on the App: the whole tool
// (the global options, every command, the footer) or one command.
class HelpFormatter : public CLI::FormatterBase {
 public:
  std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode) const override {
    if (app->get_parent() != nullptr) return CommandHelp(*app);
    std::string text = Introduction(*app) + "\nCommands:\n";
    for (const CLI::App* command : app->get_subcommands({})) text += "\n" + CommandHelp(*command);
    return text + "\nExit status:\n" + ExitStatusTable() + "\n" + Filled(app->get_footer(), "", "");
  }

  static std::string Introduction(const CLI::App& tool) {
    return Filled(tool.get_description(), "", "") +
           "\nUsage: tidewell [--store DIR]... COMMAND [OPTIONS]\n\n" + OptionTable(tool, "  ");
  }
};

// Each option is one line here: its name, what its value is called or its
// choices, whether it may be given more than once, and its help (where the
// command's text does not already say it). Commands read the options in the
// order given; "once" options take the last one given.
enum class Times { once, repeated };

CLI::App& Command(CLI::App& tool, const std::string& name, const std::string& description,
                  const std::string& footer = "") {
  CLI::App& command = *tool.add_subcommand(name, description);
  command.footer(footer);
  command.add_flag("-h,--help");
  return command;
}

void Flag(CLI::App& command, const std::string& name, const std::string& help = "") {
  // --yes=false would read as a given --yes: a flag takes no value at all.
  command.add_flag(name, help)->disable_flag_override();
}

void JsonFlag(CLI::App& command) {
  Flag(command, "--json",
       "print JSON Lines instead: one JSON object a line, its \"type\" saying which (see the "
       "README's 'JSON output').");
}

CLI::Option* Value(CLI::App& command, const std::string& name, const std::string& value_name,
                   Times times = Times::once, const std::string& help = "") {
  return command.add_option(name, help)
      ->type_name(value_name)
      ->multi_option_policy(times == Times::repeated ? CLI::MultiOptionPolicy::TakeAll
                                                     : CLI::MultiOptionPolicy::TakeLast);
}

std::string Joined(const std::vector<std::string>& words, const std::string& separator) {
  std::string joined;
  for (const std::string& word : words) joined += (joined.empty() ? "" : separator) + word;
  return joined;
}

// The value's name is its choices, "all|none": the usage shows them and the
// completions read them back from it.
void Choice(CLI::App& command, const std::string& name, const std::vector<std::string>& choices) {
  const CLI::Validator member = CLI::IsMember(choices);
  const std::string shown = Joined(choices, "|");
  Value(command, name, shown)
      ->check(CLI::Validator(
          [member, shown](std::string& value) {
            std::string copy = value;
            return member(copy).empty() ? std::string()
                                        : "takes " + shown + ", not '" + value + "'.";
          },
          "", "choices"));
}

std::unique_ptr<CLI::App> CommandLine() {
  auto tool = std::make_unique<CLI::App>(
      "Tidewell: search and replace in the fields of contacts, appointments and tasks kept in "
      "vdir folders (vCard and iCalendar files).",
      "tidewell");
  tool->formatter(std::make_shared<HelpFormatter>());
  // Help is a flag like any other so that it can name the command it is for.
  tool->set_help_flag();
  // Unknown words are told apart after parsing, in the user's terms.
  tool->allow_extras();
  tool->require_subcommand(0, 1);
  tool->add_flag("-h,--help");
  Value(*tool, "--store", "DIR", Times::repeated,
        "a store: a folder of address books and calendars, or one of them. Repeat for more. "
        "Without it, the stores of the last call; without those, the stores the configs of "
        "vdirsyncer, khard, khal and todoman name (see 'tidewell stores').");
  Value(*tool, "--user", "NAME", Times::once,
        "the login for a server store (a --store URL); without it, the user vdirsyncer's "
        "config names for that URL, else the netrc file's ($NETRC, else ~/.netrc), else it is "
        "asked on the terminal. The password is never an option.");
  Value(*tool, "--password-command", "CMD", Times::once,
        "a command whose first line of output is the server's password ('pass show dav'), "
        "split into words as a shell would split it but never run through a shell; without "
        "it, the setting PasswordCommand. Then the password.fetch (or password) of the "
        "vdirsyncer storage whose url the --store URL is or lies under, then the netrc file, "
        "else it is asked on the terminal, without echo.");
  Value(*tool, "--ca-file", "PEM", Times::once,
        "a file of certificate authorities (PEM) a server store's certificate may be signed "
        "by, besides the system's.");
  Flag(*tool, "--no-cache",
       "a server store reads every item from the server, rather than only what changed since "
       "the copy it keeps under $XDG_CACHE_HOME/tidewell (else ~/.cache/tidewell).");
  Flag(*tool, "--version", "prints the version and the git commit it was built from.");
  Value(*tool, "--write-manuals", "DIR")->group("");  // the build's, never shown

  JsonFlag(Command(*tool, "folders",
                   "Lists every folder of the stores, one per line: Name, EntryID and StoreID, "
                   "separated by tabs."));
  CLI::App& stores = Command(
      *tool, "stores",
      "Lists the stores in use, one per line: the folder, then where it came from "
      "('--store', 'remembered', or the configs of vdirsyncer, khard, khal and todoman that "
      "name it), separated by a tab. Then the CardDAV and CalDAV servers vdirsyncer's config "
      "names, one per line: the URL, the config, 'user: ' and who logs in, and 'password: ' "
      "and where the password comes from, separated by tabs. A --store is remembered for the "
      "calls after it; --forget "
      "DIR forgets that store and --forget-all every one, so that the configs name the stores "
      "again. Each store forgotten is printed.");
  Value(stores, "--forget", "DIR", Times::repeated);
  Flag(stores, "--forget-all");
  JsonFlag(stores);
  CLI::App& show = Command(
      *tool, "show",
      "Prints the saved settings (search text, replacement, case flag, folders), then the "
      "field selection the next run loads, one 'Key: value' line each, in catalog order. With "
      "FIELD names (any name of a field, as 'tidewell fields --list' prints them), only those "
      "fields' lines.");
  show.add_option("FIELD")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->expected(1, -1)
      ->allow_extra_args();

  CLI::App& set = Command(
      *tool, "set",
      "Sets the search text, the replacement, the case flag and the folders, and saves them. "
      "Folders replace the folder list, in the order given; ENTRYID and STOREID are what "
      "'tidewell folders' prints, NAME a folder's name when no entry id is that and exactly one "
      "folder has it (case ignored). An unknown folder or an invalid search pattern changes "
      "nothing (exit 2).");
  Value(set, "--search", "TEXT");
  Value(set, "--replace", "TEXT");
  Choice(set, "--case", {"0", "1"});
  Choice(set, "--regex", {"0", "1"});
  Value(set, "--folder", "ENTRYID[@STOREID]|NAME", Times::repeated);

  CLI::App& fields = Command(
      *tool, "fields",
      "Changes the fields a run looks in, and saves them. Starts from the saved selection or, "
      "when nothing is saved yet, from the defaults (every contact field ticked), then applies "
      "the options in the order given. --select-all and --clear-all tick or untick every "
      "contact field; --phone, --zip and --email tick the contact fields of that kind; "
      "--appointments and --tasks tick or untick all fields of appointments or tasks. FIELD is any "
      "name of a "
      "field, case and blanks ignored: its settings key (as 'tidewell show' prints them), the "
      "property a change line names, or its caption in the window; a name several fields "
      "share (\"Subject\", \"Body\") names them all. --list prints every field, one a line: "
      "its kind, key, property and caption, separated by tabs, and changes nothing. --special "
      "sets the special instruction, e.g. \"Only look in city/area codes\".");
  Flag(fields, "--select-all");
  Flag(fields, "--clear-all");
  Flag(fields, "--phone");
  Flag(fields, "--zip");
  Flag(fields, "--email");
  Choice(fields, "--appointments", {"all", "none"});
  Choice(fields, "--tasks", {"all", "none"});
  Value(fields, "--tick", "FIELD", Times::repeated);
  Value(fields, "--untick", "FIELD", Times::repeated);
  Flag(fields, "--list");
  Value(fields, "--special", "TEXT");

  CLI::App& replace = Command(
      *tool, "replace",
      "Runs the search and replace over every chosen field of every item of the chosen "
      "folders. Without --yes it asks first (y/N): declined, it prints 'Nothing was changed.' "
      "(exit 1); with no answer to read (standard input closed), it stops before reading "
      "anything (exit 2). Prints each folder as it comes to it, then what it updated; a progress "
      "bar on stderr when that is a terminal. A run needs a folder (--folder, or saved with "
      "'tidewell set') and a field selection (--fields, or saved with 'tidewell fields'); "
      "without one it stops before reading anything (exit 2). A run that matched nothing says "
      "so on stderr: 'Nothing matched 'TEXT' in N items of M folders.'\n"
      "The other options set the page for this run only, over the saved settings, which they "
      "leave as they are (nor are the stores of --store remembered):",
      "--dry-run: a preview. Nothing is saved and no file is written (items, logs, journal, "
      "settings); each change the run would make is printed instead, one line each: FOLDER, "
      "ITEM, FIELD, OLD VALUE and NEW VALUE separated by tabs, with a backslash, tab, line feed "
      "and carriage return in them written as \\\\, \\t, \\n and \\r, a body as its plain text. "
      "The summary reads 'Would update N items in M folders'. Reports go to stderr only. A "
      "preview never asks and never waits for another run.\n"
      "--verbose: the same change lines for a real run, as each item is saved.\n"
      "One run at a time: while another Tidewell run is going on this one waits for it, or "
      "with --no-wait gives up. Ctrl-C (or SIGTERM) stops after the item in hand. Values no "
      "field stands for are counted on stderr by property; --verbose lists each.\n"
      "Exit status: see 'tidewell --help'.");
  Flag(replace, "--yes");
  Flag(replace, "--no-wait");
  Flag(replace, "--dry-run");
  Flag(replace, "--verbose");
  JsonFlag(replace);
  Flag(replace, "--fail-if-none", "exit 1 when nothing matched (as grep does).");
  Value(replace, "--search", "TEXT", Times::once,
        "the text to look for, given together with --replace; the case is ignored unless "
        "--case is given.");
  Value(replace, "--replace", "TEXT", Times::once, "its replacement, given with --search.");
  Flag(replace, "--case", "the case of --search counts.");
  Flag(replace, "--regex",
       "the search text is a regular expression (PCRE2), for this run; 'set --regex 1' "
       "keeps it so.");
  replace.footer(replace.get_footer() +
                 "\nPatterns: classic unless --regex: ^ and $ anchor at the pattern's ends, . is "
                 "any character, [a-z] a list, ? * + repeat what stands before, {...} a tag, \\ "
                 "escapes; ( ) | and \\d are literal. The replacement takes \\1..\\9 for a "
                 "tag. With --regex, PCRE2's syntax (\\d, (...), a|b, {n}, (?=...)), and $1..$9 "
                 "or \\1..\\9 in the replacement. The case is ignored in both unless --case. "
                 "See PATTERNS in 'man tidewell'.");
  Flag(replace, "--notify-attendees",
       "on a server that e-mails attendees of the events it stores (implicit scheduling), "
       "change events with attendees too, without asking. Without it the run asks once "
       "before changing any (y/N; --yes does not answer it); declined, or with no terminal to "
       "ask, they are skipped with a note on stderr.");
  Value(replace, "--folder", "FOLDER", Times::repeated,
        "a folder to search, by its entry id (as 'tidewell folders' prints it, or its path "
        "below any folder above its store) or, when no entry id is FOLDER, by its name (case "
        "ignored); 'all' for every folder of the stores in use, unless a folder has that name. "
        "The folders given replace the saved list.");
  Value(
      replace, "--fields", "FIELD,FIELD...", Times::once,
      "the fields to look in, instead of the saved ones: a comma list of field names (any "
      "name 'tidewell fields --list' prints) and of phone, zip, email (the field chooser's contact "
      "buttons), appointments, tasks (every field of that kind), all (every field).");
  Flag(replace, "--area-codes-only",
       "the special instruction \"Only look in city/area codes\"; with --fields and without "
       "it, none.");

  CLI::App& runs = Command(
      *tool, "runs",
      "Lists the runs of the undo journal, newest first, one per line: the id that names it for "
      "good, its local time with its offset, its 'Looking for' line (or the run an undo undid), "
      "and how many fields "
      "in how many items it changed, separated by tabs (', undone' when an undo took it back; "
      "', partly undone (N of M fields)' when an undo of it was killed or stopped; ', damaged "
      "(N records unreadable)' when part of its journal was lost). "
      "--show RUN prints that run's changes instead, one per line as a preview prints them: "
      "folder, item, field, old value, new value, separated by tabs; exit 3 for a damaged "
      "run.");
  Value(runs, "--show", "RUN");
  JsonFlag(runs);

  CLI::App& undo = Command(
      *tool, "undo",
      "Gives every field the run changed its old value back, newest change first, and saves "
      "each item once, in the stores the run changed whatever --store names. RUN is an id that "
      "'tidewell runs' prints; without it, the newest run that is no undo and has changes still "
      "to undo (a partly undone one too; a run that changed nothing never). An undo that was "
      "killed or stopped is finished by the next: it restores only the fields still to "
      "restore. A field changed since the run is skipped and listed, never overwritten. An undo is "
      "a run of its own, with an id of its own: undoing "
      "it writes the run's results back. Without --yes the confirmation is asked on the "
      "terminal (y/N). Prints 'Restored N fields in M items; skipped K.', then one line per "
      "skipped field: which, and why. Waits for another run like replace (--no-wait). "
      "Declined, it prints 'Nothing was changed.' (exit 1); with no answer to read, it stops "
      "(exit 2).\n"
      "Exit status: see 'tidewell --help'; 1 also when a field was skipped, 3 when the run's "
      "journal is damaged (what could be read was restored).");
  undo.add_option("RUN");
  Flag(undo, "--yes");
  Flag(undo, "--no-wait");
  Flag(undo, "--notify-attendees",
       "as for replace: on a server that e-mails attendees, undo the changes of events with "
       "attendees too, without asking; without it the undo asks once (y/N; --yes does not "
       "answer it), and declined they are skipped and listed.");

  tool->footer(
      "Settings: $XDG_CONFIG_HOME/Marrowby/Marrowby.ini. Logs: activity.jsonl and errors.jsonl "
      "in $XDG_STATE_HOME/Marrowby. 'tidewell COMMAND --help' for one command.");
  return tool;
}

// The first word CLI11 left over, in the user's terms: before the command
// an unknown option or command, after it a word the command does not take.
void RefuseLeftovers(const CLI::App& tool, const CLI::App* command) {
  const std::vector<std::string> before = tool.remaining();
  if (!before.empty()) {
    const std::string& word = before.front();
    throw UsageError((word.starts_with("-") ? "Unknown option '" : "Unknown command '") + word +
                     "' (see 'tidewell --help').");
  }
  if (command == nullptr || command->remaining().empty()) return;
  std::string word = command->remaining().front();
  const std::string name = command->get_name();
  if (word.starts_with("-")) {
    word.resize(std::min(word.find('='), word.size()));
    throw UsageError("'" + name + "' takes no option '" + word + "' (see 'tidewell " + name +
                     " --help').");
  }
  throw UsageError("'" + name + "' takes no argument '" + word + "' (see 'tidewell " + name +
                   " --help').");
}

// CLI11's reasons, in ours. Its texts name the option first: "--search: 1
// required TEXT missing", "yes was given a disallowed flag override",
// "--case: takes 0|1, not '2'.".
UsageError Translated(const CLI::ParseError& error) {
  const std::string what = error.what();
  const std::string option = what.substr(0, std::min(what.find_first_of(": "), what.size()));
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) {
    // A flag's override names it without its dashes: "yes was given ...".
    if (what.ends_with("disallowed flag override")) {
      return UsageError((option.starts_with("-") ? "" : "--") + option + " takes no value.");
    }
    if (what.ends_with("missing")) return UsageError(option + " needs a value.");
  }
  if (dynamic_cast<const CLI::ValidationError*>(&error) != nullptr &&
      what.starts_with(option + ": ")) {
    return UsageError(option + " " + what.substr(option.size() + 2));
  }
  return UsageError(what + " (see 'tidewell --help').");
}

// The occurrences of `app`'s options in the order given, each with its value.
std::vector<Option> InOrder(const CLI::App& app, std::vector<std::string>* positionals) {
  std::vector<Option> options;
  std::map<const CLI::Option*, size_t> used;
  for (const CLI::Option* option : app.parse_order()) {
    const std::string value = option->results().at(used[option]++);
    if (option->get_positional()) {
      if (positionals != nullptr) positionals->push_back(value);
    } else if (!IsHelp(option)) {
      options.push_back({Name(option), option->get_items_expected_max() == 0 ? "" : value});
    }
  }
  return options;
}

std::vector<std::string> Choices(CLI::Option* option) {
  std::vector<std::string> choices;
  try {
    option->get_validator("choices");
  } catch (const CLI::OptionNotFound&) {
    return choices;
  }
  const std::string shown = option->get_type_name();
  for (size_t at = 0; at <= shown.size();) {
    const size_t bar = std::min(shown.find('|', at), shown.size());
    choices.push_back(shown.substr(at, bar - at));
    at = bar + 1;
  }
  return choices;
}

OptionDescription Described(CLI::Option* option) {
  return {Name(option), option->get_items_expected_max() != 0, Choices(option)};
}

// The first sentence of a description, without what follows a comma, colon
// or parenthesis: "Lists every folder of the stores".
std::string Summary(std::string text) {
  text.resize(std::min(text.find_first_of(".,:(\n"), text.size()));
  while (text.ends_with(' ')) text.pop_back();
  return text;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> ExitStatuses() {
  return {
      {"0", "done: every item handled (a run that matched nothing too, without --fail-if-none)"},
      {"1",
       "the run ended through its failure report (a save refused, the undo journal could not "
       "be written); a confirmation was declined ('Nothing was changed.'); nothing matched, "
       "with --fail-if-none; undo skipped a field"},
      {"2",
       "usage or bad input, with a one-line reason, before anything is read: an invalid "
       "pattern, an unknown or ambiguous folder or field, no folder or no field chosen, a "
       "--store that is no readable folder ('No such store: DIR') or holds no address book or "
       "calendar, no answer to the question (pass --yes), another run going on (with "
       "--no-wait)"},
      {"3",
       "the run finished but some items could not be changed (their reports printed, then 'N "
       "items could not be changed; see the reports above.'); an undo of a damaged run "
       "restored what it could read and names what it could not"},
      {"130", "stopped by SIGINT (Ctrl-C) after the item in hand"},
      {"143", "stopped by SIGTERM after the item in hand"},
  };
}

std::string ExitStatusTable() {
  std::string table;
  for (const auto& [status, meaning] : ExitStatuses()) {
    std::string label = "  " + status;
    label.resize(7, ' ');
    table += Filled(meaning, label, std::string(7, ' '));
  }
  return table;
}

Invocation ParseCommandLine(const std::vector<std::string>& args) {
  const auto tool = CommandLine();
  std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes them backwards
  try {
    tool->parse(reversed);
  } catch (const CLI::ParseError& error) {
    throw Translated(error);
  }
  const std::vector<CLI::App*> given = tool->get_subcommands();
  const CLI::App* command = given.empty() ? nullptr : given.front();
  RefuseLeftovers(*tool, command);

  Invocation invocation;
  for (const Option& option : InOrder(*tool, nullptr)) {
    if (option.name == "--store") invocation.stores.push_back(option.value);
    if (option.name == "--user") invocation.user = option.value;
    if (option.name == "--ca-file") invocation.ca_file = option.value;
    if (option.name == "--password-command") invocation.password_command = option.value;
    if (option.name == "--no-cache") invocation.no_cache = true;
    if (option.name == "--version") invocation.version = true;
    if (option.name == "--write-manuals") invocation.manuals_dir = option.value;
  }
  invocation.help = tool->get_option("--help")->count() > 0;
  if (command != nullptr) {
    invocation.command = command->get_name();
    invocation.options = InOrder(*command, &invocation.arguments);
    invocation.help = invocation.help || command->get_option("--help")->count() > 0;
  } else if (!invocation.help && !invocation.version && invocation.manuals_dir.empty()) {
    throw UsageError("No command given (see 'tidewell --help').");
  }
  return invocation;
}

std::string HelpText(const std::string& command) {
  const auto tool = CommandLine();
  for (const CLI::App* sub : tool->get_subcommands({})) {
    if (sub->get_name() == command) return sub->help();
  }
  return tool->help();
}

std::string HelpIntroduction() { return HelpFormatter::Introduction(*CommandLine()); }

std::string HelpClosing() { return Filled(CommandLine()->get_footer(), "", ""); }

std::vector<OptionDescription> DescribeGlobalOptions() {
  const auto tool = CommandLine();
  std::vector<OptionDescription> described;
  for (CLI::Option* option : tool->get_options({})) {
    if (!Hidden(option) && !IsHelp(option)) described.push_back(Described(option));
  }
  described.push_back({"--help", false, {}});
  return described;
}

std::vector<CommandDescription> DescribeCommands() {
  const auto tool = CommandLine();
  std::vector<CommandDescription> described;
  for (CLI::App* sub : tool->get_subcommands({})) {
    CommandDescription command{sub->get_name(), Summary(sub->get_description()), sub->help(), {}};
    for (CLI::Option* option : sub->get_options({})) {
      if (!option->get_positional() && !IsHelp(option))
        command.options.push_back(Described(option));
    }
    command.options.push_back({"--help", false, {}});
    described.push_back(std::move(command));
  }
  return described;
}

}  // namespace tidewell::cli
