#include "formats/searchable_text.h"

#include <algorithm>
#include <array>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "formats/content_line.h"
#include "platform/failure.h"
#include "text/charsets.h"
#include "text/utf8.h"

namespace tidewell::formats {
namespace {

// Whether `head` (the name and parameters of one line) names one of the
// parameters that decode or convert the value: then the line's bytes are not
// the text its fields read.
bool TransformsValue(std::string_view head) {
  const size_t params = head.find(';');
  if (params == std::string_view::npos) return false;
  static constexpr std::array<std::string_view, 4> kTransforming = {"ENCODING", "CHARSET",
                                                                    "QUOTED-PRINTABLE", "BASE64"};
  // Compared in place, a word where its first letter is: every line's head
  // is asked, and a copy of it in upper case cost more than the question.
  for (size_t i = params; i < head.size(); ++i) {
    const char c =
        head[i] >= 'a' && head[i] <= 'z' ? static_cast<char>(head[i] - 'a' + 'A') : head[i];
    for (std::string_view word : kTransforming) {
      if (c == word[0] && EqualsIgnoringCase(head.substr(i, word.size()), word)) return true;
    }
  }
  return false;
}

// The control characters a parser refuses as binary: all but tab, line
// breaks, form feed and escape; and DEL.
bool IsBinaryByte(unsigned char c) {
  return (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != 0x1B) || c == 0x7F;
}

// Whether `text` is UTF-8 without a binary byte, in one pass: 16 bytes at a
// time while they are plain (printable ASCII and line breaks), byte by byte
// through the rest.
bool IsUtf8Text(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
#if defined(__SSE2__)
    const __m128i blank = _mm_set1_epi8(' ');
    const __m128i newline = _mm_set1_epi8('\n');
    const __m128i del = _mm_set1_epi8(0x7F);
    for (; i + 16 <= text.size(); i += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
      // Signed, a byte from 0x80 on is below a blank too.
      const __m128i odd = _mm_or_si128(_mm_cmplt_epi8(v, blank), _mm_cmpeq_epi8(v, del));
      if (_mm_movemask_epi8(odd) != _mm_movemask_epi8(_mm_cmpeq_epi8(v, newline))) break;
    }
    const size_t block_end = std::min(text.size(), i + 16);
#else
    const size_t block_end = text.size();
#endif
    while (i < block_end) {
      const auto c = static_cast<unsigned char>(text[i]);
      if (c < 0x80) {
        if (IsBinaryByte(c)) return false;
        ++i;
      } else if (!NextCodePoint(text, i)) {
        return false;
      }
    }
  }
  return true;
}

bool HoldsBinaryByte(std::string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return IsBinaryByte(static_cast<unsigned char>(c)); });
}

// A parameter as the parser reads it: its upper-case name ("" for a bare
// value) and its value without double quotes.
std::pair<std::string, std::string> ReadParam(std::string_view raw) {
  size_t eq = std::string_view::npos;
  bool quoted = false;
  for (size_t i = 0; i < raw.size() && eq == std::string_view::npos; ++i) {
    if (raw[i] == '"') quoted = !quoted;
    if (raw[i] == '=' && !quoted) eq = i;
  }
  std::string name = eq == std::string_view::npos ? "" : ToUpper(Trim(raw.substr(0, eq)));
  std::string value;
  for (char c : eq == std::string_view::npos ? raw : raw.substr(eq + 1)) {
    if (c != '"') value += c;
  }
  return {std::move(name), std::move(value)};
}

