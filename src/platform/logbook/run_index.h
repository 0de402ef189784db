// The runs of the journal as `tidewell runs` lists them, and one run read
// back whole for undo and `runs --show`.
//
//   RunList list = ListRuns(logbook);
//   for (const RunSummary& run : list.runs) run.id;   // oldest first
//   JournalRun whole = LoadRun(logbook, list.runs.back());
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/logbook/journal_reader.h"
#include "platform/logbook/logbook.h"

namespace tidewell {

struct RunSummary {
  std::string id;
  RunKind kind = RunKind::kReplace;
  std::string time;
  std::string description;  // JournalRun::Description
  std::string undoes;       // kUndo: the id of the run it undid
  size_t fields = 0;        // complete entries
  size_t items = 0;         // distinct items among them
  size_t incomplete = 0;    // entries that are not complete and not cut off
  // Where its lines are: the file and the byte range.
  std::filesystem::path file;
  uint64_t start = 0;
  uint64_t end = 0;
  bool undone = false;  // an undo took it back and no later undo gave it back
};

struct RunList {
  std::vector<RunSummary> runs;  // in the order made
  // Damage met in the lines read (see journal_reader.h).
  size_t malformed_lines = 0;
  size_t torn_lines = 0;
  size_t stray_entries = 0;

  const RunSummary* Find(const std::string& id) const;
  // The newest run that is no undo and was not undone: what a bare undo takes.
  const RunSummary* NewestToUndo() const;
};

RunSummary Summarize(const JournalRun& run, const std::filesystem::path& file);

// Every run of the journal. Throws Failure when a file exists but cannot be
// read.
RunList ListRuns(const Logbook& logbook);

// The run `summary` names, read from its own lines only.
JournalRun LoadRun(const RunSummary& summary);

}  // namespace tidewell
