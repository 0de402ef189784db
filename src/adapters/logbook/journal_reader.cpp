#include "adapters/logbook/journal_reader.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/failure.h"
#include "text/utf8.h"

namespace tidewell {

namespace {

// The character a JSON escape's letter stands for ("n" for a line feed);
// '\0' for any other ("u" among them: such a line is left to the JSON parser).
char Unescaped(char letter) {
  switch (letter) {
    case '"':
    case '\\':
    case '/':
      return letter;
    case 'b':
      return '\b';
    case 'f':
      return '\f';
    case 'n':
      return '\n';
    case 'r':
      return '\r';
    case 't':
      return '\t';
    default:
      return '\0';
  }
}

// Each member the fast reader below keeps, by its bit in its `seen`.
constexpr std::array<std::string_view, 10> kOwnKeys = {
    "time", "source", "procedure", "message", "undo", "run", "new", "undoes", "line", "n"};

// Reads the string that begins at `at` into `text` and moves `at` past it;
// false when it is not one the fast reader knows.
bool ReadOwnString(const std::string& line, size_t& at, std::string& text) {
  if (at >= line.size() || line[at] != '"') return false;
  text.clear();
  for (++at; at < line.size(); ++at) {
    const char c = line[at];
    if (c == '"') {
      ++at;
      return true;
    }
    if (static_cast<unsigned char>(c) < 0x20) return false;
    if (c != '\\') {
      // The plain run up to the next quote, escape or control byte at once.
      size_t stop = at + 1;
      while (stop < line.size() && line[stop] != '"' && line[stop] != '\\' &&
             static_cast<unsigned char>(line[stop]) >= 0x20) {
        ++stop;
      }
      text.append(line, at, stop - at);
      at = stop - 1;
      continue;
    }
    if (++at >= line.size()) return false;
    const char unescaped = Unescaped(line[at]);
    if (unescaped == '\0') return false;
    text += unescaped;
  }
  return false;
}

// Where member `known` (its place in kOwnKeys) goes in `record` when it is a
// string; nullptr for "undo" and "n", which are not, and for another member.
std::string* OwnText(size_t known, JournalRecord& record) {
  switch (known) {
    case 0:
      return &record.time;
    case 1:
      return &record.source;
    case 2:
      return &record.procedure;
    case 3:
      return &record.message;
    case 5:
      return &record.run;
    case 6:
      return &record.written.emplace();
    case 7:
      return &record.undoes;
    case 8:
      return &record.line;
    default:
      return nullptr;
  }
}

// The key that begins at `at`, as it stands in the line, and `at` moved past
// it; nothing for a key with an escape or a control byte, which no member of
// the logbook's own has.
std::optional<std::string_view> ReadOwnKey(const std::string& line, size_t& at) {
  if (at >= line.size() || line[at] != '"') return std::nullopt;
  for (size_t end = at + 1; end < line.size(); ++end) {
    const char c = line[end];
    if (c == '"') {
      const std::string_view key(line.data() + at + 1, end - at - 1);
      at = end + 1;
      return key;
    }
    if (c == '\\' || static_cast<unsigned char>(c) < 0x20) return std::nullopt;
  }
  return std::nullopt;
}

// The members a line of the logbook's own may leave out, as none of them.
void ClearOwnMembers(JournalRecord& out) {
  out.undo = false;
  out.run.clear();
  out.written.reset();
  out.undoes.clear();
  out.line.clear();
  out.number.reset();
  out.line_at.reset();
}

// The logbook's own lines are flat objects of strings and booleans with no
// blanks between tokens. Reading them by hand costs a fraction of building a
// json object for each, which was most of a rebuild of the index from a long
// history; the strings are read straight into `out`, whose room a reader
// reuses from line to line. Anything else (a \u escape, a number, a blank, a
// key twice, bytes that are not UTF-8, a line cut short) is left to the full
// parser: nullopt, with `out` left in any state.
std::optional<JournalLine::Kind> ParseOwnLine(const std::string& line, JournalRecord& out) {
  if (line.size() < 2 || line.front() != '{' || line.back() != '}' || !IsValidUtf8(line)) {
    return std::nullopt;
  }
  constexpr unsigned kRequired = 0x1F;  // time to undo
  unsigned seen = 0;
  ClearOwnMembers(out);
  std::string other;  // the value of a member the reader does not keep
  size_t at = 1;
  while (true) {
    const std::optional<std::string_view> key = ReadOwnKey(line, at);
    if (!key || at >= line.size() || line[at] != ':') return std::nullopt;
    ++at;
    const size_t known =
        static_cast<size_t>(std::find(kOwnKeys.begin(), kOwnKeys.end(), *key) - kOwnKeys.begin());
    const unsigned bit = known < kOwnKeys.size() ? 1u << known : 0;
    if ((seen & bit) != 0) return std::nullopt;  // a key twice: the full parser decides
    const bool is_undo = *key == "undo";
    if (*key == "n" && at < line.size() && line[at] >= '1' && line[at] <= '9') {
      // A run's line count: digits only, as the logbook writes it.
      uint64_t number = 0;
      size_t digits = 0;
      for (; at < line.size() && line[at] >= '0' && line[at] <= '9'; ++at, ++digits) {
        number = number * 10 + static_cast<uint64_t>(line[at] - '0');
      }
      if (digits > 18) return std::nullopt;
      seen |= bit;
      out.number = number;
    } else if (line.compare(at, 4, "true") == 0 || line.compare(at, 5, "false") == 0) {
      const bool flag = line[at] == 't';
      at += flag ? 4 : 5;
      // A member of another type than its own counts as absent, as below.
      if (is_undo) {
        seen |= bit;
        out.undo = flag;
      }
    } else {
      std::string* text = is_undo || *key == "n" ? nullptr : OwnText(known, out);
      if (!ReadOwnString(line, at, text != nullptr ? *text : other)) return std::nullopt;
      if (text != nullptr) seen |= bit;
    }
    if (at >= line.size()) return std::nullopt;
    if (line[at] == '}') break;
    if (line[at] != ',') return std::nullopt;
    ++at;
  }
  if (at + 1 != line.size()) return std::nullopt;
  if ((seen & kRequired) != kRequired) return JournalLine::Kind::kMalformed;
  return JournalLine::Kind::kRecord;
}

JournalLine::Kind ParseRecord(const std::string& line, JournalRecord& out) {
  if (const std::optional<JournalLine::Kind> kind = ParseOwnLine(line, out)) return *kind;
  const auto json = nlohmann::json::parse(line, nullptr, /*allow_exceptions=*/false);
  if (json.is_discarded()) return JournalLine::Kind::kTorn;
  if (!json.is_object()) return JournalLine::Kind::kMalformed;
  auto text = [&](const char* key) -> const std::string* {
    auto found = json.find(key);
    return found != json.end() && found->is_string() ? found->get_ptr<const std::string*>()
                                                     : nullptr;
  };
  const std::string* time = text("time");
  const std::string* source = text("source");
  const std::string* procedure = text("procedure");
  const std::string* message = text("message");
  auto undo = json.find("undo");
  if (!time || !source || !procedure || !message || undo == json.end() || !undo->is_boolean()) {
    return JournalLine::Kind::kMalformed;
  }
  out = JournalRecord{*time, *source,      *procedure, *message, undo->get<bool>(),
                      "",    std::nullopt, "",         "",       std::nullopt};
  if (const std::string* run = text("run")) out.run = *run;
  if (const std::string* written = text("new")) out.written = *written;
  if (const std::string* undoes = text("undoes")) out.undoes = *undoes;
  if (const std::string* raw = text("line")) out.line = *raw;
  if (auto line_number = json.find("n");
      line_number != json.end() && line_number->is_number_unsigned()) {
    out.number = line_number->get<uint64_t>();
  }
  return JournalLine::Kind::kRecord;
}

}  // namespace

namespace {

// A line longer than this is parsed as it is read, never held whole: an undo
// record of a large field holds its old and new values and its line.
constexpr size_t kLongLine = size_t{1} << 20;

// The bytes of a stream from where it stands, up to `room` of them, read a
// chunk at a time; a seekable stream can be read again from an earlier offset.
class JournalBytes {
 public:
  enum class Line { kNone, kEnded, kCut, kLong };

