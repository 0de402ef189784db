#include "platform/vdir/content_line.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>

#include <iconv.h>

#include "engine/utf8.h"
#include "platform/failure.h"

namespace tidewell::vdir {
namespace {

constexpr size_t kMaxOctets = 75;

struct Physical {
  size_t begin;
  size_t content_end;
  size_t end;
};

bool IsNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '.';
}

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

Param ParseParam(std::string_view raw) {
  Param param;
  param.raw = std::string(raw);
  size_t eq = std::string_view::npos;
  bool quoted = false;
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '"') quoted = !quoted;
    if (raw[i] == '=' && !quoted) {
      eq = i;
      break;
    }
  }
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
// that is not "name[;params]:value".
void ParseLogical(std::string_view text, ContentLine& line) {
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
  line.value = std::string(text.substr(i + 1));
  line.is_property = true;
}

bool IsUtf8Name(const std::string& charset) {
  if (charset == "UTF-8") return true;  // what nearly every line has
  std::string compact;
  for (char c : ToUpper(charset)) {
    if (c != '-' && c != '_') compact += c;
  }
  return compact.empty() || compact == "UTF8";
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
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

// Appends `escape` for the line break at text[i]; CRLF counts as one break.
void AppendBreaksAs(std::string& out, std::string_view text, size_t& i, std::string_view escape) {
  if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
  out += escape;
}

bool IsBlankByte(char c) { return c == ' ' || c == '\t'; }

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// A fold before text[cut] would split a UTF-8 sequence, leave a
// quoted-printable line's physical line ending in "=", which reads as a
// soft break, or end a physical line in a CR, which reads as part of its
// line end and is lost.
bool FoldSplits(std::string_view text, size_t cut, bool qp) {
  return (cut < text.size() && IsContinuationByte(text[cut])) || (qp && text[cut - 1] == '=') ||
         text[cut - 1] == '\r';
}

// A soft break before text[cut] would fall in the name and parameters, split
// a "=XX" triplet, or start a line with a blank.
bool SoftSplits(std::string_view text, size_t head, size_t cut) {
  return cut <= head || text[cut - 1] == '=' || text[cut - 2] == '=' ||
         (cut < text.size() && IsBlankByte(text[cut]));
}

size_t HeadSize(std::string_view text) {
  size_t head = Head(text).size();
  return head < text.size() ? head + 1 : head;
}

// The nearest place at or before `cut`, else after it, where `splits` says a
// break may go; text.size() when there is none after `pos`.
template <typename Splits>
size_t BreakNear(std::string_view text, size_t pos, size_t cut, Splits splits) {
  for (size_t c = cut; c > pos; --c) {
    if (!splits(c)) return c;
  }
  for (size_t c = cut + 1; c < text.size(); ++c) {
    if (!splits(c)) return c;
  }
  return text.size();
}

std::string FoldText(std::string_view text, size_t head, bool qp, const FoldForm& form) {
  // A reader joins a physical line ending in "=" to the next whenever the
  // head names QUOTED-PRINTABLE anywhere (see SplitContentLines), also on a
  // line whose value is not quoted-printable, such as a parameter
  // X-NOTE=QUOTED-PRINTABLE: a fold must not leave "=" at a line's end there.
  qp = qp || HeadSaysQuotedPrintable(text);
  std::string out;
  out.reserve(text.size() + text.size() / 32 * (form.newline.size() + 1) + 8);
  size_t pos = 0;
  auto soft_splits = [&](size_t c) { return SoftSplits(text, head, c); };
  if (form.soft && form.at_line_breaks) {
    for (size_t i = head; i + 3 <= text.size(); ++i) {
      bool line_break =
          text[i] == '=' && text[i + 1] == '0' && (text[i + 2] == 'A' || text[i + 2] == 'a');
      if (line_break && i + 3 < text.size() && !soft_splits(i + 3)) {
        out.append(text, pos, i + 3 - pos);
        out += "=" + form.newline;
        pos = i + 3;
      }
    }
  } else if (form.soft && form.width >= 2) {
    while (text.size() - pos > form.width) {
      size_t cut = BreakNear(text, pos, pos + form.width - 1, soft_splits);
      if (cut == text.size()) break;
      out.append(text, pos, cut - pos);
      out += "=" + form.newline;
      pos = cut;
    }
  } else if (!form.soft && form.width >= 2) {
    size_t limit = form.width;
    while (text.size() - pos > limit) {
      size_t cut =
          BreakNear(text, pos, pos + limit, [&](size_t c) { return FoldSplits(text, c, qp); });
      if (cut == text.size()) break;
      out.append(text, pos, cut - pos);
      out += form.newline;
      out += form.lead;
      pos = cut;
      limit = form.width - 1;
    }
  }
  out.append(text, pos);
  return out;
}

// A content line's physical lines as read: the logical text, and where and
// with which bytes each later physical line was joined to it.
struct Break {
  size_t at;          // offset in the logical text
  std::string bytes;  // what stood there: "=" and newline, or newline(s) and a lead
  bool soft;
};
struct Shape {
  std::string text;
  std::vector<Break> breaks;
  std::vector<size_t> lengths;  // of each physical line with text, its lead or "=" included
};

// Joins physical lines the way SplitContentLines does.
Shape ShapeOf(std::string_view was) {
  Shape shape;
  std::string pending;  // newlines and blank lines since the last text
  bool adjacent = false;
  for (size_t pos = 0;;) {
    size_t nl = was.find('\n', pos);
    size_t end = nl == std::string_view::npos ? was.size() : nl + 1;
    size_t content_end = nl == std::string_view::npos ? was.size() : nl;
    while (content_end > pos && was[content_end - 1] == '\r') --content_end;
    std::string_view content = was.substr(pos, content_end - pos);
    bool text = true;
    if (pos == 0) {
      shape.text = std::string(content);
    } else if (adjacent && !shape.text.empty() && shape.text.back() == '=' &&
               HeadSaysQuotedPrintable(shape.text)) {
      shape.text.pop_back();
      shape.breaks.push_back({shape.text.size(), "=" + pending, true});
      shape.text += content;
    } else if (!content.empty() && IsBlankByte(content[0])) {
      shape.breaks.push_back({shape.text.size(), pending + content[0], false});
      shape.text += content.substr(1);
    } else {
      pending += content;
      text = false;
    }
    std::string_view terminator = was.substr(content_end, end - content_end);
    if (text) {
      shape.lengths.push_back(content.size());
      pending = std::string(terminator);
    } else {
      pending += terminator;
    }
    adjacent = text;
    if (nl == std::string_view::npos) break;
    pos = end;
  }
  return shape;
}

// `text` broken where `shape` was, when every break still falls where it may
// (or fell where it may not before) and the result reads back as `text`.
std::optional<std::string> AtTheSameBreaks(const std::string& text, const Shape& shape, bool qp) {
  const size_t head = HeadSize(text);
  const size_t old_head = HeadSize(shape.text);
  std::string out;
  size_t pos = 0;
  for (const Break& b : shape.breaks) {
    // A line ending in "==" before blank lines reads as two soft breaks, the
    // second taking away the "=" before the first, which so stands past the
    // text's end: such breaks cannot be kept.
    if (b.at == 0 || b.at < pos || b.at > text.size()) return std::nullopt;
    bool splits = b.soft ? SoftSplits(text, head, b.at) : FoldSplits(text, b.at, qp);
    bool split = b.soft ? SoftSplits(shape.text, old_head, b.at) : FoldSplits(shape.text, b.at, qp);
    if (splits && !split) return std::nullopt;
    out.append(text, pos, b.at - pos);
    out += b.bytes;
    pos = b.at;
  }
  out.append(text, pos);
  std::vector<ContentLine> again = SplitContentLines(out, 0);
  if (again.size() != 1 || !again[0].is_property || Pristine(again[0], out) != text) {
    return std::nullopt;
  }
  return out;
}

// The form `shape` (read as `was`) was folded in; see Refold.
FoldForm FormOf(const Shape& shape, std::string_view was, bool qp) {
  FoldForm form;
  form.soft = qp && shape.breaks.front().soft;
  for (const Break& b : shape.breaks) {
    if (!b.soft) {
      form.lead = b.bytes.back();
      break;
    }
  }
  std::string_view first = shape.breaks.front().bytes;
  if (shape.breaks.front().soft) first.remove_prefix(1);
  form.newline = std::string(first.substr(0, first.find('\n') + 1));

  const size_t head = HeadSize(shape.text);
  auto gives_back = [&](const FoldForm& f) { return FoldText(shape.text, head, qp, f) == was; };
  if (form.soft) {
    FoldForm at_breaks = form;
    at_breaks.at_line_breaks = true;
    if (gives_back(at_breaks)) return at_breaks;
  }
  size_t longest_but_last = 0;
  for (size_t i = 0; i + 1 < shape.lengths.size(); ++i) {
    longest_but_last = std::max(longest_but_last, shape.lengths[i]);
  }
  for (size_t width : {kMaxOctets, longest_but_last}) {
    form.width = width;
    if (gives_back(form)) return form;
  }
  form.width = std::max(longest_but_last, shape.lengths.back());
  return form;
}

bool IsHexDigit(char c) { return HexValue(c) >= 0; }

// A character that makes an escape with a backslash before it.
bool IsEscapeLetter(char c) {
  return c == 'n' || c == 'N' || c == '\\' || c == ';' || c == ',' || c == ':';
}

}  // namespace

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

