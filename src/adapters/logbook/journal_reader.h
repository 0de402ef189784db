// The journal's lines read back from activity.jsonl (logbook.h) and grouped
// into runs by the core (journal/journal_runs.h, which says how).
#pragma once

#include <cstdint>
#include <filesystem>
#include <istream>
#include <string>

#include "journal/journal_runs.h"

namespace tidewell {

// Reads `in` line by line (never all at once); offsets count from `base`. A
// line past a MiB of a stream that can seek is parsed as it is read, never
// held whole (one of another form is read again, whole).
// With `only_run`, keeps only that run's lines (and the older lines that
// name no run).
JournalContents ReadJournal(std::istream& in, uint64_t base = 0, const std::string& only_run = "");

// An absent file is an empty journal. Throws Failure naming the file when it
// exists but cannot be read. Reads the bytes from `start` to `end` (the end
// of the file when 0): a run's lines, from the index. Without `values`, a
// line past a MiB (an undo record of a large field) is read for its run's
// counts only: its entry's FieldValue, restored value, written and line are
// left empty. With them, such a record's line past a MiB is left in the file
// (JournalEntry::line_at), which the run keeps open to read it again
// (JournalRun::read_again).
JournalContents ReadJournalFile(const std::filesystem::path& path, uint64_t start = 0,
                                uint64_t end = 0, const std::string& only_run = "",
                                bool values = true);

}  // namespace tidewell
