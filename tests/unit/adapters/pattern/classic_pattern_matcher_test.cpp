#include "adapters/pattern/classic_pattern_matcher.h"

#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "adapters/pattern/classic_syntax.h"
#include "platform/failure.h"
#include "support/reference_matcher.h"

namespace tidewell {
namespace {

constexpr int kFails = -1;  // the pattern is refused, or the search throws `want`

struct Row {
  std::string pattern;
  bool case_sensitive;
  std::string text;
  int count;
  std::string replacement;
  std::string want;  // the text after replacing, or the failure's description
};

std::string Repeat(const std::string& piece, size_t times) {
  std::string out;
  while (times-- > 0) out += piece;
  return out;
}

const Row kRows[] = {
    // The generated comparison below covers the ASCII syntax; these rows hold what it cannot
    // reach: characters it never draws, Unicode, replacement texts, failures word for word.
    {"(555)", false, "Call (555) 123-4567", 1, "(777)", "Call (777) 123-4567"},
    {"a|b", true, "a|b ab", 1, "x", "x ab"},
    {"\\{x\\}\\.", true, "{x}. {x}a", 1, "y", "y {x}a"},
    {"C\\+\\+", true, "C++ C", 1, "D", "D C"},
    {"{?}x+", true, "a?xx", 1, "<\\1>", "a<?>"},
    // Case beyond ASCII.
    {"müller", false, "Anna MÜLLER, Müller", 2, "Mueller", "Anna Mueller, Mueller"},
    {"MÜLLER", true, "Müller", 0, "x", "Müller"},
    {"ß", false, "SS ẞ", 1, "ss", "SS ss"},
    {"[à-ï]", false, "ÉCOLE", 1, "e", "eCOLE"},
    // Any character, lists and ranges.
    {".", true, "é", 1, "x", "x"},
    {"[\\]\\n]", true, "a]\nb", 2, "", "ab"},
    {"[--/]", true, "a-.b/", 3, "", "ab"},
    // Anchors only at the ends, repeats, zero-length matches.
    {"a$", true, "a\n", 0, "X", "a\n"},
    {"", true, "abc", 0, "-", "abc"},
    // Tags and replacement.
    {"{[a-z]+}@{[a-z]+}", true, "ann@example", 1, "\\2 at \\1", "example at ann"},
    {"{{a}b}", true, "ab", 1, "\\2\\1\\0", "aabab"},
    {"{a}?b", true, "b", 1, "[\\1|\\9]", "[|]"},
    {"x", true, "x", 1, "C:\\new \\\\ \\", "C:\\new \\ \\"},
    {"ab", true, "ab ab", 2, "abab", "abab abab"},
    // Escapes: \b is a backspace, not a word boundary.
    {"a\\bb", true, "a\bb ab", 1, "", " ab"},
    {"\\t\\n", true, "a\t\nb", 1, " ", "a b"},
    // Bytes that are not UTF-8 never match and are kept.
    {"b", true, "a\377b\303", 1, "X", "a\377X\303"},
    {".", true, "a\377b", 2, "", "\377"},
    // PCRE2's JIT ran a caseless negated list across them (found by fuzzing).
    {"[^\317\202]+", false, "}b\303#\237b&", 3, "-", "-\303-\237-"},
    // A literal runs on the JIT whatever the text; caseless, it matches around such bytes
    // as the interpreter does.
    {"é", false, "\303É\303\251\251", 2, "e", "\303ee\251"},
    {"ς", false, "\317Σ\317\202\202σ", 3, "-", "\317--\202-"},
    // Its interpreter, which such a text gets, took them for the end of the text.
    {"[0-9]+$", true, "2\377\3771", 1, "X", "2\377\377X"},
    {"^[0-9]+", true, "2\377\3771", 1, "X", "X\377\3771"},
    // A repeated tag over a long text outgrows PCRE2's default JIT stack.
    {"{ab}*", true, Repeat("ab", 100000), 1, "x", "x"},
    // Faults, word for word.
    {"ab[cd", true, "", kFails, "", "Invalid pattern: '[' at position 3 is never closed."},
    {"ü[", true, "", kFails, "", "Invalid pattern: '[' at position 2 is never closed."},
    {"[]", true, "", kFails, "", "Invalid pattern: '[' at position 1 is never closed."},
    {"{a{b}", true, "", kFails, "", "Invalid pattern: '{' at position 1 is never closed."},
    {"a}{", true, "", kFails, "", "Invalid pattern: '}' at position 2 has no matching '{'."},
    {"a+?", true, "", kFails, "", "Invalid pattern: '?' at position 3 follows another repeat."},
    {"C++", true, "", kFails, "", "Invalid pattern: '+' at position 3 follows another repeat."},
    {"ab\\", true, "", kFails, "", "Invalid pattern: '\\' at position 3 has nothing to escape."},
    {"[z-a]", true, "", kFails, "", "Invalid pattern: range 'z-a' at position 2 is reversed."},
    {"[a\\t-\\a]", true, "", kFails, "",
     "Invalid pattern: range '\\t-\\a' at position 3 is reversed."},
    {"a\377", true, "", kFails, "", "Invalid pattern: the text at position 2 is not valid UTF-8."},
    {Repeat("{", 300) + Repeat("}", 300), true, "", kFails, "",
     "Invalid pattern: '{' at position 251 is nested too deeply."},
    // A catastrophic pattern gives up instead of hanging or finding nothing.
    {"{a+}+b", true, Repeat("a", 40) + "!b", kFails, "",
     "The pattern is too complex for this text."},
};

const Row kRegexRows[] = {
    {"555-(\\d{3})", true, "555-987-6543", 1, "777-$1", "777-987-6543"},
    {"(\\w+)@(\\w+)", true, "ann@example", 1, "\\2 at $1$$\\0", "example at ann$ann@example"},
    {"a|b", true, "a|b", 2, "[$9]", "[]|[]"},
    {"\\+[^@]+(?=@gmail)", true, "a+tag@gmail a+x@web", 1, "", "a@gmail a+x@web"},
    {"müller", false, "MÜLLER", 1, "x", "x"},
    {"\\w+", false, "Ünal ß", 2, "-", "- -"},
    {"MÜLLER", true, "Müller", 0, "x", "Müller"},
    {"^a.", true, "a\nab", 0, "x", "a\nab"},
    {"a*", true, "baab", 1, "x", "bxb"},
    {"(555", true, "", kFails, "", "Invalid pattern: missing closing parenthesis at position 4."},
    {"ü+*", true, "", kFails, "",
     "Invalid pattern: quantifier does not follow a repeatable item at position 3."},
    {"(a+)+b", true, Repeat("a", 40) + "!b", kFails, "",
     "The pattern is too complex for this text."},
};

void CheckRows(PatternSyntax syntax, const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    SCOPED_TRACE("'" + row.pattern.substr(0, 20) + "' on '" + row.text.substr(0, 20) + "'");
    ClassicPatternMatcher matcher(syntax);
    matcher.SetCaseSensitive(row.case_sensitive);
    matcher.SetText(row.text);
    std::string failure;
    bool on_the_text = false;
    int count = kFails;
    try {
      matcher.SetPattern(row.pattern);
      count = matcher.MatchCount();
      matcher.SetReplace(row.replacement);
    } catch (const Failure& e) {
      failure = e.Description();
      on_the_text = dynamic_cast<const TextFailure*>(&e) != nullptr;
    }
    EXPECT_EQ(count, row.count);
    EXPECT_EQ(row.count == kFails ? failure : matcher.Text(), row.want);
    const bool refused = failure.starts_with("Invalid pattern");
    EXPECT_EQ(ClassicPatternMatcher(syntax).Check(row.pattern), refused ? failure : "");
    // What fails on this text only is of the type the engine names a field for.
    EXPECT_EQ(on_the_text, !failure.empty() && !refused);
  }
}

TEST(ClassicPatternMatcher, Table) {
  CheckRows(PatternSyntax::kClassic, {std::begin(kRows), std::end(kRows)});
}

TEST(ClassicPatternMatcher, RegexTable) {
  CheckRows(PatternSyntax::kRegex, {std::begin(kRegexRows), std::end(kRegexRows)});
}

// What a regular-expression habit means when the pattern is read as classic.
TEST(ClassicPatternMatcher, RegexConstructs) {
  const std::pair<std::string, std::string> rows[] = {
      {"555-\\d{3}", "\\d means the letter d"},
      {"[\\W]x", "\\W means the letter W"},
      {"555|212", "| means a literal |"},
      {"(?i)ann", "(? means a ( that may be left out"},
      {"[0-9]{3,4}", "{3,4} means a tag that matches the text 3,4"},
      {"(555)+", "+ means one or more of the ')' before it"},
      {"{ab}+", "+ means one or more of the '.', list or tag before it"},
      {"+1 555", "+ means a literal +"},
      {"[+|]\\+{x}", ""},
      {"ann", ""},
  };
  for (const auto& [pattern, want] : rows)
    EXPECT_EQ(classic::RegexConstruct(pattern), want) << pattern;
}

// The compiled pattern and the matches are kept between calls: each change must be seen.
TEST(ClassicPatternMatcher, KeptStateFollowsEveryChange) {
  ClassicPatternMatcher matcher;
  matcher.SetText("Cat cat");
  matcher.SetPattern("cat");
  EXPECT_EQ(matcher.MatchCount(), 2);
  matcher.SetCaseSensitive(true);
  EXPECT_EQ(matcher.MatchCount(), 1);
  matcher.SetPattern("cat");
  matcher.SetText("cat cat cat");
  EXPECT_EQ(matcher.MatchCount(), 3);
  matcher.SetReplace("ox");
  EXPECT_EQ(matcher.Text(), "ox ox ox");
  EXPECT_EQ(matcher.MatchCount(), 0);
  matcher.SetReplace("dog");
  EXPECT_EQ(matcher.Text(), "ox ox ox");

  EXPECT_THROW(matcher.SetPattern("[x"), Failure);
  EXPECT_THROW(matcher.MatchCount(), Failure);
  EXPECT_THROW(matcher.SetPattern("[x"), Failure);
  matcher.SetCaseSensitive(false);
  EXPECT_THROW(matcher.Matches(""), Failure);
  matcher.SetPattern("OX");
  EXPECT_EQ(matcher.MatchCount(), 3);
}

// Random small patterns and texts, checked against the plain backtracking matcher.
TEST(ClassicPatternMatcher, AgreesWithReferenceOnGeneratedInput) {
  const std::vector<std::string> pieces = {
      "a", "b", "A",   ".",    "[ab]", "[^a]", "[a-b]", "[B-a]", "[]a]", "*",  "+", "?",
      "{", "}", "{a}", "{b*}", "^",    "$",    "\\.",   "\\n",   "-",    "\\", "[", "]"};
  const std::string alphabet = "aabbAB.-\n[]^", replacement = "<\\1\\0>";
  std::mt19937 random(20240611);
  const auto pick = [&](size_t n) {
    return std::uniform_int_distribution<size_t>(0, n - 1)(random);
  };
  int valid = 0;
  constexpr int kCases = 4000;
  for (int i = 0; i < kCases; ++i) {
    std::string pattern, text;
    for (size_t n = 1 + pick(6); n > 0; --n) pattern += pieces[pick(pieces.size())];
    for (size_t n = pick(16); n > 0; --n) text += alphabet[pick(alphabet.size())];
    const bool case_sensitive = pick(2) == 0;
    SCOPED_TRACE("pattern \"" + pattern + "\" text \"" + text + "\" case " +
                 std::to_string(case_sensitive));
    ClassicPatternMatcher matcher;
    testing::ReferenceMatcher reference;
    for (PatternMatcher* m : std::initializer_list<PatternMatcher*>{&matcher, &reference}) {
      m->SetCaseSensitive(case_sensitive);
      m->SetText(text);
    }
    if (!ClassicPatternMatcher().Check(pattern).empty()) {
      EXPECT_THROW(reference.SetPattern(pattern), Failure);
      continue;
    }
    ++valid;
    ASSERT_NO_THROW(reference.SetPattern(pattern));
    matcher.SetPattern(pattern);
    const auto got = matcher.Matches(replacement), want = reference.Matches(replacement);
    ASSERT_EQ(got.size(), want.size());
    for (size_t k = 0; k < got.size(); ++k) {
      EXPECT_EQ(std::make_tuple(got[k].begin, got[k].end, got.Replacement(k)),
                std::make_tuple(want[k].begin, want[k].end, want.Replacement(k)));
    }
    EXPECT_EQ(matcher.MatchCount(), reference.MatchCount());
    matcher.SetReplace(replacement);
    reference.SetReplace(replacement);
    EXPECT_EQ(matcher.Text(), reference.Text());
  }
  EXPECT_GT(valid, kCases / 4) << "a generator of invalid patterns compares nothing";
}

}  // namespace
}  // namespace tidewell