std::vector<ContentLine> SplitContentLines(std::string_view bytes, size_t start) {
  std::vector<Physical> physical;
  for (size_t pos = start; pos < bytes.size();) {
    size_t nl = bytes.find('\n', pos);
    size_t end = nl == std::string_view::npos ? bytes.size() : nl + 1;
    size_t content_end = nl == std::string_view::npos ? bytes.size() : nl;
    while (content_end > pos && bytes[content_end - 1] == '\r') --content_end;
    physical.push_back({pos, content_end, end});
    pos = end;
  }

  std::vector<ContentLine> lines;
  lines.reserve(physical.size());
  // Nearly every line is one physical line, whose text is read in place; a
  // line is copied only when a fold or soft break joins more to it.
  struct Text {
    size_t content_end;
    bool joined = false;
    std::string joined_text;
  };
  std::vector<Text> texts;
  texts.reserve(physical.size());
  auto text = [&](size_t entry) -> std::string_view {
    const Text& t = texts[entry];
    if (t.joined) return t.joined_text;
    return bytes.substr(lines[entry].begin, t.content_end - lines[entry].begin);
  };
  auto append = [&](size_t entry, std::string_view more) {
    Text& t = texts[entry];
    if (!t.joined) {
      t.joined_text.reserve(t.content_end - lines[entry].begin + more.size() + 80);
      t.joined_text.assign(text(entry));
      t.joined = true;
    }
    t.joined_text += more;
  };
  auto extend = [&](size_t entry, const Physical& p) {
    lines[entry].end = p.end;
    lines[entry].terminator.assign(bytes.substr(p.content_end, p.end - p.content_end));
  };
  // Quoted-printable soft line breaks: the next physical line continues the
  // value as it stands, whatever it starts with.
  auto join_soft_breaks = [&](size_t entry, size_t& i) {
    while (i + 1 < physical.size() && !text(entry).empty() && text(entry).back() == '=' &&
           HeadSaysQuotedPrintable(text(entry))) {
      Text& t = texts[entry];
      if (t.joined) {
        t.joined_text.pop_back();
      } else {
        --t.content_end;
      }
      const Physical& next = physical[++i];
      append(entry, bytes.substr(next.begin, next.content_end - next.begin));
      extend(entry, next);
    }
  };

  for (size_t i = 0; i < physical.size(); ++i) {
    const Physical& p = physical[i];
    std::string_view content = bytes.substr(p.begin, p.content_end - p.begin);
    if (!content.empty() && (content[0] == ' ' || content[0] == '\t')) {
      size_t k = lines.size();
      while (k > 0 && text(k - 1).empty()) --k;
      if (k > 0) {
        lines.resize(k);
        texts.resize(k);
        append(k - 1, content.substr(1));
        extend(k - 1, p);
        join_soft_breaks(k - 1, i);
        continue;
      }
    }
    ContentLine line;
    line.begin = p.begin;
    line.line_number = i + 1;
    lines.push_back(std::move(line));
    texts.push_back({p.content_end, false, {}});
    extend(lines.size() - 1, p);
    join_soft_breaks(lines.size() - 1, i);
  }

  // Without a CHARSET a file is UTF-8; lines without one that are not UTF-8
  // came from Windows. Each line is read by its own bytes, so that rewriting
  // one never changes how another reads. What is written into a vCard 2.1
  // file goes in the file's one character set: Windows-1252 once any such
  // line is not UTF-8.
  bool utf8 = true;
  bool v21 = false;
  std::vector<bool> own_utf8(lines.size(), true);
  for (size_t k = 0; k < lines.size(); ++k) {
    ContentLine& line = lines[k];
    const std::string_view logical = text(k);
    ParseLogical(logical, line);
    if (!line.is_property) continue;
    if (const Param* charset = line.FindParam("CHARSET")) {
      line.charset = charset->value;
    } else {
      line.charset.clear();  // the file's, once known
      own_utf8[k] = IsQuotedPrintable(line) ? IsValidUtf8(QuotedPrintableDecode(line.value))
                                            : IsValidUtf8(line.value);
      utf8 = utf8 && own_utf8[k];
    }
    v21 = v21 || (line.upper_name == "VERSION" && Trim(line.value) == "2.1");
    // The parts are the text's own substrings in order, so Serialize gives
    // the text back whenever the sizes agree; they differ only where a
    // leading "." of an empty group is dropped.
    size_t serialized =
        line.group.size() + (line.group.empty() ? 0 : 1) + line.name.size() + 1 + line.value.size();
    for (const Param& p : line.params) serialized += 1 + p.raw.size();
    if (serialized != logical.size()) {
      line.pristine = Serialize(line);
    } else if (texts[k].joined) {
      line.pristine = std::move(texts[k].joined_text);
    }
  }
  for (size_t k = 0; k < lines.size(); ++k) {
    ContentLine& line = lines[k];
    if (!line.is_property || !line.charset.empty()) continue;
    line.charset = own_utf8[k] ? "UTF-8" : "WINDOWS-1252";
    if (v21) line.write_charset = utf8 ? "UTF-8" : "WINDOWS-1252";
  }
  return lines;
}

