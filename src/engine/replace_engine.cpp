#include "engine/replace_engine.h"

#include <exception>

#include "platform/failure.h"

namespace tidewell {

namespace {

// Runs `body` under the procedure's trap: a failure is reported with the line
// mark reached and the changed flag is returned as it stood.
template <typename Body>
bool Trapped(Journal& journal, const char* procedure, Body body) {
  bool changed = false;
  int32_t line = 0;
  try {
    body(changed, line);
  } catch (const std::exception& e) {
    journal.Report(FailureFormatC(line, DescriptionOf(e)), procedure);
  }
  return changed;
}

}  // namespace

bool ReplaceEngine::SearchAndReplaceContacts(const std::string&, const std::string&, SafeItem& Item,
                                             const std::string&, const std::string&,
                                             int32_t CaseSensitive) {
  return Trapped(journal_, "SearchAndReplaceContacts", [&](bool&, int32_t&) {
    matcher_.SetCaseSensitive(CaseSensitive != 0);
    journal_.WriteToLog("SearchAndReplaceContacts", "Checking contact: " + Item.Get("Subject"));
  });
}

bool ReplaceEngine::SearchAndReplaceAppointments(const std::string&, const std::string&,
                                                 SafeItem& Item, const std::string&,
                                                 const std::string&, int32_t CaseSensitive) {
  return Trapped(journal_, "SearchAndReplaceAppointments", [&](bool&, int32_t&) {
    matcher_.SetCaseSensitive(CaseSensitive != 0);
    journal_.WriteToLog("SearchAndReplaceAppointments",
                        "Checking Appointment: " + Item.Get("Subject"));
  });
}

bool ReplaceEngine::SearchAndReplaceTasks(const std::string&, const std::string&, SafeItem& Item,
                                          const std::string&, const std::string&,
                                          int32_t CaseSensitive) {
  return Trapped(journal_, "SearchAndReplaceTasks", [&](bool&, int32_t&) {
    matcher_.SetCaseSensitive(CaseSensitive != 0);
    journal_.WriteToLog("SearchAndReplaceTasks", "Checking Task: " + Item.Get("Subject"));
  });
}

}  // namespace tidewell
