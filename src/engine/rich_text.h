// Rich text (RTF) as the items keep their formatted bodies.
//
// Only shown text is ever matched or replaced: control words (\par, \f0),
// control symbols, braces and destinations that are not shown (font table,
// colour table, \*\ destinations, pictures) stay byte for byte, so a search
// for "par" never touches \par and the formatting always survives.
#pragma once

#include <string>

#include "platform/pattern_matcher.h"

namespace tidewell {

// A minimal RTF document showing `text` (UTF-8): paragraphs at line breaks,
// RTF escapes for "\", "{", "}", non-ASCII as \uN? with a "?" fallback.
std::string RtfFromPlainText(const std::string& text);

// The text an RTF document shows, as UTF-8; paragraphs and line breaks
// become "\n". A text that is not RTF (no "{\rtf") comes back unchanged.
std::string PlainTextFromRtf(const std::string& rtf);

// The number of matches of the matcher's pattern in the shown text of `rtf`.
// Uses and overwrites the matcher's text.
int32_t CountShownMatches(PatternMatcher& matcher, const std::string& rtf);

// `rtf` with every match of the matcher's pattern in its shown text replaced
// by `replacement`; the replacement is written with RTF escapes (non-ASCII as
// \uN?). A match may span formatting changes: its text is replaced where the
// match starts and the rest of its shown text is removed, markup kept.
// Uses and overwrites the matcher's text.
std::string ReplaceShownText(PatternMatcher& matcher, const std::string& rtf,
                             const std::string& replacement);

}  // namespace tidewell
