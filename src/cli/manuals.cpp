#include "cli/manuals.h"

#include <fstream>
#include <stdexcept>

#include "app/manual_page.h"
#include "cli/command_line.h"

namespace tidewell::cli {
namespace {

std::string Join(const std::vector<std::string>& words, const std::string& separator) {
  std::string joined;
  for (const std::string& word : words) joined += (joined.empty() ? "" : separator) + word;
  return joined;
}

std::vector<std::string> OptionNames(const std::vector<OptionDescription>& options) {
  std::vector<std::string> names;
  for (const OptionDescription& option : options) names.push_back(option.name);
  return names;
}

// A single-quoted shell word: the summaries hold apostrophes.
std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (char ch : text) out += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
  return out + "'";
}

void Write(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) throw std::runtime_error("Cannot write " + path + ".");
}

// The two pattern syntaxes, for the PATTERNS section.
std::string PatternsText() {
  return "The search text is read in the classic syntax unless --regex is given (or 'set --regex "
         "1' saved it).\n"
         "\n"
         "Classic syntax, character by character:\n"
         "  ^        the start of the text, when first in the pattern; elsewhere literal\n"
         "  $        the end of the text, when last in the pattern; elsewhere literal\n"
         "  .        any one character, line breaks included\n"
         "  [abc]    one of the listed characters; [^abc] any other; [a-z] a range\n"
         "  ? * +    zero or one, zero or more, one or more of the character, '.', list or tag\n"
         "           just before; with nothing before (first, after ^ or {) a literal\n"
         "  \\        the next character literally; \\t \\n \\r \\a \\b \\f \\v are "
         "control characters\n"
         "           (\\b is a backspace, \\d the letter d)\n"
         "  {...}    a tag: groups what it encloses and keeps its match for \\1..\\9\n"
         "  anything else, ( ) | and } included, is literal: '(555)' finds (555).\n"
         "In the replacement \\0 is the whole match, \\1..\\9 a tag, \\\\ one backslash; "
         "the rest is literal.\n"
         "\n"
         "With --regex, the syntax of PCRE2 (see pcre2pattern(3)): \\d \\w \\s, (...) groups, "
         "a|b,\n"
         "{n,m} counts, lookarounds such as (?=...), (?i) and the rest. \\w and \\d take the "
         "letters and\n"
         "digits of every script; . stops at a line feed. In the replacement $0..$9 and \\0..\\9 "
         "insert\n"
         "the match and its groups, $$ is one $ and \\\\ one backslash.\n"
         "\n"
         "In both, the case is ignored (Unicode case folding: müller finds MÜLLER) unless --case "
         "is\n"
         "given, and a match of no characters counts as none. An invalid pattern is refused with "
         "its\n"
         "fault and position (exit 2); a pattern that would take too long on a text fails with "
         "'The\n"
         "pattern is too complex for this text.' A classic pattern that found nothing and holds\n"
         "\\d, \\w, |, +, (? or a {n} count prints a note on stderr.\n"
         "\n"
         "Examples: replace --search '555-' --replace '777-' (classic: literal text);\n"
         "replace --regex --search '555-(\\d{3})' --replace '777-$1' changes 555-987-6543 to "
         "777-987-6543.\n";
}

