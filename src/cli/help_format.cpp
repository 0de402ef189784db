// What `--help` prints, from the descriptions on the CLI11 App: the overview
// of the whole tool, or one command's full text.
#include <algorithm>
#include <memory>
#include <utility>

#include "cli/command_app.h"
#include "cli/command_line.h"

namespace tidewell::cli {

namespace {

constexpr size_t kWidth = 80;

// The options the overview shows: before the command, and of `replace`.
const std::vector<std::string> kMostUsedFirst = {"--help", "--store", "--version"};
const std::vector<std::string> kMostUsed = {"--search", "--replace", "--folder",
                                            "--fields", "--dry-run", "--yes"};

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

// "--case 0|1", "--folder FOLDER", "--yes", "-V, --version".
std::string Label(const CLI::Option* option) {
  if (option->get_positional()) return option->get_name(true);
  std::string label;
  for (const std::string& letter : option->get_snames()) label += "-" + letter + ", ";
  const std::string type = option->get_type_name();
  return label + Name(option) + (option->get_items_expected_max() == 0 ? "" : " " + type);
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

// Rows of a label and its text, the texts in one column.
std::string Table(const std::vector<std::pair<std::string, std::string>>& rows,
                  const std::string& indent) {
  size_t column = 0;
  for (const auto& row : rows) column = std::max(column, row.first.size());
  column += indent.size() + 2;
  std::string table;
  for (const auto& [label, text] : rows) {
    std::string first = indent + label;
    first.resize(column, ' ');
    table += Filled(text, first, std::string(column, ' '));
  }
  return table;
}

// The options that carry their own help, one per row: label, then its help.
std::string OptionTable(const CLI::App& app, const std::string& indent) {
  std::vector<std::pair<std::string, std::string>> rows;
  for (const CLI::Option* option : app.get_options()) {
    if (!option->get_description().empty() && !Hidden(option)) {
      rows.emplace_back(Label(option), option->get_description());
    }
  }
  return Table(rows, indent);
}

std::string CommandHelp(const CLI::App& command) {
  std::string help = Usage(command) + Filled(command.get_description(), "  ", "  ");
  help += OptionTable(command, "    ");
  if (!command.get_footer().empty()) help += Filled(command.get_footer(), "  ", "  ");
  return help;
}

// The first sentence of `text` in at most `width` columns where a clause
// ends in time: "a file of certificate authorities", not its whole story.
std::string Brief(const std::string& text, size_t width) {
  std::string brief = FirstSentence(text);
  brief.resize(std::min(brief.find("; "), brief.size()));
  constexpr size_t kShortest = 20;
  const char* const marks[] = {": ", " (", ", "};
  while (brief.size() > width) {
    size_t cut = std::string::npos;
    for (const char* mark : marks) {
      if (const size_t at = brief.rfind(mark, width); at != std::string::npos && at >= kShortest) {
        cut = at;
        break;
      }
    }
    for (const char* mark : marks) {
      if (cut == std::string::npos) cut = brief.find(mark, kShortest);
    }
    if (cut == std::string::npos) break;
    brief.resize(cut);
  }
  return brief;
}

// One screen: the commands, the options before them, the options most runs
// use, and where to read on.
std::string Overview(const CLI::App& tool) {
  std::vector<std::pair<std::string, std::string>> commands, globals, common;
  for (const CLI::App* command : VisibleCommands(tool)) {
    commands.emplace_back(command->get_name(), command->get_description());
  }
  std::vector<std::string> others;
  for (const CLI::Option* option : tool.get_options()) {
    if (Hidden(option)) continue;
    if (std::find(kMostUsedFirst.begin(), kMostUsedFirst.end(), Name(option)) ==
        kMostUsedFirst.end()) {
      others.push_back(Name(option));
    } else {
      globals.emplace_back(Label(option), option->get_description());
    }
  }
  std::string servers;
  for (size_t i = 0; i < others.size(); ++i) {
    servers += (i == 0 ? "" : i + 1 == others.size() ? " and " : ", ") + others[i];
  }
  const CLI::App& replace = *tool.get_subcommand("replace");
  for (const std::string& name : kMostUsed) {
    const CLI::Option* option = replace.get_option(name);
    common.emplace_back(Label(option), OptionSummary(option));
  }
  for (auto* rows : {&commands, &globals, &common}) {
    size_t column = 0;
    for (const auto& row : *rows) column = std::max(column, row.first.size());
    for (auto& row : *rows) row.second = Brief(row.second, kWidth - column - 4);
  }
  return Filled(tool.get_description(), "", "") +
         "\nUsage: tidewell [--store DIR]... COMMAND [OPTIONS]\n\nCommands:\n" +
         Table(commands, "  ") + "\nOptions before the command:\n" + Table(globals, "  ") +
         Filled("For a server store (--store URL): " + servers + ".", "  ", "  ") +
         "\nMost used with replace:\n" + Table(common, "  ") + "\n" +
         Filled(tool.get_footer(), "", "");
}

class HelpFormatter : public CLI::FormatterBase {
 public:
  std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode) const override {
    return app->get_parent() != nullptr ? CommandHelp(*app) : Overview(*app);
  }
};

}  // namespace

void UseHelpFormatter(CLI::App& tool) { tool.formatter(std::make_shared<HelpFormatter>()); }

std::vector<const CLI::App*> VisibleCommands(const CLI::App& tool) {
  std::vector<const CLI::App*> visible;
  for (const CLI::App* command : tool.get_subcommands({})) {
    if (!command->get_group().empty()) visible.push_back(command);
  }
  return visible;
}

std::string FirstSentence(const std::string& text) {
  size_t end = text.size();
  for (const char* mark : {". ", ".\n"}) end = std::min(end, text.find(mark));
  std::string sentence = text.substr(0, end);
  if (sentence.ends_with('.')) sentence.pop_back();
  return sentence;
}

std::string OptionSummary(const CLI::Option* option) {
  return option->get_description().empty() ? option->get_option_text()
                                           : FirstSentence(option->get_description());
}

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

std::string HelpText(const std::string& command) {
  const auto tool = CommandLine();
  for (const CLI::App* sub : tool->get_subcommands({})) {
    if (sub->get_name() == command) return sub->help();
  }
  return tool->help();
}

std::string HelpIntroduction() {
  const auto tool = CommandLine();
  return Filled(tool->get_description(), "", "") +
         "\nUsage: tidewell [--store DIR]... COMMAND [OPTIONS]\n\n" + OptionTable(*tool, "  ");
}

}  // namespace tidewell::cli
