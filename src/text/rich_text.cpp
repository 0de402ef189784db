#include "text/rich_text.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "text/rtf_reader.h"
#include "text/utf8.h"

namespace tidewell {

namespace {

using rtf::Ending;
using rtf::IsAsciiDigit;
using rtf::IsAsciiLetter;
using rtf::IsHexDigit;
using rtf::IsRtf;
using rtf::kReplacementCharacter;
using rtf::OpenEnd;
using rtf::Token;
using rtf::TokenKind;

// The code point at text[i], advancing i past it. A byte that does not start
// a well-formed sequence is consumed alone and reads as U+FFFD.
char32_t NextCodePointOrReplacement(std::string_view text, size_t& i) {
  if (const std::optional<char32_t> cp = NextCodePoint(text, i)) return *cp;
  ++i;
  return kReplacementCharacter;
}

// What the edit of a match needs of the shown text around it.
constexpr uint8_t kCrBefore = 1, kLfAfter = 2;

// ---------------------------------------------------------------------------
// Writing shown text as RTF

// Stands for the string EscapeText would write, to learn its size first: a
// long body's RTF is then made in a string of the right size, not one grown
// to twice it.
struct SizeCount {
  size_t size = 0;
  SizeCount& operator+=(char) {
    ++size;
    return *this;
  }
  SizeCount& operator+=(std::string_view piece) {
    size += piece.size();
    return *this;
  }
  void append(size_t count, char) { size += count; }
};

template <typename Out>
void AppendHexEscape(Out& out, unsigned char byte) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\'";
  out += kHex[byte >> 4];
  out += kHex[byte & 0x0F];
}

// \uN takes a signed 16-bit N; the reader skips `uc` fallback characters
// after it, so exactly that many are written (or the delimiting blank when
// there are none).
template <typename Out>
void AppendUnicodeEscape(Out& out, char16_t unit, int32_t uc) {
  out += "\\u";
  out += std::to_string(static_cast<int16_t>(unit));
  if (uc <= 0) {
    out += ' ';
  } else {
    out.append(static_cast<size_t>(uc), '?');
  }
}

// `text` (UTF-8) as RTF text for a spot where the reader skips `uc` characters
// after each \uN. Line breaks become paragraphs; every control word written
// ends with its delimiting blank so that no following letter or digit can
// join it.
//
// A paragraph shows an LF, and a CR with the LF after it is one line break,
// which a paragraph shows. A CR without an LF after it is the character it
// is, and so is a CR before a CR LF when a CR is shown before it
// (`cr_before`, updated to what the written text ends in): a paragraph
// there would join the two. A CR that ends the text where an LF is shown
// next (`lf_after`) is not written: the two are one line break, which the
// LF gives.
template <typename Out>
void EscapeInto(Out& out, std::string_view text, int32_t uc, bool& cr_before, bool lf_after) {
  for (size_t i = 0; i < text.size();) {
    const char c = text[i];
    const bool crlf = c == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
    if (c == '\r' && !cr_before && i + 1 == text.size() && lf_after) break;
    if (c == '\r' && (cr_before || !crlf)) {
      AppendHexEscape(out, '\r');
      cr_before = true;
      ++i;
      continue;
    }
    cr_before = false;
    if (c == '\r' || c == '\n') {
      out += "\\par ";
      i += crlf ? 2 : 1;
      continue;
    }
    if (c == '\\' || c == '{' || c == '}') {
      out += '\\';
      out += c;
      ++i;
      continue;
    }
    if (c == '\t') {
      out += "\\tab ";
      ++i;
      continue;
    }
    // Most of a body is plain ASCII, written as it is.
    if (c >= 0x20 && c < 0x7F) {
      out += c;
      ++i;
      continue;
    }
    const char32_t cp = NextCodePointOrReplacement(text, i);
    if (cp < 0x20) {
      AppendHexEscape(out, static_cast<unsigned char>(cp));
    } else if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x10000) {
      AppendUnicodeEscape(out, static_cast<char16_t>(cp), uc);
    } else {
      const char32_t v = cp - 0x10000;
      AppendUnicodeEscape(out, static_cast<char16_t>(0xD800 + (v >> 10)), uc);
      AppendUnicodeEscape(out, static_cast<char16_t>(0xDC00 + (v & 0x3FF)), uc);
    }
  }
}

