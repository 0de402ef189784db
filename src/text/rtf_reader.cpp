#include "text/rtf_reader.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "text/utf8.h"

namespace tidewell::rtf {

namespace {

// ---------------------------------------------------------------------------
// Code pages

// The page a single byte is read in. A document names it with \ansicpg; any
// page but 1250 and 1251 is read as 1252, which is what writers use when they
// name none, and so are the bytes of a double-byte page that start no pair.
int32_t SingleBytePage(int32_t codePage) {
  return codePage == 1250 || codePage == 1251 ? codePage : 1252;
}

bool IsDoubleByte(int32_t codePage) {
  return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950;
}

// A byte that starts a two-byte character in a double-byte code page.
bool IsLeadByte(int32_t codePage, unsigned char byte) {
  if (codePage == 932) return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
  return byte >= 0x81 && byte <= 0xFE;
}

// `bytes` of a code page as the one character they are; U+FFFD when they are
// none.
char32_t Decode(const CodePageDecoder& pages, int32_t codePage, std::string_view bytes) {
  const std::optional<std::string> text = pages.ToUtf8(codePage, bytes);
  if (!text) return kReplacementCharacter;
  size_t i = 0;
  const std::optional<char32_t> cp = NextCodePoint(*text, i);
  return cp && i == text->size() ? *cp : kReplacementCharacter;
}

// ---------------------------------------------------------------------------
// Tokens

// Destinations whose text is never shown, besides every {\* ...} group.
constexpr std::string_view kHiddenDestinations[] = {
    "fonttbl",   "colortbl",  "stylesheet",        "info",     "pict",    "object",
    "fldinst",   "listtable", "listoverridetable", "revtbl",   "rsidtbl", "generator",
    "themedata", "datastore", "latentstyles",      "xmlnstbl", "filetbl", "header",
    "footer",    "headerl",   "headerr",           "headerf",  "footerl", "footerr",
    "footerf",
};

bool IsHiddenDestination(std::string_view word) {
  return std::find(std::begin(kHiddenDestinations), std::end(kHiddenDestinations), word) !=
         std::end(kHiddenDestinations);
}

struct ShownWord {
  std::string_view word;
  char32_t shown;
};

constexpr ShownWord kShownWords[] = {
    {"par", '\n'},      {"line", '\n'},      {"sect", '\n'},        {"page", '\n'},
    {"row", '\n'},      {"tab", '\t'},       {"cell", '\t'},        {"emdash", 0x2014},
    {"endash", 0x2013}, {"emspace", 0x2003}, {"enspace", 0x2002},   {"bullet", 0x2022},
    {"lquote", 0x2018}, {"rquote", 0x2019},  {"ldblquote", 0x201C}, {"rdblquote", 0x201D},
};

class Parser {
 public:
  // The shown text goes to `text`. Tokens go to `take` when there is one,
  // each once nothing more can change it, and `text` then keeps only what
  // the tokens not yet taken show.
  Parser(std::string_view rtf, const CodePageDecoder& pages, std::string* text,
         const TokenSink* take)
      : rtf_(rtf), text_(text), take_(take), pages_(pages) {}

  void Run() {
    // The shown text is hardly ever longer than the RTF: reserved so, a long
    // body is not grown, which would hold it twice over for a while.
    if (!take_) text_->reserve(rtf_.size());
    while (i_ < rtf_.size()) Step();
    FinishPendingSurrogate();
    Emit();
  }

 private:
  struct Group {
    bool hidden = false;
    int32_t uc = 1;
  };

  struct ControlWord {
    std::string_view word;
    bool has_param = false;
    int64_t param = 0;
    OpenEnd open = OpenEnd::kNone;
  };

  // After the document's closing brace nothing is shown.
  bool Hidden() const { return groups_.empty() || groups_.back().hidden; }
  int32_t Uc() const { return groups_.empty() ? 1 : groups_.back().uc; }

  void Step() {
    const char c = rtf_[i_];
    if (c == '{' || c == '}') {
      skip_ = 0;
      Push(Markup(i_, i_ + 1, c == '{' ? OpenEnd::kGroup : OpenEnd::kNone));
      ++i_;
      if (c == '{') {
        groups_.push_back(groups_.empty() ? Group{} : groups_.back());
        group_start_ = true;
      } else {
        if (!groups_.empty()) groups_.pop_back();
        group_start_ = false;
      }
      return;
    }
    if (c == '\r' || c == '\n') {
      if (skip_ > 0) {
        Absorb(i_ + 1, OpenEnd::kNone, false);
      } else {
        Push(Markup(i_, i_ + 1, group_start_ ? OpenEnd::kGroup : OpenEnd::kNone));
      }
      ++i_;
      return;
    }
    if (c == '\\') {
      Control();
    } else {
      Text();
    }
  }

