#include "platform/logbook/run_index.h"

#include <algorithm>
#include <set>

#include "platform/failure.h"

namespace tidewell {

const RunSummary* RunList::Find(const std::string& id) const {
  for (const RunSummary& run : runs) {
    if (run.id == id) return &run;
  }
  return nullptr;
}

const RunSummary* RunList::NewestToUndo() const {
  for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
    if (run->kind == RunKind::kReplace && !run->undone) return &*run;
  }
  return nullptr;
}

RunSummary Summarize(const JournalRun& run, const std::filesystem::path& file) {
  RunSummary summary;
  summary.id = run.id;
  summary.kind = run.kind;
  summary.time = run.time;
  summary.description = run.Description();
  summary.undoes = run.undoes;
  summary.fields = run.CompleteEntries();
  summary.items = run.ChangedItems();
  summary.incomplete = static_cast<size_t>(
      std::count_if(run.entries.begin(), run.entries.end(),
                    [](const JournalEntry& e) { return !e.complete && !e.cut_off; }));
  summary.file = file;
  summary.start = run.start;
  summary.end = run.end;
  return summary;
}

namespace {

void MarkUndone(RunList& list) {
  std::vector<RunRef> refs;
  refs.reserve(list.runs.size());
  for (const RunSummary& run : list.runs) refs.push_back({run.id, run.kind, run.undoes});
  const std::vector<std::string> undone = UndoneRuns(refs);
  const std::set<std::string> ids(undone.begin(), undone.end());
  for (RunSummary& run : list.runs) run.undone = ids.contains(run.id);
}

}  // namespace

RunList ListRuns(const Logbook& logbook) {
  RunList list;
  const JournalContents journal = ReadJournalFile(logbook.ActivityPath());
  for (const JournalRun& run : journal.runs) {
    list.runs.push_back(Summarize(run, logbook.ActivityPath()));
  }
  list.malformed_lines = journal.malformed_lines;
  list.torn_lines = journal.torn_lines;
  list.stray_entries = journal.stray_entries;
  MarkUndone(list);
  return list;
}

JournalRun LoadRun(const RunSummary& summary) {
  const JournalContents journal =
      ReadJournalFile(summary.file, summary.start, summary.end, summary.id);
  if (const JournalRun* run = journal.Find(summary.id)) return *run;
  throw Failure("The lines of run " + summary.id + " are no longer in '" + summary.file.string() +
                "'.");
}

}  // namespace tidewell
