#include "formats/content_line.h"

#include <algorithm>
#include <utility>

#include "formats/text_forms.h"
#include "platform/failure.h"
#include "text/charsets.h"
#include "text/utf8.h"

namespace tidewell::formats {

size_t ParamEquals(std::string_view raw) {
  bool quoted = false;
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '"') quoted = !quoted;
    if (raw[i] == '=' && !quoted) return i;
  }
  return std::string_view::npos;
}

namespace {

struct Physical {
  size_t begin;
  size_t content_end;
  size_t end;
};

bool IsNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '.';
}

Param ParseParam(std::string_view raw) {
  Param param;
  param.raw = std::string(raw);
  const size_t eq = ParamEquals(raw);
  std::string_view value = raw;
  if (eq != std::string_view::npos) {
    param.name = ToUpper(Trim(raw.substr(0, eq)));
    value = raw.substr(eq + 1);
  }
  for (char c : value) {
    if (c != '"') param.value += c;
  }
  return param;
}

// Fills group, name, params and value; leaves is_property false for text
// that is not "name[;params]:value". `owned`, when given, is the string
// `text` views: the value then takes it over rather than being copied.
void ParseLogical(std::string_view text, ContentLine& line, std::string* owned) {
  size_t i = 0;
  while (i < text.size() && text[i] != ';' && text[i] != ':') {
    if (!IsNameChar(text[i])) return;
    ++i;
  }
  if (i == 0 || i == text.size()) return;
  std::string_view full = text.substr(0, i);
  std::vector<Param> params;
  while (text[i] == ';') {
    size_t start = ++i;
    bool quoted = false;
    while (i < text.size() && (quoted || (text[i] != ';' && text[i] != ':'))) {
      if (text[i] == '"') quoted = !quoted;
      ++i;
    }
    if (i == text.size()) return;
    params.push_back(ParseParam(text.substr(start, i - start)));
  }
  size_t dot = full.rfind('.');
  if (dot != std::string_view::npos) {
    line.group = std::string(full.substr(0, dot));
    full = full.substr(dot + 1);
  }
  if (full.empty()) {
    line.group.clear();
    return;
  }
  line.name = std::string(full);
  line.upper_name = ToUpper(full);
  line.params = std::move(params);
  if (owned != nullptr) {
    owned->erase(0, i + 1);
    line.value = std::move(*owned);
  } else {
    line.value = std::string(text.substr(i + 1));
  }
  line.is_property = true;
}

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

bool HasNonAscii(std::string_view text) {
  for (unsigned char c : text) {
    if (c >= 0x80) return true;
  }
  return false;
}

}  // namespace

// The text up to the first ":" outside double quotes: name and parameters.
std::string_view Head(std::string_view text) {
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"') quoted = !quoted;
    if (text[i] == ':' && !quoted) return text.substr(0, i);
  }
  return text;
}

bool HeadSaysQuotedPrintable(std::string_view text) {
  return ToUpper(Head(text)).find("QUOTED-PRINTABLE") != std::string::npos;
}

const Param* ContentLine::FindParam(std::string_view upperName) const {
  for (const Param& p : params) {
    if (p.name == upperName) return &p;
  }
  return nullptr;
}

Param* ContentLine::FindParam(std::string_view upperName) {
  for (Param& p : params) {
    if (p.name == upperName) return &p;
  }
  return nullptr;
}

