// The activity logger of the host's maker (a fresh one per line).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/failure.h"

namespace tidewell {

class ActivityLogger {
 public:
  virtual ~ActivityLogger() = default;
  // Appends one line. `undo` is 0 for progress lines, -1 for undo records.
  // Throws Failure when the line cannot be written; a line is never split.
  virtual void Write(const std::string& source, const std::string& procedure,
                     const std::string& message, int32_t undo) = 0;

  // Write with one more string member on the line: "new" (the value an undo
  // record's field was given) or "undoes" (the run an undo takes back). A
  // logger that keeps only the four members drops it.
  virtual void WriteWith(const std::string& source, const std::string& procedure,
                         const std::string& message, int32_t undo, const std::string& /*key*/,
                         const std::string& /*value*/) {
    Write(source, procedure, message, undo);
  }

  // WriteWith with a second member after the first: "line" (the bytes an
  // undo record's field was read from) after "new". A logger that keeps
  // fewer members drops it.
  virtual void WriteWithBoth(const std::string& source, const std::string& procedure,
                             const std::string& message, int32_t undo, const std::string& key,
                             const std::string& value, const std::string& /*key2*/,
                             const std::string& /*value2*/) {
    WriteWith(source, procedure, message, undo, key, value);
  }

  // WriteWithBoth with the message in two parts, `head` then `tail`, and the
  // values as views: a value of tens of MB is written from where the caller
  // holds it, never copied into a message first.
  virtual void WriteParts(const std::string& source, const std::string& procedure,
                          std::string_view head, std::string_view tail, int32_t undo,
                          const std::string& key, std::string_view value, const std::string& key2,
                          std::string_view value2) {
    WriteWithBoth(source, procedure, std::string(head).append(tail), undo, key, std::string(value),
                  key2, std::string(value2));
  }
};

// Why a save was refused: an undo record of the run could not be written, or
// not made durable, so the item would change with no way back. `reason` is
// the system's own text ("No space left on device"). A store passes it on
// as it is, never wrapped in its own words.
class JournalNotWritten : public Failure {
 public:
  explicit JournalNotWritten(const std::string& reason)
      : Failure("The undo journal could not be written (" + reason +
                "); the item was left as it was.") {}
};

// Makes undo records durable before the item they describe is stored: the
// store calls Sync() before it commits a save (write-ahead). Cheap when
// nothing was written since the last Sync. Throws JournalNotWritten when a
// record written since the run began was lost or cannot reach the disk; the
// store then leaves the item as it was.
class WriteAheadLog {
 public:
  virtual ~WriteAheadLog() = default;
  virtual void Sync() = 0;
};

}  // namespace tidewell
