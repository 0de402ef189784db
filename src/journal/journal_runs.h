// The undo journal as runs of undo entries, for undo (undo/undo.h) and for
// listing runs; the logbook reads the lines (adapters/logbook/journal_reader.h).
//
//   JournalContents journal = ReadJournalFile(logbook.ActivityPath());
//   if (const JournalRun* run = journal.Newest()) {
//     run->time;                    // "2026-12-05T17:25:24.123Z", its first line's
//     run->SearchFor;               // "e", read back from its "Looking for" line
//     run->entries.front().FieldName;  // entries in the order they were logged
//   }
//
// Entries. One entry is the five undo records that UndoSave writes for one
// changed field: "FolderStoreId: ", "FolderEntryId: ", "ItemEntryId: ",
// "FieldName: ", "FieldValue: ", in that order. UndoSave stops at a record it
// cannot write, so an entry may be cut short; it is kept, marked incomplete,
// and never undone.
//
// Runs. Every line names its run ("run", see MakeRunId in logbook.h), and lines are
// grouped by it, wherever they stand: a run's lines stay one run even when
// another process wrote between them. A replace run logs, for each folder it
// resolves, under "cmdReplace_Click",
//   "<Name>Count of items in folder '<Name>': <n>"
//   "Looking for '<s>' replacing with '<r>'; Case sensitive: <c>"
// An undo logs kUndoRunHeader and the time of the run it undid under
// kUndoRunProcedure, with the undone run's id as "undoes". A run whose lines
// hold neither is no run (the lines of a command that changed nothing); its
// undo records are counted as stray.
//
// Lines without "run" were written before runs had ids; they are grouped as
// they always were, by their neighbours: a folder's pair of lines continues
// the current run when its "Looking for" line is the current run's and its
// name was not visited yet in that run. Such runs take their time as id.
//
// The "Looking for" line is split at the first "' replacing with '", so a
// search text holding those characters is read wrongly (`ambiguous_search`
// says there were several places to split). Undo then finds its fields
// "changed since the run" and overwrites none of them.
//
// Counted lines. Lines written since runs were counted carry "n", their place
// in their run (1, 2, ...), given only to a line written whole. A number a run
// skips is a record lost (a cut segment, bytes overwritten): the run is
// damaged, and says how many records it cannot read. Older lines carry no
// "n" and are read as before, never called damaged.
//
// A failed save. When an item cannot be stored after its entries were
// written (a refused PUT, a read-only file), kItemNotSaved + its entry id is
// logged under kItemNotSavedProcedure: the run's entries of that item just
// before the line are marked failed, are not counted and never undone. A field
// the item refused (kFieldNotWritten + its entry id, the same way) marks only
// the entry just before the line.
//
// An undo that went through every item of its run ends with kUndoFinished
// under kUndoRunProcedure; one killed or stopped has none, and leaves its run
// partly undone. An undo in older lines (no "n") is finished.
//
// Damage is never fatal. A line that is no JSON at all was cut off (a kill or
// a full disk mid-write; the next run ends it with a line break) and is
// counted as torn; any other line that is not a JSON object with string
// "time", "source", "procedure", "message" and boolean "undo", or an undo
// record out of its place, is skipped and counted. Lines of another source
// than "Tidewell" are ignored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fnv1a.h"

namespace tidewell {

// What an undo logs, so that it can be read back and undone in turn.
inline constexpr const char* kUndoRunProcedure = "UndoRun";
inline constexpr const char* kUndoRunHeader = "Undo of the run of ";   // + the undone run's time
inline constexpr const char* kUndoRestoredValue = "Restored value: ";  // + the value written back
inline constexpr const char* kUndoFinished = "Undo finished.";
inline constexpr const char* kItemNotSavedProcedure = "ItemNotSaved";
inline constexpr const char* kItemNotSaved = "Not saved: ";       // + the item's entry id
inline constexpr const char* kFieldNotWritten = "Not written: ";  // + the item's entry id

// Where a long string member of a record stands in the journal file, left
// there by the reader instead of held (see JournalRun::read_again): the offset
// of its opening quote, and the size and Digest of the text it holds.
struct JournalPlace {
  uint64_t offset = 0;
  uint64_t size = 0;
  uint64_t digest = 0;
};

// JournalPlace's digest of `text`.
inline uint64_t Digest(std::string_view text) { return Fnv1a(text); }

// One changed field: where it lives and what it held before the change.
struct JournalEntry {
  std::string time;  // of its first record
  std::string FolderStoreId;
  std::string FolderEntryId;
  std::string ItemEntryId;
  std::string FieldName;   // "Body" stands for RTFBody
  std::string FieldValue;  // the old value; for "Body" the old RTF text
  int records = 0;         // how many of the five records were logged
  // In an undo run: the value the undo wrote back (its kUndoRestoredValue line).
  std::optional<std::string> restored;
  // Five records, and in an undo run the restored value: only then undoable.
  bool complete = false;
  // Incomplete and the last lines of its run: the run died writing it, so its
  // item was never saved (the store makes whole entries durable first).
  bool cut_off = false;
  // The value the field was given ("new" of the FieldValue record), when
  // the line says.
  std::optional<std::string> written = std::nullopt;
  // The field's line as the store read it before the change ("line" of the
  // FieldValue record, SafeItem::PropertyLine): what an undo writes back
  // when the field reads as it did. "" when the line does not say, or when
  // it is long and the reader left it in the file (`line_at`).
  std::string line = "";
  std::optional<JournalPlace> line_at = std::nullopt;
  // Its item could not be stored (a kItemNotSaved line): the field never
  // changed, so it is neither counted nor undone.
  bool failed = false;
};

// One field of one item: (store id, item entry id, field name).
struct FieldKey {
  std::string FolderStoreId;
  std::string ItemEntryId;
  std::string FieldName;
  auto operator<=>(const FieldKey&) const = default;
};

enum class RunKind { kReplace, kUndo };

struct JournalRun {
  RunKind kind = RunKind::kReplace;
  std::string id;    // its "run" member; for older lines, its time
  std::string time;  // of its first line
  // Where its lines are in the file read: from the start of its first line to
  // the end of its last.
  uint64_t start = 0;
  uint64_t end = 0;