namespace {

Physical PhysicalAt(std::string_view bytes, size_t pos) {
  size_t nl = bytes.find('\n', pos);
  size_t end = nl == std::string_view::npos ? bytes.size() : nl + 1;
  size_t content_end = nl == std::string_view::npos ? bytes.size() : nl;
  while (content_end > pos && bytes[content_end - 1] == '\r') --content_end;
  return {pos, content_end, end};
}

// The bytes the folded lines from `pos` on add to the line they continue,
// so that a long value is joined in one string of its size, never grown.
size_t FoldedSize(std::string_view bytes, size_t pos) {
  size_t size = 0;
  while (pos < bytes.size() && (bytes[pos] == ' ' || bytes[pos] == '\t')) {
    const Physical p = PhysicalAt(bytes, pos);
    size += p.content_end - p.begin - 1;
    pos = p.end;
  }
  return size;
}

// Nearly every line is one physical line, whose text is read in place; a
// line is copied only when a fold or soft break joins more to it.
struct LineText {
  size_t content_end;
  bool joined = false;
  bool soft = false;  // a quoted-printable soft break joined some of it
  std::string joined_text;
};

std::string_view TextOf(std::string_view bytes, const ContentLine& line, const LineText& t) {
  if (t.joined) return t.joined_text;
  return bytes.substr(line.begin, t.content_end - line.begin);
}

// Each line's parts and character set, read from its logical text.
void ReadLogicalLines(std::string_view bytes, std::vector<ContentLine>& lines,
                      std::vector<LineText>& texts) {
  // Without a CHARSET a file is UTF-8; lines without one that are not UTF-8
  // came from Windows. Each line is read by its own bytes, so that rewriting
  // one never changes how another reads. What is written into a vCard 2.1
  // file goes in the file's one character set: Windows-1252 once any such
  // line is not UTF-8.
  bool utf8 = true;
  bool v21 = false;
  std::vector<bool> own_utf8(lines.size(), true);
  // In a file that is UTF-8 throughout, every value outside quoted-printable
  // is too: a character holds no ASCII byte, so no fold runs through one,
  // and a value begins after an ASCII ":". One pass over the file then
  // stands for a check of every line.
  const bool all_utf8 = IsValidUtf8(bytes);
  for (size_t k = 0; k < lines.size(); ++k) {
    ContentLine& line = lines[k];
    // A line joined by folds alone is read again from the bytes when its
    // text as read is asked for, so its value can take the joined text.
    LineText& t = texts[k];
    const size_t logical_size = TextOf(bytes, line, t).size();
    ParseLogical(TextOf(bytes, line, t), line, t.joined && !t.soft ? &t.joined_text : nullptr);
    if (!line.is_property) continue;
    if (const Param* charset = line.FindParam("CHARSET")) {
      line.charset = charset->value;
    } else {
      line.charset.clear();  // the file's, once known
      own_utf8[k] = IsQuotedPrintable(line) ? IsValidUtf8(QuotedPrintableDecode(line.value))
                                            : all_utf8 || IsValidUtf8(line.value);
      utf8 = utf8 && own_utf8[k];
    }
    v21 = v21 || (line.upper_name == "VERSION" && Trim(line.value) == "2.1");
    // The parts are the text's own substrings in order, so Serialize gives
    // the text back whenever the sizes agree; they differ only where a
    // leading "." of an empty group is dropped.
    size_t serialized =
        line.group.size() + (line.group.empty() ? 0 : 1) + line.name.size() + 1 + line.value.size();
    for (const Param& p : line.params) serialized += 1 + p.raw.size();
    if (serialized != logical_size) {
      line.pristine = Serialize(line);
    } else if (t.soft) {
      line.pristine = std::move(t.joined_text);
    } else {
      line.folded = t.joined;
    }
  }
  for (size_t k = 0; k < lines.size(); ++k) {
    ContentLine& line = lines[k];
    if (!line.is_property || !line.charset.empty()) continue;
    line.charset = own_utf8[k] ? "UTF-8" : "WINDOWS-1252";
    if (v21) line.write_charset = utf8 ? "UTF-8" : "WINDOWS-1252";
  }
}

}  // namespace