// Jobs that work as printed, each the way a user would first try it.
std::string ExamplesText() {
  return "Change the area code 555 to 777 in every contact phone number, after a preview:\n"
         "  tidewell replace --search 555 --replace 777 --fields phone --area-codes-only \\\n"
         "           --folder contacts/default --dry-run\n"
         "  tidewell replace --search 555 --replace 777 --fields phone --area-codes-only \\\n"
         "           --folder contacts/default\n"
         "\n"
         "Move every e-mail address from one domain to another, without asking:\n"
         "  tidewell replace --search '@example\\.com$' --replace '@example.org' --fields email "
         "\\\n"
         "           --folder all --yes\n"
         "\n"
         "Save the settings once, then preview and run them over one folder only:\n"
         "  tidewell set --search 'Acme Ltd' --replace 'Acme GmbH' --folder contacts/work\n"
         "  tidewell fields --clear-all --tick CompanyName\n"
         "  tidewell replace --dry-run\n"
         "  tidewell replace --folder contacts/work\n"
         "\n"
         "A regular expression: 555-987-6543 becomes 777-987-6543:\n"
         "  tidewell replace --regex --search '555-(\\d{3})' --replace '777-$1' --fields phone\n"
         "\n"
         "Take a run back by its id, as 'tidewell runs' prints it:\n"
         "  tidewell runs\n"
         "  tidewell undo 20260312T091500.042Z-4711\n"
         "\n"
         "On a CardDAV or CalDAV server, the password from a password manager:\n"
         "  tidewell --store https://dav.example.com/dav/ --user me \\\n"
         "           --password-command 'pass show dav' folders\n"
         "  tidewell --store https://dav.example.com/dav/ replace --search 555 --replace 777 \\\n"
         "           --fields phone --folder all --dry-run\n";
}

std::string FilesText() {
  return "$XDG_CONFIG_HOME/Marrowby/Marrowby.ini\n"
         "       the settings: the page's in [Tidewell], the remembered stores and the\n"
         "       password command in [Host], the journal's retention in [Journal]\n"
         "$XDG_STATE_HOME/Marrowby/activity.jsonl, errors.jsonl\n"
         "       the activity log and undo journal, and the failure reports, one JSON\n"
         "       object a line; older runs in activity-RUN.jsonl and errors-RUN.jsonl\n"
         "$XDG_STATE_HOME/Marrowby/activity.index, activity.lock\n"
         "       the run index (rebuilt from the logs when lost) and the run lock\n"
         "$XDG_CACHE_HOME/tidewell\n"
         "       the copy of each server store's items (--no-cache reads them fresh)\n"
         "~/.netrc\n"
         "       logins for server stores, unless $NETRC names another file\n"
         "The configs of vdirsyncer, khard, khal and todoman, read to find the stores and\n"
         "servers (see ENVIRONMENT).\n";
}

// The variables the program reads, and nothing else.
std::string EnvironmentText() {
  return "HOME                where ~ and the defaults below are\n"
         "XDG_CONFIG_HOME     the settings and the peers' configs (default ~/.config)\n"
         "XDG_CONFIG_DIRS     more folders of khal's and todoman's configs (default /etc/xdg)\n"
         "XDG_STATE_HOME      the logs and the undo journal (default ~/.local/state)\n"
         "XDG_CACHE_HOME      the copy of a server store's items (default ~/.cache)\n"
         "VDIRSYNCER_CONFIG   vdirsyncer's config (default ~/.vdirsyncer/config, else\n"
         "                    $XDG_CONFIG_HOME/vdirsyncer/config)\n"
         "KHARD_CONFIG        khard's config (default $XDG_CONFIG_HOME/khard/khard.conf)\n"
         "TODOMAN_CONFIG      todoman's config (default todoman/config.py in the folders above)\n"
         "NETRC               the netrc file of server logins (default ~/.netrc)\n"
         "TMPDIR              a large server answer, while it is read (default /tmp)\n"
         "LC_ALL, LC_TIME, LANG\n"
         "                    the locale dates are written and read in, in date fields\n";
}

}  // namespace

std::string ManualPage() {
  std::string commands;
  for (const CommandDescription& command : DescribeCommands()) {
    commands += (commands.empty() ? "" : "\n") + command.help;
  }
  const std::string intro = HelpIntroduction();
  const size_t usage = intro.find("Usage: ");
  return RenderManualPage(
      {"tidewell",
       "search and replace in contacts, appointments and tasks",
       {{"SYNOPSIS",
         "tidewell [--store DIR]... COMMAND [OPTIONS]\ntidewell help [COMMAND]\ntidewell "
         "--version\n"},
        {"DESCRIPTION", intro.substr(0, usage) + intro.substr(intro.find("\n\n", usage) + 2)},
        {"COMMANDS", commands},
        {"PATTERNS", PatternsText()},
        {"EXAMPLES", ExamplesText()},
        {"EXIT STATUS", ExitStatusTable()},
        {"FILES", FilesText()},
        {"ENVIRONMENT", EnvironmentText()},
        {"SEE ALSO", "tidewell-gui(1), vdirsyncer(1), khard(1), khal(1), todoman(1)\n"}}});
}

