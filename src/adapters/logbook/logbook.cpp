#include "adapters/logbook/logbook.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include "platform/failure.h"
#include "text/utf8.h"

namespace tidewell {

namespace {

// A run logs a line for every item it checks, all within a few seconds, and
// gmtime_r and strftime cost more than the rest of the line: the text of the
// last whole second is kept and only the milliseconds are written anew.
// Appended in place: a log line is built around it, and a string of its own
// cost more than the formatting.
void AppendUtcNow(std::string& text) {
  using std::chrono::milliseconds;
  const auto since_epoch =
      std::chrono::duration_cast<milliseconds>(std::chrono::system_clock::now().time_since_epoch());
  const auto seconds = std::chrono::floor<std::chrono::seconds>(since_epoch);
  const time_t whole = static_cast<time_t>(seconds.count());
  const auto millis = static_cast<int>((since_epoch - seconds).count());
  struct Second {
    bool known = false;
    time_t whole = 0;
    char text[40] = {};
    size_t length = 0;
  };
  thread_local Second last;
  if (!last.known || last.whole != whole) {
    std::tm parts{};
    gmtime_r(&whole, &parts);
    last.length = std::strftime(last.text, sizeof last.text, "%Y-%m-%dT%H:%M:%S", &parts);
    last.whole = whole;
    last.known = true;
  }
  const char tail[] = {'.', static_cast<char>('0' + millis / 100),
                       static_cast<char>('0' + millis / 10 % 10),
                       static_cast<char>('0' + millis % 10), 'Z'};
  text.append(last.text, last.length);
  text.append(tail, sizeof tail);
}

std::string UtcNow() {
  std::string text;
  AppendUtcNow(text);
  return text;
}

// Replacing bad UTF-8 rather than throwing: a field value read from a damaged
// item must still reach the undo journal.
std::string Line(const nlohmann::ordered_json& record) {
  return record.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + '\n';
}

[[noreturn]] void Fail(const char* action, const std::filesystem::path& path, int error) {
  throw Failure(std::string("Cannot ") + action + " '" + path.string() +
                "': " + std::strerror(error));
}

class FileLogger : public ActivityLogger {
 public:
  explicit FileLogger(Logbook& logbook) : logbook_(logbook) {}
  void Write(const std::string& source, const std::string& procedure, const std::string& message,
             int32_t undo) override {
    logbook_.WriteActivity(source, procedure, message, undo != 0);
  }
  void WriteWith(const std::string& source, const std::string& procedure,
                 const std::string& message, int32_t undo, const std::string& key,
                 const std::string& value) override {
    logbook_.WriteActivityWith(source, procedure, message, undo != 0, key, value);
  }
  void WriteWithBoth(const std::string& source, const std::string& procedure,
                     const std::string& message, int32_t undo, const std::string& key,
                     const std::string& value, const std::string& key2,
                     const std::string& value2) override {
    logbook_.WriteActivityWith(source, procedure, message, undo != 0, key, value, key2, value2);
  }
  void WriteParts(const std::string& source, const std::string& procedure, std::string_view head,
                  std::string_view tail, int32_t undo, const std::string& key,
                  std::string_view value, const std::string& key2,
                  std::string_view value2) override {
    logbook_.WriteActivityParts(source, procedure, head, tail, undo != 0, key, value, key2, value2);
  }

 private:
  Logbook& logbook_;
};

}  // namespace

std::string MakeRunId() {
  using std::chrono::milliseconds;
  static long long last = 0;
  long long now =
      std::chrono::duration_cast<milliseconds>(std::chrono::system_clock::now().time_since_epoch())
          .count();
  if (now <= last) now = last + 1;
  last = now;
  const time_t whole = static_cast<time_t>(now / 1000);
  std::tm parts{};
  gmtime_r(&whole, &parts);
  char text[64];
  const size_t length = std::strftime(text, sizeof text, "%Y%m%dT%H%M%S", &parts);
  std::snprintf(text + length, sizeof text - length, ".%03dZ-%ld", static_cast<int>(now % 1000),
                static_cast<long>(::getpid()));
  return text;
}

std::filesystem::path Logbook::DefaultFolder() {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state != nullptr && state[0] == '/') return std::filesystem::path(state) / "Marrowby";
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home != nullptr ? home : "") / ".local" / "state" / "Marrowby";
}