  // kReplace: the search settings read back from its "Looking for" line, the
  // line itself, and the folder names in the order visited.
  std::string SearchFor;
  std::string ReplaceWith;
  int32_t CaseSensitive = 0;
  std::string search_line;
  bool ambiguous_search = false;
  std::vector<std::string> folders;

  // kUndo: the time of the run it undid, and its id ("" in older lines).
  std::string undone;
  std::string undoes;

  std::vector<JournalEntry> entries;  // in the order logged

  // Its lines carry "n" (see above); the highest read, and how many numbers
  // below it no line read carries: records lost.
  bool counted = false;
  uint64_t last_line = 0;
  size_t unreadable = 0;
  // kUndo: it ended with kUndoFinished (always true for older lines), or
  // at least with its summary line (stopped: every item it began was saved
  // or marked unsaved).
  bool finished = false;
  bool summarized = false;
  // Fields earlier undos of this run restored already, which an undo of it
  // leaves alone (filled in by the reader that knows the other runs).
  std::vector<FieldKey> restored_before;
  // An earlier undo of this run was killed or stopped (set with
  // restored_before): an undo of it logs that it finished even when it wrote
  // nothing.
  bool resumes = false;

  // The text a JournalPlace of this run's entries stands for, read from the
  // journal file again; set by a reader that leaves long lines in the file.
  // Throws Failure when the file no longer holds that text there.
  std::function<std::string(const JournalPlace&)> read_again;

  // Complete entries whose item was not left unsaved.
  size_t CompleteEntries() const;
  // Distinct items (store id and item entry id) among the complete entries.
  size_t ChangedItems() const;
  // The "Looking for ..." line, or "Undo of the run of <time>".
  std::string Description() const;
};

struct JournalContents {
  std::vector<JournalRun> runs;  // in the order of their first lines
  size_t malformed_lines = 0;
  size_t torn_lines = 0;
  size_t stray_entries = 0;  // entries of no run

  const JournalRun* Newest() const { return runs.empty() ? nullptr : &runs.back(); }
  const JournalRun* Find(const std::string& id) const;
};

// The ids of the runs an undo took back and no later undo gave back again,
// from (id, kind, undoes) of every run in the order made.
struct RunRef {
  std::string id;
  RunKind kind = RunKind::kReplace;
  std::string undoes;
};
std::vector<std::string> UndoneRuns(const std::vector<RunRef>& runs);

// The search settings of a "Looking for" line; nullopt when the message is not
// one.
struct SearchLine {
  std::string SearchFor;
  std::string ReplaceWith;
  int32_t CaseSensitive = 0;
  bool ambiguous = false;
};
std::optional<SearchLine> ParseSearchLine(const std::string& message);

// The folder name of a "<Name>Count of items in folder '<Name>': <n>" line;
// nullopt when the message is not one. A name that holds the middle text is
// still found: the name stands twice, so the lengths tell where it ends.
std::optional<std::string> ParseFolderLine(const std::string& message);

// One journal line as the logbook decoded it: a record, or a line that is
// not one. A torn line is no JSON at all (cut off mid-write); a malformed one
// is JSON without the members of a record.
struct JournalRecord {
  std::string time;
  std::string source;
  std::string procedure;
  std::string message;
  bool undo = false;
  std::string run;                     // "" in lines written before runs had ids
  std::optional<std::string> written;  // its "new" member
  std::string undoes;
  std::string line;                                    // its "line" member
  std::optional<uint64_t> number;                      // its "n": its place in its run
  std::optional<JournalPlace> line_at = std::nullopt;  // where a long "line" was left instead
};
struct JournalLine {
  enum class Kind { kRecord, kMalformed, kTorn };
  Kind kind = Kind::kRecord;
  JournalRecord record;  // kRecord only
  // Offsets of the line in the file, its line break included at `end`.
  uint64_t start = 0;
  uint64_t end = 0;
};

// Groups the lines `next` gives, in file order, into runs and entries as
// described above. `next` fills in the next line and returns false after the
// last. An empty torn line (the file's final line break) is not to be given.
JournalContents GroupJournalLines(const std::function<bool(JournalLine&)>& next);

}  // namespace tidewell
