// The undo journal read back: activity.jsonl (logbook.h) as runs of undo
// entries, for undo (platform/support/undo.h) and for listing runs.
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
// Runs. The page logs no start or end of a run. For each folder it resolves it
// logs, under "cmdReplace_Click",
//   "<Name>Count of items in folder '<Name>': <n>"
//   "Looking for '<s>' replacing with '<r>'; Case sensitive: <c>"
// A folder's pair of lines continues the current run when its "Looking for"
// line is the current run's and its name was not visited yet in that run;
// otherwise it begins a new run. An undo logs kUndoRunHeader and the time of
// the run it undid under kUndoRunProcedure, and is a run of its own.
//
// What this cannot tell apart, because the lines do not say:
// - Two runs back to back with the same search text, replacement and case
//   flag over different folders read as one run (undoing it undoes both).
// - A run whose folder list names one folder twice, or two folders of the same
//   name, reads as two runs.
// - Two processes running at once interleave their lines; their entries come
//   out incomplete.
// Undo records before the first run line belong to no run and are counted.
//
// The "Looking for" line is split at the first "' replacing with '", so a
// search text holding those characters is read wrongly (`ambiguous_search`
// says there were several places to split). Undo then finds its fields
// "changed since the run" and overwrites none of them.
//
// Damage is never fatal. A last line without its line break that does not
// parse (a crash mid-write) is ignored; any other line that is not a JSON
// object with string "time", "source", "procedure", "message" and boolean
// "undo", or an undo record out of its place, is skipped and counted. Lines of
// another source than "Tidewell" are ignored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <istream>
#include <optional>
#include <string>
#include <vector>

namespace tidewell {

// What an undo logs, so that it can be read back and undone in turn.
inline constexpr const char* kUndoRunProcedure = "UndoRun";
inline constexpr const char* kUndoRunHeader = "Undo of the run of ";   // + the undone run's time
inline constexpr const char* kUndoRestoredValue = "Restored value: ";  // + the value written back

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
};

enum class RunKind { kReplace, kUndo };

struct JournalRun {
  RunKind kind = RunKind::kReplace;
  std::string time;  // of its first line

  // kReplace: the search settings read back from its "Looking for" line, the
  // line itself, and the folder names in the order visited.
  std::string SearchFor;
  std::string ReplaceWith;
  int32_t CaseSensitive = 0;
  std::string search_line;
  bool ambiguous_search = false;
  std::vector<std::string> folders;

  // kUndo: the time of the run it undid.
  std::string undone;

  std::vector<JournalEntry> entries;  // in the order logged

  size_t CompleteEntries() const;
  // Distinct items (store id and item entry id) among the complete entries.
  size_t ChangedItems() const;
  // The "Looking for ..." line, or "Undo of the run of <time>".
  std::string Description() const;
};

struct JournalContents {
  std::vector<JournalRun> runs;  // oldest first
  size_t malformed_lines = 0;
  bool torn_last_line = false;
  size_t stray_entries = 0;  // entries logged before any run line

  const JournalRun* Newest() const { return runs.empty() ? nullptr : &runs.back(); }
};

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

JournalContents ReadJournal(std::istream& in);

// An absent file is an empty journal. Throws Failure naming the file when it
// exists but cannot be read.
JournalContents ReadJournalFile(const std::filesystem::path& path);

}  // namespace tidewell
