// The page's pattern matcher over arbitrary patterns, replacements and texts.
//
// Input: one flag byte, then pattern NUL replacement NUL text (a missing
// part is empty). Bit 0 of the flag byte is the case flag; bits 1 and 2 pick
// the order in which a matcher kept for the whole process is given case
// flag, text and pattern, so that its caching is checked against a fresh
// matcher on every input.
//
// Checked: Check() and SetPattern agree, and an invalid pattern fails with
// Failure("Invalid pattern: ...") at every later search too; a search fails
// only as "too complex"; matches are non-empty, ordered, disjoint, inside
// the text and valid UTF-8; anchors hold; SetReplace gives the text that the
// matches and their replacements spell; a pattern of characters only (found
// by PCRE2 as a literal) finds what the same characters as one-member lists
// find.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "adapters/pattern/classic_pattern_matcher.h"
#include "adapters/pattern/classic_syntax.h"
#include "platform/failure.h"
#include "text/utf8.h"

namespace {

using tidewell::ClassicPatternMatcher;
using tidewell::Failure;
using Matches = tidewell::PatternMatcher::MatchList;

const std::string kTooComplex = "The pattern is too complex for this text.";

[[noreturn]] void Broken(const std::string& what) {
  std::fprintf(stderr, "\n*** %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

// Every match with its replacement, or the failure's description.
struct Outcome {
  std::optional<Matches> matches;
  std::string failure;
  std::string replaced;  // the text after SetReplace
};

bool Same(const std::optional<Matches>& a, const std::optional<Matches>& b) {
  if (a.has_value() != b.has_value()) return false;
  if (!a) return true;
  if (a->size() != b->size()) return false;
  for (size_t k = 0; k < a->size(); ++k) {
    if ((*a)[k].begin != (*b)[k].begin || (*a)[k].end != (*b)[k].end ||
        a->Replacement(k) != b->Replacement(k)) {
      return false;
    }
  }
  return true;
}

Outcome Search(ClassicPatternMatcher& matcher, const std::string& replacement) {
  Outcome outcome;
  try {
    const int32_t count = matcher.MatchCount();
    outcome.matches = matcher.Matches(replacement);
    if (static_cast<size_t>(count) != outcome.matches->size()) {
      Broken("MatchCount " + std::to_string(count) + " but " +
             std::to_string(outcome.matches->size()) + " matches");
    }
    matcher.SetReplace(replacement);
    outcome.replaced = matcher.Text();
  } catch (const Failure& f) {
    outcome.matches.reset();
    outcome.failure = f.Description();
  }
  return outcome;
}

// The pattern's characters as one-member lists: "a.b" (a literal "a.b" only
// when escaped) becomes "[a][.][b]", which PCRE2 compiles as a pattern.
std::string AsLists(const std::string& literal) {
  std::string out;
  for (size_t i = 0; i < literal.size();) {
    const std::optional<char32_t> c = tidewell::NextCodePoint(literal, i);
    if (!c) Broken("a literal pattern that is not UTF-8");
    out += '[';
    // In a list '\' escapes, and the escape letters stand for control
    // characters, so those are written as they are.
    if (*c == '\\' || *c == ']' || *c == '^' || *c == '-' || *c == '[') out += '\\';
    tidewell::AppendUtf8(out, *c);
    out += ']';
  }
  return out;
}

bool StartsWithAnchor(const std::string& pattern) { return pattern.starts_with('^'); }

bool EndsWithAnchor(const std::string& pattern) {
  if (!pattern.ends_with('$')) return false;
  size_t backslashes = 0;
  for (size_t i = pattern.size() - 1; i > 0 && pattern[i - 1] == '\\'; --i) ++backslashes;
  return backslashes % 2 == 0;
}

void CheckMatches(const Outcome& o, const std::string& pattern, const std::string& text) {
  if (!o.matches) {
    if (o.failure != kTooComplex) Broken("a search failed: " + o.failure);
    return;
  }
  const Matches& matches = *o.matches;
  std::string spelt;
  size_t previous = 0;
  for (size_t k = 0; k < matches.size(); ++k) {
    const tidewell::PatternMatcher::Match m = matches[k];
    if (m.begin < previous || m.begin >= m.end || m.end > text.size()) {
      Broken("match [" + std::to_string(m.begin) + ", " + std::to_string(m.end) +
             ") is empty, out of order or outside the text of " + std::to_string(text.size()));
    }
    if (!tidewell::IsValidUtf8(std::string_view(text).substr(m.begin, m.end - m.begin))) {
      Broken("a match holds bytes that are not UTF-8");
    }
    spelt.append(text, previous, m.begin - previous);
    spelt += matches.Replacement(k);
    previous = m.end;
  }
  spelt.append(text, previous);
  if (!matches.empty() && o.replaced != spelt) Broken("SetReplace differs from the matches");
  if (matches.empty() && o.replaced != text) Broken("SetReplace without a match changed the text");
  if (StartsWithAnchor(pattern) && !matches.empty() &&
      (matches.size() > 1 || matches[0].begin != 0)) {
    Broken("a match of a pattern starting with ^ does not start the text");
  }
  if (EndsWithAnchor(pattern) && !matches.empty() &&
      (matches.size() > 1 || matches[0].end != text.size())) {
    Broken("a match of a pattern ending with $ does not end the text");
  }
}

std::string Part(const std::string& input, size_t& pos, bool last) {
  const size_t end = last ? std::string::npos : input.find('\0', pos);
  std::string part = input.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
  pos = end == std::string::npos ? input.size() : end + 1;
  return part;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  const bool case_sensitive = (data[0] & 1) != 0;
  const int order = (data[0] >> 1) & 3;
  size_t pos = 0;
  const std::string pattern = Part(input, pos, false);
  const std::string replacement = Part(input, pos, false);
  const std::string text = Part(input, pos, true);

  const std::string check = ClassicPatternMatcher().Check(pattern);
  if (!check.empty() && !check.starts_with("Invalid pattern: ")) {
    Broken("Check names no invalid pattern: " + check);
  }

  ClassicPatternMatcher fresh;
  fresh.SetCaseSensitive(case_sensitive);
  fresh.SetText(text);
  try {
    fresh.SetPattern(pattern);
    if (!check.empty()) Broken("SetPattern took a pattern Check refuses: " + check);
  } catch (const Failure& f) {
    if (f.Description() != check) {
      Broken("SetPattern fails with \"" + f.Description() + "\", Check says \"" + check + "\"");
    }
  }
  const Outcome outcome = Search(fresh, replacement);
  if (!check.empty()) {
    if (outcome.matches || outcome.failure != check) {
      Broken("a search after an invalid pattern did not fail as it did: " + outcome.failure);
    }
    return 0;
  }
  CheckMatches(outcome, pattern, text);

  // The same search on a matcher that kept the previous input's state.
  static ClassicPatternMatcher kept;
  try {
    switch (order) {
      case 0:
        kept.SetCaseSensitive(case_sensitive);
        kept.SetText(text);
        kept.SetPattern(pattern);
        break;
      case 1:
        kept.SetPattern(pattern);
        kept.SetText(text);
        kept.SetCaseSensitive(case_sensitive);
        break;
      case 2:
        kept.SetText(text);
        kept.SetPattern(pattern);
        kept.SetCaseSensitive(case_sensitive);
        break;
      default:
        kept.SetPattern(pattern);
        kept.SetCaseSensitive(case_sensitive);
        kept.SetText(text);
        break;
    }
  } catch (const Failure& f) {
    // The pattern is valid: only the flag it was set under can differ, and
    // Check compiles without it.
    Broken("a kept matcher refused a valid pattern: " + f.Description());
  }
  const Outcome again = Search(kept, replacement);
  if (!Same(again.matches, outcome.matches) || again.failure != outcome.failure ||
      again.replaced != outcome.replaced) {
    Broken("a kept matcher finds other matches than a fresh one");
  }

  // PCRE2's literal search against its pattern search for the same characters.
  const tidewell::classic::Translation translation = tidewell::classic::Translate(pattern);
  if (translation.is_literal && outcome.matches) {
    ClassicPatternMatcher lists;
    lists.SetCaseSensitive(case_sensitive);
    lists.SetText(text);
    try {
      lists.SetPattern(AsLists(translation.literal));
    } catch (const Failure&) {
      return 0;  // four times as long, it may pass PCRE2's limit on a pattern's size
    }
    const Outcome by_lists = Search(lists, replacement);
    if (by_lists.matches && !Same(by_lists.matches, outcome.matches)) {
      Broken("the literal search and the same characters as lists find different matches");
    }
  }
  return 0;
}
