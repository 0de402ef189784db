// The shared support component of the host's maker: one per process.
#pragma once

#include <map>
#include <string>

namespace tidewell {

// Numbered texts ("1", "3", ..., "17") keyed by their number as text; also the
// page's help-text table, keyed by control name.
using StringSet = std::map<std::string, std::string>;

class SupportComponent {
 public:
  virtual ~SupportComponent() = default;

  // The settings store's application name for every key of the page. Asked
  // anew before every read or write, so a host may switch profiles.
  virtual std::string AppName() = 0;

  // The error-report operation: records one failure report. `flag` is always
  // false from the page; `procedure` is "Tidewell." plus a procedure name.
  // Never throws: a report that cannot be stored is lost, not re-raised.
  virtual void ReportError(const std::string& message, bool flag, const std::string& procedure) = 0;

  // Fills `set` with the string set named `name` ("Tidewell" for the page).
  virtual void LoadStringSet(StringSet& set, const std::string& name) = 0;

  // The text under `key` in `set`. Throws Failure when there is none.
  virtual std::string LookupText(const StringSet& set, const std::string& key) = 0;
};

}  // namespace tidewell
