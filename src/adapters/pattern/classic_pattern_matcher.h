// The page's pattern matcher on PCRE2: the classic pattern syntax, compiled
// once and reused while the pattern stays the same.
//
//   ClassicPatternMatcher matcher;
//   matcher.SetCaseSensitive(false);
//   matcher.SetText("Ann MÜLLER, (555) 123-4567");
//   matcher.SetPattern("{m}üller");      // one tag, Unicode case folding
//   matcher.MatchCount();                // 1
//   matcher.SetReplace("\\1ueller");     // "Ann Mueller, (555) 123-4567"
//
// Syntax, character by character (positions in messages count characters
// from 1):
//   ^        start of the text when first in the pattern; elsewhere literal
//   $        end of the text when last in the pattern; elsewhere literal
//   .        any one character, line breaks included
//   [abc]    one of the listed characters; [^abc] any other character;
//            [a-z] a range. In a list '\' escapes as below, '-' between two
//            members makes a range and is literal elsewhere, and a ']' right
//            after '[' or '[^' is a member: "[]]" matches "]".
//   ? * +    zero or one, zero or more, one or more of the character, '.',
//            list or tag just before, as many as possible. With nothing
//            before it (first in the pattern, after '^', after '{') a repeat
//            is literal: "+1" finds "+1". After another repeat it is an
//            error: "a**" and "C++" fail, "C\+\+" finds "C++".
//   \        the next character literally; \a \b \f \n \r \t \v are the
//            control characters BEL, BS, FF, LF, CR, TAB, VT (so \b is a
//            backspace, not a word boundary).
//   {...}    a tag: groups what it encloses (so "{ab}+" repeats "ab") and
//            remembers its match for \1..\9 in the replacement. Tags nest;
//            they are numbered by their '{' from the left.
//   anything else, '(' ')' '|' '}' outside a tag included, is literal.
//
// Case folding without the case flag is Unicode simple folding, one character
// for one: "müller" matches "MÜLLER", "ß" does not match "SS".
//
// Text is UTF-8. Bytes that are not UTF-8 never match anything, not even '.'
// or [^a], and replacing keeps them as they are.
//
// The empty pattern matches nothing, and so does a match of no characters:
// "a*" in "baab" counts 1 ("aa"), not 4; "^" or "{}" count 0 everywhere.
//
// Replacement: `\0` the whole match, `\1`..`\9` tag n ("" when the tag took no
// part in the match or the pattern has fewer tags), `\\` one backslash; any
// other backslash stands for itself, so "C:\new" is inserted as it is.
//
// A match that needs more than about a million backtracking steps from one
// position fails with "The pattern is too complex for this text." rather
// than count as no match: "{a+}+b" on forty 'a' followed by "!b" does.
//
// PatternSyntax::kRegex reads the pattern as PCRE2 writes it instead (Unicode
// classes: \w and \d take any script's letters and digits; '.' stops at a
// line feed), under the same case folding, limits and failures. Its
// replacement takes $0..$9 as well as \0..\9, and "$$" for one '$'.
// Invalid patterns fail as "Invalid pattern: PCRE2'S REASON at position N."
// with N the character where PCRE2 stopped.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/pattern_matcher.h"

namespace tidewell {

enum class PatternSyntax { kClassic, kRegex };

class ClassicPatternMatcher : public PatternMatcher {
 public:
  explicit ClassicPatternMatcher(PatternSyntax syntax = PatternSyntax::kClassic);
  ~ClassicPatternMatcher() override;
  ClassicPatternMatcher(const ClassicPatternMatcher&) = delete;
  ClassicPatternMatcher& operator=(const ClassicPatternMatcher&) = delete;

  std::string Check(const std::string& pattern) const override;

  // Changing the flag makes the next search compile the pattern again.
  void SetCaseSensitive(bool caseSensitive) override;
  void SetText(const std::string& text) override;
  void AdoptText(std::string&& text) override;
  // Compiles only when the pattern or the case flag changed since the last
  // compile. An invalid pattern throws here and again at every search until
  // another pattern is set.
  void SetPattern(const std::string& pattern) override;
  // Finds every match and keeps them, so a following SetReplace or Matches on
  // the same text, pattern and flag does not search again. Matches of a
  // pattern without tags hands them over: a call after it searches again.
  int32_t MatchCount() override;
  void SetReplace(const std::string& replacement) override;
  std::string Text() override;
  std::string TakeText() override;
  MatchList Matches(const std::string& replacement) override;

 private:
  // PCRE2's compiled pattern, match data and limits, and the parsed replacement.
  struct Compiled;

  void Compile();
  void Scan();
  void AppendReplacement(std::string& out, size_t match, const std::string& replacement);

  PatternSyntax syntax_;
  bool case_sensitive_ = false;
  std::string text_;
  std::string pattern_;
  bool compiled_current_ = true;  // the compiled code belongs to pattern_ and case_sensitive_
  std::string pattern_error_;     // pattern_ is invalid: this is why
  std::unique_ptr<Compiled> compiled_;

  // The matches of the last scan, `width_` offset pairs each (match, tags
  // 1..9), valid while `scanned_` holds.
  bool scanned_ = false;
  size_t width_ = 1;
  std::vector<size_t> spans_;
};

}  // namespace tidewell
