// The terminal host's command line: what the words ask for, in the order
// given, and the one-line reasons for words it refuses.
#include "cli/command_line.h"

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/manuals.h"
#include "cli/suggestions.h"

namespace tidewell::cli {
namespace {

using Words = std::vector<std::string>;

Words Split(const std::string& line) {
  std::istringstream in(line);
  Words words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

// "stores|command|option=value ...|arguments|help" for one parsed line.
std::string Parsed(const Words& words) {
  const Invocation got = ParseCommandLine(words);
  std::string out;
  for (const std::string& store : got.stores) out += store + " ";
  out += "|" + got.command + "|";
  for (const Option& option : got.options) out += option.name + "=" + option.value + " ";
  out += "|";
  for (const std::string& argument : got.arguments) out += argument + " ";
  return out + (got.help ? "|help" : "|");
}

TEST(CommandLine, TakesOptionsInTheOrderGiven) {
  const std::pair<const char*, const char*> rows[] = {
      {"--store a --store=b folders", "a b |folders|||"},
      {"fields --tick A --phone --clear-all --tick=B --appointments all --untick A",
       "|fields|--tick=A --phone= --clear-all= --tick=B --appointments=all --untick=A ||"},
      {"set --folder x --search -5 --folder y@/s --case 1 --search again",
       "|set|--folder=x --search=-5 --folder=y@/s --case=1 --search=again ||"},
      {"undo 3 --yes", "|undo|--yes= |3 |"},
      {"undo", "|undo|||"},
      {"--help", "||||help"},
      {"--store s replace -h", "s |replace|||help"},
      {"help undo", "|undo|||help"},
      {"help", "||||help"},
  };
  for (const auto& [line, parsed] : rows) EXPECT_EQ(Parsed(Split(line)), parsed) << line;
  EXPECT_EQ(Parsed({"set", "--search", "two words"}), "|set|--search=two words ||");
  const Invocation manuals = ParseCommandLine({"--write-manuals", "out", "--version"});
  EXPECT_EQ(manuals.manuals_dir, "out");
  EXPECT_TRUE(manuals.version);
  EXPECT_TRUE(ParseCommandLine({"-V"}).version);
}

TEST(CommandLine, RefusesWithOneLineReason) {
  const std::pair<const char*, const char*> rows[] = {
      {"", "No command given (see 'tidewell --help')."},
      {"--frob folders", "Unknown option '--frob' (see 'tidewell --help')."},
      {"folders --store x", "'folders' takes no option '--store' (see 'tidewell folders --help')."},
      {"set --frob=1", "'set' takes no option '--frob' (see 'tidewell set --help')."},
      {"folders stores", "'folders' takes no argument 'stores' (see 'tidewell folders --help')."},
      {"undo 1 2", "'undo' takes no argument '2' (see 'tidewell undo --help')."},
      {"set --search", "--search needs a value."},
      {"--store", "--store needs a value."},
      {"set --case 2", "--case takes 0|1, not '2'."},
      {"fields --tasks=some", "--tasks takes all|none, not 'some'."},
      {"replace --yes=false", "--yes takes no value."},
      // A word close to a known one is named back; a far one is not guessed at.
      {"replce", "Unknown command 'replce' (see 'tidewell --help'). Did you mean 'replace'?"},
      {"help undp", "Unknown command 'undp' (see 'tidewell --help'). Did you mean 'undo'?"},
      {"rn", "Unknown command 'rn' (see 'tidewell --help')."},
      {"complet folders", "Unknown command 'complet' (see 'tidewell --help')."},
      {"--stroe=x folders",
       "Unknown option '--stroe' (see 'tidewell --help'). Did you mean "
       "'--store'?"},
      {"replace --dry",
       "'replace' takes no option '--dry' (see 'tidewell replace --help'). Did "
       "you mean '--dry-run'?"},
      {"fields --TICK x",
       "'fields' takes no option '--TICK' (see 'tidewell fields --help'). Did "
       "you mean '--tick'?"},
  };
  for (const auto& [line, reason] : rows) {
    try {
      ParseCommandLine(Split(line));
      ADD_FAILURE() << line << ": accepted";
    } catch (const UsageError& e) {
      EXPECT_EQ(std::string(e.what()), reason);
    }
  }
}

// Fields and folders are named back as commands and options are.
TEST(CommandLine, SuggestsTheWordMeant) {
  EXPECT_EQ(WithSuggestion("M.", "Email", FieldNames()),
            "M. Did you mean 'EmailAddress', 'Email1Address' or 'Email2Address'?");
  EXPECT_EQ(WithSuggestion("M.", "Emial address", FieldNames()), "M. Did you mean 'EmailAddress'?");
  EXPECT_EQ(WithSuggestion("M.", "Contatcs", {"contacts/default", "Contacts"}),
            "M. Did you mean 'Contacts'?");
}

// --help is one screen that names every command; the full texts are each
// command's own.
TEST(CommandLine, TheOverviewIsOneScreen) {
  const std::string overview = HelpText("");
  EXPECT_LE(std::count(overview.begin(), overview.end(), '\n'), 40);
  std::istringstream lines(overview);
  for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 80u) << line;
  for (const CommandDescription& command : DescribeCommands()) {
    EXPECT_NE(overview.find("\n  " + command.name + " "), std::string::npos) << command.name;
    EXPECT_EQ(overview.find(command.help), std::string::npos) << command.name;
  }
}

// The sections a reader of any man page looks for, in the usual order.
TEST(CommandLine, TheManPageHasItsSectionsInOrder) {
  std::string sections;
  std::istringstream page(ManualPage());
  for (std::string line; std::getline(page, line);) {
    if (line.starts_with(".SH ")) sections += line.substr(4) + ",";
  }
  EXPECT_EQ(sections,
            "NAME,SYNOPSIS,DESCRIPTION,COMMANDS,PATTERNS,EXAMPLES,EXIT STATUS,FILES,ENVIRONMENT,"
            "SEE ALSO,");
}

// The man page and the completions are made from this description; the
// parser must take every option it names, with each of its choices.
TEST(CommandLine, TheParserTakesWhatTheDescriptionNames) {
  for (const CommandDescription& command : DescribeCommands()) {
    EXPECT_TRUE(HelpText(command.name).starts_with("tidewell [--store DIR]... " + command.name));
    for (const OptionDescription& option : command.options) {
      Words line{command.name, option.name};
      if (option.takes_value) line.push_back(option.choices.empty() ? "x" : option.choices.back());
      EXPECT_NO_THROW(ParseCommandLine(line)) << command.name << " " << option.name;
    }
  }
}

}  // namespace
}  // namespace tidewell::cli
