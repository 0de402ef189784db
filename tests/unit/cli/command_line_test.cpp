// The terminal host's command line: what the words ask for, in the order
// given, and the one-line reasons for words it refuses.
#include "cli/command_line.h"

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace tidewell::cli {
namespace {

using Words = std::vector<std::string>;

Words Split(const std::string& line) {
  std::istringstream in(line);
  Words words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

TEST(CommandLine, TakesOptionsInTheOrderGiven) {
  struct Row {
    const char* line;
    Words stores;
    std::string command;
    std::vector<Option> options;
    Words arguments;
    bool help;
  };
  const Row rows[] = {
      {"--store a --store=b folders", {"a", "b"}, "folders", {}, {}, false},
      {"fields --tick A --phone --clear-all --tick=B --appointments all --untick A",
       {},
       "fields",
       {{"--tick", "A"},
        {"--phone", ""},
        {"--clear-all", ""},
        {"--tick", "B"},
        {"--appointments", "all"},
        {"--untick", "A"}},
       {},
       false},
      {"set --folder x --search -5 --folder y@/s --case 1 --search again",
       {},
       "set",
       {{"--folder", "x"},
        {"--search", "-5"},
        {"--folder", "y@/s"},
        {"--case", "1"},
        {"--search", "again"}},
       {},
       false},
      {"undo 3 --yes", {}, "undo", {{"--yes", ""}}, {"3"}, false},
      {"undo", {}, "undo", {}, {}, false},
      {"--help", {}, "", {}, {}, true},
      {"--store s replace -h", {"s"}, "replace", {}, {}, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    const Invocation got = ParseCommandLine(Split(row.line));
    EXPECT_EQ(got.stores, row.stores);
    EXPECT_EQ(got.command, row.command);
    EXPECT_EQ(got.options, row.options);
    EXPECT_EQ(got.arguments, row.arguments);
    EXPECT_EQ(got.help, row.help);
  }
  EXPECT_EQ(ParseCommandLine({"set", "--search", "two words"}).options,
            (std::vector<Option>{{"--search", "two words"}}));
  const Invocation manuals = ParseCommandLine({"--write-manuals", "out", "--version"});
  EXPECT_EQ(manuals.manuals_dir, "out");
  EXPECT_TRUE(manuals.version);
}

TEST(CommandLine, RefusesWithOneLineReason) {
  const std::pair<const char*, const char*> rows[] = {
      {"", "No command given (see 'tidewell --help')."},
      {"help", "Unknown command 'help' (see 'tidewell --help')."},
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
  };
  for (const auto& [line, reason] : rows) {
    SCOPED_TRACE(line);
    try {
      ParseCommandLine(Split(line));
      ADD_FAILURE() << "accepted";
    } catch (const UsageError& e) {
      EXPECT_EQ(std::string(e.what()), reason);
    }
  }
}

// The man page and the completions are made from this description; it must
// hold what the parser takes.
TEST(CommandLine, DescriptionHoldsEveryCommandOptionAndChoice) {
  Words names;
  for (const CommandDescription& command : DescribeCommands()) names.push_back(command.name);
  EXPECT_EQ(names, Split("folders stores show set fields replace runs undo"));
  for (const CommandDescription& command : DescribeCommands()) {
    SCOPED_TRACE(command.name);
    EXPECT_TRUE(HelpText(command.name).starts_with("tidewell [--store DIR]... " + command.name));
    EXPECT_EQ(command.help, HelpText(command.name));
    for (const OptionDescription& option : command.options) {
      Words line{command.name, option.name};
      if (option.takes_value) line.push_back(option.choices.empty() ? "x" : option.choices.back());
      EXPECT_NO_THROW(ParseCommandLine(line)) << option.name;
    }
  }
  EXPECT_EQ(DescribeCommands()[4].summary, "Changes the fields a run looks in");

  Words global;
  for (const OptionDescription& option : DescribeGlobalOptions()) global.push_back(option.name);
  EXPECT_EQ(global, Split("--store --user --ca-file --version --help"));
}

TEST(CommandLine, FieldsHelpSaysWhereTheChooserStarts) {
  std::string help = HelpText("fields");
  for (char& ch : help) ch = ch == '\n' ? ' ' : ch;
  while (help.find("  ") != std::string::npos) help.replace(help.find("  "), 2, " ");
  EXPECT_NE(help.find("Starts from the saved selection or, when nothing is saved yet, from the "
                      "defaults (every contact field ticked), then applies the options in the "
                      "order given."),
            std::string::npos);
}

}  // namespace
}  // namespace tidewell::cli