Logbook::Logbook(std::filesystem::path folder)
    : folder_(std::move(folder)),
      activity_path_(folder_ / "activity.jsonl"),
      errors_path_(folder_ / "errors.jsonl") {}

Logbook::~Logbook() { CloseFiles(); }

void Logbook::SetRun(std::string id) {
  // A run that lost a line already told of it (Sync refuses, and each failed
  // write threw); only a first loss here is new.
  const bool told = !lost_.empty();
  try {
    Flush();
  } catch (const Failure& failure) {
    if (!told) {
      try {
        WriteError("Tidewell.WriteToLog", failure.Description(), false);
      } catch (const Failure&) {
        // Echoed already where there is an echo; the disk took neither.
      }
    }
  }
  run_ = std::move(id);
  lost_.clear();
  run_lines_ = 0;
}

void Logbook::CloseFiles() {
  try {
    Flush();
  } catch (const Failure&) {
    // Lost, as a line is whose write fails: lost_ says so to the next Sync.
  }
  if (activity_fd_ >= 0) ::close(activity_fd_);
  if (errors_fd_ >= 0) ::close(errors_fd_);
  activity_fd_ = errors_fd_ = -1;
}

std::unique_ptr<ActivityLogger> Logbook::CreateActivityLogger() {
  return std::make_unique<FileLogger>(*this);
}

int Logbook::Descriptor(int& fd, const std::filesystem::path& path) {
  if (fd >= 0) return fd;
  std::error_code error;
  std::filesystem::create_directories(folder_, error);
  if (error) {
    if (&fd == &activity_fd_) lost_ = std::strerror(error.value());
    Fail("create", folder_, error.value());
  }
  // 0600: undo records hold the old values of contacts' fields.
  const int opened = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (opened < 0) {
    const int reason = errno;
    if (&fd == &activity_fd_) lost_ = std::strerror(reason);
    Fail("open", path, reason);
  }
  fd = opened;
  return fd;
}

void Logbook::Append(int& fd, const std::filesystem::path& path, std::string_view line,
                     size_t* sent) {
  if (sent != nullptr) *sent = 0;
  const int out = Descriptor(fd, path);
  // After a failed write the file is opened afresh, so a log that was moved
  // away or replaced is found again at the next line.
  auto fail = [&](int error) {
    ::close(fd);
    fd = -1;
    if (&fd == &activity_fd_) lost_ = std::strerror(error);
    Fail("write to", path, error);
  };
  ssize_t written;
  do {
    written = ::write(out, line.data(), line.size());
  } while (written < 0 && errno == EINTR);
  if (written < 0) fail(errno);
  if (sent != nullptr) *sent = static_cast<size_t>(written);
  if (static_cast<size_t>(written) == line.size()) return;

  // A short write to a regular file means the disk or a quota is full; the
  // next write says which. Finish the line if the space came back, else end
  // the fragment so the next record starts on a line of its own.
  size_t done = static_cast<size_t>(written);
  while (done < line.size()) {
    written = ::write(out, line.data() + done, line.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      const int error = written < 0 ? errno : ENOSPC;
      [[maybe_unused]] const ssize_t ended = ::write(out, "\n", 1);
      fail(error);
    }
    done += static_cast<size_t>(written);
    if (sent != nullptr) *sent = done;
  }
}

void Logbook::AppendActivity(std::string line, bool undo) {
  constexpr size_t kHeldBytes = 64 * 1024;
  constexpr auto kHeldTime = std::chrono::milliseconds(100);
  const auto now = std::chrono::steady_clock::now();
  // One buffer of a fixed size, never grown: a line that would not fit
  // sends what is held first.
  if (held_.size() + line.size() > kHeldBytes) Flush();
  const bool hold = !undo && !run_.empty();
  if (line.size() <= kHeldBytes && (hold || !held_.empty())) {
    if (held_.empty()) {
      held_.reserve(kHeldBytes);
      held_since_ = now;
    }
    held_ += line;
    ++held_lines_;
    if (!hold || now - held_since_ >= kHeldTime) Flush();
    return;
  }
  Append(activity_fd_, ActivityPath(), line);
  ++(run_.empty() ? own_lines_ : run_lines_);
  unsynced_ = true;
}

