// What a run did, read back for the user: its changes from the journal and
// its failures from the error log, the same for `tidewell runs --show` and
// the desktop host's result and history views.
//
//   const RunList runs = ListRuns(env.logbook);
//   const JournalRun run = LoadRun(*runs.Find(id));
//   for (const FieldChange& change : RunChanges(run, env)) ChangeLine(change);
//   for (const RunFailure& failure : RunFailures(env.logbook, id)) failure.message;
//
// Folder and item are named as the run named them while the store still has
// them; a folder or item gone since (or that cannot be read) is named by its
// entry id instead, so a listing never fails for what the store lost.
#pragma once

#include <string>
#include <vector>

#include "adapters/logbook/journal_reader.h"
#include "adapters/logbook/logbook.h"
#include "app/change_listing.h"
#include "app/store_host.h"

namespace tidewell {

// The complete entries of `run`, oldest first: old value and the value the
// run wrote (an undo: the value it restored; "" when the line does not say,
// as in lines logged before the journal kept it).
std::vector<FieldChange> RunChanges(const JournalRun& run, HostEnvironment& env);

// One line of errors.jsonl.
struct RunFailure {
  std::string time;
  std::string procedure;  // "Tidewell.SearchAndReplaceContacts", ...
  std::string message;
  friend bool operator==(const RunFailure&, const RunFailure&) = default;
};

// The lines of errors.jsonl that carry the run id `runId`, in order. Only
// the current file is read: the runs rotated out with their errors are past
// the window a user looks back at results in. An absent file holds none;
// lines that are no JSON objects are skipped. Throws Failure naming the file
// when it exists but cannot be read.
std::vector<RunFailure> RunFailures(const Logbook& logbook, const std::string& runId);

}  // namespace tidewell
