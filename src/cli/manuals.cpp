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
       {{"SYNOPSIS", "tidewell [--store DIR]... COMMAND [OPTIONS]\ntidewell --version\n"},
        {"DESCRIPTION", intro.substr(0, usage) + intro.substr(intro.find("\n\n", usage) + 2)},
        {"COMMANDS", commands},
        {"PATTERNS", PatternsText()},
        {"EXIT STATUS", ExitStatusTable()},
        {"FILES", HelpClosing()},
        {"SEE ALSO", "tidewell-gui(1), vdirsyncer(1), khard(1), khal(1), todoman(1)\n"}}});
}

std::string BashCompletion() {
  std::string script =
      "# bash completion for tidewell; made by 'tidewell --write-manuals'.\n"
      "_tidewell() {\n"
      "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
      "  local command='' i\n"
      "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
      "    case ${COMP_WORDS[i]} in\n"
      "      --store|--user|--password-command|--ca-file) ((i++)) ;;\n"
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
  std::vector<std::string> names;
  for (const CommandDescription& command : DescribeCommands()) {
    names.push_back(command.name);
    script += "    " + command.name + ")\n";
    std::string values;  // what may follow an option that takes a value: its choices, or nothing
    for (const OptionDescription& option : command.options) {
      if (!option.takes_value) continue;
      values += "        " + option.name + ") COMPREPLY=(" +
                (option.choices.empty()
                     ? ""
                     : "$(compgen -W " + Quoted(Join(option.choices, " ")) + " -- \"$cur\")") +
                "); return ;;\n";
    }
    if (!values.empty()) script += "      case $prev in\n" + values + "      esac\n";
    script += "      COMPREPLY=($(compgen -W " + Quoted(Join(OptionNames(command.options), " ")) +
              " -- \"$cur\")) ;;\n";
  }
  script += "    *) COMPREPLY=($(compgen -W " +
            Quoted(Join(names, " ") + " " + Join(OptionNames(DescribeGlobalOptions()), " ")) +
            " -- \"$cur\")) ;;\n"
            "  esac\n"
            "}\n"
            "complete -F _tidewell tidewell\n";
  return script;
}

std::string ZshCompletion() {
  std::string script =
      "#compdef tidewell\n"
      "# zsh completion for tidewell; made by 'tidewell --write-manuals'.\n"
      "_tidewell() {\n"
      "  local curcontext=$curcontext state line\n"
      "  local -a commands\n"
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
      "    '(- *)--help[print the help]' \\\n"
      "    '(- *)--version[print the version]' \\\n"
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
        if (!option.choices.empty())
          argument += "(" + Join(option.choices, " ") + ")";
        else
          argument += " ";
      }
      script += " " + Quoted(argument);
    }
    if (command.name == "undo") script += " '1:run: '";
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
      "complete -c tidewell -f\n"
      "complete -c tidewell -n __fish_use_subcommand -l store -r -a "
      "'(__fish_complete_directories)' -d 'a store: a folder of address books and calendars'\n"
      "complete -c tidewell -n __fish_use_subcommand -l user -x -d 'the login for a server "
      "store'\n"
      "complete -c tidewell -n __fish_use_subcommand -l password-command -x -d 'a command that "
      "prints the password'\n"
      "complete -c tidewell -n __fish_use_subcommand -l ca-file -r -F -d 'certificate "
      "authorities to trust (PEM)'\n"
      "complete -c tidewell -n __fish_use_subcommand -l no-cache -d 'read every item of a server "
      "store fresh'\n"
      "complete -c tidewell -n __fish_use_subcommand -l version -d 'print the version'\n"
      "complete -c tidewell -l help -d 'print the help'\n";
  for (const CommandDescription& command : DescribeCommands()) {
    script += "complete -c tidewell -n __fish_use_subcommand -a " + command.name + " -d " +
              Quoted(command.summary) + "\n";
    for (const OptionDescription& option : command.options) {
      if (option.name == "--help") continue;
      script += "complete -c tidewell -n '__fish_seen_subcommand_from " + command.name + "' -l " +
                option.name.substr(2);
      if (option.takes_value) {
        script += option.choices.empty() ? " -r" : " -x -a " + Quoted(Join(option.choices, " "));
      }
      script += "\n";
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