  void Control() {
    const size_t start = i_;
    if (i_ + 1 >= rtf_.size()) {
      i_ = rtf_.size();
      Push(Markup(start, i_));
      return;
    }
    const char next = rtf_[i_ + 1];
    if (IsAsciiLetter(next)) {
      const ControlWord word = ReadControlWord();
      Word(start, word);
      return;
    }
    const bool shown = !Hidden();
    if (next == '\'' && i_ + 3 < rtf_.size() && IsHex(rtf_[i_ + 2]) && IsHex(rtf_[i_ + 3])) {
      i_ += 4;
      if (skip_ > 0) return Absorb(i_, OpenEnd::kNone, true);
      group_start_ = false;
      if (!shown) return Push(Markup(start, i_));
      const auto byte =
          static_cast<unsigned char>(HexValue(rtf_[start + 2]) * 16 + HexValue(rtf_[start + 3]));
      // First: a lead byte moves i_ past its trail, which the token must cover.
      const char32_t shown_char = FromByte(byte);
      PushSymbol(start, i_, shown_char);
      if (lone_lead_) last_.open = OpenEnd::kLeadByte;
      return;
    }
    i_ += 2;
    const OpenEnd open = next == '\'' ? OpenEnd::kHex : OpenEnd::kNone;
    if (skip_ > 0) return Absorb(i_, open, true);
    if (group_start_ && next == '*' && !groups_.empty()) groups_.back().hidden = true;
    group_start_ = false;
    if (!shown) return Push(Markup(start, i_, open));
    switch (next) {
      case '\\':
      case '{':
      case '}':
        return PushSymbol(start, i_, static_cast<char32_t>(next));
      case '~':
        return PushSymbol(start, i_, 0x00A0);
      case '_':
        return PushSymbol(start, i_, 0x2011);
      case '\r':
      case '\n':
        return PushSymbol(start, i_, '\n');
      default:
        return Push(Markup(start, i_, open));
    }
  }

  ControlWord ReadControlWord() {
    ControlWord w;
    size_t j = i_ + 1;
    while (j < rtf_.size() && IsAsciiLetter(rtf_[j])) ++j;
    w.word = rtf_.substr(i_ + 1, j - i_ - 1);
    w.open = OpenEnd::kLetters;
    bool negative = false;
    if (j + 1 < rtf_.size() && rtf_[j] == '-' && IsAsciiDigit(rtf_[j + 1])) {
      negative = true;
      ++j;
    }
    while (j < rtf_.size() && IsAsciiDigit(rtf_[j])) {
      // Clamped: a parameter beyond any real use must not overflow.
      w.param = std::min<int64_t>(w.param * 10 + (rtf_[j] - '0'), int64_t{1} << 40);
      w.has_param = true;
      w.open = OpenEnd::kDigits;
      ++j;
    }
    if (negative) w.param = -w.param;
    if (j < rtf_.size() && rtf_[j] == ' ') {
      ++j;
      w.open = OpenEnd::kNone;
    }
    i_ = j;
    return w;
  }

  void Word(size_t start, const ControlWord& w) {
    if (w.word == "bin" && w.has_param) {
      // Binary data may hold any byte, braces and backslashes included.
      // Without data (\bin0, \bin-5) the word ends the token and stays open
      // to a digit written after it.
      const OpenEnd open = w.param > 0 ? OpenEnd::kNone : w.open;
      i_ = std::min(rtf_.size(), i_ + static_cast<size_t>(std::max<int64_t>(w.param, 0)));
      if (skip_ > 0) return Absorb(i_, open, true);
      group_start_ = false;
      return Push(Markup(start, i_, open));
    }
    if (skip_ > 0) return Absorb(i_, w.open, true);
    if (group_start_ && !groups_.empty() && IsHiddenDestination(w.word)) {
      groups_.back().hidden = true;
    }
    group_start_ = false;
    if (w.word == "ansicpg" && w.has_param) {
      code_page_ = static_cast<int32_t>(w.param);
      high_.fill(0);
    }
    if (w.word == "uc" && w.has_param && !groups_.empty()) {
      groups_.back().uc = static_cast<int32_t>(std::clamp<int64_t>(w.param, 0, 16));
    }
    if (Hidden()) return Push(Markup(start, i_, w.open));
    if (w.word == "u" && w.has_param) return Unicode(start, w);
    for (const ShownWord& shown : kShownWords) {
      if (shown.word == w.word) {
        PushSymbol(start, i_, shown.shown);
        last_.open = w.open;
        return;
      }
    }
    Push(Markup(start, i_, w.open));
  }

