// How rich text reads: the tokens of an RTF document, each with its place in
// the source and in the text a reader is shown. Shared by the reading and the
// editing halves of text/rich_text.h; nothing outside them uses it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/code_pages.h"

namespace tidewell::rtf {

constexpr char32_t kReplacementCharacter = 0xFFFD;

inline bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
inline bool IsHexDigit(char c) {
  return IsAsciiDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

enum class TokenKind {
  kMarkup,   // not shown: kept byte for byte
  kLiteral,  // shown as it stands, byte for byte
  kSymbol,   // shown as something else (\par, \'e9, \u233?): replaced whole
};

// A control word that ends without its delimiting blank takes letters,
// digits, a blank or a sign that is written right after it as part of
// itself. Edits that bring new text next to it must put a blank between.
// The same holds for what was written after it in pieces: a "-" alone after
// the word's letters takes a digit that comes next (kSign). A "\'" without
// two hex digits after it is no escape, but becomes one when an edit brings
// two hex digits after it (kHex), or one more after the one already there
// (kHexDigit). A "{" that opens a group, and line ends after it, hide the
// group when a "\*" or a destination word comes next (kGroup). Where a blank
// would be shown (after the sign, after "\'") or would not help (after "{")
// an empty group goes between instead. In a double-byte code page a lead
// byte that found no trail byte after it takes the next byte that can be one
// (kLeadByte).
enum class OpenEnd { kNone, kLetters, kDigits, kSign, kHex, kHexDigit, kGroup, kLeadByte };

// How a piece of RTF ends, as far as what comes right after it can change.
struct Ending {
  OpenEnd open = OpenEnd::kNone;
  // A \u of a high surrogate without its low half: a \u of a low one right
  // after it would pair with it and show one character instead of two U+FFFD.
  bool lone_high = false;

  bool operator==(const Ending&) const = default;
};

struct Token {
  TokenKind kind = TokenKind::kMarkup;
  size_t begin = 0;  // bytes of the RTF
  size_t end = 0;
  size_t shown_begin = 0;  // bytes of the shown text
  size_t shown_end = 0;
  int32_t uc = 1;  // fallback characters after \uN where the token stands
  OpenEnd open = OpenEnd::kNone;
  bool lone_high = false;

  Ending ending() const { return {open, lone_high}; }
};

// Takes the tokens of a document one by one, each with the text it shows.
using TokenSink = std::function<void(const Token&, std::string_view shown)>;

inline bool IsRtf(std::string_view text) { return text.starts_with("{\\rtf"); }

// Whether `rtf` starts with what hides a group when it comes right after the
// group's "{": "\*" or a destination word.
bool StartsWithGroupHider(std::string_view rtf);

// The text `rtf` shows. Bytes of the document's code page (\ansicpg)
// decode through `pages`.
std::string ShownTextOf(std::string_view rtf, const CodePageDecoder& pages);

// Hands the tokens of `rtf` to `take` in order, with their places in the text
// ShownTextOf gives, without holding that text or the tokens.
void ForEachToken(std::string_view rtf, const CodePageDecoder& pages, const TokenSink& take);

}  // namespace tidewell::rtf
