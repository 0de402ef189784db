#include <algorithm>

#include "formats/content_line.h"

namespace tidewell::formats {
namespace {

constexpr size_t kMaxOctets = 75;

bool IsBlankByte(char c) { return c == ' ' || c == '\t'; }

// Where a content line's physical lines were joined.
struct Break {
  size_t at;  // offset in the logical text
  // What stood there, a view of the physical lines: newline(s) and a lead,
  // or the newline(s) after the "=" of a soft break.
  std::string_view bytes;
  bool soft;
};

// The text of physical lines joined by folds alone, read where it stands:
// the text from `first` on, and after each break its bytes left out. A long
// line is so never copied to be refolded. Reads are cheap in order, as
// folding reads.
class JoinedText {
 public:
  JoinedText(const char* first, const std::vector<Break>& breaks, size_t size)
      : first_(first), breaks_(breaks), size_(size), start_(first) {}
  size_t size() const { return size_; }
  char operator[](size_t i) const {
    Seek(i);
    return start_[i - at_];
  }
  // Appends the `n` bytes from `pos` on to `out`.
  template <typename Out>
  void AppendTo(Out& out, size_t pos, size_t n) const {
    while (n > 0) {
      Seek(pos);
      const size_t end = next_ < breaks_.size() ? breaks_[next_].at : size_;
      const size_t take = std::min(n, end - pos);
      out.append(std::string_view(start_ + (pos - at_), take));
      pos += take;
      n -= take;
    }
  }

 private:
  // Makes the piece holding byte `i` the current one.
  void Seek(size_t i) const {
    while (next_ < breaks_.size() && breaks_[next_].at <= i) {
      const Break& b = breaks_[next_++];
      start_ = b.bytes.data() + b.bytes.size();
      at_ = b.at;
    }
    while (i < at_) {
      --next_;
      const Break* b = next_ == 0 ? nullptr : &breaks_[next_ - 1];
      start_ = b == nullptr ? first_ : b->bytes.data() + b->bytes.size();
      at_ = b == nullptr ? 0 : b->at;
    }
  }