  // \uN shows one UTF-16 unit (N signed); a pair of them shows a character
  // beyond the first plane and becomes one token.
  void Unicode(size_t start, const ControlWord& w) {
    const auto unit = static_cast<char16_t>(static_cast<uint16_t>(w.param));
    const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
    // A pending high half is always the last token: every other push
    // finishes it first.
    if (low && pending_high_) {
      const char32_t cp = 0x10000 + ((static_cast<char32_t>(high_unit_) - 0xD800) << 10) +
                          (static_cast<char32_t>(unit) - 0xDC00);
      pending_high_ = false;
      Show(cp);
      last_.end = i_;
      last_.shown_end = shown_;
      last_.open = w.open;
    } else if (unit >= 0xD800 && unit <= 0xDBFF) {
      FinishPendingSurrogate();
      Push(Symbol(start, i_));
      last_.open = w.open;
      pending_high_ = true;
      high_unit_ = unit;
    } else {
      PushSymbol(start, i_, (unit >= 0xD800 && unit <= 0xDFFF) ? kReplacementCharacter : unit);
      last_.open = w.open;
    }
    skip_ = Uc();
  }

  void Text() {
    const size_t start = i_;
    if (skip_ > 0) {
      ++i_;
      // A fallback character may leave the \u token ending in something that
      // waits for more, as a piece the Writer puts may (see OpenEnd): a hex
      // digit after a "\'" that is no escape, a "-" after a word's letters.
      const OpenEnd before = last_.open;
      OpenEnd open = OpenEnd::kNone;
      if (before == OpenEnd::kHex && IsHex(rtf_[start])) open = OpenEnd::kHexDigit;
      if (before == OpenEnd::kLetters && rtf_[start] == '-') open = OpenEnd::kSign;
      return Absorb(i_, open, true);
    }
    group_start_ = false;
    FinishPendingSurrogate();
    const bool hidden = Hidden();
    const auto stops = [&](unsigned char b) {
      if (b == '\\' || b == '{' || b == '}' || b == '\r' || b == '\n') return true;
      return !hidden && ((b < 0x20 && b != '\t') || b >= 0x80);
    };
    const auto byte = static_cast<unsigned char>(rtf_[i_]);
    if (!hidden && ((byte < 0x20 && byte != '\t') || byte >= 0x80)) {
      ++i_;
      // Raw 8-bit text is in the document's code page; stray control bytes
      // are not shown.
      if (byte < 0x20) return Push(Markup(start, i_));
      const char32_t shown_char = FromByte(byte);  // first, as above
      PushSymbol(start, i_, shown_char);
      if (lone_lead_) last_.open = OpenEnd::kLeadByte;
      return;
    }
    while (i_ < rtf_.size() && !stops(static_cast<unsigned char>(rtf_[i_]))) ++i_;
    if (hidden) return Push(Markup(start, i_));
    Token t;
    t.kind = TokenKind::kLiteral;
    t.begin = start;
    t.end = i_;
    t.shown_begin = shown_;
    text_->append(rtf_.substr(start, i_ - start));
    shown_ += i_ - start;
    t.shown_end = shown_;
    t.uc = Uc();
    Push(t);
  }

  // The character a shown byte of the document's code page starts: in a
  // double-byte code page a lead byte takes the byte after it (written as
  // "\'hh" or as it is) along.
  char32_t FromByte(unsigned char byte) {
    lone_lead_ = false;
    if (!IsDoubleByte(code_page_) || !IsLeadByte(code_page_, byte)) return FromSingleByte(byte);
    std::optional<unsigned char> trail;
    if (i_ + 3 < rtf_.size() && rtf_[i_] == '\\' && rtf_[i_ + 1] == '\'' && IsHex(rtf_[i_ + 2]) &&
        IsHex(rtf_[i_ + 3])) {
      trail = static_cast<unsigned char>(HexValue(rtf_[i_ + 2]) * 16 + HexValue(rtf_[i_ + 3]));
      i_ += 4;
    } else if (i_ < rtf_.size()) {
      const auto next = static_cast<unsigned char>(rtf_[i_]);
      if (next >= 0x40 && next != 0x7F && next != 0xFF && next != '\\' && next != '{' &&
          next != '}') {
        trail = next;
        ++i_;
      }
    }
    lone_lead_ = !trail;
    if (!trail) return kReplacementCharacter;
    const char pair[] = {static_cast<char>(byte), static_cast<char>(*trail)};
    return Decode(pages_, code_page_, {pair, 2});
  }

