// Undo of a run read back from the journal (journal/journal_runs.h): a feature
// of the hosts, beside the page, which itself never reads the journal.
//
//   JournalContents journal = ReadJournalFile(env.logbook.ActivityPath());
//   if (const JournalRun* newest = journal.Newest()) {
//     UndoOutcome outcome = UndoJournalRun(*newest, *env.store, *env.components);
//     UndoSummary(outcome);   // "Restored 12 fields in 5 items; skipped 1."
//     outcome.skipped[0];     // {"contacts/ann.vcf", "Account", "changed since the run"}
//   }
//
// Every field of the run gets its journalled old value back, the newest change
// first, through the store and the same safe-item wrappers the page uses; each
// item is saved once. "Body" restores RTFBody.
//
// A field is written only while the item still shows what the run wrote
// there: the old value replaced again with the run's pattern, replacement and
// case flag (a phone number also in its area-part form; a body compared by its
// shown text, since the store makes RTF anew from the note). Anything else is
// skipped and listed, never overwritten: another program's edit, and also a
// value the store reads back in another form than the run wrote it (a date
// written without its seconds).
//
// An undo goes on where an earlier one of the same run was killed or stopped:
// the fields in `run.restored_before` are left alone, neither restored nor
// skipped. An entry whose item was never stored (`failed`) is left alone too.
// An undo that goes through every item logs kUndoFinished last, so its run
// counts as undone; one that wrote nothing is no run, unless it finishes an
// earlier undo (`run.resumes`): then its header and mark are logged anyway.
//
// An undo is itself a run that can be undone. Before its first change it logs
// "Undo of the run of <time>" under "UndoRun"; for each field it journals the
// value it overwrites like the page (five "UndoSave" records), then logs
// "Restored value: <value>" under "UndoRun", and it ends with the summary line.
// The store syncs the journal before every Save. Undoing that undo checks for
// the restored values and writes the run's results back.
//
// A field that already holds its old value needs nothing: the run was cut off
// after journalling it but before saving its item, or the run was undone
// already. It is neither restored nor skipped, and its item is not saved, so
// "Restored" counts the fields this undo wrote and the items it saved, which
// are also what an undo of this undo finds in the journal.
//
// Skipped, each with its reason, while the rest goes on: an incomplete entry,
// an item that is gone or cannot be read, a field changed since the run, a
// field or undo record that cannot be written, and every field of an item
// whose Save fails or that the store leaves alone for its attendees.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "journal/journal_runs.h"
#include "platform/components.h"
#include "platform/mail_store.h"

namespace tidewell {

struct SkippedField {
  std::string ItemEntryId;  // "" when the journal lost it
  std::string FieldName;    // "" when the journal lost it
  std::string reason;       // "changed since the run", "the item is gone", ...
};

struct UndoOutcome {
  int restored_fields = 0;
  int restored_items = 0;             // items saved with at least one field restored
  std::vector<SkippedField> skipped;  // in the order met: newest change first
  bool stopped = false;               // `stop` said yes before the last item
  // Records of the run that could not be read (JournalRun::unreadable): the
  // fields they held were not restored, and no one can tell which they were.
  size_t unreadable = 0;
};

// Undoes `run` in the items of `store`, journalling through the activity
// loggers of `components` (the host's, whose store syncs that journal). Never
// throws: every failure ends up in `skipped`.
// `stop`, when given, is asked before each item; true ends the undo there
// (outcome.stopped), the items before it restored.
UndoOutcome UndoJournalRun(const JournalRun& run, const MailStore& store, Components& components,
                           const std::function<bool()>& stop = {});

// The same, letting go of each item's journalled values (JournalEntry's
// FieldValue, line, restored, written) once the item has them back, before
// it is saved: a large item's values are not held twice. `run` is left with
// its entries' keys only.
UndoOutcome UndoJournalRun(JournalRun&& run, const MailStore& store, Components& components,
                           const std::function<bool()>& stop = {});

// How many items of `run` the server may e-mail attendees about when the undo
// saves them (MailStore::MayNotifyOthers), each looked up once: what a host
// asks about before the undo. 0, with nothing read, when the store does not
// schedule implicitly; an item that cannot be looked up is not counted.
size_t NotifyingItems(const JournalRun& run, const MailStore& store);

// "<n> records of this run could not be read (a damaged journal); the fields
// they held were not restored."
std::string DescribeUnreadable(size_t records);

// "Restored <n> fields in <m> items; skipped <k>."
std::string UndoSummary(const UndoOutcome& outcome);

// The fields and items an undo of `run` would still restore: its complete
// entries, less those of items left unsaved and those in restored_before.
struct UndoScope {
  size_t fields = 0;
  size_t items = 0;
};
UndoScope LeftToUndo(const JournalRun& run);

// What both hosts ask before an undo:
// "Undo the run of <time> (<description>): <n> fields in <m> items?", counting
// what is left to undo.
std::string UndoQuestion(const JournalRun& run);

// One skipped field for the user: "<FieldName> of <ItemEntryId>: <reason>".
std::string DescribeSkipped(const SkippedField& skipped);

inline constexpr const char* kNoRunToUndo = "The journal holds no run to undo.";

}  // namespace tidewell
