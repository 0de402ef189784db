#include "formats/searchable_text.h"

#include <algorithm>
#include <array>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "formats/content_line.h"
#include "text/utf8.h"

namespace tidewell::formats {
namespace {

// Whether `head` (the name and parameters of one line) names one of the
// parameters that decode or convert the value: then the line's bytes are not
// the text its fields read.
bool TransformsValue(std::string_view head) {
  if (head.find(';') == std::string_view::npos) return false;
  std::string upper(head);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  static constexpr std::array<std::string_view, 4> kTransforming = {"ENCODING", "CHARSET",
                                                                    "QUOTED-PRINTABLE", "BASE64"};
  return std::any_of(kTransforming.begin(), kTransforming.end(),
                     [&](std::string_view word) { return upper.find(word) != std::string::npos; });
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

}  // namespace

std::optional<std::string> SearchableContactText(std::string_view bytes) {
  // Joined as the parser joins: a physical line that starts with a blank
  // continues the last line that is not empty, the blank dropped.
  std::string out;
  out.reserve(bytes.size());
  size_t empty_lines = 0;
  bool any = false;
  for (size_t pos = 0; pos <= bytes.size();) {
    size_t nl = bytes.find('\n', pos);
    if (nl == std::string_view::npos) nl = bytes.size();
    size_t end = nl;
    while (end > pos && bytes[end - 1] == '\r') --end;
    const std::string_view line = bytes.substr(pos, end - pos);
    pos = nl + 1;
    if (line.empty()) {
      ++empty_lines;
      continue;
    }
    if (any && (line[0] == ' ' || line[0] == '\t')) {
      out.append(line.substr(1));
    } else {
      out.append(any ? empty_lines + 1 : empty_lines, '\n');
      out.append(line);
      any = true;
    }
    empty_lines = 0;
  }
  // Checked once joined: a fold may split a character, as the parser's
  // reading of a line as UTF-8 or not comes after the join.
  if (!IsUtf8Text(out)) return std::nullopt;
  for (size_t pos = 0; pos < out.size();) {
    size_t nl = out.find('\n', pos);
    if (nl == std::string::npos) nl = out.size();
    if (TransformsValue(Head(std::string_view(out).substr(pos, nl - pos)))) return std::nullopt;
    pos = nl + 1;
  }
  return out;
}

}  // namespace tidewell::formats
