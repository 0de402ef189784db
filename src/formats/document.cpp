#include "formats/document.h"

#include <algorithm>
#include <cstdio>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/failure.h"
#include "text/charsets.h"
#include "text/utf8.h"

namespace tidewell::formats {
namespace {

// Text files hold no control characters but tab, line breaks, form feed and
// escape (ISO-2022 character sets use it).
bool IsBinaryByte(unsigned char c) {
  return (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != 0x1B) || c == 0x7F;
}

bool IsBlank(const ContentLine& line, const std::string& bytes) {
  for (size_t i = line.begin; i < line.end; ++i) {
    char c = bytes[i];
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
  }
  return true;
}

// Where the first binary byte from `from` on may be: a lower bound that skips
// whole blocks of text. Every file is scanned, so this runs on every byte a
// run reads.
size_t SkipText(std::string_view bytes, size_t from) {
#if defined(__SSE2__)
  const __m128i below_blank = _mm_set1_epi8(0x1F);
  const __m128i allowed[] = {_mm_set1_epi8('\t'), _mm_set1_epi8('\n'), _mm_set1_epi8('\r'),
                             _mm_set1_epi8('\f'), _mm_set1_epi8(0x1B)};
  const __m128i del = _mm_set1_epi8(0x7F);
  for (; from + 16 <= bytes.size(); from += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + from));
    // Unsigned v <= 0x1F: the minimum of the two is v itself.
    __m128i bad = _mm_cmpeq_epi8(_mm_min_epu8(v, below_blank), v);
    for (const __m128i& a : allowed) bad = _mm_andnot_si128(_mm_cmpeq_epi8(v, a), bad);
    bad = _mm_or_si128(bad, _mm_cmpeq_epi8(v, del));
    if (_mm_movemask_epi8(bad) != 0) break;
  }
#endif
  return from;
}

// Whether the physical lines of `physical`, joined by folds alone, spell
// `head` then `value`. False for a blank line among them or a last line
// break, which a parse reads as lines of their own.
bool FoldsInto(std::string_view physical, std::string_view head, std::string_view value) {
  std::string_view parts[] = {head, value};
  size_t at = 0;
  const auto take = [&](std::string_view piece) {
    while (!piece.empty()) {
      while (at < 2 && parts[at].empty()) ++at;
      if (at == 2) return false;
      const size_t n = std::min(parts[at].size(), piece.size());
      if (parts[at].substr(0, n) != piece.substr(0, n)) return false;
      parts[at].remove_prefix(n);
      piece.remove_prefix(n);
    }
    return true;
  };
  if (physical.empty() || physical.back() == '\n' || physical.back() == '\r') return false;
  for (size_t pos = 0;;) {
    const size_t nl = physical.find('\n', pos);
    size_t content_end = nl == std::string_view::npos ? physical.size() : nl;
    while (content_end > pos && physical[content_end - 1] == '\r') --content_end;
    std::string_view content = physical.substr(pos, content_end - pos);
    if (pos != 0) {
      if (content.empty() || (content[0] != ' ' && content[0] != '\t')) return false;
      content.remove_prefix(1);
    }
    if (!take(content)) return false;
    if (nl == std::string_view::npos) break;
    pos = nl + 1;
  }
  return parts[0].empty() && parts[1].empty();
}

// RestoresAsRead for a line that `physical` spells, folds aside: only the
// head is parsed, since the value it would give is the line's own, of up to
// tens of MB. Nothing when that does not settle it.
std::optional<bool> RestoresAsSpelt(const ContentLine& line, std::string_view physical,
                                    Dialect dialect) {
  const std::string head = SerializedHead(line);
  // A quoted-printable head would join soft breaks too.
  if (line.pristine || HeadSaysQuotedPrintable(head) || IsQuotedPrintable(line) ||
      !IsUtf8Name(line.charset)) {
    return std::nullopt;
  }
  std::vector<ContentLine> parsed = SplitContentLines(head, 0);
  if (parsed.size() != 1 || !parsed[0].is_property || !parsed[0].value.empty() ||
      !FoldsInto(physical, head, line.value)) {
    return std::nullopt;
  }
  // The parse of `physical` differs from `parsed` only in its value, the
  // line's own, and in the character set read off that value.
  ContentLine& was = parsed[0];
  if (was.FindParam("CHARSET") == nullptr) {
    was.charset = IsValidUtf8(line.value) ? "UTF-8" : "WINDOWS-1252";
  }
  if (!IsUtf8Name(was.charset)) return std::nullopt;
  ContentLine now;
  now.is_property = true;
  now.group = line.group;
  now.name = line.name;
  now.upper_name = line.upper_name;
  now.params = line.params;
  now.charset = line.charset;
  // Equal values, neither quoted-printable, both UTF-8: the rest decides.
  return ReadsAlike(now, was, dialect);
}

// Whether `line` reads as `physical` does, which can then stand in its place:
// a line that would run on into the next one (a last soft break) cannot.
bool RestoresAsRead(const ContentLine& line, const std::string& physical, bool v21) {
  const Dialect dialect = v21 ? Dialect::kVCard21 : Dialect::kVCard3;
  if (const std::optional<bool> spelt = RestoresAsSpelt(line, physical, dialect)) return *spelt;
  // Read as it would be with a line after it. One property line that ends
  // in no line break and no "=" (no soft break) reads so as it is, without
  // a copy of a long text to append that line to.
  if (!physical.empty() && physical.back() != '\n' && physical.back() != '\r') {
    const std::vector<ContentLine> alone = SplitContentLines(physical, 0);
    if (alone.size() == 1 && alone[0].is_property && !alone[0].value.ends_with('=')) {
      return ReadsAlike(line, alone[0], dialect);
    }
  }
  const std::vector<ContentLine> was = SplitContentLines(physical + "\nX:", 0);
  return was.size() == 2 && ReadsAlike(line, was[0], dialect);
}

}  // namespace