void Logbook::Flush() {
  if (held_.empty()) return;
  const uint64_t count = std::exchange(held_lines_, 0);
  uint64_t& lines = run_.empty() ? own_lines_ : run_lines_;
  size_t sent = 0;
  try {
    Append(activity_fd_, ActivityPath(), held_, &sent);
  } catch (const Failure&) {
    // The lines that went out whole are records; the rest are not, and the
    // next line takes the first number after the whole ones.
    lines += static_cast<uint64_t>(
        std::count(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(sent), '\n'));
    held_.clear();
    throw;
  }
  held_.clear();
  lines += count;
  unsynced_ = true;
}

namespace {

// `text` as the inside of a JSON string, byte for byte as nlohmann's dump
// writes valid UTF-8. A run writes a line for every item it checks, and
// building a json object for each cost a tenth of a run that changes
// nothing. Each byte is escaped on its own, so a text may be escaped in
// slices cut anywhere.
void AppendJsonEscaped(std::string& out, std::string_view text) {
  // The runs between escapes go in whole: a log line is mostly such a run.
  size_t from = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    // Eight bytes at a time past those that need none (below a blank, '"'
    // and '\\' do).
    constexpr uint64_t kOnes = 0x0101010101010101, kHigh = 0x8080808080808080;
    for (uint64_t v = 0; i + 8 <= text.size(); i += 8) {
      std::memcpy(&v, text.data() + i, 8);
      const uint64_t quote = v ^ (kOnes * '"'), slash = v ^ (kOnes * '\\');
      if ((((v - kOnes * 0x20) & ~v) | ((quote - kOnes) & ~quote) | ((slash - kOnes) & ~slash)) &
          kHigh) {
        break;
      }
    }
    if (i >= text.size()) break;
    const auto u = static_cast<unsigned char>(text[i]);
    if (u >= 0x20 && u != '"' && u != '\\') continue;
    out.append(text.data() + from, i - from);
    from = i + 1;
    switch (u) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
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
      default: {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
        out += escaped;
      }
    }
  }
  out.append(text.data() + from, text.size() - from);
}

// A line past this size goes out in pieces of about this size, each escaped
// from slices of its values of kEscapeSlice bytes.
constexpr size_t kLinePiece = size_t{1} << 20;
constexpr size_t kEscapeSlice = size_t{64} << 10;

// The bytes `text` takes as a JSON string, quotes included: a line reserved to its size is
// never grown, which for a value of tens of MB would copy it and hold twice
// its room.
size_t JsonStringSize(std::string_view text) {
  size_t size = 2 + text.size();
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\' || c == '\b' || c == '\f' || c == '\n' || c == '\r' || c == '\t') {
      size += 1;
    } else if (u < 0x20) {
      size += 5;
    }
  }
  return size;
}

}  // namespace

const std::string& Logbook::Run() {
  if (!run_.empty()) return run_;
  if (own_run_.empty()) own_run_ = MakeRunId();
  return own_run_;
}

void Logbook::WriteActivity(const std::string& source, const std::string& procedure,
                            const std::string& message, bool undo) {
  WriteActivityWith(source, procedure, message, undo, "", "");
}

void Logbook::WriteActivityWith(const std::string& source, const std::string& procedure,
                                const std::string& message, bool undo, const std::string& key,
                                const std::string& value, const std::string& key2,
                                const std::string& value2) {
  WriteActivityParts(source, procedure, message, {}, undo, key, value, key2, value2);
}

