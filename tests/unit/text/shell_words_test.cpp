#include "text/shell_words.h"

#include <gtest/gtest.h>

#include "support/failure_of.h"

namespace tidewell {
namespace {

// Each line split, then joined and split again: the words must survive both.
TEST(ShellWords, SplitsAsAShellDoes) {
  struct Row {
    const char* line;
    std::vector<std::string> words;
  };
  const Row rows[] = {
      {"  pass  show\tdav\n", {"pass", "show", "dav"}},
      {"cat '/my dir/pw'", {"cat", "/my dir/pw"}},
      {R"(a'b c'd "e f"g)", {"ab cd", "e fg"}},
      {R"('' "" x)", {"", "", "x"}},
      {R"('a\b' "it's" 'say "hi"')", {R"(a\b)", "it's", R"(say "hi")"}},
      {R"("\$HOME \`x\` \" \\ \n")", {R"($HOME `x` " \ \n)"}},
      {R"(a\ b \'c \\)", {"a b", "'c", "\\"}},
      {"one\\\ntwo \"th\\\nree\"", {"onetwo", "three"}},
      {"$HOME ~/x *.txt", {"$HOME", "~/x", "*.txt"}},
      {"", {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    EXPECT_EQ(SplitShellWords(row.line), row.words);
    EXPECT_EQ(SplitShellWords(JoinShellWords(row.words)), row.words);
  }
}

TEST(ShellWords, RefusesALineThatDoesNotEnd) {
  const std::pair<const char*, const char*> rows[] = {
      {"pass 'show dav", "the ' quote at character 6 is never closed"},
      {R"(echo "a \" b)", "the \" quote at character 6 is never closed"},
      {R"(x "it's)", "the \" quote at character 3 is never closed"},
      {"pass show\\", "it ends with a backslash that escapes nothing"},
  };
  for (const auto& [line, message] : rows) {
    EXPECT_EQ(testing::FailureOf([&] { SplitShellWords(line); }), "!" + std::string(message))
        << line;
  }
}

}  // namespace
}  // namespace tidewell
