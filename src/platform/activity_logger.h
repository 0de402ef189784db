// The activity logger of the host's maker (a fresh one per line).
#pragma once

#include <cstdint>
#include <string>

namespace tidewell {

class ActivityLogger {
 public:
  virtual ~ActivityLogger() = default;
  // Appends one line. `undo` is 0 for progress lines, -1 for undo records.
  // Throws Failure when the line cannot be written; a line is never split.
  virtual void Write(const std::string& source, const std::string& procedure,
                     const std::string& message, int32_t undo) = 0;
};

// Makes undo records durable before the item they describe is stored: the
// store calls Sync() before it commits a save (write-ahead). Cheap when
// nothing was written since the last Sync.
class WriteAheadLog {
 public:
  virtual ~WriteAheadLog() = default;
  virtual void Sync() = 0;
};

}  // namespace tidewell