// The value of a line with the name and parameters `head` as its fields read
// it (DecodedValue): quoted-printable undone, then its CHARSET, or without
// one Windows-1252 where the bytes are no UTF-8, converted to UTF-8. Its line
// breaks, which no searched text holds, become carriage returns, so that the
// text keeps one line for each. Nothing when a conversion fails.
std::optional<std::string> DecodedText(std::string_view head, std::string_view value) {
  bool qp = false;
  std::optional<std::string> charset;
  // The parameters as the parser splits them: at ";" outside double quotes.
  size_t start = head.find(';');
  while (start != std::string_view::npos) {
    size_t end = ++start;
    bool quoted = false;
    while (end < head.size() && (quoted || head[end] != ';')) {
      if (head[end] == '"') quoted = !quoted;
      ++end;
    }
    auto [name, text] = ReadParam(head.substr(start, end - start));
    if ((name == "ENCODING" || name.empty()) && EqualsIgnoringCase(text, "QUOTED-PRINTABLE")) {
      qp = true;
    } else if (name == "CHARSET" && !charset) {
      charset = std::move(text);
    }
    start = end < head.size() ? end : std::string_view::npos;
  }
  std::string bytes = qp ? QuotedPrintableDecode(value) : std::string(value);
  if (!charset && qp && !IsValidUtf8(bytes)) charset = "WINDOWS-1252";
  if (charset && !IsUtf8Name(*charset)) {
    try {
      std::optional<std::string> text = ConvertCharset(bytes, *charset, "UTF-8");
      if (!text) return std::nullopt;
      bytes = std::move(*text);
    } catch (const Failure&) {
      return std::nullopt;
    }
  }
  if (!IsValidUtf8(bytes)) return std::nullopt;
  std::replace(bytes.begin(), bytes.end(), '\n', '\r');
  return bytes;
}

}  // namespace

std::optional<std::string> SearchableContactText(std::string_view bytes) {
  // Joined as the parser joins: a physical line that starts with a blank
  // continues the last line that is not empty, the blank dropped; a
  // quoted-printable line ending in "=" takes the next physical line as it is.
  std::string out;
  out.reserve(bytes.size());
  size_t empty_lines = 0;
  size_t line_start = 0;
  bool any = false;
  auto physical = [&bytes](size_t& pos) {
    size_t nl = bytes.find('\n', pos);
    if (nl == std::string_view::npos) nl = bytes.size();
    size_t end = nl;
    while (end > pos && bytes[end - 1] == '\r') --end;
    const std::string_view line = bytes.substr(pos, end - pos);
    pos = nl + 1;
    return line;
  };
  for (size_t pos = 0; pos <= bytes.size();) {
    const std::string_view line = physical(pos);
    if (line.empty()) {
      ++empty_lines;
      continue;
    }
    if (any && (line[0] == ' ' || line[0] == '\t')) {
      out.append(line.substr(1));
    } else {
      out.append(any ? empty_lines + 1 : empty_lines, '\n');
      line_start = out.size();
      out.append(line);
      any = true;
    }
    empty_lines = 0;
    while (pos < bytes.size() && out.back() == '=' &&
           HeadSaysQuotedPrintable(std::string_view(out).substr(line_start))) {
      out.pop_back();
      out.append(physical(pos));
    }
  }
  bool transforms = false;
  for (size_t pos = 0; pos < out.size() && !transforms;) {
    size_t nl = out.find('\n', pos);
    if (nl == std::string::npos) nl = out.size();
    transforms = TransformsValue(Head(std::string_view(out).substr(pos, nl - pos)));
    pos = nl + 1;
  }
  // Checked once joined: a fold may split a character, as the parser's
  // reading of a line as UTF-8 or not comes after the join.
  if (!transforms)
    return IsUtf8Text(out) ? std::optional<std::string>(std::move(out)) : std::nullopt;
  std::string decoded;
  decoded.reserve(out.size());
  for (size_t pos = 0; pos <= out.size();) {
    size_t nl = out.find('\n', pos);
    if (nl == std::string::npos) nl = out.size();
    const std::string_view line = std::string_view(out).substr(pos, nl - pos);
    pos = nl + 1;
    const std::string_view head = Head(line);
    if (!TransformsValue(head) || head.size() == line.size()) {
      if (!IsUtf8Text(line)) return std::nullopt;
      decoded.append(line);
    } else {
      std::optional<std::string> value = DecodedText(head, line.substr(head.size() + 1));
      if (!value || !IsUtf8Text(head) || HoldsBinaryByte(line)) return std::nullopt;
      decoded.append(line.substr(0, head.size() + 1));
      decoded.append(*value);
    }
    if (nl < out.size()) decoded += '\n';
  }
  return decoded;
}

}  // namespace tidewell::formats
