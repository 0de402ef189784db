#include <algorithm>
#include <array>

#include "formats/content_line.h"

namespace tidewell::formats {
namespace {

// Appends `escape` for the line break at text[i]; CRLF counts as one break.
void AppendBreaksAs(std::string& out, std::string_view text, size_t& i, std::string_view escape) {
  if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
  out += escape;
}

// A character that makes an escape with a backslash before it.
bool IsEscapeLetter(char c) {
  return c == 'n' || c == 'N' || c == '\\' || c == ';' || c == ',' || c == ':';
}

}  // namespace

void SetParamValue(Param& param, const std::string& value, Dialect dialect) {
  bool carets = dialect == Dialect::kVCard4 || dialect == Dialect::kICalendar;
  std::string text;
  for (size_t i = 0; i < value.size(); ++i) {
    char c = value[i];
    if (c == '\r' || c == '\n') {
      AppendBreaksAs(text, value, i, carets ? "^n" : " ");
    } else if (c == '"') {
      text += carets ? "^'" : "'";
    } else if (c == '^' && carets) {
      text += "^^";
    } else {
      text += c;
    }
  }
  bool quote =
      param.raw.find('"') != std::string::npos || text.find_first_of(":;,") != std::string::npos;
  std::string name_part;
  if (!param.name.empty()) name_part = param.raw.substr(0, param.raw.find('=') + 1);
  param.raw = name_part + (quote ? "\"" + text + "\"" : text);
  param.value = text;
}

std::string ParamText(const Param& param, Dialect dialect) {
  if (dialect != Dialect::kVCard4 && dialect != Dialect::kICalendar) return param.value;
  std::string out;
  const std::string& v = param.value;
  for (size_t i = 0; i < v.size(); ++i) {
    if (v[i] == '^' && i + 1 < v.size()) {
      char next = v[i + 1];
      if (next == '^' || next == 'n' || next == 'N' || next == '\'') {
        out += next == '^' ? '^' : next == '\'' ? '"' : '\n';
        ++i;
        continue;
      }
    }
    out += v[i];
  }
  return out;
}

std::string UnescapeText(std::string_view escaped, Dialect dialect) {
  if (dialect == Dialect::kVCard21) return std::string(escaped);
  std::string out;
  out.reserve(escaped.size());
  // Most values hold no backslash at all: copy the runs between them whole.
  size_t done = 0;
  for (size_t i = escaped.find('\\'); i != std::string_view::npos && i + 1 < escaped.size();
       i = escaped.find('\\', i)) {
    const char next = escaped[i + 1];
    const bool line_break = next == 'n' || next == 'N';
    if (!line_break && next != '\\' && next != ';' && next != ',' && next != ':') {
      ++i;  // read as itself; what follows may start an escape
      continue;
    }
    out.append(escaped, done, i - done);
    out += line_break ? '\n' : next;
    i += 2;
    done = i;
  }
  out.append(escaped, done);
  return out;
}

std::string EscapeLike(std::string_view text, std::string_view old, ValueKind kind,
                       Dialect dialect) {
  // Each escape adds at most one byte: reserved so, a long value is never
  // grown, which would hold it twice over for a while.
  std::string out;
  out.reserve(text.size() + 8 +
              static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
                return c == '\\' || c == ',' || c == ';' || c == ':' || c == '\n' || c == '\r';
              })));
  if (dialect == Dialect::kVCard21) {
    for (char c : text) {
      if (c == ';' && kind == ValueKind::kComponent) out += '\\';
      out += c;
    }
    return out;
  }
  // Per character that may be escaped, how old spelt each occurrence: 'b'
  // bare, 'e' escaped, or for line breaks the letter after the backslash.
  constexpr std::string_view kEscapable = "\\,;:\n";
  std::array<std::string, kEscapable.size()> spelt;
  for (size_t i = 0; i < old.size(); ++i) {
    if (old[i] == '\\' && i + 1 < old.size() && IsEscapeLetter(old[i + 1])) {
      char next = old[++i];
      bool line_break = next == 'n' || next == 'N';
      spelt[kEscapable.find(line_break ? '\n' : next)] += line_break ? next : 'e';
    } else if (size_t k = kEscapable.find(old[i]); k != std::string_view::npos) {
      spelt[k] += 'b';
    }
  }
  const bool uri = kind == ValueKind::kUri;
  const std::array<char, kEscapable.size()> strict = {'e', uri ? 'b' : 'e', uri ? 'b' : 'e', 'b',
                                                      'n'};
  std::array<size_t, kEscapable.size()> seen{};
  auto spelling = [&](size_t k) {
    const std::string& s = spelt[k];
    char c = s.empty() ? strict[k] : s[std::min(seen[k], s.size() - 1)];
    ++seen[k];
    return c;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      char letter = spelling(kEscapable.find('\n'));
      // Only a quoted-printable value holds a bare break, encoded: it stays so.
      if (letter == 'b') {
        out += c;
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') out += text[++i];
        continue;
      }
      AppendBreaksAs(out, text, i, letter == 'N' ? "\\N" : "\\n");
      continue;
    }
    size_t k = kEscapable.find(c);
    if (k == std::string_view::npos) {
      out += c;
      continue;
    }
    bool bare = spelling(k) == 'b';
    if (c == '\\') {
      bare = bare && i + 1 < text.size() && !IsEscapeLetter(text[i + 1]) && text[i + 1] != '\r' &&
             text[i + 1] != '\n';
    }
    if (c == ';' && kind == ValueKind::kComponent) bare = false;
    if (!bare) out += '\\';
    out += c;
  }
  return out;
}

std::vector<std::string> SplitComponents(std::string_view escaped) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t i = 0; i < escaped.size(); ++i) {
    if (escaped[i] == '\\') {
      ++i;  // the escaped character, ";" included, stays in the component
    } else if (escaped[i] == ';') {
      parts.emplace_back(escaped.substr(start, i - start));
      start = i + 1;
    }
  }
  parts.emplace_back(escaped.substr(start));
  return parts;
}

std::optional<std::string_view> NthComponent(std::string_view escaped, size_t n) {
  size_t start = 0;
  for (size_t i = 0; i < escaped.size(); ++i) {
    if (escaped[i] == '\\') {
      ++i;
    } else if (escaped[i] == ';') {
      if (n == 0) return escaped.substr(start, i - start);
      --n;
      start = i + 1;
    }
  }
  if (n == 0) return escaped.substr(start);
  return std::nullopt;
}

std::string UnescapeComponent(std::string_view escaped, Dialect dialect) {
  if (dialect != Dialect::kVCard21) return UnescapeText(escaped, dialect);
  std::string out;
  for (size_t i = 0; i < escaped.size(); ++i) {
    if (escaped[i] == '\\' && i + 1 < escaped.size() && escaped[i + 1] == ';') continue;
    out += escaped[i];
  }
  return out;
}
}  // namespace tidewell::formats