std::string EscapeText(std::string_view text, int32_t uc, bool& cr_before, bool lf_after) {
  std::string out;
  out.reserve(text.size());
  EscapeInto(out, text, uc, cr_before, lf_after);
  return out;
}

// The size EscapeText gives `text` standing alone.
size_t EscapedSize(std::string_view text, int32_t uc) {
  SizeCount count;
  bool cr_before = false;
  EscapeInto(count, text, uc, cr_before, false);
  return count.size;
}

// The same for a text that stands alone.
std::string EscapeText(std::string_view text, int32_t uc) {
  bool cr_before = false;
  return EscapeText(text, uc, cr_before, false);
}

// Collects the edited document. A piece put where the document so far ends
// otherwise than the source did before that piece could join what stands
// there (see OpenEnd); a blank or an empty group goes between.
class Writer {
 public:
  explicit Writer(size_t size_hint) { out_.reserve(size_hint); }
  // Hands the document to `sink` in pieces of about kPiece bytes as it is
  // written, never holding it whole; Take gives the last piece.
  explicit Writer(const std::function<void(std::string_view)>& sink) : sink_(&sink) {
    out_.reserve(kPiece + (size_t{4} << 10));
  }

  // `before`: how the source ended right before `piece` (nothing open for
  // new text); `after`: how it ends after `piece` alone.
  void Put(std::string_view piece, Ending before, Ending after = {}) {
    if (piece.empty()) return;
    if (end_ != before) {
      if (Swallows(piece)) {
        out_ += end_.open == OpenEnd::kLetters || end_.open == OpenEnd::kDigits ? " " : "{}";
        end_ = {};
      } else if (end_.lone_high && StartsWithUnicode(piece)) {
        out_ += "{}";
        end_ = {};
      }
    }
    out_.append(piece);
    if (sink_ != nullptr && out_.size() >= kPiece) {
      (*sink_)(out_);
      out_.clear();
    }
    if (end_.open == OpenEnd::kHex && piece.size() == 1 && IsHexDigit(piece[0])) {
      end_ = {OpenEnd::kHexDigit};
    } else if (end_.open == OpenEnd::kLetters && piece == "-") {
      end_ = {OpenEnd::kSign};
    } else if (end_.open == OpenEnd::kGroup &&
               piece.find_first_not_of("\r\n") == std::string_view::npos) {
      // The reader passes over line ends, still at the group's start.
    } else {
      end_ = after;
    }
  }

  std::string Take() { return std::move(out_); }

 private:
  // A \uN, which may be the low half of a pair.
  static bool StartsWithUnicode(std::string_view piece) {
    if (!piece.starts_with("\\u")) return false;
    piece.remove_prefix(2);
    if (piece.starts_with('-')) piece.remove_prefix(1);
    return !piece.empty() && IsAsciiDigit(piece.front());
  }

  bool Swallows(std::string_view piece) const {
    const char c = piece.front();
    switch (end_.open) {
      case OpenEnd::kLetters:
        return IsAsciiLetter(c) || IsAsciiDigit(c) || c == ' ' ||
               (c == '-' && piece.size() > 1 && IsAsciiDigit(piece[1]));
      case OpenEnd::kDigits:
        return IsAsciiDigit(c) || c == ' ';
      case OpenEnd::kSign:
        return IsAsciiDigit(c);
      case OpenEnd::kHex:
        return piece.size() > 1 && IsHexDigit(c) && IsHexDigit(piece[1]);
      case OpenEnd::kHexDigit:
        return IsHexDigit(c);
      case OpenEnd::kGroup:
        return rtf::StartsWithGroupHider(piece);
      case OpenEnd::kLeadByte: {
        // What FromByte would take as the trail byte.
        const auto b = static_cast<unsigned char>(c);
        if (piece.size() > 3 && c == '\\' && piece[1] == '\'' && IsHexDigit(piece[2]) &&
            IsHexDigit(piece[3])) {
          return true;
        }
        return b >= 0x40 && b != 0x7F && b != 0xFF && c != '\\' && c != '{' && c != '}';
      }
      case OpenEnd::kNone:
        return false;
    }
    return false;
  }