  const char* first_;
  const std::vector<Break>& breaks_;
  size_t size_;
  mutable size_t next_ = 0;  // the first break after the current piece
  mutable size_t at_ = 0;    // where the current piece starts in the text
  mutable const char* start_;
};

template <typename Out>
void AppendSlice(Out& out, std::string_view text, size_t pos, size_t n = std::string_view::npos) {
  out.append(text.substr(pos, n));
}
template <typename Out>
void AppendSlice(Out& out, const JoinedText& text, size_t pos, size_t n = std::string_view::npos) {
  text.AppendTo(out, pos, std::min(n, text.size() - pos));
}

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// A fold before text[cut] would split a UTF-8 sequence, leave a
// quoted-printable line's physical line ending in "=", which reads as a
// soft break, or end a physical line in a CR, which reads as part of its
// line end and is lost.
template <typename Text>
bool FoldSplits(const Text& text, size_t cut, bool qp) {
  return (cut < text.size() && IsContinuationByte(text[cut])) || (qp && text[cut - 1] == '=') ||
         text[cut - 1] == '\r';
}

// A soft break before text[cut] would fall in the name and parameters, split
// a "=XX" triplet, or start a line with a blank.
template <typename Text>
bool SoftSplits(const Text& text, size_t head, size_t cut) {
  return cut <= head || text[cut - 1] == '=' || text[cut - 2] == '=' ||
         (cut < text.size() && IsBlankByte(text[cut]));
}

// The size of Head(text) and its ":", if any.
template <typename Text>
size_t HeadSize(const Text& text) {
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"') quoted = !quoted;
    if (text[i] == ':' && !quoted) return i + 1;
  }
  return text.size();
}

// The nearest place at or before `cut`, else after it, where `splits` says a
// break may go; text.size() when there is none after `pos`.
template <typename Text, typename Splits>
size_t BreakNear(const Text& text, size_t pos, size_t cut, Splits splits) {
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
template <typename Text, typename Out>
void FoldTextTo(const Text& text, size_t head, bool qp, const FoldForm& form, Out& out) {
  // A reader joins a physical line ending in "=" to the next whenever the
  // head names QUOTED-PRINTABLE anywhere (see SplitContentLines), also on a
  // line whose value is not quoted-printable, such as a parameter
  // X-NOTE=QUOTED-PRINTABLE: a fold must not leave "=" at a line's end there.
  if (!qp) {
    std::string head_text;
    AppendSlice(head_text, text, 0, HeadSize(text));
    qp = HeadSaysQuotedPrintable(head_text);
  }
  const std::string_view lead(&form.lead, 1);
  size_t pos = 0;
  auto soft_splits = [&](size_t c) { return SoftSplits(text, head, c); };
  if (form.soft && form.at_line_breaks) {
    for (size_t i = head; i + 3 <= text.size(); ++i) {
      bool line_break =
          text[i] == '=' && text[i + 1] == '0' && (text[i + 2] == 'A' || text[i + 2] == 'a');
      if (line_break && i + 3 < text.size() && !soft_splits(i + 3)) {
        AppendSlice(out, text, pos, i + 3 - pos);
        out.append("=");
        out.append(form.newline);
        pos = i + 3;
      }
    }
  } else if (form.soft && form.width >= 2) {
    while (text.size() - pos > form.width) {
      size_t cut = BreakNear(text, pos, pos + form.width - 1, soft_splits);
      if (cut == text.size()) break;
      AppendSlice(out, text, pos, cut - pos);
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
      AppendSlice(out, text, pos, cut - pos);
      out.append(form.newline);
      out.append(lead);
      pos = cut;
      limit = form.width - 1;
    }
  }
  AppendSlice(out, text, pos);
}

std::string FoldText(std::string_view text, size_t head, bool qp, const FoldForm& form) {
  std::string out;
  out.reserve(text.size() + text.size() / 32 * (form.newline.size() + 1) + 8);
  FoldTextTo(text, head, qp, form, out);
  return out;
}

// A content line's physical lines as read: the logical text, and where and
// with which bytes each later physical line was joined to it.
struct Shape {
  // Joined by folds alone, the text is read where it stands (see Text());
  // a soft break, which takes a byte away, makes it a copy in `text`.
  bool in_place = true;
  std::string text;
  const char* first = nullptr;
  size_t size = 0;
  char last = 0;  // the text's last byte
  std::vector<Break> breaks;
  // Of the physical lines with text, their lead or "=" included: the
  // longest but the last, and the last.
  size_t longest_but_last = 0;
  size_t last_length = 0;

  // Calls `f` with the logical text, a JoinedText or a std::string_view.
  template <typename F>
  auto Text(F f) const {
    if (in_place) return f(JoinedText(first, breaks, size));
    return f(std::string_view(text));
  }
};

template <typename Text>
bool Spells(const Text& text, std::string_view as) {
  SpellsOut out(as);
  AppendSlice(out, text, 0);
  return out.Spelt();
}

// Joins physical lines the way SplitContentLines does.
Shape ShapeOf(std::string_view was) {
  Shape shape;
  const auto physical_lines = static_cast<size_t>(std::count(was.begin(), was.end(), '\n'));
  shape.breaks.reserve(physical_lines);
  shape.first = was.data();
  size_t pending = 0;  // where the newlines and blank lines since the last text start
  size_t text_lines = 0;
  bool adjacent = false;
  for (size_t pos = 0;;) {
    size_t nl = was.find('\n', pos);
    size_t end = nl == std::string_view::npos ? was.size() : nl + 1;
    size_t content_end = nl == std::string_view::npos ? was.size() : nl;
    while (content_end > pos && was[content_end - 1] == '\r') --content_end;
    std::string_view content = was.substr(pos, content_end - pos);
    std::string_view joined;  // what the line adds to the text
    bool text = true;
    if (pos == 0) {
      joined = content;
    } else if (adjacent && shape.size > 0 && shape.last == '=') {
      if (shape.in_place) {
        shape.text.reserve(was.size());
        shape.Text([&](const auto& t) { AppendSlice(shape.text, t, 0); });
        shape.in_place = false;
      }
      if (HeadSaysQuotedPrintable(shape.text)) {
        shape.text.pop_back();
        --shape.size;
        shape.last = shape.size > 0 ? shape.text.back() : 0;
        shape.breaks.push_back({shape.size, was.substr(pending, pos - pending), true});
        joined = content;
      } else {
        text = false;
      }
    } else {
      text = false;
    }
    if (!text && pos != 0 && !content.empty() && IsBlankByte(content[0])) {
      shape.breaks.push_back({shape.size, was.substr(pending, pos + 1 - pending), false});
      joined = content.substr(1);
      text = true;
    }
    if (text) {
      if (!shape.in_place) shape.text += joined;
      shape.size += joined.size();
      if (!joined.empty()) shape.last = joined.back();
      if (text_lines++ > 0) {
        shape.longest_but_last = std::max(shape.longest_but_last, shape.last_length);
      }
      shape.last_length = content.size();
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
template <typename OldText>
std::optional<std::string> AtTheSameBreaks(std::string_view text, const Shape& shape,
                                           const OldText& old_text, bool qp) {
  const size_t head = HeadSize(text);
  const size_t old_head = HeadSize(old_text);
  std::string out;
  size_t pos = 0;
  for (const Break& b : shape.breaks) {
    // A line ending in "==" before blank lines reads as two soft breaks, the
    // second taking away the "=" before the first, which so stands past the
    // text's end: such breaks cannot be kept.
    if (b.at == 0 || b.at < pos || b.at > text.size()) return std::nullopt;
    bool splits = b.soft ? SoftSplits(text, head, b.at) : FoldSplits(text, b.at, qp);
    bool split = b.soft ? SoftSplits(old_text, old_head, b.at) : FoldSplits(old_text, b.at, qp);
    if (splits && !split) return std::nullopt;
    out.append(text.substr(pos, b.at - pos));
    if (b.soft) out += '=';
    out += b.bytes;
    pos = b.at;
  }
  out.append(text.substr(pos));
  std::vector<ContentLine> again = SplitContentLines(out, 0);
  if (again.size() != 1 || !again[0].is_property || !ReadAs(again[0], out, text)) {
    return std::nullopt;
  }
  return out;
}

// The form `shape` (read as `was`) was folded in; see Refold.
template <typename OldText>
FoldForm FormOf(const Shape& shape, const OldText& old_text, std::string_view was, bool qp) {
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

  const size_t head = HeadSize(old_text);
  auto gives_back = [&](const FoldForm& f) {
    SpellsOut out(was);
    FoldTextTo(old_text, head, qp, f, out);
    return out.Spelt();
  };
  if (form.soft) {
    FoldForm at_breaks = form;
    at_breaks.at_line_breaks = true;
    if (gives_back(at_breaks)) return at_breaks;
  }
  for (size_t width : {kMaxOctets, shape.longest_but_last}) {
    form.width = width;
    if (gives_back(form)) return form;
  }
  form.width = std::max(shape.longest_but_last, shape.last_length);
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
  // Serialize(line), read from its head and its value where they stand.
  const std::string head_text = SerializedHead(line);
  const size_t head = head_text.size();
  const std::vector<Break> at_value = {{head, std::string_view(line.value.data(), 0), false}};
  const JoinedText text(head_text.data(), at_value, head + line.value.size());
  const Shape shape = ShapeOf(was);
  FoldForm usual;
  usual.newline = newline;
  if (shape.breaks.empty()) {
    if (qp || was.size() > kMaxOctets || !folds) {
      AppendSlice(out, text, 0);
    } else {
      FoldTextTo(text, head, qp, usual, out);
    }
    return;
  }
  shape.Text([&](const auto& old_text) {
    // `was` is the line's own bytes: a line joined by folds alone reads as it.
    if (line.pristine ? !Spells(old_text, *line.pristine)
                      : !line.folded && !Spells(old_text, was)) {
      usual.soft = qp;
      if (qp || folds) {
        FoldTextTo(text, head, qp, usual, out);
      } else {
        AppendSlice(out, text, 0);
      }
      return;
    }
    if (text.size() == shape.size &&
        (folds || std::all_of(shape.breaks.begin(), shape.breaks.end(),
                              [](const Break& b) { return b.soft; }))) {
      std::string serialized;
      AppendSlice(serialized, text, 0);
      if (std::optional<std::string> same = AtTheSameBreaks(serialized, shape, old_text, qp)) {
        out += *same;
        return;
      }
    }
    const FoldForm form = FormOf(shape, old_text, was, qp);
    if (form.soft || folds) {
      FoldTextTo(text, head, qp, form, out);
    } else {
      AppendSlice(out, text, 0);
    }
  });
}

std::string Refold(const ContentLine& line, std::string_view was, const std::string& newline,
                   bool folds) {
  std::string out;
  RefoldTo(out, line, was, newline, folds);
  return out;
}

}  // namespace tidewell::formats