  // Each byte of the upper half is decoded once a document, when first met.
  char32_t FromSingleByte(unsigned char byte) {
    if (byte < 0x80) return byte;
    char32_t& known = high_[byte - 0x80];
    if (known == 0) {
      const char c = static_cast<char>(byte);
      known = Decode(pages_, SingleBytePage(code_page_), {&c, 1});
    }
    return known;
  }

  // A fallback character after \uN: part of the \u token, never shown.
  void Absorb(size_t end, OpenEnd open, bool counts) {
    last_.end = end;
    last_.open = open;
    if (counts) --skip_;
  }

  Token Markup(size_t begin, size_t end, OpenEnd open = OpenEnd::kNone) const {
    Token t;
    t.begin = begin;
    t.end = end;
    t.open = open;
    t.uc = Uc();
    t.shown_begin = t.shown_end = shown_;
    return t;
  }

  Token Symbol(size_t begin, size_t end) const {
    Token t = Markup(begin, end);
    t.kind = TokenKind::kSymbol;
    return t;
  }

  void PushSymbol(size_t begin, size_t end, char32_t shown) {
    FinishPendingSurrogate();
    Token t = Symbol(begin, end);
    Show(shown);
    t.shown_end = shown_;
    Keep(t);
  }

  void Push(Token t) {
    FinishPendingSurrogate();
    if (t.kind == TokenKind::kMarkup) t.shown_begin = t.shown_end = shown_;
    Keep(t);
  }

  // The last token may still grow (fallback characters, the low half of a
  // pair); the one before it is done.
  void Keep(const Token& t) {
    Emit();
    last_ = t;
    has_last_ = true;
  }

  void Emit() {
    if (!has_last_ || !take_) return;
    const size_t to = last_.shown_end - text_start_;
    const size_t from = last_.shown_begin - text_start_;
    (*take_)(last_, std::string_view(*text_).substr(from, to - from));
    text_->erase(0, to);
    text_start_ = last_.shown_end;
  }

  void Show(char32_t cp) {
    const size_t before = text_->size();
    AppendUtf8(*text_, cp);
    shown_ += text_->size() - before;
  }

  // A high surrogate not followed by its low half shows as U+FFFD.
  void FinishPendingSurrogate() {
    if (!pending_high_) return;
    pending_high_ = false;
    last_.lone_high = true;
    last_.shown_begin = shown_;
    Show(kReplacementCharacter);
    last_.shown_end = shown_;
  }

  static bool IsHex(char c) {
    return IsAsciiDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
  }
  static int HexValue(char c) {
    if (IsAsciiDigit(c)) return c - '0';
    return (c | 0x20) - 'a' + 10;
  }

  std::string_view rtf_;
  size_t i_ = 0;
  std::string* text_;
  const TokenSink* take_;
  size_t shown_ = 0;       // bytes of shown text so far
  size_t text_start_ = 0;  // the place in the shown text where text_ starts
  Token last_;
  bool has_last_ = false;
  std::vector<Group> groups_;
  bool group_start_ = false;
  int32_t skip_ = 0;
  const CodePageDecoder& pages_;
  int32_t code_page_ = 1252;
  std::array<char32_t, 128> high_{};  // FromSingleByte's, 0 until decoded
  bool pending_high_ = false;         // last_ is a high surrogate's \u
  char16_t high_unit_ = 0;
  bool lone_lead_ = false;  // the last FromByte was a lead byte without a trail
};

}  // namespace

bool StartsWithGroupHider(std::string_view rtf) {
  if (rtf.starts_with("\\*")) return true;
  if (!rtf.starts_with('\\')) return false;
  size_t end = 1;
  while (end < rtf.size() && IsAsciiLetter(rtf[end])) ++end;
  return IsHiddenDestination(rtf.substr(1, end - 1));
}

std::string ShownTextOf(std::string_view rtf, const CodePageDecoder& pages) {
  std::string text;
  Parser(rtf, pages, &text, nullptr).Run();
  return text;
}

void ForEachToken(std::string_view rtf, const CodePageDecoder& pages, const TokenSink& take) {
  std::string text;
  Parser(rtf, pages, &text, &take).Run();
}

}  // namespace tidewell::rtf