  JournalBytes(std::istream& in, uint64_t room)
      : in_(*in.rdbuf()), origin_(in_.pubseekoff(0, std::ios::cur, std::ios::in)), room_(room) {}

  bool Seekable() const { return origin_ != std::streampos(std::streamoff(-1)); }
  // Counted from where the stream stood.
  uint64_t Offset() const { return offset_; }
  void Seek(uint64_t offset) {
    in_.pubseekpos(origin_ + static_cast<std::streamoff>(offset), std::ios::in);
    offset_ = offset;
    begin_ = end_ = 0;
  }

  // The next byte, -1 after the last.
  int Peek() { return begin_ < end_ || Fill() ? static_cast<unsigned char>(chunk_[begin_]) : -1; }
  void Skip() {
    ++begin_;
    ++offset_;
  }
  // Takes "true" or "false", whichever the next byte begins.
  bool TakeWord(std::string_view word) {
    for (const char c : word) {
      if (Peek() != static_cast<unsigned char>(c)) return false;
      Skip();
    }
    return true;
  }

  // Reads into `line` the bytes before the next line break and moves past it
  // (kEnded), or up to the last byte (kCut; kNone: there was none), or stops
  // once `line` holds more than `most` bytes with no break yet (kLong).
  Line ReadLine(std::string& line, size_t most) {
    line.clear();
    while (begin_ < end_ || Fill()) {
      const char* from = chunk_.data() + begin_;
      const size_t size = end_ - begin_;
      const auto* brk = static_cast<const char*>(std::memchr(from, '\n', size));
      const size_t take = brk != nullptr ? static_cast<size_t>(brk - from) : size;
      line.append(from, take);
      begin_ += take;
      offset_ += take;
      if (brk != nullptr) {
        Skip();
        return Line::kEnded;
      }
      if (line.size() > most) return Line::kLong;
    }
    return line.empty() ? Line::kNone : Line::kCut;
  }

