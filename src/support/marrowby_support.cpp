#include "support/marrowby_support.h"

#include "platform/failure.h"

namespace tidewell {

std::string MarrowbySupport::AppName() { return "Marrowby"; }

void MarrowbySupport::ReportError(const std::string& message, bool flag,
                                  const std::string& procedure) {
  try {
    logbook_.WriteError(procedure, message, flag);
  } catch (const std::exception&) {
    // The page calls this from its traps; a throw here would escape them.
  }
}

void MarrowbySupport::LoadStringSet(StringSet& set, const std::string& name) {
  if (name != "Tidewell") throw Failure("There is no string set named '" + name + "'.");
  // The even numbers stay unused: a lookup of one fails rather than showing a
  // text meant for another control.
  set = {
      {"1", "The text or pattern to look for."},
      {"3", "Tick to tell upper and lower case letters apart."},
      {"5", "The text that replaces every match. Leave it empty to delete the matches."},
      {"7", "Choose which fields of contacts, appointments and tasks are searched."},
      {"9", "The folders whose items are searched."},
      {"11", "Search and replace in every chosen folder now. Apply your settings first."},
      {"13", "Shows the folder being searched and how far the run has got."},
      {"15", "The folder being searched, and the result of the last run."},
      {"17", "Choose the folders to search"},
  };
}

std::string MarrowbySupport::LookupText(const StringSet& set, const std::string& key) {
  const auto found = set.find(key);
  if (found == set.end()) throw Failure("Invalid procedure call or argument");
  return found->second;
}

}  // namespace tidewell