std::vector<ContentLine> SplitContentLines(std::string_view bytes, size_t start) {
  // Physical lines are found as they are reached, not listed first: a long
  // folded value has a great many of them.
  const size_t physical_lines =
      static_cast<size_t>(
          std::count(bytes.begin() + static_cast<std::ptrdiff_t>(start), bytes.end(), '\n')) +
      1;

  std::vector<ContentLine> lines;
  lines.reserve(physical_lines);
  std::vector<LineText> texts;
  texts.reserve(physical_lines);
  auto text = [&](size_t entry) { return TextOf(bytes, lines[entry], texts[entry]); };
  // `more` joins the entry, whose joined text will take at least `room`.
  auto append = [&](size_t entry, std::string_view more, size_t room) {
    LineText& t = texts[entry];
    if (!t.joined) {
      t.joined_text.reserve(std::max(room, t.content_end - lines[entry].begin + more.size()) + 80);
      t.joined_text.assign(text(entry));
      t.joined = true;
    }
    t.joined_text += more;
  };
  auto extend = [&](size_t entry, const Physical& p) {
    lines[entry].end = p.end;
    lines[entry].terminator.assign(bytes.substr(p.content_end, p.end - p.content_end));
  };
  size_t number = 0;  // of the physical line last read, from 1
  // Quoted-printable soft line breaks: the next physical line continues the
  // value as it stands, whatever it starts with.
  auto join_soft_breaks = [&](size_t entry, size_t& pos) {
    while (pos < bytes.size() && !text(entry).empty() && text(entry).back() == '=' &&
           HeadSaysQuotedPrintable(text(entry))) {
      LineText& t = texts[entry];
      t.soft = true;
      if (t.joined) {
        t.joined_text.pop_back();
      } else {
        --t.content_end;
      }
      const Physical next = PhysicalAt(bytes, pos);
      pos = next.end;
      ++number;
      append(entry, bytes.substr(next.begin, next.content_end - next.begin), 0);
      extend(entry, next);
    }
  };

  for (size_t pos = start; pos < bytes.size();) {
    const Physical p = PhysicalAt(bytes, pos);
    pos = p.end;
    ++number;
    std::string_view content = bytes.substr(p.begin, p.content_end - p.begin);
    if (!content.empty() && (content[0] == ' ' || content[0] == '\t')) {
      size_t k = lines.size();
      while (k > 0 && text(k - 1).empty()) --k;
      if (k > 0) {
        lines.resize(k);
        texts.resize(k);
        const size_t joined = texts[k - 1].joined ? 0 : text(k - 1).size() + content.size() - 1;
        append(k - 1, content.substr(1), joined == 0 ? 0 : joined + FoldedSize(bytes, pos));
        extend(k - 1, p);
        join_soft_breaks(k - 1, pos);
        continue;
      }
    }
    ContentLine line;
    line.begin = p.begin;
    line.line_number = number;
    lines.push_back(std::move(line));
    texts.push_back({p.content_end, false, false, {}});
    extend(lines.size() - 1, p);
    join_soft_breaks(lines.size() - 1, pos);
  }

  ReadLogicalLines(bytes, lines, texts);
  return lines;
}

namespace {

// The text of a line joined by folds alone, as SplitContentLines read it, to
// `piece` in order: its first physical line, then each continuation without
// its lead (blank lines between add nothing). Stops when `piece` says false.
template <typename Piece>
bool EachFoldedPiece(std::string_view bytes, const ContentLine& line, Piece piece) {
  for (size_t pos = line.begin; pos < line.end;) {
    const Physical p = PhysicalAt(bytes, pos);
    std::string_view content = bytes.substr(p.begin, p.content_end - p.begin);
    if (pos != line.begin && !content.empty()) content.remove_prefix(1);
    if (!piece(content)) return false;
    pos = p.end;
  }
  return true;
}

// Whether pieces given in turn spell `first` then `second`.
class PieceMatch {
 public:
  PieceMatch(std::string_view first, std::string_view second) : parts_{first, second} {}
  bool operator()(std::string_view piece) {
    while (!piece.empty()) {
      while (at_ < 2 && parts_[at_].empty()) ++at_;
      if (at_ == 2) return false;
      std::string_view& part = parts_[at_];
      const size_t n = std::min(part.size(), piece.size());
      if (part.substr(0, n) != piece.substr(0, n)) return false;
      part.remove_prefix(n);
      piece.remove_prefix(n);
    }
    return true;
  }
  bool Done() const { return parts_[0].empty() && parts_[1].empty(); }

 private:
  std::string_view parts_[2];
  size_t at_ = 0;
};

std::string_view OwnBytes(const ContentLine& line, std::string_view bytes) {
  return bytes.substr(line.begin, line.end - line.terminator.size() - line.begin);
}

}  // namespace

bool SerializesAsRead(const ContentLine& line, std::string_view bytes) {
  if (line.pristine) return SerializesAs(line, *line.pristine);
  if (!line.folded) return SerializesAs(line, OwnBytes(line, bytes));
  const std::string head = SerializedHead(line);
  PieceMatch match(head, line.value);
  return EachFoldedPiece(bytes, line, [&match](std::string_view p) { return match(p); }) &&
         match.Done();
}

bool ReadAs(const ContentLine& line, std::string_view bytes, std::string_view text) {
  if (line.pristine) return *line.pristine == text;
  if (!line.folded) return OwnBytes(line, bytes) == text;
  PieceMatch match(text, {});
  return EachFoldedPiece(bytes, line, [&match](std::string_view p) { return match(p); }) &&
         match.Done();
}