Document::Document(std::string bytes) : bytes_(std::move(bytes)) {
  for (size_t i = SkipText(bytes_, 0); i < bytes_.size(); ++i) {
    auto c = static_cast<unsigned char>(bytes_[i]);
    if (IsBinaryByte(c)) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "0x%02X", c);
      throw Failure("it holds binary data (byte " + std::string(hex) + " at offset " +
                    std::to_string(i) + ").");
    }
  }
  size_t start = bytes_.starts_with("\xEF\xBB\xBF") ? 3 : 0;
  lines_ = SplitContentLines(bytes_, start);

  newline_ = "\r\n";
  for (const ContentLine& line : lines_) {
    if (!line.terminator.empty()) {
      newline_ = line.terminator;
      break;
    }
  }

  std::vector<size_t> open;
  for (size_t i = 0; i < lines_.size(); ++i) {
    const ContentLine& line = lines_[i];
    if (!line.is_property) {
      if (!open.empty() && !IsBlank(line, bytes_)) {
        throw Failure("line " + std::to_string(line.line_number) + " is not a content line.");
      }
      continue;
    }
    const std::string_view property = line.upper_name;
    if (property == "BEGIN") {
      Component c;
      c.name = ToUpper(Trim(line.value));
      c.begin_line = i;
      size_t index = components_.size();
      if (open.empty()) {
        top_level_.push_back(index);
      } else {
        components_[open.back()].children.push_back(index);
      }
      components_.push_back(std::move(c));
      open.push_back(index);
    } else if (property == "END") {
      std::string name = ToUpper(Trim(line.value));
      if (open.empty() || components_[open.back()].name != name) {
        throw Failure("END:" + Excerpt(name) + " on line " + std::to_string(line.line_number) +
                      " closes no BEGIN:" + Excerpt(name) + ".");
      }
      open.pop_back();
    } else if (!open.empty()) {
      components_[open.back()].properties.push_back(i);
    }
  }
  if (!open.empty()) {
    const Component& c = components_[open.back()];
    throw Failure("BEGIN:" + Excerpt(c.name) + " on line " +
                  std::to_string(lines_[c.begin_line].line_number) + " is never closed.");
  }
  for (const Component& c : components_) {
    if (c.name != "VCARD") continue;
    bool v21 = false;
    for (size_t i : c.properties) {
      v21 = v21 || (lines_[i].upper_name == "VERSION" && Trim(lines_[i].value) == "2.1");
    }
    if (!v21) continue;
    if (unfolded_.empty()) unfolded_.resize(lines_.size());
    for (size_t i : c.properties) unfolded_[i] = true;
  }
}

bool Document::Changed() const {
  for (const ContentLine& line : lines_) {
    if (line.is_property && !SerializesAsRead(line, bytes_)) return true;
  }
  return false;
}

std::string Document::Render() const {
  std::string out;
  out.reserve(bytes_.size() + 256);
  size_t pos = 0;
  RenderLines(out, 0, lines_.size(), pos);
  out.append(bytes_, pos);
  return out;
}

size_t Document::RoomAround(size_t index) const {
  const ContentLine& line = lines_[index];
  // Some more for the stamp a save rewrites and a line grown by an edit.
  return bytes_.size() - (line.end - line.begin) + line.terminator.size() + 1024;
}

std::string Document::TakeRendered() {
  // The largest restore that Render would write: the file is built around
  // it, in its own room, rather than copied beside it. A short line is not
  // worth checking twice.
  constexpr size_t kLarge = size_t{64} << 10;
  std::map<size_t, std::string>::iterator taken = restores_.end();
  for (auto it = restores_.begin(); it != restores_.end(); ++it) {
    if (it->second.size() < kLarge) continue;
    const ContentLine& line = lines_[it->first];
    if ((taken == restores_.end() || it->second.size() > taken->second.size()) &&
        line.is_property && !SerializesAsRead(line, bytes_) &&
        RestoresAsRead(line, it->second, !unfolded_.empty() && unfolded_[it->first])) {
      taken = it;
    }
  }
  if (taken == restores_.end()) return Render();
  const size_t index = taken->first;
  std::string before;
  size_t pos = 0;
  RenderLines(before, 0, index, pos);
  before.append(bytes_, pos, lines_[index].begin - pos);
  std::string out = std::move(taken->second);
  restores_.erase(taken);
  out.insert(0, before);
  std::string().swap(before);
  out += lines_[index].terminator;
  pos = lines_[index].end;
  RenderLines(out, index + 1, lines_.size(), pos);
  out.append(bytes_, pos);
  return out;
}

void Document::RenderLines(std::string& out, size_t first, size_t last, size_t& pos) const {
  for (size_t index = first; index < last; ++index) {
    const ContentLine& line = lines_[index];
    if (!line.is_property || SerializesAsRead(line, bytes_)) continue;
    out.append(bytes_, pos, line.begin - pos);
    const size_t body_end = line.end - line.terminator.size();
    const bool folds = unfolded_.empty() || !unfolded_[index];
    const auto restore = restores_.find(index);
    if (restore != restores_.end() && RestoresAsRead(line, restore->second, !folds)) {
      out += restore->second;
    } else {
      RefoldTo(out, line, std::string_view(bytes_).substr(line.begin, body_end - line.begin),
               newline_, folds);
    }
    out += line.terminator;
    pos = line.end;
  }
}

}  // namespace tidewell::formats