std::string_view Pristine(const ContentLine& line, std::string_view bytes) {
  if (line.pristine) return *line.pristine;
  return bytes.substr(line.begin, line.end - line.terminator.size() - line.begin);
}

std::string Serialize(const ContentLine& line) {
  std::string out;
  if (!line.group.empty()) out += line.group + ".";
  out += line.name;
  for (const Param& p : line.params) out += ";" + p.raw;
  out += ":";
  out += line.value;
  return out;
}

std::string Fold(const ContentLine& line, const FoldForm& form) {
  std::string text = Serialize(line);
  return FoldText(text, text.size() - line.value.size(), IsQuotedPrintable(line), form);
}

std::string Refold(const ContentLine& line, std::string_view was, const std::string& newline,
                   bool folds) {
  const bool qp = IsQuotedPrintable(line);
  std::string text = Serialize(line);
  const size_t head = text.size() - line.value.size();
  Shape shape = ShapeOf(was);
  FoldForm usual;
  usual.newline = newline;
  if (shape.breaks.empty()) {
    if (qp || was.size() > kMaxOctets || !folds) return text;
    return FoldText(text, head, qp, usual);
  }
  if (shape.text != (line.pristine ? std::string_view(*line.pristine) : was)) {
    usual.soft = qp;
    return qp || folds ? FoldText(text, head, qp, usual) : text;
  }
  if (text.size() == shape.text.size() &&
      (folds || std::all_of(shape.breaks.begin(), shape.breaks.end(),
                            [](const Break& b) { return b.soft; }))) {
    if (std::optional<std::string> same = AtTheSameBreaks(text, shape, qp)) return *same;
  }
  const FoldForm form = FormOf(shape, was, qp);
  return form.soft || folds ? FoldText(text, head, qp, form) : text;
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

void EncodeValue(ContentLine& line, const std::string& escapedUtf8, Dialect dialect) {
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
  std::string bytes = escapedUtf8;
  std::string written_in = line.FindParam("CHARSET") ? line.charset : target;
  if (!IsUtf8Name(written_in)) {
    std::optional<std::string> converted;
    try {
      converted = ConvertCharset(bytes, "UTF-8", written_in);
      // Shift_JIS writes both "\\" and the yen sign as 0x5C and reads it as
      // the yen sign, so an escape would read as one: a text that does not
      // read back as itself is one the character set cannot hold. Without a
      // CHARSET, bytes that happen to be UTF-8 would read back as UTF-8.
      if (converted && (ConvertCharset(*converted, written_in, "UTF-8") != bytes ||
                        (!line.FindParam("CHARSET") && HasNonAscii(*converted) &&
                         IsValidUtf8(*converted)))) {
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
  line.value = qp ? QuotedPrintableEncodeLike(bytes, old) : bytes;
}

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
  std::string out;
  out.reserve(text.size() + 8);
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

std::optional<std::string> ConvertCharset(std::string_view text, const std::string& from,
                                          const std::string& to) {
  iconv_t cd = iconv_open(to.c_str(), from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    throw Failure("The character set '" + (IsUtf8Name(to) ? from : to) + "' is not known.");
  }
  std::string out(text.size() * 2 + 16, '\0');
  char* in_ptr = const_cast<char*>(text.data());
  size_t in_left = text.size();
  size_t used = 0;
  std::optional<std::string> result;
  bool flushing = false;
  for (;;) {
    char* out_ptr = out.data() + used;
    size_t out_left = out.size() - used;
    // Once all the text is in, a call without input writes what a stateful
    // character set still holds: UTF-7's last bits, ISO-2022's shift back.
    size_t rc = flushing ? iconv(cd, nullptr, nullptr, &out_ptr, &out_left)
                         : iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
    used = out.size() - out_left;
    if (rc != static_cast<size_t>(-1)) {
      if (rc == 0 && !flushing) {
        flushing = true;
        continue;
      }
      if (rc == 0) {
        out.resize(used);
        result = std::move(out);
      }
      break;
    }
    if (errno != E2BIG) break;
    out.resize(out.size() * 2);
  }
  iconv_close(cd);
  return result;
}

std::string QuotedPrintableDecode(std::string_view encoded) {
  std::string out;
  out.reserve(encoded.size());
  for (size_t i = 0; i < encoded.size(); ++i) {
    if (encoded[i] == '=' && i + 2 < encoded.size() && HexValue(encoded[i + 1]) >= 0 &&
        HexValue(encoded[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(encoded[i + 1]) * 16 + HexValue(encoded[i + 2]));
      i += 2;
    } else {
      out += encoded[i];
    }
  }
  return out;
}

std::string QuotedPrintableEncodeLike(std::string_view bytes, std::string_view old) {
  // Per byte, how old wrote each occurrence: 'l' as itself, 'e' as "=XX".
  std::array<std::string, 256> spelt;
  bool lower = false;
  bool upper = false;
  for (size_t i = 0; i < old.size(); ++i) {
    if (old[i] == '=' && i + 2 < old.size() && IsHexDigit(old[i + 1]) && IsHexDigit(old[i + 2])) {
      spelt[static_cast<unsigned char>(HexValue(old[i + 1]) * 16 + HexValue(old[i + 2]))] += 'e';
      for (char h : old.substr(i + 1, 2)) {
        lower = lower || (h >= 'a' && h <= 'f');
        upper = upper || (h >= 'A' && h <= 'F');
      }
      i += 2;
    } else {
      spelt[static_cast<unsigned char>(old[i])] += 'l';
    }
  }
  const char* hex = lower && !upper ? "0123456789abcdef" : "0123456789ABCDEF";
  std::array<size_t, 256> seen{};
  std::string out;
  out.reserve(bytes.size() * 3 / 2);
  for (size_t i = 0; i < bytes.size(); ++i) {
    auto c = static_cast<unsigned char>(bytes[i]);
    const bool last = i + 1 == bytes.size();
    const std::string& s = spelt[c];
    const bool printable = c >= 33 && c <= 126 && c != '=';
    const bool blank = c == ' ' || c == '\t';
    char spelling =
        s.empty() ? (printable || blank ? 'l' : 'e') : s[std::min(seen[c], s.size() - 1)];
    ++seen[c];
    bool literal = spelling == 'l';
    if (blank) {
      literal = literal && !last;
    } else if (c == '=') {
      literal = literal && !last && !IsHexDigit(bytes[i + 1]);
    } else if (c < 0x80 && !printable) {
      literal = false;
    }
    if (literal) {
      out += static_cast<char>(c);
    } else {
      out += '=';
      out += hex[c >> 4];
      out += hex[c & 0x0F];
    }
  }
  return out;
}

std::string ToUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return upper(x) == upper(y); });
}

std::string ToLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string_view Trim(std::string_view text) {
  size_t b = text.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  size_t e = text.find_last_not_of(" \t");
  return text.substr(b, e - b + 1);
}

}  // namespace tidewell::vdir