void Logbook::WriteActivityParts(std::string_view source, std::string_view procedure,
                                 std::string_view head, std::string_view tail, bool undo,
                                 std::string_view key, std::string_view value,
                                 std::string_view key2, std::string_view value2) {
  if (writes_nothing_) return;
  const std::string& run = Run();
  // Counted only once written whole: a line cut short is no record, and the
  // next one takes its number.
  uint64_t& lines = run_.empty() ? own_lines_ : run_lines_;
  if (IsValidUtf8(source) && IsValidUtf8(procedure) && IsValidUtf8(head) && IsValidUtf8(tail) &&
      IsValidUtf8(value) && IsValidUtf8(value2)) {
    const bool second = !key2.empty() && !value2.empty();
    // No byte escapes to more than six: a line whose parts are short is
    // told small without counting its escapes.
    const size_t raw = source.size() + procedure.size() + head.size() + tail.size() + key.size() +
                       value.size() + (second ? key2.size() + value2.size() : 0) + run.size();
    const size_t size = raw < kLinePiece / 8
                            ? raw + 18 + 128
                            : JsonStringSize(source) + JsonStringSize(procedure) +
                                  JsonStringSize(head) + JsonStringSize(tail) +
                                  JsonStringSize(key) + JsonStringSize(value) +
                                  (second ? JsonStringSize(key2) : 0) +
                                  (second ? JsonStringSize(value2) : 0) + JsonStringSize(run) + 128;
    // A line of tens of MB (an undo record of a large field) is never built
    // whole: it goes out in pieces of about kLinePiece bytes, after the lines
    // held before it. Any other joins them (AppendActivity).
    const bool large = size >= kLinePiece;
    if (large) Flush();
    std::string line;
    line.reserve(std::min(size, kLinePiece + kEscapeSlice * 6));
    line += std::string_view("{\"time\":\"");
    AppendUtcNow(line);
    line += std::string_view("\",\"source\":");
    bool partly = false;
    const auto flush = [&] {
      if (!large || line.size() < kLinePiece) return;
      Append(activity_fd_, ActivityPath(), line);
      line.clear();
      partly = true;
    };
    const auto text = [&](std::string_view part) {
      for (size_t at = 0; at < part.size(); at += kEscapeSlice) {
        AppendJsonEscaped(line, part.substr(at, kEscapeSlice));
        flush();
      }
    };
    const auto quoted = [&](std::string_view part) {
      line += '"';
      text(part);
      line += '"';
    };
    try {
      quoted(source);
      line += std::string_view(",\"procedure\":");
      quoted(procedure);
      line += std::string_view(",\"message\":\"");
      text(head);
      text(tail);
      line += undo ? std::string_view("\",\"undo\":true") : std::string_view("\",\"undo\":false");
      if (!key.empty()) {
        line += ',';
        quoted(key);
        line += ':';
        quoted(value);
      }
      if (second) {
        line += ',';
        quoted(key2);
        line += ':';
        quoted(value2);
      }
      line += std::string_view(",\"run\":");
      quoted(run);
      line += std::string_view(",\"n\":");
      line += std::to_string(lines + held_lines_ + 1);
      line += std::string_view("}\n");
      if (large) {
        Append(activity_fd_, ActivityPath(), line);
      } else {
        AppendActivity(std::move(line), undo);
      }
    } catch (const Failure&) {
      // A piece already written makes the line a fragment: end it, so that
      // the next record starts a line of its own.
      if (partly) {
        try {
          Append(activity_fd_, ActivityPath(), "\n");
        } catch (const Failure&) {
        }
      }
      throw;
    }
    if (large) {
      ++lines;
      unsynced_ = true;
    }
    return;
  }
  nlohmann::ordered_json record;
  record["time"] = UtcNow();
  record["source"] = std::string(source);
  record["procedure"] = std::string(procedure);
  record["message"] = std::string(head) + std::string(tail);
  record["undo"] = undo;
  if (!key.empty()) record[std::string(key)] = std::string(value);
  if (!key2.empty() && !value2.empty()) record[std::string(key2)] = std::string(value2);
  record["run"] = run;
  record["n"] = lines + held_lines_ + 1;
  AppendActivity(Line(record), undo);
}

void Logbook::WriteError(const std::string& procedure, const std::string& message, bool flag) {
  if (echo_ != nullptr) {
    if (echo_heading_) {
      if (const std::string heading = echo_heading_(); !heading.empty()) *echo_ << heading << '\n';
    }
    *echo_ << procedure << ": " << message << std::endl;
  }
  if (writes_nothing_) return;
  nlohmann::ordered_json record;
  record["time"] = UtcNow();
  record["procedure"] = procedure;
  record["message"] = message;
  record["flag"] = flag;
  record["run"] = Run();
  Append(errors_fd_, ErrorsPath(), Line(record));
}

void Logbook::Sync() {
  try {
    Flush();
  } catch (const Failure&) {
    throw JournalNotWritten(lost_);
  }
  if (!lost_.empty()) throw JournalNotWritten(lost_);
  if (!unsynced_) return;
  // Syncing a descriptor opened anew still flushes the lines written through
  // the old one, as long as it is the same file.
  int out = -1;
  try {
    out = Descriptor(activity_fd_, ActivityPath());
  } catch (const Failure&) {
    throw JournalNotWritten(lost_);
  }
  if (::fdatasync(out) != 0) {
    // Linux forgets a failed writeback once it has been reported: a second
    // fdatasync would succeed with the lines still lost.
    lost_ = std::strerror(errno);
    throw JournalNotWritten(lost_);
  }
  unsynced_ = false;
  ++disk_syncs_;
}

}  // namespace tidewell