  static constexpr size_t kPiece = size_t{64} << 10;

  const std::function<void(std::string_view)>* sink_ = nullptr;
  std::string out_;
  Ending end_;
};

}  // namespace

// What RtfFromPlainText puts before the text.
constexpr std::string_view kPlainTextHead =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\\uc1\\pard\\f0\\fs20 ";

std::string RtfFromPlainText(const std::string& text) {
  std::string rtf;
  rtf.reserve(kPlainTextHead.size() + EscapedSize(text, 1) + 1);
  rtf += kPlainTextHead;
  bool cr_before = false;
  EscapeInto(rtf, text, 1, cr_before, false);
  rtf += '}';
  return rtf;
}

std::string RtfFromPlainPieces(const TextPieces& pieces) {
  size_t size = kPlainTextHead.size() + 1;
  pieces([&](std::string_view piece) { size += EscapedSize(piece, 1); });
  std::string rtf;
  rtf.reserve(size);
  rtf += kPlainTextHead;
  bool cr_before = false;
  pieces([&](std::string_view piece) { EscapeInto(rtf, piece, 1, cr_before, false); });
  rtf += '}';
  return rtf;
}

std::string PlainTextFromRtf(const std::string& rtf, const CodePageDecoder& pages) {
  if (!IsRtf(rtf)) return rtf;
  return rtf::ShownTextOf(rtf, pages);
}

int32_t CountShownMatches(PatternMatcher& matcher, const std::string& rtf,
                          const CodePageDecoder& pages) {
  matcher.AdoptText(PlainTextFromRtf(rtf, pages));
  return matcher.MatchCount();
}

std::string ReplaceShownText(PatternMatcher& matcher, const std::string& rtf,
                             const std::string& replacement, const CodePageDecoder& pages) {
  if (!IsRtf(rtf)) {
    matcher.SetText(rtf);
    matcher.SetReplace(replacement);
    return matcher.Text();
  }
  matcher.AdoptText(rtf::ShownTextOf(rtf, pages));
  return ReplaceCountedShownText(matcher, rtf, replacement, pages);
}

ShownTextEdit::ShownTextEdit(PatternMatcher& matcher, const std::string& rtf,
                             const std::string& replacement, const CodePageDecoder& pages)
    : rtf_(rtf), pages_(pages) {
  if (!IsRtf(rtf)) {
    matcher.SetText(rtf);
    matcher.SetReplace(replacement);
    plain_ = matcher.Text();
    return;
  }
  matcher.AdoptText(rtf::ShownTextOf(rtf, pages));
  Search(matcher, replacement);
}

void ShownTextEdit::Search(PatternMatcher& matcher, const std::string& replacement) {
  matches_ = matcher.Matches(replacement);
  std::string shown = matcher.TakeText();
  // What the edit needs of the shown text around each match; the text itself
  // is let go before the new document is written.
  around_.assign(matches_.size(), 0);
  for (size_t k = 0; k < matches_.size(); ++k) {
    const PatternMatcher::Match match = matches_[k];
    if (match.begin > 0 && shown[match.begin - 1] == '\r') around_[k] |= kCrBefore;
    if (match.end < shown.size() && shown[match.end] == '\n') around_[k] |= kLfAfter;
  }
}

std::string ShownTextEdit::Result() const {
  if (plain_) return *plain_;
  if (matches_.empty()) return rtf_;
  Writer out(Room());
  Write(out);
  return out.Take();
}

