// The classic pattern syntax, translated to PCRE2. The syntax itself is
// described in platform/pattern_matcher.h and classic_pattern_matcher.h; this
// header is the matcher's inside.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace tidewell::classic {

// A pattern ready for pcre2_compile.
struct Translation {
  // PCRE2 source text, to compile with PCRE2_UTF and PCRE2_DOTALL. Every
  // character is written as itself (ASCII letters and digits) or as \x{...},
  // so no PCRE2 syntax of the user's can leak through.
  std::string pcre;
  // Set when the pattern holds characters only (no anchor, list, repeat, tag or
  // '.'): `literal` is then the text to find, to compile with PCRE2_LITERAL.
  bool is_literal = false;
  std::string literal;
  // Positions in `pcre` where the atom written from a 1-based pattern position
  // starts: maps a PCRE2 compile error back to the user's pattern.
  std::vector<std::pair<size_t, size_t>> origins;

  // The 1-based pattern position of the atom that covers `pcre_offset`.
  size_t OriginOf(size_t pcre_offset) const;
};

// Throws Failure("Invalid pattern: ...") naming the fault and its 1-based
// position, counted in characters.
Translation Translate(const std::string& pattern);

// A parsed replacement: literal runs and tag references, in order.
struct ReplacementPart {
  std::string literal;
  int tag = -1;  // 0 for the whole match, 1..9 for a tag; -1 for a literal
};
// `dollars`: $0..$9 name tags too and "$$" is one '$' (the regular-expression
// syntax's replacement).
std::vector<ReplacementPart> ParseReplacement(const std::string& replacement, bool dollars = false);

// The first construct of a regular expression in `pattern` (\d \w \s and
// their capitals, '|', '+', "(?", a "{n}" or "{n,m}" count) worded as what it
// means in the classic syntax: "\d means the letter d", "| means a literal |";
// "" when there is none (or the pattern is not UTF-8).
std::string RegexConstruct(const std::string& pattern);

}  // namespace tidewell::classic