  // Appends to `out` the bytes before the next quote, backslash or control
  // byte.
  void TakePlain(std::string& out) {
    while (begin_ < end_ || Fill()) {
      size_t stop = begin_;
      while (stop < end_ && chunk_[stop] != '"' && chunk_[stop] != '\\' &&
             static_cast<unsigned char>(chunk_[stop]) >= 0x20) {
        ++stop;
      }
      out.append(chunk_.data() + begin_, stop - begin_);
      offset_ += stop - begin_;
      begin_ = stop;
      if (stop < end_) return;
    }
  }

 private:
  bool Fill() {
    if (offset_ >= room_) return false;
    const uint64_t want = std::min<uint64_t>(chunk_.size(), room_ - offset_);
    const std::streamsize got = in_.sgetn(chunk_.data(), static_cast<std::streamsize>(want));
    begin_ = 0;
    end_ = got > 0 ? static_cast<size_t>(got) : 0;
    return end_ > 0;
  }

  std::streambuf& in_;
  std::streampos origin_;
  uint64_t room_;
  uint64_t offset_ = 0;
  std::vector<char> chunk_ = std::vector<char>(size_t{64} << 10);
  size_t begin_ = 0;
  size_t end_ = 0;
};

// ReadOwnString of the string `bytes` stand at; its bytes must be UTF-8.
bool ReadStreamedString(JournalBytes& bytes, std::string& text) {
  if (bytes.Peek() != '"') return false;
  bytes.Skip();
  text.clear();
  while (true) {
    bytes.TakePlain(text);
    const int c = bytes.Peek();
    if (c == '"') {
      bytes.Skip();
      // An escape writes ASCII only, so the text is UTF-8 when its bytes were.
      return IsValidUtf8(text);
    }
    if (c != '\\') return false;
    bytes.Skip();
    const char unescaped = Unescaped(static_cast<char>(bytes.Peek()));
    if (unescaped == '\0') return false;
    text += unescaped;
    bytes.Skip();
  }
}

// ReadOwnKey of the key `bytes` stand at.
bool ReadStreamedKey(JournalBytes& bytes, std::string& key) {
  if (bytes.Peek() != '"') return false;
  bytes.Skip();
  key.clear();
  while (true) {
    const int c = bytes.Peek();
    if (c < 0x20 || c == '\\') return false;
    bytes.Skip();
    if (c == '"') return IsValidUtf8(key);
    key += static_cast<char>(c);
  }
}

// ParseOwnLine of the line `bytes` stand at, read as it goes by: the same
// result, and `bytes` past its closing brace (before its line break).
// Without `values`, "new" and "line" are read past, not kept. With `place`,
// a "line" past kLongLine is left where it stands (`line_at`, its offset
// counted as `bytes` count).
std::optional<JournalLine::Kind> ParseOwnStream(JournalBytes& bytes, JournalRecord& out,
                                                bool values, bool place) {
  if (bytes.Peek() != '{') return std::nullopt;
  bytes.Skip();
  constexpr unsigned kRequired = 0x1F;  // time to undo
  unsigned seen = 0;
  ClearOwnMembers(out);
  std::string key;
  std::string other;
  while (true) {
    if (!ReadStreamedKey(bytes, key) || bytes.Peek() != ':') return std::nullopt;
    bytes.Skip();
    const size_t known =
        static_cast<size_t>(std::find(kOwnKeys.begin(), kOwnKeys.end(), key) - kOwnKeys.begin());
    const unsigned bit = known < kOwnKeys.size() ? 1u << known : 0;
    if ((seen & bit) != 0) return std::nullopt;
    const bool is_undo = key == "undo";
    const int first = bytes.Peek();
    if (key == "n" && first >= '1' && first <= '9') {
      uint64_t number = 0;
      size_t digits = 0;
      for (int c = first; c >= '0' && c <= '9'; c = bytes.Peek(), ++digits) {
        number = number * 10 + static_cast<uint64_t>(c - '0');
        bytes.Skip();
      }
      if (digits > 18) return std::nullopt;
      seen |= bit;
      out.number = number;
    } else if (first == 't' || first == 'f') {
      if (!bytes.TakeWord(first == 't' ? "true" : "false")) return std::nullopt;
      if (is_undo) {
        seen |= bit;
        out.undo = first == 't';
      }
    } else {
      const bool dropped = !values && (key == "new" || key == "line");
      std::string* text = is_undo || key == "n" || dropped ? nullptr : OwnText(known, out);
      const uint64_t at = bytes.Offset();
      if (!ReadStreamedString(bytes, text != nullptr ? *text : other)) return std::nullopt;
      if (text != nullptr || dropped) seen |= bit;
      if (place && text == &out.line && out.line.size() > kLongLine) {
        // The undo reads it again when it restores it (ReadPlaced).
        out.line_at = JournalPlace{at, out.line.size(), Digest(out.line)};
        std::string().swap(out.line);
      }
    }
    const int c = bytes.Peek();
    if (c == '}') break;
    if (c != ',') return std::nullopt;
    bytes.Skip();
  }
  bytes.Skip();
  if (const int c = bytes.Peek(); c != -1 && c != '\n') return std::nullopt;
  if ((seen & kRequired) != kRequired) return JournalLine::Kind::kMalformed;
  return JournalLine::Kind::kRecord;
}

// An undo record's or a restored value's message without its value.
void DropValue(std::string& message) {
  for (const std::string_view head :
       {std::string_view("FieldValue: "), std::string_view(kUndoRestoredValue)}) {
    if (message.starts_with(head)) {
      message.resize(head.size());
      message.shrink_to_fit();
    }
  }
}

// ReadJournal of the bytes of `in` from `base` up to `limit` (an offset, as
// `base` is): a line that runs past it is cut there, as if the bytes ended.
// With `place`, long lines are left in the file (ParseOwnStream).
JournalContents ReadJournalUpTo(std::istream& in, uint64_t base, uint64_t limit,
                                const std::string& only_run, bool values, bool place) {
  JournalBytes bytes(in, limit - base);
  // A stream that cannot be read again holds each line whole.
  const size_t longest = bytes.Seekable() ? kLongLine : std::string().max_size();
  std::string line;
  return GroupJournalLines([&](JournalLine& next) {
    while (true) {
      const uint64_t start = bytes.Offset();
      JournalBytes::Line read = bytes.ReadLine(line, longest);
      if (read == JournalBytes::Line::kNone) return false;
      if (read == JournalBytes::Line::kLong) {
        std::string().swap(line);
        bytes.Seek(start);
        const std::optional<JournalLine::Kind> kind =
            ParseOwnStream(bytes, next.record, values, place);
        if (next.record.line_at) next.record.line_at->offset += base;
        // A line of another run, or of none, is left to the whole line's
        // test below, as is anything else.
        if (kind && (only_run.empty() ||
                     (*kind == JournalLine::Kind::kRecord && !next.record.run.empty()))) {
          if (bytes.Peek() == '\n') bytes.Skip();
          if (!values) DropValue(next.record.message);
          next.kind = *kind;
          next.start = base + start;
          next.end = base + bytes.Offset();
          if (only_run.empty() || next.record.run == only_run) return true;
          continue;
        }
        bytes.Seek(start);
        read = bytes.ReadLine(line, std::string().max_size());
      }
      next.start = base + start;
      next.end = base + bytes.Offset();
      // A cheap look before the parse: most lines of a history are other runs'.
      // Older lines name no run: they are kept and grouped by their neighbours.
      if (!only_run.empty() && line.find(only_run) == std::string::npos &&
          line.find("\"run\":") != std::string::npos) {
        continue;
      }
      next.kind = ParseRecord(line, next.record);
      switch (next.kind) {
        case JournalLine::Kind::kRecord:
          if (only_run.empty() || next.record.run.empty() || next.record.run == only_run) {
            return true;
          }
          break;
        case JournalLine::Kind::kTorn:
          if (!line.empty()) return true;
          break;
        case JournalLine::Kind::kMalformed:
          return true;
      }
    }
  });
}

}  // namespace

JournalContents ReadJournal(std::istream& in, uint64_t base, const std::string& only_run) {
  return ReadJournalUpTo(in, base, UINT64_MAX, only_run, true, false);
}

namespace {

// The text a JournalPlace of `in` stands for, or Failure naming `path`.
std::string ReadPlaced(std::istream& in, const std::filesystem::path& path,
                       const JournalPlace& place) {
  in.clear();
  in.rdbuf()->pubseekpos(static_cast<std::streamoff>(place.offset), std::ios::in);
  JournalBytes bytes(in, UINT64_MAX);
  // Sized once, with some room after it: a restored line becomes its file
  // in its own string (LineOfToken), with the rest of a card around it.
  std::string text;
  text.reserve(place.size + (size_t{64} << 10));
  if (!ReadStreamedString(bytes, text) || text.size() != place.size ||
      Digest(text) != place.digest) {
    throw Failure("The journal '" + path.string() + "' no longer holds the line read at byte " +
                  std::to_string(place.offset) + ".");
  }
  return text;
}

}  // namespace

JournalContents ReadJournalFile(const std::filesystem::path& path, uint64_t start, uint64_t end,
                                const std::string& only_run, bool values) {
  // Kept open by what the runs read again: a renamed journal reads the same.
  auto file = std::make_shared<std::ifstream>(path, std::ios::binary);
  std::ifstream& in = *file;
  if (!in) {
    const int error = errno;
    if (error == ENOENT) return {};
    throw Failure("Cannot read '" + path.string() + "': " + std::strerror(error));
  }
  if (start > 0) in.seekg(static_cast<std::streamoff>(start));
  // Only the bytes asked for: the rest of the history is never read, and a
  // run's range is read a line at a time, never whole.
  JournalContents contents = ReadJournalUpTo(
      in, start, end == 0 ? UINT64_MAX : std::max(end, start), only_run, values, values);
  for (JournalRun& run : contents.runs) {
    if (std::none_of(run.entries.begin(), run.entries.end(),
                     [](const JournalEntry& entry) { return entry.line_at.has_value(); })) {
      continue;
    }
    run.read_again = [file, path](const JournalPlace& place) {
      return ReadPlaced(*file, path, place);
    };
  }
  return contents;
}

}  // namespace tidewell
