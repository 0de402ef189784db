#include "adapters/settings/ini_file.h"

#include <algorithm>
#include <cstdint>
#include <set>

namespace tidewell::ini {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool StartsWith(std::u16string_view text, std::u16string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool EndsWith(std::u16string_view text, char16_t last) {
  return !text.empty() && text.back() == last;
}

bool IsSpace(char ch) {
  return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\v' || ch == '\f' || ch == '\r';
}

// The bytes that end a run of plain text within a line.
bool IsSpecial(char ch) {
  return ch == '\n' || ch == '\r' || ch == '"' || ch == ';' || ch == '=' || ch == '\\';
}

int HexValue(char16_t ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  return -1;
}

char HexDigit(unsigned value) { return "0123456789ABCDEF"[value & 0xF]; }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    return lower(x) == lower(y);
  });
}

// One logical line from `pos`: leading blanks and ";" comment lines skipped;
// it ends at a line break or a ";" outside quotes, and a backslash or an open
// quote carries it over a line break. `equals` is the first "=" outside
// quotes, or npos. False when no line is left.
bool ReadLine(std::string_view data, size_t& pos, size_t& start, size_t& length, size_t& equals) {
  bool in_quotes = false;
  equals = std::string_view::npos;
  start = pos;
  while (start < data.size() && IsSpace(data[start])) ++start;
  size_t i = start;
  while (i < data.size()) {
    while (i < data.size() && !IsSpecial(data[i])) ++i;
    if (i == data.size()) break;
    const char ch = data[i++];
    if (ch == '=') {
      if (!in_quotes && equals == std::string_view::npos) equals = i - 1;
    } else if (ch == '\n' || ch == '\r') {
      if (i == start + 1) {
        ++start;
      } else if (!in_quotes) {
        --i;
        break;
      }
    } else if (ch == '\\') {
      if (i < data.size()) {
        const char escaped = data[i++];
        if (i < data.size()) {
          const char next = data[i];
          if ((escaped == '\n' && next == '\r') || (escaped == '\r' && next == '\n')) ++i;
        }
      }
    } else if (ch == '"') {
      in_quotes = !in_quotes;
    } else if (i == start + 1) {  // ';' opening a comment line
      while (i < data.size() && data[i] != '\n' && data[i] != '\r') ++i;
      while (i < data.size() && IsSpace(data[i])) ++i;
      start = i;
    } else if (!in_quotes) {  // ';' ending the line
      --i;
      break;
    }
  }
  pos = i;
  length = i - start;
  return length > 0;
}

// A key as the file spells it: "\" is "/", "%XX" and "%UXXXX" a code unit.
std::u16string UnescapedKey(std::string_view escaped) {
  const std::u16string decoded = ToUtf16(escaped);
  std::u16string key;
  size_t i = 0;
  while (i < decoded.size()) {
    const char16_t ch = decoded[i];
    if (ch == '\\') {
      key += u'/';
      ++i;
      continue;
    }
    if (ch != '%' || i + 1 == decoded.size()) {
      key += ch;
      ++i;
      continue;
    }
    const bool wide = decoded[i + 1] == 'U';
    const size_t first = i + (wide ? 2 : 1), digits = wide ? 4 : 2;
    // Read as QString::toUShort(16) reads them: blanks around the digits
    // are allowed, so "%4 " is U+0004.
    std::u16string_view number;
    if (first + digits <= decoded.size())
      number = std::u16string_view(decoded).substr(first, digits);
    while (!number.empty() && number.front() < 0x80 && IsSpace(char(number.front()))) {
      number.remove_prefix(1);
    }
    while (!number.empty() && number.back() < 0x80 && IsSpace(char(number.back()))) {
      number.remove_suffix(1);
    }
    if (!number.empty() && number.front() == '+') number.remove_prefix(1);
    unsigned value = 0;
    bool ok = !number.empty();
    for (const char16_t digit : number) {
      ok = ok && HexValue(digit) >= 0;
      value = value * 16 + unsigned(std::max(HexValue(digit), 0));
    }
    if (!ok) {
      key += u'%';
      ++i;
      continue;
    }
    key += char16_t(value);
    i = first + digits;
  }
  return key;
}

void AppendEscapedKey(std::u16string_view key, std::string& out) {
  for (const char16_t ch : key) {
    if (ch == '/') {
      out += '\\';
    } else if ((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
               ch == '_' || ch == '-' || ch == '.') {
      out += char(ch);
    } else if (ch <= 0xFF) {
      out += '%';
      out += HexDigit(ch >> 4);
      out += HexDigit(ch);
    } else {
      out += "%U";
      for (int shift = 12; shift >= 0; shift -= 4) out += HexDigit(ch >> shift);
    }
  }
}

void AppendUtf8(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | (cp >> 6));
    out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += char(0xE0 | (cp >> 12));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xF0 | (cp >> 18));
    out += char(0x80 | ((cp >> 12) & 0x3F));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
}