std::string TextAsRead(const ContentLine& line, std::string_view bytes) {
  if (line.pristine) return *line.pristine;
  if (!line.folded) return std::string(OwnBytes(line, bytes));
  std::string out;
  out.reserve(line.end - line.begin);
  EachFoldedPiece(bytes, line, [&out](std::string_view p) {
    out += p;
    return true;
  });
  return out;
}

bool SerializesAs(const ContentLine& line, std::string_view text) {
  const auto take = [&text](std::string_view part) {
    if (!text.starts_with(part)) return false;
    text.remove_prefix(part.size());
    return true;
  };
  if (!line.group.empty() && !(take(line.group) && take("."))) return false;
  if (!take(line.name)) return false;
  for (const Param& p : line.params) {
    if (!(take(";") && take(p.raw))) return false;
  }
  return take(":") && text == line.value;
}

std::string SerializedHead(const ContentLine& line) {
  std::string out;
  if (!line.group.empty()) out += line.group + ".";
  out += line.name;
  for (const Param& p : line.params) out += ";" + p.raw;
  out += ":";
  return out;
}

std::string Serialize(const ContentLine& line) {
  std::string out = SerializedHead(line);
  out += line.value;
  return out;
}

bool IsQuotedPrintable(const ContentLine& line) {
  for (const Param& p : line.params) {
    if ((p.name == "ENCODING" || p.name.empty()) &&
        EqualsIgnoringCase(p.value, "QUOTED-PRINTABLE")) {
      return true;
    }
  }
  return false;
}

namespace {

// The parameters that say what a line means, by value: CHARSET and the
// encoding say only how its value is written.
std::vector<std::pair<std::string, std::string>> MeaningfulParams(const ContentLine& line) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const Param& p : line.params) {
    if (p.name == "CHARSET" || p.name == "ENCODING") continue;
    if (p.name.empty() && EqualsIgnoringCase(Trim(p.value), "QUOTED-PRINTABLE")) continue;
    out.emplace_back(p.name, p.value);
  }
  return out;
}

std::vector<std::string> ReadComponents(const ContentLine& line, Dialect dialect) {
  std::vector<std::string> parts = SplitComponents(DecodedValue(line));
  for (std::string& part : parts) part = UnescapeComponent(part, dialect);
  return parts;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool ReadsAlike(const ContentLine& a, const ContentLine& b, Dialect dialect) {
  if (!a.is_property || !b.is_property || a.upper_name != b.upper_name ||
      !EqualsIgnoringCase(a.group, b.group) || MeaningfulParams(a) != MeaningfulParams(b)) {
    return false;
  }
  // The same bytes in UTF-8, which decodes without fail, read the same: a
  // long value is not decoded twice to show it.
  if (a.value == b.value && IsQuotedPrintable(a) == IsQuotedPrintable(b) && IsUtf8Name(a.charset) &&
      IsUtf8Name(b.charset)) {
    return true;
  }
  try {
    const std::vector<std::string> as = ReadComponents(a, dialect);
    const std::vector<std::string> bs = ReadComponents(b, dialect);
    if (as == bs) return true;
    if (as.size() != 1 || bs.size() != 1) return false;
    // A time, duration or number reads by what it says, not how it is spelt
    // ("PT1H" is "PT1H0M0S"): the views show it so, and an undo writes it so.
    const std::optional<int64_t> da = ParseDuration(as[0]);
    if (da) return da == ParseDuration(bs[0]);
    const bool tz = a.FindParam("TZID") != nullptr;
    const std::optional<IcalTime> ta = ParseIcalValue(as[0], tz);
    if (ta) {
      const std::optional<IcalTime> tb = ParseIcalValue(bs[0], tz);
      return tb && ta->clock == tb->clock && ta->form == tb->form;
    }
    const std::optional<int32_t> na = ParseWholeNumber(as[0]);
    return na && na == ParseWholeNumber(bs[0]);
  } catch (const Failure&) {
    return false;
  }
}

std::string LineToken(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() + 16);
  for (char c : bytes) {
    auto u = static_cast<unsigned char>(c);
    if (u >= 0x80 || c == '%') {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 0x0F];
    } else {
      out += c;
    }
  }
  return out;
}