namespace {

// What completes the value of an option, or a command's argument, by the
// name of the value: the words `tidewell complete` prints, or a fixed list.
enum class Words { none, folders, fields, field_list, runs, commands, dirs };

Words WordsFor(const std::string& value_name) {
  if (value_name == "FOLDER" || value_name.starts_with("ENTRYID")) return Words::folders;
  if (value_name == "FIELD") return Words::fields;
  if (value_name == "FIELD,FIELD...") return Words::field_list;
  if (value_name == "RUN") return Words::runs;
  if (value_name == "COMMAND") return Words::commands;
  if (value_name == "DIR") return Words::dirs;
  return Words::none;
}

// The words --fields takes besides field names.
const std::vector<std::string> kFieldGroups = {"all",   "phone",        "zip",
                                               "email", "appointments", "tasks"};

std::string Lowered(std::string text) {
  for (char& ch : text) ch = (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch;
  return text;
}

std::string CommandNames() {
  std::vector<std::string> names;
  for (const CommandDescription& command : DescribeCommands()) names.push_back(command.name);
  return Join(names, " ");
}

// The bash that sets COMPREPLY for `words`.
std::string BashWords(Words words) {
  switch (words) {
    case Words::folders:
      return "_tidewell_words folders";
    case Words::fields:
      return "_tidewell_words fields";
    case Words::field_list:
      return "_tidewell_words fields list";
    case Words::runs:
      return "_tidewell_words runs";
    case Words::commands:
      return "COMPREPLY=($(compgen -W " + Quoted(CommandNames()) + " -- \"$cur\"))";
    case Words::dirs:
      return "COMPREPLY=($(compgen -d -- \"$cur\"))";
    case Words::none:
      break;
  }
  return "COMPREPLY=()";
}

}  // namespace

std::string BashCompletion() {
  std::string script =
      "# bash completion for tidewell; made by 'tidewell --write-manuals'.\n"
      "# Folder ids, field names and run ids come from 'tidewell complete', over\n"
      "# the stores the line names.\n"
      "_tidewell_words() {\n"
      "  local IFS=$'\\n' words prefix=''\n"
      "  words=$(tidewell \"${stores[@]}\" complete \"$1\" 2>/dev/null | cut -f1)\n"
      "  if [[ $2 == list ]]; then\n"
      "    prefix=${cur%\"${cur##*,}\"}\n"
      "    words+=$'\\n" +
      Join(kFieldGroups, "\\n") +
      "'\n"
      "  fi\n"
      "  COMPREPLY=($(compgen -P \"$prefix\" -W \"$words\" -- \"${cur#\"$prefix\"}\"))\n"
      "}\n"
      "_tidewell() {\n"
      "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
      "  local command='' i stores=()\n"
      "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
      "    case ${COMP_WORDS[i]} in\n"
      "      --store) stores+=(--store \"${COMP_WORDS[i+1]/#\\~/$HOME}\"); ((i++)) ;;\n"
      "      --user|--password-command|--ca-file) ((i++)) ;;\n"
      "      -*) ;;\n"
      "      *) command=${COMP_WORDS[i]}; break ;;\n"
      "    esac\n"
      "  done\n"
      "  if [[ $prev == --store ]]; then\n"
      "    COMPREPLY=($(compgen -d -- \"$cur\"))\n"
      "    return\n"
      "  fi\n"
      "  case $prev in\n"
      "    --ca-file) COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n"
      "    --user|--password-command) COMPREPLY=(); return ;;\n"
      "  esac\n"
      "  case $command in\n";
  for (const CommandDescription& command : DescribeCommands()) {
    script += "    " + command.name + ")\n";
    std::string values;  // what may follow an option that takes a value
    for (const OptionDescription& option : command.options) {
      if (!option.takes_value) continue;
      values +=
          "        " + option.name + ") " +
          (option.choices.empty() ? BashWords(WordsFor(option.value_name))
                                  : "COMPREPLY=($(compgen -W " + Quoted(Join(option.choices, " ")) +
                                        " -- \"$cur\"))") +
          "; return ;;\n";
    }
    if (!values.empty()) script += "      case $prev in\n" + values + "      esac\n";
    if (!command.argument.empty()) {
      script += "      if [[ $cur != -* ]]; then " + BashWords(WordsFor(command.argument)) +
                "; return; fi\n";
    }
    script += "      COMPREPLY=($(compgen -W " + Quoted(Join(OptionNames(command.options), " ")) +
              " -- \"$cur\")) ;;\n";
  }
  script += "    *) COMPREPLY=($(compgen -W " +
            Quoted(CommandNames() + " " + Join(OptionNames(DescribeGlobalOptions()), " ")) +
            " -- \"$cur\")) ;;\n"
            "  esac\n"
            "}\n"
            "complete -F _tidewell tidewell\n";
  return script;
}

namespace {

// The zsh action for `words`.
std::string ZshWords(Words words) {
  switch (words) {
    case Words::folders:
      return "_tidewell_words folders";
    case Words::fields:
      return "_tidewell_words fields";
    case Words::field_list:
      return "_tidewell_field_list";
    case Words::runs:
      return "_tidewell_words runs";
    case Words::commands:
      return "(" + CommandNames() + ")";
    case Words::dirs:
      return "_files -/";
    case Words::none:
      break;
  }
  return " ";
}

// The fish arguments for `words`; "" for none.
std::string FishWords(Words words) {
  switch (words) {
    case Words::folders:
      return "(__tidewell_words folders)";
    case Words::fields:
      return "(__tidewell_words fields)";
    case Words::field_list:
      return "(__tidewell_field_list)";
    case Words::runs:
      return "(__tidewell_words runs)";
    case Words::commands:
      return CommandNames();
    case Words::dirs:
      return "(__fish_complete_directories)";
    case Words::none:
      break;
  }
  return "";
}

}  // namespace

std::string ZshCompletion() {
  std::string script =
      "#compdef tidewell\n"
      "# zsh completion for tidewell; made by 'tidewell --write-manuals'.\n"
      "# Folder ids, field names and run ids come from 'tidewell complete', over\n"
      "# the stores the line names.\n"
      "_tidewell_words() {\n"
      "  local -a found\n"
      "  local line\n"
      "  for line in ${(f)\"$(tidewell $_tidewell_stores complete $1 2>/dev/null)\"}; do\n"
      "    found+=(\"${${line%%$'\\t'*}//:/\\\\:}:${line#*$'\\t'}\")\n"
      "  done\n"
      "  _describe -t $1 $1 found\n"
      "}\n"
      "_tidewell_field_list() {\n"
      "  compset -P '*,'\n"
      "  _tidewell_words fields\n"
      "  compadd -- " +
      Join(kFieldGroups, " ") +
      "\n"
      "}\n"
      "_tidewell() {\n"
      "  local curcontext=$curcontext state line i\n"
      "  local -a commands _tidewell_stores\n"
      "  for ((i = 2; i < CURRENT; i++)); do\n"
      "    [[ $words[i] == --store ]] && _tidewell_stores+=(--store \"${words[i+1]/#\\~/$HOME}\")\n"
      "  done\n"
      "  commands=(\n";
  for (const CommandDescription& command : DescribeCommands()) {
    script += "    " + Quoted(command.name + ":" + command.summary) + "\n";
  }
  script +=
      "  )\n"
      "  _arguments -C \\\n"
      "    '*--store[a store: a folder of address books and calendars, or a server "
      "URL]:folder:_files -/' \\\n"
      "    '--user[the login for a server store]:user: ' \\\n"
      "    '--password-command[a command that prints the password]:command: ' \\\n"
      "    '--ca-file[certificate authorities to trust (PEM)]:file:_files' \\\n"
      "    '--no-cache[read every item of a server store fresh]' \\\n"
      "    '(- *)'{-h,--help}'[print the help]' \\\n"
      "    '(- *)'{-V,--version}'[print the version]' \\\n"
      "    '1:command:->command' \\\n"
      "    '*::option:->option'\n"
      "  case $state in\n"
      "    command) _describe command commands ;;\n"
      "    option)\n"
      "      case $line[1] in\n";
  for (const CommandDescription& command : DescribeCommands()) {
    script += "        " + command.name + ")\n          _arguments";
    for (const OptionDescription& option : command.options) {
      std::string argument = "*" + option.name;
      if (option.takes_value) {
        argument += ":" + option.name.substr(2) + ":";
        argument += option.choices.empty() ? ZshWords(WordsFor(option.value_name))
                                           : "(" + Join(option.choices, " ") + ")";
      }
      script += " " + Quoted(argument);
    }
    if (!command.argument.empty()) {
      script += " " + Quoted("*:" + Lowered(command.argument) + ":" +
                             ZshWords(WordsFor(command.argument)));
    }
    script += " ;;\n";
  }
  script +=
      "      esac ;;\n"
      "  esac\n"
      "}\n"
      "_tidewell \"$@\"\n";
  return script;
}

std::string FishCompletion() {
  std::string script =
      "# fish completion for tidewell; made by 'tidewell --write-manuals'.\n"
      "# Folder ids, field names and run ids come from 'tidewell complete', over\n"
      "# the stores the line names.\n"
      "function __tidewell_words\n"
      "    set -l tokens (commandline -opc)\n"
      "    set -l stores\n"
      "    for i in (seq 2 (math (count $tokens) - 1))\n"
      "        if test \"$tokens[$i]\" = --store\n"
      "            set -a stores --store (string replace -r '^~' $HOME -- $tokens[(math $i + "
      "1)])\n"
      "        end\n"
      "    end\n"
      "    tidewell $stores complete $argv 2>/dev/null\n"
      "end\n"
      "function __tidewell_field_list\n"
      "    set -l done (commandline -ct | string match -r '.*,')\n"
      "    for word in (__tidewell_words fields) " +
      Join(kFieldGroups, " ") +
      "\n"
      "        echo \"$done$word\"\n"
      "    end\n"
      "end\n"
      "complete -c tidewell -f\n";
  for (const OptionDescription& option : DescribeGlobalOptions()) {
    script += "complete -c tidewell -n __fish_use_subcommand -l " + option.name.substr(2);
    if (option.name == "--store") script += " -r -a '(__fish_complete_directories)'";
    if (option.name == "--ca-file") script += " -r -F";
    if (option.name == "--user" || option.name == "--password-command") script += " -x";
    if (option.name == "--version") script += " -s V";
    if (option.name == "--help") script += " -s h";
    script += " -d " + Quoted(option.summary) + "\n";
  }
  for (const CommandDescription& command : DescribeCommands()) {
    const std::string seen = " -n '__fish_seen_subcommand_from " + command.name + "'";
    script += "complete -c tidewell -n __fish_use_subcommand -a " + command.name + " -d " +
              Quoted(command.summary) + "\n";
    for (const OptionDescription& option : command.options) {
      script += "complete -c tidewell" + seen + " -l " + option.name.substr(2);
      if (option.takes_value) {
        const std::string words = option.choices.empty() ? FishWords(WordsFor(option.value_name))
                                                         : Join(option.choices, " ");
        script += words.empty() ? " -r" : " -x -a " + Quoted(words);
      }
      script += " -d " + Quoted(option.summary) + "\n";
    }
    if (!command.argument.empty()) {
      script += "complete -c tidewell" + seen + " -a " +
                Quoted(FishWords(WordsFor(command.argument))) + "\n";
    }
  }
  return script;
}

void WriteManuals(const std::string& dir) {
  Write(dir + "/tidewell.1", ManualPage());
  Write(dir + "/tidewell.bash", BashCompletion());
  Write(dir + "/_tidewell", ZshCompletion());
  Write(dir + "/tidewell.fish", FishCompletion());
}

}  // namespace tidewell::cli