bool ShownTextEdit::Gives(std::string_view other) const {
  if (plain_) return *plain_ == other;
  if (matches_.empty()) return rtf_ == other;
  size_t at = 0;
  bool same = true;
  const std::function<void(std::string_view)> compare = [&](std::string_view piece) {
    same = same && other.substr(at, piece.size()) == piece;
    at += piece.size();
  };
  Writer out(compare);
  Write(out);
  compare(out.Take());
  return same && at == other.size();
}

size_t ShownTextEdit::Room() const {
  // Room for the document and every replacement written at the most
  // fallbacks a \uN can take, with a separator before each: more than the
  // edit needs, so a long body is written without growing.
  constexpr int32_t kMostFallbacks = 16;
  size_t room = rtf_.size();
  for (size_t k = 0; k < matches_.replacements.size(); ++k) {
    const size_t times = matches_.replacements.size() == 1 ? matches_.size() : 1;
    room += times * (EscapedSize(matches_.replacements[k], kMostFallbacks) + 2);
  }
  return room;
}

template <typename Out>
void ShownTextEdit::Write(Out& out) const {
  const PatternMatcher::MatchList& matches = matches_;
  const std::vector<uint8_t>& around = around_;
  const CodePageDecoder& pages = pages_;
  // Whether the edited text shows an LF right after match k.
  const auto lf_after = [&](size_t k) {
    size_t last = k;
    for (size_t next = k + 1; next < matches.size() && matches[next].begin == matches[last].end;
         ++next) {
      const std::string& next_replacement = matches.Replacement(next);
      if (!next_replacement.empty()) return next_replacement.front() == '\n';
      last = next;
    }
    return (around[last] & kLfAfter) != 0;
  };
  // Whether the edited text shows a CR character right before the next
  // replacement: kept text's own, or one the replacement before wrote.
  size_t written_to = std::string::npos;
  bool written_cr = false;

  const std::string_view source(rtf_);
  size_t m = 0;
  Ending before;
  rtf::ForEachToken(source, pages, [&](const Token& t, std::string_view token_shown) {
    const std::string_view verbatim = source.substr(t.begin, t.end - t.begin);
    const Ending before_token = std::exchange(before, t.ending());
    while (m < matches.size() && matches[m].end <= t.shown_begin) ++m;
    if (t.kind == TokenKind::kMarkup || m == matches.size() || matches[m].begin >= t.shown_end) {
      out.Put(verbatim, before_token, t.ending());
      return;
    }
    // Shown text of this token that no match covers stays: a literal as it
    // stands, a symbol cut by a match written anew.
    const auto keep = [&](size_t from, size_t to) {
      if (from >= to) return;
      if (t.kind == TokenKind::kLiteral) {
        out.Put(verbatim.substr(from - t.shown_begin, to - from), {});
      } else {
        out.Put(EscapeText(token_shown.substr(from - t.shown_begin, to - from), t.uc), {});
      }
    };
    size_t at = t.shown_begin;
    while (m < matches.size() && matches[m].begin < t.shown_end) {
      const PatternMatcher::Match match = matches[m];
      keep(at, match.begin);
      if (match.begin >= t.shown_begin) {
        if (written_to != match.begin) {
          written_cr = (around[m] & kCrBefore) != 0;
        }
        out.Put(EscapeText(matches.Replacement(m), t.uc, written_cr, lf_after(m)), {});
        written_to = match.end;
      }
      at = std::max(at, std::min(match.end, t.shown_end));
      if (match.end > t.shown_end) break;
      ++m;
    }
    keep(at, t.shown_end);
  });
}

std::string ReplaceCountedShownText(PatternMatcher& matcher, const std::string& rtf,
                                    const std::string& replacement, const CodePageDecoder& pages) {
  if (!IsRtf(rtf)) return ReplaceShownText(matcher, rtf, replacement, pages);
  ShownTextEdit edit(rtf, pages);
  edit.Search(matcher, replacement);
  return edit.Result();
}

}  // namespace tidewell