std::optional<std::string> LineOfToken(std::string_view token, size_t room) {
  std::string copy;
  copy.reserve(token.size() + room);
  copy.assign(token);
  return LineOfToken(std::move(copy), room);
}

std::optional<std::string> LineOfToken(std::string&& token, size_t room) {
  // A byte is never longer than its spelling: the bytes are written over
  // the token as it is read.
  size_t out = 0;
  for (size_t i = 0; i < token.size(); ++i) {
    if (static_cast<unsigned char>(token[i]) >= 0x80) return std::nullopt;
    if (token[i] != '%') {
      token[out++] = token[i];
      continue;
    }
    if (i + 2 >= token.size() || HexDigit(token[i + 1]) < 0 || HexDigit(token[i + 2]) < 0) {
      return std::nullopt;
    }
    token[out++] = static_cast<char>(HexDigit(token[i + 1]) * 16 + HexDigit(token[i + 2]));
    i += 2;
  }
  token.resize(out);
  if (token.capacity() < out + room) token.reserve(out + room);
  return std::move(token);
}

std::string DecodedValue(const ContentLine& line) {
  std::string bytes = IsQuotedPrintable(line) ? QuotedPrintableDecode(line.value) : line.value;
  if (IsUtf8Name(line.charset)) return bytes;
  std::optional<std::string> text = ConvertCharset(bytes, line.charset, "UTF-8");
  if (!text) {
    throw Failure("The value of " + Excerpt(line.name) + " on line " +
                  std::to_string(line.line_number) + " is not valid " + line.charset + " text.");
  }
  return *text;
}

std::string_view DecodedValueView(const ContentLine& line, std::string& decoded) {
  if (!IsQuotedPrintable(line) && IsUtf8Name(line.charset)) return line.value;
  decoded = DecodedValue(line);
  return decoded;
}

void EncodeValue(ContentLine& line, std::string escapedUtf8, Dialect dialect) {
  bool qp = IsQuotedPrintable(line);
  // Spellings of bytes in another character set say nothing about these.
  std::string old = qp ? line.value : "";
  const std::string target = line.write_charset.empty() ? line.charset : line.write_charset;
  if (dialect == Dialect::kVCard21 && !qp && HasLineBreak(escapedUtf8)) {
    line.params.push_back(ParseParam("ENCODING=QUOTED-PRINTABLE"));
    // Readers decode quoted-printable without a CHARSET as UTF-8 only when
    // they must guess; a file in another character set keeps its own.
    if (HasNonAscii(escapedUtf8) && !line.FindParam("CHARSET") && IsUtf8Name(target)) {
      line.params.push_back(ParseParam("CHARSET=UTF-8"));
      line.charset = "UTF-8";
    }
    qp = true;
  }
  std::string bytes = std::move(escapedUtf8);
  std::string written_in = line.FindParam("CHARSET") ? line.charset : target;
  if (!IsUtf8Name(written_in)) {
    std::optional<std::string> converted;
    try {
      converted = ConvertCharset(bytes, "UTF-8", written_in);
      // Shift_JIS writes both "\\" and the yen sign as 0x5C and reads it as
      // the yen sign, so an escape would read as one: a text that does not
      // read back as itself is one the character set cannot hold. Without a
      // CHARSET, bytes that happen to be UTF-8 would read back as UTF-8.
      if (converted &&
          (ConvertCharset(*converted, written_in, "UTF-8") != bytes ||
           (!line.FindParam("CHARSET") && HasNonAscii(*converted) && IsValidUtf8(*converted)))) {
        converted.reset();
      }
    } catch (const Failure&) {
      // A character set no converter knows holds no text either; failing
      // here would fail a save over a stamp line that names one.
    }
    if (converted) {
      bytes = std::move(*converted);
    } else {
      if (Param* charset = line.FindParam("CHARSET")) {
        SetParamValue(*charset, "UTF-8", dialect);
      } else {
        line.params.push_back(ParseParam("CHARSET=UTF-8"));
      }
      written_in = "UTF-8";
      old.clear();
    }
  }
  line.charset = written_in;
  if (qp) {
    line.value = QuotedPrintableEncodeLike(bytes, old);
  } else {
    line.value = std::move(bytes);
  }
}
}  // namespace tidewell::formats
