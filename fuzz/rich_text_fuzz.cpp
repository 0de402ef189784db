// Shown-text replacement in rich text over arbitrary bytes as an RTF body.
//
// Input: a byte picking the pattern (low four bits) and the case flag (bit
// 4), a byte picking the replacement, then the body. The patterns and
// replacements are fixed so that the fuzzer spends its effort on the body.
//
// Checked: the shown text is UTF-8; a body without a match comes back byte
// for byte; after a replacement the body shows what replacing in its shown
// text gives (line breaks compared as LF, which is all \par can show); a
// plain text written as RTF reads back as itself (CR LF as LF, a lone CR
// kept).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "adapters/pattern/classic_pattern_matcher.h"
#include "platform/failure.h"
#include "text/rich_text.h"
#include "text/utf8.h"

namespace {

constexpr const char* kPatterns[16] = {
    ".", "e",      "[a-z]+", ".+", "{.}{.}", "par", "\\t",          "ü",
    " ", "[^a-z]", "a*b",    "^.", ".$",     "\\n", "{[a-z]}[0-9]", "é",
};

constexpr const char* kReplacements[10] = {
    "", "X", "\\0\\0", "{\\}", "ü€𝄞", "\\2\\1", "line\nbreak", "\\par", "7 ?", "tab\there",
};

[[noreturn]] void Broken(const std::string& what, const std::string& rtf) {
  std::fprintf(stderr, "\n*** %s\nresult: %s\n", what.c_str(), rtf.c_str());
  std::fflush(stderr);
  std::abort();
}

std::string LineBreaksAsLf(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

// As RTF gives a plain text back: CR LF as LF, a lone CR kept.
std::string CrLfAsLf(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' || i + 1 == text.size() || text[i + 1] != '\n') out += text[i];
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const std::string pattern = kPatterns[data[0] & 0x0F];
  const bool case_sensitive = (data[0] & 0x10) != 0;
  const std::string replacement = kReplacements[data[1] % 10];
  const std::string rtf(reinterpret_cast<const char*>(data) + 2, size - 2);
  const bool is_rtf = rtf.starts_with("{\\rtf");

  const std::string shown = tidewell::PlainTextFromRtf(rtf);
  if (is_rtf && !tidewell::IsValidUtf8(shown)) Broken("the shown text is not UTF-8", shown);
  if (tidewell::IsValidUtf8(rtf)) {
    const std::string written = tidewell::RtfFromPlainText(rtf);
    // Line breaks compared as LF on both sides: a CR before a CR LF is
    // written as a character, and reads back as a CR before the break.
    if (CrLfAsLf(tidewell::PlainTextFromRtf(written)) != CrLfAsLf(rtf)) {
      Broken("a plain text written as RTF does not read back", written);
    }
  }

  static tidewell::ClassicPatternMatcher matcher;
  matcher.SetCaseSensitive(case_sensitive);
  matcher.SetPattern(pattern);
  try {
    const int32_t count = tidewell::CountShownMatches(matcher, rtf);
    const std::string out = tidewell::ReplaceShownText(matcher, rtf, replacement);
    if (count == 0 && out != rtf) Broken("a body without a match changed", out);
    if (!is_rtf || count == 0) return 0;
    matcher.SetText(shown);
    matcher.SetReplace(replacement);
    const std::string want = LineBreaksAsLf(matcher.Text());
    const std::string got = LineBreaksAsLf(tidewell::PlainTextFromRtf(out));
    if (got != want) {
      Broken("the body shows \"" + got + "\" where replacing gives \"" + want + "\"", out);
    }
  } catch (const tidewell::Failure& f) {
    // Only the matcher's limit may stop a replacement.
    if (f.Description() != "The pattern is too complex for this text.") {
      Broken("replacing failed: " + f.Description(), rtf);
    }
  }
  return 0;
}
