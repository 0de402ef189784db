#include "formats/searchable_text.h"

#include <algorithm>
#include <array>

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
  if (!IsValidUtf8(out)) return std::nullopt;
  for (size_t pos = 0; pos < out.size();) {
    size_t nl = out.find('\n', pos);
    if (nl == std::string::npos) nl = out.size();
    if (TransformsValue(Head(std::string_view(out).substr(pos, nl - pos)))) return std::nullopt;
    pos = nl + 1;
  }
  return out;
}

}  // namespace tidewell::formats
