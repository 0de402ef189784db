#include "cli/command_line.h"

#include <algorithm>
#include <map>
#include <memory>

#include <CLI/CLI.hpp>

#include "cli/command_app.h"
#include "cli/suggestions.h"

namespace tidewell::cli {

namespace {

// Each option is one line here: its name, what its value is called or its
// choices, whether it may be given more than once, and its help (where the
// command's text does not already say it). Commands read the options in the
// order given; "once" options take the last one given.
enum class Times { once, repeated };

CLI::App& Command(CLI::App& tool, const std::string& name, const std::string& description,
                  const std::string& footer = "") {
  CLI::App& command = *tool.add_subcommand(name, description);
  command.footer(footer);
  command.add_flag("-h,--help")->option_text("print this command's full text");
  return command;
}

CLI::Option* Flag(CLI::App& command, const std::string& name, const std::string& help = "") {
  // --yes=false would read as a given --yes: a flag takes no value at all.
  return command.add_flag(name, help)->disable_flag_override();
}

CLI::Option* JsonFlag(CLI::App& command) {
  return Flag(command, "--json",
              "print JSON Lines instead: one JSON object a line, its \"type\" saying which (see "
              "the README's 'JSON output').");
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

// The few words a completion shows beside an option that has no help of its
// own: CLI11 shows an option's text only through its own formatter, which
// this tool does not use.
CLI::Option* Brief(CLI::Option* option, const std::string& words) {
  return option->option_text(words);
}

// The value's name is its choices, "all|none": the usage shows them and the
// completions read them back from it.
CLI::Option* Choice(CLI::App& command, const std::string& name,
                    const std::vector<std::string>& choices) {
  const CLI::Validator member = CLI::IsMember(choices);
  const std::string shown = Joined(choices, "|");
  return Value(command, name, shown)
      ->check(CLI::Validator(
          [member, shown](std::string& value) {
            std::string copy = value;
            return member(copy).empty() ? std::string()
                                        : "takes " + shown + ", not '" + value + "'.";
          },
          "", "choices"));
}

// The options a user may give `app`, by their long names.
std::vector<std::string> OptionNames(const CLI::App& app) {
  std::vector<std::string> names;
  for (const CLI::Option* option : app.get_options()) {
    if (!option->get_positional() && !Hidden(option)) names.push_back(Name(option));
  }
  return names;
}

// The first word CLI11 left over, in the user's terms: before the command
// an unknown option or command, after it a word the command does not take.
void RefuseLeftovers(const CLI::App& tool, const CLI::App* command) {
  const std::vector<std::string> before = tool.remaining();
  if (!before.empty()) {
    std::string word = before.front();
    if (!word.starts_with("-")) {
      std::vector<std::string> names;
      for (const CLI::App* known : VisibleCommands(tool)) names.push_back(known->get_name());
      throw UsageError(
          WithSuggestion("Unknown command '" + word + "' (see 'tidewell --help').", word, names));
    }
    word.resize(std::min(word.find('='), word.size()));
    throw UsageError(WithSuggestion("Unknown option '" + word + "' (see 'tidewell --help').", word,
                                    OptionNames(tool)));
  }
  if (command == nullptr || command->remaining().empty()) return;
  std::string word = command->remaining().front();
  const std::string name = command->get_name();
  if (word.starts_with("-")) {
    word.resize(std::min(word.find('='), word.size()));
    throw UsageError(WithSuggestion(
        "'" + name + "' takes no option '" + word + "' (see 'tidewell " + name + " --help').", word,
        OptionNames(*command)));
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
  return {Name(option), option->get_items_expected_max() != 0, Choices(option),
          option->get_type_name(), OptionSummary(option)};
}

// The options before the command.
void AddToolOptions(CLI::App& tool) {
  Value(tool, "--store", "DIR", Times::repeated,
        "a store: a folder of address books and calendars, or one of them. Repeat for more. "
        "Without it, the stores of the last call; without those, the stores the configs of "
        "vdirsyncer, khard, khal and todoman name (see 'tidewell stores').");
  Value(tool, "--user", "NAME", Times::once,
        "the login for a server store (a --store URL); without it, the user vdirsyncer's "
        "config names for that URL, else the netrc file's ($NETRC, else ~/.netrc), else it is "
        "asked on the terminal. The password is never an option.");
  Value(tool, "--password-command", "CMD", Times::once,
        "a command whose first line of output is the server's password ('pass show dav'), "
        "split into words as a shell would split it but never run through a shell; without "
        "it, the setting PasswordCommand. Then the password.fetch (or password) of the "
        "vdirsyncer storage whose url the --store URL is or lies under, then the netrc file, "
        "else it is asked on the terminal, without echo.");
  Value(tool, "--ca-file", "PEM", Times::once,
        "a file of certificate authorities (PEM) a server store's certificate may be signed "
        "by, besides the system's.");
  Flag(tool, "--no-cache",
       "a server store reads every item from the server, rather than only what changed since "
       "the copy it keeps under $XDG_CACHE_HOME/tidewell (else ~/.cache/tidewell).");
  Flag(tool, "-V,--version", "prints the version and the git commit it was built from.");
  Value(tool, "--write-manuals", "DIR")->group("");  // the build's, never shown
}

// The commands that only print: folders, stores, show.
void AddListings(CLI::App& tool) {
  JsonFlag(Command(tool, "folders",
                   "Lists every folder of the stores, one per line: Name, EntryID and StoreID, "
                   "separated by tabs."));
  CLI::App& stores = Command(
      tool, "stores",
      "Lists the stores in use, one per line: the folder, then where it came from "
      "('--store', 'remembered', or the configs of vdirsyncer, khard, khal and todoman that "
      "name it), separated by a tab. Then the CardDAV and CalDAV servers vdirsyncer's config "
      "names, one per line: the URL, the config, 'user: ' and who logs in, and 'password: ' "
      "and where the password comes from, separated by tabs. A --store is remembered for the "
      "calls after it; --forget "
      "DIR forgets that store and --forget-all every one, so that the configs name the stores "
      "again. Each store forgotten is printed.");
  Brief(Value(stores, "--forget", "DIR", Times::repeated), "forget a store --store remembered");
  Brief(Flag(stores, "--forget-all"), "forget every remembered store");
  JsonFlag(stores);
  CLI::App& show = Command(
      tool, "show",
      "Prints the saved settings (search text, replacement, case flag, folders), then the "
      "field selection the next run loads, one 'Key: value' line each, in catalog order. With "
      "FIELD names (any name of a field, as 'tidewell fields --list' prints them), only those "
      "fields' lines.");
  show.add_option("FIELD")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->expected(1, -1)
      ->allow_extra_args();
}

void AddSet(CLI::App& tool) {
  CLI::App& set = Command(
      tool, "set",
      "Sets the search text, the replacement, the case flag and the folders, and saves them. "
      "Folders replace the folder list, in the order given; ENTRYID and STOREID are what "
      "'tidewell folders' prints, NAME a folder's name when no entry id is that and exactly one "
      "folder has it (case ignored). An unknown folder or an invalid search pattern changes "
      "nothing (exit 2).");
  Brief(Value(set, "--search", "TEXT"), "the search text");
  Brief(Value(set, "--replace", "TEXT"), "the replacement");
  Brief(Choice(set, "--case", {"0", "1"}), "1: the case counts");
  Brief(Choice(set, "--regex", {"0", "1"}), "1: the search text is a regular expression");
  Brief(Value(set, "--folder", "ENTRYID[@STOREID]|NAME", Times::repeated),
        "a folder to search; the folders given replace the list");
}

void AddFields(CLI::App& tool) {
  CLI::App& fields = Command(
      tool, "fields",
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
  Brief(Flag(fields, "--select-all"), "tick every contact field");
  Brief(Flag(fields, "--clear-all"), "untick every contact field");
  Brief(Flag(fields, "--phone"), "tick the contact phone fields");
  Brief(Flag(fields, "--zip"), "tick the contact zip/postal code fields");
  Brief(Flag(fields, "--email"), "tick the contact e-mail fields");
  Brief(Choice(fields, "--appointments", {"all", "none"}),
        "tick or untick every appointment field");
  Brief(Choice(fields, "--tasks", {"all", "none"}), "tick or untick every task field");
  Brief(Value(fields, "--tick", "FIELD", Times::repeated), "tick a field");
  Brief(Value(fields, "--untick", "FIELD", Times::repeated), "untick a field");
  Brief(Flag(fields, "--list"), "print every field: kind, key, property and caption");
  Brief(Value(fields, "--special", "TEXT"), "the special instruction");
}

void AddReplace(CLI::App& tool) {
  CLI::App& replace = Command(
      tool, "replace",
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
      "Exit status: see EXIT STATUS in 'man tidewell'.");
  Brief(Flag(replace, "--yes"), "run without asking first");
  Brief(Flag(replace, "--no-wait"), "give up while another run is going on");
  Brief(Flag(replace, "--dry-run"), "a preview: print each change, write nothing");
  Brief(Flag(replace, "--verbose"), "print each change as it is saved");
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
}

void AddRunsAndUndo(CLI::App& tool) {
  CLI::App& runs = Command(
      tool, "runs",
      "Lists the runs of the undo journal, newest first, one per line: the id that names it for "
      "good, its local time with its offset, its 'Looking for' line (or the run an undo "
      "undid), and how many fields "
      "in how many items it changed, separated by tabs (', undone' when an undo took it back; "
      "', partly undone (N of M fields)' when an undo of it was killed or stopped; ', damaged "
      "(N records unreadable)' when part of its journal was lost). "
      "--show RUN prints that run's changes instead, one per line as a preview prints them: "
      "folder, item, field, old value, new value, separated by tabs; exit 3 for a damaged "
      "run.");
  Brief(Value(runs, "--show", "RUN"), "print that run's changes");
  JsonFlag(runs);

  CLI::App& undo = Command(
      tool, "undo",
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
      "Exit status: see EXIT STATUS in 'man tidewell'; 1 also when a field was skipped, 3 when the "
      "run's "
      "journal is damaged (what could be read was restored).");
  undo.add_option("RUN");
  Brief(Flag(undo, "--yes"), "undo without asking first");
  Brief(Flag(undo, "--no-wait"), "give up while another run is going on");
  Flag(undo, "--notify-attendees",
       "as for replace: on a server that e-mails attendees, undo the changes of events with "
       "attendees too, without asking; without it the undo asks once (y/N; --yes does not "
       "answer it), and declined they are skipped and listed.");
}

// `help [COMMAND]`, and the words the shell completions ask for (hidden).
void AddHelpAndComplete(CLI::App& tool) {
  CLI::App& help = Command(tool, "help",
                           "Prints the full text of COMMAND, as 'tidewell COMMAND --help' does; "
                           "without one, the overview 'tidewell --help' prints.");
  help.add_option("COMMAND");
  CLI::App& complete = Command(tool, "complete",
                               "Prints the folder ids, field names or run ids a shell completes, "
                               "one a line: the word, a tab, what it names. Never asks.");
  complete.group("");
  complete.add_option("WORDS")->required()->check(CLI::IsMember({"folders", "fields", "runs"}));
}

// What `tidewell help COMMAND` asks for: COMMAND's help, which reads as if
// it were `tidewell COMMAND --help`.
void ReadHelpCommand(const CLI::App& tool, Invocation& invocation) {
  invocation.help = true;
  invocation.command.clear();
  if (invocation.arguments.empty()) return;
  const std::string named = invocation.arguments.front();
  invocation.arguments.clear();
  std::vector<std::string> names;
  for (const CLI::App* command : VisibleCommands(tool)) names.push_back(command->get_name());
  if (std::find(names.begin(), names.end(), named) == names.end()) {
    throw UsageError(
        WithSuggestion("Unknown command '" + named + "' (see 'tidewell --help').", named, names));
  }
  invocation.command = named;
}

}  // namespace

std::unique_ptr<CLI::App> CommandLine() {
  auto tool = std::make_unique<CLI::App>(
      "Tidewell: search and replace in the fields of contacts, appointments and tasks kept in "
      "vdir folders (vCard and iCalendar files).",
      "tidewell");
  UseHelpFormatter(*tool);
  // Help is a flag like any other so that it can name the command it is for.
  tool->set_help_flag();
  // Unknown words are told apart after parsing, in the user's terms.
  tool->allow_extras();
  tool->require_subcommand(0, 1);
  tool->add_flag("-h,--help")->description("prints this overview; with a command, its full text.");
  AddToolOptions(*tool);
  AddListings(*tool);
  AddSet(*tool);
  AddFields(*tool);
  AddReplace(*tool);
  AddRunsAndUndo(*tool);
  AddHelpAndComplete(*tool);
  tool->footer(
      "'tidewell help COMMAND' (or 'tidewell COMMAND --help') prints a command's full text; "
      "'man tidewell' has the patterns, examples, exit statuses, files and environment.");
  return tool;
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
  if (invocation.command == "help") ReadHelpCommand(*tool, invocation);
  return invocation;
}

std::vector<OptionDescription> DescribeGlobalOptions() {
  const auto tool = CommandLine();
  std::vector<OptionDescription> described;
  for (CLI::Option* option : tool->get_options({})) {
    if (!Hidden(option)) described.push_back(Described(option));
  }
  return described;
}

std::vector<CommandDescription> DescribeCommands() {
  const auto tool = CommandLine();
  std::vector<CommandDescription> described;
  for (CLI::App* sub :
       tool->get_subcommands([](CLI::App* app) { return !app->get_group().empty(); })) {
    CommandDescription command{
        sub->get_name(), FirstSentence(sub->get_description()), sub->help(), {}, ""};
    for (CLI::Option* option : sub->get_options({})) {
      if (option->get_positional()) {
        command.argument = option->get_name();
      } else {
        command.options.push_back(Described(option));
      }
    }
    described.push_back(std::move(command));
  }
  return described;
}

}  // namespace tidewell::cli
