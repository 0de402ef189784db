// The shared support component: the settings' application name, the page
// string set, and failure reports into the logbook's errors.jsonl.
//
//   Logbook logbook;
//   MarrowbySupport support(logbook);
//   StringSet strings;
//   support.LoadStringSet(strings, "Tidewell");
//   support.LookupText(strings, "17");      // "Choose the folders to search"
//   support.LookupText(strings, "2");       // throws: the set has odd keys only
#pragma once

#include "adapters/logbook/logbook.h"
#include "platform/support.h"

namespace tidewell {

class MarrowbySupport : public SupportComponent {
 public:
  // `logbook` takes the failure reports and must outlive this component.
  explicit MarrowbySupport(Logbook& logbook) : logbook_(logbook) {}

  // Always "Marrowby".
  std::string AppName() override;

  // One line in errors.jsonl (and the logbook's echo). A report the file
  // cannot take is dropped silently: a failure report must never fail.
  void ReportError(const std::string& message, bool flag, const std::string& procedure) override;

  // Replaces the contents of `set` by the page string set for "Tidewell": the
  // help texts "1", "3", ..., "15" and the picker caption "17". Throws Failure
  // for any other name.
  void LoadStringSet(StringSet& set, const std::string& name) override;

  // Throws Failure("Invalid procedure call or argument") for a missing key.
  std::string LookupText(const StringSet& set, const std::string& key) override;

 private:
  Logbook& logbook_;
};

}  // namespace tidewell
