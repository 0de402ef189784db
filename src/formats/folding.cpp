#include <algorithm>

#include "formats/content_line.h"

namespace tidewell::formats {
namespace {

constexpr size_t kMaxOctets = 75;

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

// Where folded text goes without being built: whether it spells `text`.
class SpellsOut {
 public:
  explicit SpellsOut(std::string_view text) : rest_(text) {}
  void append(std::string_view part) {
    same_ = same_ && rest_.starts_with(part);
    if (same_) rest_.remove_prefix(part.size());
  }
  bool Spelt() const { return same_ && rest_.empty(); }

 private:
  std::string_view rest_;
  bool same_ = true;
};

// The physical lines of `text`, appended to `out` (a std::string or a
// SpellsOut).
template <typename Out>
void FoldTextTo(std::string_view text, size_t head, bool qp, const FoldForm& form, Out& out) {
  // A reader joins a physical line ending in "=" to the next whenever the
  // head names QUOTED-PRINTABLE anywhere (see SplitContentLines), also on a
  // line whose value is not quoted-printable, such as a parameter
  // X-NOTE=QUOTED-PRINTABLE: a fold must not leave "=" at a line's end there.
  qp = qp || HeadSaysQuotedPrintable(text);
  const std::string_view lead(&form.lead, 1);
  size_t pos = 0;
  auto soft_splits = [&](size_t c) { return SoftSplits(text, head, c); };
  if (form.soft && form.at_line_breaks) {
    for (size_t i = head; i + 3 <= text.size(); ++i) {
      bool line_break =
          text[i] == '=' && text[i + 1] == '0' && (text[i + 2] == 'A' || text[i + 2] == 'a');
      if (line_break && i + 3 < text.size() && !soft_splits(i + 3)) {
        out.append(text.substr(pos, i + 3 - pos));
        out.append("=");
        out.append(form.newline);
        pos = i + 3;
      }
    }
  } else if (form.soft && form.width >= 2) {
    while (text.size() - pos > form.width) {
      size_t cut = BreakNear(text, pos, pos + form.width - 1, soft_splits);
      if (cut == text.size()) break;
      out.append(text.substr(pos, cut - pos));
      out.append("=");
      out.append(form.newline);
      pos = cut;
    }
  } else if (!form.soft && form.width >= 2) {
    size_t limit = form.width;
    while (text.size() - pos > limit) {
      size_t cut =
          BreakNear(text, pos, pos + limit, [&](size_t c) { return FoldSplits(text, c, qp); });
      if (cut == text.size()) break;
      out.append(text.substr(pos, cut - pos));
      out.append(form.newline);
      out.append(lead);
      pos = cut;
      limit = form.width - 1;
    }
  }
  out.append(text.substr(pos));
}

std::string FoldText(std::string_view text, size_t head, bool qp, const FoldForm& form) {
  std::string out;
  out.reserve(text.size() + text.size() / 32 * (form.newline.size() + 1) + 8);
  FoldTextTo(text, head, qp, form, out);
  return out;
}

// A content line's physical lines as read: the logical text, and where and
// with which bytes each later physical line was joined to it.
struct Break {
  size_t at;  // offset in the logical text
  // What stood there, a view of the physical lines: newline(s) and a lead,
  // or the newline(s) after the "=" of a soft break.
  std::string_view bytes;
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
  const auto physical_lines = static_cast<size_t>(std::count(was.begin(), was.end(), '\n'));
  shape.text.reserve(was.size());
  shape.breaks.reserve(physical_lines);
  shape.lengths.reserve(physical_lines + 1);
  size_t pending = 0;  // where the newlines and blank lines since the last text start
  bool adjacent = false;
  for (size_t pos = 0;;) {
    size_t nl = was.find('\n', pos);
    size_t end = nl == std::string_view::npos ? was.size() : nl + 1;
    size_t content_end = nl == std::string_view::npos ? was.size() : nl;
    while (content_end > pos && was[content_end - 1] == '\r') --content_end;
    std::string_view content = was.substr(pos, content_end - pos);
    bool text = true;
    if (pos == 0) {
      shape.text.assign(content);
    } else if (adjacent && !shape.text.empty() && shape.text.back() == '=' &&
               HeadSaysQuotedPrintable(shape.text)) {
      shape.text.pop_back();
      shape.breaks.push_back({shape.text.size(), was.substr(pending, pos - pending), true});
      shape.text += content;
    } else if (!content.empty() && IsBlankByte(content[0])) {
      shape.breaks.push_back({shape.text.size(), was.substr(pending, pos + 1 - pending), false});
      shape.text += content.substr(1);
    } else {
      text = false;
    }
    if (text) {
      shape.lengths.push_back(content.size());
      pending = content_end;
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
    if (b.soft) out += '=';
    out += b.bytes;
    pos = b.at;
  }
  out.append(text, pos);
  std::vector<ContentLine> again = SplitContentLines(out, 0);
  if (again.size() != 1 || !again[0].is_property || !ReadAs(again[0], out, text)) {
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
  form.newline = std::string(first.substr(0, first.find('\n') + 1));

  const size_t head = HeadSize(shape.text);
  auto gives_back = [&](const FoldForm& f) {
    SpellsOut out(was);
    FoldTextTo(shape.text, head, qp, f, out);
    return out.Spelt();
  };
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

}  // namespace

std::string Fold(const ContentLine& line, const FoldForm& form) {
  std::string text = Serialize(line);
  return FoldText(text, text.size() - line.value.size(), IsQuotedPrintable(line), form);
}

void RefoldTo(std::string& out, const ContentLine& line, std::string_view was,
              const std::string& newline, bool folds) {
  const bool qp = IsQuotedPrintable(line);
  const std::string text = Serialize(line);
  const size_t head = text.size() - line.value.size();
  const Shape shape = ShapeOf(was);
  FoldForm usual;
  usual.newline = newline;
  if (shape.breaks.empty()) {
    if (qp || was.size() > kMaxOctets || !folds) {
      out += text;
    } else {
      FoldTextTo(text, head, qp, usual, out);
    }
    return;
  }
  // `was` is the line's own bytes: a line joined by folds alone reads as it.
  if (line.pristine ? shape.text != *line.pristine : !line.folded && shape.text != was) {
    usual.soft = qp;
    if (qp || folds) {
      FoldTextTo(text, head, qp, usual, out);
    } else {
      out += text;
    }
    return;
  }
  if (text.size() == shape.text.size() &&
      (folds || std::all_of(shape.breaks.begin(), shape.breaks.end(),
                            [](const Break& b) { return b.soft; }))) {
    if (std::optional<std::string> same = AtTheSameBreaks(text, shape, qp)) {
      out += *same;
      return;
    }
  }
  const FoldForm form = FormOf(shape, was, qp);
  if (form.soft || folds) {
    FoldTextTo(text, head, qp, form, out);
  } else {
    out += text;
  }
}

std::string Refold(const ContentLine& line, std::string_view was, const std::string& newline,
                   bool folds) {
  std::string out;
  RefoldTo(out, line, was, newline, folds);
  return out;
}

}  // namespace tidewell::formats
