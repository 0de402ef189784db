#include "adapters/logbook/journal_reader.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/failure.h"
#include "text/utf8.h"

namespace tidewell {

namespace {

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
    switch (line[at]) {
      case '"':
        text += '"';
        break;
      case '\\':
        text += '\\';
        break;
      case '/':
        text += '/';
        break;
      case 'b':
        text += '\b';
        break;
      case 'f':
        text += '\f';
        break;
      case 'n':
        text += '\n';
        break;
      case 'r':
        text += '\r';
        break;
      case 't':
        text += '\t';
        break;
      default:
        return false;
    }
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
  out.undo = false;
  out.run.clear();
  out.written.reset();
  out.undoes.clear();
  out.line.clear();
  out.number.reset();
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

// ReadJournal of the bytes of `in` from `base` up to `limit` (an offset, as
// `base` is): a line that runs past it is cut there, as if the bytes ended.
JournalContents ReadJournalUpTo(std::istream& in, uint64_t base, uint64_t limit,
                                const std::string& only_run) {
  uint64_t at = base;
  std::string line;
  return GroupJournalLines([&](JournalLine& next) {
    while (at < limit && std::getline(in, line)) {
      bool ended = !in.eof();
      if (line.size() >= limit - at) {
        // Its break, if any, is past the limit.
        line.resize(static_cast<size_t>(limit - at));
        ended = false;
      }
      next.start = at;
      at += line.size() + (ended ? 1 : 0);
      next.end = at;
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
    return false;
  });
}

}  // namespace

JournalContents ReadJournal(std::istream& in, uint64_t base, const std::string& only_run) {
  return ReadJournalUpTo(in, base, UINT64_MAX, only_run);
}

JournalContents ReadJournalFile(const std::filesystem::path& path, uint64_t start, uint64_t end,
                                const std::string& only_run) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    const int error = errno;
    if (error == ENOENT) return {};
    throw Failure("Cannot read '" + path.string() + "': " + std::strerror(error));
  }
  if (start > 0) in.seekg(static_cast<std::streamoff>(start));
  // Only the bytes asked for: the rest of the history is never read, and a
  // run's range is read a line at a time, never whole.
  return ReadJournalUpTo(in, start, end == 0 ? UINT64_MAX : std::max(end, start), only_run);
}

}  // namespace tidewell
