// Rich text (RTF) as the items keep their formatted bodies.
//
// Only shown text is ever matched or replaced: control words (\par, \f0),
// control symbols, braces and destinations that are not shown (font table,
// colour table, \*\ destinations, pictures) stay byte for byte, so a search
// for "par" never touches \par and the formatting always survives.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/code_pages.h"
#include "platform/pattern_matcher.h"
#include "text/iconv_code_pages.h"

namespace tidewell {

// A minimal RTF document showing `text` (UTF-8): paragraphs at line breaks
// ("\r\n" and "\n"), a CR without an LF after it as the character it is,
// RTF escapes for "\", "{", "}", non-ASCII as \uN? with a "?" fallback.
// PlainTextFromRtf gives `text` back, except that "\r\n" comes back as
// "\n".
std::string RtfFromPlainText(const std::string& text);

// RtfFromPlainText of a text too long to hold beside its document, given in
// pieces: `pieces` hands every piece, in order, to the function it is given,
// and is called twice (to size the document, then to write it). No piece may
// end with "\r" or inside a UTF-8 character.
using TextPieces = std::function<void(const std::function<void(std::string_view)>&)>;
std::string RtfFromPlainPieces(const TextPieces& pieces);

// The text an RTF document shows, as UTF-8: \par, \line -> "\n", \tab -> "\t",
// \uN with its fallback skipped, \'hh in the document's \ansicpg (1250, 1251
// or 1252, and 932, 936, 949 and 950 with a lead byte and the byte after it
// as one character; any other is read as 1252), decoded through `pages`. A
// text that is not RTF (no "{\rtf" at its start) comes back unchanged.
std::string PlainTextFromRtf(const std::string& rtf,
                             const CodePageDecoder& pages = IconvCodePages());

// The number of matches of the matcher's pattern in the shown text of `rtf`.
// Uses and overwrites the matcher's text.
int32_t CountShownMatches(PatternMatcher& matcher, const std::string& rtf,
                          const CodePageDecoder& pages = IconvCodePages());

// `rtf` with every match of the matcher's pattern in its shown text replaced
// by `replacement`; the replacement is written with RTF escapes (non-ASCII as
// \uN?, line breaks as paragraphs, a CR that the edited text follows with a
// line feed as none). A match may span formatting changes: its text is
// replaced where the match starts and the rest of its shown text is removed,
// markup kept.
// A document without a match comes back byte for byte; a text that is not RTF
// is replaced as plain text. Uses and overwrites the matcher's text.
std::string ReplaceShownText(PatternMatcher& matcher, const std::string& rtf,
                             const std::string& replacement,
                             const CodePageDecoder& pages = IconvCodePages());

// ReplaceShownText for a matcher that CountShownMatches has just left with
// the shown text of `rtf` (same document, pattern and case flag): the
// document is not read twice nor its text searched again.
std::string ReplaceCountedShownText(PatternMatcher& matcher, const std::string& rtf,
                                    const std::string& replacement,
                                    const CodePageDecoder& pages = IconvCodePages());

// ReplaceShownText in two steps, for a caller that compares the edited
// document with another rather than keeping it: the constructor searches the
// shown text of `rtf` and lets the text go, keeping only the matches; Gives
// then writes the edit a piece at a time against the other document. `rtf`
// and `pages` are held by reference and must outlive the edit.
class ShownTextEdit {
 public:
  ShownTextEdit(PatternMatcher& matcher, const std::string& rtf, const std::string& replacement,
                const CodePageDecoder& pages = IconvCodePages());

  // Whether ReplaceShownText gives `other` byte for byte; the edited
  // document is never held whole.
  bool Gives(std::string_view other) const;
  // What ReplaceShownText gives.
  std::string Result() const;

 private:
  friend std::string ReplaceCountedShownText(PatternMatcher&, const std::string&,
                                             const std::string&, const CodePageDecoder&);
  ShownTextEdit(const std::string& rtf, const CodePageDecoder& pages) : rtf_(rtf), pages_(pages) {}
  // Takes the matches of the matcher's text, the shown text of `rtf_`.
  void Search(PatternMatcher& matcher, const std::string& replacement);
  size_t Room() const;
  template <typename Out>
  void Write(Out& out) const;

  const std::string& rtf_;
  const CodePageDecoder& pages_;
  std::optional<std::string> plain_;  // the result, when `rtf_` is no RTF
  PatternMatcher::MatchList matches_;
  std::vector<uint8_t> around_;
};

}  // namespace tidewell