// Lower case, no leading zeros: "\\x1", "\\x7f".
std::string HexNumber(unsigned value) {
  std::string digits;
  do {
    digits.insert(digits.begin(), "0123456789abcdef"[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return digits;
}

bool IsBinaryForm(std::u16string_view text) {
  return StartsWith(text, u"@ByteArray(") || StartsWith(text, u"@Variant(") ||
         StartsWith(text, u"@DateTime(");
}

// A stored text in the file: C escapes for control characters, quotes and
// backslashes; quoted when it holds ";" "," "=" or has a blank at an end.
// Binary forms keep one byte per character, as "\xHH" above 0x7E; any other
// text is UTF-8. After "\0" or "\xHH" a hex digit is escaped too, so that it
// is not read as part of the escape.
void AppendEscapedText(std::u16string_view text, std::string& out) {
  const bool utf8 = !IsBinaryForm(text);
  const size_t start = out.size();
  bool quote = false, escape_digit = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t ch = text[i];
    if (ch == ';' || ch == ',' || ch == '=') quote = true;
    if (escape_digit && HexValue(ch) >= 0) {
      out += "\\x" + HexNumber(ch);
      continue;
    }
    escape_digit = false;
    switch (ch) {
      case '\0':
        out += "\\0";
        escape_digit = true;
        break;
      case '\a':
        out += "\\a";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\v':
        out += "\\v";
        break;
      case '"':
      case '\\':
        out += '\\';
        out += char(ch);
        break;
      default:
        if (ch <= 0x1F || (ch >= 0x7F && !utf8)) {
          out += "\\x" + HexNumber(ch);
          escape_digit = true;
        } else if (!utf8 || ch < 0x80) {
          out += char(ch);
        } else if (ch >= 0xD800 && ch <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                   text[i + 1] <= 0xDFFF) {
          AppendUtf8(0x10000 + ((char32_t(ch) - 0xD800) << 10) + (text[++i] - 0xDC00), out);
        } else if (ch >= 0xD800 && ch <= 0xDFFF) {
          out += '?';
        } else {
          AppendUtf8(ch, out);
        }
    }
  }
  if (quote || (out.size() > start && (out[start] == ' ' || out.back() == ' '))) {
    out.insert(out.begin() + std::ptrdiff_t(start), '"');
    out += '"';
  }
}

void ChopTrailingBlanks(std::u16string& text, size_t limit) {
  while (text.size() > limit && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
}

// A value's text as the file spells it: quotes, C escapes ("\xHH", octal,
// "\" before a line break continues the line) and unquoted commas that make
// it a list, blanks around unquoted items dropped.
Value UnescapedValue(std::string_view raw) {
  static constexpr char kEscapes[][2] = {{'a', '\a'}, {'b', '\b'},  {'f', '\f'}, {'n', '\n'},
                                         {'r', '\r'}, {'t', '\t'},  {'v', '\v'}, {'"', '"'},
                                         {'?', '?'},  {'\'', '\''}, {'\\', '\\'}};
  Value value;
  std::u16string text;
  bool in_quotes = false, quoted = false;
  size_t i = 0;
  const auto skip_blanks = [&] {
    while (i < raw.size() && (raw[i] == ' ' || raw[i] == '\t')) ++i;
  };
  skip_blanks();
  size_t chop_limit = 0;
  bool chop = true;  // not after a backslash that ends the value
  while (i < raw.size()) {
    const char ch = raw[i];
    if (ch == '\\') {
      if (++i >= raw.size()) {
        chop = false;
        break;
      }
      const char code = raw[i++];
      const auto* known = std::find_if(std::begin(kEscapes), std::end(kEscapes),
                                       [&](const char* e) { return e[0] == code; });
      if (known != std::end(kEscapes)) {
        text += char16_t(known[0][1]);
        chop_limit = text.size();
        continue;
      }
      if (code == 'x' || (code >= '0' && code <= '7')) {
        const unsigned base = code == 'x' ? 16 : 8;
        const auto digit = [&](char c) {
          const int h = HexValue(char16_t(c));
          return h >= 0 && unsigned(h) < base ? h : -1;
        };
        if (code == 'x' && (i >= raw.size() || digit(raw[i]) < 0)) {
          chop_limit = text.size();
          continue;
        }
        unsigned escaped = code == 'x' ? 0 : unsigned(code - '0');
        while (i < raw.size() && digit(raw[i]) >= 0)
          escaped = escaped * base + unsigned(digit(raw[i++]));
        text += char16_t(escaped);
        chop_limit = text.size();
        continue;
      }
      if ((code == '\n' || code == '\r') && i < raw.size() && (raw[i] == '\n' || raw[i] == '\r') &&
          raw[i] != code) {
        ++i;
      }
      chop_limit = text.size();
    } else if (ch == '"') {
      ++i;
      quoted = true;
      in_quotes = !in_quotes;
      if (!in_quotes) {
        skip_blanks();
        chop_limit = text.size();
      }
    } else if (ch == ',' && !in_quotes) {
      if (!quoted) ChopTrailingBlanks(text, chop_limit);
      value.list = true;
      value.items.push_back(std::move(text));
      text.clear();
      quoted = false;
      ++i;
      skip_blanks();
      chop_limit = 0;
    } else {
      size_t j = i + 1;
      while (j < raw.size() && raw[j] != '\\' && raw[j] != '"' && raw[j] != ',') ++j;
      text += ToUtf16(raw.substr(i, j - i));
      i = j;
    }
  }
  if (chop && !quoted) ChopTrailingBlanks(text, chop_limit);
  value.items.push_back(std::move(text));
  return value;
}

// A string as QSettings writes it: "@String(...)" around one holding a NUL,
// a leading "@" doubled.
std::u16string StoredString(std::u16string text) {
  if (text.find(u'\0') != std::u16string::npos) return u"@String(" + text + u")";
  if (!text.empty() && text[0] == '@') return u"@" + text;
  return text;
}

// A value of another type than text: "@Invalid()", a form ending in ")",
// and for @Rect, @Size and @Point as many numbers as the type has (else
// QSettings reads it as text).
bool IsTypedForm(std::u16string_view text) {
  if (text == u"@Invalid()") return true;
  if (!EndsWith(text, ')')) return false;
  for (const std::u16string_view form : {u"@ByteArray(", u"@Variant(", u"@DateTime("}) {
    if (StartsWith(text, form)) return true;
  }
  for (const auto& [form, numbers] :
       {std::pair{std::u16string_view(u"@Rect("), 4}, {u"@Size(", 2}, {u"@Point(", 2}}) {
    if (!StartsWith(text, form)) continue;
    const std::u16string_view args = text.substr(form.size());
    return std::count(args.begin(), args.end(), u' ') +
               std::count(args.begin(), args.end(), u')') ==
           numbers;
  }
  return false;
}

// A text read from the file as QSettings writes it back: typed forms as
// they are (a byte array's characters above U+00FF as "?"), strings in
// their stored form ("@x" becomes "@@x").
std::u16string StoredText(std::u16string_view text) {
  if (IsTypedForm(text)) {
    std::u16string typed(text);
    if (StartsWith(text, u"@ByteArray(")) {
      std::replace_if(
          typed.begin(), typed.end(), [](char16_t ch) { return ch > 0xFF; }, u'?');
    }
    return typed;
  }
  if (StartsWith(text, u"@String(") && EndsWith(text, ')')) {
    text = text.substr(8, text.size() - 9);
  } else if (StartsWith(text, u"@@")) {
    text.remove_prefix(1);
  }
  return StoredString(std::u16string(text));
}

std::string Utf8OfLatin1(std::u16string_view text) {
  std::string bytes;
  for (const char16_t ch : text) bytes += ch <= 0xFF ? char(ch) : '?';
  return ToUtf8(ToUtf16(bytes));
}

}  // namespace

Parsed Parse(std::string_view data) {
  Parsed parsed;
  // Qt 6.4 skips a byte order mark for the section lines only, and takes it
  // into the first key and a FormatError; here it is skipped.
  if (data.substr(0, 3) == "\xEF\xBB\xBF") data.remove_prefix(3);
  std::u16string section;
  size_t pos = 0, start = 0, length = 0, equals = 0;
  while (ReadLine(data, pos, start, length, equals)) {
    const std::string_view line = data.substr(start, length);
    if (line[0] == '[') {
      const size_t close = line.find(']');
      if (close == std::string_view::npos) parsed.broken_header = true;
      const std::string_view name =
          Trimmed(line.substr(1, close == std::string_view::npos ? line.npos : close - 1));
      if (EqualsIgnoringCase(name, "general")) {
        section.clear();
        continue;
      }
      if (EqualsIgnoringCase(name, "%general")) {
        section.assign(name.begin() + 1, name.end());
      } else {
        section = UnescapedKey(name);
      }
      section += u'/';
      continue;
    }
    if (equals == std::string_view::npos) {
      if (line[0] != ';') parsed.stray_line = true;
      continue;
    }
    const std::u16string key = section + UnescapedKey(Trimmed(data.substr(start, equals - start)));
    Value value = UnescapedValue(data.substr(equals + 1, start + length - equals - 1));
    for (std::u16string& item : value.items) item = StoredText(item);
    parsed.entries[key] = std::move(value);
  }
  return parsed;
}

std::string Write(const Entries& entries) {
  std::map<std::u16string, std::map<std::u16string, const Value*>> sections;
  for (const auto& [key, value] : entries) {
    const size_t slash = key.find(u'/');
    if (slash == std::u16string::npos) {
      sections[u""][key] = &value;
    } else {
      sections[key.substr(0, slash)][key.substr(slash + 1)] = &value;
    }
  }
  std::string out;
  for (const auto& [name, keys] : sections) {
    if (!out.empty()) out += '\n';
    std::string header;
    AppendEscapedKey(name, header);
    if (header.empty()) {
      header = "General";
    } else if (EqualsIgnoringCase(header, "general")) {
      header = "%General";
    }
    out += '[' + header + "]\n";
    for (const auto& [key, value] : keys) {
      AppendEscapedKey(key, out);
      out += '=';
      if (value->list && value->items.empty()) out += "@Invalid()";
      for (size_t i = 0; i < value->items.size(); ++i) {
        if (i != 0) out += ", ";
        AppendEscapedText(value->items[i], out);
      }
      out += '\n';
    }
  }
  return out;
}

std::u16string FullKey(std::string_view section, std::string_view key) {
  const std::u16string joined = ToUtf16(std::string(section) + '/' + std::string(key));
  std::u16string normal;
  for (size_t i = 0; i < joined.size(); ++i) {
    if (joined[i] == '/' && (normal.empty() || normal.back() == '/')) continue;
    normal += joined[i];
  }
  if (!normal.empty() && normal.back() == '/') normal.pop_back();
  return normal;
}

std::vector<std::string> ChildKeys(const Entries& entries, std::string_view section) {
  std::u16string prefix = FullKey(section, "");
  if (!prefix.empty()) prefix += u'/';
  std::set<std::u16string> keys;
  for (const auto& [key, value] : entries) {
    if (!StartsWith(key, prefix)) continue;
    const std::u16string_view rest = std::u16string_view(key).substr(prefix.size());
    if (rest.find(u'/') == rest.npos) keys.emplace(rest);
  }
  std::vector<std::string> names;
  for (const std::u16string& key : keys) names.push_back(ToUtf8(key));
  return names;
}

Value TextValue(std::string_view utf8) { return Value{false, {StoredString(ToUtf16(utf8))}}; }

std::optional<std::string> ValueText(const Value& value) {
  if (value.list || value.items.size() != 1) return "";
  const std::u16string_view text = value.items[0];
  if (StartsWith(text, u"@@")) return ToUtf8(text.substr(1));
  if (text == u"@Invalid()") return std::nullopt;
  if (StartsWith(text, u"@String(") && EndsWith(text, ')')) {
    return ToUtf8(text.substr(8, text.size() - 9));
  }
  if (StartsWith(text, u"@ByteArray(") && EndsWith(text, ')')) {
    return Utf8OfLatin1(text.substr(11, text.size() - 12));
  }
  return IsTypedForm(text) ? "" : ToUtf8(text);
}

std::u16string ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    const auto byte = uint8_t(utf8[i]);
    if (byte < 0x80) {
      out += char16_t(byte);
      ++i;
      continue;
    }
    const int extra = byte >= 0xF0 && byte <= 0xF4  ? 3
                      : byte >= 0xE0 && byte < 0xF0 ? 2
                      : byte >= 0xC2 && byte < 0xE0 ? 1
                                                    : 0;
    char32_t cp = byte & (0x3F >> extra);
    bool ok = extra > 0 && i + size_t(extra) < utf8.size();
    for (size_t k = 1; ok && k <= size_t(extra); ++k) {
      const auto next = uint8_t(utf8[i + k]);
      ok = (next & 0xC0) == 0x80;
      cp = (cp << 6) | (next & 0x3F);
    }
    const char32_t least = extra == 3 ? 0x10000 : extra == 2 ? 0x800 : 0x80;
    if (!ok || cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out += kReplacement;
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      out += char16_t(0xD800 + ((cp - 0x10000) >> 10));
      out += char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += char16_t(cp);
    }
    i += size_t(extra) + 1;
  }
  return out;
}

std::string ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (size_t i = 0; i < utf16.size(); ++i) {
    const char16_t ch = utf16[i];
    if (ch >= 0xD800 && ch <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      AppendUtf8(0x10000 + ((char32_t(ch) - 0xD800) << 10) + (utf16[++i] - 0xDC00), out);
    } else if (ch >= 0xD800 && ch <= 0xDFFF) {
      out += '?';
    } else {
      AppendUtf8(ch, out);
    }
  }
  return out;
}

}  // namespace tidewell::ini
