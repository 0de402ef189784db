// The runs of the journal as `tidewell runs` lists them, and one run read
// back whole for undo and `runs --show`, at a cost that does not grow with
// the history.
//
//   RunList list = ListRuns(logbook);
//   for (const RunSummary& run : list.runs) run.id;   // oldest first
//   JournalRun whole = LoadRun(list.runs.back());    // reads its bytes only
//
// The history is activity.jsonl, the current file, and the segments rotated
// out of it beside it, "activity-<id of its first run>.jsonl" (and the
// errors.jsonl of the same time as "errors-<id>.jsonl"). Each holds whole
// runs: only a run holding the journal's lock rotates, between runs.
//
// activity.index is a sidecar of JSON Lines, one per run: its summary, the
// file its lines are in and their byte range, and "covered", the length of
// activity.jsonl it accounts for. A run appends its line when it ends. The
// index is only ever a cache of the logs: when it disagrees with them (a
// segment missing or not named in it, activity.jsonl shorter than it
// covers) it is rebuilt from them; lines past what it covers (a run killed
// before its line, or one going on) are read and added. A kill at any moment
// therefore leaves nothing worse than a rebuild: the index is replaced whole
// by rename, and a torn last line of it is ignored.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "adapters/logbook/journal_reader.h"
#include "adapters/logbook/logbook.h"

namespace tidewell {

struct RunSummary {
  std::string id;
  RunKind kind = RunKind::kReplace;
  std::string time;
  std::string description;  // JournalRun::Description
  std::string undoes;       // kUndo: the id of the run it undid
  size_t fields = 0;        // complete entries, less those of items left unsaved
  size_t items = 0;         // distinct items among them
  size_t incomplete = 0;    // entries that are not complete and not cut off
  // Where its lines are: the file and the byte range.
  std::filesystem::path file;
  uint64_t start = 0;
  uint64_t end = 0;
  bool undone = false;  // an undo took it back and no later undo gave it back
  // An undo of it that was killed or stopped, and none finished: `restored`
  // of its `fields` are back (the undos' counts, at most `fields`).
  bool partly_undone = false;
  size_t restored = 0;
  // Its lines are counted ("n"): how many it wrote, and how many of them
  // cannot be read (lost since). Runs of older lines have neither.
  uint64_t lines = 0;
  size_t unreadable = 0;
  bool finished = true;  // kUndo: it went through every item
};

// "partly undone (N of M fields)", "damaged (N records unreadable)", "undone"
// and "N incomplete", joined by ", ", as `runs` and the Run History show
// them; "" for none.
std::string RunState(const RunSummary& run);

struct RunList {
  std::vector<RunSummary> runs;  // in the order made
  // How the index was found: rebuilt from the logs, or the lines past it read.
  bool rebuilt = false;
  bool caught_up = false;
  // Damage met in the lines read (see journal_reader.h).
  size_t malformed_lines = 0;
  size_t torn_lines = 0;
  size_t stray_entries = 0;

  const RunSummary* Find(const std::string& id) const;
  // The newest run that is no undo and has fields still to undo (a partly
  // undone one included; a run that changed nothing never): what a bare undo
  // takes.
  const RunSummary* NewestToUndo() const;
};

RunSummary Summarize(const JournalRun& run, const std::filesystem::path& file);

// Every run of the journal, from the index (see above). Throws Failure when a
// file exists but cannot be read. Writes nothing.
RunList ListRuns(const Logbook& logbook);

// How much history is kept: the last `keep_runs` runs and every run of the
// last `keep_days` days, whichever keeps more. activity.jsonl is rotated into
// a segment once it is longer than `segment_bytes`. No days (0): the count
// alone.
struct Retention {
  size_t keep_runs = 100;
  int keep_days = 90;
  uint64_t segment_bytes = 32u << 20;
};

// For a run that holds the lock, before its first line: rewrites the index
// when it disagreed with the logs or missed runs, rotates activity.jsonl when
// it is due, and removes the segments whose runs are all past `retention`
// (each with its errors file, and any errors file whose segment is gone).
// Returns the runs kept, with the damage met in reading them.
RunList MaintainJournal(const Logbook& logbook, const Retention& retention);

// For a run that holds the lock, at its end: appends its summary to the
// index. `start` is where its lines begin in activity.jsonl.
void IndexRun(const Logbook& logbook, const std::string& id, uint64_t start);

// The run `summary` names, read from its own lines only. Records lost since
// it was indexed (its lines cut short) count as unreadable too.
JournalRun LoadRun(const RunSummary& summary);

// LoadRun, with the fields that earlier undos of it (killed, stopped, and not
// given back since) restored in `restored_before`, so that an undo of it does
// the rest. The entries of the item a killed undo was saving last are left
// out: whether that save happened, only the item can tell. Its entries carry
// no `written`, which an undo does not use.
JournalRun LoadRunToUndo(const RunList& list, const RunSummary& summary);

}  // namespace tidewell
