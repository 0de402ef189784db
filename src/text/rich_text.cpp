#include "text/rich_text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "text/utf8.h"

namespace tidewell {

namespace {

// ---------------------------------------------------------------------------
// Text encodings

constexpr char32_t kReplacementCharacter = 0xFFFD;

// The code point at text[i], advancing i past it. A byte that does not start
// a well-formed sequence is consumed alone and reads as U+FFFD.
char32_t NextCodePointOrReplacement(std::string_view text, size_t& i) {
  if (const std::optional<char32_t> cp = NextCodePoint(text, i)) return *cp;
  ++i;
  return kReplacementCharacter;
}

// Upper halves (0x80-0xFF) of the ANSI code pages a document names with
// \ansicpg. Any other code page is read as 1252, which is what writers use
// when they name none.
struct CodePage {
  int32_t number;
  std::array<char16_t, 128> high;
};

constexpr CodePage kCodePages[] = {
    {1252,
     {{
         0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
         0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
         0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178, 0x00A0,
         0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x00AA, 0x00AB,
         0x00AC, 0x00AD, 0x00AE, 0x00AF, 0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6,
         0x00B7, 0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF, 0x00C0, 0x00C1,
         0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7, 0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC,
         0x00CD, 0x00CE, 0x00CF, 0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7,
         0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF, 0x00E0, 0x00E1, 0x00E2,
         0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7, 0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED,
         0x00EE, 0x00EF, 0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7, 0x00F8,
         0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF,
     }}},
    {1250,
     {{
         0x20AC, 0xFFFD, 0x201A, 0xFFFD, 0x201E, 0x2026, 0x2020, 0x2021, 0xFFFD, 0x2030, 0x0160,
         0x2039, 0x015A, 0x0164, 0x017D, 0x0179, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
         0x2013, 0x2014, 0xFFFD, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, 0x00A0,
         0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB,
         0x00AC, 0x00AD, 0x00AE, 0x017B, 0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6,
         0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C, 0x0154, 0x00C1,
         0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7, 0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A,
         0x00CD, 0x00CE, 0x010E, 0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,
         0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF, 0x0155, 0x00E1, 0x00E2,
         0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, 0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED,
         0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7, 0x0159,
         0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
     }}},
    {1251,
     {{
         0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
         0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
         0x2013, 0x2014, 0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
         0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
         0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
         0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, 0x0410, 0x0411,
         0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C,
         0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
         0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432,
         0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D,
         0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, 0x0448,
         0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
     }}},
};

const CodePage& FindCodePage(int32_t number) {
  for (const CodePage& page : kCodePages) {
    if (page.number == number) return page;
  }
  return kCodePages[0];
}

char32_t FromCodePage(const CodePage& page, unsigned char byte) {
  return byte < 0x80 ? byte : page.high[byte - 0x80];
}

// Set once by the host before any document is read.
const CodePageDecoder* g_double_byte = nullptr;

bool IsDoubleByte(int32_t codePage) {
  return g_double_byte != nullptr &&
         (codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950);
}

// A byte that starts a two-byte character in a double-byte code page.
bool IsLeadByte(int32_t codePage, unsigned char byte) {
  if (codePage == 932) return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
  return byte >= 0x81 && byte <= 0xFE;
}

// One character of a double-byte code page; U+FFFD when the pair is none.
char32_t FromDoubleByte(int32_t codePage, unsigned char lead, std::optional<unsigned char> trail) {
  if (!trail) return kReplacementCharacter;
  const char pair[] = {static_cast<char>(lead), static_cast<char>(*trail)};
  const std::optional<std::string> text = g_double_byte->ToUtf8(codePage, {pair, 2});
  if (!text) return kReplacementCharacter;
  size_t i = 0;
  const std::optional<char32_t> cp = NextCodePoint(*text, i);
  return cp && i == text->size() ? *cp : kReplacementCharacter;
}

// ---------------------------------------------------------------------------
// Writing shown text as RTF

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) {
  return IsAsciiDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

void AppendHexEscape(std::string& out, unsigned char byte) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\'";
  out += kHex[byte >> 4];
  out += kHex[byte & 0x0F];
}

// \uN takes a signed 16-bit N; the reader skips `uc` fallback characters
// after it, so exactly that many are written (or the delimiting blank when
// there are none).
void AppendUnicodeEscape(std::string& out, char16_t unit, int32_t uc) {
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
std::string EscapeText(std::string_view text, int32_t uc, bool& cr_before, bool lf_after) {
  std::string out;
  out.reserve(text.size());
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
  return out;
}

// The same for a text that stands alone.
std::string EscapeText(std::string_view text, int32_t uc) {
  bool cr_before = false;
  return EscapeText(text, uc, cr_before, false);
}

// ---------------------------------------------------------------------------
// Reading RTF: tokens with their place in the source and in the shown text

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

struct ShownText {
  std::string text;
  std::vector<Token> tokens;
};

bool IsRtf(std::string_view text) { return text.starts_with("{\\rtf"); }

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

// Whether `rtf` starts with what hides a group when it comes right after the
// group's "{": "\*" or a destination word.
bool StartsWithGroupHider(std::string_view rtf) {
  if (rtf.starts_with("\\*")) return true;
  if (!rtf.starts_with('\\')) return false;
  size_t end = 1;
  while (end < rtf.size() && IsAsciiLetter(rtf[end])) ++end;
  return IsHiddenDestination(rtf.substr(1, end - 1));
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
  explicit Parser(std::string_view rtf) : rtf_(rtf) {}

  ShownText Run() {
    while (i_ < rtf_.size()) Step();
    FinishPendingSurrogate();
    return std::move(out_);
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
      if (lone_lead_) out_.tokens.back().open = OpenEnd::kLeadByte;
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
    if (w.word == "ansicpg" && w.has_param) code_page_ = static_cast<int32_t>(w.param);
    if (w.word == "uc" && w.has_param && !groups_.empty()) {
      groups_.back().uc = static_cast<int32_t>(std::clamp<int64_t>(w.param, 0, 16));
    }
    if (Hidden()) return Push(Markup(start, i_, w.open));
    if (w.word == "u" && w.has_param) return Unicode(start, w);
    for (const ShownWord& shown : kShownWords) {
      if (shown.word == w.word) {
        PushSymbol(start, i_, shown.shown);
        out_.tokens.back().open = w.open;
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
    if (low && pending_high_ && out_.tokens.size() == *pending_high_ + 1) {
      Token& pair = out_.tokens.back();
      const char32_t cp = 0x10000 + ((static_cast<char32_t>(high_unit_) - 0xD800) << 10) +
                          (static_cast<char32_t>(unit) - 0xDC00);
      pending_high_.reset();
      AppendUtf8(out_.text, cp);
      pair.end = i_;
      pair.shown_end = out_.text.size();
      pair.open = w.open;
    } else if (unit >= 0xD800 && unit <= 0xDBFF) {
      FinishPendingSurrogate();
      Push(Symbol(start, i_));
      out_.tokens.back().open = w.open;
      pending_high_ = out_.tokens.size() - 1;
      high_unit_ = unit;
    } else {
      PushSymbol(start, i_, (unit >= 0xD800 && unit <= 0xDFFF) ? kReplacementCharacter : unit);
      out_.tokens.back().open = w.open;
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
      const OpenEnd before = out_.tokens.back().open;
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
      if (lone_lead_) out_.tokens.back().open = OpenEnd::kLeadByte;
      return;
    }
    while (i_ < rtf_.size() && !stops(static_cast<unsigned char>(rtf_[i_]))) ++i_;
    if (hidden) return Push(Markup(start, i_));
    Token t;
    t.kind = TokenKind::kLiteral;
    t.begin = start;
    t.end = i_;
    t.shown_begin = out_.text.size();
    out_.text.append(rtf_.substr(start, i_ - start));
    t.shown_end = out_.text.size();
    t.uc = Uc();
    Push(t);
  }

  // The character a shown byte of the document's code page starts: in a
  // double-byte code page a lead byte takes the byte after it (written as
  // "\'hh" or as it is) along.
  char32_t FromByte(unsigned char byte) {
    lone_lead_ = false;
    if (!IsDoubleByte(code_page_) || !IsLeadByte(code_page_, byte)) {
      return FromCodePage(FindCodePage(code_page_), byte);
    }
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
    return FromDoubleByte(code_page_, byte, trail);
  }

  // A fallback character after \uN: part of the \u token, never shown.
  void Absorb(size_t end, OpenEnd open, bool counts) {
    Token& owner = out_.tokens.back();
    owner.end = end;
    owner.open = open;
    if (counts) --skip_;
  }

  Token Markup(size_t begin, size_t end, OpenEnd open = OpenEnd::kNone) const {
    Token t;
    t.begin = begin;
    t.end = end;
    t.open = open;
    t.uc = Uc();
    t.shown_begin = t.shown_end = out_.text.size();
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
    AppendUtf8(out_.text, shown);
    t.shown_end = out_.text.size();
    out_.tokens.push_back(t);
  }

  void Push(Token t) {
    FinishPendingSurrogate();
    if (t.kind == TokenKind::kMarkup) t.shown_begin = t.shown_end = out_.text.size();
    out_.tokens.push_back(t);
  }

  // A high surrogate not followed by its low half shows as U+FFFD.
  void FinishPendingSurrogate() {
    if (!pending_high_) return;
    Token& lone = out_.tokens[*pending_high_];
    pending_high_.reset();
    lone.lone_high = true;
    lone.shown_begin = out_.text.size();
    AppendUtf8(out_.text, kReplacementCharacter);
    lone.shown_end = out_.text.size();
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
  ShownText out_;
  std::vector<Group> groups_;
  bool group_start_ = false;
  int32_t skip_ = 0;
  int32_t code_page_ = 1252;
  std::optional<size_t> pending_high_;
  char16_t high_unit_ = 0;
  bool lone_lead_ = false;  // the last FromByte was a lead byte without a trail
};

ShownText Parse(std::string_view rtf) { return Parser(rtf).Run(); }

// Collects the edited document. A piece put where the document so far ends
// otherwise than the source did before that piece could join what stands
// there (see OpenEnd); a blank or an empty group goes between.
class Writer {
 public:
  explicit Writer(size_t size_hint) { out_.reserve(size_hint); }

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
        return StartsWithGroupHider(piece);
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

  std::string out_;
  Ending end_;
};

}  // namespace

void SetCodePageDecoder(const CodePageDecoder* decoder) { g_double_byte = decoder; }

std::string RtfFromPlainText(const std::string& text) {
  return "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\\uc1\\pard\\f0\\fs20 " +
         EscapeText(text, 1) + "}";
}

std::string PlainTextFromRtf(const std::string& rtf) {
  if (!IsRtf(rtf)) return rtf;
  return Parse(rtf).text;
}

int32_t CountShownMatches(PatternMatcher& matcher, const std::string& rtf) {
  matcher.SetText(PlainTextFromRtf(rtf));
  return matcher.MatchCount();
}

std::string ReplaceShownText(PatternMatcher& matcher, const std::string& rtf,
                             const std::string& replacement) {
  if (!IsRtf(rtf)) {
    matcher.SetText(rtf);
    matcher.SetReplace(replacement);
    return matcher.Text();
  }
  const ShownText doc = Parse(rtf);
  matcher.SetText(doc.text);
  const std::vector<PatternMatcher::Match> matches = matcher.Matches(replacement);
  if (matches.empty()) return rtf;

  // Whether the edited text shows an LF right after match k.
  const auto lf_after = [&](size_t k) {
    size_t at = matches[k].end;
    for (size_t next = k + 1; next < matches.size() && matches[next].begin == at; ++next) {
      if (!matches[next].replacement.empty()) return matches[next].replacement.front() == '\n';
      at = matches[next].end;
    }
    return at < doc.text.size() && doc.text[at] == '\n';
  };
  // Whether the edited text shows a CR character right before the next
  // replacement: kept text's own, or one the replacement before wrote.
  size_t written_to = std::string::npos;
  bool written_cr = false;

  const std::string_view source(rtf);
  Writer out(rtf.size());
  size_t m = 0;
  Ending before;
  for (const Token& t : doc.tokens) {
    const std::string_view verbatim = source.substr(t.begin, t.end - t.begin);
    const Ending before_token = std::exchange(before, t.ending());
    while (m < matches.size() && matches[m].end <= t.shown_begin) ++m;
    if (t.kind == TokenKind::kMarkup || m == matches.size() || matches[m].begin >= t.shown_end) {
      out.Put(verbatim, before_token, t.ending());
      continue;
    }
    // Shown text of this token that no match covers stays: a literal as it
    // stands, a symbol cut by a match written anew.
    const auto keep = [&](size_t from, size_t to) {
      if (from >= to) return;
      if (t.kind == TokenKind::kLiteral) {
        out.Put(verbatim.substr(from - t.shown_begin, to - from), {});
      } else {
        out.Put(EscapeText(std::string_view(doc.text).substr(from, to - from), t.uc), {});
      }
    };
    size_t at = t.shown_begin;
    while (m < matches.size() && matches[m].begin < t.shown_end) {
      const PatternMatcher::Match& match = matches[m];
      keep(at, match.begin);
      if (match.begin >= t.shown_begin) {
        if (written_to != match.begin) {
          written_cr = match.begin > 0 && doc.text[match.begin - 1] == '\r';
        }
        out.Put(EscapeText(match.replacement, t.uc, written_cr, lf_after(m)), {});
        written_to = match.end;
      }
      at = std::max(at, std::min(match.end, t.shown_end));
      if (match.end > t.shown_end) break;
      ++m;
    }
    keep(at, t.shown_end);
  }
  return out.Take();
}

}  // namespace tidewell
