// The page's pattern matcher (the control `regularExpressions`).
//
// It keeps three values between calls: a text, a pattern and a case flag.
//
//   matcher.SetCaseSensitive(false);
//   matcher.SetText("Call (555) 123-4567");
//   matcher.SetPattern("(555)");            // "(" and ")" are literal
//   matcher.MatchCount();                   // 1
//   matcher.SetReplace("(777)");            // replaces every match
//   matcher.Text();                         // "Call (777) 123-4567"
//
// Pattern syntax: `^` start (first in the pattern only), `$` end (last only),
// `.` any character, `[abc]` `[^abc]` `[a-z]`, `?` `*` `+` repeat what stands
// before, `\` escapes the next character (`\t` `\n` and friends are control
// characters), `{...}` tags a part of the match. Every other character is
// literal. Text is UTF-8; without the case flag, letters match under Unicode
// case folding ("müller" matches "MÜLLER").
//
// Replacement: literal, except `\0` (the whole match), `\1`..`\9` (tag n) and
// `\\` (one backslash). Replacing is one pass from left to right over the text
// as it was: replacing "ab" by "abab" in "ab ab" gives "abab abab".
//
// The empty pattern matches nothing; zero-length matches are neither counted
// nor replaced.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tidewell {

class PatternMatcher {
 public:
  virtual ~PatternMatcher() = default;

  // "" when `pattern` is valid, otherwise the description SetPattern would
  // throw for it ("Invalid pattern: '[' at position 3 is never closed."). The
  // empty pattern is valid. Leaves the matcher's own pattern alone, so a host
  // can check what the user types as it is typed.
  virtual std::string Check(const std::string& pattern) const = 0;

  virtual void SetCaseSensitive(bool caseSensitive) = 0;
  virtual void SetText(const std::string& text) = 0;
  // SetText, taking the text over rather than copying it: a large item's
  // text is then held once.
  virtual void AdoptText(std::string&& text) { SetText(text); }

  // Throws Failure("Invalid pattern: ...") naming the fault and its position
  // when the pattern does not compile. Setting the pattern it already holds
  // (with the same case flag) costs nothing.
  virtual void SetPattern(const std::string& pattern) = 0;

  // Number of non-empty matches of the pattern in the text. Throws
  // TextFailure("The pattern is too complex for this text.") rather than
  // report a match limit as "no match", and TextFailure for any other failure
  // of matching this text.
  virtual int32_t MatchCount() = 0;

  // Replaces every match in the text by `replacement`; Text() then gives the
  // result. Throws like MatchCount.
  virtual void SetReplace(const std::string& replacement) = 0;

  virtual std::string Text() = 0;

  // Text(), handed over rather than copied: the matcher is left with the
  // empty text. For a caller that needs the text it matched in after the
  // matches, without holding a large text twice.
  virtual std::string TakeText() {
    std::string text = Text();
    SetText(std::string());
    return text;
  }

  // One match: bytes [begin, end) of the text.
  struct Match {
    size_t begin = 0;
    size_t end = 0;
  };

  // The matches of a text and what the replacement makes of each (tags
  // resolved). A replacement that names no tag is the same for every match
  // and is kept once: a long text may have a million matches.
  struct MatchList {
    // Match k is bytes [bounds[2k], bounds[2k + 1]): the layout a matcher may
    // keep its own matches in, so that it can hand them over.
    std::vector<size_t> bounds;
    // One a match, or a single one for every match.
    std::vector<std::string> replacements;

    size_t size() const { return bounds.size() / 2; }
    bool empty() const { return bounds.empty(); }
    Match operator[](size_t k) const { return {bounds[2 * k], bounds[2 * k + 1]}; }
    void Add(size_t begin, size_t end) {
      bounds.push_back(begin);
      bounds.push_back(end);
    }
    const std::string& Replacement(size_t k) const {
      return replacements[replacements.size() == 1 ? 0 : k];
    }
  };

  // Every non-empty match of the pattern in the text, left to right, with the
  // replacement each would get. For callers that replace in only part of a
  // text (shown text inside rich text). Throws like MatchCount.
  virtual MatchList Matches(const std::string& replacement) = 0;
};

}  // namespace tidewell
